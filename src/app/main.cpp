// Until the main window exists, the program opens a small window that says so.

#include "Preferences.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpane"));
    writeFirstRunValues(UserDefaults::standard(), [] {
        const QScreen *screen = QGuiApplication::primaryScreen();
        return screen ? screen->devicePixelRatio() : 1.0;
    });
    repairAdjustmentDefaults(UserDefaults::standard());
    QLabel label(QStringLiteral("Quillpane\n\nThe main window is not built yet: this build has the preferences "
                                "and the format store only."));
    label.setAlignment(Qt::AlignCenter);
    label.setMargin(32);
    label.setWindowTitle(QStringLiteral("Quillpane"));
    label.show();
    return app.exec();
}
