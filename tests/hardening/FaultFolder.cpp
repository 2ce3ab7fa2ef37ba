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

// Fails with `what` and the errno text.
bool failed(QString *why, const QString &what)
{
    *why = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace

bool enterPrivateMountNamespace()
{
    // Private, or mounts made here would propagate back to the host's namespace.
    static const bool entered =
        geteuid() == 0 && unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return namespaceEntered = entered;
}

QString FaultFolder::whyNoSmallFileSystem()
{
    return namespaceEntered ? QString() : QStringLiteral("no small file system can be mounted (not root, or no namespace)");
}

FaultFolder::~FaultFolder()
{
    unpinAll();
    if (mounted_)
        umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
}

bool FaultFolder::create(qint64 bytes, QString *why)
{
    if (!QDir().mkpath(path_))
        return failed(why, QStringLiteral("cannot create ") + path_);
    if (!namespaceEntered)
        return true;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    mounted_ = mount("tmpfs", QFile::encodeName(path_).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
    return mounted_ || failed(why, QStringLiteral("cannot mount a tmpfs at ") + path_);
}

bool FaultFolder::setReadOnly(bool readOnly, QString *why)
{
    if (mounted_) {
        const unsigned long flags = MS_REMOUNT | MS_BIND | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
        return mount(nullptr, QFile::encodeName(path_).constData(), nullptr, flags, nullptr) == 0
            || failed(why, QStringLiteral("cannot remount ") + path_);
    }
    *why = QStringLiteral("only a mounted folder turns read-only for root and the program alike");
    return false;
}

bool FaultFolder::pinWritable(const QString &file, QString *why)
{
    const QByteArray name = QFile::encodeName(file);
    if (!mounted_ || mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) != 0)
        return failed(why, QStringLiteral("cannot bind ") + file);
    pinned_ << file;
    return true;
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
