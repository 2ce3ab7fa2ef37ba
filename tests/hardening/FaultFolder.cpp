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

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool namespaceEntered = false;

} // namespace

bool enterPrivateMountNamespace()
{
    static const bool entered = [] {
        // Private, or mounts made here would propagate back to the host's namespace.
        return geteuid() == 0 && unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return namespaceEntered = entered;
}

QString FaultFolder::whyNoSmallFileSystem()
{
    if (namespaceEntered)
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
    if (!namespaceEntered)
        return true;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    mounted_ = mount("tmpfs", path_.toLocal8Bit().constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
    if (!mounted_)
        *why = QStringLiteral("cannot mount a tmpfs at %1: %2").arg(path_, errnoText());
    return mounted_;
}

bool FaultFolder::setReadOnly(bool readOnly, QString *why)
{
    if (mounted_) {
        const unsigned long flags = MS_REMOUNT | MS_BIND | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
        if (mount(nullptr, path_.toLocal8Bit().constData(), nullptr, flags, nullptr) == 0)
            return true;
        *why = QStringLiteral("cannot remount %1: %2").arg(path_, errnoText());
        return false;
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
    const QByteArray name = file.toLocal8Bit();
    if (!mounted_ || mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) != 0) {
        *why = mounted_ ? QStringLiteral("cannot bind %1: %2").arg(file, errnoText()) : QStringLiteral("only a mounted folder pins a file");
        return false;
    }
    pinned_ << file;
    return true;
}

void FaultFolder::unpinAll()
{
    for (const QString &file : std::as_const(pinned_))
        umount2(file.toLocal8Bit().constData(), MNT_DETACH);
    pinned_.clear();
}

qint64 FaultFolder::freeBytes() const
{
    struct statvfs info {};
    return statvfs(path_.toLocal8Bit().constData(), &info) == 0 ? qint64(info.f_bavail) * qint64(info.f_frsize) : -1;
}
