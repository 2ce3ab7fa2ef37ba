// quillpane-convert end to end: the built program on real files, with its own preferences.

#include "ImageEncoders.h"
#include "Picture.h"
#include "PixelBuffer.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

class ConvertCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QStringLiteral("config/Quillpane"));
        QDir(root.path()).mkpath(QStringLiteral("in"));
        UserDefaults::setStandardFilePath(root.filePath(QStringLiteral("config/Quillpane/Quillpane.json")));
        writePicture(QStringLiteral("in/wide.png"), 300, 200, ImageEncoding::PNG);
        writePicture(QStringLiteral("in/tall.jpg"), 200, 300, ImageEncoding::JPEG);
    }

    void writePicture(const QString &name, int w, int h, ImageEncoding encoding, uint8_t red = 200)
    {
        auto buffer = PixelBuffer::create(w, h, 3, 8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t *p = buffer->row(y) + x * 3;
                p[0] = red;
                p[1] = uint8_t(x % 256);
                p[2] = uint8_t(y % 256);
            }
        QFile file(root.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(encodeImage(*buffer, encoding, 0.9f));
    }

    int run(const QStringList &arguments)
    {
        UserDefaults::standard().synchronize();
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(root.path());
        process.start(QStringLiteral(QP_CONVERT_BINARY), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        out = QString::fromLocal8Bit(process.readAllStandardOutput());
        err = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitCode();
    }

    QSize sizeOf(const QString &name)
    {
        auto picture = Picture::readFile(root.filePath(name));
        return picture ? picture->sourcePixelSize() : QSize();
    }

    QTemporaryDir root;
    QString out, err;
};

TEST_F(ConvertCommandTest, NamesOutputsAsTheBatchDoesAndFollowsProportions)
{
    EXPECT_EQ(run({"--width", "150", "--type", "jpeg", "--neutral", "-o", "out", "in/wide.png", "in/tall.jpg"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out/wide.jpg"), QSize(150, 100));
    EXPECT_EQ(sizeOf("out/tall.jpg"), QSize(150, 225));

    EXPECT_EQ(run({"--height", "50", "--type", "tiff", "-o", "out", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out/wide.tiff"), QSize(75, 50));

    // Both sides given: the picture is cut to them.
    EXPECT_EQ(run({"--width", "40", "--height", "40", "--type", "png", "-o", "out", "in/tall.jpg"}), 0);
    EXPECT_EQ(sizeOf("out/tall.png"), QSize(40, 40));
}

TEST_F(ConvertCommandTest, StoredPreferencesFillWhatIsNotGiven)
{
    UserDefaults::standard().setIntegerForKey(1, QStringLiteral("fileFormat"));
    UserDefaults::standard().setObjectForKey(QStringLiteral("60"), QStringLiteral("outputWidth"));
    UserDefaults::standard().setObjectForKey(QStringLiteral("10"), QStringLiteral("outputHeight"));
    EXPECT_EQ(run({"-o", "out", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out/wide.png"), QSize(60, 40)) << "the proportion lock is on by default";

    UserDefaults::standard().setBoolForKey(false, QStringLiteral("constrain"));
    EXPECT_EQ(run({"-o", "out2", "in/wide.png"}), 0);
    EXPECT_EQ(sizeOf("out2/wide.png"), QSize(60, 10));

    // Sizes read as the window's size fields read them.
    UserDefaults::standard().setObjectForKey(QStringLiteral("1,020"), QStringLiteral("outputWidth"));
    UserDefaults::standard().setObjectForKey(QStringLiteral("abc"), QStringLiteral("outputHeight"));
    EXPECT_EQ(run({"-o", "out3", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out3/wide.png"), QSize(1020, 125));
    EXPECT_TRUE(err.contains("outputHeight")) << err.toStdString();
}

TEST_F(ConvertCommandTest, BadArgumentsAreExplained)
{
    EXPECT_EQ(run({"--quality", "200", "-o", "out", "in/wide.png"}), 2);
    EXPECT_TRUE(err.contains("--quality")) << err.toStdString();
    EXPECT_EQ(run({"--effect", "blur", "-o", "out", "in/wide.png"}), 2);
    EXPECT_TRUE(err.contains("none|tonal|sepia|posterize|chrome"));
    EXPECT_EQ(run({"in/wide.png"}), 2);
    EXPECT_EQ(run({"-o", "out"}), 2);
    EXPECT_EQ(run({"--width"}), 2);
    EXPECT_EQ(run({"--frobnicate", "-o", "out", "in/wide.png"}), 2);
    EXPECT_FALSE(QFile::exists(root.filePath("out")));
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_TRUE(out.contains("--formats") && out.contains("--jobs") && out.contains("--neutral"));
}

TEST_F(ConvertCommandTest, WebpAvifAndTheBudget)
{
    // Grain, so that the quality moves the size.
    auto grain = PixelBuffer::create(400, 300, 3, 8);
    uint32_t state = 11;
    for (int y = 0; y < 300; ++y)
        for (size_t i = 0; i < 1200; ++i)
            grain->row(y)[i] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    QFile file(root.filePath("in/grain.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encodeImage(*grain, ImageEncoding::PNG, 1.0f));
    file.close();

    for (const char *type : {"webp", "avif"}) {
        EXPECT_EQ(run({"--width", "150", "--type", type, "-o", "out", "in/wide.png"}), 0) << err.toStdString();
        EXPECT_EQ(webPictureSize(root.filePath(QStringLiteral("out/wide.") + type)), QSize(150, 100)) << type;
    }
    // Each lossy type within 20 kB; without the budget each is larger.
    for (const char *type : {"jpeg", "webp", "avif"}) {
        const QString out = QStringLiteral("within/grain.") + (QLatin1String(type) == "jpeg" ? "jpg" : type);
        EXPECT_EQ(run({"--width", "300", "--type", type, "--quality", "95", "--max-kb", "20", "-o", "within", "in/grain.png"}), 0);
        EXPECT_LE(QFileInfo(root.filePath(out)).size(), 20000) << type;
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        EXPECT_EQ(run({"--width", "300", "--type", type, "--quality", "95", "-o", "free", "in/grain.png"}), 0);
        EXPECT_GT(QFileInfo(root.filePath(out).replace("within/", "free/")).size(), 20000) << type;
    }
    // What cannot fit is written all the same and named; it is no failure.
    EXPECT_EQ(run({"--width", "300", "--type", "png", "--max-kb", "20", "-o", "over", "in/grain.png"}), 0);
    const qint64 png = QFileInfo(root.filePath("over/grain.png")).size();
    EXPECT_GT(png, 20000);
    EXPECT_TRUE(err.contains(QStringLiteral("over/grain.png is %1 kB, over the budget of 20 kB: png has no quality to lower")
                                 .arg((png + 999) / 1000)))
        << err.toStdString();

    // The stored budget is the default; off on the command line, it is off.
    UserDefaults::standard().setBoolForKey(true, QStringLiteral("keepFilesUnderBudget"));
    UserDefaults::standard().setIntegerForKey(20, QStringLiteral("fileSizeBudget"));
    EXPECT_EQ(run({"--width", "300", "--type", "webp", "--quality", "95", "-o", "stored", "in/grain.png"}), 0);
    EXPECT_LE(QFileInfo(root.filePath("stored/grain.webp")).size(), 20000);
    EXPECT_EQ(run({"--width", "300", "--type", "webp", "--quality", "95", "--max-kb", "off", "-o", "off", "in/grain.png"}), 0);
    EXPECT_GT(QFileInfo(root.filePath("off/grain.webp")).size(), 20000);

    for (const QStringList &bad : {QStringList{"--max-kb", "0"}, QStringList{"--max-kb", "1.5"}, QStringList{"--type", "gif"}}) {
        EXPECT_EQ(run(bad + QStringList{"-o", "bad", "in/wide.png"}), 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(err.contains(bad.first())) << err.toStdString();
    }
}

TEST_F(ConvertCommandTest, AdjustmentsGoNoFurtherThanTheSliders)
{
    // 13 x 13 black: an exposure of 2^200 made NaN of black, and the tonal curve's tail
    // loop read its table at NaN: a segmentation fault.
    auto pixels = PixelBuffer::create(13, 13, 3, 8);
    for (int y = 0; y < 13; ++y)
        std::fill(pixels->row(y), pixels->row(y) + 39, uint8_t(0));
    QFile black(root.filePath("in/black.png"));
    ASSERT_TRUE(black.open(QIODevice::WriteOnly));
    black.write(encodeImage(*pixels, ImageEncoding::PNG, 1.0f));
    black.close();
    const QStringList size = {"--width", "13", "--height", "13"};
    EXPECT_EQ(run(size + QStringList{"--neutral", "--exposure", "200", "--effect", "tonal", "-o", "out", "in/black.png"}), 2);
    EXPECT_TRUE(err.contains("--exposure: 200 is not a number from -2 to 2")) << err.toStdString();
    const std::pair<const char *, const char *> beyond[] = {{"--sharpen", "2.1"},     {"--saturation", "-0.1"}, {"--brightness", "0.6"},
                                                           {"--contrast", "0.4"},    {"--vibrance", "1.5"},    {"--temperature", "14"},
                                                           {"--intensity", "6"},     {"--exposure", "-2.5"}};
    for (const auto &[option, value] : beyond)
        EXPECT_EQ(run(size + QStringList{option, value, "-o", "out", "in/black.png"}), 2) << option << " " << value;
    EXPECT_EQ(run(size + QStringList{"--temperature", "13.9", "--contrast", "0.5", "--intensity", "5", "-o", "out", "in/black.png"}), 0)
        << err.toStdString();

    // The same from a stored record: held at the slider's end, as the window holds it.
    UserDefaults::standard().setObjectForKey(QVariantMap{{"exposure", 200.0f}, {"contrast", "-7"}}, QStringLiteral("adjustmentDefaults"));
    EXPECT_EQ(run(size + QStringList{"--effect", "tonal", "--type", "png", "-o", "stored", "in/black.png", "in/wide.png"}), 0)
        << err.toStdString();
    EXPECT_EQ(sizeOf("stored/black.png"), QSize(13, 13));
    UserDefaults::standard().removeObjectForKey(QStringLiteral("adjustmentDefaults"));
    EXPECT_EQ(run(size + QStringList{"--effect", "tonal", "--type", "png", "--exposure", "2", "--contrast", "0.5", "-o", "given", "in/wide.png"}), 0);
    QFile stored(root.filePath("stored/wide.png")), given(root.filePath("given/wide.png"));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly) && given.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), given.readAll());
}

TEST_F(ConvertCommandTest, AFailedPictureDoesNotStopTheOthers)
{
    QFile text(root.filePath("in/notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture at all");
    text.close();
    EXPECT_EQ(run({"--width", "50", "--jobs", "1", "-o", "out", "in/wide.png", "in/notes.jpg", "in/missing.png", "in/tall.jpg"}), 1);
    EXPECT_TRUE(err.contains("in/notes.jpg")) << err.toStdString();
    EXPECT_TRUE(err.contains("in/missing.png"));
    EXPECT_TRUE(QFile::exists(root.filePath("out/wide.jpg")));
    EXPECT_TRUE(QFile::exists(root.filePath("out/tall.jpg")));
}

TEST_F(ConvertCommandTest, NeverOverwritesAnInputOrAnEarlierOutput)
{
    QFile original(root.filePath("in/tall.jpg"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    writePicture(QStringLiteral("in/wide.tif"), 30, 20, ImageEncoding::TIFF);
    EXPECT_EQ(run({"--width", "50", "--type", "jpeg", "-o", "in", "in/tall.jpg", "in/wide.png", "in/wide.tif"}), 1);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), before);
    EXPECT_EQ(sizeOf("in/wide.jpg"), QSize(50, 33)) << "the first picture named wide keeps its output";
    EXPECT_TRUE(err.contains("in/wide.tif"));
}

TEST_F(ConvertCommandTest, FormatsAreWrittenBesideEachOutputAndStayInItsFolder)
{
    QVariantMap twice = {{"name", "2x"}, {"modifier", "@2x"}, {"scalemode", 1}, {"xabs", ""}, {"yabs", ""}, {"xratio", "2"},
                         {"yratio", "2"}, {"maxeither", ""}, {"relativeto", 1}, {"resamplemode", 0}, {"fillcolour", 0}, {"selected", true}};
    QVariantMap off = twice;
    off["name"] = "3x";
    off["modifier"] = "@3x";
    off["selected"] = false;
    QVariantMap escape = twice;
    escape["name"] = "evil";
    escape["modifier"] = "/../escaped";
    UserDefaults::standard().setObjectForKey(QVariantList{twice, off, escape}, QStringLiteral("formats"));
    EXPECT_EQ(run({"--width", "60", "--type", "png", "--formats", "-o", "out", "in/wide.png"}), 1);
    EXPECT_EQ(sizeOf("out/wide.png"), QSize(60, 40));
    EXPECT_EQ(sizeOf("out/wide@2x.png"), QSize(120, 80));
    EXPECT_FALSE(QFile::exists(root.filePath("out/wide@3x.png")));
    EXPECT_FALSE(QFile::exists(root.filePath("escaped.png")));
    EXPECT_FALSE(QFile::exists(root.filePath("out/wide/../escaped.png")));
    EXPECT_TRUE(err.contains("skipping format")) << err.toStdString();
}

TEST_F(ConvertCommandTest, FormatsWithNoStoredListAreTheBuiltInsAndNothingIsStored)
{
    // As the window's first start seeds the list, without writing the preferences.
    const QStringList args = {"--width", "60", "--type", "png", "--formats", "-o", "out", "in/wide.png"};
    EXPECT_EQ(run(args), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out/wide@2x.png"), QSize(120, 80));
    EXPECT_EQ(sizeOf("out/wide@3x.png"), QSize(180, 120));
    QFile prefs(root.filePath("config/Quillpane/Quillpane.json"));
    EXPECT_FALSE(prefs.open(QIODevice::ReadOnly) && prefs.readAll().contains("formats"));

    // The first-run choices stored by the window decide which built-ins are selected.
    UserDefaults::standard().setBoolForKey(false, QStringLiteral("create2xVersion"));
    UserDefaults::standard().setBoolForKey(false, QStringLiteral("create3xVersion"));
    QDir(root.filePath("out")).removeRecursively();
    EXPECT_EQ(run(args), 0);
    EXPECT_TRUE(QFile::exists(root.filePath("out/wide.png")));
    EXPECT_FALSE(QFile::exists(root.filePath("out/wide@2x.png")) || QFile::exists(root.filePath("out/wide@3x.png")));
    EXPECT_TRUE(err.contains("no format of the format list is selected")) << err.toStdString();
}

TEST_F(ConvertCommandTest, AddModePadsWithTheChosenFill)
{
    EXPECT_EQ(run({"--width", "90", "--height", "90", "--mode", "add", "--fill", "black", "--type", "png", "--neutral", "-o", "out",
                   "in/wide.png"}),
              0);
    auto picture = Picture::readFile(root.filePath("out/wide.png"));
    ASSERT_TRUE(picture);
    auto pixels = picture->representations().back()->pixels();
    ASSERT_EQ(pixels->width, 90);
    EXPECT_EQ(pixels->row(5)[0], 0);         // border above
    EXPECT_NEAR(pixels->row(45)[0], 200, 2); // the picture's red
    EXPECT_EQ(pixels->row(85)[0], 0);        // border below
}

// An output replaces whatever entry has its name when that may be replaced: a link is
// replaced itself and never written through; an input, even reached through a linked
// folder, and a file someone made read-only are left as they are.
TEST_F(ConvertCommandTest, AnOutputReplacesALinkItselfAndLeavesInputsAndReadOnlyFilesAlone)
{
    auto bytes = [this](const char *name) {
        QFile file(root.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QFile victim(root.filePath("victim.txt"));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly) && victim.write("victim") == 6);
    victim.close();
    QDir(root.path()).mkpath("out");
    ASSERT_TRUE(QFile::link("../victim.txt", root.filePath("out/wide.jpg")));
    ASSERT_TRUE(QFile::link("../nowhere.jpg", root.filePath("out/tall.jpg")));
    EXPECT_EQ(run({"--width", "30", "--type", "jpeg", "-o", "out", "in/wide.png", "in/tall.jpg"}), 0) << err.toStdString();
    EXPECT_EQ(bytes("victim.txt"), "victim");
    EXPECT_FALSE(QFile::exists(root.filePath("nowhere.jpg")));
    for (const char *name : {"out/wide.jpg", "out/tall.jpg"})
        EXPECT_FALSE(QFileInfo(root.filePath(name)).isSymLink()) << name;
    EXPECT_EQ(sizeOf("out/wide.jpg"), QSize(30, 20));
    EXPECT_EQ(sizeOf("out/tall.jpg"), QSize(30, 45));

    QFile locked(root.filePath("out/wide.jpg"));
    ASSERT_TRUE(locked.setPermissions(QFile::ReadOwner | QFile::ReadGroup));
    const QByteArray kept = bytes("out/wide.jpg");
    EXPECT_EQ(run({"--width", "40", "--type", "jpeg", "-o", "out", "in/wide.png"}), 1);
    EXPECT_TRUE(err.contains(root.filePath("out/wide.jpg") + " is read-only and was left as it was")) << err.toStdString();
    EXPECT_EQ(bytes("out/wide.jpg"), kept);

    const QByteArray original = bytes("in/tall.jpg");
    ASSERT_TRUE(QFile::link("in", root.filePath("alias")));
    EXPECT_EQ(run({"--width", "40", "--type", "jpeg", "-o", "in", "alias/tall.jpg"}), 1);
    EXPECT_TRUE(err.contains("would replace an input picture")) << err.toStdString();
    EXPECT_EQ(bytes("in/tall.jpg"), original);
}

} // namespace
