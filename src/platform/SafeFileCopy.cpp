#include "SafeFileCopy.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

const QString kExists = QStringLiteral("exists already and was left as it was");

QString because(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("cannot be written: its folder does not allow it");
    case EROFS:
        return QStringLiteral("cannot be written: its folder is on a read-only disk");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("cannot be written: the disk is full");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("cannot be written: its folder does not exist");
    case EISDIR:
        return QStringLiteral("is a folder");
    case EEXIST:
        return kExists;
    default:
        return QStringLiteral("cannot be written: %1").arg(QString::fromStdString(std::generic_category().message(error)));
    }
}

// Whether what stands at `to` may be replaced (see the header); the mode of a plain
// file there, which its replacement keeps.
bool mayReplace(const QByteArray &to, Replacing replacing, QString &why, std::optional<mode_t> &keptMode)
{
    struct stat entry {};
    if (::lstat(to.constData(), &entry) != 0) {
        if (errno == ENOENT)
            return true;
        why = because(errno);
        return false;
    }
    if (replacing == Replacing::Never) {
        why = kExists;
        return false;
    }
    if (S_ISLNK(entry.st_mode))
        return true;
    if (S_ISDIR(entry.st_mode)) {
        why = because(EISDIR);
        return false;
    }
    if (!S_ISREG(entry.st_mode)) {
        why = QStringLiteral("is not a plain file and was left as it was");
        return false;
    }
    // The permission bits, not only access(): root may write anything, but a file without
    // a write bit was made read-only by someone who meant it.
    if ((entry.st_mode & 0222) == 0) {
        why = QStringLiteral("is read-only and was left as it was");
        return false;
    }
    if (::faccessat(AT_FDCWD, to.constData(), W_OK, AT_EACCESS) != 0) {
        why = errno == EROFS ? because(EROFS) : QStringLiteral("is read-only and was left as it was");
        return false;
    }
    keptMode = entry.st_mode & 07777;
    return true;
}

QByteArray folderOf(const QByteArray &to)
{
    const qsizetype slash = to.lastIndexOf('/');
    return slash >= 0 ? to.left(slash + 1) : QByteArray();
}

// The first name tried for the temporary file of `to`: short whatever the destination's
// length, and the same in every process.
QByteArray ownTemporary(const QByteArray &to)
{
    const QByteArray name = to.mid(folderOf(to).size());
    return folderOf(to) + ".quillpane-" + QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex().left(16) + ".part";
}

// A new, empty file in the folder of `to`, under a name nobody else uses.
int createBeside(const QByteArray &to, QByteArray &temp)
{
    temp = ownTemporary(to);
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST)
        return fd;
    // Someone else's write of the same name, or one killed: leave it, take another name.
    const QByteArray folder = folderOf(to);
    for (int attempt = 0; attempt < 64; ++attempt) {
        temp = folder + ".quillpane-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Puts the file in place once the temporary one is complete and closed.
bool moveInPlace(const QByteArray &temp, const QByteArray &to, Replacing replacing, QString &why)
{
    if (replacing == Replacing::Allowed) {
        if (::rename(temp.constData(), to.constData()) == 0)
            return true;
        why = because(errno);
        return false;
    }
    if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int error = errno;
    if (error == EINVAL || error == ENOSYS) { // a file system without it: a hard link does the same
        if (::link(temp.constData(), to.constData()) == 0) {
            ::unlink(temp.constData());
            return true;
        }
        error = errno;
    }
    why = because(error);
    return false;
}

// Creates the temporary file, lets `fill` write it, and puts it in place.
template <typename Fill> bool putInPlace(const QString &to, QString *whyOut, Replacing replacing, Fill fill)
{
    QString why;
    auto fail = [&](const QString &reason) {
        if (whyOut)
            *whyOut = reason;
        return false;
    };
    const QByteArray target = QFile::encodeName(to);
    std::optional<mode_t> keptMode;
    if (!mayReplace(target, replacing, why, keptMode))
        return fail(why);
    QByteArray temp;
    const int fd = createBeside(target, temp);
    if (fd < 0)
        return fail(because(errno));
    bool written = fill(fd, why);
    auto check = [&](bool ok) {
        if (written && !ok) {
            why = because(errno);
            written = false;
        }
    };
    if (written && keptMode)
        check(::fchmod(fd, *keptMode) == 0);
    if (written)
        check(::fsync(fd) == 0);
    check(::close(fd) == 0);
    if (written && moveInPlace(temp, target, replacing, why))
        return true;
    ::unlink(temp.constData());
    return fail(why);
}

} // namespace

bool copyFileReplacing(const QString &from, const QString &to, QString *why, Replacing replacing)
{
    const int source = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        if (why)
            *why = QStringLiteral("was not written: %1 cannot be read (%2)")
                       .arg(from, QString::fromStdString(std::generic_category().message(errno)));
        return false;
    }
    const bool copied = putInPlace(to, why, replacing, [&](int fd, QString &reason) {
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (;;) {
            const ssize_t n = ::read(source, chunk.data(), size_t(chunk.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                reason = QStringLiteral("was not written: %1 cannot be read (%2)")
                             .arg(from, QString::fromStdString(std::generic_category().message(errno)));
                return false;
            }
            if (n == 0)
                return true;
            if (!writeAll(fd, chunk.constData(), n)) {
                reason = because(errno);
                return false;
            }
        }
    });
    ::close(source);
    return copied;
}

bool writeFileReplacing(const QString &to, const QByteArray &bytes, QString *why, Replacing replacing)
{
    return putInPlace(to, why, replacing, [&](int fd, QString &reason) {
        if (writeAll(fd, bytes.constData(), bytes.size()))
            return true;
        reason = because(errno);
        return false;
    });
}

bool removeLeftoverTemporary(const QString &to, QString *why)
{
    const QByteArray temp = ownTemporary(QFile::encodeName(to));
    struct stat entry {};
    if (::lstat(temp.constData(), &entry) != 0 || !S_ISREG(entry.st_mode) || ::unlink(temp.constData()) == 0)
        return true;
    if (why)
        *why = QStringLiteral("its unfinished temporary file %1 cannot be removed (%2)")
                   .arg(QFile::decodeName(temp), QString::fromStdString(std::generic_category().message(errno)));
    return false;
}

bool writingReplaces(const QString &path, const QString &original)
{
    OriginalFiles originals;
    originals.add(original);
    return originals.replacedByWriting(path);
}

void OriginalFiles::add(const QString &original)
{
    const QByteArray name = QFile::encodeName(original);
    struct stat reached {}, named {};
    if (::stat(name.constData(), &reached) == 0)
        files_.emplace(reached.st_dev, reached.st_ino);
    if (::lstat(name.constData(), &named) == 0)
        files_.emplace(named.st_dev, named.st_ino);
}

bool OriginalFiles::replacedByWriting(const QString &path) const
{
    struct stat entry {};
    if (::lstat(QFile::encodeName(path).constData(), &entry) != 0 || S_ISLNK(entry.st_mode))
        return false;
    return files_.count({quint64(entry.st_dev), quint64(entry.st_ino)}) > 0;
}
