// quillpane-convert's argument parsing on arbitrary argument vectors, with arbitrary
// stored preferences behind it. Parsing only: nothing is converted or written.
//
// The input is one argument per line. A first line starting with "{" is not an argument
// but a preferences file (our JSON settings format) stored for the duration of the parse.
//
// Checked: every refusal says why; parsing is deterministic; a parsed command keeps the
// ranges the help promises; and the command written back as arguments parses to itself.

#include "ConvertCommand.h"
#include "JsonSettingsFormat.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "UserDefaults.h"

#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "convert_args: %s\n", what);
        std::abort();
    }
}

// A private preferences file, so the fuzzer never reads or changes the person's own.
void usePrivatePreferences()
{
    static QTemporaryDir folder;
    static const bool pointed = [] {
        UserDefaults::setStandardFilePath(folder.filePath(QStringLiteral("Quillpane.json")));
        return true;
    }();
    (void)pointed;
}

bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool sameSettings(const QVariantMap &a, const QVariantMap &b)
{
    if (a.keys() != b.keys())
        return false;
    for (auto it = a.cbegin(); it != a.cend(); ++it) {
        const double x = plistDouble(it.value()), y = plistDouble(b.value(it.key()));
        // The quality travels as a percentage: one rounding step either way is allowed.
        const bool same = it.key() == QLatin1String("quality") ? std::fabs(x - y) <= 1e-6 || sameNumber(x, y) : sameNumber(x, y);
        if (!same)
            return false;
    }
    return true;
}

bool sameCommand(const ConvertCommand &a, const ConvertCommand &b)
{
    auto sameSide = [](const std::optional<float> &x, const std::optional<float> &y) {
        return x.has_value() == y.has_value() && (!x || sameNumber(*x, *y));
    };
    return a.outputFolder == b.outputFolder && a.files == b.files && sameSide(a.width, b.width) && sameSide(a.height, b.height)
        && a.fileFormat == b.fileFormat && a.fillColour == b.fillColour && a.formats == b.formats && a.jobs == b.jobs
        && sameSettings(a.settings, b.settings);
}

QString number(double value) { return QString::number(value, 'g', 17); }

// The slider options and the ranges they accept.
const std::vector<std::pair<const char *, SliderRange>> &sliders()
{
    static const std::vector<std::pair<const char *, SliderRange>> list = {
        {"sharpen", SliderRanges::sharpen},     {"saturation", SliderRanges::saturation}, {"brightness", SliderRanges::brightness},
        {"exposure", SliderRanges::exposure},   {"contrast", SliderRanges::contrast},     {"vibrance", SliderRanges::vibrance},
        {"temperature", SliderRanges::temperature}};
    return list;
}
bool within(double value, double low, double high) { return value >= low && value <= high; }

// The command as arguments. A value outside what the options accept can only have come
// from the preferences; it is left out, so parsing takes it from them again.
QStringList argumentsFor(const ConvertCommand &command)
{
    QStringList args{QStringLiteral("-o"), command.outputFolder};
    if (command.width && command.height && within(*command.width, 1, 100000) && within(*command.height, 1, 100000))
        args << QStringLiteral("--width") << number(*command.width) << QStringLiteral("--height") << number(*command.height);
    else if (command.width && !command.height && within(*command.width, 1, 100000))
        args << QStringLiteral("--width") << number(*command.width);
    else if (command.height && !command.width && within(*command.height, 1, 100000))
        args << QStringLiteral("--height") << number(*command.height);
    const QStringList types{"jpeg", "png", "tiff"}, fills{"white", "black", "grey"}, modes{"crop", "add"},
        effects{"none", "tonal", "sepia", "posterize", "chrome"};
    auto choice = [&](const char *option, const QStringList &names, qint64 index) {
        if (index >= 0 && index < names.size())
            args << QString::fromLatin1(option) << names[index];
    };
    choice("--type", types, command.fileFormat);
    choice("--fill", fills, command.fillColour);
    choice("--mode", modes, recordInteger(command.settings, QStringLiteral("resamplemode")));
    choice("--effect", effects, recordInteger(command.settings, QStringLiteral("filter")));
    const double quality = double(recordFloat(command.settings, QStringLiteral("quality"))) * 100.0;
    if (within(quality, 0, 100))
        args << QStringLiteral("--quality") << number(quality);
    for (const auto &[slider, range] : sliders()) {
        const double value = recordFloat(command.settings, QString::fromLatin1(slider));
        if (range.contains(value))
            args << QStringLiteral("--") + QString::fromLatin1(slider) << number(value);
    }
    args << QStringLiteral("--intensity") << number(recordFloat(command.settings, QStringLiteral("filterintensity")));
    if (command.formats)
        args << QStringLiteral("--formats");
    if (within(command.jobs, 1, 256)) // the default follows the cores, which may be more
        args << QStringLiteral("--jobs") << QString::number(command.jobs);
    return args + command.files;
}

void checkCommand(const ConvertCommand &command)
{
    check(!command.outputFolder.isEmpty() && !command.files.isEmpty(), "a command without output folder or pictures");
    for (const QString &file : command.files)
        check(file == QLatin1String("-") || !file.startsWith(QLatin1Char('-')), "an option was taken for a picture");
    check(command.jobs >= 1, "no job to convert with");
    // The help calls the effect strength a whole number: a fraction must not vanish silently.
    const double intensity = recordDouble(command.settings, QStringLiteral("filterintensity"));
    check(intensity == std::trunc(intensity), "a fractional effect strength was accepted");
    // No adjustment goes beyond its slider, whether given or stored; only the sharpening
    // may come from a stored slider value the window itself would keep.
    check(SliderRanges::filterIntensity.contains(intensity), "an effect strength beyond its slider");
    for (const auto &[slider, range] : sliders())
        if (std::strcmp(slider, "sharpen") != 0)
            check(range.contains(recordFloat(command.settings, QString::fromLatin1(slider))), "an adjustment beyond its slider");
    // Every picture's output keeps the sides given; a missing side follows the picture.
    for (const QSizeF picture : {QSizeF(300, 200), QSizeF(1, 100000), QSizeF(100000, 1), QSizeF(0, 0)}) {
        const QSizeF size = outputSizeFor(command, picture);
        if (command.width && command.height) {
            check(sameNumber(size.width(), *command.width) && sameNumber(size.height(), *command.height), "a given size was not kept");
        } else if (picture.isEmpty()) {
            check(size == QSizeF(0, 0), "a picture without size got an output size");
        } else {
            const double given = command.width ? double(*command.width) : double(*command.height);
            const double kept = command.width ? size.width() : size.height();
            const double other = command.width ? size.height() : size.width();
            check(sameNumber(kept, given), "a given side was not kept");
            if (within(given, 1, 100000))
                check(std::isfinite(other) && other >= 0 && other == std::round(other), "the side by proportion is not a whole number");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    usePrivatePreferences();
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

    if (command) {
        checkCommand(*command);
        QString roundError;
        bool roundHelp = false;
        const auto round = parseConvertArguments(argumentsFor(*command), roundError, roundHelp);
        check(round && sameCommand(*command, *round), "the command written back as arguments parses to another");
    }

    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        UserDefaults::standard().removeObjectForKey(it.key());
    return 0;
}
