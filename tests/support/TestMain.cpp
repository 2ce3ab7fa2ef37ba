// Each test process gets its own home, config and data folders before Qt looks, so no test touches the person's files.

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/quillpane-test-XXXXXX"));
    if (!home.isValid())
        return 2;
    const QByteArray root = home.path().toUtf8();
    setenv("HOME", root.constData(), 1);
    for (const QByteArray folder : {"config", "data", "cache"})
        setenv(("XDG_" + folder.toUpper() + "_HOME").constData(), (root + "/" + folder).constData(), 1);
    setenv("XDG_RUNTIME_DIR", root.constData(), 1);
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillpane"));
    return RUN_ALL_TESTS();
}
