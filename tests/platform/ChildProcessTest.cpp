// The bounded child process that draws untrusted pages: each limit must end a child that runs past it, and a child
// within its limits must come back whole.

#include "ChildProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ChildOutcome shell(const std::string &script, ChildLimits limits, const QString &folder = {})
{
    const QString tmp = folder.isEmpty() ? QDir::tempPath() : folder;
    return runChild({"sh", "-c", script}, environmentWithTemporaryFolder(tmp), folder, limits);
}

} // namespace

TEST(ChildProcess, OutputErrorsExitStatusAndFolderComeBack)
{
    const ChildLimits limits{.maxOutput = 3'000'000, .maxErrorBytes = 16};
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

    QTemporaryDir folder;
    const ChildOutcome inFolder = shell("pwd -P; echo \"$TMPDIR\"", limits, folder.path());
    EXPECT_EQ(QString::fromLocal8Bit(inFolder.output), QDir(folder.path()).canonicalPath() + "\n" + folder.path() + "\n");

    const ChildOutcome missing = runChild({"/nonexistent/quillpane-helper"}, environmentWithTemporaryFolder(QDir::tempPath()), {}, {});
    EXPECT_EQ(missing.end, ChildOutcome::End::NotStarted);
    EXPECT_TRUE(missing.startError.contains("/nonexistent/quillpane-helper")) << qPrintable(missing.startError);
}

TEST(ChildProcess, EachLimitStopsAChildThatRunsPastIt)
{
    ChildLimits limits{.seconds = 1, .maxOutput = 1 << 20};
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(shell("sleep 30", limits).end, ChildOutcome::End::TimedOut);
    // A child that closes its output early is not done: the time limit still holds.
    EXPECT_EQ(shell("exec >&- 2>&-; sleep 30", limits).end, ChildOutcome::End::TimedOut);
    EXPECT_LT(timer.elapsed(), 8000);

    limits = {.maxOutput = 100'000};
    timer.restart();
    const ChildOutcome chatty = shell("yes", limits);
    EXPECT_EQ(chatty.end, ChildOutcome::End::TooMuchOutput);
    EXPECT_TRUE(chatty.output.isEmpty());

    // tail keeps every byte of a line that never ends.
    limits.maxResidentBytes = qint64(64) << 20;
    const ChildOutcome greedy = runChild({"tail", "/dev/zero"}, environmentWithTemporaryFolder(QDir::tempPath()), {}, limits);
    EXPECT_EQ(greedy.end, ChildOutcome::End::TooMuchMemory);
    EXPECT_GT(greedy.peakResidentBytes, limits.maxResidentBytes);
    EXPECT_LT(greedy.peakResidentBytes, limits.maxResidentBytes * 4) << "the watch looked too rarely";
    EXPECT_LT(timer.elapsed(), 15000);
}
