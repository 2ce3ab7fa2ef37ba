// Where quillpane-convert's settings come from: hermetic defaults, the window's stored preferences when asked,
// settings and format list files, and what it prints of them.

#include "ConvertFixture.h"

#include <QThread>

namespace {

using ConvertSettingsTest = ConvertFixture;
UserDefaults &stored() { return UserDefaults::standard(); }

TEST_F(ConvertSettingsTest, TheWindowsSettingsCountOnlyWhenAskedForAndThenTravelAsFiles)
{
    ASSERT_EQ(run({"-o", "before", "in/wide.png"}), 0) << err.toStdString();
    // What a person who shaped the window to taste has stored, "My Defaults" included.
    stored().setObjectForKey(QVariantMap{{"saturation", 0.0f}, {"vibrance", 0.4f}, {"temperature", 12.9f}}, "adjustmentDefaults");
    stored().setIntegerForKey(1, QStringLiteral("fileFormat"));
    stored().setObjectForKey(QStringLiteral("60"), QStringLiteral("outputWidth"));
    stored().setFloatForKey(1.5f, QStringLiteral("sharpeningValue"));
    stored().setObjectForKey(QVariantList{QVariantMap{{"name", "half"}, {"modifier", "-half"}, {"scalemode", 1}, {"xratio", "0.5"},
                                                      {"yratio", "0.5"}, {"relativeto", 1}, {"selected", true}}},
                             QStringLiteral("formats"));
    QThread::sleep(1); // nothing in an output may depend on when it was made
    ASSERT_EQ(run({"--formats", "-o", "after", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(bytes("after/wide.jpg"), bytes("before/wide.jpg"));
    EXPECT_EQ(filesBelow("after"), QStringList({"wide.jpg", "wide@2x.jpg", "wide@3x.jpg"})) << "the built-ins, not the stored list";

    ASSERT_EQ(run({"--window-settings", "--formats", "-o", "window", "in/wide.png", "in/tall.jpg"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("window/wide.png"), QSize(60, 40)) << "the proportion lock is on by default";
    EXPECT_EQ(sizeOf("window/wide-half.png"), QSize(30, 20));
    // Printed, the settings and formats describe the job without the home folder's preferences.
    ASSERT_EQ(run({"--window-settings", "--formats", "--print-settings"}), 0) << err.toStdString();
    writeFile("job/settings.json", out.toUtf8());
    ASSERT_EQ(run({"--window-settings", "--print-formats"}), 0) << err.toStdString();
    writeFile("job/formats.json", out.toUtf8());
    QFile::remove(root.filePath("config/Quillpane/Quillpane.json"));
    const QStringList job = {"--settings", "job/settings.json", "--formats-file", "job/formats.json"};
    ASSERT_EQ(run(job + QStringList{"-o", "files", "in/wide.png", "in/tall.jpg"}), 0) << err.toStdString();
    EXPECT_EQ(filesIn("files"), filesIn("window"));
    const QJsonObject printed = QJsonDocument::fromJson(bytes("job/settings.json")).object();
    EXPECT_NEAR(printed["temperature"].toDouble(), 7643, 1) << "2^12.9 kelvin";
}

TEST_F(ConvertSettingsTest, OptionsBeatTheSettingsFileWhichBeatsTheDefaults)
{
    writeFile("job/settings.json", R"({"quality": 50, "type": "png", "saturation": 0.5, "formats-file": "list.json"})");
    writeFile("job/list.json", R"([{"name": "2x", "modifier": "@2x", "scalemode": 1, "xratio": "2", "yratio": "2", "relativeto": 1,
                                   "selected": true}])");
    EXPECT_EQ(run({"--settings", "job/settings.json", "--type", "tiff", "--height", "80", "--print-settings"}), 0);
    const QJsonObject settings = QJsonDocument::fromJson(out.toUtf8()).object();
    const std::pair<const char *, QJsonValue> expected[] = {{"type", "tiff"},     {"quality", 50},       {"saturation", 0.5},
                                                           {"contrast", 1},      {"temperature", 6500}, {"height", 80},
                                                           {"width", QJsonValue()}, {"formats", true}, // a formats file means its formats
                                                           {"formats-file", root.filePath("job/list.json")}};
    for (const auto &[key, value] : expected)
        EXPECT_EQ(settings[key], value) << key;
    // --neutral puts back what the file changed; options after it still apply.
    EXPECT_EQ(run({"--settings", "job/settings.json", "--neutral", "--contrast", "1.2", "--print-settings"}), 0);
    const QJsonObject neutral = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_TRUE(neutral["saturation"] == 1 && neutral["contrast"] == 1.2 && neutral["quality"] == 50) << out.toStdString();
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
        {"--formats-file", "{\"formats\": 3}", "holds no format list"},
        {"--formats-file", "[1]", "format 1 of the list is not a record"},
        {"--settings", QByteArray(), "--settings missing.json cannot be read"}, // no file at all
    };
    for (const auto &[option, content, said] : cases) {
        writeFile("bad.json", content);
        EXPECT_EQ(run({option, content.isNull() ? "missing.json" : "bad.json", "-o", "out", "in/wide.png"}), 2) << said;
        EXPECT_TRUE(err.contains(said)) << content.toStdString() << ": " << err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(root.filePath("out")));
}

TEST_F(ConvertSettingsTest, AdjustmentsAreInKelvinAndStoredOnesAreHeldAtTheSlidersEnds)
{
    writePicture("in/grey.png", 8, 8, ImageEncoding::PNG, -1);
    ASSERT_EQ(run({"--type", "png", "--temperature", "9000", "-o", "warm", "in/grey.png"}), 0) << err.toStdString();
    const QColor warm = QImage(root.filePath("warm/grey.png")).pixelColor(4, 4);
    EXPECT_GT(warm.red() - warm.blue(), 5) << "9000 kelvin warms";

    // 13 x 13 black: an exposure of 2^200 made NaN of black, and the tonal curve read its table at NaN.
    writePicture("in/black.png", 13, 13, ImageEncoding::PNG, 0);
    stored().setObjectForKey(QVariantMap{{"exposure", 200.0f}, {"contrast", "-7"}}, QStringLiteral("adjustmentDefaults"));
    const QStringList common = {"--width", "13", "--height", "13", "--effect", "tonal", "--type", "png", "--sharpen", "0.24"};
    EXPECT_EQ(run(common + QStringList{"--window-settings", "-o", "stored", "in/black.png", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("stored/black.png"), QSize(13, 13));
    EXPECT_EQ(run(common + QStringList{"--exposure", "2", "--contrast", "0.5", "--temperature", "6562.366", "-o", "given", "in/wide.png"}), 0);
    EXPECT_EQ(bytes("stored/wide.png"), bytes("given/wide.png"));
}

} // namespace
