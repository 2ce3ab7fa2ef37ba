#pragma once
// A human-readable JSON file format for QSettings. Types survive the round trip:
// booleans stay booleans, integers stay integers, floats keep a decimal point or an
// exponent, text, lists and dictionaries nest as they are.

#include <QByteArray>
#include <QSettings>

QSettings::Format jsonSettingsFormat();

// The same conversions, for callers that check a file before QSettings opens it.
bool parseJsonSettings(const QByteArray &bytes, QSettings::SettingsMap &map);
QByteArray serialiseJsonSettings(const QSettings::SettingsMap &map);
