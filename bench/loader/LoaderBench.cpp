// Times decoding real photos at full size and at 1/2, 1/4 and 1/8 (JPEG's DCT scaling),
// against vips and ImageMagick decoding the same files at the same sizes in the same run.
//
//   qp_loader_bench [--runs N] [FILE-OR-FOLDER...]     (default: /tmp/quillpane-bench/corpus)
//   qp_loader_bench --decode SHIFT FILE                (one decode; used for the process timing)
//
// Columns: "ours" decodes in this process from bytes already in memory; "ours-proc" runs
// this program once per decode, file reading and start-up included, which is what the
// vips and ImageMagick columns measure too. Figures are medians in milliseconds.

#include "ImageDecoders.h"
#include "Picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeIt(int runs, const std::function<bool()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!work())
            return -1;
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return false;
    process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString cell(double ms)
{
    return ms < 0 ? QStringLiteral("-") : QString::number(ms, 'f', 1);
}

int decodeOnce(int shift, const QString &path)
{
    auto picture = Picture::referenceFile(path);
    if (!picture || picture->representations().empty())
        return 1;
    auto pixels = picture->representations().back()->pixelsReduced(shift);
    return pixels ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--decode"))
        return decodeOnce(args[1].toInt(), args[2]);
    int runs = 5;
    if (args.size() >= 2 && args[0] == QLatin1String("--runs")) {
        runs = std::max(1, args[1].toInt());
        args = args.mid(2);
    }
    if (args.isEmpty())
        args << QStringLiteral("/tmp/quillpane-bench/corpus");
    QStringList files;
    for (const QString &arg : args) {
        QFileInfo info(arg);
        if (info.isDir()) {
            for (const QFileInfo &entry : QDir(arg).entryInfoList({"*.jpg", "*.jpeg", "*.png", "*.tif", "*.tiff"}, QDir::Files, QDir::Name))
                files << entry.absoluteFilePath();
            for (const QFileInfo &entry : QDir(arg + "/extra").entryInfoList({"*.png", "*.tif", "*.tiff"}, QDir::Files, QDir::Name))
                files << entry.absoluteFilePath();
        } else {
            files << info.absoluteFilePath();
        }
    }
    const QString self = QCoreApplication::applicationFilePath();
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    // The real ImageMagick, not a wrapper that may sit earlier on PATH.
    const QString magick = QFile::exists(QStringLiteral("/usr/bin/convert")) ? QStringLiteral("/usr/bin/convert")
                                                                               : QStandardPaths::findExecutable(QStringLiteral("convert"));
    std::printf("runs per figure: %d (median, ms); vips: %s; ImageMagick: %s\n", runs,
                qPrintable(vips.isEmpty() ? QStringLiteral("missing") : vips),
                qPrintable(magick.isEmpty() ? QStringLiteral("missing") : magick));
    std::printf("%-26s %5s %11s %8s %9s %8s %8s\n", "file", "scale", "size", "ours", "ours-proc", "vips", "magick");
    double totals[4][4] = {};
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        const PictureFormat format = sniffPictureFormat(bytes);
        std::vector<BitmapPageInfo> pages;
        QString error;
        if (!probeBitmap(bytes, format, pages, error)) {
            std::printf("%s: %s\n", qPrintable(path), qPrintable(error));
            continue;
        }
        const int maxShift = format == PictureFormat::JPEG ? 3 : 0;
        for (int shift = 0; shift <= maxShift; ++shift) {
            int width = 0, height = 0;
            const double ours = timeIt(runs, [&] {
                auto pixels = decodeBitmap(bytes, format, 0, shift, error);
                if (pixels) {
                    width = pixels->width;
                    height = pixels->height;
                }
                return pixels != nullptr;
            });
            const double oursProcess = timeIt(runs, [&] { return run(self, {"--decode", QString::number(shift), path}); });
            // vips: jpegload's shrink is DCT scaling too; "avg" forces every pixel to be decoded.
            const QString vipsInput = shift && format == PictureFormat::JPEG ? path + QStringLiteral("[shrink=%1]").arg(1 << shift) : path;
            const double vipsTime = vips.isEmpty() ? -1 : timeIt(runs, [&] { return run(vips, {"avg", vipsInput}); });
            // ImageMagick: jpeg:size lets libjpeg scale in the DCT; null: discards the pixels.
            QStringList magickArgs;
            if (shift)
                magickArgs << "-define" << QStringLiteral("jpeg:size=%1x%2").arg(width).arg(height);
            magickArgs << path << "null:";
            const double magickTime = magick.isEmpty() ? -1 : timeIt(runs, [&] { return run(magick, magickArgs); });
            if (format == PictureFormat::JPEG) {
                totals[shift][0] += ours;
                totals[shift][1] += oursProcess;
                totals[shift][2] += vipsTime;
                totals[shift][3] += magickTime;
            }
            std::printf("%-26s %5s %11s %8s %9s %8s %8s\n", qPrintable(QFileInfo(path).fileName().left(26)),
                        qPrintable(QStringLiteral("1/%1").arg(1 << shift)), qPrintable(QStringLiteral("%1x%2").arg(width).arg(height)),
                        qPrintable(cell(ours)), qPrintable(cell(oursProcess)), qPrintable(cell(vipsTime)), qPrintable(cell(magickTime)));
            std::fflush(stdout);
        }
    }
    std::printf("\nall JPEGs, sum of medians (ms):\n%5s %8s %9s %8s %8s\n", "scale", "ours", "ours-proc", "vips", "magick");
    for (int shift = 0; shift < 4; ++shift)
        std::printf("%5s %8.0f %9.0f %8.0f %8.0f\n", qPrintable(QStringLiteral("1/%1").arg(1 << shift)), totals[shift][0], totals[shift][1],
                    totals[shift][2], totals[shift][3]);
    return 0;
}
