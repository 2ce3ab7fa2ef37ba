#include "Manual.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

class ManualTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.setGeometry(40, 60, 300, 200);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(button);
        layout->addWidget(other);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QWidget window;
    QPushButton *button = new QPushButton(QStringLiteral("?"));
    QPushButton *other = new QPushButton(QStringLiteral("other"));
    Manual manual;
    UrlCatcher catcher;
};

struct HintCase {
    void (Manual::*action)(QWidget *);
    const char *topic;
    int length;
    int height;
};

} // namespace

TEST(ManualSizeTest, HeightGrowsBySeventeenForEveryFiftyFiveCharacters)
{
    const QRect origin(12, 34, 5, 5);
    EXPECT_EQ(Manual::resizeFrameForString(origin, QString()), QRect(12, 34, 438, 67));
    EXPECT_EQ(Manual::resizeFrameForString(origin, QString(54, QLatin1Char('a'))).height(), 67);
    EXPECT_EQ(Manual::resizeFrameForString(origin, QString(55, QLatin1Char('a'))).height(), 84);
    EXPECT_EQ(Manual::resizeFrameForString(origin, QString(109, QLatin1Char('a'))).height(), 84);
    EXPECT_EQ(Manual::resizeFrameForString(origin, QString(110, QLatin1Char('a'))), QRect(12, 34, 438, 101));
    EXPECT_EQ(Manual::convertToScreen(nullptr), QRect());
}

TEST_F(ManualTest, EachHintShowsItsTextInAPopoverOfTheRuleSize)
{
    const HintCase cases[] = {
        {&Manual::baseFormat, "Base format", 155, 101},
        {&Manual::filenameModifier, "Filename modifier", 155, 101},
        {&Manual::outputFormat, "Output format", 290, 152},
        {&Manual::quality, "Quality slider", 129, 101},
        {&Manual::sharpening, "Sharpen slider", 335, 169},
        {&Manual::resizeMode, "Resize mode", 201, 118},
        {&Manual::relativeSizes, "Resize mode", 194, 118},
    };
    for (const HintCase &c : cases) {
        SCOPED_TRACE(c.topic);
        (manual.*c.action)(button);
        HintPopover *popover = manual.hintPopover();
        ASSERT_NE(popover, nullptr);
        EXPECT_EQ(manual.context(), QString::fromUtf8(c.topic));
        EXPECT_EQ(popover->textField()->text().size(), c.length);
        EXPECT_EQ(popover->size(), QSize(438, c.height));
        EXPECT_TRUE(popover->isVisible());
        EXPECT_EQ(popover->windowType(), Qt::Popup);
    }
    manual.outputFormat(button);
    EXPECT_EQ(manual.hintPopover()->textField()->text(),
              QStringLiteral("jpeg and png are suitable for the web. jpg can be compressed as much as you choose to "
                             "make a smaller file but quality is lost. tiff preserves the original image data the "
                             "best but gives the largest file size and is not so suitable for web. The file size "
                             "shown is the size of the base format."));
    manual.sharpening(button);
    EXPECT_TRUE(manual.hintPopover()->textField()->text().contains(QStringLiteral("crisper result.  Use the magic")));
}

TEST_F(ManualTest, PopoverPointsAtTheSendersRightEdge)
{
    manual.quality(button);
    HintPopover *popover = manual.hintPopover();
    const QRect anchor = Manual::convertToScreen(button);
    EXPECT_TRUE(popover->pointsLeft());
    EXPECT_EQ(popover->geometry().left(), anchor.right() + 1);
    EXPECT_NEAR(popover->geometry().center().y(), anchor.center().y(), 1);
}

TEST_F(ManualTest, PopoverTurnsToTheLeftEdgeWhenTheRightDoesNotFitTheScreen)
{
    window.move(window.screen()->availableGeometry().right() - 320, 60);
    QTest::qWait(0);
    manual.quality(button);
    const QRect anchor = Manual::convertToScreen(button);
    EXPECT_FALSE(manual.hintPopover()->pointsLeft());
    EXPECT_EQ(manual.hintPopover()->geometry().right(), anchor.left() - 1);
}

TEST_F(ManualTest, EveryHintMakesANewPopoverAndCloseClosesTheLatest)
{
    manual.baseFormat(button);
    QPointer<HintPopover> first = manual.hintPopover();
    manual.quality(other);
    QPointer<HintPopover> second = manual.hintPopover();
    ASSERT_NE(first, second);
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(manual.context(), QStringLiteral("Quality slider"));

    manual.closePopover();
    EXPECT_FALSE(second->isVisible());
    manual.closePopover(); // closing again is harmless
}

TEST_F(ManualTest, WorkingElsewhereClosesThePopover)
{
    manual.resizeMode(button);
    HintPopover *popover = manual.hintPopover();
    ASSERT_TRUE(popover->isVisible());
    // A click in the main window, delivered as the window system would.
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manual.hintPopover() || !manual.hintPopover()->isVisible(); }));
}

TEST_F(ManualTest, MoreHelpOpensTheShippedPageAtTheTopicsAnchor)
{
    manual.baseFormat(button);
    auto *moreHelp = manual.hintPopover()->findChild<QAbstractButton *>(QStringLiteral("moreHelpButton"));
    ASSERT_NE(moreHelp, nullptr);
    QTest::mouseClick(moreHelp, Qt::LeftButton);
    EXPECT_FALSE(manual.hintPopover()->isVisible());
    ASSERT_EQ(catcher.urls.size(), 1);
    const QUrl url = catcher.urls.first();
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.fragment(), QStringLiteral("Base_format"));

    QFile page(url.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    // Every topic a hint can leave behind has its anchor on the page.
    for (const char *anchor : {"Base_format", "Filename_modifier", "Output_format", "Quality_slider",
                               "Sharpen_slider", "Resize_mode"})
        EXPECT_TRUE(html.contains(QByteArray("id=\"") + anchor + "\"")) << anchor;
}

TEST_F(ManualTest, WithoutABrowserAnAlertSaysWhereThePageIs)
{
    // A desktop with nothing to open the page: the handler of file addresses cannot take it.
    QObject nothing;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &nothing, "openWithNothing");
    ScriptedPresenter presenter;
    DialogPresenter::install(&presenter);
    manual.quality(button);
    QTest::mouseClick(manual.hintPopover()->findChild<QAbstractButton *>(QStringLiteral("moreHelpButton")), Qt::LeftButton);
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

TEST_F(ManualTest, HelpPageIsRewrittenWhenItWasDamagedAndOpensWithoutAnchorBeforeAnyHint)
{
    const QUrl first = Manual::helpPageUrl();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(first.fragment().isEmpty());
    {
        QFile damaged(first.toLocalFile());
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("broken");
    }
    manual.morehelp();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_FALSE(catcher.urls.first().hasFragment());
    QFile page(catcher.urls.first().toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("id=\"Output_format\""));
    EXPECT_EQ(Manual::anchorForTopic(QStringLiteral("Filename modifier")), QStringLiteral("Filename_modifier"));

    EXPECT_TRUE(Manual::openHelpPage());
    EXPECT_EQ(catcher.urls.last(), first);
}
