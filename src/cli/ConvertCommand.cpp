#include "ConvertCommand.h"

#include "ConvertOptions.h"
#include "ConvertSettings.h"
#include "ImageEncoders.h"
#include "Parallel.h"
#include "PhotoManipulator.h"
#include "SizeFitting.h"

#include <QFileInfo>
#include <QJsonValue>

namespace {

struct GivenArguments {
    QJsonObject settings; // setting options, in user units
    QJsonObject run;      // run options
    QStringList inputs;
};

// A later layer of settings over an earlier one; a formats file given without saying
// whether formats are written means they are.
void lay(QJsonObject &settings, const QJsonObject &layer)
{
    for (auto it = layer.begin(); it != layer.end(); ++it)
        settings[it.key()] = it.value();
    if (layer.value(QLatin1String("formats-file")).isString() && !layer.contains(QLatin1String("formats")))
        settings[QStringLiteral("formats")] = true;
}

bool readArguments(const QStringList &arguments, GivenArguments &given, QString &error, bool &help)
{
    bool optionsEnd = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (optionsEnd || !arg.startsWith(QLatin1Char('-')) || arg.size() == 1) {
            given.inputs << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        const ConvertOption *option = nullptr;
        std::optional<QString> attached; // --name=value
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype equals = arg.indexOf(QLatin1Char('='));
            option = convertOption(arg.mid(2, equals < 0 ? -1 : equals - 2));
            if (equals >= 0)
                attached = arg.mid(equals + 1);
        } else if (arg.size() == 2) {
            option = convertShortOption(arg[1].toLatin1());
        }
        if (!option) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        }
        const QString name = QStringLiteral("--") + option->name;
        QString text;
        if (option->kind == ConvertOption::Kind::Flag) {
            if (attached) {
                error = QStringLiteral("%1 takes no value").arg(name);
                return false;
            }
        } else if (attached) {
            text = *attached;
        } else if (i + 1 < arguments.size()) {
            text = arguments[++i];
        } else {
            error = QStringLiteral("%1 needs a value").arg(name);
            return false;
        }
        QString why;
        const QJsonValue value = optionValue(*option, text, why);
        if (value.isUndefined()) {
            error = QStringLiteral("%1: %2").arg(name, why);
            return false;
        }
        if (option->name == QLatin1String("help")) {
            help = true;
            return false;
        }
        if (option->name == QLatin1String("version")) { // answered alone, whatever follows, as --help is
            given.run[option->name] = true;
            return true;
        }
        if (option->name == QLatin1String("neutral"))
            lay(given.settings, neutralAdjustments());
        else if (option->scope == ConvertOption::Scope::Setting && option->kind == ConvertOption::Kind::Path)
            lay(given.settings, {{option->name, QFileInfo(text).absoluteFilePath()}}); // printed, it reads back from anywhere
        else if (option->scope == ConvertOption::Scope::Setting)
            lay(given.settings, {{option->name, value}});
        else
            given.run[option->name] = value;
    }
    return true;
}

// Why the sides cannot be made in the type; empty when they can.
QString sizeRefusal(const ConvertCommand &command)
{
    const int w = command.width ? int(*command.width) : 1, h = command.height ? int(*command.height) : 1;
    const QString refusal = PhotoManipulator::outputSizeRefusal(QSize(w, h), command.fileFormat);
    if (refusal.isEmpty())
        return refusal;
    const QString size = command.width && command.height ? QStringLiteral("the size %1 x %2").arg(w).arg(h)
        : command.width                                  ? QStringLiteral("the width %1").arg(w)
                                                         : QStringLiteral("the height %1").arg(h);
    return QStringLiteral("%1 is more than the engine can make: %2").arg(size, refusal);
}

std::optional<float> side(const QJsonValue &value)
{
    return value.isDouble() ? std::optional<float>(float(value.toDouble())) : std::nullopt;
}

} // namespace

std::optional<ConvertCommand> parseConvertArguments(const QStringList &arguments, QString &error, bool &help)
{
    help = false;
    GivenArguments given;
    if (!readArguments(arguments, given, error, help))
        return std::nullopt;
    auto run = [&](const char *name) { return given.run.value(QLatin1String(name)); };

    ConvertCommand command;
    if (run("version").toBool()) {
        command.print = ConvertCommand::Print::Version;
        return command;
    }
    const SettingsBase base = run("window-settings").toBool() ? windowBase(command.notes) : neutralBase();
    command.settings = base.settings;
    if (run("settings").isString()) {
        QJsonObject fromFile;
        QString why;
        if (!readSettingsFile(run("settings").toString(), fromFile, why)) {
            error = QStringLiteral("--settings %1 %2").arg(run("settings").toString(), why);
            return std::nullopt;
        }
        lay(command.settings, fromFile);
    }
    lay(command.settings, given.settings);
    if (command.settings.value(QLatin1String("width")).isNull() && command.settings.value(QLatin1String("height")).isNull())
        lay(command.settings, base.defaultSize);

    command.width = side(command.settings.value(QLatin1String("width")));
    command.height = side(command.settings.value(QLatin1String("height")));
    command.fileFormat = fileFormatOf(command.settings);
    command.fillColour = fillColourOf(command.settings);
    command.maxBytes = maxBytesOf(command.settings);
    command.conversion = conversionSettings(command.settings);
    command.formats = command.settings.value(QLatin1String("formats")).toBool();
    command.warnUpscaling = base.warnUpscaling;
    if (const QString refusal = sizeRefusal(command); !refusal.isEmpty()) {
        error = refusal;
        return std::nullopt;
    }
    command.formatList = base.formatList;
    if (const QJsonValue file = command.settings.value(QLatin1String("formats-file")); file.isString()) {
        QString why;
        if (!readFormatsFile(file.toString(), command.formatList, why)) {
            error = QStringLiteral("--formats-file %1 %2").arg(file.toString(), why);
            return std::nullopt;
        }
    }

    if (run("print-settings").toBool() && run("print-formats").toBool()) {
        error = QStringLiteral("give --print-settings or --print-formats, not both");
        return std::nullopt;
    }
    command.print = run("print-settings").toBool() ? ConvertCommand::Print::Settings
        : run("print-formats").toBool()           ? ConvertCommand::Print::Formats
                                                  : ConvertCommand::Print::Nothing;
    command.outputFolder = run("output").toString();
    command.inputs.arguments = given.inputs;
    command.inputs.listFile = run("files-from").toString();
    command.inputs.nulSeparated = run("null").toBool();
    command.inputs.recursive = run("recursive").toBool();
    command.keepTree = run("keep-tree").toString();
    if (run("shard").isString()) {
        const QStringList shard = run("shard").toString().split(QLatin1Char('/'));
        command.shardIndex = shard[0].toLongLong();
        command.shardCount = shard[1].toLongLong();
    }
    command.skipExisting = run("skip-existing").toBool();
    command.report = run("report").toString();
    command.quiet = run("quiet").toBool();
    command.jobs = run("jobs").isDouble() ? run("jobs").toInt() : hardwareThreads();
    if (command.print != ConvertCommand::Print::Nothing)
        return command;
    if (command.outputFolder.isEmpty()) {
        error = QStringLiteral("no output folder: give -o DIR");
        return std::nullopt;
    }
    if (command.inputs.arguments.isEmpty() && command.inputs.listFile.isEmpty()) {
        error = QStringLiteral("no pictures given");
        return std::nullopt;
    }
    return command;
}

QSizeF outputSizeFor(const ConvertCommand &command, QSizeF pictureSize)
{
    if (command.width && command.height)
        return QSizeF(*command.width, *command.height);
    if (!(pictureSize.width() > 0.0) || !(pictureSize.height() > 0.0))
        return QSizeF(0, 0);
    const float ratio = SizeFitting::aspectRatio(pictureSize);
    if (command.width)
        return QSizeF(*command.width, SizeFitting::heightForWidth(*command.width, ratio));
    return QSizeF(SizeFitting::widthForHeight(*command.height, ratio), *command.height);
}
