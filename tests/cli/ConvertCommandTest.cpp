// quillpane-convert's options, sizes, refusals and safety, through the built program.

#include "ConvertFixture.h"

namespace {

using ConvertCommandTest = ConvertFixture;
UserDefaults &stored() { return UserDefaults::standard(); }

TEST_F(ConvertCommandTest, SidesGivenAndNotGiven)
{
    const std::tuple<QStringList, const char *, QSize> cases[] = { // arguments, the output and its size
        {{"--width", "150", "--type", "jpeg", "--neutral", "in/tall.jpg"}, "tall.jpg", {150, 225}},
        {{"--height", "50", "--type", "tiff", "in/wide.png"}, "wide.tiff", {75, 50}},
        {{"--width=40", "--height", "40", "--type", "png", "in/tall.jpg"}, "tall.png", {40, 40}}, // cut to both sides
        {{"in/wide.png"}, "wide.jpg", {125, 83}},                                                   // the window's first-run width
        {{"--width", "150", "--type", "avif", "in/wide.png"}, "wide.avif", {150, 100}},
    };
    for (const auto &[arguments, output, size] : cases) {
        EXPECT_EQ(run(arguments + QStringList{"-o", "out"}), 0) << err.toStdString();
        EXPECT_EQ(sizeOf(QStringLiteral("out/") + output), size) << output;
    }
    EXPECT_EQ(run({"--width", "90", "--height", "90", "--mode", "add", "--fill", "black", "--type", "png", "-o", "add", "in/wide.png"}), 0);
    EXPECT_EQ(sizeOf("add/wide.png"), QSize(90, 90));
    for (const auto &[y, red] : {std::pair{5, 0}, {45, 200}, {85, 0}}) // the fill above and below the picture
        EXPECT_NEAR(QImage(root.filePath("add/wide.png")).pixelColor(0, y).red(), red, 2) << y;
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
        {{"--temperature", "12.68"}, "--temperature: 12.68 is not a colour temperature from 2897 to 15286 kelvin"},
        {{"--width", "65501"}, "the width 65501 is more than the engine can make: a jpg output has at most 65500 pixels a side"},
        {{"--width", "20000", "--height", "20000", "--type", "png"}, "one conversion makes at most 268 megapixels"},
        {{"--print-settings", "--print-formats"}, "not both"},
        // No further than the window's sliders go.
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
    // The ends themselves are accepted.
    EXPECT_EQ(run({"--width", "65500", "--temperature", "15286", "--contrast", "0.5", "--intensity", "5", "--print-settings"}), 0);
    EXPECT_EQ(run({"--width", "65535", "--height", "4096", "--type", "tiff", "--print-settings"}), 0) << err.toStdString();
}

TEST_F(ConvertCommandTest, TheBudgetBoundsTheFileAndWhatCannotFitIsNamed)
{
    writeFile(QStringLiteral("in/grain.png"), encodeImage(*TestPictures::photo(400, 300), ImageEncoding::PNG, 1.0f));
    const auto bytesWritten = [&](const QStringList &options, const QString &ending) {
        EXPECT_EQ(run(QStringList{"--width", "300", "--quality", "95", "-o", "b", "in/grain.png"} + options), 0) << err.toStdString();
        return QFileInfo(root.filePath("b/grain." + ending)).size();
    };
    EXPECT_LE(bytesWritten({"--type", "webp", "--max-kb", "20"}, "webp"), 20000);
    // What cannot fit is written all the same and named, even with --quiet; it is no failure.
    const qint64 png = bytesWritten({"--quiet", "--type", "png", "--max-kb", "20"}, "png");
    EXPECT_TRUE(err.contains(QStringLiteral("b/grain.png is %1 kB, over the budget of 20 kB: png has no quality to lower").arg((png + 999) / 1000)))
        << err.toStdString();
    // The stored budget counts with --window-settings.
    stored().setBoolForKey(true, QStringLiteral("keepFilesUnderBudget"));
    stored().setIntegerForKey(20, QStringLiteral("fileSizeBudget"));
    EXPECT_LE(bytesWritten({"--type", "jpeg", "--window-settings"}, "jpg"), 20000);
    EXPECT_GT(bytesWritten({"--type", "jpeg"}, "jpg"), 20000);
}

TEST_F(ConvertCommandTest, AFailedPictureIsToldOnceWithItsReasonAndDoesNotStopTheOthers)
{
    writeFile("in/notes.jpg", "not a picture at all");
    EXPECT_EQ(run({"--width", "50", "--jobs", "1", "-o", "out", "in/wide.png", "in/notes.jpg", "in/missing.png", "in/tall.jpg"}), 1);
    EXPECT_EQ(err, "quillpane-convert: in/notes.jpg: cannot be read: it is not a picture of a type this program reads\n"
                   "quillpane-convert: in/missing.png: cannot be read: there is no such file\n");
    EXPECT_EQ(filesBelow("out"), QStringList({"tall.jpg", "wide.jpg"}));

    // A conversion the engine refuses: its own reason, in the picture's one line.
    writePicture("in/sliver.png", 1, 4000);
    EXPECT_EQ(run({"--width", "65000", "-o", "out", "in/sliver.png"}), 1);
    EXPECT_TRUE(err.contains("in/sliver.png: " + root.filePath("out/sliver.jpg") + " could not be made at 65000 x 2599")) << err.toStdString();
    EXPECT_TRUE(err.contains(" pixels: cannot render 65000 x ")) << err.toStdString();

    writeFile("blocked", "a file where the folder would be");
    EXPECT_EQ(run({"-o", "blocked/out", "in/wide.png"}), 2);
    EXPECT_TRUE(err.contains("the folder blocked/out cannot be made: Not a directory")) << err.toStdString();
}

// A link at an output's name is replaced, never written through; inputs, earlier outputs and read-only files are kept.
TEST_F(ConvertCommandTest, OutputsReplaceLinksButNeverInputsEarlierOutputsOrReadOnlyFiles)
{
    writeFile("victim.txt", "victim");
    QDir(root.path()).mkpath("out");
    ASSERT_TRUE(QFile::link("../victim.txt", root.filePath("out/wide.jpg")));
    ASSERT_TRUE(QFile::link("../nowhere.jpg", root.filePath("out/tall.jpg")));
    EXPECT_EQ(run({"--width", "30", "-o", "out", "in/wide.png", "in/tall.jpg"}), 0) << err.toStdString();
    EXPECT_EQ(bytes("victim.txt"), "victim");
    EXPECT_FALSE(QFile::exists(root.filePath("nowhere.jpg")));
    EXPECT_EQ(sizeOf("out/wide.jpg"), QSize(30, 20));
    EXPECT_EQ(sizeOf("out/tall.jpg"), QSize(30, 45));

    writeFile("out/tall.jpg", "cut short"); // no whole picture: made again
    EXPECT_EQ(run({"--width", "40", "--skip-existing", "-o", "out", "in/wide.png", "in/tall.jpg"}), 0);
    EXPECT_EQ(sizeOf("out/wide.jpg"), QSize(30, 20));
    EXPECT_EQ(sizeOf("out/tall.jpg"), QSize(40, 60));

    ASSERT_TRUE(QFile(root.filePath("out/wide.jpg")).setPermissions(QFile::ReadOwner | QFile::ReadGroup));
    const QByteArray kept = bytes("out/wide.jpg");
    EXPECT_EQ(run({"--width", "40", "-o", "out", "in/wide.png"}), 1);
    EXPECT_TRUE(err.contains(root.filePath("out/wide.jpg") + " is read-only and was left as it was")) << err.toStdString();
    EXPECT_EQ(bytes("out/wide.jpg"), kept);

    const QByteArray original = bytes("in/tall.jpg");
    ASSERT_TRUE(QFile::link("in", root.filePath("alias")));
    writePicture(QStringLiteral("in/wide.tif"), 30, 20, ImageEncoding::TIFF);
    // photo@2x.png's own output is photo.png's @2x output: the first keeps it.
    writePicture(QStringLiteral("pair/photo.png"), 40, 40);
    writePicture(QStringLiteral("pair/photo@2x.png"), 80, 80);
    EXPECT_EQ(run({"--width", "50", "--formats", "-o", "in", "alias/tall.jpg", "in/wide.png", "in/wide.tif", "pair/photo@2x.png",
                   "pair/photo.png"}),
              1);
    EXPECT_TRUE(err.contains("would replace an input picture")) << err.toStdString();
    EXPECT_EQ(bytes("in/tall.jpg"), original);
    EXPECT_EQ(sizeOf("in/wide.jpg"), QSize(50, 33)) << "the first picture named wide keeps its output";
    EXPECT_TRUE(err.contains("in/wide.tif: its output " + root.filePath("in/wide.jpg") + " is already the output of in/wide.png"))
        << err.toStdString();
    EXPECT_EQ(sizeOf("in/photo@2x.jpg"), QSize(50, 50));
    EXPECT_TRUE(err.contains("pair/photo.png: " + root.filePath("in/photo@2x.jpg") + " is already the output of pair/photo@2x.png"))
        << err.toStdString();
}

TEST_F(ConvertCommandTest, FormatsAreWrittenBesideEachOutputAndStayInItsFolder)
{
    const auto args = [](const char *folder) {
        return QStringList{"--window-settings", "--width", "60", "--type", "png", "--formats", "-o", folder, "in/wide.png"};
    };
    // No stored list: the built-ins, as the window's first start seeds them, and nothing is stored.
    EXPECT_EQ(run(args("first")), 0) << err.toStdString();
    EXPECT_EQ(filesBelow("first"), QStringList({"wide.png", "wide@2x.png", "wide@3x.png"}));
    EXPECT_FALSE(bytes("config/Quillpane/Quillpane.json").contains("formats"));
    // The first-run choices stored by the window decide which built-ins are selected.
    stored().setBoolForKey(false, QStringLiteral("create2xVersion"));
    stored().setBoolForKey(false, QStringLiteral("create3xVersion"));
    EXPECT_EQ(run(args("none")), 0);
    EXPECT_EQ(filesBelow("none"), QStringList({"wide.png"}));
    EXPECT_TRUE(err.contains("no format of the format list is selected")) << err.toStdString();

    const QVariantMap twice = {{"name", "2x"}, {"modifier", "@2x"}, {"scalemode", 1}, {"xratio", "2"},
                               {"yratio", "2"}, {"relativeto", 1}, {"selected", true}};
    QVariantMap escape = twice;
    escape.insert({{"name", "evil"}, {"modifier", "/../escaped"}});
    stored().setObjectForKey(QVariantList{twice, escape}, QStringLiteral("formats"));
    EXPECT_EQ(run(args("out")), 1);
    EXPECT_EQ(filesBelow("out"), QStringList({"wide.png", "wide@2x.png"}));
    EXPECT_FALSE(QFile::exists(root.filePath("escaped.png")));
    EXPECT_TRUE(err.contains("skipping format")) << err.toStdString();
}

} // namespace
