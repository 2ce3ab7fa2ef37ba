#include "Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {
std::mutex registryMutex;
std::vector<LogCapture *> &captures()
{
    static std::vector<LogCapture *> list;
    return list;
}
thread_local LogDiversion *diversion = nullptr;
} // namespace

void qpLog(const QString &message)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty())
        name = QStringLiteral("Quillpane");
    const QByteArray line = QStringLiteral("%1 %2: %3\n").arg(stamp, name, message).toUtf8();
    std::lock_guard lock(registryMutex);
    if (diversion)
        diversion->messages_.append(message);
    else
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    for (LogCapture *capture : captures())
        capture->add(message);
}

LogCapture::LogCapture()
{
    std::lock_guard lock(registryMutex);
    captures().push_back(this);
}

LogCapture::~LogCapture()
{
    {
        std::lock_guard lock(registryMutex);
        auto &list = captures();
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

QStringList LogCapture::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

void LogCapture::clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
}

void LogCapture::add(const QString &message)
{
    std::lock_guard lock(mutex_);
    messages_.append(message);
}

LogDiversion::LogDiversion()
    : outer_(diversion)
{
    diversion = this;
}

LogDiversion::~LogDiversion()
{
    diversion = outer_;
}
