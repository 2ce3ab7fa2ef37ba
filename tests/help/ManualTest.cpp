#include "Manual.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

class ManualTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        button.setGeometry(40, 60, 300, 200); // a window of its own, as a hint's sender
        button.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    }
    QAbstractButton *moreHelp() const { return manual.hintPopover()->findChild<QAbstractButton *>("moreHelpButton"); }

    QPushButton button{QStringLiteral("?")};
    Manual manual;
    UrlCatcher catcher;
};

} // namespace

TEST(ManualSizeTest, HeightGrowsBySeventeenForEveryFiftyFiveCharacters)
{
    for (const auto &[length, height] : {std::pair{0, 67}, {54, 67}, {55, 84}, {109, 84}, {110, 101}})
        EXPECT_EQ(Manual::resizeFrameForString(QRect(12, 34, 5, 5), QString(length, QLatin1Char('a'))),
                  QRect(12, 34, 438, height))
            << length;
}

TEST_F(ManualTest, EachHintShowsItsTextInANewPopoverOfTheRuleSizeBesideTheSender)
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
        (manual.*c.action)(&button);
        HintPopover *popover = manual.hintPopover();
        ASSERT_NE(popover, nullptr);
        EXPECT_EQ(manual.context(), QString::fromUtf8(c.topic));
        EXPECT_EQ(popover->textField()->text().size(), c.length);
        EXPECT_EQ(popover->size(), QSize(438, c.height));
        EXPECT_TRUE(popover->isVisible());
        EXPECT_TRUE(previous.isNull() || (previous != popover && !previous->isVisible()));
        previous = popover;
    }
    // It points from the sender's right edge, or from its left where the screen ends.
    for (const bool atScreenEdge : {false, true}) {
        if (atScreenEdge)
            button.move(button.screen()->availableGeometry().right() - 320, 60);
        QTest::qWait(0);
        manual.quality(&button);
        const QRect anchor = Manual::convertToScreen(&button);
        const QRect shown = manual.hintPopover()->geometry();
        EXPECT_EQ(manual.hintPopover()->pointsLeft(), !atScreenEdge);
        EXPECT_EQ(atScreenEdge ? shown.right() : shown.left(), atScreenEdge ? anchor.left() - 1 : anchor.right() + 1);
        EXPECT_NEAR(shown.center().y(), anchor.center().y(), 1);
    }
    manual.closePopover();
    manual.closePopover(); // closing again is harmless
    manual.quality(&button);
    // A click elsewhere, delivered as the window system would, closes it.
    QTest::mouseClick(button.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manual.hintPopover() || !manual.hintPopover()->isVisible(); }));
}

TEST_F(ManualTest, MoreHelpOpensTheShippedPageAtTheTopicOrAnAlertSaysWhereItIs)
{
    const QUrl plain = Manual::helpPageUrl();
    QFile page(plain.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::WriteOnly | QIODevice::Truncate));
    page.write("broken"); // a damaged page is written again
    page.close();
    manual.morehelp(); // before any hint: no anchor
    manual.baseFormat(&button);
    QTest::mouseClick(moreHelp(), Qt::LeftButton);
    EXPECT_FALSE(manual.hintPopover()->isVisible());
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0], plain);
    EXPECT_EQ(catcher.urls[1].fragment(), QStringLiteral("Base_format"));
    EXPECT_EQ(catcher.urls[1].toLocalFile(), plain.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    for (const char *topic : {"Base format", "Filename modifier", "Output format", "Quality slider", "Sharpen slider",
                              "Resize mode"})
        EXPECT_TRUE(html.contains("id=\"" + Manual::anchorForTopic(topic).toUtf8() + "\"")) << topic;

    // A desktop with nothing to open the page: the handler of file addresses cannot take it.
    QObject nothing;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &nothing, "openWithNothing");
    ScriptedPresenter presenter;
    DialogPresenter::install(&presenter);
    QTest::mouseClick(moreHelp(), Qt::LeftButton);
    EXPECT_FALSE(Manual::openHelpPage()); // the window's Help command
    DialogPresenter::install(nullptr);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    ASSERT_EQ(presenter.asked.size(), 2);
    for (const AlertPanel &alert : presenter.asked) {
        EXPECT_EQ(alert.title, QStringLiteral("Help"));
        EXPECT_TRUE(alert.message.endsWith("\n\n" + plain.toLocalFile())) << alert.message.toStdString();
    }
}
