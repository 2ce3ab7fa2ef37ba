#include "WindowTestSupport.h"

#include "ImageWellArea.h"

class PreviewTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        launch();
        QTest::mouseClick(controller->constrain, Qt::LeftButton); // free proportions: the fields stay
    }
    void render(int width, int height)
    {
        controller->sizeFieldW->setText(QString::number(width));
        controller->sizeFieldH->setText(QString::number(height));
        controller->updateOutputImage();
    }
    // The preview file's pixels, its size in the label, and the well's picture in pixels and points.
    void expectShown(const QString &path, QSize pixels, QSizeF size)
    {
        const std::shared_ptr<const Picture> read = Picture::readFile(path); // TIFF too
        const QSize web = webPictureSize(path);
        EXPECT_EQ(web.isValid() ? web : read ? read->sourcePixelSize() : QSize(), pixels);
        EXPECT_EQ(controller->tfFileSize->text(), ShrinkerController::fileSizeText(QFileInfo(path).size()));
        EXPECT_EQ(controller->imageWell->image().size(), pixels);
        EXPECT_EQ(controller->imageWell->image().deviceIndependentSize(), size);
    }
};

TEST_F(PreviewTest, EachFileTypeRendersIntoItsOwnTempFileAtTheScreensDensity)
{
    // Before any picture nothing renders.
    controller->updateOutputImage();
    EXPECT_TRUE(controller->tfFileSize->text().isEmpty());
    EXPECT_EQ(controller->imageWell->property("namedImage"), QVariant(QStringLiteral("drop-files")));

    controller->inputImage = picture(300, 200);
    // Each type at its own width, so a preview left over from the type before shows.
    for (int type : {1, 2, 3, 4, 0}) {
        SCOPED_TRACE(type);
        const int width = 100 + 10 * type;
        defaults.setIntegerForKey(type, PrefKey::fileFormat);
        render(width, 80);
        expectShown(tempPreviewPath(type), QSize(width, 80), QSizeF(width, 80));
    }

    // The high-density override renders twice the pixels, shown at the same size.
    defaults.setIntegerForKey(0, PrefKey::fileFormat);
    defaults.setBoolForKey(true, PrefKey::retinaDisplay);
    render(400, 300);
    expectShown(tempPreviewPath(0), QSize(800, 600), QSizeF(400, 300));
}

// The preview fitted to the well or at 100 % with scrolling; either way the well holds the
// encoded output itself.
TEST_F(PreviewTest, FitShowsAllOfALargePreviewAndOneHundredPercentScrollsThroughIt)
{
    controller->uiWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->uiWindow));
    QScrollBar *across = controller->wellArea->horizontalScrollBar();
    QWidget *viewport = controller->wellArea->viewport();
    const auto visible = [&] { // the part of the picture the person sees
        const QPoint origin = controller->imageWell->mapTo(viewport, QPoint(0, 0));
        return controller->imageWell->imageRect().translated(origin).intersected(QRectF(viewport->rect()));
    };
    controller->inputImage = picture(1600, 1200);
    render(1500, 1000);
    const QSizeF whole = controller->imageWell->imageRect().size();
    ASSERT_LT(controller->imageWell->shownScale(), 1.0) << "fitted by default";
    EXPECT_EQ(visible().size(), whole) << "every part of it shows";

    QTest::keyClick(controller->uiWindow, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(controller->imageWell->imageRect().size(), QSizeF(1500, 1000));
    EXPECT_EQ(across->maximum(), 1500 - viewport->width());
    EXPECT_EQ(across->value(), across->maximum() / 2) << "it opens on the middle";
    // The encoded output, pixel for pixel, is what the well holds.
    EXPECT_EQ(controller->imageWell->image().toImage().convertToFormat(QImage::Format_RGB32),
              QImage(tempPreviewPath(0)).convertToFormat(QImage::Format_RGB32));

    // A smaller output shows at its own size in both modes, centred with no scrolling.
    render(200, 100);
    EXPECT_EQ(visible().size(), QSizeF(200, 100));
    QTest::keyClick(controller->uiWindow, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(controller->imageWell->shownScale(), 1.0) << "never enlarged to fit";
}

TEST_F(PreviewTest, TheTitleNamesThePictureAndItsPixelSize)
{
    controller->uiWindow->show();
    const struct {
        const char *name; // empty: a picture without a file
        QSize pixels;
        int dpi;
        const char *title;
    } cases[] = {
        // Pixels, not points; and no modified-mark placeholder.
        {"odd [*] name.png", {400, 200}, 144, "odd [*] name.png — 400 × 200"},
        {"", {64, 48}, 72, "Pasted picture — 64 × 48"},
    };
    for (const auto &c : cases) {
        QImage image(c.pixels, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        image.setDotsPerMeterX(qRound(c.dpi / 0.0254));
        image.setDotsPerMeterY(qRound(c.dpi / 0.0254));
        std::shared_ptr<const Picture> given = Picture::fromQImage(image);
        if (*c.name) {
            const QString file = folder.filePath(QString::fromUtf8(c.name));
            ASSERT_TRUE(image.save(file));
            given = Picture::readFile(file);
        }
        adopt(given);
        EXPECT_EQ(controller->uiWindow->windowHandle()->title(), QString::fromUtf8(c.title)) << c.name;
    }
}
