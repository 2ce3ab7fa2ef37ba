#include "SafeFileCopy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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

class SafeFileCopyTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
};

} // namespace

TEST_F(SafeFileCopyTest, ReplacesAnExistingFileWholeAndLeavesNoTemporaryBehind)
{
    write(path("new.jpg"), QByteArray(3 << 20, 'n')); // several chunks
    write(path("out.jpg"), "old");
    QString error;
    ASSERT_TRUE(copyFileReplacing(path("new.jpg"), path("out.jpg"), &error)) << error.toStdString();
    EXPECT_EQ(contents(path("out.jpg")), QByteArray(3 << 20, 'n'));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(SafeFileCopyTest, MissingSourceLeavesTheDestinationAlone)
{
    write(path("out.jpg"), "precious");
    QString error;
    EXPECT_FALSE(copyFileReplacing(path("missing.jpg"), path("out.jpg"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.jpg")));
    EXPECT_EQ(contents(path("out.jpg")), QByteArray("precious"));
}

TEST_F(SafeFileCopyTest, RefusesAFolderAndAMissingFolder)
{
    write(path("new.jpg"), "new");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("shot.jpg")));
    EXPECT_FALSE(copyFileReplacing(path("new.jpg"), path("shot.jpg")));
    EXPECT_TRUE(QFileInfo(path("shot.jpg")).isDir());
    EXPECT_FALSE(copyFileReplacing(path("new.jpg"), path("gone/out.jpg")));
}

TEST_F(SafeFileCopyTest, ReadOnlyFolderKeepsItsFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    write(path("new.jpg"), "new");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    write(path("locked/out.jpg"), "old");
    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(copyFileReplacing(path("new.jpg"), path("locked/out.jpg")));
    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(contents(path("locked/out.jpg")), QByteArray("old"));
}
