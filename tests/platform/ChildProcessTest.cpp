// The bounded child process that draws untrusted pages: each limit must end a child that
// runs past it, and a child within its limits must come back whole.

#include "ChildProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ChildOutcome shell(const std::string &script, ChildLimits limits, const QString &folder = {})
{
    if (limits.maxOutput == 0)
        limits.maxOutput = 1 << 20;
    return runChild({"sh", "-c", script}, environmentWithTemporaryFolder(folder.isEmpty() ? QDir::tempPath() : folder), folder, limits);
}

} // namespace

TEST(ChildProcess, OutputErrorsAndExitStatusComeBack)
{
    ChildLimits limits;
    limits.maxOutput = 3'000'000;
    limits.maxErrorBytes = 16;
    // More than one pipe's worth, so the reading must keep up with the writing.
    const ChildOutcome big = shell("head -c 3000000 /dev/zero | tr '\\0' x; echo 'said something long on errors' >&2", limits);
    ASSERT_TRUE(big.succeeded()) << big.exitCode << " " << int(big.end);
    EXPECT_EQ(big.output, QByteArray(3'000'000, 'x'));
    EXPECT_EQ(big.errors, QByteArray("said something l"));

    const ChildOutcome failed = shell("echo partial; echo why >&2; exit 3", limits);
    EXPECT_EQ(failed.end, ChildOutcome::End::Exited);
    EXPECT_EQ(failed.exitCode, 3);
    EXPECT_TRUE(failed.output.isEmpty()) << "a failed child's output must not be taken for a result";
    EXPECT_EQ(failed.errors, QByteArray("why\n"));

    const ChildOutcome signalled = shell("kill -SEGV $$", limits);
    EXPECT_EQ(signalled.end, ChildOutcome::End::Signalled);
    EXPECT_EQ(signalled.signal, SIGSEGV);
    EXPECT_FALSE(signalled.succeeded());
}

TEST(ChildProcess, RunsInItsFolderWithItsOwnTemporaryFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const ChildOutcome o = shell("pwd -P; echo \"$TMPDIR\"", {}, folder.path());
    ASSERT_TRUE(o.succeeded());
    const QString canonical = QDir(folder.path()).canonicalPath();
    EXPECT_EQ(QString::fromLocal8Bit(o.output), canonical + "\n" + folder.path() + "\n");
}

TEST(ChildProcess, AMissingProgramIsReportedNotRun)
{
    const ChildOutcome o = runChild({"/nonexistent/quillpane-helper"}, environmentWithTemporaryFolder(QDir::tempPath()), {}, {});
    EXPECT_EQ(o.end, ChildOutcome::End::NotStarted);
    EXPECT_TRUE(o.startError.contains("/nonexistent/quillpane-helper")) << qPrintable(o.startError);
}

TEST(ChildProcess, EachLimitStopsAChildThatRunsPastIt)
{
    ChildLimits limits;
    limits.seconds = 1;
    QElapsedTimer timer;
    timer.start();
    const ChildOutcome slow = shell("sleep 30", limits);
    EXPECT_EQ(slow.end, ChildOutcome::End::TimedOut);
    // A child that closes its output early is not done: the time limit still holds.
    const ChildOutcome closed = shell("exec >&- 2>&-; sleep 30", limits);
    EXPECT_EQ(closed.end, ChildOutcome::End::TimedOut);
    EXPECT_LT(timer.elapsed(), 8000);

    ChildLimits output;
    output.seconds = 20;
    output.maxOutput = 100'000;
    timer.restart();
    const ChildOutcome chatty = shell("yes", output);
    EXPECT_EQ(chatty.end, ChildOutcome::End::TooMuchOutput);
    EXPECT_TRUE(chatty.output.isEmpty());

    // tail keeps every byte of a line that never ends.
    ChildLimits memory;
    memory.seconds = 20;
    memory.maxResidentBytes = qint64(64) << 20;
    const ChildOutcome greedy = runChild({"tail", "/dev/zero"}, environmentWithTemporaryFolder(QDir::tempPath()), {}, memory);
    EXPECT_EQ(greedy.end, ChildOutcome::End::TooMuchMemory);
    EXPECT_GT(greedy.peakResidentBytes, memory.maxResidentBytes);
    EXPECT_LT(greedy.peakResidentBytes, memory.maxResidentBytes * 4) << "the watch looked too rarely";
    EXPECT_LT(timer.elapsed(), 15000);
}
