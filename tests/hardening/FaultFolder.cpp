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

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool namespaceEntered = false;

} // namespace

bool enterPrivateMountNamespace()
{
    static const bool entered = [] {
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0)
            return false;
        // Without this, mounts made here would propagate back to the host's namespace.
        return mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    namespaceEntered = entered;
    return entered;
}

bool FaultFolder::canMount()
{
    return namespaceEntered;
}

QString FaultFolder::whyNoSmallFileSystem()
{
    if (canMount())
        return QString();
    return geteuid() != 0 ? QStringLiteral("not root: no small file system can be mounted")
                          : QStringLiteral("no private mount namespace could be entered");
}

FaultFolder::~FaultFolder()
{
    if (chmodded_)
        QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    unpinAll();
    if (mounted_)
        umount2(path_.toLocal8Bit().constData(), MNT_DETACH);
}

bool FaultFolder::create(qint64 bytes, QString *why)
{
    if (!QDir().mkpath(path_)) {
        *why = QStringLiteral("cannot create %1").arg(path_);
        return false;
    }
    if (!canMount())
        return true;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (mount("tmpfs", path_.toLocal8Bit().constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) != 0) {
        *why = QStringLiteral("cannot mount a tmpfs at %1: %2").arg(path_, errnoText());
        return false;
    }
    mounted_ = true;
    return true;
}

bool FaultFolder::setReadOnly(bool readOnly, QString *why)
{
    if (mounted_) {
        const unsigned long flags = MS_REMOUNT | MS_BIND | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
        if (mount(nullptr, path_.toLocal8Bit().constData(), nullptr, flags, nullptr) != 0) {
            *why = QStringLiteral("cannot remount %1: %2").arg(path_, errnoText());
            return false;
        }
        return true;
    }
    if (geteuid() == 0) {
        *why = QStringLiteral("root ignores permissions and no mount can be made");
        return false;
    }
    const QFile::Permissions writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!QFile::setPermissions(path_, readOnly ? writable & ~QFile::Permissions(QFile::WriteOwner) : writable)) {
        *why = QStringLiteral("cannot change the permissions of %1").arg(path_);
        return false;
    }
    chmodded_ = readOnly;
    return true;
}

bool FaultFolder::pinWritable(const QString &file, QString *why)
{
    if (!mounted_) {
        *why = QStringLiteral("a file can be pinned only on a mounted folder");
        return false;
    }
    const QByteArray name = file.toLocal8Bit();
    if (mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) != 0) {
        *why = QStringLiteral("cannot bind %1: %2").arg(file, errnoText());
        return false;
    }
    pinned_ << file;
    return true;
}

void FaultFolder::unpinAll()
{
    for (const QString &file : pinned_)
        umount2(file.toLocal8Bit().constData(), MNT_DETACH);
    pinned_.clear();
}

qint64 FaultFolder::freeBytes() const
{
    struct statvfs info {};
    if (statvfs(path_.toLocal8Bit().constData(), &info) != 0)
        return -1;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}
