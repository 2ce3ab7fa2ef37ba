#include "ColorManagement.h"
#include "EncodedImageReps.h"
#include "Log.h"
#include "Picture.h"
#include "TestPictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <functional>
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

// A picture's size in points follows its resolution; EXIF's counts when JFIF gives none.
TEST(PictureFiles, ResolutionGivesTheSizeInPoints)
{
    const auto source = markedCorner();
    const std::tuple<const char *, QByteArray, QSizeF> cases[] = {
        {"JPEG", TestPictures::jpeg(*source), QSizeF(48, 32)},
        {"JPEG, JFIF at 144 dpi", TestPictures::jpeg(*source, with<JpegOptions>([](auto &o) { o.jfifDpi = 144; })), QSizeF(24, 16)},
        {"JPEG, EXIF at 300 dpi", TestPictures::jpeg(*source, with<JpegOptions>([](auto &o) { o.exif = TestPictures::exif(1, 300); })),
         QSizeF(48 * 72.0 / 300, 32 * 72.0 / 300)},
        {"PNG, pHYs at 144 dpi", TestPictures::png(*source, with<PngOptions>([](auto &o) { o.dpi = 144; })), QSizeF(24, 16)},
        {"TIFF at 144 dpi", TestPictures::tiff({with<TiffPageSpec>([&](auto &o) { o.pixels = source; o.dpi = 144; })}), QSizeF(24, 16)},
    };
    for (const auto &[name, bytes, points] : cases) {
        auto picture = Picture::fromData(bytes);
        ASSERT_TRUE(picture) << name;
        EXPECT_EQ(picture->sourcePixelSize(), QSize(48, 32)) << name;
        EXPECT_NEAR(picture->size().width(), points.width(), 0.01) << name;
        EXPECT_NEAR(picture->size().height(), points.height(), 0.01) << name;
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
}

TEST(GifDecoding, FirstFrameWithTransparencyAndInterlace)
{
    const std::vector<uint8_t> colours = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    std::vector<uint8_t> indices(10 * 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            indices[size_t(y * 10 + x)] = uint8_t((x + y) % 3);
    // On its own screen, and on a larger screen whose rest is transparent.
    for (const auto &[screen, origin] : {std::pair{QSize(), QPoint()}, std::pair{QSize(17, 15), QPoint(4, 3)}})
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(screen.width()) + (interlaced ? " interlaced" : ""));
            auto pixels = onlyPixels(TestPictures::gif(10, 9, indices, colours, 2, interlaced, screen, origin));
            ASSERT_TRUE(pixels);
            ASSERT_EQ(pixels->channels, 4);
            ASSERT_EQ(QSize(pixels->width, pixels->height), screen.isValid() ? screen : QSize(10, 9));
            for (int y = 0; y < pixels->height; ++y)
                for (int x = 0; x < pixels->width; ++x) {
                    const int fx = x - origin.x(), fy = y - origin.y();
                    const int index = fx >= 0 && fx < 10 && fy >= 0 && fy < 9 ? (fx + fy) % 3 : 2;
                    const Rgba got = at(*pixels, x, y);
                    EXPECT_EQ(got.a, index == 2 ? 0 : 255) << x << "," << y;
                    if (index != 2) {
                        EXPECT_EQ(got.r, index == 0 ? 255 : 0) << x << "," << y;
                        EXPECT_EQ(got.g, index == 1 ? 255 : 0) << x << "," << y;
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


    // Premultiplied pixels come out straight; ink without a profile as its complement.
    const std::tuple<const char *, TiffPageSpec, Rgba, int> single[] = {
        {"JPEG in TIFF", with<TiffPageSpec>([&](auto &o) { o.pixels = rgb; o.compression = COMPRESSION_JPEG; }), at(*rgb, 20, 10), 8},
        {"associated alpha", with<TiffPageSpec>([](auto &o) { o.pixels = flat(40, 20, {100, 50, 0, 128}); o.associatedAlpha = true; }),
         {199, 100, 0, 128}, 1},
        {"CMYK", with<TiffPageSpec>([](auto &o) { o.pixels = flat(40, 20, {0, 255, 0, 0}); o.cmyk = true; }), {255, 0, 255, 255}, 2},
    };
    for (const auto &[name, page, want, tolerance] : single) {
        auto pixels = onlyPixels(TestPictures::tiff({page}));
        ASSERT_TRUE(pixels) << name;
        EXPECT_EQ(pixels->channels, want.a == 255 ? 3 : 4) << name;
        expectNear(at(*pixels, 20, 10), want, tolerance, name);
    }
}

// Pages have a size in points and no pixels until drawn at the size asked.
TEST(VectorPictures, PdfAndEpsPagesAreDrawnUpright)
{
    QTemporaryDir dir;
    struct Case {
        const char *name;
        std::shared_ptr<const Picture> picture;
        QSizeF points;
        QSize drawn;
        QPoint red, blue;
    };
    const Case cases[] = {
        {"PDF", Picture::fromData(TestPictures::pdf(200, 100)), {200, 100}, {100, 40}, {10, 20}, {90, 20}},
        // Turned clockwise: the red half is now on top.
        {"PDF with /Rotate 90", Picture::fromData(TestPictures::pdf(200, 100, 90)), {100, 200}, {50, 100}, {25, 10}, {25, 90}},
        {"EPS", Picture::referenceFile(writeFile(dir, QStringLiteral("drawing.eps"), TestPictures::eps(120, 60))), {120, 60},
         {240, 120}, {40, 60}, {200, 60}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.picture);
        ASSERT_EQ(c.picture->representations().size(), 1u);
        EXPECT_EQ(c.picture->size(), c.points);
        EXPECT_EQ(c.picture->sourcePixelSize(), QSize(0, 0));
        EXPECT_EQ(c.picture->largestPixelSize(), QSize(0, 0));
        EXPECT_FALSE(c.picture->representations()[0]->pixels());
        auto drawn = c.picture->representations()[0]->render(c.drawn.width(), c.drawn.height());
        ASSERT_TRUE(drawn);
        EXPECT_EQ(QSize(drawn->width, drawn->height), c.drawn);
        expectNear(at(*drawn, c.red.x(), c.red.y()), {255, 0, 0, 255}, 2, "red");
        expectNear(at(*drawn, c.blue.x(), c.blue.y()), {0, 0, 255, 255}, 2, "blue");
    }
}

TEST(PictureFiles, TheBytesNameTheType)
{
    auto box = [](const char *brands, int size) { return QByteArray("\0\0\0", 3) + char(size) + "ftyp" + QByteArray(brands, size - 8); };
    const std::tuple<const char *, QByteArray, PictureFormat> cases[] = {
        {"HEIC", box("heic\0\0\0\0mif1heic", 24), PictureFormat::HEIF},
        {"AVIF", box("avif\0\0\0\0avifmif1miaf", 28), PictureFormat::HEIF},
        {"AVIF named by a compatible brand only", box("MA1B\0\0\0\0MA1Bavif", 24), PictureFormat::HEIF},
        {"an MP4 video", box("isom\0\0\2\0isomiso2mp41", 28), PictureFormat::Unknown},
        {"a QuickTime movie whose minor version reads heic", box("qt  heicqt  ", 20), PictureFormat::Unknown},
        {"WebP", QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16), PictureFormat::WebP},
        {"a WAVE sound", QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16), PictureFormat::Unknown},
    };
    for (const auto &[name, bytes, format] : cases)
        EXPECT_EQ(sniffPictureFormat(bytes + QByteArray(64, '\0')), format) << name;

    // Misnamed pictures read as what they are, now or by reference, which decodes later and
    // fails cleanly once the file is gone.
    QTemporaryDir dir;
    for (const auto &[name, bytes] : std::vector<std::pair<QString, QByteArray>>{
             {"png.jpg", TestPictures::png(*markedCorner())},
             {"webp.png", TestPictures::webp(*markedCorner())},
             {"heic.jpg", TestPictures::heic(*markedCorner())},
             {"avif.heic", TestPictures::avif(*markedCorner())}}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = writeFile(dir, name, bytes);
        auto now = Picture::readFile(path);
        auto later = Picture::referenceFile(path);
        ASSERT_TRUE(now && later);
        EXPECT_EQ(now->sourcePixelSize(), QSize(48, 32));
        EXPECT_EQ(later->sourcePixelSize(), QSize(48, 32));
        ASSERT_TRUE(QFile::remove(path));
        EXPECT_TRUE(now->representations()[0]->pixels());
        LogCapture log;
        EXPECT_FALSE(later->representations()[0]->pixels());
        ASSERT_EQ(log.messages().size(), 1);
        EXPECT_TRUE(log.messages()[0].contains(path));
    }
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

// ---------------------------------------------------------------- WebP, HEIC, AVIF

namespace {

using TestPictures::HeifOptions;
using TestPictures::WebpOptions;
using Maker = std::function<QByteArray(const PixelBuffer &)>;

Maker webpMaker(WebpOptions options = {})
{
    return [options](const PixelBuffer &p) { return TestPictures::webp(p, options); };
}
Maker heicMaker(HeifOptions options = {})
{
    return [options](const PixelBuffer &p) { return TestPictures::heic(p, options); };
}
Maker avifMaker(HeifOptions options = {})
{
    return [options](const PixelBuffer &p) { return TestPictures::avif(p, options); };
}

// The TIFF part of an EXIF payload, as WebP's EXIF chunk holds it.
QByteArray bareExif(int orientation)
{
    return TestPictures::exif(orientation, 72).mid(6);
}

// 40 x 24 at 8 or 16 bits: a red left half, a blue right half, with an optional
// transparent 8 x 8 top-left corner.
std::shared_ptr<PixelBuffer> halves(bool alpha, int bits)
{
    const int top = bits == 8 ? 255 : 65535;
    return make(40, 24, alpha ? 4 : 3, bits, [=](int x, int y, uint16_t *o) {
        const bool left = x < 20;
        o[0] = uint16_t((left ? 200 : 40) * top / 255);
        o[1] = uint16_t((left ? 60 : 90) * top / 255);
        o[2] = uint16_t((left ? 40 : 210) * top / 255);
        o[3] = uint16_t(x < 8 && y < 8 ? 0 : top);
    });
}

double srgbEncoded(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

const cmsCIExyYTRIPLE p3Primaries{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
const cmsCIExyYTRIPLE bt2020Primaries{{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}};
const cmsCIExyYTRIPLE adobePrimaries{{0.640, 0.330, 1}, {0.210, 0.710, 1}, {0.150, 0.060, 1}};

} // namespace

TEST(WebAndPhoneFormats, ReadAtTheirSizeWithTheirColoursAndAlpha)
{
    struct Case {
        const char *name;
        Maker maker;
        int bits;      // of the source and of what comes back
        int tolerance; // in 8-bit steps
    };
    const Case cases[] = {
        {"WebP lossy", webpMaker(with<WebpOptions>([](auto &o) { o.quality = 95; })), 8, 10},
        {"WebP lossless", webpMaker(with<WebpOptions>([](auto &o) { o.lossless = true; })), 8, 0},
        {"HEIC", heicMaker(), 8, 8},
        {"HEIC 10-bit", heicMaker(with<HeifOptions>([](auto &o) { o.bitDepth = 10; })), 16, 8},
        {"AVIF", avifMaker(), 8, 8},
        {"AVIF 10-bit", avifMaker(with<HeifOptions>([](auto &o) { o.bitDepth = 10; })), 16, 8},
    };
    for (const Case &c : cases)
        for (bool alpha : {false, true}) {
            const std::string what = std::string(c.name) + (alpha ? " with alpha" : " opaque");
            const auto source = halves(alpha, c.bits);
            const QByteArray bytes = c.maker(*source);
            ASSERT_FALSE(bytes.isEmpty()) << what;
            const auto pixels = onlyPixels(bytes);
            ASSERT_TRUE(pixels) << what;
            EXPECT_EQ(QSize(pixels->width, pixels->height), QSize(40, 24)) << what;
            EXPECT_EQ(pixels->channels, alpha ? 4 : 3) << what;
            EXPECT_EQ(pixels->bitsPerChannel, c.bits) << what;
            const int scale = c.bits == 8 ? 1 : 257;
            for (const QPoint at_ : {QPoint(12, 16), QPoint(30, 16)})
                expectNear(at(*pixels, at_.x(), at_.y()), at(*source, at_.x(), at_.y()), c.tolerance * scale, what.c_str());
            if (alpha) {
                EXPECT_LE(at(*pixels, 3, 3).a, c.tolerance * scale) << what;
            }
        }
}

TEST(PictureOrientation, EveryOrientationComesOutUprightAndIsAppliedOnce)
{
    // Where the stored top-left block must end up, and whether the sides swap.
    struct Turn {
        int orientation;
        bool right, bottom, swapped;
    };
    const Turn turns[] = {{1, false, false, false}, {2, true, false, false}, {3, true, true, false}, {4, false, true, false},
                          {5, false, false, true},  {6, true, false, true},  {7, true, true, true},  {8, false, true, true}};
    struct Case {
        std::string name;
        Maker maker;
        Turn turn;
        double pointsPerPixel = 0; // checked when above 0
    };
    std::vector<Case> cases;
    for (const Turn &t : turns) {
        const int o = t.orientation;
        const std::string n = std::to_string(o);
        const JpegOptions jpeg = with<JpegOptions>([o](auto &j) { j.exif = TestPictures::exif(o, 144); });
        cases.push_back({"JPEG EXIF " + n, [jpeg](const PixelBuffer &p) { return TestPictures::jpeg(p, jpeg); }, t, 0.5});
        cases.push_back({"TIFF orientation " + n, [o](const PixelBuffer &) { // of the same marked corner
            return TestPictures::tiff({with<TiffPageSpec>([o](auto &t) { t.pixels = markedCorner(); t.orientation = o; })});
        }, t});
        cases.push_back({"HEIC irot/imir " + n, heicMaker(with<HeifOptions>([o](auto &h) { h.orientation = o; })), t});
        cases.push_back({"AVIF irot/imir " + n, avifMaker(with<HeifOptions>([o](auto &h) { h.orientation = o; })), t});
        cases.push_back({"WebP EXIF " + n, webpMaker(with<WebpOptions>([o](auto &w) { w.exif = bareExif(o); })), t});
    }
    // EXIF beside the container's own transforms is not applied again, nor on its own.
    cases.push_back({"AVIF irot 6 and EXIF 6", avifMaker(with<HeifOptions>([](auto &h) { h.orientation = 6; h.exif = TestPictures::exif(6); })), turns[5]});
    cases.push_back({"HEIC irot 6 and EXIF 6", heicMaker(with<HeifOptions>([](auto &h) { h.orientation = 6; h.exif = TestPictures::exif(6); })), turns[5]});
    cases.push_back({"AVIF EXIF 6 alone", avifMaker(with<HeifOptions>([](auto &h) { h.exif = TestPictures::exif(6); })), turns[0]});
    cases.push_back({"WebP EXIF 8 with its JPEG prefix", webpMaker(with<WebpOptions>([](auto &w) { w.exif = TestPictures::exif(8); })), turns[7]});

    QTemporaryDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray bytes = c.maker(*markedCorner());
        ASSERT_FALSE(bytes.isEmpty());
        // Sizes are known before decoding, already turned.
        auto referenced = Picture::referenceFile(writeFile(dir, QStringLiteral("turned"), bytes));
        ASSERT_TRUE(referenced);
        const QSize want = c.turn.swapped ? QSize(32, 48) : QSize(48, 32);
        EXPECT_EQ(referenced->sourcePixelSize(), want);
        if (c.pointsPerPixel > 0) {
            EXPECT_EQ(referenced->size(), QSizeF(want) * c.pointsPerPixel);
        }
        auto pixels = referenced->representations()[0]->pixels();
        if (!pixels || QSize(pixels->width, pixels->height) != want) {
            ADD_FAILURE() << "no pixels of the size announced";
            continue;
        }
        const int x = c.turn.right ? pixels->width - 5 : 4;
        const int y = c.turn.bottom ? pixels->height - 5 : 4;
        EXPECT_GT(at(*pixels, x, y).r, 190);
        EXPECT_LT(at(*pixels, pixels->width - 1 - x, pixels->height - 1 - y).r, 70);
    }
}

TEST(WebAndPhoneFormats, AnimationsShowTheirFirstFrame)
{
    const auto green = flat(48, 32, {0, 255, 0});
    for (const auto &[name, maker] : std::vector<std::pair<const char *, Maker>>{
             {"WebP", webpMaker(with<WebpOptions>([&](auto &o) { o.laterFrames = {green}; }))},
             {"AVIF", avifMaker(with<HeifOptions>([&](auto &o) { o.laterFrames = {green}; }))}}) {
        const auto pixels = onlyPixels(maker(*markedCorner()));
        ASSERT_TRUE(pixels) << name;
        EXPECT_EQ(QSize(pixels->width, pixels->height), QSize(48, 32)) << name;
        expectNear(at(*pixels, 4, 4), {255, 0, 0, 255}, 12, name);
        expectNear(at(*pixels, 40, 24), {0, 0, 255, 255}, 12, name);
    }

    // A first frame smaller than the canvas lies on a transparent one.
    const auto red = flat(8, 6, {255, 0, 0});
    const auto pixels = onlyPixels(TestPictures::webp(*red, with<WebpOptions>([&](auto &o) {
        o.lossless = true;
        o.laterFrames = {flat(24, 16, {0, 255, 0})};
        o.canvasWidth = 24, o.canvasHeight = 16, o.firstX = 4, o.firstY = 2;
    })));
    ASSERT_TRUE(pixels);
    ASSERT_EQ(QSize(pixels->width, pixels->height), QSize(24, 16));
    ASSERT_EQ(pixels->channels, 4);
    expectNear(at(*pixels, 4, 2), {255, 0, 0, 255}, 0, "the frame's first pixel");
    expectNear(at(*pixels, 11, 7), {255, 0, 0, 255}, 0, "the frame's last pixel");
    EXPECT_EQ(at(*pixels, 3, 2).a, 0);
    EXPECT_EQ(at(*pixels, 12, 7).a, 0);
    EXPECT_EQ(at(*pixels, 23, 15).a, 0);
}

TEST(ColourProfiles, ProfilesAndCodePointsAreConvertedToSrgbAndSrgbIsLeftAlone)
{
    const auto colour = flat(16, 16, {200, 120, 90});
    const QByteArray p3 = TestPictures::displayP3Profile();
    const QByteArray adobe = TestPictures::adobeRgbProfile();
    const QByteArray p3Srgb = TestPictures::rgbProfile(p3Primaries, 0);
    auto linear = [](int v) { return int(std::lround(255 * srgbEncoded(v / 255.0))); };
    auto through = [](auto write, auto options) { return [=](const PixelBuffer &p) { return write(p, options); }; };
    struct Case {
        const char *name;
        Maker maker;
        Rgba want;
        int tolerance;
    };
    const Case cases[] = {
        {"JPEG untagged", through(TestPictures::jpeg, JpegOptions{}), {200, 120, 90, 255}, 3},
        {"JPEG with a Display P3 profile",
         through(TestPictures::jpeg, with<JpegOptions>([&](auto &o) { o.quality = 100; o.icc = p3; })), referenceSrgb(p3, 200, 120, 90), 3},
        {"PNG with an Adobe RGB profile", through(TestPictures::png, with<PngOptions>([&](auto &o) { o.icc = adobe; })),
         referenceSrgb(adobe, 200, 120, 90), 2},
        {"TIFF with an Adobe RGB profile",
         [&](const PixelBuffer &) { return TestPictures::tiff({with<TiffPageSpec>([&](auto &o) { o.pixels = colour; o.icc = adobe; })}); },
         referenceSrgb(adobe, 200, 120, 90), 2},
        {"PNG with an sRGB profile", through(TestPictures::png, with<PngOptions>([](auto &o) { o.icc = srgbIccProfile(); })), {200, 120, 90, 255}, 0},
        {"WebP with a Display P3 profile", webpMaker(with<WebpOptions>([&](auto &o) { o.lossless = true; o.icc = p3; })), referenceSrgb(p3, 200, 120, 90), 4},
        {"HEIC with a Display P3 profile", heicMaker(with<HeifOptions>([&](auto &o) { o.icc = p3; })), referenceSrgb(p3, 200, 120, 90), 4},
        {"AVIF with a Display P3 profile", avifMaker(with<HeifOptions>([&](auto &o) { o.icc = p3; })), referenceSrgb(p3, 200, 120, 90), 4},
        {"AVIF with P3 primaries", avifMaker(with<HeifOptions>([](auto &o) { o.nclx = {12, 13}; })), referenceSrgb(p3Srgb, 200, 120, 90), 4},
        {"HEIC with BT.2020 primaries", heicMaker(with<HeifOptions>([](auto &o) { o.nclx = {9, 13}; })),
         referenceSrgb(TestPictures::rgbProfile(bt2020Primaries, 0), 200, 120, 90), 4},
        {"AVIF with a linear curve", avifMaker(with<HeifOptions>([](auto &o) { o.nclx = {1, 8}; })), {linear(200), linear(120), linear(90), 255}, 4},
        {"AVIF in sRGB", avifMaker(), {200, 120, 90, 255}, 4},
        {"HEIC with BT.709's curve", heicMaker(with<HeifOptions>([](auto &o) { o.nclx = {1, 1}; })), {200, 120, 90, 255}, 4},
    };
    ASSERT_GT(cases[1].want.r, 205); // the profile really moves this colour
    for (const Case &c : cases) {
        const auto pixels = onlyPixels(c.maker(*colour));
        ASSERT_TRUE(pixels) << c.name;
        for (const QPoint p : {QPoint(0, 0), QPoint(8, 8), QPoint(15, 15)})
            expectNear(at(*pixels, p.x(), p.y()), c.want, c.tolerance, c.name);
    }
}

TEST(ColourProfiles, FewAreRememberedAndOneInUseOutlivesTheCache)
{
    const QByteArray p3 = TestPictures::displayP3Profile();
    const auto held = IccTransform::forProfile(p3, IccLayout::RGB8, IccLayout::RGB8);
    ASSERT_TRUE(held);
    // Many pictures, each with a profile of its own.
    for (size_t i = 0; i < 3 * IccTransform::maxCached; ++i) {
        const QByteArray own = TestPictures::rgbProfile(adobePrimaries, 1.5 + 0.01 * double(i));
        const auto pixels = onlyPixels(TestPictures::png(*flat(4, 4, {200, 120, 90}), with<PngOptions>([&](auto &o) { o.icc = own; })));
        ASSERT_TRUE(pixels);
        expectNear(at(*pixels, 1, 1), referenceSrgb(own, 200, 120, 90), 2, "a picture's own profile");
    }
    EXPECT_LE(IccTransform::cachedCount(), IccTransform::maxCached);
    uint8_t colour[3] = {200, 120, 90};
    held->apply(colour, colour, 1);
    expectNear({colour[0], colour[1], colour[2], 255}, referenceSrgb(p3, 200, 120, 90), 2, "the transform held throughout");
}

TEST(PngDecoding, GammaAndChromaticitiesWithoutAProfileAreShownAsBrowsersShowThem)
{
    const std::array<double, 8> srgbChrm{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    const std::array<double, 8> adobeChrm{0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06};
    // What sRGB must show for a stored 8-bit v.
    auto shown = [](double exponent, int v) { return int(std::lround(255 * srgbEncoded(std::pow(v / 255.0, exponent)))); };
    struct Case {
        const char *name;
        PngOptions options;
        int channels, bits;
        double exponent; // what the stored values are raised to before sRGB's curve; 0: kept as they are
    };
    const Case cases[] = {
        // The chunks libpng's own test pictures carry.
        {"linear: gAMA 1.0 and sRGB's cHRM", with<PngOptions>([&](auto &o) { o.gamma = 100000; o.chromaticities = srgbChrm; }), 3, 8, 1.0},
        {"gamma 1.8: gAMA 1/1.8 and sRGB's cHRM", with<PngOptions>([&](auto &o) { o.gamma = 55556; o.chromaticities = srgbChrm; }), 3, 8, 1.8},
        {"an sRGB chunk", with<PngOptions>([](auto &o) { o.srgbChunk = true; }), 3, 8, 0},
        // gAMA alone takes sRGB's primaries, in every layout.
        {"gAMA 1.0 alone, grey", with<PngOptions>([](auto &o) { o.gamma = 100000; }), 1, 8, 1.0},
        {"gAMA 1.0 alone, 16-bit grey and alpha", with<PngOptions>([](auto &o) { o.gamma = 100000; }), 2, 16, 1.0},
        {"gAMA 1.0 alone, palette with alpha", with<PngOptions>([](auto &o) { o.gamma = 100000; o.palette = true; }), 4, 8, 1.0},
        {"gAMA 1/2.2 alone", with<PngOptions>([](auto &o) { o.gamma = 45455; }), 3, 8, 0},
        {"gAMA 1/2.2 and sRGB's cHRM", with<PngOptions>([&](auto &o) { o.gamma = 45455; o.chromaticities = srgbChrm; }), 3, 16, 0},
        {"cHRM alone", with<PngOptions>([&](auto &o) { o.chromaticities = adobeChrm; }), 3, 8, 0},
        {"an ICC profile before gAMA", with<PngOptions>([](auto &o) { o.gamma = 100000; o.icc = srgbIccProfile(); }), 3, 8, 0},
        {"a gAMA no picture uses", with<PngOptions>([](auto &o) { o.gamma = 500; }), 3, 8, 0},
    };
    for (const Case &c : cases) {
        const int top = c.bits == 8 ? 255 : 65535;
        const bool alpha = c.channels % 2 == 0;
        // Greys of 128 and 40, alpha alternating between 100 and opaque.
        auto grey = [](int x) { return x < 4 ? 128 : 40; };
        auto opacity = [&](int x) { return !alpha || x % 2 ? 255 : 100; };
        auto source = make(8, 4, c.channels, c.bits, [&](int x, int, uint16_t *o) {
            for (int i = 0; i < c.channels; ++i)
                o[i] = uint16_t(grey(x) * top / 255);
            o[c.channels - 1] = uint16_t((alpha ? opacity(x) : grey(x)) * top / 255);
        });
        LogCapture log;
        const auto pixels = onlyPixels(TestPictures::png(*source, c.options));
        ASSERT_TRUE(pixels) << c.name;
        const int scale = top / 255;
        for (const int x : {0, 5}) {
            const int v = c.exponent > 0 ? shown(c.exponent, grey(x)) : grey(x);
            // Converted values may round either way; kept ones must not move at all.
            const int tolerance = c.exponent > 0 ? (c.bits == 8 ? 1 : 300) : 0;
            expectNear(at(*pixels, x, 1), {v * scale, v * scale, v * scale, opacity(x) * scale}, tolerance, c.name);
        }
        EXPECT_EQ(log.messages().size(), c.options.gamma == 500 ? 1 : 0) << c.name;
    }
    // "Linear" must come out lighter, as browsers show it, not darker.
    EXPECT_GT(shown(1.0, 128), 180);

    // Other primaries than sRGB's go through a profile of them.
    const auto colour = flat(8, 8, {200, 120, 90});
    const auto wide = onlyPixels(TestPictures::png(*colour, with<PngOptions>([&](auto &o) { o.gamma = 100000; o.chromaticities = adobeChrm; })));
    ASSERT_TRUE(wide);
    expectNear(at(*wide, 4, 4), referenceSrgb(TestPictures::rgbProfile(adobePrimaries, 1.0), 200, 120, 90), 2, "gAMA 1.0 and Adobe RGB's cHRM");
}
