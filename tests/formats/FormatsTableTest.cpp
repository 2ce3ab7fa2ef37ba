#include "FormatStore.h"
#include "FormatsTableModel.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <QTest>

namespace {

class FormatsTableTest : public FreshDefaultsTest {
protected:
    QString cell(int row, const char *identifier) const
    {
        return model.data(model.index(row, FormatsTableModel::columnOf(QString::fromLatin1(identifier)))).toString();
    }
    // The "selected" flags as written to the preferences file, not as held in memory.
    QList<bool> selectedOnDisk() const
    {
        QFile file(defaultsPath());
        QList<bool> flags;
        if (file.open(QIODevice::ReadOnly))
            for (const auto &record : QJsonDocument::fromJson(file.readAll()).object().value(PrefKey::formats).toArray())
                flags << record.toObject().value(FormatKey::selected).toBool();
        return flags;
    }
    FormatStore formats{UserDefaults::standard()};
    FormatsTableModel model{formats};
};

} // namespace

TEST_F(FormatsTableTest, CellsShowSizesByScaleModeAndTheModesAsWords)
{
    namespace K = FormatKey;
    const struct {
        QVariantMap record;
        const char *x, *y, *resample, *fill;
    } rows[] = {
        {FormatStore::builtInFormat(2, true), "2x", "2x", "crop", ""}, // a cropped picture has no fill
        {{{K::scalemode, 0}, {K::xabs, "640"}, {K::xratio, "9"}, {K::resamplemode, 1}, {K::fillcolour, 0}},
         "640px", "", "add", "White"},
        {{{K::scalemode, 2}, {K::maxeither, "800"}, {K::xabs, "640"}, {K::resamplemode, 3}, {K::fillcolour, 1}},
         "800px", "800px", "same as main", "Black"},
        {{{K::scalemode, 5}, {K::xabs, "640"}, {K::resamplemode, 2}, {K::fillcolour, 2}}, "", "", "", "Grey"},
    };
    QVariantList list;
    for (const auto &row : rows)
        list << row.record;
    formats.storeFormats(list, true);
    for (int row = 0; row < int(std::size(rows)); ++row)
        EXPECT_EQ(QStringList({cell(row, "x"), cell(row, "y"), cell(row, "resamplemode"), cell(row, "fillcolour")}),
                  QStringList({rows[row].x, rows[row].y, rows[row].resample, rows[row].fill}))
            << "row " << row;
    EXPECT_TRUE(cell(0, "name") == "2x" && cell(0, "modifier") == "@2x");
}

TEST_F(FormatsTableTest, CheckBoxFlipsTheStoredFlagAtOnce)
{
    model.setObjectValueForTableColumnRow(QStringLiteral("selected"), 0);
    EXPECT_FALSE(formats.hasStoredFormats()); // nothing stored: nothing to flip

    formats.storeFormats({FormatStore::builtInFormat(3, true), FormatStore::builtInFormat(2, false)}, true);
    QTableView view;
    view.setModel(&model);
    view.resize(600, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    // A click on the check box of the second row, as the person makes it.
    const QRect box = view.visualRect(model.index(1, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(box.left() + 10, box.center().y()));
    EXPECT_EQ(selectedOnDisk(), (QList<bool>{true, true}));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);

    // The flag flips whatever the view hands in; only the "selected" column acts.
    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(selectedOnDisk(), (QList<bool>{true, false}));
    model.setObjectValueForTableColumnRow(QStringLiteral("name"), 0);
    model.setObjectValueForTableColumnRow(QStringLiteral("selected"), 9);
    EXPECT_EQ(selectedOnDisk(), (QList<bool>{true, false}));
}
