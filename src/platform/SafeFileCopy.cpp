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
    if (!destination.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(to, destination.errorString()));
    return true;
}
