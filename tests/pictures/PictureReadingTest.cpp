// Decoding the files of data/: sizes, pixels, orientation and colour.

#include "ColorManagement.h"
#include "EncodedImageReps.h"
#include "Log.h"
#include "Picture.h"
#include "TestPictures.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <thread>

namespace {

using TestPictures::bytes;

struct Rgba {
    int r, g, b, a;
};

Rgba at(const PixelBuffer &p, int x, int y)
{
    auto v = [&](int c) {
        return p.bitsPerChannel == 8 ? int(p.row(y)[x * p.channels + c])
                                     : int(reinterpret_cast<const uint16_t *>(p.row(y))[x * p.channels + c]);
    };
    const int opaque = p.bitsPerChannel == 8 ? 255 : 65535;
    if (p.channels <= 2)
        return {v(0), v(0), v(0), p.channels == 2 ? v(1) : opaque};
    return {v(0), v(1), v(2), p.channels == 4 ? v(3) : opaque};
}

// A negative colour is not looked at: only alpha counts there.
void expectNear(Rgba got, Rgba want, int tolerance, const std::string &what)
{
    if (want.r >= 0) {
        EXPECT_NEAR(got.r, want.r, tolerance) << what;
        EXPECT_NEAR(got.g, want.g, tolerance) << what;
        EXPECT_NEAR(got.b, want.b, tolerance) << what;
    }
    EXPECT_NEAR(got.a, want.a, tolerance) << what;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &data)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(data);
    return path;
}

// An lcms2-made RGB profile of these primaries (D65 white) and a pure power curve, or
// sRGB's curve when `gamma` is 0: data/'s profiles were made so.
QByteArray rgbProfile(cmsCIExyYTRIPLE primaries, double gamma)
{
    cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve *curve = gamma > 0 ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray out(qsizetype(size), 0);
    cmsSaveProfileToMem(profile, out.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return out;
}

const cmsCIExyYTRIPLE p3Primaries{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
const cmsCIExyYTRIPLE adobePrimaries{{0.640, 0.330, 1}, {0.210, 0.710, 1}, {0.150, 0.060, 1}};

// What a float reference transform makes of data/'s flat colour (200, 120, 90) in `profile`.
Rgba referenceSrgb(const QByteArray &profile)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_DBL, out, TYPE_RGB_DBL, INTENT_PERCEPTUAL, 0);
    double src[3] = {200 / 255.0, 120 / 255.0, 90 / 255.0}, dst[3];
    cmsDoTransform(t, src, dst, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    auto clamp = [](double v) { return int(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return {clamp(dst[0]), clamp(dst[1]), clamp(dst[2]), 255};
}

double srgbEncoded(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

struct Probe {
    QPoint at;
    Rgba want;
};

// data/'s 48 x 32 picture: a mark in the top-left 16 x 16, blue elsewhere, and in its
// alpha variants a transparent bottom-right 8 x 8.
const Probe mark{{8, 8}, {220, 40, 30, 255}}, rest{{32, 20}, {30, 60, 200, 255}}, clear{{44, 28}, {-1, -1, -1, 0}};

} // namespace

TEST(PictureFiles, EachTypeAndLayoutReadsAtItsSizeInItsColours)
{
    const Rgba original{200, 120, 90, 255};
    const Rgba p3 = referenceSrgb(rgbProfile(p3Primaries, 2.2));
    const Rgba adobe = referenceSrgb(rgbProfile(adobePrimaries, 2.2));
    auto linear = [](int v) { return int(std::lround(255 * srgbEncoded(v / 255.0))); };
    // The PNGs with gAMA and cHRM hold greys of 128 then 40, alpha alternating 100 and opaque: shown as browsers show
    // them, the stored values raised to `exponent` before sRGB's curve, or kept as they are when it is 0.
    auto greys = [&](double exponent, bool alpha) {
        auto shown = [&](int v) { return int(std::lround(255 * (exponent > 0 ? srgbEncoded(std::pow(v / 255.0, exponent)) : v / 255.0))); };
        return std::vector<Probe>{{{0, 1}, {shown(128), shown(128), shown(128), alpha ? 100 : 255}},
                                  {{5, 1}, {shown(40), shown(40), shown(40), 255}}};
    };
    // The 7 x 5 RGBA gradient (x * 30, y * 50, 77, 255 - y * 20 but column 0 transparent),
    // one pixel from each Adam7 pass but the first three.
    // The GIF's 10 x 9 indices (x + y) % 3 of red, green and blue, index 2 transparent, at (4, 3)
    // on a transparent screen: a pixel of each row pass of the interlace.
    std::vector<Probe> indices{{{0, 0}, {-1, -1, -1, 0}}};
    for (const QPoint p : {QPoint(0, 4), QPoint(1, 2), QPoint(0, 2), QPoint(0, 7), QPoint(1, 8), QPoint(9, 1)}) {
        const int index = (p.x() + p.y()) % 3;
        const Rgba colour{index == 0 ? 255 : 0, index == 1 ? 255 : 0, 0, 255};
        indices.push_back({p + QPoint(4, 3), index == 2 ? Rgba{-1, -1, -1, 0} : colour});
    }
    const std::vector<Probe> gradient{
        {{6, 4}, {180, 200, 77, 175}}, {{0, 2}, {0, 100, 77, 0}}, {{1, 0}, {30, 0, 77, 255}}, {{5, 3}, {150, 150, 77, 195}}};
    struct Case {
        const char *file;
        QSize size;
        int channels, bits;
        int tolerance;
        std::vector<Probe> probes;
        QSizeF points = {}; // the pixel size when empty
        int logLines = 0;
    };
    const Case cases[] = {
        {"jpeg-jfif-144dpi.jpg", {48, 32}, 3, 8, 6, {mark, rest}, {24, 16}},
        {"jpeg-grey.jpg", {8, 8}, 1, 8, 2, {{{4, 4}, {90, 90, 90, 255}}}},
        // Adobe's inverted CMYK without a profile: cyan ink on the left, black on the right.
        {"jpeg-cmyk.jpg", {16, 8}, 3, 8, 8, {{{2, 4}, {0, 255, 255, 255}}, {{13, 4}, {0, 0, 0, 255}}}},
        {"png-phys-144dpi.png", {48, 32}, 3, 8, 0, {mark, rest}, {24, 16}},
        {"png-rgba-interlaced.png", {7, 5}, 4, 8, 0, gradient},
        {"png-palette-alpha-interlaced.png", {7, 5}, 4, 8, 0, gradient},
        // 2-bit grey widens to 8 bits; a grey tRNS becomes an alpha channel.
        {"png-grey-2bit.png", {6, 2}, 1, 8, 0, {{{2, 0}, {170, 170, 170, 255}}}},
        {"png-grey-trns.png", {6, 2}, 2, 8, 0, {{{1, 0}, {-1, -1, -1, 0}}, {{2, 0}, {170, 170, 170, 255}}}},
        {"gif.gif", {10, 9}, 3, 8, 0, {{{2, 0}, {0, 0, 255, 255}}}},
        {"gif-transparent-interlaced-on-larger-screen.gif", {17, 15}, 4, 8, 0, indices},
        {"tiff.tif", {48, 32}, 3, 8, 0, {mark, rest}},
        {"tiff-jpeg.tif", {40, 20}, 3, 8, 8, {{{20, 10}, {120, 120, 99, 255}}}},
        // Premultiplied pixels come out straight; ink without a profile as its complement.
        {"tiff-associated-alpha.tif", {40, 20}, 4, 8, 1, {{{20, 10}, {199, 100, 0, 128}}}},
        {"tiff-cmyk.tif", {40, 20}, 3, 8, 2, {{{20, 10}, {255, 0, 255, 255}}}},
        {"webp-alpha.webp", {48, 32}, 4, 8, 10, {mark, rest, clear}},
        {"heic-10bit-alpha.heic", {48, 32}, 4, 16, 8 * 257, {mark, rest, clear}},
        {"avif-10bit-alpha.avif", {48, 32}, 4, 16, 8 * 257, {mark, rest, clear}},
        // First frames only (the later ones are green); one smaller than the canvas lies on a transparent one.
        {"webp-animated.webp", {48, 32}, 3, 8, 12, {mark, rest}},
        {"avif-sequence.avif", {48, 32}, 3, 8, 12, {mark, rest}},
        {"webp-animated-small-first-frame.webp", {24, 16}, 4, 8, 0,
         {{{4, 2}, {255, 0, 0, 255}}, {{11, 7}, {255, 0, 0, 255}}, {{3, 2}, {-1, -1, -1, 0}}, {{12, 7}, {-1, -1, -1, 0}},
          {{23, 15}, {-1, -1, -1, 0}}}},
        // Profiles and code points are converted to sRGB; sRGB is left alone.
        {"jpeg-p3-profile.jpg", {16, 16}, 3, 8, 3, {{{8, 8}, p3}}},
        {"png-adobe-profile.png", {16, 16}, 3, 8, 2, {{{8, 8}, adobe}}},
        {"png-srgb-profile.png", {16, 16}, 3, 8, 0, {{{8, 8}, original}}},
        {"tiff-adobe-profile.tif", {16, 16}, 3, 8, 2, {{{8, 8}, adobe}}},
        {"webp-p3-profile-and-exif.webp", {16, 16}, 3, 8, 4, {{{8, 8}, p3}}},
        {"heic-p3-profile.heic", {16, 16}, 3, 8, 4, {{{8, 8}, p3}}},
        {"avif-p3-nclx.avif", {16, 16}, 3, 8, 4, {{{8, 8}, referenceSrgb(rgbProfile(p3Primaries, 0))}}},
        {"avif-linear.avif", {16, 16}, 3, 8, 4, {{{8, 8}, {linear(200), linear(120), linear(90), 255}}}},
        {"heic-bt709-curve.heic", {16, 16}, 3, 8, 4, {{{8, 8}, original}}},
        // gAMA and cHRM without a profile; "linear" comes out lighter, not darker. Converted
        // values may round either way, kept ones must not move.
        {"png-gamma-linear-srgb-chrm.png", {8, 4}, 3, 8, 1, greys(1.0, false)},
        {"png-srgb-chunk.png", {8, 4}, 3, 8, 0, greys(0, false)},
        {"png-gamma-linear-grey-alpha-16bit.png", {8, 4}, 2, 16, 300, greys(1.0, true)}, // gAMA alone in every layout
        {"png-gamma-linear-palette-alpha.png", {8, 4}, 4, 8, 1, greys(1.0, true)},
        {"png-gamma-2.2-srgb-chrm-16bit.png", {8, 4}, 3, 16, 0, greys(0, false)},
        {"png-chrm-adobe-alone.png", {8, 4}, 3, 8, 0, greys(0, false)},
        {"png-srgb-profile-and-linear-gamma.png", {8, 4}, 3, 8, 0, greys(0, false)},
        {"png-gamma-0.005.png", {8, 4}, 3, 8, 0, greys(0, false), {}, 1}, // no picture has it
        {"png-gamma-linear-adobe-chrm.png", {8, 8}, 3, 8, 2, {{{4, 4}, referenceSrgb(rgbProfile(adobePrimaries, 1.0))}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        LogCapture log;
        auto picture = Picture::referenceFile(TestPictures::path(c.file));
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->representations().size(), 1u);
        std::shared_ptr<const PixelBuffer> decodedAside;
        std::thread aside([&] { decodedAside = picture->representations()[0]->pixels(); });
        const QSizeF points = c.points.isEmpty() ? QSizeF(c.size) : c.points;
        EXPECT_NEAR(picture->size().width(), points.width(), 0.01); // pHYs counts per metre
        EXPECT_NEAR(picture->size().height(), points.height(), 0.01);
        const auto pixels = picture->representations()[0]->pixels();
        aside.join();
        EXPECT_EQ(decodedAside, pixels); // threads share one decode
        ASSERT_TRUE(pixels);
        ASSERT_EQ(QSize(pixels->width, pixels->height), c.size);
        EXPECT_EQ(pixels->channels, c.channels);
        EXPECT_EQ(pixels->bitsPerChannel, c.bits);
        const int deep = c.bits == 16 ? 257 : 1; // probes are given in 8 bits
        for (const auto &[point, want] : c.probes)
            expectNear(at(*pixels, point.x(), point.y()), {want.r * deep, want.g * deep, want.b * deep, want.a * deep}, c.tolerance,
                       std::to_string(point.x()) + "," + std::to_string(point.y()));
        EXPECT_EQ(log.messages().size(), c.logLines);
    }
}

TEST(JpegDecoding, ReducedDecodesShrinkInTheDctAndCmykGoesThroughItsProfile)
{
    auto picture = Picture::fromData(TestPictures::withOrientation(bytes("jpeg-progressive-exif-144dpi.jpg"), 6));
    ASSERT_TRUE(picture);
    const auto &rep = picture->representations()[0];
    auto half = rep->pixelsReduced(1);
    auto eighth = rep->pixelsReduced(3);
    ASSERT_TRUE(half && eighth);
    EXPECT_EQ(QSize(half->width, half->height), QSize(16, 24));
    EXPECT_EQ(QSize(eighth->width, eighth->height), QSize(4, 6));
    EXPECT_GT(at(*half, half->width - 2, 1).r, 190); // still upright: the mark is top right
    EXPECT_EQ(rep->pixelsReduced(1), half);         // kept, not decoded again
    EXPECT_EQ(rep->pixelsReduced(0), rep->pixels());

    // Ghostscript's CMYK profile is too large for data/: its ICC_PROFILE segments are added here.
    QFile file(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "Ghostscript's CMYK profile is needed";
    const QByteArray profile = file.readAll();
    QByteArray cmyk = bytes("jpeg-cmyk.jpg");
    const int count = int((profile.size() + 65518) / 65519);
    for (int i = count - 1; i >= 0; --i) {
        const QByteArray part = profile.mid(i * 65519, 65519);
        const int length = 2 + 12 + 2 + int(part.size());
        cmyk.insert(2, QByteArray("\xFF\xE2") + char(length >> 8) + char(length & 0xFF) + QByteArray("ICC_PROFILE\0", 12)
                           + char(i + 1) + char(count) + part);
    }
    auto managed = Picture::fromData(cmyk)->representations()[0]->pixels();
    ASSERT_TRUE(managed);
    const Rgba cyan = at(*managed, 2, 4);
    // Printed cyan is far duller than the screen's: red stays low, green and blue are well below full.
    EXPECT_LT(cyan.r, 80);
    EXPECT_GT(cyan.b, 180);
    EXPECT_LT(at(*managed, 13, 4).g, 60);
}

TEST(TiffDecoding, EveryPageIsReadAndTheFirstGivesTheSize)
{
    auto picture = Picture::fromData(bytes("tiff-three-pages.tif"));
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->representations().size(), 3u);
    EXPECT_EQ(picture->size(), QSizeF(20, 10)); // the first page's, at 144 dpi
    EXPECT_EQ(picture->sourcePixelSize(), QSize(9, 9)); // the last page
    EXPECT_EQ(picture->largestPixelSize(), QSize(40, 21));
    // 8-bit RGB in LZW strips; 16-bit RGBA, deflated, in 16 x 16 tiles; 16-bit grey.
    const std::tuple<int, QPoint, Rgba> probes[] = {
        {0, {39, 19}, {234, 228, 99, 255}}, {1, {3, 5}, {5100, 15000, 4242, 0}}, {1, {17, 17}, {28900, 51000, 4242, 65518}},
        {1, {36, 20}, {61200, 60000, 4242, 65515}}, {2, {8, 7}, {56007, 56007, 56007, 65535}},
    };
    for (const auto &[page, point, want] : probes) {
        const auto pixels = picture->representations()[size_t(page)]->pixels();
        ASSERT_TRUE(pixels) << page;
        expectNear(at(*pixels, point.x(), point.y()), want, 0, "page " + std::to_string(page));
    }
}

// Pages have a size in points and no pixels until drawn at the size asked.
TEST(VectorPictures, PdfAndEpsPagesAreDrawnUpright)
{
    // {file, size in points, a size to draw at, where red and blue are then}
    const std::tuple<const char *, QSizeF, QSize, QPoint, QPoint> cases[] = {
        {"pdf-rotate-90.pdf", {100, 200}, {50, 100}, {25, 10}, {25, 90}}, // turned clockwise: red on top
        {"eps.eps", {120, 60}, {240, 120}, {40, 60}, {200, 60}},
    };
    for (const auto &[file, points, size, red, blue] : cases) {
        SCOPED_TRACE(file);
        const auto picture = Picture::referenceFile(TestPictures::path(file));
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->representations().size(), 1u);
        EXPECT_EQ(picture->size(), points);
        EXPECT_EQ(picture->sourcePixelSize(), QSize(0, 0));
        EXPECT_EQ(picture->largestPixelSize(), QSize(0, 0));
        EXPECT_FALSE(picture->representations()[0]->pixels());
        // PDF pages at sizes that do not divide the page evenly, and the smallest, come out exactly.
        for (const QSize odd : QByteArray(file).endsWith(".pdf") ? QList<QSize>{{31, 7}, {1, 1}} : QList<QSize>{}) {
            auto drawn = picture->representations()[0]->render(odd.width(), odd.height());
            EXPECT_TRUE(drawn && QSize(drawn->width, drawn->height) == odd && drawn->channels == 3) << odd.width();
        }
        auto drawn = picture->representations()[0]->render(size.width(), size.height());
        ASSERT_TRUE(drawn);
        EXPECT_EQ(QSize(drawn->width, drawn->height), size);
        expectNear(at(*drawn, red.x(), red.y()), {255, 0, 0, 255}, 2, "red");
        expectNear(at(*drawn, blue.x(), blue.y()), {0, 0, 255, 255}, 2, "blue");
    }
}

TEST(PictureFiles, TheBytesNameTheType)
{
    auto box = [](const char *brands, int size) { return QByteArray("\0\0\0", 3) + char(size) + "ftyp" + QByteArray(brands, size - 8); };
    const std::tuple<const char *, QByteArray, PictureFormat> cases[] = {
        {"HEIC", box("heic\0\0\0\0mif1heic", 24), PictureFormat::HEIF},
        {"AVIF named by a compatible brand only", box("MA1B\0\0\0\0MA1Bavif", 24), PictureFormat::HEIF},
        {"an MP4 video", box("isom\0\0\2\0isomiso2mp41", 28), PictureFormat::Unknown},
        {"WebP", QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16), PictureFormat::WebP},
        {"a WAVE sound", QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16), PictureFormat::Unknown},
    };
    for (const auto &[name, data, format] : cases)
        EXPECT_EQ(sniffPictureFormat(data + QByteArray(64, '\0')), format) << name;

    // A misnamed picture read by reference decodes later, and fails cleanly once the file is gone.
    QTemporaryDir dir;
    const QString path = writeFile(dir, "heic.jpg", bytes("heic-orientation-1.heic"));
    auto later = Picture::referenceFile(path);
    ASSERT_TRUE(later && later->sourcePixelSize() == QSize(48, 32));
    ASSERT_TRUE(QFile::remove(path));
    LogCapture log;
    EXPECT_FALSE(later->representations()[0]->pixels());
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages()[0].contains(path));
}

TEST(PictureOrientation, EveryOrientationComesOutUprightAndIsAppliedOnce)
{
    // Where the stored top-left mark must end up, and whether the sides swap.
    struct Turn {
        bool right, bottom, swapped;
    };
    const Turn turns[] = {{false, false, false}, {true, false, false}, {true, true, false}, {false, true, false},
                          {false, false, true},  {true, false, true},  {true, true, true},  {false, true, true}};
    std::vector<std::tuple<std::string, QByteArray, Turn, double>> cases; // the last: points per pixel
    for (int o = 1; o <= 8; ++o) {
        const std::string n = std::to_string(o);
        const Turn &t = turns[o - 1];
        cases.push_back({"JPEG EXIF at 144 dpi " + n, TestPictures::withOrientation(bytes("jpeg-progressive-exif-144dpi.jpg"), o), t, 0.5});
        cases.push_back({"TIFF " + n, TestPictures::withOrientation(bytes("tiff.tif"), o), t, 1});
        cases.push_back({"WebP EXIF " + n, TestPictures::withOrientation(bytes("webp-exif.webp"), o), t, 1});
        // The container's irot/imir (AVIF's are read the same way), and an EXIF item beside that is not applied again.
        cases.push_back({"HEIC " + n, bytes(QString("heic-orientation-%1.heic").arg(o)), t, 1});
    }
    cases.push_back({"AVIF EXIF 6 alone", TestPictures::withOrientation(bytes("avif-orientation-1.avif"), 6), turns[0], 1});
    cases.push_back({"WebP EXIF 8 with its JPEG prefix", bytes("webp-exif-8-with-jpeg-prefix.webp"), turns[7], 1});

    QTemporaryDir dir;
    for (const auto &[name, data, turn, pointsPerPixel] : cases) {
        SCOPED_TRACE(name);
        // Sizes are known before decoding, already turned.
        auto referenced = Picture::referenceFile(writeFile(dir, QStringLiteral("turned"), data));
        ASSERT_TRUE(referenced);
        const QSize want = turn.swapped ? QSize(32, 48) : QSize(48, 32);
        EXPECT_EQ(referenced->sourcePixelSize(), want);
        EXPECT_EQ(referenced->size(), QSizeF(want) * pointsPerPixel);
        auto pixels = referenced->representations()[0]->pixels();
        ASSERT_TRUE(pixels && QSize(pixels->width, pixels->height) == want) << "no pixels of the size announced";
        const int x = turn.right ? pixels->width - 5 : 4;
        const int y = turn.bottom ? pixels->height - 5 : 4;
        EXPECT_GT(at(*pixels, x, y).r, 190);
        EXPECT_LT(at(*pixels, pixels->width - 1 - x, pixels->height - 1 - y).r, 70);
    }
}

TEST(ColourProfiles, FewAreRememberedAndOneInUseOutlivesTheCache)
{
    const QByteArray p3 = rgbProfile(p3Primaries, 2.2);
    const auto held = IccTransform::forProfile(p3, IccLayout::RGB8, IccLayout::RGB8);
    ASSERT_TRUE(held);
    for (size_t i = 0; i < 3 * IccTransform::maxCached; ++i) // many pictures, each with a profile of its own
        ASSERT_TRUE(IccTransform::forProfile(rgbProfile(adobePrimaries, 1.5 + 0.01 * double(i)), IccLayout::RGB8, IccLayout::RGB8));
    EXPECT_LE(IccTransform::cachedCount(), IccTransform::maxCached);
    uint8_t colour[3] = {200, 120, 90};
    held->apply(colour, colour, 1);
    expectNear({colour[0], colour[1], colour[2], 255}, referenceSrgb(p3), 2, "the transform held throughout");
}
