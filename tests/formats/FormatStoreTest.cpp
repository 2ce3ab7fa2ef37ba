#include "Dialogs.h"
#include "FormatStore.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserDefaults.h"

namespace {

QVariantMap userFormat(const QString &name, const QString &modifier, bool selected = true)
{
    return {{FormatKey::name, name}, {FormatKey::modifier, modifier}, {FormatKey::scalemode, qint64(2)},
            {FormatKey::maxeither, QStringLiteral("800")}, {FormatKey::selected, selected}};
}

class FormatStoreTest : public FreshDefaultsTest {
protected:
    void SetUp() override
    {
        FreshDefaultsTest::SetUp();
        DialogPresenter::install(&presenter);
    }
    void TearDown() override
    {
        DialogPresenter::install(nullptr);
        FreshDefaultsTest::TearDown();
    }
    UserDefaults &defaults = UserDefaults::standard();
    FormatStore store{defaults};
    ScriptedPresenter presenter;
};

} // namespace

TEST_F(FormatStoreTest, SeedingAfterFirstRunValuesSelectsBothBuiltInsWithoutAsking)
{
    writeFirstRunValues(defaults, [] { return 1.0; });
    store.seedIfAbsent();
    const QVariantList list = store.storedFormats();
    EXPECT_EQ(formatNames(list), (QStringList{QStringLiteral("3x"), QStringLiteral("2x")}));
    EXPECT_EQ(list.at(1).toMap(), FormatStore::builtInFormat(2, true));
    EXPECT_EQ(list.at(1).toMap().size(), 12);
    EXPECT_EQ(list.at(0).toMap().value(FormatKey::xratio), QVariant(QStringLiteral("3")));
    EXPECT_TRUE(presenter.asked.isEmpty());

    store.storeFormats({}, true);
    store.seedIfAbsent(); // an empty list is a stored list
    EXPECT_TRUE(store.storedFormats().isEmpty());
}

TEST_F(FormatStoreTest, BuiltInsFollowTheTwoBooleansAtResetTime)
{
    defaults.setBoolForKey(false, PrefKey::create2xVersion);
    store.seedIfAbsent(); // create3xVersion absent: false
    const QVariantList list = store.storedFormats();
    EXPECT_FALSE(list.at(0).toMap().value(FormatKey::selected).toBool());
    EXPECT_FALSE(list.at(1).toMap().value(FormatKey::selected).toBool());
}

TEST_F(FormatStoreTest, ResetAsksAndCancelChangesNothing)
{
    const QVariantList original{userFormat(QStringLiteral("thumb"), QStringLiteral("-t"))};
    store.storeFormats(original, true);
    presenter.answers = {AlertAlternate};
    EXPECT_FALSE(store.factoryReset(true));
    ASSERT_EQ(presenter.asked.size(), 1);
    EXPECT_EQ(presenter.asked.first().title, QStringLiteral("Factory reset formats"));
    EXPECT_EQ(presenter.asked.first().defaultButton, QStringLiteral("Continue"));
    EXPECT_EQ(presenter.asked.first().alternateButton, QStringLiteral("Cancel"));
    EXPECT_EQ(store.storedFormats(), original);

    presenter.answers = {AlertDefault};
    EXPECT_TRUE(store.factoryReset(true));
    EXPECT_EQ(formatNames(store.storedFormats()),
              (QStringList{QStringLiteral("3x"), QStringLiteral("2x"), QStringLiteral("thumb")}));
}

TEST_F(FormatStoreTest, ResetBringsBackADeletedBuiltInAndKeepsRenamedOnes)
{
    QVariantMap renamed = FormatStore::builtInFormat(2, false);
    renamed.insert(FormatKey::name, QStringLiteral("double"));
    store.storeFormats({userFormat(QStringLiteral("a"), QStringLiteral("-a"), false), renamed,
                        FormatStore::builtInFormat(3, false)},
                       true);
    bool reloaded = false;
    store.listReset = [&reloaded] { reloaded = true; };
    store.factoryReset(false);
    EXPECT_TRUE(reloaded);
    const QVariantList list = store.storedFormats();
    EXPECT_EQ(formatNames(list), (QStringList{QStringLiteral("3x"), QStringLiteral("2x"), QStringLiteral("a"),
                                        QStringLiteral("double")}));
    EXPECT_FALSE(list.at(2).toMap().value(FormatKey::selected).toBool()); // user formats keep their flags
    // Two records now share the modifier "@2x"; the store does not mind.
    EXPECT_EQ(list.at(1).toMap().value(FormatKey::modifier), list.at(3).toMap().value(FormatKey::modifier));
}

TEST_F(FormatStoreTest, ResetReplacesOnlyTheFirstOfTwoDifferentRecordsWithTheName)
{
    QVariantMap first = userFormat(QStringLiteral("2x"), QStringLiteral("-first"));
    QVariantMap second = userFormat(QStringLiteral("2x"), QStringLiteral("-second"));
    store.storeFormats({first, second, first}, true); // the first one twice: both copies go
    store.factoryReset(false);
    const QVariantList list = store.storedFormats();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(1).toMap(), FormatStore::builtInFormat(2, false));
    EXPECT_EQ(list.at(2).toMap(), second);
}

TEST_F(FormatStoreTest, LookupsAreExactAndTakeTheFirstMatch)
{
    const QVariantList list{userFormat(QStringLiteral("Thumb"), QStringLiteral("-t")),
                            userFormat(QStringLiteral("thumb"), QStringLiteral("-t")),
                            QVariantMap{{FormatKey::modifier, QStringLiteral("-n")}}};
    EXPECT_EQ(FormatStore::formatWithNameFromArray(QStringLiteral("thumb"), list), list.at(1).toMap());
    EXPECT_FALSE(FormatStore::formatWithNameFromArray(QStringLiteral("THUMB"), list));
    EXPECT_EQ(FormatStore::formatWithModifierFromArray(QStringLiteral("-t"), list), list.at(0).toMap());
    EXPECT_FALSE(FormatStore::formatWithNameFromArray(QString(), list)); // a record without a name never matches
    EXPECT_FALSE(FormatStore::formatWithNameFromArray(QStringLiteral("x"), {}));

    EXPECT_EQ(store.indexOfTemplateNamed(QStringLiteral("2x")), -1); // nothing stored
    store.storeFormats(list, false);
    EXPECT_EQ(store.indexOfTemplateNamed(QStringLiteral("thumb")), 1);
    EXPECT_EQ(store.indexOfTemplateNamed(QStringLiteral("2X")), -1);
}

TEST_F(FormatStoreTest, SummaryJoinsSelectedNamesUpTo28Characters)
{
    EXPECT_EQ(store.getSummary(), QStringLiteral("none selected")); // nothing stored
    store.storeFormats({FormatStore::builtInFormat(3, true), FormatStore::builtInFormat(2, true)}, false);
    EXPECT_EQ(store.getSummary(), QStringLiteral("3x, 2x"));

    // 12 + 2 + 14 = 28 characters are shown; 29 turn into the count.
    store.storeFormats({userFormat(QStringLiteral("abcdefghijkl"), QStringLiteral("-a")),
                        userFormat(QStringLiteral("unselected"), QStringLiteral("-u"), false),
                        userFormat(QStringLiteral("mnopqrstuvwxyz"), QStringLiteral("-m"))},
                       false);
    EXPECT_EQ(store.getSummary(), QStringLiteral("abcdefghijkl, mnopqrstuvwxyz"));
    store.storeFormats({userFormat(QStringLiteral("abcdefghijkl"), QStringLiteral("-a")),
                        userFormat(QStringLiteral("mnopqrstuvwxyz!"), QStringLiteral("-m"))},
                       false);
    EXPECT_EQ(store.getSummary(), QStringLiteral("2 selected"));
}

TEST_F(FormatStoreTest, SelectedRecordWithEmptyNameIsCountedButInvisible)
{
    store.storeFormats({userFormat(QString(), QStringLiteral("-e"))}, false);
    EXPECT_EQ(store.getSummary(), QStringLiteral("none selected"));
    store.storeFormats({userFormat(QString(), QStringLiteral("-e")), userFormat(QStringLiteral("b"), QStringLiteral("-b"))},
                       false);
    EXPECT_EQ(store.getSummary(), QStringLiteral("b")); // no separator after an empty text
}

TEST_F(FormatStoreTest, WithoutAPresenterNobodyConfirmsTheReset)
{
    DialogPresenter::install(nullptr);
    const QVariantList original{userFormat(QStringLiteral("thumb"), QStringLiteral("-t"))};
    store.storeFormats(original, true);
    EXPECT_FALSE(store.factoryReset(true));
    EXPECT_EQ(store.storedFormats(), original);
}
