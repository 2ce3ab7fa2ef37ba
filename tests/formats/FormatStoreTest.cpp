#include "FormatStore.h"
#include "Preferences.h"
#include "TestSupport.h"

namespace {

QVariantMap userFormat(const QString &name, const QString &modifier, bool selected = true)
{
    return {{FormatKey::name, name}, {FormatKey::modifier, modifier}, {FormatKey::scalemode, qint64(2)},
            {FormatKey::maxeither, QStringLiteral("800")}, {FormatKey::selected, selected}};
}

// No one answers alerts here unless a test installs a presenter.
class FormatStoreTest : public FreshDefaultsTest {
protected:
    QVariantMap at(int row) const { return store.storedFormats().at(row).toMap(); }
    UserDefaults &defaults = UserDefaults::standard();
    FormatStore store{defaults};
};

} // namespace

TEST_F(FormatStoreTest, SeedingFollowsTheTwoBooleansWithoutAsking)
{
    writeFirstRunValues(defaults, [] { return 1.0; });
    store.seedIfAbsent(); // a question would go unanswered and seed nothing
    ASSERT_EQ(formatNames(store.storedFormats()), (QStringList{"3x", "2x"}));
    EXPECT_EQ(at(1), FormatStore::builtInFormat(2, true));
    store.storeFormats({}, true);
    store.seedIfAbsent(); // an empty list is a stored list
    EXPECT_TRUE(store.storedFormats().isEmpty());

    defaults.removeObjectForKey(PrefKey::formats);
    defaults.setBoolForKey(false, PrefKey::create2xVersion);
    defaults.removeObjectForKey(PrefKey::create3xVersion); // absent: false
    store.seedIfAbsent();
    EXPECT_FALSE(at(0).value(FormatKey::selected).toBool() || at(1).value(FormatKey::selected).toBool());
}

TEST_F(FormatStoreTest, ResetAsksAndOnlyContinueOrNoOneToAskKeepsTheList)
{
    const QVariantList original{userFormat("thumb", "-t")};
    store.storeFormats(original, true);
    EXPECT_FALSE(store.factoryReset(true));
    EXPECT_EQ(store.storedFormats(), original);

    ScriptedPresenter presenter;
    presenter.answers = {AlertAlternate, AlertDefault}; // Cancel, then Continue
    DialogPresenter::install(&presenter);
    EXPECT_FALSE(store.factoryReset(true));
    EXPECT_EQ(store.storedFormats(), original);
    EXPECT_TRUE(store.factoryReset(true));
    DialogPresenter::install(nullptr);
    EXPECT_EQ(formatNames(store.storedFormats()), (QStringList{"3x", "2x", "thumb"}));
}

TEST_F(FormatStoreTest, ResetBringsBackBuiltInsReplacingOnlyTheFirstRecordWithTheName)
{
    QVariantMap renamed = FormatStore::builtInFormat(2, false);
    renamed.insert(FormatKey::name, QStringLiteral("double"));
    const QVariantMap first = userFormat("2x", "-first"), second = userFormat("2x", "-second");
    store.storeFormats({userFormat("a", "-a", false), renamed, first, second, first}, true);
    store.factoryReset(false);
    // The first "2x" goes with its copy; the second, different, stays.
    EXPECT_EQ(formatNames(store.storedFormats()), (QStringList{"3x", "2x", "a", "double", "2x"}));
    EXPECT_EQ(at(1), FormatStore::builtInFormat(2, false));
    EXPECT_EQ(at(4), second);
}

TEST_F(FormatStoreTest, SummaryJoinsSelectedNamesUpTo28Characters)
{
    const struct {
        QVariantList list;
        const char *summary;
    } cases[] = {
        // 12 + 2 + 14 = 28 characters are shown; 29 turn into the count.
        {{userFormat("abcdefghijkl", "-a"), userFormat("unselected", "-u", false), userFormat("mnopqrstuvwxyz", "-m")},
         "abcdefghijkl, mnopqrstuvwxyz"},
        {{userFormat("abcdefghijkl", "-a"), userFormat("mnopqrstuvwxyz!", "-m")}, "2 selected"},
        // A selected record without a name is counted but shows nothing, not even a separator.
        {{userFormat("", "-e")}, "none selected"},
        {{userFormat("", "-e"), userFormat("b", "-b")}, "b"},
    };
    for (const auto &c : cases) {
        store.storeFormats(c.list, false);
        EXPECT_EQ(store.getSummary(), QString::fromLatin1(c.summary)) << c.summary;
    }
}
