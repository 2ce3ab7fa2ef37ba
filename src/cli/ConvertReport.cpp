#include "ConvertReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace {

QString systemReason(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

// The size of the file up to the end of its last whole line.
off_t endOfLastLine(int fd)
{
    off_t end = ::lseek(fd, 0, SEEK_END);
    char buffer[4096];
    while (end > 0) {
        const off_t start = end > off_t(sizeof buffer) ? end - off_t(sizeof buffer) : 0;
        const ssize_t n = ::pread(fd, buffer, size_t(end - start), start);
        if (n <= 0)
            return -1;
        for (ssize_t i = n; i > 0; --i)
            if (buffer[i - 1] == '\n')
                return start + i;
        end = start;
    }
    return 0;
}

} // namespace

QByteArray ReportLine::text() const
{
    // Written by hand so the keys keep this order; QJsonObject would sort them.
    auto value = [](const QJsonValue &v) {
        const QByteArray array = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        return array.mid(1, array.size() - 2);
    };
    auto key = [](const QString &k) { return '"' + k.toUtf8() + "\":"; };
    QByteArray text = '{' + key(ReportKey::input) + value(input) + ',' + key(ReportKey::status)
        + value(reason.isEmpty() ? ReportKey::ok : ReportKey::failed);
    if (!reason.isEmpty())
        text += ',' + key(ReportKey::reason) + value(reason);
    text += ',' + key(ReportKey::outputs) + '[';
    for (size_t i = 0; i < outputs.size(); ++i) {
        const ReportedOutput &output = outputs[i];
        text += (i ? ",{" : "{") + key(ReportKey::path) + value(output.path) + ',' + key(ReportKey::width) + value(output.width) + ','
            + key(ReportKey::height) + value(output.height) + ',' + key(ReportKey::bytes) + value(double(output.bytes));
        if (output.existing)
            text += ',' + key(ReportKey::existing) + "true";
        text += '}';
    }
    text += "]," + key(ReportKey::milliseconds) + value(double(milliseconds));
    return text + "}\n";
}

ReportFile::~ReportFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool ReportFile::open(const QString &path, QString &why)
{
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        why = QStringLiteral("the report %1 cannot be opened: %2").arg(path, systemReason(errno));
        return false;
    }
    const off_t whole = endOfLastLine(fd_);
    if (whole < 0 || (whole < ::lseek(fd_, 0, SEEK_END) && ::ftruncate(fd_, whole) != 0)) {
        why = QStringLiteral("the report %1 cannot be repaired after an unfinished line: %2").arg(path, systemReason(errno));
        return false;
    }
    return true;
}

bool ReportFile::append(const ReportLine &line, QString &why)
{
    const QByteArray text = line.text();
    std::lock_guard lock(mutex_);
    if (writeAll(fd_, text))
        return true;
    why = QStringLiteral("the report cannot be written: %1").arg(systemReason(errno));
    return false;
}
