#include "NotificationCenter.h"
#include "QP_ImageView.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

class ImageWellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString &name : {Notification::imageDropped, Notification::imagePasted}) // heard while the window lives
            NotificationCenter::defaultCenter().addObserver(
                name, [this](const QString &n, const QVariantMap &info) { posted.push_back({n, info}); }, &window);
        window.setCentralWidget(well);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    bool drop(QMimeData *mime) // whether the well accepted the drag
    {
        const QPoint centre = well->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(well, &enter);
        QDropEvent dropEvent(QPointF(centre), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(well, &dropEvent);
        return enter.isAccepted();
    }

    QMainWindow window;
    QP_ImageView *well = new QP_ImageView;
    std::vector<std::pair<QString, QVariantMap>> posted;
};

TEST_F(ImageWellTest, DropsOfLocalFilesArePostedInDragOrderAndAPasteOnlyWhileFocused)
{
    QMimeData files, webOnly, mixed;
    const QStringList local = {"/photos/b beach.jpg", "/photos/a.png", "/tmp/été/c.tiff"};
    files.setUrls({QUrl::fromLocalFile(local[0]), QUrl::fromLocalFile(local[1]), QUrl::fromLocalFile(local[2])});
    webOnly.setUrls({QUrl("https://example.org/a.jpg")});
    mixed.setUrls({webOnly.urls()[0], QUrl::fromLocalFile("/p/b.jpg")});
    EXPECT_FALSE(drop(&webOnly));
    EXPECT_TRUE(drop(&files));
    drop(&mixed);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0], std::make_pair(QString("QPImageDroppedNotification"), QVariantMap({{"imageFileNames", local}})));
    EXPECT_EQ(posted[1].second.value(Notification::imageFileNames).toStringList(), QStringList{"/p/b.jpg"});

    // A window-wide Paste shortcut, as the main window's Edit menu has, must not take Ctrl+V.
    QAction *windowPaste = window.addAction(QStringLiteral("Paste"), QKeySequence::Paste);
    QSignalSpy windowPastes(windowPaste, &QAction::triggered);
    QApplication::clipboard()->setImage(QImage(16, 16, QImage::Format_RGB32));
    well->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return well->hasFocus(); }));
    QTest::keyClick(well, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[2], std::make_pair(QString("QPImagePastedNotification"), QVariantMap()));
    EXPECT_EQ(windowPastes.count(), 0);
    EXPECT_TRUE(well->image().isNull()) << "the clipboard's picture is the window's to take";
}
