// quillpane-convert's options, sizes, refusals and safety, through the built program.

#include "ConvertFixture.h"
#include "QuillpaneVersion.h"
#include "TestSupport.h"

namespace {

using ConvertCommandTest = ConvertFixture;
UserDefaults &stored() { return UserDefaults::standard(); }

TEST_F(ConvertCommandTest, SidesGivenAndNotGiven)
{
    const struct {
        QStringList arguments;
        const char *output;
        QSize size;
    } cases[] = {
        {{"--width", "150", "--type", "jpeg", "--neutral", "in/tall.jpg"}, "tall.jpg", {150, 225}},
        {{"--height", "50", "--type", "tiff", "in/wide.png"}, "wide.tiff", {75, 50}},
        {{"--width=40", "--height", "40", "--type", "png", "in/tall.jpg"}, "tall.png", {40, 40}}, // cut to both sides
        {{"in/wide.png"}, "wide.jpg", {125, 83}},                                                   // the window's first-run width
    };
    for (const auto &c : cases) {
        EXPECT_EQ(run(c.arguments + QStringList{"-o", "out"}), 0) << err.toStdString();
        EXPECT_EQ(sizeOf(QStringLiteral("out/") + c.output), c.size) << c.output;
    }
}

TEST_F(ConvertCommandTest, WindowSettingsFillWhatIsNotGiven)
{
    stored().setIntegerForKey(1, QStringLiteral("fileFormat"));
    stored().setObjectForKey(QStringLiteral("60"), QStringLiteral("outputWidth"));
    stored().setObjectForKey(QStringLiteral("10"), QStringLiteral("outputHeight"));
    EXPECT_EQ(run({"--window-settings", "-o", "out", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out/wide.png"), QSize(60, 40)) << "the proportion lock is on by default";
    stored().setBoolForKey(false, QStringLiteral("constrain"));
    EXPECT_EQ(run({"--window-settings", "-o", "out2", "in/wide.png"}), 0);
    EXPECT_EQ(sizeOf("out2/wide.png"), QSize(60, 10));
    // Read as the window's size fields read them.
    stored().setObjectForKey(QStringLiteral("1,020"), QStringLiteral("outputWidth"));
    stored().setObjectForKey(QStringLiteral("abc"), QStringLiteral("outputHeight"));
    EXPECT_EQ(run({"--window-settings", "-o", "out3", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("out3/wide.png"), QSize(1020, 125));
    EXPECT_TRUE(err.contains("outputHeight")) << err.toStdString();
}

TEST_F(ConvertCommandTest, BadArgumentsAreExplainedAndNothingIsWritten)
{
    const std::pair<QStringList, const char *> cases[] = {
        {{"--quality", "200"}, "--quality: 200 is not a number from 0 to 100"},
        {{"--effect", "blur"}, "none|tonal|sepia|posterize|chrome"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--width", "1.5"}, "--width: 1.5 is not a whole number"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--shard", "1/0"}, "--shard: 1/0 is not K/N"},
        {{"--shard", "-1/3"}, "--shard: -1/3 is not K/N"},
        {{"--temperature", "12.68"}, "--temperature: 12.68 is not a colour temperature from 2897 to 15286 kelvin"},
        {{"--width", "65501"}, "the width 65501 is more than the engine can make: a jpg output has at most 65500 pixels a side"},
        {{"--width", "20000", "--height", "20000", "--type", "png"}, "one conversion makes at most 268 megapixels"},
        {{"--print-settings", "--print-formats"}, "not both"},
        {{"--max-kb", "-1"}, "--max-kb"},
        {{"--max-kb", "1.5"}, "--max-kb"},
        {{"--type", "gif"}, "--type"},
        {{"--exposure", "200", "--effect", "tonal"}, "--exposure: 200 is not a number from -2 to 2"},
    };
    for (const auto &[arguments, said] : cases) {
        EXPECT_EQ(run(arguments + QStringList{"-o", "out", "in/wide.png"}), 2) << said;
        EXPECT_TRUE(err.contains(said)) << err.toStdString();
    }
    for (const auto &[arguments, said] : std::initializer_list<std::pair<QStringList, const char *>>{
             {{"in/wide.png"}, "no output folder"}, {{"-o", "out"}, "no pictures given"}, {{"--width"}, "--width needs a value"}}) {
        EXPECT_EQ(run(arguments), 2) << said;
        EXPECT_TRUE(err.contains(said)) << err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(root.filePath("out")));
    // The largest sides each type can have are accepted.
    EXPECT_EQ(run({"--width", "65500", "--print-settings"}), 0) << err.toStdString();
    EXPECT_EQ(run({"--width", "65535", "--height", "4096", "--type", "tiff", "--print-settings"}), 0) << err.toStdString();

    EXPECT_EQ(run({"--help"}), 0);
    for (const char *option : {"--files-from", "--recursive", "--keep-tree", "--shard", "--skip-existing", "--report", "--quiet",
                               "--settings", "--window-settings", "--print-settings", "--formats-file", "--neutral", "kelvin", "--version"})
        EXPECT_TRUE(out.contains(option)) << option;
    // --version answers whatever follows, and converts nothing.
    EXPECT_EQ(run({"--version", "--frobnicate", "-o", "out", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("quillpane-convert %1\n").arg(QLatin1String(quillpaneVersion)));
    EXPECT_FALSE(QFile::exists(root.filePath("out")));
}

TEST_F(ConvertCommandTest, WebpAvifAndTheBudget)
{
    auto grain = PixelBuffer::create(400, 300, 3, 8); // noise, so that the quality moves the size
    uint32_t state = 11;
    for (int y = 0; y < 300; ++y)
        for (size_t i = 0; i < 1200; ++i)
            grain->row(y)[i] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    writeFile(QStringLiteral("in/grain.png"), encodeImage(*grain, ImageEncoding::PNG, 1.0f));
    for (const char *type : {"webp", "avif"}) {
        EXPECT_EQ(run({"--width", "150", "--type", type, "-o", "out", "in/wide.png"}), 0) << err.toStdString();
        EXPECT_EQ(webPictureSize(root.filePath(QStringLiteral("out/wide.") + type)), QSize(150, 100)) << type;
    }
    const QStringList grainy = {"--width", "300", "--quality", "95", "in/grain.png", "--type"};
    const auto sizeOfGrain = [&](const QString &folder, const QString &ending) {
        return QFileInfo(root.filePath(folder + "/grain." + ending)).size();
    };
    for (const char *type : {"jpeg", "webp", "avif"}) {
        const QString ending = QLatin1String(type) == "jpeg" ? "jpg" : type;
        EXPECT_EQ(run(grainy + QStringList{type, "--max-kb", "20", "-o", "within"}), 0);
        EXPECT_LE(sizeOfGrain("within", ending), 20000) << type;
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        EXPECT_EQ(run(grainy + QStringList{type, "-o", "free"}), 0);
        EXPECT_GT(sizeOfGrain("free", ending), 20000) << type;
    }
    // What cannot fit is written all the same and named, even with --quiet; it is no failure.
    EXPECT_EQ(run({"--quiet", "--width", "300", "--type", "png", "--max-kb", "20", "--report", "over.jsonl", "-o", "over", "in/grain.png"}), 0);
    const qint64 png = sizeOfGrain("over", "png");
    EXPECT_GT(png, 20000);
    EXPECT_TRUE(err.contains(QStringLiteral("over/grain.png is %1 kB, over the budget of 20 kB: png has no quality to lower").arg((png + 999) / 1000)))
        << err.toStdString();
    EXPECT_TRUE(bytes("over.jsonl").contains("\"overBudget\":true")) << bytes("over.jsonl").toStdString();

    // The stored budget counts only with --window-settings; 0 turns it off.
    stored().setBoolForKey(true, QStringLiteral("keepFilesUnderBudget"));
    stored().setIntegerForKey(20, QStringLiteral("fileSizeBudget"));
    EXPECT_EQ(run(grainy + QStringList{"webp", "--window-settings", "-o", "stored"}), 0);
    EXPECT_LE(sizeOfGrain("stored", "webp"), 20000);
    EXPECT_EQ(run(grainy + QStringList{"webp", "-o", "hermetic"}), 0);
    EXPECT_GT(sizeOfGrain("hermetic", "webp"), 20000);
    EXPECT_EQ(run(grainy + QStringList{"webp", "--window-settings", "--max-kb", "0", "-o", "off"}), 0);
    EXPECT_GT(sizeOfGrain("off", "webp"), 20000);
}

TEST_F(ConvertCommandTest, AdjustmentsGoNoFurtherThanTheSliders)
{
    // 13 x 13 black: an exposure of 2^200 made NaN of black, and the tonal curve read its table at NaN.
    writePicture("in/black.png", 13, 13, ImageEncoding::PNG, 0);
    const QStringList size = {"--width", "13", "--height", "13", "-o", "out", "in/black.png"};
    const std::pair<const char *, const char *> beyond[] = {{"--sharpen", "2.1"},  {"--saturation", "-0.1"}, {"--brightness", "0.6"},
                                                           {"--contrast", "0.4"}, {"--vibrance", "1.5"},    {"--temperature", "15300"},
                                                           {"--intensity", "6"},  {"--exposure", "-2.5"},   {"--temperature", "2896"}};
    for (const auto &[option, value] : beyond)
        EXPECT_EQ(run(size + QStringList{option, value}), 2) << option << " " << value;
    EXPECT_EQ(run(size + QStringList{"--temperature", "15286", "--contrast", "0.5", "--intensity", "5"}), 0) << err.toStdString();

    // From a stored record: held at the slider's end, as the window holds it.
    stored().setObjectForKey(QVariantMap{{"exposure", 200.0f}, {"contrast", "-7"}}, QStringLiteral("adjustmentDefaults"));
    const QStringList common = {"--width", "13", "--height", "13", "--effect", "tonal", "--type", "png", "--sharpen", "0.24"};
    EXPECT_EQ(run(common + QStringList{"--window-settings", "-o", "stored", "in/black.png", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(sizeOf("stored/black.png"), QSize(13, 13));
    EXPECT_EQ(run(common + QStringList{"--exposure", "2", "--contrast", "0.5", "--temperature", "6562.366", "-o", "given", "in/wide.png"}), 0);
    EXPECT_EQ(bytes("stored/wide.png"), bytes("given/wide.png"));
}

TEST_F(ConvertCommandTest, AFailedPictureIsToldOnceWithItsReasonAndDoesNotStopTheOthers)
{
    writeFile("in/notes.jpg", "not a picture at all");
    EXPECT_EQ(run({"--width", "50", "--jobs", "1", "-o", "out", "in/wide.png", "in/notes.jpg", "in/missing.png", "in/tall.jpg"}), 1);
    EXPECT_EQ(errLines(), QStringList({"quillpane-convert: in/notes.jpg: cannot be read: it is not a picture of a type this program reads",
                                       "quillpane-convert: in/missing.png: cannot be read: there is no such file"}));
    EXPECT_EQ(filesBelow("out"), QStringList({"tall.jpg", "wide.jpg"}));

    // A conversion the engine refuses: its own reason, in the picture's one line.
    writePicture("in/sliver.png", 1, 4000, ImageEncoding::PNG);
    EXPECT_EQ(run({"--width", "65000", "-o", "out", "in/sliver.png"}), 1);
    ASSERT_EQ(errLines().size(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("in/sliver.png: " + root.filePath("out/sliver.jpg") + " could not be made at 65000 x 2599")) << err.toStdString();
    EXPECT_TRUE(err.contains(" pixels: cannot render 65000 x ")) << err.toStdString();

    writeFile("blocked", "a file where the folder would be");
    EXPECT_EQ(run({"-o", "blocked/out", "in/wide.png"}), 2);
    EXPECT_TRUE(err.contains("the folder blocked/out cannot be made: Not a directory")) << err.toStdString();
}

TEST_F(ConvertCommandTest, NeverOverwritesAnInputOrAnEarlierOutput)
{
    const QByteArray before = bytes("in/tall.jpg");
    writePicture(QStringLiteral("in/wide.tif"), 30, 20, ImageEncoding::TIFF);
    EXPECT_EQ(run({"--width", "50", "--type", "jpeg", "-o", "in", "in/tall.jpg", "in/wide.png", "in/wide.tif"}), 1);
    EXPECT_EQ(bytes("in/tall.jpg"), before);
    EXPECT_EQ(sizeOf("in/wide.jpg"), QSize(50, 33)) << "the first picture named wide keeps its output";
    EXPECT_TRUE(err.contains("in/wide.tif: its output " + root.filePath("in/wide.jpg") + " is already the output of in/wide.png"))
        << err.toStdString();

    // photo@2x.png's base output is photo.png's @2x: whichever comes first keeps it.
    writePicture(QStringLiteral("pair/photo.png"), 40, 40, ImageEncoding::PNG, 10);
    writePicture(QStringLiteral("pair/photo@2x.png"), 80, 80, ImageEncoding::PNG, 250);
    EXPECT_EQ(run({"--width", "20", "--formats", "-o", "pairs", "pair/photo.png", "pair/photo@2x.png"}), 1);
    EXPECT_EQ(sizeOf("pairs/photo@2x.jpg"), QSize(40, 40));
    EXPECT_TRUE(err.contains("pair/photo@2x.png: its output")) << err.toStdString();
    EXPECT_EQ(run({"--width", "20", "--formats", "-o", "reversed", "pair/photo@2x.png", "pair/photo.png"}), 1);
    EXPECT_EQ(sizeOf("reversed/photo@2x.jpg"), QSize(20, 20));
    EXPECT_TRUE(err.contains("pair/photo.png: " + root.filePath("reversed/photo@2x.jpg") + " is already the output of pair/photo@2x.png"))
        << err.toStdString();
}

TEST_F(ConvertCommandTest, FormatsAreWrittenBesideEachOutputAndStayInItsFolder)
{
    const QStringList args = {"--window-settings", "--width", "60", "--type", "png", "--formats", "-o", "out", "in/wide.png"};
    // No stored list: the built-ins, as the window's first start seeds them, and nothing is stored.
    EXPECT_EQ(run(args), 0) << err.toStdString();
    EXPECT_EQ(filesBelow("out"), QStringList({"wide.png", "wide@2x.png", "wide@3x.png"}));
    EXPECT_EQ(sizeOf("out/wide@3x.png"), QSize(180, 120));
    EXPECT_FALSE(bytes("config/Quillpane/Quillpane.json").contains("formats"));
    // The first-run choices stored by the window decide which built-ins are selected.
    stored().setBoolForKey(false, QStringLiteral("create2xVersion"));
    stored().setBoolForKey(false, QStringLiteral("create3xVersion"));
    QDir(root.filePath("out")).removeRecursively();
    EXPECT_EQ(run(args), 0);
    EXPECT_EQ(filesBelow("out"), QStringList({"wide.png"}));
    EXPECT_TRUE(err.contains("no format of the format list is selected")) << err.toStdString();

    QVariantMap twice = {{"name", "2x"}, {"modifier", "@2x"}, {"scalemode", 1}, {"xabs", ""}, {"yabs", ""}, {"xratio", "2"},
                         {"yratio", "2"}, {"maxeither", ""}, {"relativeto", 1}, {"resamplemode", 0}, {"fillcolour", 0}, {"selected", true}};
    QVariantMap off = twice, escape = twice;
    off.insert({{"name", "3x"}, {"modifier", "@3x"}, {"selected", false}});
    escape.insert({{"name", "evil"}, {"modifier", "/../escaped"}});
    stored().setObjectForKey(QVariantList{twice, off, escape}, QStringLiteral("formats"));
    QDir(root.filePath("out")).removeRecursively();
    EXPECT_EQ(run(args), 1);
    EXPECT_EQ(filesBelow("out"), QStringList({"wide.png", "wide@2x.png"}));
    EXPECT_EQ(sizeOf("out/wide@2x.png"), QSize(120, 80));
    EXPECT_FALSE(QFile::exists(root.filePath("escaped.png")));
    EXPECT_TRUE(err.contains("skipping format")) << err.toStdString();
    // Without --window-settings the stored list is not read.
    EXPECT_EQ(run({"--width", "60", "--type", "png", "--formats", "-o", "plain", "in/wide.png"}), 0) << err.toStdString();
    EXPECT_EQ(filesBelow("plain"), QStringList({"wide.png", "wide@2x.png", "wide@3x.png"}));
}

TEST_F(ConvertCommandTest, AddModePadsWithTheChosenFill)
{
    EXPECT_EQ(run({"--width", "90", "--height", "90", "--mode", "add", "--fill", "black", "--type", "png", "-o", "out", "in/wide.png"}), 0);
    EXPECT_EQ(sizeOf("out/wide.png"), QSize(90, 90));
    EXPECT_EQ(pixelAt("out/wide.png", 0, 5)[0], 0);          // border above
    EXPECT_NEAR(pixelAt("out/wide.png", 0, 45)[0], 200, 2); // the picture's red
    EXPECT_EQ(pixelAt("out/wide.png", 0, 85)[0], 0);         // border below
}

// A link at an output's name is replaced itself, never written through; inputs (even through a
// linked folder) and read-only files are left as they are.
TEST_F(ConvertCommandTest, AnOutputReplacesALinkItselfAndLeavesInputsAndReadOnlyFilesAlone)
{
    writeFile("victim.txt", "victim");
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

    ASSERT_TRUE(QFile(root.filePath("out/wide.jpg")).setPermissions(QFile::ReadOwner | QFile::ReadGroup));
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
