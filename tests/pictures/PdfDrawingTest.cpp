// PDF pages are drawn by the helper program in a child process: what it draws, what it
// refuses, and that a page past its limits ends in a log line and no pixels.

#include "EncodedImageReps.h"
#include "Log.h"
#include "Picture.h"
#include "PictureLimits.h"
#include "TestPictures.h"

#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

class PdfDrawing : public ::testing::Test {
protected:
    void TearDown() override
    {
        PdfImageRep::setHelperPath({});
        PdfImageRep::setMemoryMarginMb(0);
        PdfImageRep::setTimeLimit(PictureLimits::pdfPageSeconds);
    }

    std::shared_ptr<const ImageRep> page(const QByteArray &pdf)
    {
        picture = Picture::fromData(pdf);
        if (!picture)
            return nullptr;
        return picture->representations().front();
    }

    std::shared_ptr<const Picture> picture;
};

} // namespace

// Without a helper, or with one that draws nothing, only a kept drawing can come back.
TEST_F(PdfDrawing, AMissingHelperIsALogLineAndOnlyTheLastSmallDrawingIsKept)
{
    ASSERT_TRUE(QFileInfo(PdfImageRep::helperPath()).isExecutable()) << qPrintable(PdfImageRep::helperPath());
    const auto rep = page(TestPictures::bytes("pdf.pdf"));
    ASSERT_TRUE(rep);
    const auto first = rep->render(60, 40);
    const auto large = rep->render(2500, 2000); // too large to keep
    ASSERT_TRUE(first && large);
    PdfImageRep::setHelperPath(QStringLiteral("/nonexistent/quillpane-pdf-draw"));
    EXPECT_EQ(rep->render(60, 40), first);
    LogCapture log;
    EXPECT_FALSE(rep->render(2500, 2000));
    EXPECT_FALSE(rep->render(30, 20));
    ASSERT_EQ(log.messages().size(), 2);
    EXPECT_EQ(log.messages()[1], "Unable to draw a PDF page at 30 x 20 pixels (page 1 of data): the drawing program "
                                 "/nonexistent/quillpane-pdf-draw is missing");
    PdfImageRep::setHelperPath(QStringLiteral("/bin/true"));
    EXPECT_FALSE(rep->render(30, 20));
    ASSERT_EQ(log.messages().size(), 3);
    EXPECT_TRUE(log.messages()[2].endsWith("the drawing program wrote 0 bytes instead of 1800")) << qPrintable(log.messages()[2]);
}

// Poppler's memory and time grow with the points of a path: one of 300,000 needs far more than 64 MB beyond
// the pixels, and many processor seconds.
TEST_F(PdfDrawing, APageStoppedAtItsLimitIsNamedInTheLog)
{
    const auto heavy = page(TestPictures::bytes("pdf-path-of-300000-points.pdf"));
    ASSERT_TRUE(heavy);
    PdfImageRep::setMemoryMarginMb(64);
    LogCapture log;
    EXPECT_FALSE(heavy->render(500, 500));
    PdfImageRep::setMemoryMarginMb(0);
    PdfImageRep::setTimeLimit(1);
    EXPECT_FALSE(heavy->render(500, 500));
    ASSERT_EQ(log.messages().size(), 2);
    EXPECT_EQ(log.messages()[0], "Unable to draw a PDF page at 500 x 500 pixels (page 1 of data): it needs more than 66 MB "
                                 "of memory to draw (memory limit)");
    EXPECT_TRUE(log.messages()[1].endsWith("(time limit)")) << qPrintable(log.messages()[1]);
}

// The helper on its own: bytes on standard input, pixels on standard output, and nothing
// but an exit status for what it cannot draw.
TEST_F(PdfDrawing, TheHelperReadsStandardInputAndWritesOnlyPixels)
{
    auto run = [](const QStringList &arguments, const QByteArray &input) {
        QProcess helper;
        helper.start(PdfImageRep::helperPath(), arguments);
        helper.write(input);
        helper.closeWriteChannel();
        EXPECT_TRUE(helper.waitForFinished(30000));
        return std::pair{helper.exitCode(), helper.readAllStandardOutput()};
    };
    const auto [drawn, pixels] = run({"4", "2"}, TestPictures::bytes("pdf.pdf"));
    EXPECT_EQ(drawn, 0);
    EXPECT_EQ(pixels.toHex(), "ff0000ff0000" "0000ff0000ff" "ff0000ff0000" "0000ff0000ff");
    for (const QStringList &wrong : {QStringList{"4", "65536"}, QStringList{"--seconds", "-1", "4", "2"}})
        EXPECT_EQ(run(wrong, TestPictures::bytes("pdf.pdf")), std::pair(2, QByteArray())) << qPrintable(wrong.join(' '));
    EXPECT_EQ(run({"4", "2", "-"}, "%PDF-1.4\nnot really\n"), std::pair(4, QByteArray()));
}
