#include "TestPictures.h"

#include "TiffStream.h"

#include <QList>
#include <algorithm>
#include <QSysInfo>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <map>
#include <png.h>
#include <stdexcept>
#include <vector>

namespace TestPictures {

std::shared_ptr<PixelBuffer> make(int width, int height, int channels, int bits,
                                  const std::function<void(int, int, uint16_t *)> &colour)
{
    auto buffer = PixelBuffer::create(width, height, channels, bits);
    uint16_t values[4] = {};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            colour(x, y, values);
            for (int c = 0; c < channels; ++c) {
                if (bits == 8)
                    buffer->row(y)[x * channels + c] = uint8_t(values[c]);
                else
                    reinterpret_cast<uint16_t *>(buffer->row(y))[x * channels + c] = values[c];
            }
        }
    return buffer;
}

std::shared_ptr<PixelBuffer> photo(int width, int height)
{
    uint32_t state = 2024;
    return make(width, height, 3, 8, [&](int x, int y, uint16_t *out) {
        state = state * 1664525u + 1013904223u;
        const int grain = int(state >> 27) - 16;
        const int texture = int(24 * std::sin(x * 0.7) * std::cos(y * 0.45) + 16 * std::sin((x + 2 * y) * 0.11));
        const bool disc = (x - width / 3) * (x - width / 3) + (y - height / 2) * (y - height / 2) < height * height / 9;
        const int sky = 60 + 150 * y / height;
        out[0] = uint16_t(std::clamp((disc ? 200 : sky) + grain + texture, 0, 255));
        out[1] = uint16_t(std::clamp((disc ? 90 : 40 + 120 * x / width) + grain - texture / 2, 0, 255));
        out[2] = uint16_t(std::clamp((disc ? 40 : 255 - sky) + grain + ((x / 6 + y / 6) % 2) * 25, 0, 255));
    });
}

QByteArray exif(int orientation, int dpi)
{
    QByteArray out("Exif\0\0", 6);
    auto u16 = [&](int v) { out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF)); };
    out.append("II*\0", 4);
    u32(8);
    const int entries = dpi > 0 ? 4 : 1;
    u16(entries);
    const quint32 dataStart = 8 + 2 + 12 * entries + 4;
    u16(0x0112); u16(3); u32(1); u16(orientation); u16(0);
    if (dpi > 0) {
        u16(0x011A); u16(5); u32(1); u32(dataStart);
        u16(0x011B); u16(5); u32(1); u32(dataStart + 8);
        u16(0x0128); u16(3); u32(1); u16(2); u16(0);
    }
    u32(0);
    if (dpi > 0) {
        u32(quint32(dpi)); u32(1);
        u32(quint32(dpi)); u32(1);
    }
    return out;
}

namespace {
struct JpegFail {
    jpeg_error_mgr manager;
    jmp_buf jump;
};
} // namespace

QByteArray jpeg(const PixelBuffer &pixels, const JpegOptions &options)
{
    jpeg_compress_struct info;
    JpegFail error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegFail *>(c->err)->jump, 1); };
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(pixels.width);
    info.image_height = JDIMENSION(pixels.height);
    info.input_components = pixels.channels;
    info.in_color_space = pixels.channels == 1 ? JCS_GRAYSCALE : options.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    if (options.cmyk)
        jpeg_set_colorspace(&info, JCS_YCCK);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.progressive)
        jpeg_simple_progression(&info);
    if (options.jfifDpi > 0) {
        info.write_JFIF_header = TRUE;
        info.density_unit = 1;
        info.X_density = UINT16(options.jfifDpi);
        info.Y_density = UINT16(options.jfifDpi);
    }
    jpeg_start_compress(&info, TRUE);
    if (!options.exif.isEmpty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(options.exif.constData()), unsigned(options.exif.size()));
    if (!options.icc.isEmpty())
        jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET *>(options.icc.constData()), unsigned(options.icc.size()));
    std::vector<uint8_t> row(size_t(pixels.width) * pixels.channels);
    while (info.next_scanline < info.image_height) {
        std::memcpy(row.data(), pixels.row(int(info.next_scanline)), row.size());
        if (options.cmyk) // Adobe writes CMYK inverted
            for (auto &v : row)
                v = uint8_t(255 - v);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return out;
}

namespace {
void pngWriteData(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}
} // namespace

QByteArray png(const PixelBuffer &pixels, const PngOptions &options)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, pngWriteData, nullptr);
    const int types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    const int depth = options.bitDepth ? options.bitDepth : pixels.bitsPerChannel;
    std::vector<std::vector<uint8_t>> rows(size_t(pixels.height));
    if (options.palette) {
        std::map<uint32_t, int> index;
        std::vector<png_color> colours;
        std::vector<png_byte> alphas;
        for (int y = 0; y < pixels.height; ++y) {
            for (int x = 0; x < pixels.width; ++x) {
                const uint8_t *p = pixels.row(y) + x * pixels.channels;
                const uint32_t key = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(pixels.channels == 4 ? p[3] : 255) << 24;
                auto it = index.find(key);
                if (it == index.end()) {
                    it = index.emplace(key, int(colours.size())).first;
                    colours.push_back({p[0], p[1], p[2]});
                    alphas.push_back(png_byte(key >> 24));
                }
                rows[size_t(y)].push_back(uint8_t(it->second));
            }
        }
        png_set_IHDR(png, info, png_uint_32(pixels.width), png_uint_32(pixels.height), 8, PNG_COLOR_TYPE_PALETTE,
                     options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
        png_set_PLTE(png, info, colours.data(), int(colours.size()));
        if (pixels.channels == 4)
            png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
    } else {
        png_set_IHDR(png, info, png_uint_32(pixels.width), png_uint_32(pixels.height), depth, types[pixels.channels - 1],
                     options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
        for (int y = 0; y < pixels.height; ++y) {
            auto &row = rows[size_t(y)];
            if (depth < 8) { // grey packed, most significant bits first
                row.assign(size_t((pixels.width * depth + 7) / 8), 0);
                for (int x = 0; x < pixels.width; ++x) {
                    const int v = pixels.row(y)[x] >> (8 - depth);
                    row[size_t(x * depth / 8)] |= uint8_t(v << (8 - depth - (x * depth) % 8));
                }
            } else if (depth == 16) {
                const auto *p = reinterpret_cast<const uint16_t *>(pixels.row(y));
                for (int i = 0; i < pixels.width * pixels.channels; ++i) {
                    row.push_back(uint8_t(p[i] >> 8));
                    row.push_back(uint8_t(p[i] & 0xFF));
                }
            } else {
                row.assign(pixels.row(y), pixels.row(y) + pixels.width * pixels.channels);
            }
        }
        if (options.transparentGrey >= 0) {
            png_color_16 colour{};
            colour.gray = png_uint_16(options.transparentGrey);
            png_set_tRNS(png, info, nullptr, 0, &colour);
        }
    }
    if (!options.icc.isEmpty())
        png_set_iCCP(png, info, "test", 0, reinterpret_cast<png_const_bytep>(options.icc.constData()), png_uint_32(options.icc.size()));
    if (options.gamma > 0)
        png_set_gAMA_fixed(png, info, options.gamma);
    if (const auto &c = options.chromaticities; c[0] > 0)
        png_set_cHRM(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    if (options.srgbChunk)
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (options.dpi > 0) {
        const auto perMetre = png_uint_32(options.dpi / 0.0254 + 0.5);
        png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    }
    std::vector<png_bytep> pointers;
    for (auto &row : rows)
        pointers.push_back(row.data());
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

namespace {
int gifWrite(GifFileType *gif, const GifByteType *data, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
    return length;
}
} // namespace

QByteArray gif(int width, int height, const std::vector<uint8_t> &indices, const std::vector<uint8_t> &colours,
               int transparentIndex, bool interlaced, QSize screen, QPoint at)
{
    QByteArray out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, gifWrite, &error);
    const int count = int(colours.size() / 3);
    int tableSize = 2;
    while (tableSize < count)
        tableSize *= 2;
    std::vector<GifColorType> table(static_cast<size_t>(tableSize));
    for (int i = 0; i < count; ++i)
        table[size_t(i)] = {colours[size_t(i) * 3], colours[size_t(i) * 3 + 1], colours[size_t(i) * 3 + 2]};
    ColorMapObject *map = GifMakeMapObject(tableSize, table.data());
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, std::max(width, screen.width()), std::max(height, screen.height()), 8, 0, map);
    if (transparentIndex >= 0) {
        const GifByteType block[4] = {1, 0, 0, GifByteType(transparentIndex)};
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
    }
    EGifPutImageDesc(gif, at.x(), at.y(), width, height, interlaced, nullptr);
    std::vector<int> order;
    if (interlaced) {
        const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = starts[pass]; y < height; y += steps[pass])
                order.push_back(y);
    } else {
        for (int y = 0; y < height; ++y)
            order.push_back(y);
    }
    for (int y : order)
        EGifPutLine(gif, const_cast<GifPixelType *>(indices.data() + size_t(y) * size_t(width)), width);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

QByteArray tiff(const std::vector<TiffPageSpec> &pages)
{
    TiffStream stream;
    TIFF *tif = stream.open("w", 0);
    for (const TiffPageSpec &page : pages) {
        const PixelBuffer &p = *page.pixels;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(p.width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(p.height));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(p.bitsPerChannel));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(p.channels));
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(page.compression));
        TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(page.orientation));
        if (page.cmyk) {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
            TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
        } else {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
            if (p.hasAlpha()) {
                const uint16_t extra[] = {uint16_t(page.associatedAlpha ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA)};
                TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
            }
        }
        if (page.compression == COMPRESSION_JPEG)
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        if (page.dpi > 0) {
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(page.dpi));
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(page.dpi));
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        }
        if (!page.icc.isEmpty())
            TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(page.icc.size()), page.icc.constData());
        const size_t rowBytes = size_t(p.width) * p.bytesPerPixel();
        if (page.tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16u);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, 16u);
            std::vector<uint8_t> tile(16 * 16 * p.bytesPerPixel());
            for (int ty = 0; ty < p.height; ty += 16)
                for (int tx = 0; tx < p.width; tx += 16) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (int r = 0; r < 16 && ty + r < p.height; ++r)
                        std::memcpy(tile.data() + r * 16 * p.bytesPerPixel(), p.row(ty + r) + tx * p.bytesPerPixel(),
                                    std::min(16, p.width - tx) * p.bytesPerPixel());
                    TIFFWriteTile(tif, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
                }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8u);
            std::vector<uint8_t> row(rowBytes);
            for (int y = 0; y < p.height; ++y) {
                std::memcpy(row.data(), p.row(y), rowBytes);
                TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
            }
        }
        TIFFWriteDirectory(tif);
    }
    stream.close();
    return stream.written();
}

QByteArray pdfOf(const QList<QByteArray> &objects)
{
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    const QByteArray count = QByteArray::number(objects.size() + 1);
    out += "xref\n0 " + count + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    return out + "trailer\n<< /Size " + count + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
}

QByteArray pdfStream(const QByteArray &dictionary, const QByteArray &content)
{
    return "<< " + dictionary + " /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
}

QByteArray pdf(int w, int h, int rotate)
{
    const QByteArray content = QStringLiteral("1 0 0 rg 0 0 %1 %2 re f 0 0 1 rg %1 0 %1 %2 re f").arg(w / 2).arg(h).toLatin1();
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %1 %2] /Rotate %3 /Contents 4 0 R >>").arg(w).arg(h).arg(rotate).toLatin1(),
                  pdfStream("", content)});
}

QByteArray eps(int w, int h)
{
    return QStringLiteral("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 10 20 %1 %2\n%%EndComments\n"
                          "1 0 0 setrgbcolor 10 20 %3 %4 rectfill\n"
                          "0 0 1 setrgbcolor %5 20 %3 %4 rectfill\nshowpage\n%%EOF\n")
        .arg(10 + w).arg(20 + h).arg(w / 2).arg(h).arg(10 + w / 2).toLatin1();
}

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

QByteArray displayP3Profile()
{
    return rgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, 2.2);
}

QByteArray adobeRgbProfile()
{
    return rgbProfile({{0.640, 0.330, 1}, {0.210, 0.710, 1}, {0.150, 0.060, 1}}, 2.2);
}

} // namespace TestPictures
