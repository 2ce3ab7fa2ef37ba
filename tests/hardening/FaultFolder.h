#pragma once
// A folder whose file system a test can fill up or make read-only: as root, a small tmpfs mounted in a mount namespace
// of the test process's own; without root, a plain folder, and the tests that need a mount are skipped.

#include <QString>
#include <QStringList>

// Enters a private mount namespace once, before any thread exists (from a static initialiser). True when mounts can be made.
bool enterPrivateMountNamespace();

class FaultFolder {
public:
    explicit FaultFolder(QString path) : path_(std::move(path)) {}
    ~FaultFolder();

    // Why a small file system cannot be made here, for GTEST_SKIP; empty when it can.
    static QString whyNoSmallFileSystem();
    // Creates the folder; as root it becomes a tmpfs of `bytes`.
    bool create(qint64 bytes, QString *why);
    bool setReadOnly(bool readOnly, QString *why);
    // Keeps `file` writable while the folder turns read-only: its bytes can be replaced, no file made beside it.
    bool pinWritable(const QString &file, QString *why);
    void unpinAll();
    qint64 freeBytes() const;
    const QString &path() const { return path_; }

private:
    QString path_;
    bool mounted_ = false;
    QStringList pinned_;
};
