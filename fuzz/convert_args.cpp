// quillpane-convert's argument parsing on arbitrary argument vectors, with arbitrary
// stored preferences behind it (read with --window-settings). Parsing only: nothing is
// converted or written but a settings file in a private folder.
//
// The input is one argument per line. A first line starting with "{" is not an argument
// but a preferences file (our JSON settings format) stored for the duration of the parse.
//
// Checked: every refusal says why; parsing is deterministic; every setting in effect is
// one its option accepts; the settings printed and read back hermetically give the same
// conversion; and a missing side follows the picture as the help promises.

#include "ConvertCommand.h"
#include "ConvertOptions.h"
#include "ConvertSettings.h"
#include "JsonSettingsFormat.h"
#include "UserDefaults.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "convert_args: %s\n", what);
        std::abort();
    }
}

// A private folder for the preferences and the printed settings, so the fuzzer never
// reads or changes the person's own files.
QTemporaryDir &privateFolder()
{
    static QTemporaryDir folder;
    static const bool pointed = [] {
        UserDefaults::setStandardFilePath(folder.filePath(QStringLiteral("Quillpane.json")));
        return true;
    }();
    (void)pointed;
    return folder;
}

bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool sameConversion(const ConvertCommand &a, const ConvertCommand &b)
{
    auto sameSide = [](const std::optional<float> &x, const std::optional<float> &y) {
        return x.has_value() == y.has_value() && (!x || sameNumber(*x, *y));
    };
    return a.settings == b.settings && a.conversion == b.conversion && sameSide(a.width, b.width) && sameSide(a.height, b.height)
        && a.fileFormat == b.fileFormat && a.fillColour == b.fillColour && a.formats == b.formats;
}

bool sameCommand(const ConvertCommand &a, const ConvertCommand &b)
{
    return sameConversion(a, b) && a.formatList == b.formatList && a.outputFolder == b.outputFolder
        && a.inputs.arguments == b.inputs.arguments && a.inputs.listFile == b.inputs.listFile && a.keepTree == b.keepTree
        && a.shardIndex == b.shardIndex && a.shardCount == b.shardCount && a.jobs == b.jobs && a.print == b.print;
}

void checkCommand(const ConvertCommand &command)
{
    check(command.print != ConvertCommand::Print::Nothing
              || (!command.outputFolder.isEmpty() && !(command.inputs.arguments.isEmpty() && command.inputs.listFile.isEmpty())),
          "a command without output folder or pictures");
    check(command.jobs >= 1 && command.shardCount >= 1 && command.shardIndex >= 0, "no job, or no shard, to convert with");
    check(command.width || command.height, "no side to convert to");
    // Every setting is one its option would accept, whether given, read or stored.
    for (auto it = command.settings.begin(); it != command.settings.end(); ++it) {
        const ConvertOption *option = convertOption(it.key());
        check(option && option->scope == ConvertOption::Scope::Setting, "a setting without its option");
        QString why;
        check(!optionValue(*option, it.value(), why).isUndefined(), "a setting its option refuses");
    }
    // Every picture's output keeps the sides given; a missing side follows the picture.
    for (const QSizeF picture : {QSizeF(300, 200), QSizeF(1, 100000), QSizeF(100000, 1), QSizeF(0, 0)}) {
        const QSizeF size = outputSizeFor(command, picture);
        if (command.width && command.height) {
            check(sameNumber(size.width(), *command.width) && sameNumber(size.height(), *command.height), "a given size was not kept");
        } else if (picture.isEmpty()) {
            check(size == QSizeF(0, 0), "a picture without size got an output size");
        } else {
            const double kept = command.width ? size.width() : size.height();
            const double other = command.width ? size.height() : size.width();
            check(sameNumber(kept, command.width ? double(*command.width) : double(*command.height)), "a given side was not kept");
            check(std::isfinite(other) && other >= 0 && other == std::round(other), "the side by proportion is not a whole number");
        }
    }
}

// The settings printed, then read back with nothing else: the same conversion.
void checkPrintedSettings(const ConvertCommand &command)
{
    const QString path = privateFolder().filePath(QStringLiteral("printed.json"));
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(settingsFileText(command.settings)) >= 0,
          "the printed settings could not be kept");
    file.close();
    QString error;
    bool help = false;
    const auto again = parseConvertArguments({QStringLiteral("--settings"), path, QStringLiteral("--print-settings")}, error, help);
    check(again.has_value(), "the printed settings do not read back");
    check(sameConversion(command, *again), "the printed settings read back as another conversion");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    privateFolder();
    QStringList args = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split(QLatin1Char('\n'));
    QSettings::SettingsMap stored;
    if (!args.isEmpty() && args.first().startsWith(QLatin1Char('{'))) {
        if (parseJsonSettings(args.takeFirst().toUtf8(), stored))
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                UserDefaults::standard().setObjectForKey(it.value(), it.key());
    }

    QString error;
    bool help = false;
    const auto command = parseConvertArguments(args, error, help);
    check(!(help && command), "help and a command at once");
    check(help || command || !error.isEmpty(), "a refusal without a reason");

    QString againError;
    bool againHelp = false;
    const auto again = parseConvertArguments(args, againError, againHelp);
    check(againHelp == help && again.has_value() == command.has_value() && againError == error
              && (!command || sameCommand(*command, *again)),
          "parsing the same arguments twice gave two answers");

    // --version asks for nothing to be converted: there is no command to check.
    if (command && command->print != ConvertCommand::Print::Version) {
        checkCommand(*command);
        // A formats file that went away meanwhile would refuse the second reading.
        if (command->settings.value(QLatin1String("formats-file")).isNull())
            checkPrintedSettings(*command);
    }

    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        UserDefaults::standard().removeObjectForKey(it.key());
    return 0;
}
