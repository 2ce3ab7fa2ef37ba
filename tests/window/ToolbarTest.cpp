#include "WindowTestSupport.h"

using ToolbarTest = WindowTest;

static QStringList ids(std::initializer_list<const char *> names)
{
    QStringList list;
    for (const char *name : names)
        list << (*name ? QString::fromLatin1(name) + QStringLiteral("ItemIdentifier")
                       : ShrinkerController::flexibleSpaceItemIdentifier);
    return list;
}

TEST_F(ToolbarTest, TheItemsWorkAndThePersonsChoiceIsKeptForTheNextRun)
{
    launch();
    EXPECT_EQ(controller->toolbarItemIdentifiers(), ids({"fromClip", "open", "save", "", "prefs", "help"}));
    for (QAction *item : controller->toolbar->actions()) {
        EXPECT_EQ(item->isEnabled(), item->objectName() != ids({"save"}).first()) << "save waits for a picture";
        if (item->objectName() == ids({"prefs"}).first())
            item->trigger();
    }
    EXPECT_TRUE(controller->prefsWindow->isVisible());

    controller->setToolbarItemIdentifiers(ids({"open", "", "help", "unknown"}));
    controller->uiWindow->show();
    controller->toolbar->toggleViewAction()->trigger(); // hidden by the person
    UserDefaults::standard().synchronize();
    fresh();
    launch();
    EXPECT_EQ(controller->toolbarItemIdentifiers(), ids({"open", "", "help"}));
    EXPECT_TRUE(controller->toolbar->isHidden());
}
