#include "InputList.h"

#include "ImageDecoders.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool isPictureName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && pictureFileExtensions().contains(name.mid(dot + 1).toLower());
}

QString reasonOf(const std::error_code &error)
{
    return QString::fromStdString(error.message());
}

struct FolderWalk {
    bool recursive;
    fs::path skip; // canonical; empty when there is nothing to skip
    InputList &list;

    void add(const QString &folder)
    {
        const QByteArray encoded = QFile::encodeName(folder);
        std::error_code error;
        fs::directory_iterator it(fs::path(encoded.constData()), error), end;
        if (error) {
            list.problems << QStringLiteral("%1: the folder cannot be searched: %2").arg(folder, reasonOf(error));
            return;
        }
        // Names in one fixed order (UTF-16 code units), not the locale's: every machine
        // must put the same list together.
        QStringList pictures, folders;
        for (; it != end; it.increment(error)) {
            const QString name = QFile::decodeName(it->path().filename().c_str());
            if (name.startsWith(QLatin1Char('.')))
                continue;
            std::error_code kind;
            if (it->is_directory(kind)) {
                if (recursive && !it->is_symlink(kind))
                    folders << name;
            } else if (isPictureName(name)) {
                pictures << name;
            }
        }
        if (error)
            list.problems << QStringLiteral("%1: the folder could not be searched to its end: %2").arg(folder, reasonOf(error));
        std::sort(pictures.begin(), pictures.end());
        std::sort(folders.begin(), folders.end());
        const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
        for (const QString &name : pictures)
            list.pictures << prefix + name;
        for (const QString &name : folders) {
            const QString inner = prefix + name;
            std::error_code same;
            if (!skip.empty() && fs::equivalent(skip, fs::path(QFile::encodeName(inner).constData()), same))
                continue;
            add(inner);
        }
    }
};

bool readList(const InputSources &sources, QStringList &entries, QString &why)
{
    QFile file;
    const bool opened = sources.listFile == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                               : (file.setFileName(sources.listFile), file.open(QIODevice::ReadOnly));
    const QByteArray bytes = opened ? file.readAll() : QByteArray();
    if (!opened || file.error() != QFileDevice::NoError) {
        why = QStringLiteral("--files-from %1: cannot be read: %2").arg(sources.listFile, file.errorString());
        return false;
    }
    for (QByteArray entry : bytes.split(sources.nulSeparated ? '\0' : '\n')) {
        if (!sources.nulSeparated && entry.endsWith('\r'))
            entry.chop(1);
        if (!entry.isEmpty())
            entries << QFile::decodeName(entry);
    }
    return true;
}

} // namespace

bool gatherInputs(const InputSources &sources, InputList &list, QString &why)
{
    QStringList entries = sources.arguments;
    if (!sources.listFile.isEmpty() && !readList(sources, entries, why))
        return false;
    std::error_code error;
    const fs::path skip = sources.skipFolder.isEmpty() ? fs::path()
                                                       : fs::canonical(QFile::encodeName(sources.skipFolder).constData(), error);
    FolderWalk walk{sources.recursive, error ? fs::path() : skip, list};
    for (const QString &entry : entries) {
        if (QFileInfo(entry).isDir())
            walk.add(entry);
        else
            list.pictures << entry;
    }
    return true;
}

std::vector<int> shardPositions(int count, qint64 k, qint64 n)
{
    std::vector<int> positions;
    for (qint64 i = k % n; i < count; i += n)
        positions.push_back(int(i));
    return positions;
}
