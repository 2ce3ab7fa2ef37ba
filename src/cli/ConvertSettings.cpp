#include "ConvertSettings.h"

#include "ConvertOptions.h"
#include "FormatStore.h"
#include "JsonSettingsFormat.h"
#include "PixelCount.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <charconv>
#include <cmath>

namespace {

// The shortest decimal that reads back as the same float: 98.3736, not 98.37359619140625.
double shortestDecimal(float value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return QByteArray(buffer, int(end - buffer)).toDouble();
}

int choiceIndex(const QJsonObject &settings, const char *name)
{
    return int(convertOption(QString::fromLatin1(name))->choices.indexOf(settings.value(QLatin1String(name)).toString()));
}

QString choiceName(const char *option, qint64 index)
{
    return convertOption(QString::fromLatin1(option))->choices.value(index);
}

QJsonObject baseSettings()
{
    QJsonObject settings{{"width", QJsonValue::Null}, {"height", QJsonValue::Null}, {"mode", "crop"},
                         {"fill", "white"},           {"type", "jpeg"},               {"quality", shortestDecimal(kFirstRunQuality)},
                         {"formats", false},          {"formats-file", QJsonValue::Null}};
    const QJsonObject neutral = neutralAdjustments();
    for (auto it = neutral.begin(); it != neutral.end(); ++it)
        settings[it.key()] = it.value();
    return settings;
}

// The value stored under the key, or the first-run value when none is stored.
QVariant stored(const QString &key, const QVariant &firstRun)
{
    const QVariant value = UserDefaults::standard().objectForKey(key);
    return value.isValid() ? value : firstRun;
}

// A stored size read as the window's size field reads it.
QJsonValue storedSize(const QString &key, QStringList &notes)
{
    const QVariant value = stored(key, kFirstRunOutputSize);
    if (const std::optional<qint32> count = storedPixelCount(value))
        return double(*count);
    notes << QStringLiteral("the stored %1 is not a number of pixels; using %2").arg(key, kFirstRunOutputSize);
    return double(kFirstRunOutputPixels);
}

// The adjustment sliders as a reset to the saved defaults sets them, each held to its slider.
void readAdjustmentDefaults(QJsonObject &settings)
{
    QVariantMap record = UserDefaults::standard().dictionaryForKey(PrefKey::adjustmentDefaults);
    // An older record kept the exposure under "brightness" (start-up repairs it the same way).
    if (record.contains(AdjustmentKey::brightness) && !record.contains(AdjustmentKey::exposure)) {
        record[AdjustmentKey::exposure] = record[AdjustmentKey::brightness];
        record[AdjustmentKey::brightness] = 0.0f;
    }
    const std::pair<const QString &, SliderRange> sliders[] = {
        {AdjustmentKey::saturation, SliderRanges::saturation}, {AdjustmentKey::brightness, SliderRanges::brightness},
        {AdjustmentKey::exposure, SliderRanges::exposure},     {AdjustmentKey::contrast, SliderRanges::contrast},
        {AdjustmentKey::vibrance, SliderRanges::vibrance}};
    // The sliders' own starting values where the record has none.
    const std::pair<const QString &, float> factory[] = {{AdjustmentKey::saturation, 1.0f}, {AdjustmentKey::brightness, 0.0f},
                                                         {AdjustmentKey::exposure, 0.2f},   {AdjustmentKey::contrast, 1.0f},
                                                         {AdjustmentKey::vibrance, 0.0f}};
    for (size_t i = 0; i < std::size(sliders); ++i) {
        const auto &[key, range] = sliders[i];
        const float value = record.contains(key) ? range.bounded(recordFloat(record, key)) : factory[i].second;
        settings[key] = shortestDecimal(value);
    }
    const float temperature = record.contains(AdjustmentKey::temperature)
        ? SliderRanges::temperature.bounded(recordFloat(record, AdjustmentKey::temperature))
        : kNeutralTemperatureSlider;
    settings[QStringLiteral("temperature")] = kelvinForSetting(temperature);
}

QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

bool readWhole(const QString &path, QByteArray &bytes, QString &why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        why = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    return true;
}

} // namespace

QJsonObject neutralAdjustments()
{
    return {{"sharpen", 0},  {"saturation", 1}, {"brightness", 0},   {"exposure", 0},   {"contrast", 1},
            {"vibrance", 0}, {"temperature", 6500}, {"effect", "none"}, {"intensity", 1}};
}

SettingsBase neutralBase()
{
    SettingsBase base;
    base.settings = baseSettings();
    base.defaultSize = {{"width", double(kFirstRunOutputPixels)}, {"height", QJsonValue::Null}};
    base.formatList = FormatStore::withBuiltIns({}, true, true);
    return base;
}

SettingsBase windowBase(QStringList &notes)
{
    SettingsBase base;
    base.settings = baseSettings();
    const qint64 fileFormat = plistInteger(stored(PrefKey::fileFormat, kFirstRunFileFormat));
    if (choiceName("type", fileFormat).isEmpty())
        notes << QStringLiteral("the stored fileFormat %1 is not an output type this command writes; using jpeg").arg(fileFormat);
    else
        base.settings[QStringLiteral("type")] = choiceName("type", fileFormat);
    // As the engine reads it: 1 black, 2 grey, anything else white.
    const qint64 fill = plistInteger(stored(PrefKey::fillcolour, 0));
    base.settings[QStringLiteral("fill")] = choiceName("fill", fill == 1 || fill == 2 ? fill : 0);
    base.settings[QStringLiteral("quality")] =
        shortestDecimal(SliderRanges::quality.bounded(plistFloat(stored(PrefKey::qualityValue, kFirstRunQuality))));
    base.settings[QStringLiteral("sharpen")] =
        shortestDecimal(SliderRanges::sharpen.bounded(plistFloat(stored(PrefKey::sharpeningValue, kFirstRunSharpening))));
    readAdjustmentDefaults(base.settings);
    base.defaultSize = {{"width", storedSize(PrefKey::outputWidth, notes)}, {"height", QJsonValue::Null}};
    if (!plistBool(stored(PrefKey::constrain, true)))
        base.defaultSize[QStringLiteral("height")] = storedSize(PrefKey::outputHeight, notes);
    // Where the window never ran there is no list yet: the one its first start would seed
    // is used without being stored, so converting leaves the preferences as they were.
    FormatStore store(UserDefaults::standard());
    base.formatList = store.hasStoredFormats() ? store.storedFormats()
                                               : FormatStore::withBuiltIns({}, plistBool(stored(PrefKey::create2xVersion, true)),
                                                                           plistBool(stored(PrefKey::create3xVersion, true)));
    base.warnUpscaling = plistBool(stored(PrefKey::warnAboutUpscaling, true));
    return base;
}

bool readSettingsFile(const QString &path, QJsonObject &settings, QString &why)
{
    QByteArray bytes;
    if (!readWhole(path, bytes, why))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (!document.isObject()) {
        why = error.error != QJsonParseError::NoError
            ? QStringLiteral("is not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)
            : QStringLiteral("is not a JSON object of settings");
        return false;
    }
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const ConvertOption *option = convertOption(it.key());
        if (!option || option->scope != ConvertOption::Scope::Setting) {
            why = option ? QStringLiteral("\"%1\" is not a setting: give --%1 on the command line").arg(it.key())
                         : QStringLiteral("\"%1\" is no setting of this command (--help lists them)").arg(it.key());
            return false;
        }
        QString reason;
        QJsonValue value = optionValue(*option, it.value(), reason);
        if (value.isUndefined()) {
            why = QStringLiteral("\"%1\": %2").arg(it.key(), reason);
            return false;
        }
        if (option->kind == ConvertOption::Kind::Path && value.isString())
            value = QFileInfo(path).dir().absoluteFilePath(value.toString());
        settings[it.key()] = value;
    }
    return true;
}

bool readFormatsFile(const QString &path, QVariantList &formats, QString &why)
{
    QByteArray bytes;
    if (!readWhole(path, bytes, why))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (document.isArray())
        bytes = "{\"formats\": " + bytes + "}";
    QSettings::SettingsMap map;
    if (document.isNull() || !parseJsonSettings(bytes, map)) {
        why = error.error != QJsonParseError::NoError ? QStringLiteral("is not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)
                                                      : QStringLiteral("is not a format list");
        return false;
    }
    const QVariant list = map.value(PrefKey::formats);
    if (list.typeId() != QMetaType::QVariantList) {
        why = QStringLiteral("holds no format list: a JSON list of format records, or an object with one under \"formats\"");
        return false;
    }
    formats = list.toList();
    for (qsizetype i = 0; i < formats.size(); ++i) {
        if (formats[i].typeId() != QMetaType::QVariantMap) {
            why = QStringLiteral("format %1 of the list is not a record").arg(i + 1);
            return false;
        }
    }
    return true;
}

QByteArray settingsFileText(const QJsonObject &settings)
{
    QByteArray text = "{";
    const char *separator = "\n";
    for (const ConvertOption &option : convertOptions()) {
        if (option.scope != ConvertOption::Scope::Setting)
            continue;
        text += separator + QByteArray("  \"") + option.name.toUtf8() + "\": " + jsonText(settings.value(option.name));
        separator = ",\n";
    }
    return text + "\n}\n";
}

QByteArray formatsFileText(const QVariantList &formats)
{
    return serialiseJsonSettings({{PrefKey::formats, formats}});
}

QVariantMap conversionSettings(const QJsonObject &settings)
{
    auto number = [&](const char *name) { return float(settings.value(QLatin1String(name)).toDouble()); };
    QVariantMap record;
    record[QStringLiteral("quality")] = number("quality") / 100.0f;
    for (const char *name : {"sharpen", "saturation", "brightness", "exposure", "contrast", "vibrance"})
        record[QString::fromLatin1(name)] = number(name);
    record[QStringLiteral("temperature")] = temperatureSetting(settings.value(QLatin1String("temperature")).toDouble());
    record[QStringLiteral("filter")] = choiceIndex(settings, "effect");
    record[QStringLiteral("filterintensity")] = number("intensity");
    record[QStringLiteral("resamplemode")] = choiceIndex(settings, "mode");
    return record;
}

qint64 fileFormatOf(const QJsonObject &settings)
{
    return choiceIndex(settings, "type");
}

qint64 fillColourOf(const QJsonObject &settings)
{
    return choiceIndex(settings, "fill");
}
