#include "ReportCheck.h"

#include "ConvertReport.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

ReportCheck checkReports(const QStringList &pictures, const QStringList &reportFiles)
{
    ReportCheck check;
    QHash<QString, QJsonObject> last; // input -> its last line; shards never share a picture
    for (const QString &path : reportFiles) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            check.problems << QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString());
            continue;
        }
        int number = 0;
        while (!file.atEnd()) {
            const QByteArray text = file.readLine();
            ++number;
            const QJsonObject line = QJsonDocument::fromJson(text).object();
            if (!text.endsWith('\n') || !line.value(ReportKey::input).isString()) {
                check.problems << QStringLiteral("%1:%2: not a report line").arg(path).arg(number);
                continue;
            }
            last[line.value(ReportKey::input).toString()] = line;
        }
    }
    for (const QString &picture : pictures) {
        ++check.pictures;
        const auto it = last.constFind(picture);
        if (it == last.cend())
            check.problems << QStringLiteral("%1: no report line").arg(picture);
        else if (it->value(ReportKey::status).toString() != ReportKey::ok)
            check.problems << QStringLiteral("%1: %2").arg(picture, it->value(ReportKey::reason).toString());
        else
            ++check.ok;
    }
    return check;
}
