#include "NotificationCenter.h"
#include "QP_ImageView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLayout>
#include <QMainWindow>
#include <QMimeData>
#include <QPainter>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

struct Posted {
    QString name;
    QVariantMap userInfo;
};

// Records what the well posts on the default centre while the test runs.
class ImageWellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString &name : {Notification::imageDropped, Notification::imagePasted}) // heard while the window lives
            NotificationCenter::defaultCenter().addObserver(
                name, [this](const QString &n, const QVariantMap &info) { posted.push_back({n, info}); }, &window);
        window.setCentralWidget(well);
        window.resize(400, 300);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void drop(QMimeData *mime)
    {
        const QPoint centre = well->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(well, &enter);
        enterAccepted = enter.isAccepted();
        QDropEvent dropEvent(QPointF(centre), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(well, &dropEvent);
    }

    QMainWindow window;
    QP_ImageView *well = new QP_ImageView;
    std::vector<Posted> posted;
    bool enterAccepted = false;
};

QPixmap solid(QColor colour, int w = 40, int h = 30)
{
    QPixmap pixmap(w, h);
    pixmap.fill(colour);
    return pixmap;
}

} // namespace

TEST_F(ImageWellTest, OnlyLocalFilesAreTakenAndPostedInDragOrder)
{
    const QUrl web(QStringLiteral("https://example.org/a.jpg"));
    QMimeData files, webOnly, mixed, text, picture;
    files.setUrls({QUrl::fromLocalFile("/photos/b beach.jpg"), QUrl::fromLocalFile("/photos/a.png"),
                   QUrl::fromLocalFile("/tmp/été/c.tiff")});
    webOnly.setUrls({web});
    mixed.setUrls({web, QUrl::fromLocalFile("/p/b.jpg")});
    text.setText(QStringLiteral("/photos/a.jpg"));
    picture.setImageData(QImage(8, 8, QImage::Format_RGB32));
    for (QMimeData *refused : {&webOnly, &text}) {
        drop(refused);
        EXPECT_FALSE(enterAccepted);
    }
    drop(&picture);
    EXPECT_TRUE(posted.empty());

    drop(&files);
    EXPECT_TRUE(enterAccepted);
    drop(&mixed);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].name, QStringLiteral("QPImageDroppedNotification"));
    EXPECT_EQ(posted[0].userInfo.keys(), QStringList{QStringLiteral("imageFileNames")});
    EXPECT_EQ(posted[0].userInfo.value(Notification::imageFileNames).toStringList(),
              (QStringList{QStringLiteral("/photos/b beach.jpg"), QStringLiteral("/photos/a.png"),
                           QStringLiteral("/tmp/été/c.tiff")}));
    EXPECT_EQ(posted[1].userInfo.value(Notification::imageFileNames).toStringList(), QStringList{QStringLiteral("/p/b.jpg")});
}

TEST_F(ImageWellTest, PasteWhileFocusedPostsAndLeavesThePictureAlone)
{
    // A window-wide Paste shortcut, as the main window's Edit menu has, must not take Ctrl+V.
    int windowPastes = 0;
    auto *windowPaste = new QAction(&window);
    windowPaste->setShortcut(QKeySequence::Paste);
    QObject::connect(windowPaste, &QAction::triggered, [&] { ++windowPastes; });
    window.addAction(windowPaste);

    well->setImage(solid(Qt::red));
    QApplication::clipboard()->setImage(QImage(16, 16, QImage::Format_RGB32));
    well->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return well->hasFocus(); }));
    QTest::keyClick(well, Qt::Key_V, Qt::ControlModifier);

    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].name, QStringLiteral("QPImagePastedNotification"));
    EXPECT_TRUE(posted[0].userInfo.isEmpty());
    EXPECT_EQ(windowPastes, 0);
    EXPECT_EQ(well->image().size(), QSize(40, 30));
    EXPECT_EQ(well->image().toImage().pixelColor(5, 5), QColor(Qt::red));
}

TEST_F(ImageWellTest, ShowsItsPictureUnscaledAndCentred)
{
    // A red band 10 px wide at the right: unscaled, it lies 40 to 49 px right of the centre.
    QPixmap picture = solid(Qt::blue, 100, 100);
    {
        QPainter painter(&picture);
        painter.fillRect(90, 0, 10, 100, Qt::red);
    }
    well->setImage(picture);
    const QImage shown = well->grab().toImage();
    const QPoint centre = well->contentsRect().center();
    EXPECT_EQ(shown.pixelColor(centre + QPoint(45, 0)), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(centre + QPoint(30, 0)), QColor(Qt::blue));
    EXPECT_NE(shown.pixelColor(centre + QPoint(60, 0)), QColor(Qt::red));

    // A picture larger than the well is clipped, not a reason to grow the window.
    const QSize before = window.size();
    well->setImage(solid(Qt::green, 3000, 2000));
    window.layout()->activate();
    QApplication::processEvents();
    EXPECT_EQ(window.size(), before);
    EXPECT_LE(window.minimumSize().width(), before.width());
    EXPECT_EQ(well->grab().toImage().pixelColor(well->contentsRect().center()), QColor(Qt::green));
}
