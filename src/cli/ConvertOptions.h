#pragma once
// The options of quillpane-convert in one table. Parsing, --help, the keys of settings
// files and what --print-settings writes all come from it: an option is one entry.

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <vector>

struct ConvertOption {
    enum class Kind {
        Flag,   // no value; true when given
        Number, // a decimal number from minimum to maximum, compared as the float it becomes
        Whole,  // a whole number from minimum to maximum
        Kelvin, // a colour temperature, held to the temperature slider's range
        Choice, // one of `choices`, kept as the name
        Path,   // a file or folder name
        Shard,  // K/N
    };
    enum class Scope {
        Setting, // how each picture is converted: a key of settings files
        Run,     // what is converted, where, and how the run goes
    };
    QString name;    // --name on the command line, "name" in a settings file
    char shortName;  // -x, or 0
    Kind kind;
    Scope scope;
    QString valueName; // shown in --help: --width W
    QString help;      // may run over several lines
    double minimum = 0, maximum = 0;
    QStringList choices = {};
    QString section = {}; // --help starts a new group of options here
};

const std::vector<ConvertOption> &convertOptions();
// The entry of a long name (without the dashes) or a one-letter short name; null for none.
const ConvertOption *convertOption(const QString &name);
const ConvertOption *convertShortOption(char shortName);

// The value a command-line text gives the option, checked; Undefined, with `why`, when it
// does not fit. Paths are kept as written.
QJsonValue optionValue(const ConvertOption &option, const QString &text, QString &why);
// The same for a value of a settings file; null is kept (the setting is not given).
QJsonValue optionValue(const ConvertOption &option, const QJsonValue &value, QString &why);

// The colour temperature a kelvin value gives the engine ("temperature" is log2 of kelvin).
float temperatureSetting(double kelvin);
// The kelvin value, printed no longer than needed to give back the same setting.
double kelvinForSetting(float temperature);

QString convertUsage();
