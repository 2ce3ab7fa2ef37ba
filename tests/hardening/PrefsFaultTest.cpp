// The preferences file when its writer dies mid-write, or the file cannot be replaced whole: the file must always
// be one complete version, never overwritten in place.

#include "FaultFolder.h"
#include "JsonSettingsFormat.h"
#include "Log.h"
#include "PrefsVersions.h"
#include "UserDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <random>

namespace {

[[maybe_unused]] const bool privateMounts = enterPrivateMountNamespace();

QByteArray bytesOf(const QString &file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QVariant storedValue(const QString &file, const QString &key)
{
    QSettings::SettingsMap map;
    EXPECT_TRUE(parseJsonSettings(bytesOf(file), map)) << file.toStdString();
    return map.value(key);
}

class PrefsFaultTest : public ::testing::Test {
protected:
    void TearDown() override { UserDefaults::setStandardFilePath(scratch.filePath(QStringLiteral("unused.json"))); }
    static UserDefaults &defaults() { return UserDefaults::standard(); }

    QTemporaryDir scratch;
    FaultFolder folder{scratch.filePath(QStringLiteral("prefs"))};
    const QString file = folder.path() + QStringLiteral("/Quillpane.json");
};

TEST_F(PrefsFaultTest, AWriterKilledMidWriteLeavesOneCompleteVersion)
{
    ASSERT_TRUE(QDir().mkpath(folder.path()));
    std::mt19937 random(20261206); // varied moments, the same on every run
    qint64 next = 0;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        QProcess writer;
        writer.start(QStringLiteral(QP_PREFS_WRITER), {file, QString::number(next)});
        // 1 to 4 versions, large and small, complete; then a kill within about one more write.
        QElapsedTimer clock;
        qint64 reported = -1, gap = 0;
        for (int v = 0; v <= round % 4; ++v) {
            clock.start();
            while (!writer.canReadLine())
                ASSERT_TRUE(writer.waitForReadyRead(30000)) << "the writer reported nothing";
            reported = writer.readLine().trimmed().toLongLong();
            gap = clock.nsecsElapsed();
        }
        QThread::usleep(std::uniform_int_distribution<qint64>(0, gap / 1000)(random));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(10000) && writer.exitStatus() == QProcess::CrashExit) << "it stopped on its own";

        // Exactly one complete version, not older than the last one reported, and nothing set aside as damaged.
        const qint64 version = storedValue(file, QStringLiteral("version")).toLongLong();
        ASSERT_GE(version, std::max(reported, next));
        ASSERT_EQ(bytesOf(file), serialiseJsonSettings(prefsVersion(version))) << "not version " << version;
        next = version + 1;
        EXPECT_TRUE(QDir(folder.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files | QDir::Hidden).isEmpty());
    }
    // The program itself reads what the last writer completed, not a leftover beside it.
    UserDefaults::setStandardFilePath(file);
    EXPECT_EQ(defaults().stringForKey(QStringLiteral("blob")), prefsVersion(next - 1).value("blob").toString());
}

// A folder where no file can be made beside the preferences file, which itself could be overwritten in place; or a
// full disk, one page left for the writer's lock file. The change waits, and is written whole once the fault is gone.
TEST_F(PrefsFaultTest, AFileThatCannotBeReplacedWholeIsLeftAsItWasUntilItCanBe)
{
    if (!FaultFolder::whyNot().empty())
        GTEST_SKIP() << FaultFolder::whyNot();
    ASSERT_EQ(folder.create(1 << 20), "");
    UserDefaults::setStandardFilePath(file);
    defaults().setObjectForKey(QString(3000, QChar(u'a')), QStringLiteral("older"));
    ASSERT_TRUE(defaults().synchronize());
    QFile ballast(folder.path() + QStringLiteral("/ballast"));
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only folder" : "full disk");
        if (readOnly) {
            ASSERT_EQ(folder.pinWritable(file), ""); // before the folder turns read-only, or the pin would be too
            ASSERT_EQ(folder.setReadOnly(true), "");
            ASSERT_TRUE(QFile(file).open(QIODevice::ReadWrite)) << "the pinned file should stay writable";
        } else {
            ASSERT_TRUE(ballast.open(QIODevice::WriteOnly));
            ballast.write(QByteArray(int(folder.freeBytes() - 4096), '\0'));
            ballast.close();
            ASSERT_EQ(folder.freeBytes(), 4096);
        }
        const QString key = readOnly ? QStringLiteral("large") : QStringLiteral("newer");
        const QString value(readOnly ? 200000 : 6000, QChar(u'b'));
        const QByteArray before = bytesOf(file);
        LogCapture log;
        defaults().setObjectForKey(value, key);
        EXPECT_FALSE(defaults().synchronize());
        EXPECT_TRUE(log.contains(QStringLiteral("Unable to save preferences to %1").arg(file)));
        EXPECT_EQ(bytesOf(file), before);
        EXPECT_EQ(defaults().stringForKey(key), value) << "nothing is lost meanwhile";
        ASSERT_TRUE(readOnly ? folder.setReadOnly(false).empty() : ballast.remove());
        folder.unpinAll();
        EXPECT_TRUE(defaults().synchronize());
        EXPECT_EQ(storedValue(file, key).toString(), value);
    }
    EXPECT_EQ(storedValue(file, QStringLiteral("older")).toString().size(), 3000);
}

TEST_F(PrefsFaultTest, ALockFileLeftWithoutAnOwnerDoesNotHoldUpTheNextSave)
{
    // What a writer killed right after creating its lock file leaves behind.
    ASSERT_TRUE(QDir().mkpath(folder.path()) && QFile(file + QStringLiteral(".lock")).open(QIODevice::WriteOnly));
    QElapsedTimer clock;
    clock.start();
    UserDefaults::setStandardFilePath(file);
    defaults().setIntegerForKey(7, QStringLiteral("version"));
    EXPECT_TRUE(defaults().synchronize());
    EXPECT_LT(clock.elapsed(), 10000); // Qt would wait 30 seconds for such a lock
    EXPECT_EQ(storedValue(file, QStringLiteral("version")).toLongLong(), 7);
}

} // namespace
