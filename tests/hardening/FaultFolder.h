#pragma once
// A folder whose file system a test can fill up or make read-only, and give back.
//
// As root the folder is a small tmpfs mounted in a mount namespace of the test process's
// own, so no mount is ever seen outside it. Without root, read-only falls back to the
// folder's permissions and a file system of limited size is not available.

#include <QString>
#include <QStringList>

#include <utility>

// Enters a private mount namespace once, before any thread exists (called from a
// static initialiser). True when mounts can be made.
bool enterPrivateMountNamespace();

class FaultFolder {
public:
    explicit FaultFolder(QString path) : path_(std::move(path)) {}
    ~FaultFolder();
    FaultFolder(const FaultFolder &) = delete;
    FaultFolder &operator=(const FaultFolder &) = delete;

    static bool canMount();
    // Why a fault cannot be made here, for GTEST_SKIP; empty when it can.
    static QString whyNoSmallFileSystem();

    // Creates the folder; as root it becomes a tmpfs of `bytes`.
    bool create(qint64 bytes, QString *why);
    // Read-only for this mount only: a file pinned writable below stays writable.
    bool setReadOnly(bool readOnly, QString *why);
    // Keeps `file` (inside the folder) writable while the folder turns read-only, the
    // case in which a writer can replace the file's bytes but not create a file beside it.
    bool pinWritable(const QString &file, QString *why);
    void unpinAll();
    // Bytes the file system still grants to a writer.
    qint64 freeBytes() const;
    const QString &path() const { return path_; }

private:
    QString path_;
    bool mounted_ = false;
    QStringList pinned_;
    bool chmodded_ = false;
};
