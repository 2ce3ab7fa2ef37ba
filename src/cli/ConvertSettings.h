#pragma once
// Where a run's settings come from, in layers: a base (the neutral defaults that make
// the command hermetic, or the window's stored preferences), a settings file over it, the
// options given over that. Settings are held as the options name them (kelvin, quality
// 0-100, "jpeg") in a JSON object keyed by option name; null stands for "not given".

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

struct SettingsBase {
    QJsonObject settings;     // every setting key; the sides null
    QJsonObject defaultSize;  // "width" and "height", used when neither side is given
    QVariantList formatList;  // what --formats writes when no formats file is given
    bool warnUpscaling = true;
};

// No adjustment, no effect, no sharpening; the window's first-run size, type and quality;
// the built-in formats as a first start selects them.
SettingsBase neutralBase();
// The window's stored preferences, adjustment defaults and format list, each held to what
// its control can show. `notes` gets a line for each stored value that could not be used.
SettingsBase windowBase(QStringList &notes);

// The values --neutral sets: the adjustments at neutral, no sharpening, no effect.
QJsonObject neutralAdjustments();

// A settings file: a JSON object of setting keys, each checked as its option. A relative
// "formats-file" is taken from the settings file's folder. False, with `why`, for anything
// else.
bool readSettingsFile(const QString &path, QJsonObject &settings, QString &why);
// A format list: a JSON list of format records, or an object holding one under "formats"
// (the window's preferences file). False, with `why`, when it is neither.
bool readFormatsFile(const QString &path, QVariantList &formats, QString &why);

// What --print-settings and --print-formats write; each reads back as it was.
QByteArray settingsFileText(const QJsonObject &settings);
QByteArray formatsFileText(const QVariantList &formats);

// The engine's record for the settings, without the size entries; the output type
// ("fileFormat" values) and fill colour ("fillcolour" values) they choose.
QVariantMap conversionSettings(const QJsonObject &settings);
qint64 fileFormatOf(const QJsonObject &settings);
qint64 fillColourOf(const QJsonObject &settings);
