// Names of the outputs, the size of a batch picture, a format's settings and the texts after a save.

#include "PictureArrival.h"
#include "SaveSummary.h"
#include "SavingRules.h"
#include "UnwrittenOutputs.h"

#include <gtest/gtest.h>

using namespace SavingRules;

namespace {

QVariantMap record(const QString &modifier, const QVariantMap &entries = {})
{
    QVariantMap format{{"name", "2x"}, {"modifier", modifier}, {"scalemode", 1}, {"xabs", ""}, {"yabs", ""}, {"xratio", "2"},
                       {"yratio", "2"}, {"maxeither", ""}, {"relativeto", 1}, {"resamplemode", 0}, {"fillcolour", 2}, {"selected", true}};
    format.insert(entries);
    return format;
}

TEST(SavingRules, AFormatsNameIsTheBaseNameWithItsModifierWithinTheBaseFolder)
{
    const struct {
        const char *base, *modifier;
        const char *path;    // empty: refused
        const char *refusal; // its end
    } cases[] = {
        {"/Users/me/Pictures/beach.jpg", "@2x", "/Users/me/Pictures/beach@2x.jpg", ""},
        {"/tmp/out/holiday.tar.jpg", "-small", "/tmp/out/holiday.tar-small.jpg", ""},
        {"/tmp/my.folder/noext", "@2x", "/tmp/my.folder/noext@2x", ""},
        {"/tmp/out/.hidden", "@2x", "/tmp/out/.hidden@2x", ""}, // a leading dot is no extension
        {"/out/beach.jpg", "..x", "/out/beach..x.jpg", ""},
        {"/out/beach.jpg", "/sub", "", "it would write outside the folder of /out/beach.jpg"},
        {"/out/deep/pic.jpg", "/../escape", "", "it would write outside the folder of /out/deep/pic.jpg"},
        {"/out/beach.jpg", "", "", "it would replace the base output /out/beach.jpg"},
    };
    for (const auto &c : cases) {
        QString refusal;
        EXPECT_EQ(additionalFormatPath(c.base, c.modifier, &refusal), c.path) << c.modifier;
        EXPECT_TRUE(*c.refusal ? refusal.endsWith(c.refusal) : refusal.isEmpty()) << c.modifier << ": " << refusal.toStdString();
    }
    EXPECT_EQ(formatModifier(QVariantMap{{"name", "thumb"}}), "thumb");
    EXPECT_EQ(formatModifier(record("@2x")), "@2x");
}

TEST(SavingRules, ASavedNameCarriesTheOutputTypesExtension)
{
    const struct {
        const char *typed;
        qint64 fileFormat;
        const char *written;
    } cases[] = {
        {"/out/wrongext.png", 0, "/out/wrongext.jpg"}, // another picture type's extension is replaced
        {"/out/shot.JPG", 0, "/out/shot.JPG"}, // the type's own extensions stay as typed
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

    const std::pair<const char *, int> batch[] = {{"/a/one.png", 0}, {"/b/two.jpeg", 1}, {"/a/three.tif", 2},
                                                  {"/a/holiday.tar.gif", 0}, {"/a/noext", 0}, {"/a/.hidden", 0}, {"/a/x.png", 9}};
    QStringList names;
    for (const auto &[source, fileFormat] : batch)
        names << batchOutputName(source, fileFormat);
    // ".hidden.jpg", not ".jpg", which every such picture would share.
    EXPECT_EQ(names, QStringList({"one.jpg", "two.png", "three.tiff", "holiday.tar.jpg", "noext.jpg", ".hidden.jpg", "x"}));
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
        {"lock on, portrait", locked, {200, 300}, {200, 300}, {150, 225}},
        {"lock on, a half rounds away from zero", {QSizeF(3, 1), true}, {200, 100}, {200, 100}, {3, 2}},
        {"lock on, points not pixels", {QSizeF(100, 1), true}, {1000, 500}, {2000, 500}, {100, 50}},
        {"lock on, no proportions", locked, {0, 300}, {0, 300}, {150, 100}},
        {"box, landscape meets the width", box, {6028, 3391}, {6028, 3391}, {800, 450}},
        {"box, portrait meets the height", box, {3391, 6028}, {3391, 6028}, {338, 600}},
        {"box, the lock plays no part", {QSizeF(800, 600), true, true}, {3391, 6028}, {3391, 6028}, {338, 600}},
        {"box, rounded as the lock rounds", {QSizeF(3, 10), false, true}, {200, 100}, {200, 100}, {3, 2}},
        {"box, a sliver keeps one pixel", box, {100000, 10}, {100000, 10}, {800, 1}},
        {"box without area: the fields", {QSizeF(0, 600), false, true}, {400, 300}, {400, 300}, {0, 600}},
        {"never enlarge, a smaller picture keeps its size", boxNeverEnlarge, {300, 400}, {300, 400}, {300, 400}},
        {"never enlarge, larger on one side is fitted", boxNeverEnlarge, {900, 300}, {900, 300}, {800, 267}},
        {"never enlarge, its pixels, not its points", boxNeverEnlarge, {200, 150}, {400, 300}, {400, 300}},
        {"never enlarge, a drawing keeps its points", boxNeverEnlarge, {300.7, 200.2}, {0, 0}, {300, 200}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(batchOutputSize(c.rule, c.points, c.pixels), c.size) << c.name;
}

TEST(SavingRules, AFormatTakesTheBaseAdjustmentsAndIsMeasuredFromTheBaseOutputOrTheSource)
{
    const QVariantMap base{{"scalemode", 0}, {"resamplemode", 1}, {"xabs", 600.0f}, {"yabs", 400.0f}, {"quality", 0.8f},
                           {"sharpen", 0.3f}, {"saturation", 1.1f}, {"brightness", 0.1f}, {"exposure", 0.2f}, {"contrast", 0.9f},
                           {"vibrance", 0.4f}, {"temperature", 12.5f}, {"filter", 2}, {"filterintensity", 1.0f}};
    const QVariantMap prepared = prepareFormatSettings(record("@2x"), base, QSizeF(600, 400), QSizeF(1000, 500));
    for (const char *key : {"quality", "sharpen", "saturation", "brightness", "exposure", "contrast", "vibrance", "temperature", "filter",
                            "filterintensity"})
        EXPECT_EQ(prepared[key], base[key]) << key;
    EXPECT_EQ(prepared["fillcolour"].toInt(), 2);
    EXPECT_EQ(prepared["resamplemode"].toInt(), 0);
    EXPECT_EQ(prepareFormatSettings(record("@2x", {{"resamplemode", 3}}), base, {}, {})["resamplemode"].toInt(), 1) << "as the base";

    const QVariantMap longest = record("-300", {{"scalemode", 2}, {"maxeither", "300"}});
    const struct {
        const char *name;
        QVariantMap format;
        QSizeF base, size; // the source is 1000 x 500 points
    } cases[] = {
        {"half the source", record("-half", {{"relativeto", 0}, {"xratio", "0.5"}, {"yratio", "0.5"}}), {600, 400}, {500, 250}},
        {"longest side, landscape", longest, {600, 400}, {300, 200}},
        {"longest side, portrait", longest, {400, 600}, {200, 300}},
        {"longest side, no base output", longest, {500, 0}, {0, 0}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatOutputSize(prepareFormatSettings(c.format, base, c.base, QSizeF(1000, 500))), c.size) << c.name;
}

// The wording is the window's own; what matters is that each output is named with its reason.
TEST(SavingRules, TheTextsAfterASaveSayWhatWasWrittenWhereWhatWasNotAndWhy)
{
    const UnwrittenOutput made{"/out/photo.jpg", "could not be made"}, elsewhere{"/other/pic.jpg", "is read-only"},
        heavy{"/out/big.jpg", "is 140 kB"};
    EXPECT_EQ((SaveSummary{0, "/out", SaveSummary::Ending::Completed, 0, 0, "", {}, {}}).text(), "Saved no files to /out");
    // Outputs in other folders are named by their paths; the window's message ends with the alert's text.
    const SaveSummary summary{4, "/out", SaveSummary::Ending::Completed, 0, 0, "", {made, elsewhere}, {heavy, heavy}};
    const UnwrittenOutputs::Alert alert = UnwrittenOutputs::afterSaveAlert(summary.unwritten, summary.overBudget);
    EXPECT_EQ(alert.title, "Files Not Saved");
    EXPECT_EQ(summary.text(), "Saved 4 files to /out\n\nThese 2 files could not be saved:\n\n/out/photo.jpg could not be made\n"
                              "/other/pic.jpg is read-only\n\nThese 2 files in /out were saved larger than the budget:\n\n"
                              "big.jpg is 140 kB\nbig.jpg is 140 kB");
    EXPECT_TRUE(summary.text().endsWith("\n\n" + alert.text));
    EXPECT_EQ(UnwrittenOutputs::afterSaveAlert({}, {heavy}).title, "Files Over Budget");
    // A long list is cut, and the rest counted, for outputs as for arriving files.
    const QStringList lines = UnwrittenOutputs::alertText(std::vector(UnwrittenOutputs::kListed + 3, made)).split('\n');
    EXPECT_EQ(lines.size(), 2 + UnwrittenOutputs::kListed + 1);
    EXPECT_EQ(lines.last(), "and 3 more, each named in the log");
    const PictureArrival::Unreadable empty{"/in/empty.png", "the file is empty"}, other{"/other/x.png", "the file is empty"};
    EXPECT_EQ(PictureArrival::unreadableText({empty, other}),
              "These 2 files could not be read as pictures:\n/in/empty.png: the file is empty\n/other/x.png: the file is empty");
    EXPECT_EQ(PictureArrival::unreadableText(std::vector(UnwrittenOutputs::kListed + 2, empty)).split('\n').last(),
              "and 2 more, each named in the log");
}

} // namespace
