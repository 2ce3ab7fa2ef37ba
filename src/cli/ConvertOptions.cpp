#include "ConvertOptions.h"

#include "FileSizeBudget.h"
#include "Preferences.h"

#include <cmath>

namespace {

using Kind = ConvertOption::Kind;
using Scope = ConvertOption::Scope;

ConvertOption slider(const char *name, const char *valueName, SliderRange range, const char *help)
{
    return {name, 0, Kind::Number, Scope::Setting, valueName, help, range.minimum, range.maximum};
}

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

// The kelvin values the temperature slider's ends reach, rounded inward.
double lowestKelvin() { return std::ceil(std::exp2(double(SliderRanges::temperature.minimum))); }
double highestKelvin() { return std::floor(std::exp2(double(SliderRanges::temperature.maximum))); }

QJsonValue checkedNumber(const ConvertOption &option, double value, const QString &text, QString &why)
{
    switch (option.kind) {
    case Kind::Number:
        if (std::isfinite(value) && float(value) >= float(option.minimum) && float(value) <= float(option.maximum))
            return value;
        why = QStringLiteral("%1 is not a number from %2 to %3").arg(text, number(option.minimum), number(option.maximum));
        return QJsonValue::Undefined;
    case Kind::Whole:
        if (std::isfinite(value) && value == std::trunc(value) && value >= option.minimum && value <= option.maximum)
            return value;
        why = QStringLiteral("%1 is not a whole number from %2 to %3").arg(text, number(option.minimum), number(option.maximum));
        return QJsonValue::Undefined;
    case Kind::Kelvin:
        if (std::isfinite(value) && value > 0 && SliderRanges::temperature.contains(temperatureSetting(value)))
            return value;
        why = QStringLiteral("%1 is not a colour temperature from %2 to %3 kelvin").arg(text, number(lowestKelvin()), number(highestKelvin()));
        return QJsonValue::Undefined;
    default:
        why = QStringLiteral("%1 is not what this option takes").arg(text);
        return QJsonValue::Undefined;
    }
}

} // namespace

const std::vector<ConvertOption> &convertOptions()
{
    static const std::vector<ConvertOption> options = [] {
        std::vector<ConvertOption> list = {
            {"output", 'o', Kind::Path, Scope::Run, "DIR", "folder for the outputs (made when missing)", 0, 0, {},
             "What to convert and where"},
            {"files-from", 0, Kind::Path, Scope::Run, "FILE",
             "the pictures listed in FILE, one path a line (\"-\":\nstandard input), after those given as arguments"},
            {"null", '0', Kind::Flag, Scope::Run, "", "the --files-from list is separated by NUL characters,\nnot lines (find -print0)"},
            {"recursive", 'r', Kind::Flag, Scope::Run, "",
             "a folder stands for every picture of its whole tree,\nnot only those directly inside; linked folders are\nnot entered"},
            {"keep-tree", 0, Kind::Path, Scope::Run, "ROOT",
             "each output goes into DIR's copy of the folder its\npicture is in below ROOT, so same-named pictures of\ndifferent folders do not collide"},
            {"shard", 0, Kind::Shard, Scope::Run, "K/N",
             "converts only the pictures whose position in the list\n(from 0) is K modulo N; the other N - 1 shards take\nthe rest"},
            {"skip-existing", 0, Kind::Flag, Scope::Run, "",
             "leaves an output that is already there (outputs are\nput in place only whole, so one there is complete):\na killed run run again does only what is left.\nSettings are not compared: new settings, new folder"},
            {"report", 0, Kind::Path, Scope::Run, "FILE",
             "appends a JSON line to FILE for each picture as it\nends (see below)"},
            {"quiet", 'q', Kind::Flag, Scope::Run, "", "no progress line and no notes; failures are still told"},
            {"jobs", 0, Kind::Whole, Scope::Run, "N", "pictures converted at once (default: the processors\nthis process may use)", 1, 256},

            {"settings", 0, Kind::Path, Scope::Run, "FILE",
             "reads settings from a JSON object whose keys are the\noptions below (\"quality\": 90); options given win", 0, 0, {},
             "Where the settings come from (without these: the values shown as defaults)"},
            {"window-settings", 0, Kind::Flag, Scope::Run, "",
             "starts from the window's stored preferences,\nadjustment defaults and format list instead"},
            {"neutral", 0, Kind::Flag, Scope::Run, "",
             "every adjustment at its neutral value, no sharpening,\nno effect; options after it still apply"},
            {"print-settings", 0, Kind::Flag, Scope::Run, "", "writes the settings in effect as a settings file and\nconverts nothing"},
            {"print-formats", 0, Kind::Flag, Scope::Run, "", "writes the format list in effect (for --formats-file)\nand converts nothing"},

            {"width", 0, Kind::Whole, Scope::Setting, "W",
             "output width in pixels (default 125)", 1, 65535, {}, "How each picture is converted"},
            {"height", 0, Kind::Whole, Scope::Setting, "H",
             "output height in pixels; a missing side follows each\npicture's proportions, rounded as the window rounds\n(halves away from 0)", 1, 65535},
            {"mode", 0, Kind::Choice, Scope::Setting, "crop|add",
             "cut to the output's proportions (default) or add borders", 0, 0, {"crop", "add"}},
            {"fill", 0, Kind::Choice, Scope::Setting, "white|black|grey", "colour of added borders (default white)", 0, 0,
             {"white", "black", "grey"}},
            {"type", 0, Kind::Choice, Scope::Setting, "jpeg|png|tiff|webp|avif", "output type (default jpeg)", 0, 0,
             {"jpeg", "png", "tiff", "webp", "avif"}},
            slider("quality", "Q", SliderRanges::quality, "quality of jpeg, webp and avif, 0-100 as the\nquality slider (default 98.3736)"),
            {"max-kb", 0, Kind::Whole, Scope::Setting, "N",
             "keeps each output at most N kB (of 1000 bytes): jpeg,\nwebp and avif get the highest quality that fits,\n"
             "below --quality; an output that cannot fit is written\nall the same, at the lowest quality (or as it is, for\n"
             "png and tiff), and named on standard error and in the\nreport (default 0: no budget)",
             0, double(FileSizeBudget::kMaxKilobytes)},
            slider("sharpen", "S", SliderRanges::sharpen, "luminance sharpening at output size, 0-2 (default 0:\nnone)"),
            slider("saturation", "S", SliderRanges::saturation, "0-2: 1 keeps the colours (default), 0 gives grey"),
            slider("brightness", "B", SliderRanges::brightness, "-0.5 to 0.5, 0 keeps (default)"),
            slider("exposure", "EV", SliderRanges::exposure, "stops, -2 to 2, 0 keeps (default)"),
            slider("contrast", "C", SliderRanges::contrast, "0.5-1.5, 1 keeps (default)"),
            slider("vibrance", "V", SliderRanges::vibrance, "-1 to 1, 0 keeps (default)"),
            {"temperature", 0, Kind::Kelvin, Scope::Setting, "K",
             "the colour temperature the picture is taken to have\n"
             "been lit by, in kelvin, 2897-15286; above the neutral\n6500 (default) warms it"},
            {"effect", 0, Kind::Choice, Scope::Setting, "none|tonal|sepia|posterize|chrome", "(default none)", 0, 0,
             {"none", "tonal", "sepia", "posterize", "chrome"}},
            {"intensity", 0, Kind::Whole, Scope::Setting, "N",
             "effect strength 0-5 (sepia 0-1, posterize N x 6\nlevels; default 1)", SliderRanges::filterIntensity.minimum,
             SliderRanges::filterIntensity.maximum},
            {"formats", 0, Kind::Flag, Scope::Setting, "",
             "also writes each selected format of the format list\nbeside each output, named with its modifier\n"
             "(photo@2x.jpg): the built-in @2x and @3x unless\n--formats-file or --window-settings"},
            {"formats-file", 0, Kind::Path, Scope::Setting, "FILE",
             "the format list from FILE: a JSON list of format\nrecords as the window stores them (or its whole\n"
             "preferences file); implies --formats"},

            {"help", 'h', Kind::Flag, Scope::Run, "", "this text", 0, 0, {}, "And"},
            {"version", 0, Kind::Flag, Scope::Run, "", "the program's name and version"},
        };
        return list;
    }();
    return options;
}

const ConvertOption *convertOption(const QString &name)
{
    for (const ConvertOption &option : convertOptions())
        if (option.name == name)
            return &option;
    return nullptr;
}

const ConvertOption *convertShortOption(char shortName)
{
    for (const ConvertOption &option : convertOptions())
        if (shortName != 0 && option.shortName == shortName)
            return &option;
    return nullptr;
}

QJsonValue optionValue(const ConvertOption &option, const QString &text, QString &why)
{
    switch (option.kind) {
    case Kind::Flag:
        return true;
    case Kind::Choice:
        if (option.choices.contains(text))
            return text;
        why = QStringLiteral("%1 is not one of %2").arg(text, option.choices.join(QLatin1Char('|')));
        return QJsonValue::Undefined;
    case Kind::Path:
        if (!text.isEmpty())
            return text;
        why = QStringLiteral("an empty name is no file");
        return QJsonValue::Undefined;
    case Kind::Shard: {
        const QStringList parts = text.split(QLatin1Char('/'));
        bool kOk = false, nOk = false;
        const qlonglong k = parts.value(0).toLongLong(&kOk), n = parts.size() == 2 ? parts[1].toLongLong(&nOk) : 0;
        if (parts.size() == 2 && kOk && nOk && k >= 0 && n >= 1 && n <= 1'000'000)
            return text;
        why = QStringLiteral("%1 is not K/N with a whole K from 0 and a whole N from 1 (0/4 is the first of four)").arg(text);
        return QJsonValue::Undefined;
    }
    default: {
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok)
            return checkedNumber(option, value, text, why);
        return checkedNumber(option, NAN, text, why);
    }
    }
}

QJsonValue optionValue(const ConvertOption &option, const QJsonValue &value, QString &why)
{
    if (value.isNull())
        return value;
    switch (option.kind) {
    case Kind::Flag:
        if (value.isBool())
            return value;
        why = QStringLiteral("is not true or false");
        return QJsonValue::Undefined;
    case Kind::Choice:
    case Kind::Path:
    case Kind::Shard:
        if (value.isString())
            return optionValue(option, value.toString(), why);
        why = QStringLiteral("is not text");
        return QJsonValue::Undefined;
    default:
        if (value.isDouble())
            return checkedNumber(option, value.toDouble(), number(value.toDouble()), why);
        why = QStringLiteral("is not a number");
        return QJsonValue::Undefined;
    }
}

float temperatureSetting(double kelvin)
{
    return float(std::log2(kelvin));
}

double kelvinForSetting(float temperature)
{
    const double exact = std::exp2(double(temperature));
    for (int decimals = 0; decimals <= 9; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        const double shown = std::round(exact * scale) / scale;
        if (temperatureSetting(shown) == temperature)
            return shown;
    }
    return exact;
}

QString convertUsage()
{
    QString text = QStringLiteral(
        "usage: quillpane-convert [options] -o DIR PICTURE|FOLDER...\n"
        "       quillpane-convert [options] -o DIR --files-from LIST\n"
        "\n"
        "Makes a web-ready copy of each picture in DIR, named as the window's batch save\n"
        "names it: the picture's name with the output type's extension (photo.png ->\n"
        "DIR/photo.jpg). The picture is scaled by one factor with Lanczos resampling in\n"
        "linear light so that it covers the output size; the overhang is cut equally\n"
        "from both sides (crop) or the picture is padded to the output's proportions\n"
        "first (add).\n"
        "\n"
        "The same options give the same bytes on every machine: nothing stored in the\n"
        "home folder is read unless --window-settings asks for it. A folder given stands\n"
        "for the pictures directly inside it (told by their endings: jpg, png, gif,\n"
        "tiff, pdf, eps, ...), hidden ones aside, in name order; an output folder inside\n"
        "it is not searched.\n");
    for (const ConvertOption &option : convertOptions()) {
        if (!option.section.isEmpty())
            text += QStringLiteral("\n%1:\n").arg(option.section);
        QString names = option.shortName ? QStringLiteral("-%1, --%2").arg(QLatin1Char(option.shortName)).arg(option.name)
                                         : QStringLiteral("--%1").arg(option.name);
        if (!option.valueName.isEmpty())
            names += QLatin1Char(' ') + option.valueName;
        const QStringList lines = option.help.split(QLatin1Char('\n'));
        const bool ownLine = names.size() > 22;
        text += QStringLiteral("  %1").arg(names, ownLine ? 0 : -22);
        for (int i = 0; i < lines.size(); ++i)
            text += (i == 0 && !ownLine ? QString() : QStringLiteral("\n") + QString(24, QLatin1Char(' '))) + lines[i];
        text += QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\n"
        "The report's lines are JSON objects: \"input\" (the picture as listed),\n"
        "\"status\" (\"ok\" or \"failed\"), \"reason\" (when failed), \"outputs\" (each with\n"
        "\"path\", \"width\", \"height\", \"bytes\", and \"existing\": true when\n"
        "--skip-existing left it) and \"ms\". A progress line is shown on standard error\n"
        "while it is a terminal.\n"
        "\n"
        "An existing output is replaced once its replacement is complete; an input\n"
        "picture is never overwritten, and of two pictures that would have the same\n"
        "output only the first in the list is converted. The exit status is 1 when any\n"
        "picture failed (the others are still written) and 2 for bad arguments,\n"
        "settings or lists.\n");
    return text;
}
