// What each output type buys on real photos at the web size: per photo and type, the
// encoded size and encode time at quality 90; the budget search's time against one
// encode; and at the budget the quality found (checked against the encoder: the next
// step does not fit, and no higher one does either) with PSNR and SSIM against the
// lossless render, from ../shared/bench/quality.py (elsewhere: QP_QUALITY_SCRIPT=PATH).
//
//   encoder_bench [--width W] [--budget-kb N] [--no-quality] [FILE-OR-FOLDER...]
//   encoder_bench --settings [--width W] [--budget-kb N] [FILE-OR-FOLDER...]
//
// Default input: /tmp/quillpane-bench/corpus (../shared/bench/make_corpus.sh). The second
// form compares the encoder settings the program could use (WebP methods, AV1 encoders,
// their speeds and chroma subsampling) by size and time at quality 90 and by PSNR at the
// budget; it calls libwebp and libavif directly on the same rendered pixels.
// Times are wall-clock and processor (all threads) milliseconds; on a shared machine the
// processor time is the steadier figure.

#include "ImageEncoders.h"
#include "PhotoManipulator.h"
#include "Picture.h"
#include "SizeBudget.h"

#include <avif/avif.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace {

struct Timing {
    double wall = 0, cpu = 0;
};

Timing timed(const std::function<void()> &work)
{
    auto cpuNow = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    };
    const double cpu = cpuNow();
    const auto start = std::chrono::steady_clock::now();
    work();
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(), cpuNow() - cpu};
}

// Of the values that are numbers: an encoder that failed on a photo gives none.
double median(std::vector<double> values)
{
    std::erase_if(values, [](double v) { return std::isnan(v); });
    if (values.empty())
        return NAN; // printed as nan: nothing measured
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

QStringList photos(const QStringList &arguments)
{
    QStringList files;
    for (const QString &argument : arguments.isEmpty() ? QStringList{QStringLiteral("/tmp/quillpane-bench/corpus")} : arguments) {
        if (QFileInfo(argument).isDir()) {
            for (const QString &name : QDir(argument).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
                files << QDir(argument).filePath(name);
        } else {
            files << argument;
        }
    }
    return files;
}

// The photo at the output width, neutral, without sharpening: what every type encodes.
std::shared_ptr<PixelBuffer> render(PhotoManipulator &engine, const QString &file, int width)
{
    const auto picture = Picture::readFile(file);
    if (!picture)
        return nullptr;
    const QSize size = picture->sourcePixelSize();
    const float height = std::round(float(width) * float(size.height()) / float(size.width()));
    const QVariantMap settings{{"scalemode", 0},     {"resamplemode", 0}, {"xabs", float(width)}, {"yabs", height},
                               {"xratio", 1.0f},     {"yratio", 1.0f},    {"quality", 0.9f},      {"sharpen", 0.0f},
                               {"saturation", 1.0f}, {"brightness", 0.0f}, {"exposure", 0.0f},     {"contrast", 1.0f},
                               {"vibrance", 0.0f},   {"temperature", float(std::log2(6500.0))}, {"filter", 0}};
    return engine.renderNSImageWithSettings(picture, settings, 0);
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// "PSNR_dB x SSIM_Y y" of quality.py, as two numbers.
std::pair<double, double> quality(const QString &reference, const QString &candidate)
{
    QProcess process;
    const QString script = qEnvironmentVariable("QP_QUALITY_SCRIPT", QStringLiteral(QP_QUALITY_SCRIPT));
    if (!QFileInfo::exists(script)) {
        static bool told = false;
        if (!std::exchange(told, true))
            std::fprintf(stderr, "no %s: PSNR and SSIM left out (QP_QUALITY_SCRIPT=PATH gives the script)\n", qPrintable(script));
        return {NAN, NAN};
    }
    process.start(QStringLiteral("/usr/bin/python3"), {script, reference, candidate});
    process.waitForFinished(120000);
    const QStringList words = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const qsizetype psnr = words.indexOf(QStringLiteral("PSNR_dB")), ssim = words.indexOf(QStringLiteral("SSIM_Y"));
    if (psnr < 0 || ssim < 0 || ssim + 1 >= words.size())
        return {NAN, NAN};
    return {words[psnr + 1].toDouble(), words[ssim + 1].toDouble()};
}

int typesAndBudget(const QStringList &files, int width, qint64 budget, bool measureQuality)
{
    PhotoManipulator engine;
    engine.awakeFromNib();
    engine.setCachesLevels(false);
    QTemporaryDir scratch;
    struct Sums {
        std::vector<double> kB, wall, cpu, searchWall, searchCpu, ratio, encodes, budgetKB, psnr, ssim;
        int withinOneStep = 0, photos = 0;
        bool lossy = false;
    };
    std::map<qint64, Sums> sums;
    const qint64 types[] = {0, 3, 4, 1};
    std::printf("%-22s %-5s | %8s %8s %8s | %7s %5s %8s %8s %6s | %8s %7s %7s\n", "photo", "type", "kB@q90", "ms", "cpu ms",
                "search", "tries", "ms", "cpu ms", "x one", "kB@bdgt", "PSNR", "SSIM");
    for (const QString &file : files) {
        const std::shared_ptr<PixelBuffer> pixels = render(engine, file, width);
        if (!pixels) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
            continue;
        }
        const QString name = QFileInfo(file).completeBaseName();
        const QString reference = scratch.filePath(name + QStringLiteral("-reference.png"));
        write(reference, encodeImage(*pixels, ImageEncoding::PNG, 1.0f));
        for (const qint64 value : types) {
            const OutputFileType type = outputFileTypeFor(value);
            Sums &s = sums[value];
            QByteArray once;
            const Timing single = timed([&] { once = encodeImage(*pixels, type.encoding, 0.9f); });
            BudgetedEncoding fitted;
            const Timing search = timed([&] { fitted = encodeWithinBudget(*pixels, type.encoding, 0.9f, budget); });
            s.kB.push_back(once.size() / 1000.0);
            s.wall.push_back(single.wall);
            s.cpu.push_back(single.cpu);
            s.searchWall.push_back(search.wall);
            s.searchCpu.push_back(search.cpu);
            s.ratio.push_back(search.cpu / std::max(single.cpu, 0.001));
            s.encodes.push_back(fitted.encodes);
            s.budgetKB.push_back(fitted.bytes.size() / 1000.0);
            ++s.photos;
            QString verdict = QStringLiteral("-");
            const QualityScale scale = qualityScaleFor(type.encoding);
            s.lossy = scale.hasSteps();
            if (scale.hasSteps()) {
                // Checked against the encoder: walking down from the top, the first step that
                // fits is the highest that does.
                const int step = qualityStepFor(type.encoding, fitted.compressionFactor);
                int highest = scale.lowest;
                for (int at = scale.highest; at > scale.lowest; --at)
                    if (encodeImageAtQualityStep(*pixels, type.encoding, at).size() <= budget) {
                        highest = at;
                        break;
                    }
                const bool ok = !fitted.overBudget && fitted.bytes.size() <= budget && step >= highest - 1;
                s.withinOneStep += ok ? 1 : 0;
                verdict = QStringLiteral("%1%2").arg(step).arg(ok ? QString() : QStringLiteral("!(%1)").arg(highest));
            }
            std::pair<double, double> q{NAN, NAN};
            if (measureQuality) {
                const QString candidate = scratch.filePath(QStringLiteral("%1.%2").arg(name, type.batchExtension));
                write(candidate, fitted.bytes);
                q = quality(reference, candidate);
                s.psnr.push_back(q.first);
                s.ssim.push_back(q.second);
            }
            std::printf("%-22s %-5s | %8.1f %8.1f %8.1f | %7s %5d %8.1f %8.1f %6.2f | %8.1f %7.2f %7.4f\n", qPrintable(name.left(22)),
                        qPrintable(type.name), once.size() / 1000.0, single.wall, single.cpu, qPrintable(verdict), fitted.encodes,
                        search.wall, search.cpu, s.ratio.back(), fitted.bytes.size() / 1000.0, q.first, q.second);
            std::fflush(stdout);
        }
    }
    std::printf("\nmedians over the photos (budget %lld kB at %d px; search: the quality step found, '!' when a higher one fits)\n",
                (long long)(budget / 1000), width);
    std::printf("%-5s | %8s %8s %8s | %5s %8s %8s %6s | %8s %7s %7s | %s\n", "type", "kB@q90", "ms", "cpu ms", "tries", "ms", "cpu ms",
                "x one", "kB@bdgt", "PSNR", "SSIM", "within one step");
    for (const qint64 value : types) {
        const Sums &s = sums[value];
        const QString within = s.lossy ? QStringLiteral("%1 of %2").arg(s.withinOneStep).arg(s.photos) : QStringLiteral("lossless");
        std::printf("%-5s | %8.1f %8.1f %8.1f | %5.1f %8.1f %8.1f %6.2f | %8.1f %7.2f %7.4f | %s\n", qPrintable(outputFileTypeFor(value).name),
                    median(s.kB), median(s.wall), median(s.cpu), median(s.encodes), median(s.searchWall), median(s.searchCpu),
                    median(s.ratio), median(s.budgetKB), median(s.psnr), median(s.ssim), qPrintable(within));
    }
    return 0;
}

// ---- The settings the encoders could use, through libwebp and libavif directly ----------

// PSNR over R, G and B, and over luma alone (Y = .299R + .587G + .114B): the eye sees
// mostly the second, and chroma subsampling trades the first for it.
struct Psnr {
    double rgb = NAN, luma = NAN;
};

Psnr psnr(const PixelBuffer &rgb, const uint8_t *decoded, int channels)
{
    double sum = 0, lumaSum = 0;
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x) {
            double d[3];
            for (int c = 0; c < 3; ++c) {
                d[c] = double(rgb.row(y)[x * 3 + c]) - decoded[(size_t(y) * rgb.width + x) * channels + c];
                sum += d[c] * d[c];
            }
            const double dy = 0.299 * d[0] + 0.587 * d[1] + 0.114 * d[2];
            lumaSum += dy * dy;
        }
    const double pixels = double(rgb.width) * rgb.height;
    auto db = [](double mse) { return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse); };
    return {db(sum / (pixels * 3)), db(lumaSum / pixels)};
}

struct Candidate {
    QString name;
    std::function<QByteArray(int step)> encode; // step 0-100
    std::function<Psnr(const QByteArray &)> psnr;
};

std::vector<Candidate> candidates(const PixelBuffer &rgb)
{
    std::vector<Candidate> list;
    auto webpPsnr = [&rgb](const QByteArray &bytes) {
        int w = 0, h = 0;
        uint8_t *decoded = WebPDecodeRGB(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()), &w, &h);
        const Psnr value = decoded ? psnr(rgb, decoded, 3) : Psnr{};
        WebPFree(decoded);
        return value;
    };
    for (int method = 0; method <= 6; ++method)
        list.push_back({QStringLiteral("webp m%1").arg(method),
                        [&rgb, method](int step) {
                            WebPConfig config;
                            WebPConfigInit(&config);
                            config.quality = float(step);
                            config.method = method;
                            WebPPicture picture;
                            WebPPictureInit(&picture);
                            picture.width = rgb.width;
                            picture.height = rgb.height;
                            WebPPictureImportRGB(&picture, rgb.data.get(), int(rgb.stride));
                            WebPMemoryWriter writer;
                            WebPMemoryWriterInit(&writer);
                            picture.writer = WebPMemoryWrite;
                            picture.custom_ptr = &writer;
                            WebPEncode(&config, &picture);
                            QByteArray bytes(reinterpret_cast<const char *>(writer.mem), qsizetype(writer.size));
                            WebPMemoryWriterClear(&writer);
                            WebPPictureFree(&picture);
                            return bytes;
                        },
                        webpPsnr});
    auto avifPsnr = [&rgb](const QByteArray &bytes) {
        avifDecoder *decoder = avifDecoderCreate();
        avifImage *image = avifImageCreateEmpty();
        Psnr value;
        if (avifDecoderReadMemory(decoder, image, reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())) == AVIF_RESULT_OK) {
            avifRGBImage out;
            avifRGBImageSetDefaults(&out, image);
            out.format = AVIF_RGB_FORMAT_RGB;
            out.depth = 8;
            avifRGBImageAllocatePixels(&out);
            if (avifImageYUVToRGB(image, &out) == AVIF_RESULT_OK)
                value = psnr(rgb, out.pixels, 3);
            avifRGBImageFreePixels(&out);
        }
        avifImageDestroy(image);
        avifDecoderDestroy(decoder);
        return value;
    };
    const struct {
        const char *codec;
        std::vector<int> speeds;
    } codecs[] = {{"aom", {6, 7, 8, 9, 10}}, {"rav1e", {8, 10}}, {"svt", {8, 10}}};
    for (const auto &codec : codecs)
        for (const int speed : codec.speeds)
            for (const avifPixelFormat format : {AVIF_PIXEL_FORMAT_YUV420, AVIF_PIXEL_FORMAT_YUV444}) {
                if (QLatin1String(codec.codec) == "svt" && format != AVIF_PIXEL_FORMAT_YUV420)
                    continue; // SVT-AV1 encodes 4:2:0 only
                const avifCodecChoice choice = avifCodecChoiceFromName(codec.codec);
                if (!avifCodecName(choice, AVIF_CODEC_FLAG_CAN_ENCODE))
                    continue;
                list.push_back({QStringLiteral("avif %1 s%2 %3").arg(codec.codec).arg(speed).arg(format == AVIF_PIXEL_FORMAT_YUV420 ? "420" : "444"),
                                [&rgb, choice, speed, format](int step) {
                                    avifImage *image = avifImageCreate(uint32_t(rgb.width), uint32_t(rgb.height), 8, format);
                                    image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
                                    image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
                                    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
                                    image->yuvRange = AVIF_RANGE_FULL;
                                    avifRGBImage source;
                                    avifRGBImageSetDefaults(&source, image);
                                    source.format = AVIF_RGB_FORMAT_RGB;
                                    source.pixels = rgb.data.get();
                                    source.rowBytes = uint32_t(rgb.stride);
                                    avifImageRGBToYUV(image, &source);
                                    avifEncoder *encoder = avifEncoderCreate();
                                    encoder->codecChoice = choice;
                                    encoder->maxThreads = 2;
                                    encoder->speed = speed;
                                    encoder->minQuantizer = encoder->maxQuantizer = 63 - int(std::lround(step * 0.63));
                                    avifRWData out = AVIF_DATA_EMPTY;
                                    QByteArray bytes;
                                    if (avifEncoderWrite(encoder, image, &out) == AVIF_RESULT_OK)
                                        bytes = QByteArray(reinterpret_cast<const char *>(out.data), qsizetype(out.size));
                                    avifRWDataFree(&out);
                                    avifEncoderDestroy(encoder);
                                    avifImageDestroy(image);
                                    return bytes;
                                },
                                avifPsnr});
            }
    return list;
}

int settings(const QStringList &files, int width, qint64 budget)
{
    PhotoManipulator engine;
    engine.awakeFromNib();
    engine.setCachesLevels(false);
    struct Sums {
        std::vector<double> kB, cpu, psnr, lumaPsnr;
    };
    std::map<QString, Sums> sums;
    QStringList order;
    for (const QString &file : files) {
        const std::shared_ptr<PixelBuffer> rendered = render(engine, file, width);
        if (!rendered)
            continue;
        // 8-bit RGB, as the encoders take it.
        auto rgb = PixelBuffer::create(rendered->width, rendered->height, 3, 8);
        for (int y = 0; y < rgb->height; ++y)
            for (int x = 0; x < rgb->width; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int from = rendered->channels >= 3 ? c : 0;
                    const size_t i = size_t(x) * rendered->channels + from;
                    rgb->row(y)[x * 3 + c] = rendered->bitsPerChannel == 8
                        ? rendered->row(y)[i]
                        : uint8_t((reinterpret_cast<const uint16_t *>(rendered->row(y))[i] + 128u) / 257u);
                }
        for (const Candidate &candidate : candidates(*rgb)) {
            QByteArray bytes;
            const Timing t = timed([&] { bytes = candidate.encode(90); });
            QByteArray fitting;
            highestStepWithin({0, 100}, 90, budget, [&](int step) {
                QByteArray b = candidate.encode(step);
                if (b.size() <= budget)
                    fitting = b;
                return qint64(b.size());
            });
            Sums &s = sums[candidate.name];
            if (!order.contains(candidate.name))
                order << candidate.name;
            s.kB.push_back(bytes.isEmpty() ? NAN : bytes.size() / 1000.0); // failed: left out of the medians
            s.cpu.push_back(bytes.isEmpty() ? NAN : t.cpu);
            const Psnr atBudget = fitting.isEmpty() ? Psnr{} : candidate.psnr(fitting);
            s.psnr.push_back(atBudget.rgb);
            s.lumaPsnr.push_back(atBudget.luma);
            std::printf("%-22s %-18s %8.1f kB %8.1f cpu ms | at the budget %7.2f dB RGB %7.2f dB Y\n",
                        qPrintable(QFileInfo(file).completeBaseName().left(22)), qPrintable(candidate.name), s.kB.back(), s.cpu.back(),
                        atBudget.rgb, atBudget.luma);
            std::fflush(stdout);
        }
    }
    std::printf("\nmedians over the photos: at quality 90 (AVIF quantizer 6), and PSNR at %lld kB\n", (long long)(budget / 1000));
    for (const QString &name : order)
        std::printf("%-18s %8.1f kB %8.1f cpu ms | %7.2f dB RGB %7.2f dB Y\n", qPrintable(name), median(sums[name].kB), median(sums[name].cpu),
                    median(sums[name].psnr), median(sums[name].lumaPsnr));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("SVT_LOG", qgetenv("SVT_LOG").isEmpty() ? QByteArray("1") : qgetenv("SVT_LOG")); // SVT-AV1 prints its set-up per encode
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int width = 1200;
    qint64 budget = 100000;
    bool measureQuality = true, settingsMode = false;
    for (int i = 0; i < arguments.size();) {
        const QString a = arguments[i];
        if ((a == QLatin1String("--width") || a == QLatin1String("--budget-kb")) && i + 1 < arguments.size()) {
            if (a == QLatin1String("--width"))
                width = arguments[i + 1].toInt();
            else
                budget = arguments[i + 1].toLongLong() * 1000;
            arguments.remove(i, 2);
        } else if (a == QLatin1String("--no-quality")) {
            measureQuality = false;
            arguments.remove(i);
        } else if (a == QLatin1String("--settings")) {
            settingsMode = true;
            arguments.remove(i);
        } else {
            ++i;
        }
    }
    const QStringList files = photos(arguments);
    if (files.isEmpty() || width < 1 || budget < 1) {
        std::fprintf(stderr, "usage: encoder_bench [--settings] [--width W] [--budget-kb N] [--no-quality] [FILE-OR-FOLDER...]\n");
        return 2;
    }
    return settingsMode ? settings(files, width, budget) : typesAndBudget(files, width, budget, measureQuality);
}
