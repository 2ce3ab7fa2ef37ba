#pragma once
// What the run tells on standard error: one line for each message, and, when standard
// error is a terminal, a progress line kept below them (done, total, pictures a second,
// time left). From any thread.

#include <QElapsedTimer>
#include <QString>
#include <mutex>

class ConsoleMessages {
public:
    // `progress`: show the progress line (the caller checks for a terminal).
    ConsoleMessages(int total, bool progress);

    void say(const QString &text);
    void pictureEnded();
    // The last progress line stays, ended by a newline.
    void finish();

private:
    void drawProgress(bool force); // with the mutex held

    std::mutex mutex_;
    const int total_;
    const bool progress_;
    int done_ = 0;
    bool drawn_ = false;
    QElapsedTimer clock_;
    qint64 lastDrawn_ = -1000;
};

// Whether standard error is a terminal that a progress line can be redrawn on.
bool standardErrorIsTerminal();
