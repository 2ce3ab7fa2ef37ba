#pragma once
// Shared by the tests: a fresh preferences file per test, and stand-ins for the boundaries a test cannot reach.

#include "Dialogs.h"
#include "UserDefaults.h"

#include <QDesktopServices>
#include <QObject>
#include <QSize>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariantList>
#include <gtest/gtest.h>

#include <deque>
#include <memory>

// Points the standard user defaults at an empty file in a new temporary folder.
class FreshDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        UserDefaults::setStandardFilePath(defaultsPath());
    }
    void TearDown() override { UserDefaults::standard().synchronize(); }
    QString defaultsPath() const { return folder.filePath(QStringLiteral("Quillpane.json")); }
    QTemporaryDir folder;
};

// Answers alerts as the person would (the default button once `answers` runs out); remembers what was asked.
class ScriptedPresenter : public DialogPresenter {
public:
    std::deque<int> answers;
    QList<AlertPanel> asked;
    int beeps = 0;
    int runAlertPanel(const AlertPanel &panel) override;
    void beep() override { ++beeps; }
    QStringList messages() const;
};

// Stands in for the browser: takes the addresses the program asks the desktop to open while it lives.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

// The pixel size a WebP or AVIF file declares, read by libwebp or libavif; invalid for anything else.
QSize webPictureSize(const QString &path);

// The "name" of every record in a stored format list.
QStringList formatNames(const QVariantList &list);

// How a person sends a message box away without choosing one of its buttons.
enum class Dismissal { EscapeKey, CloseWindow };
// What happened to the dismissed box; one the dismissal left open is ended with its default button.
struct DismissedBox {
    bool shown = false;
    QString message;
    bool leftOpen = false;
};
// Dismisses the next message box that shows (a real key press, or closing its window).
std::shared_ptr<DismissedBox> dismissNextMessageBox(Dismissal how);
inline const char *dismissalName(Dismissal how) { return how == Dismissal::EscapeKey ? "Escape" : "closing the window"; }
