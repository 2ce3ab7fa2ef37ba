#include "Controls.h"
#include "FormatManager.h"
#include "FormatsTableModel.h"
#include "MessageBoxPresenter.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <QDialog>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

namespace {

const QString kNameExists = QStringLiteral("Template with this name exists - please choose another name");
const QString kModifierExists = QStringLiteral(
    "Template with this filename modifier exists - please change the filename modifier to a unique value");

// A record as text, so a failed comparison shows its fields.
std::string json(const QVariantMap &record) { return QJsonDocument(QJsonObject::fromVariantMap(record)).toJson().toStdString(); }

class FormatManagerTest : public FreshDefaultsTest {
protected:
    void SetUp() override
    {
        FreshDefaultsTest::SetUp();
        DialogPresenter::install(&presenter);
        writeFirstRunValues(UserDefaults::standard(), [] { return 1.0; });
        window.setCentralWidget(formatsInfo);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        manager.awakeFromNib();
        manager.showFormatsPanel();
    }
    void TearDown() override
    {
        DialogPresenter::install(nullptr);
        FreshDefaultsTest::TearDown();
    }

    const FormatManager::EditSheetControls &s() const { return manager.editSheet(); }
    const FormatManager::PanelControls &p() const { return manager.panel(); }
    QVariantList stored() const { return manager.store().storedFormats(); }
    QStringList storedNames() const { return formatNames(stored()); }
    void selectRow(int row) { p().formatsTableView->selectRow(row); }
    // Add, with a usable absolute size typed in.
    void startAdding(const QString &name, const QString &modifier)
    {
        manager.add();
        s().nameField->setText(name);
        s().modifier->setText(modifier);
        s().xabs->setText(QStringLiteral("640"));
        s().yabs->setText(QStringLiteral("480"));
    }
    void storeUserFormats(const QVariantList &records)
    {
        manager.store().storeFormats(stored() + records, true);
        p().formatsTableModel->reloadData();
    }
    // A user format of a usable size.
    static QVariantMap named(const char *name, const char *modifier)
    {
        return {{FormatKey::name, name}, {FormatKey::modifier, modifier}, {FormatKey::scalemode, 2}, {FormatKey::maxeither, "800"}};
    }
    // Asserts the alert shown last and that the sheet stays open for a correction.
    void expectRefused(const QString &message)
    {
        EXPECT_TRUE(presenter.messages().endsWith(message)) << presenter.messages().join(';').toStdString();
        EXPECT_TRUE(s().editFormatSheet->isVisible());
        EXPECT_NE(manager.currentOperation(), FormatManager::NoOperation);
    }

    ScriptedPresenter presenter;
    QMainWindow window;
    QLabel *formatsInfo = new QLabel;
    FormatManager manager{&window, formatsInfo};
};

} // namespace

TEST_F(FormatManagerTest, StartUpShowsTheSummaryAndAddingAppendsACompleteSelectedRecord)
{
    EXPECT_EQ(formatsInfo->text(), "3x, 2x");
    selectItemWithTag(s().fillColour, 1); // pop-ups keep their state from the last use
    selectItemWithTag(s().relativeTo, 1);
    QTest::mouseClick(p().addButton, Qt::LeftButton);
    ASSERT_TRUE(s().editFormatSheet->isVisible());
    s().nameField->setText("wide");
    s().modifier->setText("-wide");
    s().xabs->setText("1200");
    s().scaleModeButton->cellWithTag(2)->click();
    s().maxeither->setText("900");
    QTest::mouseClick(s().okButton, Qt::LeftButton);

    EXPECT_FALSE(s().editFormatSheet->isVisible());
    // Other pages' texts are kept.
    const QVariantMap expected{{FormatKey::name, "wide"}, {FormatKey::modifier, "-wide"}, {FormatKey::scalemode, 2},
                               {FormatKey::xabs, "1200"}, {FormatKey::yabs, ""}, {FormatKey::xratio, ""}, {FormatKey::yratio, ""},
                               {FormatKey::maxeither, "900"}, {FormatKey::resamplemode, 3}, {FormatKey::fillcolour, 1},
                               {FormatKey::relativeto, 1}, {FormatKey::selected, true}};
    EXPECT_EQ(json(stored().last().toMap()), json(expected));
}

TEST_F(FormatManagerTest, ExistingNameAsksAndReplaceNeedsAModifierOfItsOwn)
{
    startAdding("2x", "@2x"); // the record Replace overwrites counts too
    presenter.answers = {AlertAlternate};
    manager.editPanelOK();
    expectRefused(kModifierExists);
    EXPECT_EQ(stored().at(1).toMap(), FormatStore::builtInFormat(2, true));

    s().modifier->setText("-double");
    presenter.answers = {AlertAlternate};
    manager.editPanelOK();
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x"})); // replaced in place
    EXPECT_EQ(stored().at(1).toMap().value(FormatKey::modifier), "-double");
}

TEST_F(FormatManagerTest, DuplicateAndEditKeepEveryFieldOfTheRecord)
{
    storeUserFormats({QVariantMap{{FormatKey::name, "long"}, {FormatKey::modifier, "-l"}, {FormatKey::scalemode, 2},
                                  {FormatKey::xabs, "kept"}, {FormatKey::yabs, ""}, {FormatKey::xratio, "50%"},
                                  {FormatKey::yratio, ""}, {FormatKey::maxeither, "800"}, {FormatKey::resamplemode, 1},
                                  {FormatKey::fillcolour, 1}, {FormatKey::relativeto, 0}, {FormatKey::selected, false}}});
    for (int row : {1, 2}) {
        for (bool duplicate : {true, false}) {
            const QVariantMap source = stored().at(row).toMap();
            QVariantMap expected = source;
            expected[FormatKey::selected] = true;
            // Every control shows something else first, so a field the sheet fails to take shows up.
            s().scaleModeButton->selectCellWithTag((recordInt(source, FormatKey::scalemode) + 1) % 3);
            s().resampleModeButton->selectCellWithTag(recordInt(source, FormatKey::resamplemode) == 3 ? 0 : 3);
            selectItemWithTag(s().fillColour, (recordInt(source, FormatKey::fillcolour) + 1) % 3);
            selectItemWithTag(s().relativeTo, 1 - recordInt(source, FormatKey::relativeto));
            selectRow(row);
            if (duplicate) {
                manager.addWithModifiers(Qt::AltModifier);
                EXPECT_EQ(s().nameField->text(), QString());
                s().nameField->setText(plistString(source.value(FormatKey::name)) + " copy");
                manager.editPanelOK(); // the copied modifier writes the same file
                expectRefused(kModifierExists);
                presenter.asked.clear();
                s().modifier->setText(s().modifier->text() + "-copy");
                expected[FormatKey::name] = s().nameField->text();
                expected[FormatKey::modifier] = s().modifier->text();
            } else {
                manager.editSelected();
            }
            manager.editPanelOK();
            const QVariantMap result = duplicate ? stored().last().toMap() : stored().at(row).toMap();
            EXPECT_EQ(json(result), json(expected)) << presenter.messages().join(';').toStdString();
        }
    }
}

TEST_F(FormatManagerTest, EditByDoubleClickReplacesTheFirstEqualRecordAndReselectsIt)
{
    storeUserFormats({named("twin", "-t"), named("twin", "-t")});
    const QPoint at = p().formatsTableView->visualRect(p().formatsTableView->model()->index(3, 1)).center();
    // The widget double-click helper sends only the second press; the first click comes first.
    QTest::mouseClick(p().formatsTableView->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(p().formatsTableView->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(s().editFormatSheet->isVisible());
    // Another format's name is accepted; the twin's modifier is not, both would write one file.
    s().nameField->setText("2x");
    s().modifier->setText("-t");
    manager.editPanelOK();
    expectRefused(kModifierExists);
    s().modifier->setText("-r");
    manager.editPanelOK();
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x", "2x", "twin"}));
    EXPECT_EQ(manager.selectedRow(), 2);
}

TEST_F(FormatManagerTest, CancelEscapeAndMissingSelectionStoreNothingAndDeleteTakesTheTwins)
{
    manager.editSelected();
    manager.deleteSelected();
    EXPECT_EQ(presenter.beeps, 2);
    selectRow(0);
    manager.editSelected();
    s().nameField->setText("changed");
    QTest::mouseClick(s().cancelButton, Qt::LeftButton);
    startAdding("new", "-n");
    QTest::keyClick(s().nameField, Qt::Key_Escape);
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x"}));

    storeUserFormats({named("twin", "-t"), named("other", "-o"), named("twin", "-t")});
    selectRow(2);
    QTest::mouseClick(p().deleteButton, Qt::LeftButton);
    EXPECT_TRUE(presenter.asked.isEmpty());
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x", "other"}));
    EXPECT_EQ(p().formatsTableView->verticalHeader()->count(), 3);
}

TEST_F(FormatManagerTest, TheSheetShowsOnlyTheControlsThatApply)
{
    manager.add();
    // {scale mode, resample mode}: the longest side has no resample mode, only "add" a fill colour.
    for (const auto &[scale, resample] : {std::pair{0, 0}, {2, 0}, {1, 0}, {1, 1}, {2, 1}, {0, 1}}) {
        SCOPED_TRACE(testing::Message() << "scale mode " << scale << ", resample mode " << resample);
        s().resampleModeButton->cellWithTag(resample)->click();
        s().scaleModeButton->cellWithTag(scale)->click();
        EXPECT_EQ(s().scaleModeTabView->currentIndex(), scale);
        EXPECT_TRUE(s().resampleModeButton->isHidden() == (scale == 2) && s().resampleModeLabel->isHidden() == (scale == 2));
        EXPECT_TRUE(s().fillColour->isHidden() == (resample != 1) && s().fillColourLabel->isHidden() == (resample != 1));
    }
}

TEST_F(FormatManagerTest, SummaryIsRefreshedWhenThePanelCloses)
{
    p().formatsTableModel->setData(p().formatsTableModel->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(formatsInfo->text(), "3x, 2x");
    QTest::mouseClick(p().okButton, Qt::LeftButton);
    EXPECT_EQ(formatsInfo->text(), "3x");

    manager.showFormatsPanel(); // closing with Escape counts as closing too
    p().formatsTableModel->setData(p().formatsTableModel->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    QTest::keyClick(p().formatsTableView, Qt::Key_Escape);
    EXPECT_EQ(formatsInfo->text(), "none selected");
}

TEST_F(FormatManagerTest, TheSheetRefusesAMissingNameOrModifierAndSizesItsScaleModeCannotUse)
{
    using S = FormatManager::EditSheetControls;
    const struct {
        const char *name;
        int scaleMode;
        QStringList texts; // modifier, xabs, yabs, xratio, yratio, maxeither
        QString refusal;   // empty: stored
        QLineEdit *S::*field; // given the focus for the correction
    } cases[] = {
        {"", 0, {"-a", "640", "480", "", "", ""}, "No template name", nullptr},
        {"no modifier", 0, {"", "640", "480", "", "", ""}, "No template file extension", nullptr},
        {"letters", 0, {"-a", "abc", "480", "", "", ""},
         "Width in pixels is not a positive number - please enter a number of pixels such as 640", &S::xabs},
        {"zero", 0, {"-a", "0", "480", "", "", ""},
         "Width in pixels is not a positive number - please enter a number of pixels such as 640", &S::xabs},
        {"empty height", 0, {"-a", "640", "", "", "", ""},
         "Height in pixels is not a positive number - please enter a number of pixels such as 480", &S::yabs},
        {"percentage", 1, {"-a", "", "", "50%", "2", ""},
         "Width multiple is a percentage - please enter a plain multiple (0.5 for 50%)", &S::xratio},
        {"too large to read", 1, {"-a", "", "", "2", "1e39", ""},
         "Height multiple is not a positive number - please enter a plain multiple such as 2 or 0.5", &S::yratio},
        {"blank longest side", 2, {"-a", "640", "480", "2", "2", "  "},
         "Longest side is not a positive number - please enter a number of pixels such as 800", &S::maxeither},
        {" ", 0, {" ", " 640.5 ", "4.8e2", "", "", ""}, QString(), nullptr}, // spaces are a name and a modifier
        {"other pages are not read", 1, {"-b", "abc", "", "0.5", "3", "50%"}, QString(), nullptr},
        {"longest side alone", 2, {"-c", "", "", "", "", "800"}, QString(), nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.name << "\" " << c.refusal.toStdString());
        presenter.asked.clear();
        const qsizetype before = stored().size();
        manager.add();
        s().nameField->setText(QString::fromLatin1(c.name));
        s().scaleModeButton->cellWithTag(c.scaleMode)->click();
        QLineEdit *fields[] = {s().modifier, s().xabs, s().yabs, s().xratio, s().yratio, s().maxeither};
        for (int i = 0; i < 6; ++i)
            fields[i]->setText(c.texts.at(i));
        QTest::mouseClick(s().okButton, Qt::LeftButton);
        if (c.refusal.isEmpty()) {
            EXPECT_TRUE(presenter.asked.isEmpty()) << presenter.messages().join(';').toStdString();
            EXPECT_EQ(storedNames().last(), c.name);
            EXPECT_EQ(stored().last().toMap().value(FormatKey::xabs), c.texts.at(1)); // kept as typed
            continue;
        }
        expectRefused(c.refusal);
        EXPECT_TRUE(!c.field || s().editFormatSheet->focusWidget() == s().*c.field);
        EXPECT_EQ(stored().size(), before);
        manager.editPanelCancel();
    }
}

TEST_F(FormatManagerTest, EscapeOnTheRealAlertsNeitherReplacesNorResets)
{
    QVariantList withoutTwoX = stored();
    withoutTwoX.removeAt(1);
    manager.store().storeFormats(withoutTwoX, true);
    p().formatsTableModel->reloadData();
    MessageBoxPresenter boxes(p().formatsPanel);
    DialogPresenter::install(&boxes);
    startAdding("3x", "-three");
    auto box = dismissNextMessageBox(Dismissal::EscapeKey);
    QTest::mouseClick(s().okButton, Qt::LeftButton);
    EXPECT_EQ(box->message, kNameExists);
    manager.editPanelCancel();
    box = dismissNextMessageBox(Dismissal::EscapeKey);
    QTest::mouseClick(p().resetButton, Qt::LeftButton);
    EXPECT_TRUE(box->shown && !box->leftOpen);
    EXPECT_EQ(stored(), withoutTwoX);

    DialogPresenter::install(&presenter); // Continue: the table shows the list brought back
    QTest::mouseClick(p().resetButton, Qt::LeftButton);
    EXPECT_EQ(p().formatsTableView->verticalHeader()->count(), 2);
}
