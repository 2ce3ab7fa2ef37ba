#include "WindowTestSupport.h"

#include "ToolbarCustomizeDialog.h"

#include <QListWidget>
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
    static QStringList ids(std::initializer_list<const char *> names)
    {
        QStringList list;
        for (const char *name : names)
            list << (*name ? QString::fromLatin1(name) + QStringLiteral("ItemIdentifier")
                           : ShrinkerController::flexibleSpaceItemIdentifier);
        return list;
    }
};

TEST_F(ToolbarTest, DefaultToolbarHasFiveWorkingItemsAroundTheFlexibleSpace)
{
    EXPECT_EQ(controller->uiWindow->toolBarArea(controller->toolbar), Qt::TopToolBarArea);
    EXPECT_EQ(controller->toolbarItemIdentifiers(), ids({"fromClip", "open", "save", "", "prefs", "help"}));
    EXPECT_EQ(controller->toolbarAllowedItemIdentifiers(controller->toolbar),
              ids({"fromClip", "open", "save", "prefs", "", "help"}));
    QToolBar other;
    EXPECT_TRUE(controller->toolbarAllowedItemIdentifiers(&other).isEmpty());

    const std::tuple<const char *, const char *, const char *> labels[] = {
        {"open", "Open", "Open"}, {"save", "Save", "Save"}, {"help", "Help", "Help"}, {"prefs", "Prefs", "Prefs"},
        {"fromClip", "From Clip", "New From Clip"}};
    for (const auto &[identifier, label, paletteLabel] : labels) {
        QAction *action = item(ids({identifier}).first());
        ASSERT_NE(action, nullptr) << identifier;
        EXPECT_EQ(action->text(), QString::fromLatin1(label));
        EXPECT_EQ(action->property("paletteLabel"), QVariant(QString::fromLatin1(paletteLabel)));
        EXPECT_FALSE(action->icon().isNull()) << identifier;
        // Save has nothing to do before a picture arrives.
        EXPECT_EQ(action->isEnabled(), QString(identifier) != "save") << identifier;
    }

    item(QStringLiteral("prefsItemIdentifier"))->trigger();
    EXPECT_TRUE(controller->prefsWindow->isVisible());
    UrlCatcher catcher;
    item(QStringLiteral("helpItemIdentifier"))->trigger();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_TRUE(QFileInfo(catcher.urls.first().toLocalFile()).isFile()); // the shipped help page
}

TEST_F(ToolbarTest, ThePersonsChoiceIsKeptForTheNextRun)
{
    controller->setToolbarItemIdentifiers(ids({"open", "", "help", "unknown"}));
    const QStringList shown = ids({"open", "", "help"});
    EXPECT_EQ(controller->toolbarItemIdentifiers(), shown);
    controller->uiWindow->show();
    controller->toolbar->toggleViewAction()->trigger(); // hidden by the person
    ASSERT_FALSE(controller->toolbar->isVisible());
    UserDefaults::standard().synchronize();
    fresh();
    launch();
    EXPECT_EQ(controller->toolbarItemIdentifiers(), shown);
    EXPECT_TRUE(controller->toolbar->isHidden());

    // An edited record is read by the typed-read rules: the text "no" is off.
    UserDefaults::standard().setObjectForKey(QVariantMap{{QStringLiteral("isShown"), QStringLiteral("no")}},
                                             ShrinkerController::toolbarIdentifier);
    fresh();
    launch();
    EXPECT_TRUE(controller->toolbar->isHidden());
}

TEST_F(ToolbarTest, CustomizeDialogPicksAndOrdersTheAllowedItems)
{
    const QStringList allowed = controller->toolbarAllowedItemIdentifiers(controller->toolbar);
    const QStringList defaults = controller->toolbarDefaultItemIdentifiers(controller->toolbar);
    ToolbarCustomizeDialog dialog(allowed, ids({"help", "open"}), defaults, {});
    ASSERT_EQ(dialog.list->count(), allowed.size());
    EXPECT_EQ(dialog.chosenIdentifiers(), ids({"help", "open"}));
    dialog.moveRow(1, -1);
    dialog.moveRow(0, -1); // already first: nothing moves
    dialog.list->item(2)->setCheckState(Qt::Checked); // the first unchecked allowed item: From Clip
    EXPECT_EQ(dialog.chosenIdentifiers(), ids({"open", "help", "fromClip"}));
    dialog.showIdentifiers(defaults);
    EXPECT_EQ(dialog.chosenIdentifiers(), defaults);
}

TEST_F(ToolbarTest, MissingImageGivesABareItemAndALineOnStandardOutput)
{
    Q_CLEANUP_RESOURCE(icons);
    testing::internal::CaptureStdout();
    QAction *open = controller->toolbarItemForItemIdentifierWillBeInsertedIntoToolbar(
        controller->toolbar, QStringLiteral("openItemIdentifier"), true);
    const std::string printed = testing::internal::GetCapturedStdout();
    Q_INIT_RESOURCE(icons);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(printed, "Image open not found.");
    EXPECT_EQ(open->objectName(), QStringLiteral("openItemIdentifier"));
    EXPECT_TRUE(open->icon().isNull());
}
