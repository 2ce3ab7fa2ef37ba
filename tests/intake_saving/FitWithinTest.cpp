// Fitting each picture within the box, by the preview, the single save and the batch, with
// the formats measured from the base output; "Never enlarge" keeps a smaller picture's size.

#include "WindowFixture.h"
#include "QP_ImageView.h"
#include "SaveAll.h"

namespace {

using FitWithinTest = WindowFixture;

TEST_F(FitWithinTest, EachPictureTakesTheLargestSizeOfItsProportionsWithinTheBoxByEveryRoad)
{
    UserDefaults::standard().setIntegerForKey(0, PrefKey::makeDirectoryForBatch);
    const QStringList names = {"land", "tall", "square"};
    const QStringList pictures = {writePicture("in/land.png", 640, 360), writePicture("in/tall.png", 360, 640),
                                  writePicture("in/square.png", 500, 500)};
    // Both follow the base output: twice its size, and its proportions at 480 on the longest side.
    storeFormats({twice(), format("-480", 2, {{"maxeither", "480"}})});
    EXPECT_FALSE(controller->neverEnlargeCheckBox->isEnabled()) << "it means nothing without fitting";
    controller->fitWithinCheckBox->click();
    // The lock would change the box to the picture's proportions: it has no say while fitting.
    EXPECT_FALSE(controller->constrain->isEnabled());
    EXPECT_FALSE(controller->cropControls->isVisibleTo(controller->uiWindow));
    const int format = SaveAll::kFormatUpscaled, both = SaveAll::kFormatUpscaled | SaveAll::kBaseUpscaled;
    const struct {
        QSize box;
        bool neverEnlarge;
        QSize sizes[3][3]; // of each picture: base, 2x, 480 on the longest side
        int scaledUp[3];
    } cases[] = {
        {{320, 240}, false, {{{320, 180}, {640, 360}, {480, 270}}, {{135, 240}, {270, 480}, {270, 480}}, {{240, 240}, {480, 480}, {480, 480}}},
         {0, 0, 0}},
        {{800, 576}, false, {{{800, 450}, {1600, 900}, {480, 270}}, {{324, 576}, {648, 1152}, {270, 480}}, {{576, 576}, {1152, 1152}, {480, 480}}},
         {both, format, both}},
        {{800, 576}, true, {{{640, 360}, {1280, 720}, {480, 270}}, {{324, 576}, {648, 1152}, {270, 480}}, {{500, 500}, {1000, 1000}, {480, 480}}},
         {format, format, format}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 x %2, never enlarge %3").arg(c.box.width()).arg(c.box.height()).arg(c.neverEnlarge).toStdString());
        if (controller->neverEnlargeCheckBox->isChecked() != c.neverEnlarge)
            controller->neverEnlargeCheckBox->click();
        setSize(c.box.width(), c.box.height());
        controller->handleControl(controller->sizeFieldW);
        const QString folder = path(QStringLiteral("%1-%2/").arg(c.box.width()).arg(c.neverEnlarge));
        auto expectOutputs = [&](const QString &base, const QSize (&sizes)[3]) {
            EXPECT_EQ(pixelSize(base + ".jpg"), sizes[0]) << base.toStdString();
            EXPECT_EQ(pixelSize(base + "@2x.jpg"), sizes[1]) << base.toStdString();
            EXPECT_EQ(pixelSize(base + "-480.jpg"), sizes[2]) << base.toStdString();
        };
        for (int i = 0; i < 3; ++i) {
            const QSize base = c.sizes[i][0];
            ASSERT_TRUE(controller->applicationOpenFile(pictures[i]));
            EXPECT_EQ(controller->sizeFieldH->text(), QString::number(c.box.height())) << "the box stays as typed";
            EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), QSizeF(base));
            EXPECT_EQ(pixelSize(AppPaths::supportFolder() + "/tempImage.jpg"), base);
            EXPECT_EQ(controller->fitSizeLabel->text(), QStringLiteral("%1 × %2 px").arg(base.width()).arg(base.height()));
            saveTo(folder + "single/" + names[i] + ".jpg");
            expectOutputs(folder + "single/" + names[i], c.sizes[i]);
            EXPECT_EQ(controller->scaledUp, c.scaledUp[i]) << names[i].toStdString();
            controller->closeScaledUpSheet();
        }
        controller->multipleImagesProvided(pictures);
        saveTo(folder + "batch");
        for (int i = 0; i < 3; ++i)
            expectOutputs(folder + "batch/" + names[i], c.sizes[i]);
        EXPECT_EQ(controller->scaledUp, c.scaledUp[0] | c.scaledUp[1] | c.scaledUp[2]);
        EXPECT_EQ(controller->sizeFieldW->text(), QString::number(c.box.width())) << "the batch leaves the box as it was";
        EXPECT_EQ(controller->sizeFieldH->text(), QString::number(c.box.height()));
        controller->closeScaledUpSheet();
    }

    controller->fitWithinCheckBox->click();
    EXPECT_TRUE(controller->constrain->isEnabled());
}

} // namespace
