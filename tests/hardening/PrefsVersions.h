#pragma once
// The preferences the writer process stores one after another: version k is recognisable whole, and large and small
// versions alternate, so a write cut short could never pass for a complete one.

#include <QSettings>

inline QSettings::SettingsMap prefsVersion(qint64 k)
{
    return {{QStringLiteral("version"), k},
            {QStringLiteral("blob"), QString(k % 2 == 0 ? 200000 : 1500, QChar(u'a' + int(k % 26)))}};
}
