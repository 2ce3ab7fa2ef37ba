#include "FormatStore.h"
#include "FormatsTableModel.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <QTest>

namespace {

class FormatsTableTest : public FreshDefaultsTest {
protected:
    void store(const QVariantList &list) { formats.storeFormats(list, true); }
    QString cell(int row, const QString &identifier) const
    {
        return model.data(model.index(row, FormatsTableModel::columnOf(identifier))).toString();
    }
    Qt::CheckState check(int row) const
    {
        return model.data(model.index(row, 0), Qt::CheckStateRole).value<Qt::CheckState>();
    }
    // The "selected" flags as written to the preferences file, not as held in memory.
    QList<bool> selectedOnDisk() const
    {
        QFile file(defaultsPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<bool> flags;
        const QJsonArray list = QJsonDocument::fromJson(file.readAll()).object().value(PrefKey::formats).toArray();
        for (const auto &record : list)
            flags << record.toObject().value(FormatKey::selected).toBool();
        return flags;
    }

    UserDefaults &defaults = UserDefaults::standard();
    FormatStore formats{defaults};
    FormatsTableModel model{formats};
};

QVariantMap record(qint64 scalemode, QVariantMap more = {})
{
    more.insert(FormatKey::name, QStringLiteral("f"));
    more.insert(FormatKey::modifier, QStringLiteral("-f"));
    more.insert(FormatKey::scalemode, scalemode);
    return more;
}

} // namespace

TEST_F(FormatsTableTest, NoStoredListAndAnEmptyListGiveNoRows)
{
    EXPECT_EQ(model.rowCount(), 0);
    store({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.objectValueForTableColumnRow(QStringLiteral("name"), 0).toString(), QString());
}

TEST_F(FormatsTableTest, BuiltInsShowTheirMultiplesCropAndNoFillColour)
{
    store({FormatStore::builtInFormat(3, false), FormatStore::builtInFormat(2, true)});
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(check(0), Qt::Unchecked);
    EXPECT_EQ(check(1), Qt::Checked);
    EXPECT_EQ(cell(0, QStringLiteral("name")), QStringLiteral("3x"));
    EXPECT_EQ(cell(1, QStringLiteral("modifier")), QStringLiteral("@2x"));
    EXPECT_EQ(cell(1, QStringLiteral("x")), QStringLiteral("2x"));
    EXPECT_EQ(cell(1, QStringLiteral("y")), QStringLiteral("2x"));
    EXPECT_EQ(cell(0, QStringLiteral("resamplemode")), QStringLiteral("crop"));
    EXPECT_EQ(cell(0, QStringLiteral("fillcolour")), QString());
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole), QVariant()); // a check box, no text
}

TEST_F(FormatsTableTest, SizeColumnsFollowTheScaleMode)
{
    store({record(0, {{FormatKey::xabs, QStringLiteral("640")}, {FormatKey::yabs, QString()},
                      {FormatKey::xratio, QStringLiteral("9")}}),
           record(0, {{FormatKey::yabs, QStringLiteral("480")}}),
           record(1, {{FormatKey::xratio, QStringLiteral("0.5")}, {FormatKey::yratio, QStringLiteral("abc")},
                      {FormatKey::xabs, QStringLiteral("640")}}),
           record(2, {{FormatKey::maxeither, QStringLiteral("800")}, {FormatKey::xabs, QStringLiteral("640")}}),
           record(5, {{FormatKey::xabs, QStringLiteral("640")}, {FormatKey::maxeither, QStringLiteral("800")}}),
           QVariantMap{{FormatKey::xabs, QStringLiteral("12")}}});
    EXPECT_EQ(cell(0, QStringLiteral("x")), QStringLiteral("640px"));
    EXPECT_EQ(cell(0, QStringLiteral("y")), QStringLiteral("px"));
    EXPECT_EQ(cell(1, QStringLiteral("x")), QString()); // no "xabs" at all
    EXPECT_EQ(cell(1, QStringLiteral("y")), QStringLiteral("480px"));
    EXPECT_EQ(cell(2, QStringLiteral("x")), QStringLiteral("0.5x"));
    EXPECT_EQ(cell(2, QStringLiteral("y")), QStringLiteral("abcx"));
    EXPECT_EQ(cell(3, QStringLiteral("x")), QStringLiteral("800px"));
    EXPECT_EQ(cell(3, QStringLiteral("y")), QStringLiteral("800px"));
    EXPECT_EQ(cell(4, QStringLiteral("x")), QString());
    EXPECT_EQ(cell(4, QStringLiteral("y")), QString());
    EXPECT_EQ(cell(5, QStringLiteral("x")), QStringLiteral("12px")); // missing scale mode reads 0
}

TEST_F(FormatsTableTest, ResampleModeAndFillColourWords)
{
    const auto with = [](QVariant resample, QVariant fill) {
        QVariantMap more;
        if (resample.isValid())
            more.insert(FormatKey::resamplemode, resample);
        if (fill.isValid())
            more.insert(FormatKey::fillcolour, fill);
        return record(1, more);
    };
    store({with(0, 1), with(1, 0), with(1, 1), with(1, 2), with(3, 2), with(1, 7), with(2, 1), with(QVariant(), 1),
           with(3, QVariant())});
    const QStringList resample{QStringLiteral("crop"), QStringLiteral("add"), QStringLiteral("add"),
                               QStringLiteral("add"), QStringLiteral("same as main"), QStringLiteral("add"),
                               QString(), QStringLiteral("crop"), QStringLiteral("same as main")};
    const QStringList fill{QString(), QStringLiteral("White"), QStringLiteral("Black"), QStringLiteral("Grey"),
                           QStringLiteral("Grey"), QString(), QStringLiteral("Black"), QString(),
                           QStringLiteral("White")};
    for (int row = 0; row < resample.size(); ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(cell(row, QStringLiteral("resamplemode")), resample[row]);
        EXPECT_EQ(cell(row, QStringLiteral("fillcolour")), fill[row]);
    }
    EXPECT_EQ(model.objectValueForTableColumnRow(QStringLiteral("unknown"), 0).toString(), QString());
}

TEST_F(FormatsTableTest, CheckBoxFlipsTheStoredFlagAtOnce)
{
    store({FormatStore::builtInFormat(3, true), FormatStore::builtInFormat(2, false)});
    QTableView view;
    view.setModel(&model);
    view.resize(600, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    // A click on the check box of the second row, as the person makes it.
    const QRect box = view.visualRect(model.index(1, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(box.left() + 10, box.center().y()));
    EXPECT_EQ(selectedOnDisk(), (QList<bool>{true, true}));
    EXPECT_EQ(check(1), Qt::Checked);

    // The flag flips whatever the view hands in; only the "selected" column acts.
    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(selectedOnDisk(), (QList<bool>{true, false}));
    EXPECT_FALSE(model.setData(model.index(1, 1), QStringLiteral("renamed"), Qt::EditRole));
    model.setObjectValueForTableColumnRow(QStringLiteral("name"), 0);
    model.setObjectValueForTableColumnRow(QStringLiteral("selected"), 9);
    EXPECT_EQ(selectedOnDisk(), (QList<bool>{true, false}));
    EXPECT_EQ(formats.storedFormats().at(1).toMap().value(FormatKey::name), QStringLiteral("2x"));
}

TEST_F(FormatsTableTest, CheckBoxWithoutAStoredListStoresNothing)
{
    model.setObjectValueForTableColumnRow(QStringLiteral("selected"), 0);
    EXPECT_FALSE(formats.hasStoredFormats());
}
