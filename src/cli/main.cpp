#include "AllocatorTuning.h"
#include "ConvertCommand.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    keepFreedPictureMemory();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillpane-convert"));
    QString error;
    bool help = false;
    const auto command = parseConvertArguments(QCoreApplication::arguments().mid(1), error, help);
    if (help) {
        std::fputs(qPrintable(convertUsage()), stdout);
        return 0;
    }
    if (!command) {
        std::fprintf(stderr, "quillpane-convert: %s\n(quillpane-convert --help describes the options)\n", qPrintable(error));
        return 2;
    }
    return runConvertCommand(*command);
}
