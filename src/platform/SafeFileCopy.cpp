#include "SafeFileCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool copyFileReplacing(const QString &from, const QString &to, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (QFileInfo(to).isDir())
        return fail(QStringLiteral("%1 is a folder").arg(to));
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(from, source.errorString()));
    QSaveFile destination(to);
    if (!destination.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(to, destination.errorString()));
    constexpr qint64 kChunk = 1 << 20;
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(kChunk);
        if (chunk.isEmpty() && source.error() != QFileDevice::NoError) {
            destination.cancelWriting();
            return fail(QStringLiteral("cannot read %1: %2").arg(from, source.errorString()));
        }
        if (destination.write(chunk) != chunk.size()) {
            const QString why = destination.errorString();
            destination.cancelWriting();
            return fail(QStringLiteral("cannot write %1: %2").arg(to, why));
        }
    }
    if (!commitWhole(destination))
        return fail(QStringLiteral("cannot write %1: %2").arg(to, destination.errorString()));
    return true;
}

bool commitWhole(QSaveFile &file)
{
    // QSaveFile::commit() renames the new file into place even when the last buffered
    // bytes could not be written (a full disk): an empty or cut-off file would replace
    // a whole one and the copy would count as done. Those bytes go out first, checked.
    if (!file.flush()) {
        file.cancelWriting(); // the new file is discarded; the destination stays as it was
        return false;
    }
    return file.commit();
}

bool writeFileReplacing(const QString &to, const QByteArray &bytes, QString *error)
{
    if (QFileInfo(to).isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a folder").arg(to);
        return false;
    }
    QSaveFile file(to);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && commitWhole(file))
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1: %2").arg(to, file.errorString());
    file.cancelWriting();
    return false;
}
