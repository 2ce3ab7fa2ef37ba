// Writes a WebP, HEIC or AVIF test picture made from a PNG, with the encoders the tests
// use, so the fuzzer's seeds come from the same makers as the tests' pictures; or a PNG
// with gAMA and cHRM chunks.
//
//   qp_make_test_picture webp|heic|avif|png IN.png OUT [--lossless] [--animated]
//       [--orientation N] [--exif-orientation N] [--depth 10] [--nclx PRIMARIES/TRANSFER]
//       [--icc PROFILE] [--quality Q] [--gamma GAMA] [--wide]
//
// --orientation is the container's (HEIF's irot/imir; for WebP, an EXIF chunk);
// --exif-orientation an EXIF item beside it; --animated adds a second frame, the
// picture's colours inverted; --gamma writes gAMA (gamma x 100000) with sRGB's cHRM, or
// Adobe RGB's with --wide.

#include "Picture.h"
#include "TestPictures.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {

int fail(const char *why)
{
    std::fprintf(stderr, "qp_make_test_picture: %s\n", why);
    return 1;
}

// The colours inverted, alpha kept; or 8-bit samples widened to 16 bits, for a deeper picture.
std::shared_ptr<PixelBuffer> inverted(const PixelBuffer &pixels)
{
    const int colours = pixels.hasAlpha() ? pixels.channels - 1 : pixels.channels;
    return TestPictures::make(pixels.width, pixels.height, pixels.channels, 8, [&](int x, int y, uint16_t *o) {
        for (int c = 0; c < pixels.channels; ++c)
            o[c] = uint16_t(c < colours ? 255 - pixels.row(y)[x * pixels.channels + c] : pixels.row(y)[x * pixels.channels + c]);
    });
}

std::shared_ptr<PixelBuffer> widened(const PixelBuffer &pixels)
{
    return TestPictures::make(pixels.width, pixels.height, pixels.channels, 16, [&](int x, int y, uint16_t *o) {
        for (int c = 0; c < pixels.channels; ++c)
            o[c] = uint16_t(pixels.row(y)[x * pixels.channels + c] * 257);
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3)
        return fail("usage: qp_make_test_picture webp|heic|avif IN.png OUT [options]");
    const QString type = args[0];
    auto picture = Picture::readFile(args[1]);
    std::shared_ptr<const PixelBuffer> source = picture ? picture->representations().front()->pixels() : nullptr;
    if (!source || source->bitsPerChannel != 8 || source->channels < 3)
        return fail("the input must be an 8-bit RGB or RGBA PNG");

    TestPictures::WebpOptions webp;
    TestPictures::HeifOptions heif;
    TestPictures::PngOptions png;
    bool animated = false;
    bool wide = false;
    for (int i = 3; i < args.size(); ++i) {
        const QString &option = args[i];
        if (option == "--lossless") {
            webp.lossless = true;
        } else if (option == "--animated") {
            animated = true;
        } else if (option == "--wide") {
            wide = true;
        } else if (i + 1 == args.size()) {
            return fail("an option lacks its value");
        } else if (const QString value = args[++i]; option == "--orientation") {
            heif.orientation = value.toInt();
            webp.exif = TestPictures::exif(value.toInt(), 72);
        } else if (option == "--exif-orientation") {
            heif.exif = TestPictures::exif(value.toInt(), 72);
        } else if (option == "--depth") {
            heif.bitDepth = value.toInt();
        } else if (option == "--nclx") {
            heif.nclx = {value.section('/', 0, 0).toInt(), value.section('/', 1, 1).toInt()};
        } else if (option == "--gamma") {
            png.gamma = value.toInt();
        } else if (option == "--quality") {
            heif.quality = webp.quality = value.toInt();
        } else if (option == "--icc") {
            QFile file(value);
            if (!file.open(QIODevice::ReadOnly))
                return fail("cannot read the profile");
            heif.icc = webp.icc = file.readAll();
        } else {
            return fail("unknown option");
        }
    }
    const auto pixels = heif.bitDepth > 8 ? widened(*source) : std::const_pointer_cast<PixelBuffer>(source);
    if (animated) {
        webp.laterFrames.push_back(inverted(*source));
        heif.laterFrames.push_back(heif.bitDepth > 8 ? widened(*inverted(*source)) : inverted(*source));
    }
    if (png.gamma > 0)
        png.chromaticities = {0.3127, 0.3290, 0.64, 0.33, wide ? 0.21 : 0.30, wide ? 0.71 : 0.60, 0.15, 0.06};
    QByteArray bytes;
    if (type == "png")
        bytes = TestPictures::png(*pixels, png);
    else if (type == "webp")
        bytes = TestPictures::webp(*pixels, webp);
    else if (type == "heic")
        bytes = TestPictures::heic(*pixels, heif);
    else if (type == "avif")
        bytes = TestPictures::avif(*pixels, heif);
    else
        return fail("the type is webp, heic, avif or png");
    QFile out(args[2]);
    if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return fail("the encoder or the output failed");
    return 0;
}
