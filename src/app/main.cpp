// The program: builds the main window with its engine, runs their start-up in order,
// and hands over to the event loop.

#include "AppDelegate.h"
#include "CommandLineIntake.h"
#include "FileDialogPresenter.h"
#include "FormatManager.h"
#include "Manual.h"
#include "ShrinkerController.h"

#include <QApplication>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillpane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillpane"));

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
