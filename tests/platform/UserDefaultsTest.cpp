#include "JsonSettingsFormat.h"
#include "Log.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QFile>
#include <QFileInfo>
#include <thread>

namespace {

QSettings::SettingsMap readFileAsSettings(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QSettings::SettingsMap map;
    EXPECT_TRUE(parseJsonSettings(file.readAll(), map));
    return map;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

using UserDefaultsTest = FreshDefaultsTest;

TEST_F(UserDefaultsTest, AbsentIsNotZeroAndTypedReadsFollowTheTextRules)
{
    UserDefaults &defaults = UserDefaults::standard();
    EXPECT_FALSE(defaults.hasObjectForKey(QStringLiteral("fileFormat")));
    EXPECT_TRUE(defaults.stringForKey(QStringLiteral("fileFormat")).isNull());
    defaults.setIntegerForKey(0, QStringLiteral("fileFormat"));
    EXPECT_TRUE(defaults.hasObjectForKey(QStringLiteral("fileFormat")));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("fileFormat")), 0);
    defaults.removeObjectForKey(QStringLiteral("fileFormat"));
    EXPECT_FALSE(defaults.hasObjectForKey(QStringLiteral("fileFormat")));

    defaults.setObjectForKey(QStringLiteral("2.9 apples"), QStringLiteral("k"));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("k")), 2);
    EXPECT_FLOAT_EQ(defaults.floatForKey(QStringLiteral("k")), 2.9f);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("k")));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("k")), QStringLiteral("2.9 apples"));
    EXPECT_TRUE(defaults.arrayForKey(QStringLiteral("k")).isEmpty());
    defaults.setFloatForKey(0.24f, QStringLiteral("f"));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("f")), QStringLiteral("0.24"));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("f")), 0);
}

TEST_F(UserDefaultsTest, FileKeepsTypesAndIsHumanReadable)
{
    UserDefaults &defaults = UserDefaults::standard();
    const QVariantMap record{{QStringLiteral("name"), QStringLiteral("2x \"big\"\n")},
                             {QStringLiteral("scalemode"), qint64(1)},
                             {QStringLiteral("selected"), true}};
    defaults.setObjectForKey(QStringLiteral("125"), QStringLiteral("outputWidth"));
    defaults.setFloatForKey(98.3736f, QStringLiteral("qualityValue"));
    defaults.setObjectForKey(1.0, QStringLiteral("wholeFloat"));
    defaults.setIntegerForKey(1, QStringLiteral("makeDirectoryForBatch"));
    defaults.setObjectForKey(QVariantList{record}, QStringLiteral("formats"));
    ASSERT_TRUE(defaults.synchronize());

    QFile file(defaultsPath());
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    EXPECT_TRUE(text.contains("\"outputWidth\": \"125\"")) << text.constData();
    EXPECT_TRUE(text.contains('\n'));

    const QSettings::SettingsMap map = readFileAsSettings(defaultsPath());
    EXPECT_EQ(map.value(QStringLiteral("outputWidth")).typeId(), QMetaType::QString);
    EXPECT_EQ(map.value(QStringLiteral("makeDirectoryForBatch")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value(QStringLiteral("wholeFloat")).typeId(), QMetaType::Double);
    EXPECT_EQ(float(map.value(QStringLiteral("qualityValue")).toDouble()), 98.3736f);
    EXPECT_EQ(map.value(QStringLiteral("formats")).toList().value(0).toMap(), record);
}

TEST_F(UserDefaultsTest, OtherThreadsSeeChangesAtOnce)
{
    UserDefaults::standard().setIntegerForKey(2, QStringLiteral("fileFormat"));
    qint64 seen = -1;
    std::thread reader([&seen] { seen = UserDefaults::standard().integerForKey(QStringLiteral("fileFormat")); });
    reader.join();
    EXPECT_EQ(seen, 2);
}

TEST_F(UserDefaultsTest, DamagedFileIsKeptAsideAndTheStoreStartsEmpty)
{
    // Cut short, and well-formed but not an object.
    for (const QByteArray &damage : {QByteArray("{ \"outputWidth\": \"12"), QByteArray("[1, 2, 3]")}) {
        SCOPED_TRACE(damage.toStdString());
        const QString path = folder.filePath(QStringLiteral("damaged%1.json").arg(damage.size()));
        writeFile(path, damage);
        LogCapture log;
        UserDefaults::setStandardFilePath(path);
        EXPECT_FALSE(UserDefaults::standard().hasObjectForKey(QStringLiteral("outputWidth")));
        EXPECT_FALSE(UserDefaults::standard().hasObjectForKey(QStringLiteral("1")));
        ASSERT_EQ(log.messages().size(), 1);
        EXPECT_TRUE(log.messages().first().startsWith(QStringLiteral("Preferences file ")));

        const QStringList backups = QDir(folder.path()).entryList({QFileInfo(path).fileName() + QStringLiteral(".damaged-*")});
        ASSERT_EQ(backups.size(), 1);
        QFile backup(folder.filePath(backups.first()));
        EXPECT_TRUE(backup.open(QIODevice::ReadOnly) && backup.readAll() == damage);

        UserDefaults::standard().setIntegerForKey(0, QStringLiteral("fileFormat"));
        EXPECT_TRUE(UserDefaults::standard().synchronize());
        EXPECT_EQ(readFileAsSettings(path).value(QStringLiteral("fileFormat")).toLongLong(), 0);
    }
}

TEST(JsonSettingsFormat, ReadsStrictJsonAndRejectsTheRest)
{
    QSettings::SettingsMap map;
    ASSERT_TRUE(parseJsonSettings(R"({"a": 1, "b": 1.0, "c": -2e3, "d": "\u00e9\ud83d\ude00\n", "e": [true, null], "f": {}})",
                                  map));
    EXPECT_EQ(map.value(QStringLiteral("a")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value(QStringLiteral("b")).typeId(), QMetaType::Double);
    EXPECT_EQ(map.value(QStringLiteral("c")).toDouble(), -2000.0);
    EXPECT_EQ(map.value(QStringLiteral("d")).toString(), QString::fromUtf8("\u00e9\U0001F600\n"));
    EXPECT_EQ(map.value(QStringLiteral("e")).toList().size(), 2);
    EXPECT_EQ(serialiseJsonSettings(map).count('\n') > 5, true);

    QSettings::SettingsMap again;
    ASSERT_TRUE(parseJsonSettings(serialiseJsonSettings(map), again));
    EXPECT_EQ(again, map);

    for (const char *bad : {"{", "{\"a\" 1}", "{\"a\": 01x}", "{\"a\": 1,}", "{\"a\": \"\x01\"}", "[]", "{} x",
                            "{\"a\": tru}", "{\"a\": 1.}", "{\"a\": \"\\q\"}"}) {
        QSettings::SettingsMap out;
        EXPECT_FALSE(parseJsonSettings(bad, out)) << bad;
    }
    QSettings::SettingsMap deep;
    EXPECT_FALSE(parseJsonSettings("{\"a\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}", deep));
}

// The two halves of a second-run check, each in a process of its own started by the test below;
// the second reads the file afresh.
TEST(DISABLED_SecondRun, Write)
{
    UserDefaults::setStandardFilePath(qEnvironmentVariable("QP_SECOND_RUN_FILE"));
    UserDefaults::standard().setObjectForKey(QStringLiteral("777"), QStringLiteral("outputWidth"));
    UserDefaults::standard().setFloatForKey(0.5f, QStringLiteral("sharpeningValue"));
    // No explicit synchronize: leaving the program must be enough.
}

TEST(DISABLED_SecondRun, Read)
{
    UserDefaults::setStandardFilePath(qEnvironmentVariable("QP_SECOND_RUN_FILE"));
    EXPECT_EQ(UserDefaults::standard().stringForKey(QStringLiteral("outputWidth")), QStringLiteral("777"));
    EXPECT_EQ(UserDefaults::standard().floatForKey(QStringLiteral("sharpeningValue")), 0.5f);
}

TEST_F(UserDefaultsTest, ASecondProgramRunFindsTheValuesTheFirstStored)
{
    auto run = [this](const char *half) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QP_SECOND_RUN_FILE"), folder.filePath(QStringLiteral("run.json")));
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--gtest_also_run_disabled_tests"),
                       QStringLiteral("--gtest_filter=DISABLED_SecondRun.") + QLatin1String(half)});
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardOutput().toStdString();
    };
    run("Write");
    run("Read");
}
