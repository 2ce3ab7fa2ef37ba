#include "FaultFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

bool namespaceEntered = false;

std::string failure(const QString &what)
{
    return what.toStdString() + ": " + std::strerror(errno);
}

} // namespace

bool enterPrivateMountNamespace()
{
    // Private, or mounts made here would propagate back to the host's namespace.
    static const bool entered =
        geteuid() == 0 && unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return namespaceEntered = entered;
}

std::string FaultFolder::whyNot()
{
    return namespaceEntered ? "" : "no small file system can be mounted (not root, or no namespace)";
}

FaultFolder::~FaultFolder()
{
    unpinAll();
    if (mounted_)
        umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
}

std::string FaultFolder::create(qint64 bytes)
{
    if (!QDir().mkpath(path_))
        return failure(QStringLiteral("cannot create ") + path_);
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    mounted_ = mount("tmpfs", QFile::encodeName(path_).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
    return mounted_ ? "" : failure(QStringLiteral("cannot mount a tmpfs at ") + path_);
}

std::string FaultFolder::setReadOnly(bool readOnly)
{
    const unsigned long flags = MS_REMOUNT | MS_BIND | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    const bool done = mounted_ && mount(nullptr, QFile::encodeName(path_).constData(), nullptr, flags, nullptr) == 0;
    return done ? "" : failure(QStringLiteral("cannot remount ") + path_);
}

std::string FaultFolder::pinWritable(const QString &file)
{
    const QByteArray name = QFile::encodeName(file);
    if (!mounted_ || mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) != 0)
        return failure(QStringLiteral("cannot bind ") + file);
    pinned_ << file;
    return "";
}

void FaultFolder::unpinAll()
{
    for (const QString &file : std::as_const(pinned_))
        umount2(QFile::encodeName(file).constData(), MNT_DETACH);
    pinned_.clear();
}

qint64 FaultFolder::freeBytes() const
{
    struct statvfs info {};
    return statvfs(QFile::encodeName(path_).constData(), &info) == 0 ? qint64(info.f_bavail) * qint64(info.f_frsize) : -1;
}
