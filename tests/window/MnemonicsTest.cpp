// Alt+letter reaches one control: in every window the underlined letters of its labels,
// buttons, tabs and menu titles differ, and so do those of the items of each menu.

#include "WindowTestSupport.h"

#include "FormatManager.h"
#include "NamedImage.h"
#include "ToolbarCustomizeDialog.h"

#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

#include <map>

namespace {

using Keys = std::map<QString, QStringList>; // Alt+letter: the texts that underline it

void add(Keys &keys, const QString &text)
{
    if (const QKeySequence key = QKeySequence::mnemonic(text); !key.isEmpty())
        keys[key.toString()] << text;
}

// The keys of one window, then those of each of its menus, each with where they act.
std::vector<std::pair<QString, Keys>> scopesOf(QWidget *window)
{
    Keys keys;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->window() != window || qobject_cast<QMenu *>(widget))
            continue;
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            if (label->buddy()) // without one, a label's "&" underlines nothing
                add(keys, label->text());
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            add(keys, button->text());
        } else if (auto *box = qobject_cast<QGroupBox *>(widget)) {
            add(keys, box->title());
        } else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int index = 0; index < tabs->count(); ++index)
                add(keys, tabs->tabText(index));
        } else if (auto *bar = qobject_cast<QMenuBar *>(widget)) {
            for (const QAction *menu : bar->actions())
                add(keys, menu->text());
        }
    }
    std::vector<std::pair<QString, Keys>> scopes{{window->windowTitle(), keys}};
    for (const QMenu *menu : window->findChildren<QMenu *>()) {
        Keys items;
        for (const QAction *item : menu->actions())
            add(items, item->text());
        scopes.push_back({window->windowTitle() + QStringLiteral(" > ") + menu->title(), items});
    }
    return scopes;
}

class MnemonicsTest : public WindowTest {};

TEST_F(MnemonicsTest, EachKeyNamesOneControlInEveryWindowAndMenu)
{
    launch();
    FormatManager formats(controller->uiWindow, controller->formatsInfo);
    QToolBar *bar = controller->toolbar;
    ToolbarCustomizeDialog customize(controller->toolbarAllowedItemIdentifiers(bar), controller->toolbarItemIdentifiers(),
                                     controller->toolbarDefaultItemIdentifiers(bar), {}, controller->uiWindow);
    int found = 0;
    for (QWidget *window : std::initializer_list<QWidget *>{controller->uiWindow, controller->prefsWindow,
                                                            controller->scaledUpWarningWindow, formats.panel().formatsPanel,
                                                            formats.editSheet().editFormatSheet, &customize}) {
        for (const auto &[scope, keys] : scopesOf(window)) {
            for (const auto &[key, texts] : keys) {
                ++found;
                EXPECT_EQ(texts.size(), 1) << scope.toStdString() << ": " << key.toStdString() << " is "
                                           << texts.join(QStringLiteral(", ")).toStdString();
            }
        }
    }
    EXPECT_GT(found, 40) << "the walk reaches the windows' controls";
}

TEST_F(MnemonicsTest, ALargerFontWidensTheSidePanelRatherThanCutItsTexts)
{
    struct FontKept {
        QFont font = QApplication::font();
        ~FontKept() { QApplication::setFont(font); }
    } kept;
    QFont larger = kept.font;
    larger.setPointSizeF(kept.font.pointSizeF() * 1.5);
    QApplication::setFont(larger);
    fresh(); // built in the larger font
    launch();
    controller->uiWindow->show();
    QCoreApplication::processEvents();
    int checked = 0;
    for (QAbstractButton *button : controller->mainTabView->findChildren<QAbstractButton *>()) {
        if (!button->isVisible() || button->text().isEmpty())
            continue;
        ++checked;
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
    }
    EXPECT_GE(checked, 5); // Actual Size, the fitting and budget check boxes, Formats…
}

TEST_F(MnemonicsTest, TheAdjustmentsTabCarriesTheMagicWandInThePalettesColours)
{
    launch();
    QTabWidget *tabs = controller->mainTabView;
    const int adjustments = tabs->indexOf(tabs->findChild<QWidget *>(QStringLiteral("2")));
    ASSERT_GE(adjustments, 0);
    ASSERT_TRUE(NamedImage::exists(QStringLiteral("magic-wand")));
    QPalette dark = controller->uiWindow->palette();
    dark.setColor(QPalette::WindowText, QColor(236, 236, 236));
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    for (const QPalette &palette : {controller->uiWindow->palette(), dark}) {
        controller->uiWindow->setPalette(palette);
        const QImage shown = tabs->tabIcon(adjustments).pixmap(48, 48).toImage();
        EXPECT_EQ(shown, NamedImage::icon(QStringLiteral("magic-wand"), palette).pixmap(48, 48).toImage())
            << palette.color(QPalette::WindowText).name().toStdString();
    }
}

} // namespace
