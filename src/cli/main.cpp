#include "ConvertCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <malloc.h>

int main(int argc, char *argv[])
{
    // Pictures come one after another at similar sizes: keep freed buffers for the next one
    // instead of returning them to the system and faulting fresh pages in every time.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
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
