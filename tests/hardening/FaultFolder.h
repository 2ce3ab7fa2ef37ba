#pragma once
// A folder on a small file system that a test can fill up or make read-only: a tmpfs mounted, as root, in a mount
// namespace of the test process's own. Each call returns why it failed, or "" when it did not.

#include <QString>
#include <QStringList>

#include <string>

// Enters a private mount namespace once, before any thread exists (from a static initialiser). True when mounts can be made.
bool enterPrivateMountNamespace();

class FaultFolder {
public:
    explicit FaultFolder(QString path) : path_(std::move(path)) {}
    ~FaultFolder();

    // Why no such folder can be made here, for GTEST_SKIP; "" when it can.
    static std::string whyNot();
    // Creates the folder and mounts a tmpfs of `bytes` on it.
    std::string create(qint64 bytes);
    std::string setReadOnly(bool readOnly);
    // Keeps `file` writable while the folder turns read-only: its bytes can be replaced, no file made beside it.
    std::string pinWritable(const QString &file);
    void unpinAll();
    qint64 freeBytes() const;
    const QString &path() const { return path_; }

private:
    QString path_;
    bool mounted_ = false;
    QStringList pinned_;
};
