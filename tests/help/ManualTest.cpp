#include "Manual.h"
#include "TestSupport.h"

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
    manual.quality(&button);
    EXPECT_EQ(manual.hintPopover()->geometry().left(), Manual::convertToScreen(&button).right() + 1);
    button.move(button.screen()->availableGeometry().right() - 320, 60);
    QTest::qWait(0);
    manual.quality(&button);
    EXPECT_EQ(manual.hintPopover()->geometry().right(), Manual::convertToScreen(&button).left() - 1);
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
    manual.baseFormat(&button);
    QTest::mouseClick(moreHelp(), Qt::LeftButton);
    EXPECT_EQ(QUrl::toStringList(catcher.urls), QStringList{plain.toString() + "#Base_format"});
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("id=\"Base_format\""));

    // A desktop with nothing to open the page: the handler of file addresses cannot take it.
    QObject nothing;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &nothing, "openWithNothing");
    ScriptedPresenter presenter;
    DialogPresenter::install(&presenter);
    QTest::mouseClick(moreHelp(), Qt::LeftButton);
    DialogPresenter::install(nullptr);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    ASSERT_EQ(presenter.asked.size(), 1);
    EXPECT_TRUE(presenter.asked[0].message.endsWith("\n\n" + plain.toLocalFile())) << presenter.asked[0].message.toStdString();
}
