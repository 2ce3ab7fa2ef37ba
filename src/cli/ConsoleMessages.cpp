#include "ConsoleMessages.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

QString duration(double seconds)
{
    const qint64 s = qint64(std::ceil(seconds));
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

} // namespace

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

ConsoleMessages::ConsoleMessages(int total, bool progress)
    : total_(total)
    , progress_(progress)
{
    clock_.start();
}

void ConsoleMessages::say(const QString &text)
{
    std::lock_guard lock(mutex_);
    // The message goes above the progress line, which is drawn again below it.
    std::fprintf(stderr, "%squillpane-convert: %s\n", drawn_ ? "\r\033[K" : "", qPrintable(text));
    drawn_ = false;
    drawProgress(true);
    std::fflush(stderr);
}

void ConsoleMessages::pictureEnded()
{
    std::lock_guard lock(mutex_);
    ++done_;
    drawProgress(done_ == total_);
}

void ConsoleMessages::finish()
{
    std::lock_guard lock(mutex_);
    if (drawn_)
        std::fputs("\n", stderr);
    drawn_ = false;
    std::fflush(stderr);
}

void ConsoleMessages::drawProgress(bool force)
{
    const qint64 now = clock_.elapsed();
    if (!progress_ || (!force && now - lastDrawn_ < 200))
        return;
    lastDrawn_ = now;
    QString line = QStringLiteral("%1 of %2 pictures").arg(done_).arg(total_);
    if (done_ > 0 && now > 0) {
        const double rate = done_ * 1000.0 / double(now);
        line += QStringLiteral(", %1 a second").arg(rate, 0, 'f', rate < 10 ? 1 : 0);
        if (done_ < total_)
            line += QStringLiteral(", about %1 left").arg(duration((total_ - done_) / rate));
    }
    std::fprintf(stderr, "\r\033[K%s", qPrintable(line));
    std::fflush(stderr);
    drawn_ = true;
}
