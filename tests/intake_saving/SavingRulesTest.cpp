// Names of the outputs, the size of a batch picture, the preparation of a format's settings,
// the alert about outputs that could not be written, the message after a save, and the
// order and naming of arriving pictures.

#include "Picture.h"
#include "PictureArrival.h"
#include "PixelBuffer.h"
#include "SaveSummary.h"
#include "SavingRules.h"
#include "UnwrittenOutputs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace SavingRules;

namespace {

QVariantMap record(const QString &modifier)
{
    return {{"name", "2x"}, {"modifier", modifier}, {"scalemode", 1}, {"xabs", ""}, {"yabs", ""}, {"xratio", "2"}, {"yratio", "2"},
            {"maxeither", ""}, {"relativeto", 1}, {"resamplemode", 0}, {"fillcolour", 2}, {"selected", true}};
}

QVariantMap base()
{
    return {{"scalemode", 0}, {"resamplemode", 1}, {"xabs", 600.0f}, {"yabs", 400.0f}, {"xratio", 1.0f}, {"yratio", 1.0f},
            {"relativeto", 1}, {"quality", 0.8f}, {"sharpen", 0.3f}, {"saturation", 1.1f}, {"brightness", 0.1f}, {"exposure", 0.2f},
            {"contrast", 0.9f}, {"vibrance", 0.4f}, {"temperature", 12.5f}, {"filter", 2}, {"filterintensity", 1.0f}};
}

TEST(SavingRules, AdditionalFormatNames)
{
    EXPECT_EQ(additionalFormatPath("/Users/me/Pictures/beach.jpg", "@2x"), "/Users/me/Pictures/beach@2x.jpg");
    EXPECT_EQ(additionalFormatPath("/Users/jpg/photos/pic.jpg", "@2x"), "/Users/jpg/photos/pic@2x.jpg");
    EXPECT_EQ(additionalFormatPath("/tmp/out/holiday.tar.jpg", "-small"), "/tmp/out/holiday.tar-small.jpg");
    EXPECT_EQ(additionalFormatPath("/tmp/out/shot.png", "@3x"), "/tmp/out/shot@3x.png");
    EXPECT_EQ(additionalFormatPath("/tmp/my.folder/noext", "@2x"), "/tmp/my.folder/noext@2x");
    EXPECT_EQ(additionalFormatPath("/tmp/out/.hidden", "@2x"), "/tmp/out/.hidden@2x"); // a leading dot is no extension

    QVariantMap unnamed = record("x");
    unnamed.remove("modifier");
    unnamed["name"] = "thumb";
    EXPECT_EQ(formatModifier(unnamed), "thumb");
    EXPECT_EQ(additionalFormatPath("/p/beach.jpg", formatModifier(unnamed)), "/p/beachthumb.jpg");
    EXPECT_EQ(formatModifier(record("@2x")), "@2x");
}

TEST(SavingRules, ModifiersNeverLeaveTheBaseFolder)
{
    const struct {
        const char *modifier;
        const char *path;    // empty: refused
        const char *refusal; // its end
    } cases[] = {
        {"/../../.bashrc", "", "it would write outside the folder of /home/me/out/beach.jpg"},
        {"/sub", "", "it would write outside the folder of /home/me/out/beach.jpg"},
        {"", "", "it would replace the base output /home/me/out/beach.jpg"},
        {"..x", "/home/me/out/beach..x.jpg", ""},
    };
    for (const auto &c : cases) {
        QString refusal;
        EXPECT_EQ(additionalFormatPath("/home/me/out/beach.jpg", c.modifier, &refusal), c.path) << c.modifier;
        EXPECT_TRUE(*c.refusal ? refusal.endsWith(c.refusal) : refusal.isEmpty()) << c.modifier << ": " << refusal.toStdString();
    }
}

TEST(SavingRules, ASavedNameCarriesTheOutputTypesExtension)
{
    const struct {
        const char *typed;
        qint64 fileFormat;
        const char *written;
    } cases[] = {
        {"/out/wrongext.png", 0, "/out/wrongext.jpg"}, // another picture type's extension is replaced
        {"/out/shot.JPG", 1, "/out/shot.png"},
        {"/out/scan.tif", 0, "/out/scan.jpg"},
        {"/out/shot.jpg", 0, "/out/shot.jpg"}, // the type's own extensions stay as typed
        {"/out/shot.jpeg", 0, "/out/shot.jpeg"},
        {"/out/shot.JPG", 0, "/out/shot.JPG"},
        {"/out/scan.tif", 2, "/out/scan.tif"},
        {"/out/shot", 1, "/out/shot.png"}, // no extension: the type's is added
        {"/out/my.photo", 0, "/out/my.photo.jpg"}, // not a picture type's: kept, the type's added
        {"/out/shot.", 2, "/out/shot.tiff"},
        {"/out/.png", 0, "/out/.png.jpg"},               // a hidden name, not an extension
        {"/my.pictures/shot", 0, "/my.pictures/shot.jpg"}, // a folder's dot is not the name's
        {"/out/shot.png", 7, "/out/shot.png"},           // a type without extension changes nothing
    };
    for (const auto &c : cases)
        EXPECT_EQ(withOutputExtension(c.typed, c.fileFormat), c.written) << c.typed << " as type " << c.fileFormat;
}

TEST(SavingRules, ABatchPictureIsSizedByTheRuleInForceAtSave)
{
    const BaseSizeRule fields{QSizeF(300, 100)}, locked{QSizeF(150, 100), true}, box{QSizeF(800, 600), false, true},
        boxNeverEnlarge{QSizeF(800, 600), false, true, true};
    const struct {
        const char *name;
        BaseSizeRule rule;
        QSizeF points;
        QSize pixels;
        QSizeF size;
    } cases[] = {
        {"lock off: the fields", fields, {200, 300}, {200, 300}, {300, 100}},
        {"lock on, landscape", locked, {300, 200}, {300, 200}, {150, 100}},
        {"lock on, portrait", locked, {200, 300}, {200, 300}, {150, 225}},
        {"lock on, 125 of 3:2", {QSizeF(125, 1), true}, {300, 200}, {300, 200}, {125, 83}},
        {"lock on, a half rounds away from zero", {QSizeF(3, 1), true}, {200, 100}, {200, 100}, {3, 2}},
        {"lock on, points not pixels", {QSizeF(100, 1), true}, {1000, 500}, {2000, 500}, {100, 50}},
        {"lock on, no proportions", locked, {0, 300}, {0, 300}, {150, 100}},
        {"box, landscape meets the width", box, {6028, 3391}, {6028, 3391}, {800, 450}},
        {"box, portrait meets the height", box, {3391, 6028}, {3391, 6028}, {338, 600}},
        {"box, square meets the shorter side", box, {1000, 1000}, {1000, 1000}, {600, 600}},
        {"box, the box's own proportions fill it", box, {1600, 1200}, {1600, 1200}, {800, 600}},
        {"box, the lock plays no part", {QSizeF(800, 600), true, true}, {3391, 6028}, {3391, 6028}, {338, 600}},
        {"box, rounded as the lock rounds", {QSizeF(3, 10), false, true}, {200, 100}, {200, 100}, {3, 2}},
        {"box, a sliver keeps one pixel", box, {100000, 10}, {100000, 10}, {800, 1}},
        {"box, a smaller picture is enlarged", box, {400, 300}, {400, 300}, {800, 600}},
        {"box without area: the fields", {QSizeF(0, 600), false, true}, {400, 300}, {400, 300}, {0, 600}},
        {"never enlarge, a smaller picture keeps its size", boxNeverEnlarge, {400, 300}, {400, 300}, {400, 300}},
        {"never enlarge, a portrait smaller than the box", boxNeverEnlarge, {300, 400}, {300, 400}, {300, 400}},
        {"never enlarge, exactly the box", boxNeverEnlarge, {800, 600}, {800, 600}, {800, 600}},
        {"never enlarge, larger on one side is fitted", boxNeverEnlarge, {900, 300}, {900, 300}, {800, 267}},
        {"never enlarge, its pixels, not its points", boxNeverEnlarge, {200, 150}, {400, 300}, {400, 300}},
        {"never enlarge, a drawing keeps its points", boxNeverEnlarge, {300.7, 200.2}, {0, 0}, {300, 200}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(batchOutputSize(c.rule, c.points, c.pixels), c.size) << c.name;
}

TEST(SavingRules, TheAlertNamesEachUnwrittenOutputAndWhy)
{
    const UnwrittenOutput base{"/out/photo.jpg", "could not be made at 100000 x 66667 pixels"};
    const UnwrittenOutput twice{"/out/photo@2x.jpg", "could not be made at 200000 x 133334 pixels"};
    const UnwrittenOutput elsewhere{"/other/pic.jpg", "is read-only and was left as it was"};
    const UnwrittenOutput pathless{"", "skipping format with modifier /x: it would write outside the folder of /out/photo.jpg"};
    const struct {
        const char *name;
        std::vector<UnwrittenOutput> outputs;
        QString text;
    } cases[] = {
        {"one file", {base}, "This file could not be saved in /out:\n\nphoto.jpg could not be made at 100000 x 66667 pixels"},
        {"one folder",
         {base, twice, pathless},
         "These 2 files could not be saved in /out:\n\nphoto.jpg could not be made at 100000 x 66667 pixels\n"
         "photo@2x.jpg could not be made at 200000 x 133334 pixels\n"
         "skipping format with modifier /x: it would write outside the folder of /out/photo.jpg"},
        {"two folders",
         {base, elsewhere},
         "These 2 files could not be saved:\n\n/out/photo.jpg could not be made at 100000 x 66667 pixels\n"
         "/other/pic.jpg is read-only and was left as it was"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(UnwrittenOutputs::alertText(c.outputs), c.text) << c.name;
    EXPECT_EQ(UnwrittenOutputs::alertTitle(), "Files Not Saved");

    // Outputs over the budget have an alert of their own, or follow those not saved.
    const UnwrittenOutput heavy{"/out/photo-big.jpg", "is 140 kB, over the budget of 100 kB even at the lowest quality"};
    const UnwrittenOutputs::Alert over = UnwrittenOutputs::afterSaveAlert({}, {heavy});
    EXPECT_EQ(over.title, "Files Over Budget");
    EXPECT_EQ(over.text, "This file in /out was saved larger than the budget:\n\n"
                         "photo-big.jpg is 140 kB, over the budget of 100 kB even at the lowest quality");
    const UnwrittenOutputs::Alert both = UnwrittenOutputs::afterSaveAlert({base}, {heavy, heavy});
    EXPECT_EQ(both.title, "Files Not Saved");
    EXPECT_EQ(both.text, UnwrittenOutputs::alertText({base}) + "\n\nThese 2 files in /out were saved larger than the budget:\n\n"
                             "photo-big.jpg is 140 kB, over the budget of 100 kB even at the lowest quality\n"
                             "photo-big.jpg is 140 kB, over the budget of 100 kB even at the lowest quality");
    EXPECT_TRUE(UnwrittenOutputs::afterSaveAlert({}, {}).text.isEmpty());

    // A long list is cut, and the rest counted.
    const std::vector<UnwrittenOutput> many(UnwrittenOutputs::kListed + 3, base);
    const QStringList lines = UnwrittenOutputs::alertText(many).split('\n');
    EXPECT_EQ(lines.size(), 2 + UnwrittenOutputs::kListed + 1);
    EXPECT_EQ(lines.first(), QStringLiteral("These %1 files could not be saved in /out:").arg(many.size()));
    EXPECT_EQ(lines.last(), "and 3 more, each named in the log");
}

TEST(SavingRules, BatchOutputNames)
{
    EXPECT_EQ(batchOutputName("/a/one.png", 0), "one.jpg");
    EXPECT_EQ(batchOutputName("/b/two.jpeg", 1), "two.png");
    EXPECT_EQ(batchOutputName("/a/three.tif", 2), "three.tiff");
    EXPECT_EQ(batchOutputName("/a/holiday.tar.gif", 0), "holiday.tar.jpg");
    EXPECT_EQ(batchOutputName("/a/noext", 0), "noext.jpg");
    EXPECT_EQ(batchOutputName("/a/.hidden", 0), ".hidden.jpg"); // not ".jpg", which every such picture would share
    EXPECT_EQ(batchOutputName("/a/x.png", 9), "x");
}

TEST(SavingRules, PreparedSettingsTakeReferenceSizeAndAdjustments)
{
    const QVariantMap prepared = prepareFormatSettings(record("@2x"), base(), QSizeF(600, 400), QSizeF(1000, 800));
    EXPECT_EQ(prepared["xabs"].toFloat(), 600.0f);
    EXPECT_EQ(prepared["yabs"].toFloat(), 400.0f);
    EXPECT_EQ(prepared["resamplemode"].toInt(), 0);
    EXPECT_EQ(prepared["fillcolour"].toInt(), 2);
    EXPECT_EQ(prepared["modifier"].toString(), "@2x");
    for (const char *key : {"quality", "sharpen", "saturation", "brightness", "exposure", "contrast", "vibrance", "temperature", "filter",
                            "filterintensity"})
        EXPECT_EQ(prepared[key], base()[key]) << key;
    // 2x of a 600 x 400 output of a 1000 x 800 picture: 1200 x 800, larger than the input.
    EXPECT_EQ(formatOutputSize(prepared), QSizeF(1200, 800));
    EXPECT_TRUE(isUpscaled(formatOutputSize(prepared), QSize(1000, 800)));
    EXPECT_FALSE(isUpscaled(QSizeF(1000, 800), QSize(1000, 800)));
    EXPECT_TRUE(isUpscaled(QSizeF(1001, 800), QSize(1000, 800)));

    QVariantMap sameAsMain = record("@2x");
    sameAsMain["resamplemode"] = 3;
    sameAsMain["scalemode"] = 0;
    sameAsMain["xabs"] = "320";
    sameAsMain["yabs"] = "200";
    const QVariantMap absolute = prepareFormatSettings(sameAsMain, base(), QSizeF(600, 400), QSizeF(1000, 800));
    EXPECT_EQ(absolute["resamplemode"].toInt(), 1);
    EXPECT_EQ(absolute["xabs"].toString(), "320") << "absolute sizes stay as typed";
    EXPECT_EQ(formatOutputSize(absolute), QSizeF(320, 200));
}

TEST(SavingRules, RelativeToTheSourceUsesItsNominalSize)
{
    // 2000 x 1000 pixels at 144 dpi: 1000 x 500 points; ratios 0.5 give 500 x 250.
    auto picture = Picture::fromPixels(PixelBuffer::create(2000, 1000, 3, 8), QSizeF(1000, 500));
    QVariantMap half = record("-half");
    half["relativeto"] = 0;
    half["xratio"] = "0.5";
    half["yratio"] = "0.5";
    const QVariantMap prepared = prepareFormatSettings(half, base(), QSizeF(600, 400), picture->size());
    EXPECT_EQ(formatOutputSize(prepared), QSizeF(500, 250));
}

TEST(SavingRules, LongestSideFollowsTheBaseOutputsProportions)
{
    QVariantMap longest = record("-300");
    longest["scalemode"] = 2;
    longest["maxeither"] = "300";
    auto sizeFor = [&](QSizeF baseSize) { return formatOutputSize(prepareFormatSettings(longest, base(), baseSize, QSizeF())); };
    EXPECT_EQ(sizeFor(QSizeF(600, 400)), QSizeF(300, 200));
    EXPECT_EQ(sizeFor(QSizeF(400, 600)), QSizeF(200, 300));
    EXPECT_EQ(sizeFor(QSizeF(500, 500)), QSizeF(300, 300));
    EXPECT_EQ(sizeFor(QSizeF(500, 0)), QSizeF(0, 0));
}

TEST(SavingRules, TheMessageAfterASaveSaysWhatWasWrittenWhereAndHowTheBatchEnded)
{
    using Ending = SaveSummary::Ending;
    const std::vector<UnwrittenOutput> unwritten = {{"/out/b.jpg", "is a folder"}};
    const std::vector<UnwrittenOutput> over = {{"/out/a.png", "is 143 kB"}};
    const struct {
        const char *name;
        SaveSummary summary;
        QString text;
    } cases[] = {
        {"one file", {1, "/out", Ending::Completed, 0, 0, "", {}}, "Saved 1 file to /out"},
        {"none", {0, "/out", Ending::Completed, 0, 0, "", {}}, "Saved no files to /out"},
        {"cancelled", {30, "/out", Ending::Cancelled, 16, 40, "", {}}, "Saved 30 files to /out\nThe batch was cancelled before picture 16 of 40."},
        {"stopped", {2, "/out", Ending::Stopped, 2, 9, "b.jpg exists already", {}},
         "Saved 2 files to /out\nThe batch stopped at picture 2 of 9: b.jpg exists already."},
        {"with outputs not written", {4, "/out", Ending::Completed, 0, 0, "", unwritten},
         "Saved 4 files to /out\n\nThis file could not be saved in /out:\n\nb.jpg is a folder"},
        {"with an output over the budget", {4, "/out", Ending::Completed, 0, 0, "", {}, over},
         "Saved 4 files to /out\n\nThis file in /out was saved larger than the budget:\n\na.png is 143 kB"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.summary.text(), c.text) << c.name;
}

TEST(PictureArrival, AFoldersPicturesComeInTheOrderAFileManagerShows)
{
    QTemporaryDir folder;
    for (const char *name : {"img10.png", "IMG2.JPG", "img1.tif", "img01.jpeg", "a.TIFF", "notes.txt", ".hidden.png", "b.gif", "z.pdf",
                             "y.eps", "x.ai", "w.webp", "v.heic", "u.bmp"}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QDir(folder.path()).mkdir("sub.png");
    QStringList names;
    for (const QString &path : PictureArrival::picturesInFolder(folder.path()))
        names << QFileInfo(path).fileName();
    EXPECT_EQ(names, QStringList({"a.TIFF", "b.gif", "img01.jpeg", "img1.tif", "IMG2.JPG", "img10.png", "v.heic", "w.webp", "x.ai", "y.eps",
                                   "z.pdf"}));
}

TEST(PictureArrival, TheWindowNamesEachFileThatCouldNotBeRead)
{
    const PictureArrival::Unreadable notes{"/in/notes.txt", "it is not a picture of a type this program reads"};
    const PictureArrival::Unreadable empty{"/in/empty.png", "the file is empty"};
    const PictureArrival::Unreadable elsewhere{"/other/x.png", "the file is empty"};
    EXPECT_EQ(PictureArrival::unreadableText({notes}), "This file could not be read as a picture:\nnotes.txt: " + notes.why);
    EXPECT_EQ(PictureArrival::unreadableText({notes, empty}),
              "These 2 files could not be read as pictures:\nnotes.txt: " + notes.why + "\nempty.png: the file is empty");
    EXPECT_EQ(PictureArrival::unreadableText({empty, elsewhere}),
              "These 2 files could not be read as pictures:\n/in/empty.png: the file is empty\n/other/x.png: the file is empty");
    const QStringList lines = PictureArrival::unreadableText(std::vector(UnwrittenOutputs::kListed + 2, empty)).split('\n');
    EXPECT_EQ(lines.size(), 1 + UnwrittenOutputs::kListed + 1);
    EXPECT_EQ(lines.last(), "and 2 more, each named in the log");
}

} // namespace
