#include "ConvertCommand.h"

#include "FileSizeBudget.h"
#include "FormatStore.h"
#include "Log.h"
#include "OutputFileType.h"
#include "Parallel.h"
#include "PhotoManipulator.h"
#include "Picture.h"
#include "PixelCount.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "SafeFileCopy.h"
#include "SavingRules.h"
#include "SizeFitting.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

namespace {

std::mutex messageMutex;

void say(const QString &text)
{
    std::lock_guard lock(messageMutex);
    std::fprintf(stderr, "quillpane-convert: %s\n", qPrintable(text));
    std::fflush(stderr);
}

// The value stored under the key, or the first-run value when none is stored.
QVariant stored(const QString &key, const QVariant &firstRun)
{
    const QVariant value = UserDefaults::standard().objectForKey(key);
    return value.isValid() ? value : firstRun;
}

// A stored size read as the window's size field reads it.
float storedSize(const QString &key)
{
    const QVariant value = stored(key, kFirstRunOutputSize);
    if (const std::optional<qint32> count = storedPixelCount(value))
        return float(*count);
    say(QStringLiteral("the stored %1 is not a number of pixels; using %2").arg(key, kFirstRunOutputSize));
    return float(kFirstRunOutputPixels);
}

// The adjustment sliders as a reset to the saved defaults would set them.
QVariantMap adjustmentDefaults()
{
    QVariantMap record = UserDefaults::standard().dictionaryForKey(PrefKey::adjustmentDefaults);
    // An older record kept the exposure under "brightness" (start-up repairs it the same way).
    if (record.contains(AdjustmentKey::brightness) && !record.contains(AdjustmentKey::exposure)) {
        record[AdjustmentKey::exposure] = record[AdjustmentKey::brightness];
        record[AdjustmentKey::brightness] = 0.0f;
    }
    struct Slider {
        QString key;
        float factory;
        SliderRange range;
    };
    const Slider sliders[] = {{AdjustmentKey::saturation, 1.0f, SliderRanges::saturation},
                              {AdjustmentKey::brightness, 0.0f, SliderRanges::brightness},
                              {AdjustmentKey::exposure, 0.2f, SliderRanges::exposure},
                              {AdjustmentKey::contrast, 1.0f, SliderRanges::contrast},
                              {AdjustmentKey::vibrance, 0.0f, SliderRanges::vibrance},
                              {AdjustmentKey::temperature, kNeutralTemperatureSlider, SliderRanges::temperature}};
    // A stored value goes no further than its slider, as the window's reset takes it.
    QVariantMap values;
    for (const Slider &s : sliders)
        values[s.key] = record.contains(s.key) ? s.range.bounded(recordFloat(record, s.key)) : s.factory;
    return values;
}

// The stored format list. Where the window never ran there is none yet: the list its
// first start would seed (the built-ins, selected as its first-run values select them) is
// used without being stored, so converting leaves the preferences as they were.
QVariantList formatList()
{
    FormatStore store(UserDefaults::standard());
    if (store.hasStoredFormats())
        return store.storedFormats();
    return FormatStore::withBuiltIns({}, plistBool(stored(PrefKey::create2xVersion, true)),
                                     plistBool(stored(PrefKey::create3xVersion, true)));
}

bool number(const QString &text, double &value)
{
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

QString convertUsage()
{
    return QStringLiteral(
        "usage: quillpane-convert [options] -o DIR FILE...\n"
        "\n"
        "Makes a web-ready copy of each picture in DIR, named as the window's batch save names\n"
        "it: the picture's name with the output type's extension (photo.png -> DIR/photo.jpg).\n"
        "The picture is scaled by one factor with Lanczos resampling in linear light so that it\n"
        "covers the output size; the overhang is cut equally from both sides (crop) or the\n"
        "picture is padded to the output's proportions first (add). Settings not given take the\n"
        "values the window would use: the stored preferences and adjustment defaults. The\n"
        "adjustments take what the window's sliders can be set to.\n"
        "\n"
        "  -o, --output DIR     folder for the outputs (made when missing)\n"
        "  --width W            output width in pixels\n"
        "  --height H           output height in pixels; a missing side follows each picture's\n"
        "                       proportions, rounded as the window rounds (halves away from 0);\n"
        "                       neither given: the stored width, and the height by proportion\n"
        "                       while the stored proportion lock is on\n"
        "  --mode crop|add      cut to the output's proportions (default) or add borders\n"
        "  --fill white|black|grey  colour of added borders (default: the stored fill colour)\n"
        "  --type jpeg|png|tiff|webp|avif  output type (default: the stored file type)\n"
        "  --quality Q          quality of jpeg, webp and avif, 0-100 as the quality slider\n"
        "                       (default: stored)\n"
        "  --max-kb N|off       keep each output at most N kB (of 1000 bytes): jpeg, webp and avif\n"
        "                       get the highest quality that fits, instead of --quality; an output\n"
        "                       that cannot fit is written all the same, at the lowest quality (or\n"
        "                       as it is, for png and tiff), and named on standard error\n"
        "                       (default: the stored budget, when it is on)\n"
        "  --sharpen S          luminance sharpening at output size, 0-2, 0 for none (default: stored)\n"
        "  --saturation S       0-2: 1 keeps the colours, 0 gives grey\n"
        "  --brightness B       -0.5 to 0.5, 0 keeps\n"
        "  --exposure EV        stops, -2 to 2, 0 keeps\n"
        "  --contrast C         0.5-1.5, 1 keeps\n"
        "  --vibrance V         -1 to 1, 0 keeps\n"
        "  --temperature T      log2 of the colour temperature in kelvin, 11.5-13.9 (12.68 is about\n"
        "                       6562 K); above the neutral 6500 K warms the picture\n"
        "  --effect none|tonal|sepia|posterize|chrome\n"
        "  --intensity N        effect strength, a whole number 0-5 (sepia 0-1, posterize N x 6 levels)\n"
        "  --neutral            every adjustment at its neutral value (6500 K), no sharpening,\n"
        "                       no effect; options after it still apply\n"
        "  --formats            also write every selected format of the stored format list beside\n"
        "                       each output, named with the format's modifier (photo@2x.jpg);\n"
        "                       with no list stored yet, the built-in @2x and @3x formats\n"
        "  --jobs N             pictures converted at once, 1-256 (default: all cores)\n"
        "  -h, --help           this text\n"
        "\n"
        "An existing output is replaced once its replacement is complete; an input picture is\n"
        "never overwritten. The exit status is 1 when any picture failed (the others are still\n"
        "written; an output over its budget is no failure) and 2 for bad arguments.\n");
}

std::optional<ConvertCommand> parseConvertArguments(const QStringList &arguments, QString &error, bool &help)
{
    help = false;
    ConvertCommand command;
    command.fileFormat = plistInteger(stored(PrefKey::fileFormat, 0));
    command.fillColour = plistInteger(stored(PrefKey::fillcolour, 0));
    command.maxBytes = FileSizeBudget::storedMaxBytes(UserDefaults::standard());
    command.settings = adjustmentDefaults();
    command.settings[QStringLiteral("quality")] = plistFloat(stored(PrefKey::qualityValue, 98.3736f)) / 100.0f;
    command.settings[QStringLiteral("sharpen")] = plistFloat(stored(PrefKey::sharpeningValue, 0.24f));
    command.settings[QStringLiteral("filter")] = 0;
    command.settings[QStringLiteral("filterintensity")] = 1.0f;
    command.settings[QStringLiteral("resamplemode")] = 0;
    command.jobs = hardwareThreads();

    // Each slider option takes what the window's slider can be set to.
    const std::map<QString, std::pair<QString, SliderRange>> sliders = {
        {"--sharpen", {"sharpen", SliderRanges::sharpen}},
        {"--saturation", {"saturation", SliderRanges::saturation}},
        {"--brightness", {"brightness", SliderRanges::brightness}},
        {"--exposure", {"exposure", SliderRanges::exposure}},
        {"--contrast", {"contrast", SliderRanges::contrast}},
        {"--vibrance", {"vibrance", SliderRanges::vibrance}},
        {"--temperature", {"temperature", SliderRanges::temperature}}};
    for (int i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments[i];
        auto value = [&](QString &out) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            out = arguments[++i];
            return true;
        };
        auto numberValue = [&](double &out, double low, double high) {
            QString text;
            if (!value(text))
                return false;
            // Compared as the float it becomes, so "13.9" is within a slider that ends at 13.9f.
            if (!number(text, out) || float(out) < float(low) || float(out) > float(high)) {
                error = QStringLiteral("%1: %2 is not a number from %3 to %4").arg(arg, text).arg(low).arg(high);
                return false;
            }
            return true;
        };
        // Values the program reads as whole numbers: a fraction would be cut off silently.
        auto wholeValue = [&](double &out, double low, double high) {
            if (!numberValue(out, low, high))
                return false;
            if (out != std::trunc(out)) {
                error = QStringLiteral("%1: %2 is not a whole number").arg(arg, arguments[i]);
                return false;
            }
            return true;
        };
        auto choice = [&](const QStringList &names, int &out) {
            QString text;
            if (!value(text))
                return false;
            out = int(names.indexOf(text));
            if (out < 0) {
                error = QStringLiteral("%1: %2 is not one of %3").arg(arg, text, names.join(QLatin1Char('|')));
                return false;
            }
            return true;
        };
        double d = 0;
        int c = 0;
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            help = true;
            return std::nullopt;
        } else if (arg == QLatin1String("-o") || arg == QLatin1String("--output")) {
            if (!value(command.outputFolder))
                return std::nullopt;
        } else if (arg == QLatin1String("--width") || arg == QLatin1String("--height")) {
            if (!numberValue(d, 1, 100000))
                return std::nullopt;
            (arg == QLatin1String("--width") ? command.width : command.height) = float(d);
        } else if (arg == QLatin1String("--mode")) {
            if (!choice({"crop", "add"}, c))
                return std::nullopt;
            command.settings[QStringLiteral("resamplemode")] = c;
        } else if (arg == QLatin1String("--fill")) {
            if (!choice({"white", "black", "grey"}, c))
                return std::nullopt;
            command.fillColour = c;
        } else if (arg == QLatin1String("--type")) {
            QStringList names;
            for (const qint64 type : outputFileTypeValues())
                names << outputFileTypeFor(type).name;
            if (!choice(names, c))
                return std::nullopt;
            command.fileFormat = outputFileTypeValues().at(c);
        } else if (arg == QLatin1String("--max-kb")) {
            if (i + 1 < arguments.size() && arguments[i + 1] == QLatin1String("off")) {
                ++i;
                command.maxBytes = 0;
            } else {
                if (!wholeValue(d, 1, FileSizeBudget::kMaxKilobytes))
                    return std::nullopt;
                command.maxBytes = qint64(d) * FileSizeBudget::kBytesPerKilobyte;
            }
        } else if (arg == QLatin1String("--effect")) {
            if (!choice({"none", "tonal", "sepia", "posterize", "chrome"}, c))
                return std::nullopt;
            command.settings[QStringLiteral("filter")] = c;
        } else if (arg == QLatin1String("--quality")) {
            if (!numberValue(d, SliderRanges::quality.minimum, SliderRanges::quality.maximum))
                return std::nullopt;
            command.settings[QStringLiteral("quality")] = float(d) / 100.0f;
        } else if (arg == QLatin1String("--intensity")) {
            if (!wholeValue(d, SliderRanges::filterIntensity.minimum, SliderRanges::filterIntensity.maximum))
                return std::nullopt;
            command.settings[QStringLiteral("filterintensity")] = float(d);
        } else if (sliders.count(arg)) {
            const auto &[key, range] = sliders.at(arg);
            if (!numberValue(d, range.minimum, range.maximum))
                return std::nullopt;
            command.settings[key] = float(d);
        } else if (arg == QLatin1String("--neutral")) {
            for (const auto &[key, neutral] : std::initializer_list<std::pair<const char *, float>>{
                     {"saturation", 1.0f}, {"brightness", 0.0f}, {"exposure", 0.0f}, {"contrast", 1.0f}, {"vibrance", 0.0f},
                     {"temperature", float(std::log2(6500.0))}, {"sharpen", 0.0f}})
                command.settings[QString::fromLatin1(key)] = neutral;
            command.settings[QStringLiteral("filter")] = 0;
        } else if (arg == QLatin1String("--formats")) {
            command.formats = true;
        } else if (arg == QLatin1String("--jobs")) {
            if (!wholeValue(d, 1, 256))
                return std::nullopt;
            command.jobs = int(d);
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        } else {
            command.files << arg;
        }
    }
    if (command.outputFolder.isEmpty()) {
        error = QStringLiteral("no output folder: give -o DIR");
        return std::nullopt;
    }
    if (command.files.isEmpty()) {
        error = QStringLiteral("no pictures given");
        return std::nullopt;
    }
    if (!command.width && !command.height) {
        command.width = storedSize(PrefKey::outputWidth);
        if (!plistBool(stored(PrefKey::constrain, true)))
            command.height = storedSize(PrefKey::outputHeight);
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

int runConvertCommand(const ConvertCommand &command)
{
    if (!QDir().mkpath(command.outputFolder)) {
        say(QStringLiteral("cannot make the output folder %1").arg(command.outputFolder));
        return 2;
    }
    const QDir folder(command.outputFolder);
    // Outputs are decided before anything runs: an input is never overwritten, and two
    // pictures with the same name do not write over each other's output.
    // By the files themselves, not their names: an input reached through a linked folder or
    // a hard link is still an input.
    auto isInput = [&](const QString &path) {
        return std::any_of(command.files.begin(), command.files.end(), [&](const QString &file) { return writingReplaces(path, file); });
    };
    std::vector<QString> outputs(size_t(command.files.size()));
    std::map<QString, int> taken;
    std::atomic<bool> failed{false};
    for (int i = 0; i < command.files.size(); ++i) {
        const QString path = folder.absoluteFilePath(SavingRules::batchOutputName(command.files[i], command.fileFormat));
        if (isInput(path)) {
            say(QStringLiteral("%1: the output %2 would replace an input picture; skipped").arg(command.files[i], path));
            failed = true;
        } else if (taken.count(path)) {
            say(QStringLiteral("%1: its output %2 is already the output of %3; skipped").arg(command.files[i], path, command.files[taken[path]]));
            failed = true;
        } else {
            taken[path] = i;
            outputs[size_t(i)] = path;
        }
    }
    const QVariantList formats = command.formats ? formatList() : QVariantList();
    auto isSelected = [](const QVariant &format) { return recordBool(format.toMap(), FormatKey::selected); };
    if (command.formats && std::none_of(formats.cbegin(), formats.cend(), isSelected))
        say(QStringLiteral("--formats: no format of the format list is selected; only the base outputs are written"));
    const bool warnUpscaling = plistBool(stored(PrefKey::warnAboutUpscaling, true));
    const int workers = std::clamp(command.jobs, 1, std::max(1, int(command.files.size())));
    const int threadsEach = std::max(1, hardwareThreads() / workers);
    std::atomic<int> next{0};

    parallelFor(workers, workers, [&](int) {
        PhotoManipulator engine;
        engine.awakeFromNib();
        engine.setThreadCount(threadsEach);
        engine.setCachesLevels(false);
        auto convertTo = [&](const std::shared_ptr<const Picture> &picture, const QVariantMap &settings, const QString &path) {
            const EncodedOutput output =
                engine.encodedOutputForNSImageWithSettings(picture, settings, {command.fileFormat, command.fillColour, command.maxBytes});
            const QByteArray &data = output.bytes;
            if (data.isEmpty()) {
                const QSizeF size = SavingRules::formatOutputSize(settings);
                say(QStringLiteral("%1 could not be made at %2 x %3 pixels").arg(path).arg(qRound64(size.width())).arg(qRound64(size.height())));
                return false;
            }
            QString why;
            if (!writeFileReplacing(path, data, &why)) {
                say(path + QLatin1Char(' ') + why);
                return false;
            }
            if (output.overBudget)
                say(path + QLatin1Char(' ') + FileSizeBudget::overBudgetReason(data.size(), command.maxBytes, command.fileFormat));
            return true;
        };
        for (int i = next++; i < command.files.size(); i = next++) {
            const QString &output = outputs[size_t(i)];
            if (output.isEmpty())
                continue;
            const QString &file = command.files[i];
            const auto picture = Picture::referenceFile(file);
            if (!picture) {
                say(QStringLiteral("%1: not a picture that can be read").arg(file));
                failed = true;
                continue;
            }
            const QSizeF size = outputSizeFor(command, picture->size());
            QVariantMap settings = command.settings;
            settings[QStringLiteral("scalemode")] = 0;
            settings[QStringLiteral("xabs")] = float(size.width());
            settings[QStringLiteral("yabs")] = float(size.height());
            settings[QStringLiteral("xratio")] = 1.0f;
            settings[QStringLiteral("yratio")] = 1.0f;
            settings[QStringLiteral("relativeto")] = 1;
            if (!convertTo(picture, settings, output)) {
                failed = true;
                continue;
            }
            const QSize largest = picture->largestPixelSize();
            if (warnUpscaling && SavingRules::isUpscaled(size, largest))
                say(QStringLiteral("%1 is larger than its input picture; upscaled pictures are likely to be less sharp").arg(output));
            for (const QVariant &entry : formats) {
                const QVariantMap record = entry.toMap();
                if (!recordBool(record, FormatKey::selected))
                    continue;
                QString refusal;
                const QString path = SavingRules::additionalFormatPath(output, SavingRules::formatModifier(record), &refusal);
                if (path.isEmpty() || isInput(path)) {
                    say(path.isEmpty() ? refusal : QStringLiteral("%1: would replace an input picture; skipped").arg(path));
                    failed = true;
                    continue;
                }
                const QVariantMap prepared = SavingRules::prepareFormatSettings(record, settings, size, picture->size());
                if (!convertTo(picture, prepared, path))
                    failed = true;
                else if (warnUpscaling && SavingRules::isUpscaled(SavingRules::formatOutputSize(prepared), largest))
                    say(QStringLiteral("%1 is larger than its input picture; upscaled pictures are likely to be less sharp").arg(path));
            }
        }
    });
    return failed ? 1 : 0;
}
