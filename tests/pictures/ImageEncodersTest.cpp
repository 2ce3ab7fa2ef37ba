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

std::shared_ptr<PixelBuffer> noise(int width, int height)
{
    auto buffer = PixelBuffer::create(width, height, 3, 8);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < buffer->stride; ++i) {
            state = state * 1664525u + 1013904223u;
            buffer->row(y)[i] = uint8_t(state >> 24);
        }
    return buffer;
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

TEST(ImageEncoders, JpegRoundTripKeepsSizeAndColours)
{
    auto pixels = gradient(40, 30, 3);
    const QByteArray jpeg = encodeImage(*pixels, ImageEncoding::JPEG, 0.95f);
    ASSERT_FALSE(jpeg.isEmpty());
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8\xFF"));
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
}

TEST(ImageEncoders, JpegQualityDrivesSizeAndChromaSubsampling)
{
    auto pixels = noise(64, 64);
    const QByteArray low = encodeImage(*pixels, ImageEncoding::JPEG, 0.2f);
    const QByteArray high = encodeImage(*pixels, ImageEncoding::JPEG, 0.9f);
    ASSERT_FALSE(low.isEmpty());
    ASSERT_FALSE(high.isEmpty());
    EXPECT_LT(low.size() * 2, high.size());
    EXPECT_EQ(lumaSampling(low), 0x22);  // 4:2:0
    EXPECT_EQ(lumaSampling(high), 0x11); // 4:4:4
    EXPECT_EQ(lumaSampling(encodeImage(*pixels, ImageEncoding::JPEG, 0.89f)), 0x22);
}

TEST(ImageEncoders, JpegFlattensAlphaOverWhiteAndNarrowsSixteenBits)
{
    // Left half: transparent red (must become white). Right half: half-opaque black.
    auto pixels = TestPictures::make(16, 16, 4, 16, [](int x, int, uint16_t *o) {
        o[0] = x < 8 ? 65535 : 0;
        o[1] = o[2] = 0;
        o[3] = x < 8 ? 0 : 32768;
    });
    const QByteArray jpeg = encodeImage(*pixels, ImageEncoding::JPEG, 1.0f);
    const QImage image = QImage::fromData(jpeg);
    ASSERT_EQ(image.size(), QSize(16, 16));
    const QRgb white = image.pixel(2, 8);
    const QRgb grey = image.pixel(13, 8);
    EXPECT_GE(qRed(white), 250);
    EXPECT_GE(qGreen(white), 250);
    EXPECT_NEAR(qRed(grey), 127, 3);
    EXPECT_NEAR(qBlue(grey), 127, 3);
}

TEST(ImageEncoders, PngKeepsAlphaSixteenBitsAndGreyExactlyAndIsTaggedSrgb)
{
    auto pixels = gradient(33, 17, 4);
    const QByteArray png = encodeImage(*pixels, ImageEncoding::PNG, 0.0f);
    ASSERT_TRUE(png.startsWith("\x89PNG"));
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
    EXPECT_EQ(reinterpret_cast<const uint16_t *>(deepImage.constScanLine(4))[4 * 4 + 1], reinterpret_cast<const uint16_t *>(deep->row(4))[4 * 3 + 1]);
    auto grey = gradient(6, 6, 1);
    const QImage greyImage = QImage::fromData(encodeImage(*grey, ImageEncoding::PNG, 1.0f));
    EXPECT_TRUE(greyImage.isGrayscale());
    EXPECT_EQ(qGray(greyImage.pixel(5, 2)), grey->row(2)[5]);
}

TEST(ImageEncoders, TiffIsLzwWithAlphaAndProfile)
{
    auto pixels = gradient(21, 13, 4);
    const QByteArray tiffBytes = encodeImage(*pixels, ImageEncoding::TIFF, 1.0f);
    ASSERT_FALSE(tiffBytes.isEmpty());
    TiffStream stream(&tiffBytes);
    TIFF *tiff = stream.open("r", 0);
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0, height = 0;
    uint16_t compression = 0, samples = 0, extraCount = 0;
    uint16_t *extra = nullptr;
    uint32_t profileSize = 0;
    void *profile = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    EXPECT_EQ(width, 21u);
    EXPECT_EQ(height, 13u);
    EXPECT_EQ(compression, COMPRESSION_LZW);
    EXPECT_EQ(samples, 4);
    ASSERT_EQ(extraCount, 1);
    EXPECT_EQ(extra[0], EXTRASAMPLE_UNASSALPHA);
    EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileSize, &profile));
    EXPECT_GT(profileSize, 100u);
    EXPECT_FALSE(TIFFGetField(tiff, TIFFTAG_EXIFIFD, &profileSize));
    std::vector<uint8_t> row(size_t(TIFFScanlineSize(tiff)));
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
    auto pixels = gradient(4, 4, 3);
    EXPECT_TRUE(encodeImage(*pixels, ImageEncoding::None, 1.0f).isEmpty());
    EXPECT_EQ(log.messages().size(), 2);
}

TEST(OutputFileTypeTable, EachValueMeansTheSameEverywhere)
{
    struct Row {
        qint64 value;
        ImageEncoding encoding;
        const char *name, *tempFile, *extension;
        QStringList savePanel;
        bool lossy;
    };
    const Row rows[] = {
        {0, ImageEncoding::JPEG, "jpeg", "tempImage.jpg", "jpg", {"jpg", "jpeg"}, true},
        {1, ImageEncoding::PNG, "png", "tempImage.png", "png", {"png"}, false},
        {2, ImageEncoding::TIFF, "tiff", "tempImage.tiff", "tiff", {"tiff", "tif"}, false}, // never "tif"
        {3, ImageEncoding::WebP, "webp", "tempImage.webp", "webp", {"webp"}, true},
        {4, ImageEncoding::AVIF, "avif", "tempImage.avif", "avif", {"avif"}, true},
        // Any other value: nothing is encoded, and the jpg temp file is the one looked for.
        {7, ImageEncoding::None, "", "tempImage.jpg", "", {}, false},
        {-1, ImageEncoding::None, "", "tempImage.jpg", "", {}, false},
    };
    for (const Row &row : rows) {
        const OutputFileType type = outputFileTypeFor(row.value);
        EXPECT_EQ(type.encoding, row.encoding) << row.value;
        EXPECT_EQ(type.name, QLatin1String(row.name)) << row.value;
        EXPECT_EQ(type.tempFileName, QLatin1String(row.tempFile)) << row.value;
        EXPECT_TRUE(tempPreviewPath(row.value).endsWith(QStringLiteral("/Quillpane/") + row.tempFile)) << row.value;
        EXPECT_EQ(type.batchExtension, QLatin1String(row.extension)) << row.value;
        EXPECT_EQ(type.savePanelTypes, row.savePanel) << row.value;
        EXPECT_EQ(type.qualityEnabled, row.lossy) << row.value;
        EXPECT_EQ(outputFileTypeValues().contains(row.value), row.encoding != ImageEncoding::None) << row.value;
    }
}
