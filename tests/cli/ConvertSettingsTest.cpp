// Where quillpane-convert's settings come from: hermetic defaults, the window's stored preferences when asked,
// settings and format list files, and what it prints of them.

#include "ConvertFixture.h"

#include <QThread>

namespace {

class ConvertSettingsTest : public ConvertFixture {
protected:
    // What a person who shaped the window to taste has stored, "My Defaults" included.
    void storeTastes()
    {
        UserDefaults &defaults = UserDefaults::standard();
        defaults.setObjectForKey(QVariantMap{{"saturation", 0.0f}, {"contrast", 1.3f}}, QStringLiteral("adjustmentDefaults"));
        defaults.setIntegerForKey(1, QStringLiteral("fileFormat"));
        defaults.setObjectForKey(QStringLiteral("60"), QStringLiteral("outputWidth"));
        defaults.setFloatForKey(1.5f, QStringLiteral("sharpeningValue"));
        defaults.setIntegerForKey(2, QStringLiteral("fillcolour"));
        defaults.setObjectForKey(QVariantList{QVariantMap{{"name", "half"}, {"modifier", "-half"}, {"scalemode", 1}, {"xratio", "0.5"},
                                                          {"yratio", "0.5"}, {"relativeto", 1}, {"selected", true}}},
                                 QStringLiteral("formats"));
    }

    QJsonObject printedSettings(const QStringList &arguments)
    {
        EXPECT_EQ(run(arguments + QStringList{"--print-settings"}), 0) << err.toStdString();
        return QJsonDocument::fromJson(out.toUtf8()).object();
    }
};

TEST_F(ConvertSettingsTest, NothingStoredInTheHomeFolderChangesAPlainRun)
{
    ASSERT_EQ(run({"-o", "before", "in/wide.png"}), 0) << err.toStdString();
    storeTastes();
    QThread::sleep(1); // nothing in an output may depend on when it was made
    ASSERT_EQ(run({"--formats", "-o", "after", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(bytes("after/wide.jpg"), bytes("before/wide.jpg"));
    EXPECT_EQ(filesBelow("after"), QStringList({"wide.jpg", "wide@2x.jpg", "wide@3x.jpg"})) << "the built-ins, not the stored list";
    const auto colour = pixelAt("after/wide.jpg", 60, 40);
    EXPECT_GT(colour[0] - colour[2], 50) << "the stored saturation 0 must not reach a plain run";

    // Asked for, the window's settings are what the window would use.
    ASSERT_EQ(run({"--window-settings", "--formats", "-o", "window", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("window/wide.png"), QSize(60, 40));
    EXPECT_EQ(sizeOf("window/wide-half.png"), QSize(30, 20));
    const auto grey = pixelAt("window/wide.png", 30, 20);
    EXPECT_NEAR(grey[0], grey[2], 2) << "grey, but for the window's neutral temperature of 6562 K";
}

TEST_F(ConvertSettingsTest, PrintedSettingsAndFormatsGiveTheSameOutputsWithoutTheHomeFolder)
{
    storeTastes();
    UserDefaults::standard().setObjectForKey(QVariantMap{{"vibrance", 0.4f}, {"temperature", 12.9f}}, QStringLiteral("adjustmentDefaults"));
    ASSERT_EQ(run({"--window-settings", "--formats", "-o", "window", "in/wide.png", "in/tall.jpg"}), 0) << err.toStdString();
    ASSERT_EQ(run({"--window-settings", "--formats", "--print-settings"}), 0) << err.toStdString();
    writeFile("job/settings.json", out.toUtf8());
    ASSERT_EQ(run({"--window-settings", "--print-formats"}), 0) << err.toStdString();
    writeFile("job/formats.json", out.toUtf8());

    // The home folder's preferences gone: the two files describe the job.
    QFile::remove(root.filePath("config/Quillpane/Quillpane.json"));
    const QStringList job = {"--settings", "job/settings.json", "--formats-file", "job/formats.json", "-o", "files"};
    ASSERT_EQ(run(job + QStringList{"in/wide.png", "in/tall.jpg"}), 0) << err.toStdString();
    EXPECT_EQ(filesIn("files"), filesIn("window"));
    EXPECT_EQ(filesIn("files").size(), 4u);
    // Printed again from the files, the settings read the same: kelvin and all.
    const QJsonObject printed = QJsonDocument::fromJson(bytes("job/settings.json")).object();
    EXPECT_EQ(printedSettings({"--settings", "job/settings.json"}), printed);
    EXPECT_NEAR(printed["temperature"].toDouble(), 7643, 1) << "2^12.9 kelvin";
    EXPECT_EQ(printed["type"].toString(), "png");
}

TEST_F(ConvertSettingsTest, OptionsBeatTheSettingsFileWhichBeatsTheDefaults)
{
    writeFile("job/settings.json", R"({"quality": 50, "type": "png", "saturation": 0.5, "formats-file": "list.json"})");
    writeFile("job/list.json", R"([{"name": "2x", "modifier": "@2x", "scalemode": 1, "xratio": "2", "yratio": "2", "relativeto": 1,
                                   "selected": true}])");
    const QJsonObject settings = printedSettings({"--settings", "job/settings.json", "--type", "tiff", "--height", "80"});
    const std::pair<const char *, QJsonValue> expected[] = {{"type", "tiff"},     {"quality", 50},       {"saturation", 0.5},
                                                           {"contrast", 1},      {"temperature", 6500}, {"height", 80},
                                                           {"width", QJsonValue()}, {"formats", true}, // a formats file means its formats
                                                           {"formats-file", root.filePath("job/list.json")}};
    for (const auto &[key, value] : expected)
        EXPECT_EQ(settings[key], value) << key;
    // --neutral puts back what the file changed; options after it still apply.
    const QJsonObject neutral = printedSettings({"--settings", "job/settings.json", "--neutral", "--contrast", "1.2"});
    EXPECT_EQ(neutral["saturation"].toDouble(), 1);
    EXPECT_EQ(neutral["contrast"].toDouble(), 1.2);
    EXPECT_EQ(neutral["quality"].toDouble(), 50);
    ASSERT_EQ(run({"--settings", "job/settings.json", "--width", "30", "-o", "out", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out/wide@2x.png"), QSize(60, 40));
}

TEST_F(ConvertSettingsTest, BadSettingsAndFormatFilesAreExplained)
{
    const std::tuple<const char *, QByteArray, const char *> cases[] = {
        {"--settings", "{\"quality\": 50,", "is not JSON"},
        {"--settings", "[1, 2]", "is not a JSON object of settings"},
        {"--settings", "{\"qualty\": 50}", "\"qualty\" is no setting of this command"},
        {"--settings", "{\"output\": \"elsewhere\"}", "\"output\" is not a setting: give --output on the command line"},
        {"--settings", "{\"quality\": 200}", "\"quality\": 200 is not a number from 0 to 100"},
        {"--settings", "{\"type\": 1}", "\"type\": is not text"},
        {"--settings", "{\"temperature\": 12.68}", "is not a colour temperature"},
        {"--settings", "{\"width\": 65501}", "the width 65501 is more than the engine can make"},
        {"--formats-file", "{\"formats\": 3}", "holds no format list"},
        {"--formats-file", "[1]", "format 1 of the list is not a record"},
        {"--formats-file", "nonsense", "is not JSON"},
        {"--settings", QByteArray(), "--settings missing.json cannot be read"}, // no file at all
    };
    for (const auto &[option, content, said] : cases) {
        writeFile("bad.json", content);
        EXPECT_EQ(run({option, content.isNull() ? "missing.json" : "bad.json", "-o", "out", "in/wide.png"}), 2) << said;
        EXPECT_TRUE(err.contains(said)) << content.toStdString() << ": " << err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(root.filePath("out")));
}

TEST_F(ConvertSettingsTest, TheTemperatureIsInKelvinAndWarmsAboveTheNeutral)
{
    writePicture("in/grey.png", 40, 40, ImageEncoding::PNG, -1);
    std::map<QString, std::array<int, 3>> seen;
    for (const char *kelvin : {"", "6500", "9000", "4000"}) {
        const QString folder = QStringLiteral("k") + kelvin;
        QStringList arguments = {"--width", "20", "--type", "png", "--saturation", "1", "-o", folder, "in/grey.png"};
        if (*kelvin)
            arguments << "--temperature" << kelvin;
        ASSERT_EQ(run(arguments), 0) << kelvin;
        seen[kelvin] = pixelAt(folder + "/grey.png", 10, 10);
    }
    EXPECT_EQ(bytes("k/grey.png"), bytes("k6500/grey.png")) << "6500 K is the neutral";
    EXPECT_NEAR(seen[""][0], seen[""][2], 1) << "6500 K leaves grey grey";
    EXPECT_GT(seen["9000"][0] - seen["9000"][2], 5);
    EXPECT_LT(seen["4000"][0] - seen["4000"][2], -5);
}

} // namespace
