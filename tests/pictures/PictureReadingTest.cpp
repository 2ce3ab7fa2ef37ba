#include "ColorManagement.h"
#include "EncodedImageReps.h"
#include "Log.h"
#include "Picture.h"
#include "TestPictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <thread>
#include <tiffio.h>

namespace {

using TestPictures::JpegOptions;
using TestPictures::make;
using TestPictures::PngOptions;
using TestPictures::TiffPageSpec;

template <typename T, typename F>
T with(F fill)
{
    T value;
    fill(value);
    return value;
}

struct Rgba {
    int r, g, b, a;
};

Rgba at(const PixelBuffer &p, int x, int y)
{
    auto v = [&](int c) {
        return p.bitsPerChannel == 8 ? int(p.row(y)[x * p.channels + c])
                                     : int(reinterpret_cast<const uint16_t *>(p.row(y))[x * p.channels + c]);
    };
    if (p.channels <= 2)
        return {v(0), v(0), v(0), p.channels == 2 ? v(1) : (p.bitsPerChannel == 8 ? 255 : 65535)};
    return {v(0), v(1), v(2), p.channels == 4 ? v(3) : (p.bitsPerChannel == 8 ? 255 : 65535)};
}

void expectNear(Rgba got, Rgba want, int tolerance, const char *what)
{
    EXPECT_NEAR(got.r, want.r, tolerance) << what;
    EXPECT_NEAR(got.g, want.g, tolerance) << what;
    EXPECT_NEAR(got.b, want.b, tolerance) << what;
    EXPECT_NEAR(got.a, want.a, tolerance) << what;
}

bool samePixels(const PixelBuffer &a, const PixelBuffer &b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.bitsPerChannel != b.bitsPerChannel)
        return false;
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.row(y), b.row(y), size_t(a.width) * a.bytesPerPixel()) != 0)
            return false;
    return true;
}

std::shared_ptr<const PixelBuffer> onlyPixels(const QByteArray &bytes)
{
    auto picture = Picture::fromData(bytes);
    if (!picture || picture->representations().size() != 1)
        return nullptr;
    return picture->representations()[0]->pixels();
}

// A w x h picture of one colour (as many values as channels).
std::shared_ptr<PixelBuffer> flat(int width, int height, std::initializer_list<uint16_t> colour)
{
    return make(width, height, int(colour.size()), 8,
                [&colour](int, int, uint16_t *o) { std::copy(colour.begin(), colour.end(), o); });
}

// 48 x 32, the top-left 16 x 16 block red, the rest blue.
std::shared_ptr<PixelBuffer> markedCorner()
{
    return make(48, 32, 3, 8, [](int x, int y, uint16_t *o) {
        const bool mark = x < 16 && y < 16;
        o[0] = mark ? 255 : 0;
        o[1] = 0;
        o[2] = mark ? 0 : 255;
    });
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

// The sRGB values a float reference transform gives for an 8-bit colour in `profile`.
Rgba referenceSrgb(const QByteArray &profile, int r, int g, int b)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_DBL, out, TYPE_RGB_DBL, INTENT_PERCEPTUAL, 0);
    double src[3] = {r / 255.0, g / 255.0, b / 255.0}, dst[3];
    cmsDoTransform(t, src, dst, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    auto clamp = [](double v) { return int(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return {clamp(dst[0]), clamp(dst[1]), clamp(dst[2]), 255};
}

} // namespace

TEST(JpegDecoding, ColoursSizesAndResolution)
{
    auto source = make(16, 8, 3, 8, [](int x, int, uint16_t *o) {
        o[0] = x < 8 ? 220 : 20;
        o[1] = x < 8 ? 30 : 200;
        o[2] = 40;
    });
    auto pixels = onlyPixels(TestPictures::jpeg(*source));
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->width, 16);
    EXPECT_EQ(pixels->height, 8);
    EXPECT_EQ(pixels->channels, 3);
    expectNear(at(*pixels, 2, 4), {220, 30, 40, 255}, 6, "left");
    expectNear(at(*pixels, 13, 4), {20, 200, 40, 255}, 6, "right");

    // JFIF at 144 dpi halves the points; EXIF's resolution counts when JFIF gives none.
    TestPictures::JpegOptions jfif;
    jfif.jfifDpi = 144;
    auto fine = Picture::fromData(TestPictures::jpeg(*source, jfif));
    ASSERT_TRUE(fine);
    EXPECT_EQ(fine->size(), QSizeF(8, 4));
    EXPECT_EQ(fine->sourcePixelSize(), QSize(16, 8));
    TestPictures::JpegOptions exif;
    exif.exif = TestPictures::exif(1, 300);
    auto camera = Picture::fromData(TestPictures::jpeg(*source, exif));
    ASSERT_TRUE(camera);
    EXPECT_NEAR(camera->size().width(), 16 * 72.0 / 300, 1e-9);
    auto plain = Picture::fromData(TestPictures::jpeg(*source));
    EXPECT_EQ(plain->size(), QSizeF(16, 8));
}

TEST(JpegDecoding, EveryExifOrientationComesOutUpright)
{
    // Where the stored top-left block must end up, and whether the sides swap.
    struct Case {
        int orientation;
        bool right, bottom, swapped;
    };
    const Case cases[] = {{1, false, false, false}, {2, true, false, false}, {3, true, true, false}, {4, false, true, false},
                          {5, false, false, true},  {6, true, false, true},  {7, true, true, true},  {8, false, true, true}};
    QTemporaryDir dir;
    for (const Case &c : cases) {
        TestPictures::JpegOptions options;
        options.exif = TestPictures::exif(c.orientation, 144);
        const QByteArray bytes = TestPictures::jpeg(*markedCorner(), options);
        // Sizes are known before decoding, already turned.
        auto referenced = Picture::referenceFile(writeFile(dir, QStringLiteral("o%1.jpg").arg(c.orientation), bytes));
        ASSERT_TRUE(referenced);
        const QSize want = c.swapped ? QSize(32, 48) : QSize(48, 32);
        EXPECT_EQ(referenced->sourcePixelSize(), want) << c.orientation;
        EXPECT_EQ(referenced->size(), QSizeF(want) / 2) << c.orientation;
        auto pixels = referenced->representations()[0]->pixels();
        ASSERT_TRUE(pixels);
        ASSERT_EQ(QSize(pixels->width, pixels->height), want);
        const int x = c.right ? pixels->width - 4 : 3;
        const int y = c.bottom ? pixels->height - 4 : 3;
        EXPECT_GT(at(*pixels, x, y).r, 200) << "orientation " << c.orientation;
        EXPECT_LT(at(*pixels, pixels->width - 1 - x, pixels->height - 1 - y).r, 60) << "orientation " << c.orientation;
    }
}

TEST(JpegDecoding, ReducedDecodesShrinkInTheDct)
{
    TestPictures::JpegOptions options;
    options.exif = TestPictures::exif(6);
    options.progressive = true;
    auto picture = Picture::fromData(TestPictures::jpeg(*markedCorner(), options));
    ASSERT_TRUE(picture);
    const auto &rep = picture->representations()[0];
    auto half = rep->pixelsReduced(1);
    auto eighth = rep->pixelsReduced(3);
    ASSERT_TRUE(half && eighth);
    EXPECT_EQ(QSize(half->width, half->height), QSize(16, 24));
    EXPECT_EQ(QSize(eighth->width, eighth->height), QSize(4, 6));
    EXPECT_GT(at(*half, half->width - 2, 1).r, 200); // still upright: the mark is top right
    EXPECT_EQ(rep->pixelsReduced(1), half);         // kept, not decoded again
    EXPECT_EQ(rep->pixelsReduced(0), rep->pixels());

    // Codecs without a cheaper path give their full pixels.
    auto png = Picture::fromData(TestPictures::png(*markedCorner()));
    auto full = png->representations()[0]->pixelsReduced(2);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width, 48);
}

TEST(JpegDecoding, GreyAndCmyk)
{
    auto grey = flat(8, 8, {90});
    auto greyPixels = onlyPixels(TestPictures::jpeg(*grey));
    ASSERT_TRUE(greyPixels);
    EXPECT_EQ(greyPixels->channels, 1);
    EXPECT_NEAR(at(*greyPixels, 4, 4).r, 90, 2);

    // Full cyan ink on the left, full black ink on the right.
    auto ink = make(16, 8, 4, 8, [](int x, int, uint16_t *o) {
        o[0] = x < 8 ? 255 : 0;
        o[1] = 0;
        o[2] = 0;
        o[3] = x < 8 ? 0 : 255;
    });
    auto naive = onlyPixels(TestPictures::jpeg(*ink, with<JpegOptions>([&](auto &o) { o.cmyk = true; })));
    ASSERT_TRUE(naive);
    EXPECT_EQ(naive->channels, 3);
    expectNear(at(*naive, 2, 4), {0, 255, 255, 255}, 8, "naive cyan");
    expectNear(at(*naive, 13, 4), {0, 0, 0, 255}, 8, "naive black");

    QFile file(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "Ghostscript's CMYK profile is needed";
    const QByteArray cmykProfile = file.readAll();
    auto managed = onlyPixels(TestPictures::jpeg(*ink, with<JpegOptions>([&](auto &o) { o.cmyk = true; o.icc = cmykProfile; })));
    ASSERT_TRUE(managed);
    const Rgba cyan = at(*managed, 2, 4);
    // Printed cyan is far duller than the screen's: red stays low, green and blue are well below full.
    EXPECT_LT(cyan.r, 80);
    EXPECT_GT(cyan.b, 180);
    EXPECT_LT(cyan.g, 200);
    EXPECT_LT(at(*managed, 13, 4).g, 60);
}

TEST(ColourProfiles, WideGamutIsMovedIntoSrgbAndSrgbIsLeftAlone)
{
    auto colour = flat(8, 8, {200, 120, 90});
    const QByteArray p3 = TestPictures::displayP3Profile();
    const Rgba want = referenceSrgb(p3, 200, 120, 90);
    ASSERT_GT(want.r, 205); // the profile really moves this colour
    auto fromJpeg = onlyPixels(TestPictures::jpeg(*colour, with<JpegOptions>([&](auto &o) { o.quality = 100; o.icc = p3; })));
    ASSERT_TRUE(fromJpeg);
    expectNear(at(*fromJpeg, 4, 4), want, 3, "Display P3 JPEG");

    const QByteArray adobe = TestPictures::adobeRgbProfile();
    const Rgba wantAdobe = referenceSrgb(adobe, 200, 120, 90);
    auto fromPng = onlyPixels(TestPictures::png(*colour, with<PngOptions>([&](auto &o) { o.icc = adobe; })));
    ASSERT_TRUE(fromPng);
    expectNear(at(*fromPng, 4, 4), wantAdobe, 2, "Adobe RGB PNG");
    auto fromTiff = onlyPixels(TestPictures::tiff({with<TiffPageSpec>([&](auto &o) { o.pixels = colour; o.icc = adobe; })}));
    ASSERT_TRUE(fromTiff);
    expectNear(at(*fromTiff, 4, 4), wantAdobe, 2, "Adobe RGB TIFF");

    auto tagged = onlyPixels(TestPictures::png(*colour, with<PngOptions>([&](auto &o) { o.icc = srgbIccProfile(); })));
    ASSERT_TRUE(tagged);
    EXPECT_TRUE(samePixels(*tagged, *colour));
}

TEST(PngDecoding, PaletteGreyDeepAlphaInterlaced)
{
    auto rgba = make(7, 5, 4, 8, [](int x, int y, uint16_t *o) {
        o[0] = uint16_t(x * 30);
        o[1] = uint16_t(y * 50);
        o[2] = 77;
        o[3] = uint16_t(x == 0 ? 0 : 255 - y * 20);
    });
    for (bool interlaced : {false, true}) {
        auto plain = onlyPixels(TestPictures::png(*rgba, with<PngOptions>([&](auto &o) { o.interlaced = interlaced; })));
        ASSERT_TRUE(plain);
        EXPECT_TRUE(samePixels(*plain, *rgba)) << "interlaced " << interlaced;
        auto palette = onlyPixels(TestPictures::png(*rgba, with<PngOptions>([&](auto &o) { o.interlaced = interlaced; o.palette = true; })));
        ASSERT_TRUE(palette);
        EXPECT_TRUE(samePixels(*palette, *rgba)) << "palette, interlaced " << interlaced;
    }

    auto deep = make(5, 3, 3, 16, [](int x, int y, uint16_t *o) {
        o[0] = uint16_t(x * 12345);
        o[1] = uint16_t(y * 20001 + 1);
        o[2] = 65535;
    });
    auto deepPixels = onlyPixels(TestPictures::png(*deep));
    ASSERT_TRUE(deepPixels);
    EXPECT_TRUE(samePixels(*deepPixels, *deep));

    // 2-bit grey widens to 8 bits; a grey tRNS becomes an alpha channel.
    auto grey = make(6, 2, 1, 8, [](int x, int, uint16_t *o) { o[0] = uint16_t((x % 4) * 85); });
    auto packed = onlyPixels(TestPictures::png(*grey, with<PngOptions>([&](auto &o) { o.bitDepth = 2; })));
    ASSERT_TRUE(packed);
    EXPECT_EQ(packed->channels, 1);
    EXPECT_EQ(at(*packed, 2, 0).r, 170);
    auto keyed = onlyPixels(TestPictures::png(*grey, with<PngOptions>([&](auto &o) { o.transparentGrey = 85; })));
    ASSERT_TRUE(keyed);
    EXPECT_EQ(keyed->channels, 2);
    EXPECT_EQ(at(*keyed, 1, 0).a, 0);
    EXPECT_EQ(at(*keyed, 2, 0).a, 255);

    auto sharp = Picture::fromData(TestPictures::png(*grey, with<PngOptions>([&](auto &o) { o.dpi = 144; })));
    ASSERT_TRUE(sharp);
    EXPECT_NEAR(sharp->size().width(), 3.0, 0.01);
    EXPECT_NEAR(sharp->size().height(), 1.0, 0.01);
}

TEST(GifDecoding, FirstFrameWithTransparencyAndInterlace)
{
    const std::vector<uint8_t> colours = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    std::vector<uint8_t> indices(10 * 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            indices[size_t(y * 10 + x)] = uint8_t((x + y) % 3);
    for (bool interlaced : {false, true}) {
        auto pixels = onlyPixels(TestPictures::gif(10, 9, indices, colours, 2, interlaced));
        ASSERT_TRUE(pixels);
        ASSERT_EQ(pixels->channels, 4);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 10; ++x) {
                const int index = (x + y) % 3;
                const Rgba got = at(*pixels, x, y);
                if (index == 2) {
                    EXPECT_EQ(got.a, 0);
                } else {
                    EXPECT_EQ(got.a, 255);
                    EXPECT_EQ(got.r, index == 0 ? 255 : 0);
                    EXPECT_EQ(got.g, index == 1 ? 255 : 0);
                }
            }
    }
    auto opaque = onlyPixels(TestPictures::gif(10, 9, indices, colours));
    ASSERT_TRUE(opaque);
    EXPECT_EQ(opaque->channels, 3);
    EXPECT_EQ(at(*opaque, 2, 0).b, 255);
}

TEST(TiffDecoding, PagesLayoutsDepthsAndCompressions)
{
    auto rgb = make(40, 20, 3, 8, [](int x, int y, uint16_t *o) {
        o[0] = uint16_t(x * 6);
        o[1] = uint16_t(y * 12);
        o[2] = 99;
    });
    auto deepAlpha = make(37, 21, 4, 16, [](int x, int y, uint16_t *o) {
        o[0] = uint16_t(x * 1700);
        o[1] = uint16_t(y * 3000);
        o[2] = 4242;
        o[3] = uint16_t(x == 3 ? 0 : 65535 - y);
    });
    auto grey = make(9, 9, 1, 16, [](int x, int y, uint16_t *o) { o[0] = uint16_t(x * 7000 + y); });
    const QByteArray bytes = TestPictures::tiff({
        with<TiffPageSpec>([&](auto &o) { o.pixels = rgb; o.compression = COMPRESSION_LZW; o.dpi = 144; }),
        with<TiffPageSpec>([&](auto &o) { o.pixels = deepAlpha; o.compression = COMPRESSION_ADOBE_DEFLATE; o.tiled = true; }),
        with<TiffPageSpec>([&](auto &o) { o.pixels = grey; o.compression = COMPRESSION_NONE; }),
    });
    auto picture = Picture::fromData(bytes);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->representations().size(), 3u);
    EXPECT_EQ(picture->size(), QSizeF(20, 10)); // the first page's, at 144 dpi
    EXPECT_EQ(picture->sourcePixelSize(), QSize(9, 9)); // the last page
    EXPECT_EQ(picture->largestPixelSize(), QSize(40, 21));
    EXPECT_TRUE(samePixels(*picture->representations()[0]->pixels(), *rgb));
    EXPECT_TRUE(samePixels(*picture->representations()[1]->pixels(), *deepAlpha));
    EXPECT_TRUE(samePixels(*picture->representations()[2]->pixels(), *grey));

    auto jpegCompressed = onlyPixels(TestPictures::tiff({with<TiffPageSpec>([&](auto &o) { o.pixels = rgb; o.compression = COMPRESSION_JPEG; })}));
    ASSERT_TRUE(jpegCompressed);
    EXPECT_EQ(jpegCompressed->channels, 3);
    expectNear(at(*jpegCompressed, 20, 10), at(*rgb, 20, 10), 8, "JPEG in TIFF");
}

TEST(TiffDecoding, AssociatedAlphaOrientationAndCmyk)
{
    // Half-transparent pixels stored premultiplied come out straight.
    auto premultiplied = flat(4, 4, {100, 50, 0, 128});
    auto straight = onlyPixels(TestPictures::tiff({with<TiffPageSpec>([&](auto &o) { o.pixels = premultiplied; o.associatedAlpha = true; })}));
    ASSERT_TRUE(straight);
    expectNear(at(*straight, 1, 1), {199, 100, 0, 128}, 1, "unpremultiplied");

    auto turned = Picture::fromData(TestPictures::tiff({with<TiffPageSpec>([&](auto &o) { o.pixels = markedCorner(); o.orientation = 8; })}));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->sourcePixelSize(), QSize(32, 48));
    auto pixels = turned->representations()[0]->pixels();
    EXPECT_EQ(at(*pixels, 3, pixels->height - 4).r, 255); // top-left block now bottom-left

    auto ink = flat(4, 4, {0, 255, 0, 0});
    auto magenta = onlyPixels(TestPictures::tiff({with<TiffPageSpec>([&](auto &o) { o.pixels = ink; o.cmyk = true; })}));
    ASSERT_TRUE(magenta);
    expectNear(at(*magenta, 2, 2), {255, 0, 255, 255}, 2, "CMYK without profile");
}

TEST(VectorPictures, PdfPageSizeAndDrawing)
{
    auto picture = Picture::fromData(TestPictures::pdf(200, 100));
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->representations().size(), 1u);
    EXPECT_EQ(picture->size(), QSizeF(200, 100));
    EXPECT_EQ(picture->sourcePixelSize(), QSize(0, 0));
    EXPECT_EQ(picture->largestPixelSize(), QSize(0, 0));
    const auto &rep = picture->representations()[0];
    EXPECT_FALSE(rep->pixels());
    auto drawn = rep->render(100, 40);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(QSize(drawn->width, drawn->height), QSize(100, 40));
    expectNear(at(*drawn, 10, 20), {255, 0, 0, 255}, 2, "left half");
    expectNear(at(*drawn, 90, 20), {0, 0, 255, 255}, 2, "right half");

    auto turned = Picture::fromData(TestPictures::pdf(200, 100, 90));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->size(), QSizeF(100, 200));
    auto upright = turned->representations()[0]->render(50, 100);
    ASSERT_TRUE(upright);
    // Turned clockwise: the red half is now on top.
    expectNear(at(*upright, 25, 10), {255, 0, 0, 255}, 2, "top after /Rotate 90");
    expectNear(at(*upright, 25, 90), {0, 0, 255, 255}, 2, "bottom after /Rotate 90");
}

TEST(VectorPictures, EpsThroughGhostscript)
{
    QTemporaryDir dir;
    auto picture = Picture::referenceFile(writeFile(dir, QStringLiteral("drawing.eps"), TestPictures::eps(120, 60)));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->size(), QSizeF(120, 60));
    EXPECT_EQ(picture->sourcePixelSize(), QSize(0, 0));
    auto drawn = picture->representations()[0]->render(240, 120);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(QSize(drawn->width, drawn->height), QSize(240, 120));
    expectNear(at(*drawn, 40, 60), {255, 0, 0, 255}, 2, "left");
    expectNear(at(*drawn, 200, 60), {0, 0, 255, 255}, 2, "right");
}

TEST(PictureFiles, ContentDecidesTheTypeAndReferencesDecodeLater)
{
    QTemporaryDir dir;
    // A PNG named .jpg is a PNG.
    const QString path = writeFile(dir, QStringLiteral("really-a-png.jpg"), TestPictures::png(*markedCorner()));
    auto now = Picture::readFile(path);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->sourcePixelSize(), QSize(48, 32));

    auto later = Picture::referenceFile(path);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->sourcePixelSize(), QSize(48, 32));
    ASSERT_TRUE(QFile::remove(path));
    // Read now: pixels are there. By reference: the file is gone, so decoding fails cleanly.
    EXPECT_TRUE(now->representations()[0]->pixels());
    LogCapture log;
    EXPECT_FALSE(later->representations()[0]->pixels());
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages()[0].contains(path));
}

TEST(PictureFiles, ThreadsShareOneDecode)
{
    QTemporaryDir dir;
    auto picture = Picture::referenceFile(writeFile(dir, QStringLiteral("shared.jpg"), TestPictures::jpeg(*markedCorner())));
    ASSERT_TRUE(picture);
    const auto &rep = picture->representations()[0];
    std::shared_ptr<const PixelBuffer> results[4];
    std::vector<std::thread> threads;
    for (auto &result : results)
        threads.emplace_back([&rep, &result] { result = rep->pixels(); });
    for (auto &thread : threads)
        thread.join();
    ASSERT_TRUE(results[0]);
    for (const auto &result : results)
        EXPECT_EQ(result, results[0]);
}
