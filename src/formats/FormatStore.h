#pragma once
// The list of additional output formats in user defaults: lookups, the built-in "2x"
// and "3x" records, their re-creation, and the summary line. The list is never cached:
// each operation reads the stored array, works on a copy and writes the whole array back.

#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <optional>

class UserDefaults;

namespace FormatKey {
inline const QString name = QStringLiteral("name");
inline const QString modifier = QStringLiteral("modifier");
inline const QString scalemode = QStringLiteral("scalemode");
inline const QString xabs = QStringLiteral("xabs");
inline const QString yabs = QStringLiteral("yabs");
inline const QString xratio = QStringLiteral("xratio");
inline const QString yratio = QStringLiteral("yratio");
inline const QString maxeither = QStringLiteral("maxeither");
inline const QString relativeto = QStringLiteral("relativeto");
inline const QString resamplemode = QStringLiteral("resamplemode");
inline const QString fillcolour = QStringLiteral("fillcolour");
inline const QString selected = QStringLiteral("selected");
} // namespace FormatKey

class FormatStore {
public:
    explicit FormatStore(UserDefaults &defaults);

    // The first record of the list whose key equals the text exactly, or nothing.
    static std::optional<QVariantMap> formatWithNameFromArray(const QString &name, const QVariantList &list);
    static std::optional<QVariantMap> formatWithModifierFromArray(const QString &modifier, const QVariantList &list);
    // The built-in record "2x" or "3x" with the given "selected" flag.
    static QVariantMap builtInFormat(int multiple, bool selected);
    // The list with the built-ins re-created at its front ("3x", "2x"), as a factory reset
    // makes it: the first record of each name is replaced, the others keep their places.
    static QVariantList withBuiltIns(QVariantList list, bool twoXSelected, bool threeXSelected);

    // Index of the first stored record with the name, or -1.
    qsizetype indexOfTemplateNamed(const QString &name) const;

    QVariantList storedFormats() const; // empty when none is stored
    bool hasStoredFormats() const;
    void storeFormats(const QVariantList &list, bool synchronize);

    // Re-creates the built-in formats. When askForConfirmation is set, the person is
    // asked first and "Cancel" changes nothing. Returns whether the list was reset.
    bool factoryReset(bool askForConfirmation);
    // Seeds the list with the built-ins, without asking, when no list is stored.
    void seedIfAbsent();

    QString getSummary() const;

    // Called after factoryReset stores the list (the table reloads).
    std::function<void()> listReset;

private:
    UserDefaults &defaults_;
};
