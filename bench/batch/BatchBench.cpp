// The window's batch save, timed: the pictures given as a batch list, two formats selected,
// saved by the Save command into a fresh folder, as a person would. Prints the wall time
// of each pass and their median. Run it through run.sh to compare with quillpane-convert
// making the same outputs from the same preferences.
//
//   qp_batch_bench [--runs N] [--width W] OUTDIR FILE...
//
// The preferences are the standard store (set XDG_CONFIG_HOME for a private one); the
// program writes into it the settings the comparison uses.

#include "AllocatorTuning.h"
#include "Controls.h"
#include "Dialogs.h"
#include "Preferences.h"
#include "ShrinkerController.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTextStream>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Answers the folder panel with the run's folder.
class FolderPresenter : public DialogPresenter {
public:
    QString folder;
    int runAlertPanel(const AlertPanel &panel) override
    {
        QTextStream(stderr) << panel.title << ": " << panel.message << "\n";
        return AlertDefault;
    }
    void beep() override {}
    FilePanelResult runOpenPanel(const FilePanel &) override { return {1, {QUrl::fromLocalFile(folder)}}; }
};

QVariantMap format(const QString &modifier, int scalemode, const QString &key, const QString &value)
{
    QVariantMap record{{"name", modifier}, {"modifier", modifier}, {"scalemode", scalemode}, {"xabs", ""}, {"yabs", ""},
                       {"xratio", ""}, {"yratio", ""}, {"maxeither", ""}, {"relativeto", 1}, {"resamplemode", 3},
                       {"fillcolour", 0}, {"selected", true}};
    record[key] = value;
    if (key == "xratio")
        record["yratio"] = value;
    return record;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    keepFreedPictureMemory(); // as the program does
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpane"));
    QStringList args = app.arguments().mid(1);
    int runs = 3;
    int width = 1200;
    while (args.size() > 1 && args.first().startsWith("--")) {
        const QString option = args.takeFirst();
        (option == "--runs" ? runs : width) = args.takeFirst().toInt();
    }
    if (args.size() < 3) {
        QTextStream(stderr) << "usage: qp_batch_bench [--runs N] [--width W] OUTDIR FILE FILE...\n";
        return 2;
    }
    const QString outRoot = QFileInfo(args.takeFirst()).absoluteFilePath();

    UserDefaults &defaults = UserDefaults::standard();
    // Two formats: twice the base output, and a thumbnail whose longest side is 300.
    defaults.setObjectForKey(QVariantList{format("@2x", 1, "xratio", "2"), format("-thumb", 2, "maxeither", "300")}, PrefKey::formats);
    defaults.setIntegerForKey(0, PrefKey::fileFormat);
    defaults.setIntegerForKey(0, PrefKey::makeDirectoryForBatch);
    defaults.setIntegerForKey(0, PrefKey::resetSliders);
    defaults.setBoolForKey(false, PrefKey::retinaDisplay);

    FolderPresenter presenter;
    DialogPresenter::install(&presenter);
    ShrinkerController controller;
    controller.mainScreenScale = [] { return 1.0; };
    controller.manipulator.awakeFromNib();
    controller.awakeFromNib();
    controller.applicationDidFinishLaunching();
    controller.setAdjustmentZeros();
    controller.temperatureSlider->setFloatValue(float(std::log2(6500.0)));
    controller.sharpenSlider->setFloatValue(0.0f);
    controller.qualitySlider->setFloatValue(90.0f);
    controller.constrain->setChecked(true);
    controller.handleControl(controller.constrain);
    controller.sizeFieldW->setText(QString::number(width));
    controller.handleControl(controller.sizeFieldW);
    controller.multipleImagesProvided(args);

    std::vector<double> seconds;
    QTextStream out(stdout);
    for (int run = 0; run < runs; ++run) {
        presenter.folder = QDir(outRoot).filePath(QStringLiteral("window-run%1").arg(run));
        QDir(presenter.folder).removeRecursively();
        QDir().mkpath(presenter.folder);
        QElapsedTimer timer;
        timer.start();
        controller.doit();
        controller.waitForBatch();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        out << "window batch run " << run << ": " << QString::number(seconds.back(), 'f', 2) << " s, "
            << QDir(presenter.folder).entryList(QDir::Files).size() << " files\n";
        out.flush();
    }
    std::sort(seconds.begin(), seconds.end());
    out << "window batch median: " << QString::number(seconds[seconds.size() / 2], 'f', 2) << " s for " << args.size()
        << " pictures\n";
    DialogPresenter::install(nullptr);
    return 0;
}
