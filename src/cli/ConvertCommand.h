#pragma once
// quillpane-convert: the conversion engine from the command line, for scripts, benchmarks
// and clusters. Each picture is converted as the window's batch save would convert it.

#include "InputList.h"

#include <QJsonObject>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <optional>

struct ConvertCommand {
    // How each picture is converted.
    QJsonObject settings; // every setting, as the options name them
    std::optional<float> width, height;
    qint64 fileFormat = 0;
    qint64 fillColour = 0;
    qint64 maxBytes = 0; // the file-size budget of every output; 0: none
    QVariantMap conversion; // the engine's record without the size entries
    QVariantList formatList; // the format list in effect
    bool formats = false;    // write its selected formats
    bool warnUpscaling = true;

    // What is converted, where, and how the run goes.
    InputSources inputs;
    QString outputFolder;
    QString keepTree;
    qint64 shardIndex = 0, shardCount = 1;
    bool skipExisting = false;
    QString report;
    bool quiet = false;
    int jobs = 0;
    enum class Print { Nothing, Settings, Formats, Version } print = Print::Nothing;
    QStringList notes; // stored values that could not be used
};

QString convertUsage();

// Reads the arguments (without the program name) and the files they name. Nothing on
// error, with `error` saying why; `help` is set (and nothing returned) for --help.
std::optional<ConvertCommand> parseConvertArguments(const QStringList &arguments, QString &error, bool &help);

// The output size for a picture of the given size in points: a missing side follows the
// picture's proportions with the window's rounding (halves away from zero).
QSizeF outputSizeFor(const ConvertCommand &command, QSizeF pictureSize);

// Converts the pictures (or prints what was asked for); messages go to standard error.
// 0 when every picture was written, 1 when any failed, 2 when the run could not start.
int runConvertCommand(const ConvertCommand &command);
