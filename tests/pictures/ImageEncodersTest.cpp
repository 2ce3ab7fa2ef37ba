// JPEG, PNG and TIFF outputs read back by Qt and by libtiff, not by this program's decoders.

#include "ImageEncoders.h"
#include "Log.h"
#include "TestPictures.h"
#include "TiffStream.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

std::shared_ptr<PixelBuffer> gradient(int width, int height, int channels, int bits = 8)
{
    return TestPictures::make(width, height, channels, bits, [=](int x, int y, uint16_t *o) {
        for (int c = 0; c < channels; ++c) {
            const int v = (x * 255 / std::max(1, width - 1) + c * 60 + y * 3) % 256;
            o[c] = uint16_t(bits == 8 ? v : v * 257 + c);
        }
    });
}

// The sampling factors of the first component in a JPEG's frame header.
int lumaSampling(const QByteArray &jpeg)
{
    for (qsizetype i = 2; i + 12 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && (uchar(jpeg[i + 1]) == 0xC0 || uchar(jpeg[i + 1]) == 0xC2))
            return uchar(jpeg[i + 11]);
    return -1;
}

} // namespace

TEST(ImageEncoders, JpegKeepsSizeAndColoursFlattensAlphaOverWhiteAndSubsamplesBelowTheTop)
{
    auto pixels = gradient(40, 30, 3);
    const QByteArray jpeg = encodeImage(*pixels, ImageEncoding::JPEG, 0.95f);
    EXPECT_TRUE(jpeg.contains("ICC_PROFILE"));
    EXPECT_FALSE(jpeg.contains("Exif"));
    const QImage image = QImage::fromData(jpeg).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(image.size(), QSize(40, 30));
    // The gradient wraps from 255 to 0, a hard edge that rings; the mean must stay tight.
    double total = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40 * 3; ++x)
            total += std::abs(int(image.constScanLine(y)[x]) - int(pixels->row(y)[x]));
    EXPECT_LE(total / (40 * 30 * 3), 2.0);

    // Left half transparent red, right half half-opaque black, at 16 bits.
    auto alpha = TestPictures::make(16, 16, 4, 16, [](int x, int, uint16_t *o) {
        o[0] = x < 8 ? 65535 : 0;
        o[1] = o[2] = 0;
        o[3] = x < 8 ? 0 : 32768;
    });
    const QImage flattened = QImage::fromData(encodeImage(*alpha, ImageEncoding::JPEG, 1.0f));
    ASSERT_EQ(flattened.size(), QSize(16, 16));
    EXPECT_GE(qGreen(flattened.pixel(2, 8)), 250); // white, not red
    EXPECT_NEAR(qRed(flattened.pixel(13, 8)), 127, 3);
    EXPECT_NEAR(qBlue(flattened.pixel(13, 8)), 127, 3);

    const auto photo = TestPictures::photo(64, 64);
    EXPECT_LT(encodeImage(*photo, ImageEncoding::JPEG, 0.2f).size() * 2, encodeImage(*photo, ImageEncoding::JPEG, 0.9f).size());
    EXPECT_EQ(lumaSampling(encodeImage(*photo, ImageEncoding::JPEG, 0.89f)), 0x22); // 4:2:0
    EXPECT_EQ(lumaSampling(encodeImage(*photo, ImageEncoding::JPEG, 0.9f)), 0x11);  // 4:4:4
}

TEST(ImageEncoders, PngKeepsAlphaSixteenBitsAndGreyExactlyAndIsTaggedSrgb)
{
    auto pixels = gradient(33, 17, 4);
    const QByteArray png = encodeImage(*pixels, ImageEncoding::PNG, 0.0f);
    EXPECT_TRUE(png.contains("sRGB"));
    EXPECT_FALSE(png.contains("eXIf"));
    const QImage image = QImage::fromData(png).convertToFormat(QImage::Format_RGBA8888);
    ASSERT_EQ(image.size(), QSize(33, 17));
    for (int y = 0; y < 17; ++y)
        ASSERT_EQ(0, std::memcmp(image.constScanLine(y), pixels->row(y), 33 * 4)) << "row " << y;

    auto deep = gradient(9, 5, 3, 16);
    const QImage deepImage = QImage::fromData(encodeImage(*deep, ImageEncoding::PNG, 1.0f)).convertToFormat(QImage::Format_RGBX64);
    ASSERT_EQ(deepImage.size(), QSize(9, 5));
    // Green of pixel 4, all 16 bits kept.
    EXPECT_EQ(reinterpret_cast<const uint16_t *>(deepImage.constScanLine(4))[4 * 4 + 1],
              reinterpret_cast<const uint16_t *>(deep->row(4))[4 * 3 + 1]);
    auto grey = gradient(6, 6, 1);
    const QImage greyImage = QImage::fromData(encodeImage(*grey, ImageEncoding::PNG, 1.0f));
    EXPECT_TRUE(greyImage.isGrayscale());
    EXPECT_EQ(qGray(greyImage.pixel(5, 2)), grey->row(2)[5]);
}

TEST(ImageEncoders, TiffIsLzwWithAlphaAndProfile)
{
    auto pixels = gradient(21, 13, 4);
    const QByteArray tiffBytes = encodeImage(*pixels, ImageEncoding::TIFF, 1.0f);
    TiffStream stream(&tiffBytes);
    TIFF *tiff = stream.open("r", 0);
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0, height = 0, profileSize = 0;
    uint16_t compression = 0, extraCount = 0, *extra = nullptr;
    void *profile = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    EXPECT_EQ(QSize(int(width), int(height)), QSize(21, 13));
    EXPECT_EQ(compression, COMPRESSION_LZW);
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount == 1);
    EXPECT_EQ(extra[0], EXTRASAMPLE_UNASSALPHA);
    EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileSize, &profile) && profileSize > 100u);
    ASSERT_EQ(TIFFScanlineSize(tiff), 21 * 4);
    std::vector<uint8_t> row(21 * 4);
    for (uint32_t y = 0; y < height; ++y) {
        ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1);
        ASSERT_EQ(0, std::memcmp(row.data(), pixels->row(int(y)), 21 * 4)) << "row " << y;
    }
}

TEST(ImageEncoders, RefusesNothingToEncodeWithALogLine)
{
    LogCapture log;
    PixelBuffer empty;
    EXPECT_TRUE(encodeImage(empty, ImageEncoding::PNG, 1.0f).isEmpty());
    EXPECT_TRUE(encodeImage(*gradient(4, 4, 3), ImageEncoding::None, 1.0f).isEmpty());
    EXPECT_EQ(log.messages().size(), 2);
}

// The stored output type values keep their meaning; any other encodes nothing.
TEST(OutputFileTypeTable, StoredValuesKeepTheirMeaning)
{
    using enum ImageEncoding;
    const std::tuple<qint64, ImageEncoding, const char *, const char *> rows[] = {
        {0, JPEG, "tempImage.jpg", "jpg"}, {1, PNG, "tempImage.png", "png"}, {2, TIFF, "tempImage.tiff", "tiff"},
        {3, WebP, "tempImage.webp", "webp"}, {4, AVIF, "tempImage.avif", "avif"}, {7, None, "tempImage.jpg", ""},
        {-1, None, "tempImage.jpg", ""}};
    for (const auto &[value, encoding, tempFile, extension] : rows) {
        const OutputFileType type = outputFileTypeFor(value);
        EXPECT_EQ(type.encoding, encoding) << value;
        EXPECT_TRUE(tempPreviewPath(value).endsWith(QStringLiteral("/Quillpane/") + tempFile)) << value;
        EXPECT_EQ(type.batchExtension, QLatin1String(extension)) << value;
        EXPECT_EQ(type.qualityEnabled, qualityScaleFor(encoding).hasSteps()) << value;
        EXPECT_EQ(outputFileTypeValues().contains(value), encoding != None) << value;
    }
    EXPECT_EQ(outputFileTypeFor(0).savePanelTypes, QStringList({"jpg", "jpeg"}));
}
