// How quickly the preview follows a slider: a photo in the main window at an output
// width, then slider steps through the window's own path (the dispatcher, the render,
// the temp file read back into the well and the size label), timed one by one.
//
//   qp_window_preview_bench PHOTO [WIDTH] [STEPS] [--screenshot FILE.png [--adjustments]]
//
// Uses a throw-away preferences file and support folder. With --screenshot the window is
// shown and grabbed after the steps (run it under xvfb-run for a real display).

#include "Controls.h"
#include "FormatManager.h"
#include "ImageEncoders.h"
#include "Picture.h"
#include "ShrinkerController.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <vector>

namespace {

// CPU time of the whole process (all threads), in milliseconds: less sensitive than the
// wall clock to other programs sharing the cores.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/quillpane-bench-XXXXXX"));
    setenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8().constData(), 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpane"));
    QTextStream out(stdout);

    QStringList args = QApplication::arguments().mid(1);
    QString screenshot;
    if (const qsizetype at = args.indexOf(QStringLiteral("--screenshot")); at >= 0 && at + 1 < args.size()) {
        screenshot = args.at(at + 1);
        args.remove(at, 2);
    }
    const bool adjustmentsTab = args.removeAll(QStringLiteral("--adjustments")) > 0;
    if (args.isEmpty()) {
        out << "usage: qp_window_preview_bench PHOTO [WIDTH] [STEPS] [--screenshot FILE.png]\n";
        return 2;
    }
    const QString photo = args.at(0);
    const QString width = args.size() > 1 ? args.at(1) : QStringLiteral("1200");
    const int steps = args.size() > 2 ? args.at(2).toInt() : 15;

    UserDefaults::setStandardFilePath(home.filePath(QStringLiteral("Quillpane.json")));
    ShrinkerController controller;
    FormatManager formatManager(controller.uiWindow, controller.formatsInfo);
    controller.manipulator.awakeFromNib();
    controller.awakeFromNib();
    formatManager.awakeFromNib();
    controller.applicationDidFinishLaunching();
    if (!screenshot.isEmpty())
        controller.uiWindow->show();

    QElapsedTimer timer;
    timer.start();
    std::shared_ptr<const Picture> picture = Picture::readFile(photo);
    if (!picture) {
        out << "cannot read " << photo << "\n";
        return 1;
    }
    const double readMs = double(timer.nsecsElapsed()) / 1e6;

    // The picture arrives as the intake gives it: ratio, height from the width, render.
    controller.sizeFieldW->setText(width);
    timer.restart();
    controller.inputImage = picture;
    controller.calculateRatio();
    controller.applyAspectRatio(&controller);
    controller.updateOutputImage();
    const double firstMs = double(timer.nsecsElapsed()) / 1e6;

    // Slider steps by keyboard, each one a full render through the dispatcher.
    std::vector<double> stepMs;
    std::vector<double> stepCpuMs;
    ValueSlider *sliders[] = {controller.exposureSlider, controller.saturationSlider, controller.qualitySlider,
                              controller.sharpenSlider};
    for (int i = 0; i < steps; ++i) {
        ValueSlider *slider = sliders[i % 4];
        const Qt::Key key = (i / 4) % 2 ? Qt::Key_Left : Qt::Key_Right;
        const double cpu = processCpuMs();
        timer.restart();
        QTest::keyClick(slider, key);
        stepMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        stepCpuMs.push_back(processCpuMs() - cpu);
    }

    // The two halves of a step: the engine's conversion, and the read-back of its file.
    std::vector<double> convertMs;
    std::vector<double> showMs;
    const QVariantMap settings = controller.previewSettings();
    const QString tempFile = tempPreviewPath(0);
    const QSizeF shownSize(controller.sizeFieldW->text().toDouble(), controller.sizeFieldH->text().toDouble());
    for (int i = 0; i < std::max(3, steps / 3); ++i) {
        timer.restart();
        controller.manipulator.convertNSImageForWebWithSettings(picture, settings);
        convertMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        controller.showPreviewFile(tempFile, shownSize);
        showMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }

    const QSize pixels = picture->sourcePixelSize();
    out << "photo " << photo << " " << pixels.width() << "x" << pixels.height() << " ("
        << QString::number(double(pixels.width()) * pixels.height() / 1e6, 'f', 1) << " MP)\n";
    out << "output " << controller.sizeFieldW->text() << "x" << controller.sizeFieldH->text()
        << ", file size label \"" << controller.tfFileSize->text() << "\"\n";
    out << "read (decode) ms: " << QString::number(readMs, 'f', 1) << "\n";
    out << "first render ms: " << QString::number(firstMs, 'f', 1) << "\n";
    out << "slider step ms over " << steps << " steps: median " << QString::number(percentile(stepMs, 0.5), 'f', 1)
        << ", p90 " << QString::number(percentile(stepMs, 0.9), 'f', 1) << ", max "
        << QString::number(*std::max_element(stepMs.begin(), stepMs.end()), 'f', 1) << "; CPU ms (all threads) median "
        << QString::number(percentile(stepCpuMs, 0.5), 'f', 1) << "\n";
    out << "of which conversion ms: median " << QString::number(percentile(convertMs, 0.5), 'f', 1)
        << ", read-back and display ms: median " << QString::number(percentile(showMs, 0.5), 'f', 1) << "\n";
    out.flush();

    if (!screenshot.isEmpty()) {
        if (adjustmentsTab)
            controller.showAdjustmentsWindow();
        QTest::qWait(300);
        const QPixmap shot = controller.uiWindow->grab();
        if (!shot.save(screenshot)) {
            out << "cannot write " << screenshot << "\n";
            return 1;
        }
        out << "screenshot " << screenshot << "\n";
    }
    return 0;
}
