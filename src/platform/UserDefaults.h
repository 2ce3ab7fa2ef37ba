#pragma once
// The per-user preferences store: QSettings over our JSON file format, one QSettings
// object per thread on the same file (they share unsaved changes within the process).
// Reads behave like the platform's: an object or none, and typed reads that follow
// the text-to-number rules of PlistValue.h.

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

class UserDefaults {
public:
    static UserDefaults &standard();

    // Where the standard store lives: <config location>/Quillpane/Quillpane.json.
    static QString defaultFilePath();
    // Points the standard store at another file (tests use a temporary folder).
    static void setStandardFilePath(const QString &path);

    QString filePath() const;

    QVariant objectForKey(const QString &key) const; // invalid when no object is stored
    bool hasObjectForKey(const QString &key) const { return objectForKey(key).isValid(); }
    void setObjectForKey(const QVariant &value, const QString &key);
    void removeObjectForKey(const QString &key);

    bool boolForKey(const QString &key) const;
    qint64 integerForKey(const QString &key) const;
    float floatForKey(const QString &key) const;
    double doubleForKey(const QString &key) const;
    QString stringForKey(const QString &key) const;       // null unless text or a number
    QVariantList arrayForKey(const QString &key) const;   // empty unless a list
    QVariantMap dictionaryForKey(const QString &key) const; // empty unless a dictionary

    void setBoolForKey(bool value, const QString &key) { setObjectForKey(value, key); }
    void setIntegerForKey(qint64 value, const QString &key) { setObjectForKey(value, key); }
    void setFloatForKey(float value, const QString &key) { setObjectForKey(value, key); }

    // Writes pending changes to the file now (atomically); false when that failed.
    bool synchronize();

private:
    UserDefaults() = default;
};
