#include "PictureArrival.h"

#include "Log.h"
#include "Picture.h"
#include "UnwrittenOutputs.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace PictureArrival {

QStringList openPanelTypes()
{
    // Today's web and phone formats follow the classic list.
    return {QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("gif"),  QStringLiteral("png"),
            QStringLiteral("pdf"),  QStringLiteral("ai"),   QStringLiteral("eps"),  QStringLiteral("tif"),
            QStringLiteral("tiff"), QStringLiteral("webp"), QStringLiteral("avif"), QStringLiteral("heic"),
            QStringLiteral("heif")};
}

namespace {

// A run of digits without its leading zeros (one zero stays of "000").
QStringView withoutLeadingZeros(QStringView digits)
{
    qsizetype first = 0;
    while (first + 1 < digits.size() && digits[first] == QLatin1Char('0'))
        ++first;
    return digits.mid(first);
}

// Name order as file managers show it: case ignored, runs of digits compared by value.
bool comesBefore(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const QStringView x = withoutLeadingZeros(QStringView(a).mid(startA, i - startA));
            const QStringView y = withoutLeadingZeros(QStringView(b).mid(startB, j - startB));
            if (x.size() != y.size())
                return x.size() < y.size();
            if (const int order = x.compare(y); order != 0)
                return order < 0;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i, ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // names that differ only in case or in leading zeros still get one order
}

} // namespace

QStringList picturesInFolder(const QString &folder)
{
    const QStringList types = openPanelTypes();
    QStringList names;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files)) // without QDir::Hidden
        if (types.contains(entry.suffix().toLower()))
            names << entry.fileName();
    std::sort(names.begin(), names.end(), comesBefore);
    QStringList paths;
    for (const QString &name : names)
        paths << QDir(folder).filePath(name);
    return paths;
}

Sorted sortArrival(const QStringList &paths)
{
    Sorted sorted;
    QSet<QString> seen;
    auto check = [&](const QString &path) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (seen.contains(absolute))
            return;
        seen.insert(absolute);
        QString why;
        if (Picture::referenceFile(path, &why))
            sorted.pictures << path;
        else
            sorted.unreadable.push_back({path, why});
    };
    for (const QString &path : paths) {
        if (!QFileInfo(path).isDir()) {
            check(path);
            continue;
        }
        const QStringList inside = picturesInFolder(path);
        if (inside.isEmpty()) {
            qpLog(QStringLiteral("No picture files in the folder %1").arg(path));
            sorted.unreadable.push_back({path, QStringLiteral("it is a folder without picture files")});
        }
        for (const QString &picture : inside)
            check(picture);
    }
    return sorted;
}

QString unreadableText(const std::vector<Unreadable> &files)
{
    QString folder;
    bool oneFolder = true;
    for (const Unreadable &file : files) {
        const QString own = QFileInfo(file.path).absolutePath();
        oneFolder = oneFolder && (folder.isEmpty() || own == folder);
        folder = own;
    }
    const int count = int(files.size());
    QStringList lines;
    lines << (count == 1 ? QStringLiteral("This file could not be read as a picture:")
                         : QStringLiteral("These %1 files could not be read as pictures:").arg(count));
    for (int i = 0; i < count && i < UnwrittenOutputs::kListed; ++i) {
        const Unreadable &file = files[size_t(i)];
        lines << (oneFolder ? QFileInfo(file.path).fileName() : file.path) + QStringLiteral(": ") + file.why;
    }
    if (count > UnwrittenOutputs::kListed)
        lines << QStringLiteral("and %1 more, each named in the log").arg(count - UnwrittenOutputs::kListed);
    return lines.join(QLatin1Char('\n'));
}

} // namespace PictureArrival
