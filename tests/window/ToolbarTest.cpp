#include "WindowTestSupport.h"

#include "ToolbarCustomizeDialog.h"
#include "UserDefaults.h"

#include <QAction>
#include <QFileInfo>
#include <QListWidget>
#include <QMainWindow>
#include <QToolBar>

class ToolbarTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        launch();
    }
    QAction *item(const QString &identifier) const
    {
        for (QAction *action : controller->toolbar->actions())
            if (action->objectName() == identifier)
                return action;
        return nullptr;
    }
};


TEST_F(ToolbarTest, DefaultToolbarHasFiveItemsAroundTheFlexibleSpace)
{
    QToolBar *bar = controller->toolbar;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->objectName(), QStringLiteral("quillpaneMainToolBar"));
    EXPECT_EQ(bar->iconSize(), QSize(16, 16));
    EXPECT_EQ(controller->uiWindow->toolBarArea(bar), Qt::TopToolBarArea);
    EXPECT_EQ(controller->toolbarItemIdentifiers(),
              (QStringList{QStringLiteral("fromClipItemIdentifier"), QStringLiteral("openItemIdentifier"),
                           QStringLiteral("saveItemIdentifier"), ShrinkerController::flexibleSpaceItemIdentifier, QStringLiteral("prefsItemIdentifier"),
                           QStringLiteral("helpItemIdentifier")}));
    EXPECT_EQ(controller->toolbarAllowedItemIdentifiers(bar),
              (QStringList{QStringLiteral("fromClipItemIdentifier"), QStringLiteral("openItemIdentifier"),
                           QStringLiteral("saveItemIdentifier"), QStringLiteral("prefsItemIdentifier"), ShrinkerController::flexibleSpaceItemIdentifier,
                           QStringLiteral("helpItemIdentifier")}));

    const std::tuple<const char *, const char *, const char *> labels[] = {
        {"openItemIdentifier", "Open", "Open"},       {"saveItemIdentifier", "Save", "Save"},
        {"helpItemIdentifier", "Help", "Help"},       {"prefsItemIdentifier", "Prefs", "Prefs"},
        {"fromClipItemIdentifier", "From Clip", "New From Clip"}};
    for (const auto &[identifier, label, paletteLabel] : labels) {
        QAction *action = item(QString::fromLatin1(identifier));
        ASSERT_NE(action, nullptr) << identifier;
        EXPECT_EQ(action->text(), QString::fromLatin1(label));
        EXPECT_EQ(action->property("paletteLabel"), QVariant(QString::fromLatin1(paletteLabel)));
        EXPECT_FALSE(action->icon().isNull());
        // Save has nothing to do before a picture arrives.
        EXPECT_EQ(controller->validateToolbarItem(action), QString(identifier) != "saveItemIdentifier") << identifier;
        EXPECT_EQ(action->isEnabled(), controller->validateToolbarItem(action)) << identifier;
    }
}

TEST_F(ToolbarTest, OtherToolbarsAndIdentifiersGetNothing)
{
    QToolBar other;
    other.setObjectName(QStringLiteral("someOtherToolBar"));
    EXPECT_TRUE(controller->toolbarAllowedItemIdentifiers(&other).isEmpty());
    EXPECT_TRUE(controller->toolbarDefaultItemIdentifiers(&other).isEmpty());
    EXPECT_EQ(controller->toolbarItemForItemIdentifierWillBeInsertedIntoToolbar(
                  controller->toolbar, QStringLiteral("printItemIdentifier"), true),
              nullptr);
}

TEST_F(ToolbarTest, ItemsRunTheirCommands)
{
    item(QStringLiteral("prefsItemIdentifier"))->trigger();
    EXPECT_TRUE(controller->prefsWindow->isVisible());
}

TEST_F(ToolbarTest, ThePersonsChoiceIsKeptForTheNextRun)
{
    const QStringList chosen{QStringLiteral("openItemIdentifier"), ShrinkerController::flexibleSpaceItemIdentifier, QStringLiteral("helpItemIdentifier"),
                             QStringLiteral("unknownItemIdentifier")};
    controller->setToolbarItemIdentifiers(chosen);
    const QStringList shown{QStringLiteral("openItemIdentifier"), ShrinkerController::flexibleSpaceItemIdentifier, QStringLiteral("helpItemIdentifier")};
    EXPECT_EQ(controller->toolbarItemIdentifiers(), shown);
    controller->uiWindow->show();
    ASSERT_TRUE(controller->toolbar->isVisible());
    controller->toolbar->toggleViewAction()->trigger(); // hidden by the person
    ASSERT_FALSE(controller->toolbar->isVisible());
    UserDefaults::standard().synchronize();

    controller = std::make_unique<ShrinkerController>();
    controller->mainScreenScale = [] { return 1.0; };
    launch();
    EXPECT_EQ(controller->toolbarItemIdentifiers(), shown);
    EXPECT_TRUE(controller->toolbar->isHidden());

    // An edited record is read by the typed-read rules: the text "no" is off.
    UserDefaults::standard().setObjectForKey(QVariantMap{{QStringLiteral("isShown"), QStringLiteral("no")}},
                                             ShrinkerController::toolbarIdentifier);
    controller = std::make_unique<ShrinkerController>();
    controller->mainScreenScale = [] { return 1.0; };
    launch();
    EXPECT_TRUE(controller->toolbar->isHidden());
}

TEST_F(ToolbarTest, CustomizeDialogPicksAndOrdersTheAllowedItems)
{
    const QStringList allowed = controller->toolbarAllowedItemIdentifiers(controller->toolbar);
    const QStringList defaults = controller->toolbarDefaultItemIdentifiers(controller->toolbar);
    ToolbarCustomizeDialog dialog(allowed, {QStringLiteral("helpItemIdentifier"), QStringLiteral("openItemIdentifier")},
                                  defaults, {});
    ASSERT_EQ(dialog.list->count(), allowed.size());
    EXPECT_EQ(dialog.chosenIdentifiers(),
              (QStringList{QStringLiteral("helpItemIdentifier"), QStringLiteral("openItemIdentifier")}));
    dialog.moveRow(1, -1);
    dialog.moveRow(0, -1); // already first: nothing moves
    dialog.list->item(2)->setCheckState(Qt::Checked); // the first unchecked allowed item: From Clip
    EXPECT_EQ(dialog.chosenIdentifiers(),
              (QStringList{QStringLiteral("openItemIdentifier"), QStringLiteral("helpItemIdentifier"),
                           QStringLiteral("fromClipItemIdentifier")}));
    dialog.showIdentifiers(defaults);
    EXPECT_EQ(dialog.chosenIdentifiers(), defaults);
}

static void removeIcons()
{
    Q_CLEANUP_RESOURCE(icons);
}
static void restoreIcons()
{
    Q_INIT_RESOURCE(icons);
}

TEST_F(ToolbarTest, MissingImageGivesABareItemAndALineOnStandardOutput)
{
    removeIcons();
    testing::internal::CaptureStdout();
    QAction *open = controller->toolbarItemForItemIdentifierWillBeInsertedIntoToolbar(
        controller->toolbar, QStringLiteral("openItemIdentifier"), true);
    const std::string printed = testing::internal::GetCapturedStdout();
    restoreIcons();
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(printed, "Image open not found.");
    EXPECT_EQ(open->objectName(), QStringLiteral("openItemIdentifier"));
    EXPECT_TRUE(open->text().isEmpty());
    EXPECT_TRUE(open->icon().isNull());
}

TEST_F(ToolbarTest, HelpItemOpensTheShippedHelpPage)
{
    UrlCatcher catcher;
    item(QStringLiteral("helpItemIdentifier"))->trigger();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_TRUE(catcher.urls.first().isLocalFile());
    EXPECT_TRUE(QFileInfo(catcher.urls.first().toLocalFile()).isFile());
}
