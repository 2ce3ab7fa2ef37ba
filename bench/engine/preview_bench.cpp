// The live preview's cost: one loaded photo converted again and again to a 1200 px wide
// JPEG with every adjustment, an effect and sharpening on, as each slider move does,
// including the encode and the temp preview file write. Prints the median and spread.
//
// usage: preview_bench PHOTO [RUNS]   (writes only below a temporary folder)

#include "ImageEncoders.h"
#include "PhotoManipulator.h"
#include "Picture.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: preview_bench PHOTO [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(3, atoi(argv[2])) : 30;
    QStandardPaths::setTestModeEnabled(true); // the support folder goes under ~/.qttest
    QTemporaryDir prefs;
    UserDefaults::setStandardFilePath(prefs.filePath(QStringLiteral("Quillpane.json")));
    UserDefaults::standard().setIntegerForKey(0, QStringLiteral("fileFormat"));
    QDir().mkpath(QFileInfo(tempPreviewPath(0)).absolutePath());

    using clock = std::chrono::steady_clock;
    const auto loadStart = clock::now();
    const auto picture = Picture::readFile(QString::fromLocal8Bit(argv[1]));
    if (!picture) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const double loadMs = std::chrono::duration<double, std::milli>(clock::now() - loadStart).count();
    const QSize size = picture->sourcePixelSize();
    const float height = std::round(1200.0f * float(size.height()) / float(size.width()));

    PhotoManipulator engine;
    engine.awakeFromNib();
    std::vector<double> times, cpuTimes;
    auto cpuNow = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    };
    for (int i = 0; i < runs + 1; ++i) {
        // A slider moving: the saturation changes a little on every render.
        const QVariantMap settings = {{"scalemode", 0}, {"resamplemode", 0}, {"xabs", 1200.0f}, {"yabs", height}, {"xratio", 1.0f},
                                      {"yratio", 1.0f}, {"quality", 0.9f}, {"sharpen", 0.5f}, {"saturation", 1.1f + 0.01f * float(i)},
                                      {"brightness", 0.1f}, {"exposure", 0.3f}, {"contrast", 1.1f}, {"vibrance", 0.3f},
                                      {"temperature", 12.9f}, {"filter", 4}, {"filterintensity", 1.0f}};
        const auto start = clock::now();
        const double cpuStart = cpuNow();
        engine.convertNSImageForWebWithSettings(picture, settings);
        times.push_back(std::chrono::duration<double, std::milli>(clock::now() - start).count());
        cpuTimes.push_back(cpuNow() - cpuStart);
    }
    const double first = times.front();
    times.erase(times.begin());
    cpuTimes.erase(cpuTimes.begin());
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    std::printf("photo %s: %d x %d, read in %.0f ms\n", argv[1], size.width(), size.height(), loadMs);
    std::printf("first render (makes the pre-shrunk level): %.1f ms\n", first);
    std::printf("preview renders: %d, median %.1f ms, min %.1f, max %.1f (output %s, %lld bytes)\n", runs, times[times.size() / 2],
                times.front(), times.back(), qPrintable(tempPreviewPath(0)), (long long)QFileInfo(tempPreviewPath(0)).size());
    // Processor time over all threads: on a busy shared machine the truer figure of work.
    std::printf("processor time per render (all threads): median %.1f ms\n", cpuTimes[cpuTimes.size() / 2]);
    return 0;
}
