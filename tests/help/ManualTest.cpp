#include "Manual.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace {

class ManualTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.setGeometry(40, 60, 300, 200);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(button);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QAbstractButton *moreHelp() const { return manual.hintPopover()->findChild<QAbstractButton *>("moreHelpButton"); }

    QWidget window;
    QPushButton *button = new QPushButton(QStringLiteral("?"));
    Manual manual;
    UrlCatcher catcher;
};

} // namespace

TEST(ManualSizeTest, HeightGrowsBySeventeenForEveryFiftyFiveCharacters)
{
    const QRect origin(12, 34, 5, 5);
    const std::pair<int, int> cases[] = {{0, 67}, {54, 67}, {55, 84}, {109, 84}, {110, 101}};
    for (const auto &[length, height] : cases)
        EXPECT_EQ(Manual::resizeFrameForString(origin, QString(length, QLatin1Char('a'))), QRect(12, 34, 438, height))
            << length;
}

TEST_F(ManualTest, EachHintShowsItsTextInAPopoverOfTheRuleSize)
{
    const struct {
        void (Manual::*action)(QWidget *);
        const char *topic;
        int length, height;
    } cases[] = {
        {&Manual::baseFormat, "Base format", 155, 101},   {&Manual::filenameModifier, "Filename modifier", 155, 101},
        {&Manual::outputFormat, "Output format", 290, 152}, {&Manual::quality, "Quality slider", 129, 101},
        {&Manual::sharpening, "Sharpen slider", 335, 169}, {&Manual::resizeMode, "Resize mode", 201, 118},
        {&Manual::relativeSizes, "Resize mode", 194, 118},
    };
    QPointer<HintPopover> previous;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.topic);
        (manual.*c.action)(button);
        HintPopover *popover = manual.hintPopover();
        ASSERT_NE(popover, nullptr);
        EXPECT_EQ(manual.context(), QString::fromUtf8(c.topic));
        EXPECT_EQ(popover->textField()->text().size(), c.length);
        EXPECT_EQ(popover->size(), QSize(438, c.height));
        EXPECT_TRUE(popover->isVisible());
        EXPECT_EQ(popover->windowType(), Qt::Popup);
        EXPECT_TRUE(previous.isNull() || (previous != popover && !previous->isVisible())); // a new one each time
        previous = popover;
    }
    manual.closePopover();
    EXPECT_FALSE(previous->isVisible());
    manual.closePopover(); // closing again is harmless
    manual.outputFormat(button);
    EXPECT_EQ(manual.hintPopover()->textField()->text(),
              QStringLiteral("jpeg and png are suitable for the web. jpg can be compressed as much as you choose to "
                             "make a smaller file but quality is lost. tiff preserves the original image data the "
                             "best but gives the largest file size and is not so suitable for web. The file size "
                             "shown is the size of the base format."));
    manual.sharpening(button);
    EXPECT_TRUE(manual.hintPopover()->textField()->text().contains(QStringLiteral("crisper result.  Use the magic")));
}

TEST_F(ManualTest, PopoverPointsAtTheSendersRightEdgeOrTheLeftWhenTheScreenEnds)
{
    for (const bool atScreenEdge : {false, true}) {
        if (atScreenEdge)
            window.move(window.screen()->availableGeometry().right() - 320, 60);
        QTest::qWait(0);
        manual.quality(button);
        const QRect anchor = Manual::convertToScreen(button);
        const QRect shown = manual.hintPopover()->geometry();
        EXPECT_EQ(manual.hintPopover()->pointsLeft(), !atScreenEdge);
        EXPECT_EQ(atScreenEdge ? shown.right() : shown.left(), atScreenEdge ? anchor.left() - 1 : anchor.right() + 1);
        EXPECT_NEAR(shown.center().y(), anchor.center().y(), 1);
    }
    // A click in the main window, delivered as the window system would, closes it.
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manual.hintPopover() || !manual.hintPopover()->isVisible(); }));
}

TEST_F(ManualTest, MoreHelpOpensTheShippedPageAtTheTopicsAnchorAndRewritesADamagedOne)
{
    const QUrl plain = Manual::helpPageUrl();
    EXPECT_FALSE(plain.hasFragment());
    QFile page(plain.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::WriteOnly | QIODevice::Truncate));
    page.write("broken");
    page.close();
    manual.morehelp(); // before any hint: no anchor
    manual.baseFormat(button);
    QTest::mouseClick(moreHelp(), Qt::LeftButton);
    EXPECT_FALSE(manual.hintPopover()->isVisible());
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0], plain);
    EXPECT_EQ(catcher.urls[1].fragment(), QStringLiteral("Base_format"));
    EXPECT_EQ(catcher.urls[1].toLocalFile(), plain.toLocalFile());

    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    // Every topic a hint can leave behind has its anchor on the page.
    for (const char *anchor :
         {"Base_format", "Filename_modifier", "Output_format", "Quality_slider", "Sharpen_slider", "Resize_mode"})
        EXPECT_TRUE(html.contains(QByteArray("id=\"") + anchor + "\"")) << anchor;
    EXPECT_EQ(Manual::anchorForTopic(QStringLiteral("Filename modifier")), QStringLiteral("Filename_modifier"));
    EXPECT_TRUE(Manual::openHelpPage());
}

TEST_F(ManualTest, WithoutABrowserAnAlertSaysWhereThePageIs)
{
    // A desktop with nothing to open the page: the handler of file addresses cannot take it.
    QObject nothing;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &nothing, "openWithNothing");
    ScriptedPresenter presenter;
    DialogPresenter::install(&presenter);
    manual.quality(button);
    QTest::mouseClick(moreHelp(), Qt::LeftButton);
    EXPECT_FALSE(Manual::openHelpPage()); // the window's Help command
    DialogPresenter::install(nullptr);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    ASSERT_EQ(presenter.asked.size(), 2);
    const QString page = Manual::helpPageUrl().toLocalFile();
    EXPECT_TRUE(QFile::exists(page));
    for (const AlertPanel &alert : presenter.asked) {
        EXPECT_EQ(alert.title, QStringLiteral("Help"));
        EXPECT_TRUE(alert.message.endsWith(QStringLiteral("\n\n") + page)) << alert.message.toStdString();
    }
}
