#pragma once
// The program's one log: a time stamp, the program name and the message, on standard
// error. Message texts are the program's own and are passed exactly as written.

#include <QString>
#include <QStringList>
#include <mutex>
#include <utility>

void qpLog(const QString &message);

// Collects log messages while alive (and still writes them to standard error), so a
// test can assert on the exact lines the program wrote. Nested captures all receive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList messages() const;
    bool contains(const QString &message) const { return messages().contains(message); }
    void clear();

private:
    friend void qpLog(const QString &);
    void add(const QString &message);
    mutable std::mutex mutex_;
    QStringList messages_;
};

// While alive, messages logged on the thread that made it are kept here instead of going
// to standard error (captures still receive them), so a caller can tell the reasons of a
// failure once, in its own words. Nested diversions: the innermost receives.
class LogDiversion {
public:
    LogDiversion();
    ~LogDiversion();
    LogDiversion(const LogDiversion &) = delete;
    LogDiversion &operator=(const LogDiversion &) = delete;

    const QStringList &messages() const { return messages_; }
    QStringList take() { return std::exchange(messages_, {}); }

private:
    friend void qpLog(const QString &);
    LogDiversion *outer_;
    QStringList messages_;
};
