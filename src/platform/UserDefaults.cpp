#include "UserDefaults.h"

#include "JsonSettingsFormat.h"
#include "Log.h"
#include "PlistValue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <atomic>
#include <memory>
#include <mutex>

namespace {

std::mutex pathMutex;
QString standardPath;          // guarded by pathMutex
std::atomic<int> generation{0}; // bumped when the standard path changes

QString currentPath()
{
    std::lock_guard lock(pathMutex);
    if (standardPath.isEmpty())
        standardPath = UserDefaults::defaultFilePath();
    return standardPath;
}

// A damaged or unreadable file must not stop the program: it is moved aside and the
// program goes on with an empty store, so first-run values are written anew.
void setAsideIfDamaged(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return;
    QString problem;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("cannot be read (%1)").arg(file.errorString());
    } else {
        QSettings::SettingsMap map;
        if (!parseJsonSettings(file.readAll(), map))
            problem = QStringLiteral("is damaged");
        file.close();
    }
    if (problem.isEmpty())
        return;
    const QString backup = path + QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFile::rename(path, backup))
        qpLog(QStringLiteral("Preferences file %1 %2; kept it as %3 and started with first-run values")
                  .arg(path, problem, backup));
    else
        qpLog(QStringLiteral("Preferences file %1 %2 and could not be moved aside; preferences will not be saved")
                  .arg(path, problem));
}

// QSettings locks the file with QLockFile while it saves. A writer killed between
// creating that lock file and writing its owner into it leaves a lock that Qt trusts
// for 30 seconds, and the next save waits that long. A lock naming no owner is such a
// leftover (a live owner writes its name at once), so it is removed.
void removeOwnerlessLock(const QString &path)
{
    const QString lockPath = path + QStringLiteral(".lock");
    if (!QFileInfo::exists(lockPath))
        return;
    qint64 pid = 0;
    QString host, application;
    if (QLockFile(lockPath).getLockInfo(&pid, &host, &application))
        return;
    if (QFile::remove(lockPath))
        qpLog(QStringLiteral("Removed the lock file %1, which an interrupted save left without an owner").arg(lockPath));
}

struct ThreadSettings {
    std::unique_ptr<QSettings> settings;
    int generation = -1;
    bool failedToSave = false;
};

ThreadSettings &threadLocalSettings()
{
    thread_local ThreadSettings local;
    return local;
}

QSettings &threadSettings()
{
    ThreadSettings &local = threadLocalSettings();
    const int current = generation.load();
    if (!local.settings || local.generation != current) {
        const QString path = currentPath();
        {
            // Checked once per path and generation, before any QSettings reads it.
            static std::mutex checkMutex;
            static QString checkedPath;
            static int checkedGeneration = -1;
            std::lock_guard lock(checkMutex);
            if (checkedPath != path || checkedGeneration != current) {
                QDir().mkpath(QFileInfo(path).absolutePath());
                setAsideIfDamaged(path);
                removeOwnerlessLock(path);
                checkedPath = path;
                checkedGeneration = current;
            }
        }
        local.settings.reset(); // flush the old one before the new one opens
        local.settings = std::make_unique<QSettings>(path, jsonSettingsFormat());
        local.generation = current;
    }
    return *local.settings;
}

} // namespace

UserDefaults &UserDefaults::standard()
{
    static UserDefaults instance;
    return instance;
}

QString UserDefaults::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quillpane/Quillpane.json");
}

void UserDefaults::setStandardFilePath(const QString &path)
{
    {
        std::lock_guard lock(pathMutex);
        standardPath = path;
    }
    ++generation;
}

QString UserDefaults::filePath() const
{
    return currentPath();
}

QVariant UserDefaults::objectForKey(const QString &key) const
{
    return threadSettings().value(key);
}

void UserDefaults::setObjectForKey(const QVariant &value, const QString &key)
{
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    threadSettings().setValue(key, value);
}

void UserDefaults::removeObjectForKey(const QString &key)
{
    threadSettings().remove(key);
}

bool UserDefaults::boolForKey(const QString &key) const { return plistBool(objectForKey(key)); }
qint64 UserDefaults::integerForKey(const QString &key) const { return plistInteger(objectForKey(key)); }
float UserDefaults::floatForKey(const QString &key) const { return plistFloat(objectForKey(key)); }
double UserDefaults::doubleForKey(const QString &key) const { return plistDouble(objectForKey(key)); }

QString UserDefaults::stringForKey(const QString &key) const
{
    const QVariant value = objectForKey(key);
    if (!value.isValid() || value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QVariantMap)
        return QString();
    return plistString(value);
}

QVariantList UserDefaults::arrayForKey(const QString &key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList ? value.toList()
                                                                                                  : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString &key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

bool UserDefaults::synchronize()
{
    // A QSettings keeps reporting its first error for good, so after a failed save a
    // later one that succeeds would still count as failed: this save then goes through
    // a fresh QSettings. The changes not yet written stay pending in the file's shared
    // state, which the fresh one takes up.
    ThreadSettings &local = threadLocalSettings();
    if (local.failedToSave) {
        local.settings.reset();
        local.failedToSave = false;
    }
    QSettings &settings = threadSettings();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qpLog(QStringLiteral("Unable to save preferences to %1").arg(settings.fileName()));
        local.failedToSave = true;
        return false;
    }
    return true;
}
