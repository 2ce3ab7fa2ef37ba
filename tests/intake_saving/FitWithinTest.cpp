// Fitting each picture within the box, by the preview, the single save and the batch, with
// the formats measured from the base output; "Never enlarge" keeps a smaller picture's size.

#include "WindowFixture.h"
#include "QP_ImageView.h"
#include "SaveAll.h"

#include <QWindow>

namespace {

struct Expected {
    const char *file;
    QSize base, twice, longest;
};

class FitWithinTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        UserDefaults::standard().setIntegerForKey(0, PrefKey::makeDirectoryForBatch);
        for (const auto &[name, size] : {std::pair{"land.png", QSize(640, 360)}, {"tall.png", QSize(360, 640)}, {"square.png", QSize(500, 500)}})
            pictures << writePicture(QStringLiteral("in/") + name, size.width(), size.height());
        // Both follow the base output: twice its size, and its proportions at 480 on the longest side.
        storeFormats({format("@2x", 1, {{"xratio", "2"}, {"yratio", "2"}}), format("-480", 2, {{"maxeither", "480"}})});
    }

    void fitWithin(int width, int height, bool neverEnlarge)
    {
        if (!controller->fitWithinCheckBox->isChecked())
            controller->fitWithinCheckBox->click();
        if (controller->neverEnlargeCheckBox->isChecked() != neverEnlarge)
            controller->neverEnlargeCheckBox->click();
        setSize(width, height);
        controller->handleControl(controller->sizeFieldW);
    }

    void expectOutputs(const QString &folder, const Expected &e)
    {
        const QString out = path(folder + e.file).replace(".png", ".jpg");
        EXPECT_EQ(pixelSize(out), e.base);
        EXPECT_EQ(pixelSize(QString(out).replace(".jpg", "@2x.jpg")), e.twice);
        EXPECT_EQ(pixelSize(QString(out).replace(".jpg", "-480.jpg")), e.longest);
    }

    // Each picture saved alone and then all of them as a batch, at the expected sizes.
    void expectEveryRoad(const std::vector<Expected> &expected, int scaledUp)
    {
        for (size_t i = 0; i < expected.size(); ++i) {
            const Expected &e = expected[i];
            SCOPED_TRACE(e.file);
            ASSERT_TRUE(controller->applicationOpenFile(pictures[int(i)]));
            EXPECT_EQ(controller->sizeFieldH->text(), QString::number(box.height())) << "the box stays as typed";
            EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), QSizeF(e.base));
            EXPECT_EQ(pixelSize(AppPaths::supportFolder() + "/tempImage.jpg"), e.base);
            EXPECT_EQ(controller->fitSizeLabel->text(), QStringLiteral("%1 × %2 px").arg(e.base.width()).arg(e.base.height()));
            QDir().mkpath(path("single"));
            presenter.choose({path(QStringLiteral("single/") + e.file).replace(".png", ".jpg")});
            controller->doit();
            expectOutputs("single/", e);
            EXPECT_EQ(controller->scaledUp, scaledUp);
            controller->closeScaledUpSheet();
        }

        controller->multipleImagesProvided(pictures);
        QDir().mkpath(path("batch"));
        presenter.choose({path("batch")});
        controller->doit();
        controller->waitForBatch();
        for (const Expected &e : expected) {
            SCOPED_TRACE(std::string("batch ") + e.file);
            expectOutputs("batch/", e);
        }
        EXPECT_EQ(controller->scaledUp, scaledUp);
        EXPECT_EQ(controller->sizeFieldW->text(), QString::number(box.width())) << "the batch leaves the box as it was";
        EXPECT_EQ(controller->sizeFieldH->text(), QString::number(box.height()));
    }

    QStringList pictures;
    QSize box;
};

TEST_F(FitWithinTest, EachPictureTakesTheLargestSizeOfItsProportionsWithinTheBox)
{
    box = QSize(320, 240);
    fitWithin(box.width(), box.height(), false);
    // The lock would change the box to the picture's proportions: it has no say while fitting.
    EXPECT_FALSE(controller->constrain->isEnabled());
    EXPECT_FALSE(controller->cropControls->isVisibleTo(controller->uiWindow));
    expectEveryRoad({{"land.png", {320, 180}, {640, 360}, {480, 270}},
                     {"tall.png", {135, 240}, {270, 480}, {270, 480}},
                     {"square.png", {240, 240}, {480, 480}, {480, 480}}},
                    0);

    // Off again, the fields are the size once more and the lock fits the height to the picture.
    controller->fitWithinCheckBox->click();
    EXPECT_TRUE(controller->constrain->isEnabled());
    EXPECT_EQ(controller->sizeFieldW->text(), "320");
    EXPECT_EQ(controller->sizeFieldH->text(), "180"); // the batch shows its first picture, 640 x 360, again
}

TEST_F(FitWithinTest, NeverEnlargeKeepsTheSizeOfASmallerPictureAndWarnsOnlyAboutTheFormats)
{
    box = QSize(800, 576);
    fitWithin(box.width(), box.height(), true);
    // Only the 2x format is larger than its picture: no base flag for the pictures kept at their size.
    expectEveryRoad({{"land.png", {640, 360}, {1280, 720}, {480, 270}},
                     {"tall.png", {324, 576}, {648, 1152}, {270, 480}},
                     {"square.png", {500, 500}, {1000, 1000}, {480, 480}}},
                    SaveAll::kFormatUpscaled);
    EXPECT_TRUE(controller->scaledUpWarningField->text().startsWith("One or more of the additional formats  has"));

    // Enlarging allowed, the smaller picture fills the box and the base flag says so.
    controller->neverEnlargeCheckBox->click();
    ASSERT_TRUE(controller->applicationOpenFile(pictures[0]));
    EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), QSizeF(800, 450));
    presenter.choose({path("single/enlarged.jpg")});
    controller->doit();
    EXPECT_EQ(pixelSize(path("single/enlarged.jpg")), QSize(800, 450));
    EXPECT_EQ(controller->scaledUp, SaveAll::kFormatUpscaled | SaveAll::kBaseUpscaled);
}

TEST_F(FitWithinTest, TheChoicesAreKeptAndStartOff)
{
    EXPECT_FALSE(controller->fitWithinCheckBox->isChecked());
    EXPECT_FALSE(controller->neverEnlargeCheckBox->isEnabled()) << "it means nothing without fitting";
    fitWithin(320, 240, true);
    EXPECT_TRUE(UserDefaults::standard().boolForKey(PrefKey::fitWithin));
    EXPECT_TRUE(UserDefaults::standard().boolForKey(PrefKey::neverEnlarge));

    controller.reset();
    controller = std::make_unique<ShrinkerController>();
    controller->awakeFromNib();
    controller->applicationDidFinishLaunching();
    EXPECT_TRUE(controller->fitWithinCheckBox->isChecked());
    EXPECT_TRUE(controller->neverEnlargeCheckBox->isChecked());
    EXPECT_TRUE(controller->neverEnlargeCheckBox->isEnabled());
    EXPECT_FALSE(controller->constrain->isEnabled());
}

} // namespace
