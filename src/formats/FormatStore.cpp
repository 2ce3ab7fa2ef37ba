#include "FormatStore.h"

#include "Dialogs.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "UserDefaults.h"

namespace {

std::optional<QVariantMap> firstWithText(const QString &key, const QString &text, const QVariantList &list)
{
    for (const QVariant &item : list) {
        const QVariantMap record = item.toMap();
        const QVariant value = record.value(key);
        if (value.typeId() == QMetaType::QString && value.toString() == text)
            return record;
    }
    return std::nullopt;
}

// Removes the first record named `name` and every record equal to it.
void removeFirstNamed(QVariantList &list, const QString &name)
{
    if (auto record = FormatStore::formatWithNameFromArray(name, list))
        list.removeAll(QVariant(*record));
}

} // namespace

FormatStore::FormatStore(UserDefaults &defaults)
    : defaults_(defaults)
{
}

std::optional<QVariantMap> FormatStore::formatWithNameFromArray(const QString &name, const QVariantList &list)
{
    return firstWithText(FormatKey::name, name, list);
}

std::optional<QVariantMap> FormatStore::formatWithModifierFromArray(const QString &modifier, const QVariantList &list)
{
    return firstWithText(FormatKey::modifier, modifier, list);
}

QVariantMap FormatStore::builtInFormat(int multiple, bool selected)
{
    const QString n = QString::number(multiple);
    return {
        {FormatKey::name, n + QLatin1Char('x')},
        {FormatKey::modifier, QLatin1Char('@') + n + QLatin1Char('x')},
        {FormatKey::scalemode, qint64(1)},
        {FormatKey::xabs, QString()},
        {FormatKey::yabs, QString()},
        {FormatKey::xratio, n},
        {FormatKey::yratio, n},
        {FormatKey::maxeither, QString()},
        {FormatKey::relativeto, qint64(1)},
        {FormatKey::resamplemode, qint64(0)},
        {FormatKey::fillcolour, qint64(0)},
        {FormatKey::selected, selected},
    };
}

QVariantList FormatStore::withBuiltIns(QVariantList list, bool twoXSelected, bool threeXSelected)
{
    removeFirstNamed(list, QStringLiteral("2x"));
    list.insert(0, builtInFormat(2, twoXSelected));
    removeFirstNamed(list, QStringLiteral("3x"));
    list.insert(0, builtInFormat(3, threeXSelected));
    return list;
}

qsizetype FormatStore::indexOfTemplateNamed(const QString &name) const
{
    const QVariantList list = storedFormats();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QVariant value = list.at(i).toMap().value(FormatKey::name);
        if (value.typeId() == QMetaType::QString && value.toString() == name)
            return i;
    }
    return -1;
}

QVariantList FormatStore::storedFormats() const
{
    return defaults_.arrayForKey(PrefKey::formats);
}

bool FormatStore::hasStoredFormats() const
{
    return defaults_.hasObjectForKey(PrefKey::formats);
}

void FormatStore::storeFormats(const QVariantList &list, bool synchronize)
{
    defaults_.setObjectForKey(list, PrefKey::formats);
    if (synchronize)
        defaults_.synchronize();
}

bool FormatStore::factoryReset(bool askForConfirmation)
{
    if (askForConfirmation) {
        const AlertPanel panel{
            QStringLiteral("Factory reset formats"),
            QStringLiteral("This operation will not remove formats that you've created or renamed, but will "
                           "re-create or reset the built-in ones. Do you want to continue?"),
            QStringLiteral("Continue"), QStringLiteral("Cancel"), QString(), AlertAlternate};
        if (DialogPresenter::current().runAlertPanel(panel) != AlertDefault)
            return false;
    }
    storeFormats(withBuiltIns(storedFormats(), defaults_.boolForKey(PrefKey::create2xVersion),
                              defaults_.boolForKey(PrefKey::create3xVersion)),
                 true);
    if (listReset)
        listReset();
    return true;
}

void FormatStore::seedIfAbsent()
{
    if (!hasStoredFormats())
        factoryReset(false);
}

QString FormatStore::getSummary() const
{
    QString text;
    int count = 0;
    for (const QVariant &item : storedFormats()) {
        const QVariantMap record = item.toMap();
        if (!recordBool(record, FormatKey::selected))
            continue;
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += plistString(record.value(FormatKey::name));
        ++count;
    }
    if (text.size() < 29)
        return text.isEmpty() ? QStringLiteral("none selected") : text;
    return QStringLiteral("%1 selected").arg(count);
}
