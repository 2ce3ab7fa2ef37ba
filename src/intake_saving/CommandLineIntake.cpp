#include "CommandLineIntake.h"

#include "ShrinkerController.h"

#include <QFileInfo>
#include <QUrl>

QStringList commandLinePaths(const QStringList &arguments)
{
    QStringList paths;
    bool optionsEnded = false;
    for (const QString &argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument.isEmpty() || (!optionsEnded && argument.startsWith(QLatin1Char('-'))))
            continue;
        QString path = argument;
        if (argument.startsWith(QLatin1String("file:"))) {
            const QUrl url(argument);
            if (!url.isLocalFile())
                continue;
            path = url.toLocalFile();
        }
        paths << QFileInfo(path).absoluteFilePath();
    }
    return paths;
}

void openCommandLinePaths(ShrinkerController &controller, const QStringList &arguments)
{
    const QStringList paths = commandLinePaths(arguments);
    if (paths.size() == 1)
        controller.applicationOpenFile(paths.first());
    else if (paths.size() > 1)
        controller.applicationOpenFiles(paths);
}
