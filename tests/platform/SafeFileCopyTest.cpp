#include "SafeFileCopy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

struct stat entryOf(const QString &path)
{
    struct stat entry {};
    ::lstat(QFile::encodeName(path).constData(), &entry);
    return entry;
}

class SafeFileCopyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkdir("out")); }
    QString path(const QString &name) const { return dir.filePath(name); }
    // Hidden files included: a stray temporary shows up.
    QStringList outEntries() const
    {
        return QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
    QTemporaryDir dir;
};

} // namespace

// What stands at the destination decides; the files outside "out" are what links point at and never change.
TEST_F(SafeFileCopyTest, WhatStandsAtTheDestinationDecides)
{
    // What stands there ("-> target" a link), how the write replaces, the reason's start when refused.
    using enum Replacing;
    const std::tuple<const char *, Replacing, const char *> cases[] = {
        {"", Allowed, ""},          {"file", Allowed, ""},         {"-> ../victim.txt", Allowed, ""},
        {"-> ../nowhere.txt", Allowed, ""}, {"-> ../folder", Allowed, ""}, {"folder", Allowed, "is a folder"},
        {"read-only", Allowed, "is read-only"}, {"pipe", Allowed, "is not a plain file"}, {"", Never, ""},
        {"file", Never, "exists already"}, {"folder", Never, "exists already"}, {"-> ../nowhere.txt", Never, "exists already"},
    };
    write(path("victim.txt"), "victim");
    write(path("new.png"), QByteArray(3 << 20, 'n')); // several chunks of the copy
    QDir().mkdir(path("folder"));
    const QString to = path("out/pic.png");
    for (const auto &[whatText, replacing, refusal] : cases) {
        for (const bool copying : {true, false}) {
            const QString what = QString::fromLatin1(whatText);
            SCOPED_TRACE(what.toStdString() + (replacing == Never ? ", never replacing" : "") + (copying ? ", copied" : ""));
            QDir(path("out")).removeRecursively();
            QDir().mkdir(path("out"));
            if (what == "file" || what == "read-only") {
                write(to, "old");
                QFile::setPermissions(to, QFile::ReadOwner | QFile::ReadGroup | (what == "file" ? QFile::WriteOwner : QFile::Permissions()));
            } else if (what == "folder") {
                QDir().mkdir(to);
            } else if (what == "pipe") {
                ::mkfifo(QFile::encodeName(to).constData(), 0644);
            } else if (what.startsWith("-> ")) {
                ASSERT_EQ(::symlink(whatText + 3, QFile::encodeName(to).constData()), 0);
            }
            const mode_t before = entryOf(to).st_mode & S_IFMT;
            QString why;
            const bool written = copying ? copyFileReplacing(path("new.png"), to, &why, replacing)
                                         : writeFileReplacing(to, contents(path("new.png")), &why, replacing);
            EXPECT_EQ(written, !*refusal) << why.toStdString();
            EXPECT_TRUE(*refusal ? why.startsWith(refusal) : why.isEmpty()) << why.toStdString();
            const struct stat after = entryOf(to);
            if (written) {
                EXPECT_EQ(after.st_mode & S_IFMT, mode_t(S_IFREG));
                EXPECT_TRUE(before != S_IFREG || (after.st_mode & 07777) == 0640) << "a replaced file keeps its permissions";
                EXPECT_EQ(contents(to), contents(path("new.png")));
            } else {
                EXPECT_EQ(after.st_mode & S_IFMT, before);
                EXPECT_TRUE(before != S_IFREG || contents(to) == "old");
            }
            EXPECT_EQ(outEntries(), QStringList({"pic.png"}));
            EXPECT_EQ(contents(path("victim.txt")), "victim");
            EXPECT_FALSE(QFile::exists(path("nowhere.txt")));
            EXPECT_TRUE(QDir(path("folder")).isEmpty());
        }
    }
}

// A folder that refuses writing is the saving fault tests' (on a read-only mount, which holds for root too).
TEST_F(SafeFileCopyTest, AMissingSourceOrFolderLeavesEverythingAlone)
{
    write(path("out/pic.png"), "precious");
    QString why;
    EXPECT_FALSE(copyFileReplacing(path("missing.png"), path("out/pic.png"), &why));
    EXPECT_TRUE(why.contains("missing.png")) << why.toStdString();
    EXPECT_FALSE(writeFileReplacing(path("gone/pic.png"), "new", &why));
    EXPECT_EQ(why, "cannot be written: its folder does not exist");
    EXPECT_EQ(contents(path("out/pic.png")), "precious");
    EXPECT_EQ(outEntries(), QStringList({"pic.png"}));
}

// The file itself and a link to it are the batch tests'; here another name of it, a link at the output, and nothing.
TEST_F(SafeFileCopyTest, WritingReplacesOnlyTheFileItselfOrItsOtherNames)
{
    write(path("picture.png"), "picture");
    ASSERT_EQ(::link(QFile::encodeName(path("picture.png")).constData(), QFile::encodeName(path("hard.png")).constData()), 0);
    ASSERT_EQ(::symlink("picture.png", QFile::encodeName(path("soft.png")).constData()), 0);
    const std::tuple<const char *, const char *, bool> cases[] = {{"hard.png", "picture.png", true}, {"soft.png", "picture.png", false},
                                                                  {"absent.png", "picture.png", false}, {"picture.png", "absent.png", false}};
    for (const auto &[output, original, replaces] : cases)
        EXPECT_EQ(writingReplaces(path(output), path(original)), replaces) << output << " over " << original;
}

// A writer killed before its rename leaves its temporary file; the next writer of that name (and no other) takes it away.
TEST_F(SafeFileCopyTest, AKilledWritersTemporaryIsRemovedByTheNextWriterOfItsName)
{
    const QByteArray fifo = QFile::encodeName(path("fifo"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) // copies from the pipe until killed
        ::_exit(copyFileReplacing(path("fifo"), path("out/pic.png")) ? 0 : 1);
    const int pipe = ::open(fifo.constData(), O_WRONLY);
    ASSERT_EQ(::write(pipe, "half a picture", 14), 14);
    for (int waited = 0; outEntries().isEmpty() && waited < 10000; waited += 10)
        ::usleep(10000);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    ::close(pipe);
    const QStringList left = outEntries();
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left.first().startsWith(".quillpane-") && left.first().endsWith(".part")) << left.first().toStdString();

    EXPECT_TRUE(removeLeftoverTemporary(path("out/other.png")));
    EXPECT_EQ(outEntries(), left) << "another name's temporary file is not touched";
    EXPECT_TRUE(removeLeftoverTemporary(path("out/pic.png")));
    EXPECT_TRUE(writeFileReplacing(path("out/pic.png"), "whole"));
    EXPECT_EQ(outEntries(), QStringList({"pic.png"}));
}
