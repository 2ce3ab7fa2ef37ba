// The program: builds the main window with its engine, runs their start-up in order,
// and hands over to the event loop.

#include "AllocatorTuning.h"
#include "AppDelegate.h"
#include "CommandLineIntake.h"
#include "FileDialogPresenter.h"
#include "FormatManager.h"
#include "Manual.h"
#include "QuillpaneVersion.h"
#include "ShrinkerController.h"

#include <QApplication>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

const char usage[] =
    "usage: quillpane [options] [PICTURE...]\n"
    "\n"
    "Opens the window that makes web-ready copies of pictures: an output size in whole\n"
    "pixels, a type (jpeg, png, tiff), a quality, sharpening, colour adjustments and one\n"
    "effect, with a live preview that shows the real size of the encoded file; Save\n"
    "writes the output and its extra formats (such as @2x and @3x copies), for one\n"
    "picture or a batch.\n"
    "\n"
    "Each PICTURE given (a path or a file:// address) is opened as a picture dropped on\n"
    "the window is; several make a batch. This is how the desktop opens JPEG, PNG, GIF,\n"
    "TIFF, WebP, HEIC, AVIF, PDF, AI and EPS files with Quillpane.\n"
    "\n"
    "Options:\n"
    "  -h, --help            this text\n"
    "      --version         the program's name and version\n"
    "      --                the arguments after it are pictures, even those that start\n"
    "                        with \"-\"\n"
    "Qt's own options, such as -platform offscreen, are understood too.\n"
    "\n"
    "The preferences are kept in ~/.config/Quillpane/Quillpane.json. quillpane-convert\n"
    "makes the same copies from the command line, with the same engine.\n";

// --help and --version are answered before anything needs a display. -1: neither was asked.
int answerInformationOptions(int argc, char *argv[])
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return std::fputs(usage, stdout) < 0 ? 1 : 0;
        if (std::strcmp(argv[i], "--version") == 0)
            return std::printf("quillpane %s\n", quillpaneVersion) < 0 ? 1 : 0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int status = answerInformationOptions(argc, argv); status >= 0)
        return status;
    keepFreedPictureMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillpane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillpane.Quillpane"));

    ShrinkerController controller;
    // Dialogs and panels take the main window's mark.
    QApplication::setWindowIcon(controller.uiWindow->windowIcon());
    AppDelegate delegate;
    delegate.window = controller.uiWindow;
    FormatManager formatManager(controller.uiWindow, controller.formatsInfo);
    QObject::connect(controller.formatsButton, &QPushButton::clicked, &formatManager, &FormatManager::showFormatsPanel);
    formatManager.connectHelp(controller.manual);

    controller.manipulator.awakeFromNib();
    controller.awakeFromNib();
    // After the first-run values: seeding reads "create2xVersion" and "create3xVersion",
    // so on a first run the built-in formats start selected.
    formatManager.awakeFromNib();

    FileDialogPresenter presenter(controller.uiWindow);
    DialogPresenter::install(&presenter);

    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &controller, [&controller](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            controller.applicationDidBecomeActive();
    });
    controller.uiWindow->show();
    // Launching has finished once the event loop runs.
    QTimer::singleShot(0, &controller, [&controller, &delegate] {
        controller.applicationDidFinishLaunching();
        delegate.applicationDidFinishLaunching();
        // Files given to the program, as the desktop opens pictures with it.
        openCommandLinePaths(controller, QCoreApplication::arguments().mid(1));
    });
    const int status = app.exec();
    DialogPresenter::install(nullptr);
    return status;
}
