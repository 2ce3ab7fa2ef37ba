#include "SafeFileCopy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <functional>
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
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

mode_t entryType(const QString &path)
{
    struct stat entry {};
    return ::lstat(QFile::encodeName(path).constData(), &entry) == 0 ? entry.st_mode & S_IFMT : 0;
}

class SafeFileCopyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkdir("out")); }
    QString path(const QString &name) const { return dir.filePath(name); }
    // Everything in the output folder, hidden files included: a stray temporary shows up.
    QStringList outEntries() const
    {
        return QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
    QTemporaryDir dir;
};

} // namespace

// What stands at the destination, and what a write does with it. The files outside "out"
// are what links point at: they must never change.
TEST_F(SafeFileCopyTest, WhatStandsAtTheDestinationDecides)
{
    struct Case {
        const char *name;
        std::function<void(const QString &destination)> prepare;
        Replacing replacing;
        bool written;
        const char *why; // the reason's start when refused
    };
    auto link = [](const char *target) {
        return [target](const QString &to) { ASSERT_EQ(::symlink(target, QFile::encodeName(to).constData()), 0); };
    };
    const std::vector<Case> cases = {
        {"nothing there", [](const QString &) {}, Replacing::Allowed, true, ""},
        {"a plain file",
         [](const QString &to) {
             write(to, "old");
             QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
         },
         Replacing::Allowed, true, ""},
        {"a link to a file outside", link("../victim.txt"), Replacing::Allowed, true, ""},
        {"a dangling link", link("../nowhere.txt"), Replacing::Allowed, true, ""},
        {"a link to a folder", link("../folder"), Replacing::Allowed, true, ""},
        {"a folder", [](const QString &to) { QDir().mkdir(to); }, Replacing::Allowed, false, "is a folder"},
        {"a read-only file",
         [](const QString &to) {
             write(to, "old");
             QFile::setPermissions(to, QFile::ReadOwner | QFile::ReadGroup);
         },
         Replacing::Allowed, false, "is read-only"},
        {"a pipe", [](const QString &to) { ::mkfifo(QFile::encodeName(to).constData(), 0644); }, Replacing::Allowed,
         false, "is not a plain file"},
        {"nothing there, never replacing", [](const QString &) {}, Replacing::Never, true, ""},
        {"a file, never replacing", [](const QString &to) { write(to, "old"); }, Replacing::Never, false, "exists already"},
        {"a folder, never replacing", [](const QString &to) { QDir().mkdir(to); }, Replacing::Never, false, "exists already"},
        {"a dangling link, never replacing", link("../nowhere.txt"), Replacing::Never, false, "exists already"},
    };
    write(path("victim.txt"), "victim");
    write(path("new.png"), QByteArray(3 << 20, 'n')); // several chunks of the copy
    QDir().mkdir(path("folder"));
    for (const Case &c : cases) {
        for (const bool copying : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (copying ? ", copied" : ", written"));
            QDir(path("out")).removeRecursively();
            QDir().mkdir(path("out"));
            c.prepare(path("out/pic.png"));
            const mode_t before = entryType(path("out/pic.png"));
            QString why;
            const bool written = copying ? copyFileReplacing(path("new.png"), path("out/pic.png"), &why, c.replacing)
                                         : writeFileReplacing(path("out/pic.png"), contents(path("new.png")), &why, c.replacing);
            EXPECT_EQ(written, c.written) << why.toStdString();
            EXPECT_TRUE(*c.why ? why.startsWith(c.why) : why.isEmpty()) << why.toStdString();
            struct stat after {};
            ::lstat(QFile::encodeName(path("out/pic.png")).constData(), &after);
            if (c.written) {
                EXPECT_EQ(after.st_mode & S_IFMT, mode_t(S_IFREG));
                if (before == S_IFREG) { // a replaced file keeps its permissions
                    EXPECT_EQ(after.st_mode & 07777, mode_t(0640));
                }
                EXPECT_EQ(contents(path("out/pic.png")), contents(path("new.png")));
            } else {
                EXPECT_EQ(after.st_mode & S_IFMT, before);
                if (before == S_IFREG) {
                    EXPECT_EQ(contents(path("out/pic.png")), "old");
                }
            }
            EXPECT_EQ(outEntries(), QStringList({"pic.png"}));
            EXPECT_EQ(contents(path("victim.txt")), "victim");
            EXPECT_FALSE(QFile::exists(path("nowhere.txt")));
            EXPECT_TRUE(QDir(path("folder")).isEmpty());
        }
    }
}

TEST_F(SafeFileCopyTest, AMissingSourceFolderOrPermissionLeavesEverythingAlone)
{
    write(path("out/pic.png"), "precious");
    QString why;
    EXPECT_FALSE(copyFileReplacing(path("missing.png"), path("out/pic.png"), &why));
    EXPECT_TRUE(why.contains("missing.png")) << why.toStdString();
    EXPECT_FALSE(writeFileReplacing(path("gone/pic.png"), "new", &why));
    EXPECT_EQ(why, "cannot be written: its folder does not exist");
    if (geteuid() != 0) { // root writes into read-only folders (the saving fault tests mount one)
        QFile::setPermissions(path("out"), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(writeFileReplacing(path("out/pic.png"), "new", &why));
        QFile::setPermissions(path("out"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(why, "cannot be written: its folder does not allow it");
    }
    EXPECT_EQ(contents(path("out/pic.png")), "precious");
    EXPECT_EQ(outEntries(), QStringList({"pic.png"}));
}

TEST_F(SafeFileCopyTest, WritingReplacesOnlyTheFileItselfOrItsOtherNames)
{
    write(path("picture.png"), "picture");
    write(path("other.png"), "other");
    ASSERT_EQ(::link(QFile::encodeName(path("picture.png")).constData(), QFile::encodeName(path("hard.png")).constData()), 0);
    ASSERT_EQ(::symlink("picture.png", QFile::encodeName(path("soft.png")).constData()), 0);
    const struct {
        const char *output;
        const char *original;
        bool replaces;
    } cases[] = {
        {"picture.png", "picture.png", true}, {"hard.png", "picture.png", true}, // the same file under another name
        {"picture.png", "soft.png", true},                                       // the file a link to it reaches
        {"soft.png", "picture.png", false},                                      // a link at the output is replaced itself
        {"other.png", "picture.png", false}, {"absent.png", "picture.png", false}, {"picture.png", "absent.png", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(writingReplaces(path(c.output), path(c.original)), c.replaces) << c.output << " over " << c.original;
}

// A writer killed before its rename leaves its temporary file; the next writer of that
// destination (and no other) can take it away.
TEST_F(SafeFileCopyTest, AKilledWritersTemporaryIsRemovedByTheNextWriterOfItsName)
{
    const QByteArray fifo = QFile::encodeName(path("fifo"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) // copies from the pipe until killed
        ::_exit(copyFileReplacing(path("fifo"), path("out/pic.png")) ? 0 : 1);
    const int pipe = ::open(fifo.constData(), O_WRONLY);
    ASSERT_GE(pipe, 0);
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
    EXPECT_TRUE(outEntries().isEmpty());
    EXPECT_TRUE(writeFileReplacing(path("out/pic.png"), "whole"));
    EXPECT_EQ(outEntries(), QStringList({"pic.png"}));
}
