// The preferences file when its writer dies mid-write: a writer process stores version
// after version through the program's own store and is killed at varied moments; the
// file must always be one complete version. And where the file cannot be replaced
// whole, it is not overwritten in place either.

#include "FaultFolder.h"
#include "JsonSettingsFormat.h"
#include "Log.h"
#include "PrefsVersions.h"
#include "UserDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

// The version the file holds, or -1 when it is not exactly one complete version.
qint64 completeVersionIn(const QString &file, std::string *problem)
{
    const QByteArray bytes = bytesOf(file);
    QSettings::SettingsMap map;
    if (bytes.trimmed().isEmpty()) {
        *problem = "the file is missing or empty";
        return -1;
    }
    if (!parseJsonSettings(bytes, map)) {
        *problem = "the file does not parse";
        return -1;
    }
    bool isNumber = false;
    const qint64 k = map.value(QStringLiteral("version")).toLongLong(&isNumber);
    if (!isNumber) {
        *problem = "the file holds no version";
        return -1;
    }
    if (bytes != serialiseJsonSettings(prefsVersion(k))) {
        *problem = "the file is not version " + std::to_string(k) + " as written";
        return -1;
    }
    return k;
}

// Reads the next version number the writer reports as written; -1 when none comes.
qint64 nextReported(QProcess &writer)
{
    while (!writer.canReadLine())
        if (!writer.waitForReadyRead(30000))
            return -1;
    bool isNumber = false;
    const qint64 k = writer.readLine().trimmed().toLongLong(&isNumber);
    return isNumber ? k : -1;
}

TEST(PrefsFaultTest, AWriterKilledMidWriteLeavesOneCompleteVersion)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath(QStringLiteral("Quillpane.json"));
    std::mt19937 random(20261206); // varied moments, the same on every run
    constexpr int kRounds = 30;
    qint64 nextFirst = 0;
    qint64 lastVersion = -1;
    for (int round = 0; round < kRounds; ++round) {
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QStringLiteral(QP_PREFS_WRITER), {file, QString::number(nextFirst)});
        ASSERT_TRUE(writer.waitForStarted(10000)) << writer.errorString().toStdString();
        // Lets the writer complete 1 to 4 versions, large and small ones, then kills it
        // at a random moment within about one more write, or, in some rounds, at once.
        const int versions = 1 + round % 4;
        QElapsedTimer clock;
        clock.start();
        qint64 reported = -1;
        qint64 gap = 0;
        for (int v = 0; v < versions; ++v) {
            const qint64 before = clock.nsecsElapsed();
            reported = nextReported(writer);
            ASSERT_GE(reported, nextFirst) << "round " << round << ": the writer reported nothing";
            gap = clock.nsecsElapsed() - before;
        }
        if (round % 5 != 0)
            QThread::usleep(std::uniform_int_distribution<qint64>(0, gap / 1000)(random));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(10000));
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit) << "round " << round << ": the writer stopped on its own";

        std::string problem;
        const qint64 version = completeVersionIn(file, &problem);
        ASSERT_GE(version, reported) << "round " << round << ": " << problem;
        lastVersion = version;
        nextFirst = version + 1;
        // Nothing was found damaged and set aside by a writer starting up.
        for (const QString &entry : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden))
            EXPECT_FALSE(entry.contains(QStringLiteral(".damaged-"))) << entry.toStdString();
    }

    // The program itself reads what the last writer completed, not a leftover beside it.
    UserDefaults::setStandardFilePath(file);
    EXPECT_EQ(UserDefaults::standard().integerForKey(QStringLiteral("version")), lastVersion);
    EXPECT_EQ(UserDefaults::standard().stringForKey(QStringLiteral("blob")), prefsVersion(lastVersion).value("blob").toString());
    UserDefaults::setStandardFilePath(folder.filePath(QStringLiteral("unused.json")));
    const QStringList beside = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    RecordProperty("files_beside_the_preferences", int(beside.size()) - 1);
}

TEST(PrefsFaultTest, AFileThatCannotBeReplacedWholeIsNotOverwrittenInPlace)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    FaultFolder folder(scratch.filePath(QStringLiteral("prefs")));
    QString why;
    ASSERT_TRUE(folder.create(4 << 20, &why)) << why.toStdString();
    const QString file = folder.path() + QStringLiteral("/Quillpane.json");
    UserDefaults::setStandardFilePath(file);
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setIntegerForKey(1, QStringLiteral("version"));
    ASSERT_TRUE(defaults.synchronize());
    const QByteArray before = bytesOf(file);

    // The file itself stays writable; no new file can be made beside it.
    ASSERT_TRUE(folder.pinWritable(file, &why)) << why.toStdString();
    ASSERT_TRUE(folder.setReadOnly(true, &why)) << why.toStdString();
    {
        QFile probe(file);
        ASSERT_TRUE(probe.open(QIODevice::ReadWrite)) << "the pinned file should stay writable";
    }
    LogCapture log;
    defaults.setObjectForKey(QString(200000, QChar(u'z')), QStringLiteral("blob"));
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_TRUE(log.contains(QStringLiteral("Unable to save preferences to %1").arg(file)));
    EXPECT_EQ(bytesOf(file), before);

    // Once the folder is writable again, the pending change is written whole.
    ASSERT_TRUE(folder.setReadOnly(false, &why)) << why.toStdString();
    folder.unpinAll();
    EXPECT_TRUE(defaults.synchronize());
    QSettings::SettingsMap map;
    ASSERT_TRUE(parseJsonSettings(bytesOf(file), map));
    EXPECT_EQ(map.value(QStringLiteral("blob")).toString().size(), 200000);
    UserDefaults::setStandardFilePath(scratch.filePath(QStringLiteral("unused.json")));
}

TEST(PrefsFaultTest, AFullDiskLeavesTheFileAsItWasAndTheChangeIsWrittenLater)
{
    if (!FaultFolder::whyNoSmallFileSystem().isEmpty())
        GTEST_SKIP() << FaultFolder::whyNoSmallFileSystem().toStdString();
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    FaultFolder folder(scratch.filePath(QStringLiteral("prefs")));
    QString why;
    ASSERT_TRUE(folder.create(1 << 20, &why)) << why.toStdString();
    const QString file = folder.path() + QStringLiteral("/Quillpane.json");
    UserDefaults::setStandardFilePath(file);
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setObjectForKey(QString(3000, QChar(u'a')), QStringLiteral("older"));
    ASSERT_TRUE(defaults.synchronize());
    const QByteArray before = bytesOf(file);

    // One page stays free: room for the writer's lock file, none for a new file's bytes.
    const QString ballast = folder.path() + QStringLiteral("/ballast");
    {
        QFile out(ballast);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        ASSERT_TRUE(out.resize(folder.freeBytes() - 4096));
        ASSERT_EQ(out.write(QByteArray(int(out.size()), '\0')), out.size());
    }
    ASSERT_EQ(folder.freeBytes(), 4096);
    LogCapture log;
    defaults.setObjectForKey(QString(6000, QChar(u'b')), QStringLiteral("newer"));
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_TRUE(log.contains(QStringLiteral("Unable to save preferences to %1").arg(file)));
    EXPECT_EQ(bytesOf(file), before);
    // Nothing is lost meanwhile: the program still reads its newer value.
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("newer")).size(), 6000);

    ASSERT_TRUE(QFile::remove(ballast));
    EXPECT_TRUE(defaults.synchronize());
    QSettings::SettingsMap map;
    ASSERT_TRUE(parseJsonSettings(bytesOf(file), map));
    EXPECT_EQ(map.value(QStringLiteral("older")).toString().size(), 3000);
    EXPECT_EQ(map.value(QStringLiteral("newer")).toString().size(), 6000);
    UserDefaults::setStandardFilePath(scratch.filePath(QStringLiteral("unused.json")));
}

TEST(PrefsFaultTest, ALockFileLeftWithoutAnOwnerDoesNotHoldUpTheNextSave)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath(QStringLiteral("Quillpane.json"));
    // What a writer killed right after creating its lock file leaves behind.
    QFile lock(file + QStringLiteral(".lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    UserDefaults::setStandardFilePath(file);
    UserDefaults::standard().setIntegerForKey(7, QStringLiteral("version"));
    EXPECT_TRUE(UserDefaults::standard().synchronize());
    EXPECT_LT(clock.elapsed(), 10000); // Qt would wait 30 seconds for such a lock
    EXPECT_TRUE(log.contains(QStringLiteral("Removed the lock file %1, which an interrupted save left without an owner").arg(lock.fileName())));
    QSettings::SettingsMap map;
    ASSERT_TRUE(parseJsonSettings(bytesOf(file), map));
    EXPECT_EQ(map.value(QStringLiteral("version")).toLongLong(), 7);
    UserDefaults::setStandardFilePath(folder.filePath(QStringLiteral("unused.json")));
}

} // namespace
