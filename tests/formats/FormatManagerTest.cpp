#include "Controls.h"
#include "Dialogs.h"
#include "FormatManager.h"
#include "FormatsTableModel.h"
#include "Manual.h"
#include "MessageBoxPresenter.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

QString recordName(const QVariantMap &record)
{
    return plistString(record.value(FormatKey::name));
}

std::string describe(const QVariantMap &record)
{
    return QJsonDocument(QJsonObject::fromVariantMap(record)).toJson(QJsonDocument::Compact).toStdString();
}

const QString kNameExists = QStringLiteral("Template with this name exists - please choose another name");
const QString kModifierExists = QStringLiteral(
    "Template with this filename modifier exists - please change the filename modifier to a unique value");

class FormatManagerTest : public FreshDefaultsTest {
protected:
    void SetUp() override
    {
        FreshDefaultsTest::SetUp();
        DialogPresenter::install(&presenter);
        writeFirstRunValues(defaults, [] { return 1.0; });
        window.setCentralWidget(formatsInfo);
        window.resize(500, 400);
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
    void fill(const QString &name, const QString &modifier)
    {
        s().nameField->setText(name);
        s().modifier->setText(modifier);
    }
    // Add, with a usable absolute size typed in.
    void startAdding()
    {
        manager.add();
        s().xabs->setText(QStringLiteral("640"));
        s().yabs->setText(QStringLiteral("480"));
    }
    // A user format in absolute scale mode, appended to the stored list.
    void storeUserFormat(const QString &name, const QString &modifier, bool selected = true)
    {
        QVariantList list = stored();
        list.append(QVariantMap{{FormatKey::name, name}, {FormatKey::modifier, modifier},
                                {FormatKey::scalemode, qint64(0)}, {FormatKey::xabs, QStringLiteral("640")},
                                {FormatKey::yabs, QStringLiteral("480")}, {FormatKey::xratio, QString()},
                                {FormatKey::yratio, QString()}, {FormatKey::maxeither, QString()},
                                {FormatKey::resamplemode, qint64(1)}, {FormatKey::fillcolour, qint64(2)},
                                {FormatKey::relativeto, qint64(0)}, {FormatKey::selected, selected}});
        manager.store().storeFormats(list, true);
        p().formatsTableModel->reloadData();
    }

    UserDefaults &defaults = UserDefaults::standard();
    ScriptedPresenter presenter;
    QMainWindow window;
    QLabel *formatsInfo = new QLabel;
    FormatManager manager{&window, formatsInfo};
};

} // namespace

TEST_F(FormatManagerTest, StartUpSeedsWithoutAskingAndShowsTheSummary)
{
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("3x"), QStringLiteral("2x")}));
    EXPECT_TRUE(presenter.asked.isEmpty());
    EXPECT_EQ(formatsInfo->text(), QStringLiteral("3x, 2x"));
    EXPECT_EQ(s().scaleModeTabView->currentIndex(), 0);
    // The sheets are window-modal: the panel over the main window, the edit sheet over the panel.
    EXPECT_TRUE(p().formatsPanel->isVisible());
    EXPECT_EQ(p().formatsPanel->parentWidget(), &window);
    EXPECT_EQ(p().formatsPanel->windowModality(), Qt::WindowModal);
    EXPECT_EQ(s().editFormatSheet->parentWidget(), p().formatsPanel);
    EXPECT_EQ(s().editFormatSheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(p().formatsTableView->model()->rowCount(), 2);
}

TEST_F(FormatManagerTest, EmptyNameOrModifierIsRefusedAndTheSheetStaysOpen)
{
    manager.add();
    ASSERT_TRUE(s().editFormatSheet->isVisible());
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages(), QStringList{QStringLiteral("No template name")});
    EXPECT_EQ(presenter.asked[0].title, QStringLiteral("Format validation"));
    EXPECT_EQ(presenter.asked[0].defaultButton, QStringLiteral("OK"));
    EXPECT_TRUE(presenter.asked[0].alternateButton.isEmpty());

    s().nameField->setText(QStringLiteral("thumb"));
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages().last(), QStringLiteral("No template file extension"));
    EXPECT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::Adding);
    EXPECT_EQ(s().nameField->text(), QStringLiteral("thumb"));
    EXPECT_EQ(stored().size(), 2);

    // Only spaces is not empty.
    fill(QStringLiteral(" "), QStringLiteral(" "));
    s().xabs->setText(QStringLiteral("640"));
    s().yabs->setText(QStringLiteral("480"));
    manager.editPanelOK();
    EXPECT_EQ(presenter.asked.size(), 2);
    EXPECT_EQ(storedNames().last(), QStringLiteral(" "));
}

TEST_F(FormatManagerTest, AddingANewFormatAppendsACompleteSelectedRecord)
{
    selectItemWithTag(s().fillColour, 1); // pop-ups keep their state from the last use
    selectItemWithTag(s().relativeTo, 1);
    QTest::mouseClick(p().addButton, Qt::LeftButton);
    ASSERT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::Adding);
    EXPECT_EQ(s().scaleModeButton->selectedTag(), 0);
    EXPECT_EQ(s().resampleModeButton->selectedTag(), 3);
    EXPECT_EQ(selectedTag(s().fillColour), 1);

    fill(QStringLiteral("wide"), QStringLiteral("-wide"));
    s().xabs->setText(QStringLiteral("1200"));
    s().scaleModeButton->cellWithTag(2)->click();
    s().maxeither->setText(QStringLiteral("900"));
    QTest::mouseClick(s().okButton, Qt::LeftButton);

    EXPECT_TRUE(presenter.asked.isEmpty());
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
    ASSERT_EQ(stored().size(), 3);
    const QVariantMap added = stored().last().toMap();
    EXPECT_EQ(added.size(), 12);
    EXPECT_EQ(added.value(FormatKey::name), QStringLiteral("wide"));
    EXPECT_EQ(added.value(FormatKey::scalemode).toInt(), 2);
    EXPECT_EQ(added.value(FormatKey::xabs), QStringLiteral("1200")); // other pages' texts are kept
    EXPECT_EQ(added.value(FormatKey::maxeither), QStringLiteral("900"));
    EXPECT_EQ(added.value(FormatKey::yratio), QString());
    EXPECT_EQ(added.value(FormatKey::resamplemode).toInt(), 3);
    EXPECT_EQ(added.value(FormatKey::fillcolour).toInt(), 1);
    EXPECT_EQ(added.value(FormatKey::relativeto).toInt(), 1);
    EXPECT_EQ(added.value(FormatKey::selected), true);
    EXPECT_EQ(p().formatsTableView->model()->rowCount(), 3);
    EXPECT_EQ(manager.selectedRow(), 2);
}

TEST_F(FormatManagerTest, ExistingNameAsksAndCancelStops)
{
    startAdding();
    fill(QStringLiteral("2x"), QStringLiteral("-new"));
    presenter.answers = {AlertDefault};
    manager.editPanelOK();
    ASSERT_EQ(presenter.asked.size(), 1);
    EXPECT_EQ(presenter.asked[0].title, QStringLiteral("Format validation"));
    EXPECT_EQ(presenter.asked[0].message, kNameExists);
    EXPECT_EQ(presenter.asked[0].defaultButton, QStringLiteral("Cancel"));
    EXPECT_EQ(presenter.asked[0].alternateButton, QStringLiteral("Replace"));
    EXPECT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::Adding);
    EXPECT_EQ(stored().at(1).toMap().value(FormatKey::modifier), QStringLiteral("@2x"));
}

TEST_F(FormatManagerTest, ReplaceKeepingTheModifierIsRefusedWithANewOneOverwritesInPlace)
{
    startAdding();
    fill(QStringLiteral("2x"), QStringLiteral("@2x"));
    presenter.answers = {AlertAlternate};
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages(), (QStringList{kNameExists, kModifierExists}));
    EXPECT_EQ(stored().at(1).toMap(), FormatStore::builtInFormat(2, true));

    s().modifier->setText(QStringLiteral("-double"));
    s().scaleModeButton->selectCellWithTag(1);
    s().xratio->setText(QStringLiteral("2.5"));
    s().yratio->setText(QStringLiteral("2"));
    presenter.answers = {AlertAlternate};
    manager.editPanelOK();
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("3x"), QStringLiteral("2x")}));
    EXPECT_EQ(stored().at(1).toMap().value(FormatKey::modifier), QStringLiteral("-double"));
    EXPECT_EQ(stored().at(1).toMap().value(FormatKey::xratio), QStringLiteral("2.5"));
}

TEST_F(FormatManagerTest, NewNameWithATakenModifierIsRefused)
{
    startAdding();
    fill(QStringLiteral("retina"), QStringLiteral("@3x"));
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages(), QStringList{kModifierExists});
    EXPECT_EQ(presenter.asked[0].defaultButton, QStringLiteral("OK"));
    EXPECT_EQ(stored().size(), 2);
}

TEST_F(FormatManagerTest, AltAddDuplicatesTheSelectedRowAndItsModifierIsRefused)
{
    storeUserFormat(QStringLiteral("photo"), QStringLiteral("-photo"));
    selectRow(2);
    QTest::mouseClick(p().addButton, Qt::LeftButton, Qt::AltModifier);

    // The fields themselves are covered by the round trip below.
    ASSERT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::Adding);
    EXPECT_EQ(s().nameField->text(), QString());
    EXPECT_EQ(s().modifier->text(), QStringLiteral("-photo"));
    EXPECT_FALSE(s().fillColour->isHidden());

    s().nameField->setText(QStringLiteral("photo copy"));
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages(), QStringList{kModifierExists});
    EXPECT_EQ(stored().size(), 3);

    s().modifier->setText(QStringLiteral("-photo2"));
    manager.editPanelOK();
    EXPECT_EQ(storedNames().last(), QStringLiteral("photo copy"));
}

TEST_F(FormatManagerTest, DuplicateAndEditKeepEveryFieldOfTheRecord)
{
    storeUserFormat(QStringLiteral("photo"), QStringLiteral("-photo"), false);
    QVariantList list = stored();
    list.append(QVariantMap{{FormatKey::name, QStringLiteral("long")}, {FormatKey::modifier, QStringLiteral("-l")},
                            {FormatKey::scalemode, qint64(2)}, {FormatKey::xabs, QStringLiteral("kept")},
                            {FormatKey::yabs, QString()}, {FormatKey::xratio, QStringLiteral("50%")},
                            {FormatKey::yratio, QString()}, {FormatKey::maxeither, QStringLiteral("800")},
                            {FormatKey::relativeto, qint64(1)}, {FormatKey::resamplemode, qint64(1)},
                            {FormatKey::fillcolour, qint64(1)}, {FormatKey::selected, true}});
    manager.store().storeFormats(list, true);
    p().formatsTableModel->reloadData();

    const int originals = int(stored().size());
    for (int row = 0; row < originals; ++row) {
        for (bool duplicate : {true, false}) {
            const QVariantMap source = stored().at(row).toMap();
            const QString name = recordName(source) + (duplicate ? QStringLiteral(" duplicated") : QStringLiteral(" edited"));
            // Every control shows something else first, so a field the sheet fails to take shows up.
            s().scaleModeButton->selectCellWithTag((recordInt(source, FormatKey::scalemode) + 1) % 3);
            s().resampleModeButton->selectCellWithTag(recordInt(source, FormatKey::resamplemode) == 3 ? 0 : 3);
            selectItemWithTag(s().fillColour, (recordInt(source, FormatKey::fillcolour) + 1) % 3);
            selectItemWithTag(s().relativeTo, 1 - recordInt(source, FormatKey::relativeto));
            selectRow(row);
            QVariantMap expected = source;
            if (duplicate) {
                manager.addWithModifiers(Qt::AltModifier);
                fill(name, plistString(source.value(FormatKey::modifier)) + QStringLiteral("-copy"));
                expected[FormatKey::name] = name;
                expected[FormatKey::modifier] = s().modifier->text();
            } else {
                manager.editSelected();
            }
            expected[FormatKey::selected] = true;
            manager.editPanelOK();
            ASSERT_TRUE(presenter.asked.isEmpty()) << name.toStdString() << ": " << presenter.messages().join(';').toStdString();
            const QVariantMap result = duplicate ? stored().last().toMap() : stored().at(row).toMap();
            EXPECT_TRUE(result == expected) << name.toStdString() << ": " << describe(result) << " instead of " << describe(expected);
        }
    }
}

TEST_F(FormatManagerTest, DuplicateOfARecordWithoutModesDefaultsToSameAsMain)
{
    QVariantList list = stored();
    list.append(QVariantMap{{FormatKey::name, QStringLiteral("bare")}, {FormatKey::modifier, QStringLiteral("-b")}});
    manager.store().storeFormats(list, true);
    p().formatsTableModel->reloadData();
    s().scaleModeButton->selectCellWithTag(2);
    selectRow(2);
    manager.addWithModifiers(Qt::AltModifier);
    EXPECT_EQ(s().scaleModeButton->selectedTag(), 2); // no "scalemode": the control stays
    EXPECT_EQ(s().resampleModeButton->selectedTag(), 3);
    EXPECT_EQ(s().scaleModeTabView->currentIndex(), 2);
    EXPECT_EQ(s().xratio->text(), QString());
}

TEST_F(FormatManagerTest, AltAddWithoutASelectedRowIsAPlainAdd)
{
    s().xabs->setText(QStringLiteral("leftover"));
    manager.addWithModifiers(Qt::AltModifier);
    EXPECT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(s().xabs->text(), QString());
    EXPECT_EQ(s().modifier->text(), QString());
    EXPECT_EQ(s().resampleModeButton->selectedTag(), 3);
}

TEST_F(FormatManagerTest, EditFillsTheSheetAndStoresReselectingTheFormat)
{
    storeUserFormat(QStringLiteral("photo"), QStringLiteral("-photo"), false);
    const QModelIndex nameCell = p().formatsTableView->model()->index(2, 1);
    const QPoint at = p().formatsTableView->visualRect(nameCell).center();
    // The widget double-click helper sends only the second press; the first click comes first.
    QTest::mouseClick(p().formatsTableView->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(p().formatsTableView->viewport(), Qt::LeftButton, Qt::NoModifier, at);

    ASSERT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::Editing);
    EXPECT_EQ(s().nameField->text(), QStringLiteral("photo"));

    // Another format's name is accepted, its modifier is not: both would write one file.
    fill(QStringLiteral("2x"), QStringLiteral("@3x"));
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages(), QStringList{kModifierExists});
    EXPECT_EQ(manager.currentOperation(), FormatManager::Editing);
    EXPECT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(stored().at(2).toMap().value(FormatKey::name), QStringLiteral("photo"));

    s().modifier->setText(QStringLiteral("-photo")); // its own modifier is no clash
    manager.editPanelOK();
    EXPECT_EQ(presenter.asked.size(), 1);
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("3x"), QStringLiteral("2x"), QStringLiteral("2x")}));
    EXPECT_EQ(stored().at(2).toMap().value(FormatKey::selected), true);
    EXPECT_EQ(manager.selectedRow(), 2);
}

TEST_F(FormatManagerTest, EditReplacesTheFirstRecordEqualToTheSelectedOne)
{
    storeUserFormat(QStringLiteral("twin"), QStringLiteral("-t"));
    storeUserFormat(QStringLiteral("twin"), QStringLiteral("-t"));
    selectRow(3);
    manager.editSelected();
    s().nameField->setText(QStringLiteral("renamed"));
    // The twin writes the same file, so the edited one needs a modifier of its own.
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages(), QStringList{kModifierExists});
    s().modifier->setText(QStringLiteral("-r"));
    manager.editPanelOK();
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("3x"), QStringLiteral("2x"), QStringLiteral("renamed"),
                                          QStringLiteral("twin")}));
}

TEST_F(FormatManagerTest, EditAndDeleteWithoutASelectedRowBeep)
{
    manager.editSelected();
    manager.deleteSelected();
    EXPECT_EQ(presenter.beeps, 2);
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(stored().size(), 2);
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
}

TEST_F(FormatManagerTest, CancelAndEscapeStoreNothing)
{
    selectRow(0);
    manager.editSelected();
    s().nameField->setText(QStringLiteral("changed"));
    QTest::mouseClick(s().cancelButton, Qt::LeftButton);
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);

    manager.add();
    fill(QStringLiteral("new"), QStringLiteral("-n"));
    QTest::keyClick(s().nameField, Qt::Key_Escape);
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("3x"), QStringLiteral("2x")}));
}

TEST_F(FormatManagerTest, DeleteRemovesTheRowAndItsTwinsWithoutAsking)
{
    storeUserFormat(QStringLiteral("twin"), QStringLiteral("-t"));
    storeUserFormat(QStringLiteral("other"), QStringLiteral("-o"));
    storeUserFormat(QStringLiteral("twin"), QStringLiteral("-t"));
    selectRow(2);
    QTest::mouseClick(p().deleteButton, Qt::LeftButton);
    EXPECT_TRUE(presenter.asked.isEmpty());
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("3x"), QStringLiteral("2x"), QStringLiteral("other")}));
    EXPECT_EQ(p().formatsTableView->model()->rowCount(), 3);
}

TEST_F(FormatManagerTest, ResetButtonAsksAndTheManagerItselfDoesNot)
{
    QVariantList list = stored();
    list.removeAt(1);
    manager.store().storeFormats(list, true);

    presenter.answers = {AlertAlternate};
    QTest::mouseClick(p().resetButton, Qt::LeftButton);
    ASSERT_EQ(presenter.asked.size(), 1);
    EXPECT_EQ(presenter.asked[0].title, QStringLiteral("Factory reset formats"));
    EXPECT_EQ(presenter.asked[0].defaultButton, QStringLiteral("Continue"));
    EXPECT_EQ(storedNames(), QStringList{QStringLiteral("3x")});

    QTest::mouseClick(p().resetButton, Qt::LeftButton);
    EXPECT_EQ(storedNames(), (QStringList{QStringLiteral("3x"), QStringLiteral("2x")}));
    EXPECT_EQ(p().formatsTableView->model()->rowCount(), 2);

    manager.factoryReset(&manager);
    EXPECT_EQ(presenter.asked.size(), 2);
}

TEST_F(FormatManagerTest, VisibilityRulesOfTheSheet)
{
    manager.add();
    s().resampleModeButton->cellWithTag(0)->click();
    EXPECT_TRUE(s().fillColour->isHidden());
    EXPECT_TRUE(s().fillColourLabel->isHidden());

    s().scaleModeButton->cellWithTag(2)->click();
    EXPECT_EQ(s().scaleModeTabView->currentIndex(), 2);
    EXPECT_TRUE(s().resampleModeButton->isHidden());
    EXPECT_TRUE(s().resampleModeLabel->isHidden());
    EXPECT_TRUE(s().fillColour->isHidden()); // a scale change leaves the fill colour alone

    s().scaleModeButton->cellWithTag(1)->click();
    EXPECT_EQ(s().scaleModeTabView->currentIndex(), 1);
    EXPECT_FALSE(s().resampleModeButton->isHidden());
    EXPECT_FALSE(s().resampleModeLabel->isHidden());
    EXPECT_TRUE(s().fillColour->isHidden());

    s().resampleModeButton->cellWithTag(1)->click();
    EXPECT_FALSE(s().fillColour->isHidden());
    EXPECT_FALSE(s().fillColourLabel->isHidden());

    // Other senders change nothing.
    s().scaleModeButton->selectCellWithTag(0);
    manager.handleControl(s().nameField);
    manager.handleControl(nullptr);
    EXPECT_EQ(s().scaleModeTabView->currentIndex(), 1);
}

TEST_F(FormatManagerTest, TheSheetHoldsStillAsTheScaleModeChangesAndItsHelpButtonsShowTheirHints)
{
    manager.add();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s().editFormatSheet));
    QDialog *sheet = s().editFormatSheet;
    auto x = [sheet](QWidget *widget) {
        sheet->layout()->activate();
        return widget->mapTo(sheet, QPoint(0, 0)).x();
    };
    const int nameX = x(s().nameField), fieldX = x(s().xabs);
    const QSize size = sheet->size();
    QLineEdit *const firstField[] = {s().xabs, s().xratio, s().maxeither};
    for (int mode : {2, 1, 0, 2, 1}) {
        s().scaleModeButton->cellWithTag(mode)->click();
        EXPECT_EQ(x(s().nameField), nameX) << "scale mode " << mode;
        EXPECT_EQ(x(firstField[mode]), fieldX) << "scale mode " << mode;
        EXPECT_EQ(sheet->size(), size) << "scale mode " << mode;
    }

    Manual manual;
    manager.connectHelp(&manual);
    const std::pair<QToolButton *, const char *> hints[] = {{s().modifierHelpButton, "Each additional format will be saved"},
                                                            {s().resampleModeHelpButton, "If you choose not to constrain"},
                                                            {s().relativeToHelpButton, "You can base these sizes"}};
    for (const auto &[button, start] : hints) {
        EXPECT_FALSE(button->icon().isNull()) << start;
        button->click();
        ASSERT_NE(manual.hintPopover(), nullptr) << start;
        EXPECT_TRUE(manual.hintPopover()->textField()->text().startsWith(QString::fromLatin1(start))) << start;
        manual.closePopover();
    }
}

TEST_F(FormatManagerTest, SummaryIsRefreshedOnlyWhenThePanelCloses)
{
    const QModelIndex check = p().formatsTableModel->index(1, 0);
    p().formatsTableModel->setData(check, Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(stored().at(1).toMap().value(FormatKey::selected), false);
    EXPECT_EQ(formatsInfo->text(), QStringLiteral("3x, 2x"));

    QTest::mouseClick(p().okButton, Qt::LeftButton);
    EXPECT_FALSE(p().formatsPanel->isVisible());
    EXPECT_EQ(formatsInfo->text(), QStringLiteral("3x"));

    // Closing with Escape counts as closing too.
    manager.showFormatsPanel();
    p().formatsTableModel->setData(p().formatsTableModel->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    QTest::keyClick(p().formatsTableView, Qt::Key_Escape);
    EXPECT_FALSE(p().formatsPanel->isVisible());
    EXPECT_EQ(formatsInfo->text(), QStringLiteral("none selected"));
}

TEST_F(FormatManagerTest, PanelStaysWhileTheEditSheetIsOpen)
{
    manager.add();
    manager.formatsPanelOK();
    EXPECT_EQ(presenter.beeps, 1);
    EXPECT_TRUE(p().formatsPanel->isVisible());
    manager.editPanelCancel();
    manager.formatsPanelOK();
    EXPECT_FALSE(p().formatsPanel->isVisible());
}

TEST_F(FormatManagerTest, SizesTheScaleModeReadsMustBePositiveNumbers)
{
    const QString width = QStringLiteral("Width in pixels is not a positive number - please enter a number of pixels such as 640");
    const QString height = QStringLiteral("Height in pixels is not a positive number - please enter a number of pixels such as 480");
    const QString yMultiple = QStringLiteral("Height multiple is not a positive number - please enter a plain multiple such as 2 or 0.5");
    const QString longest = QStringLiteral("Longest side is not a positive number - please enter a number of pixels such as 800");
    struct Case {
        const char *name;
        int scaleMode;
        QStringList texts; // xabs, yabs, xratio, yratio, maxeither
        QString refusal;   // empty: stored
        QLineEdit *FormatManager::EditSheetControls::*field;
    };
    using S = FormatManager::EditSheetControls;
    const Case cases[] = {
        {"letters", 0, {"abc", "480", "", "", ""}, width, &S::xabs},
        {"empty height", 0, {"640", "", "", "", ""}, height, &S::yabs},
        {"zero", 0, {"0", "480", "", "", ""}, width, &S::xabs},
        {"negative", 0, {"640", "-480", "", "", ""}, height, &S::yabs},
        {"unit after the number", 0, {"640px", "480", "", "", ""}, width, &S::xabs},
        {"thousands separator", 0, {"1,200", "480", "", "", ""}, width, &S::xabs},
        {"percentage", 1, {"", "", "50%", "2", ""}, QStringLiteral("Width multiple is a percentage - please enter a plain multiple (0.5 for 50%)"),
         &S::xratio},
        {"decimal comma", 1, {"", "", "2", "1,5", ""}, yMultiple, &S::yratio},
        {"too large to read", 1, {"", "", "2", "1e39", ""}, yMultiple, &S::yratio},
        {"empty longest side", 2, {"640", "480", "2", "2", ""}, longest, &S::maxeither},
        {"blank longest side", 2, {"", "", "", "", "  "}, longest, &S::maxeither},
        {"fractions and spaces", 0, {" 640.5 ", "4.8e2", "", "", ""}, QString(), nullptr},
        {"other pages are not read", 1, {"abc", "", "0.5", "3", "50%"}, QString(), nullptr},
        {"longest side alone", 2, {"", "", "", "", "800"}, QString(), nullptr},
    };
    int added = 0;
    for (const Case &c : cases) {
        presenter.asked.clear();
        manager.add();
        fill(QString::fromLatin1(c.name), QStringLiteral("-") + QString::number(added));
        s().scaleModeButton->cellWithTag(c.scaleMode)->click();
        QLineEdit *fields[] = {s().xabs, s().yabs, s().xratio, s().yratio, s().maxeither};
        for (int i = 0; i < 5; ++i)
            fields[i]->setText(c.texts.at(i));
        QTest::mouseClick(s().okButton, Qt::LeftButton);
        if (c.refusal.isEmpty()) {
            EXPECT_TRUE(presenter.asked.isEmpty()) << c.name << ": " << presenter.messages().join(';').toStdString();
            EXPECT_EQ(storedNames().last(), QString::fromLatin1(c.name));
            EXPECT_EQ(stored().last().toMap().value(FormatKey::xabs), c.texts.at(0)) << c.name; // kept as typed
            ++added;
            continue;
        }
        ASSERT_EQ(presenter.asked.size(), 1) << c.name;
        EXPECT_EQ(presenter.asked[0].title, QStringLiteral("Format validation")) << c.name;
        EXPECT_EQ(presenter.asked[0].message, c.refusal) << c.name;
        EXPECT_EQ(presenter.asked[0].defaultButton, QStringLiteral("OK")) << c.name;
        EXPECT_TRUE(s().editFormatSheet->isVisible()) << c.name;
        EXPECT_EQ(manager.currentOperation(), FormatManager::Adding) << c.name;
        EXPECT_EQ(s().editFormatSheet->focusWidget(), s().*c.field) << c.name;
        EXPECT_EQ(stored().size(), 2 + added) << c.name;
        manager.editPanelCancel();
    }

    // The edit sheet checks its sizes as well.
    presenter.asked.clear();
    selectRow(1);
    manager.editSelected();
    s().yratio->setText(QStringLiteral("200%"));
    manager.editPanelOK();
    EXPECT_EQ(presenter.messages(),
              QStringList{QStringLiteral("Height multiple is a percentage - please enter a plain multiple (2 for 200%)")});
    EXPECT_EQ(stored().at(1).toMap(), FormatStore::builtInFormat(2, true));
}

TEST_F(FormatManagerTest, EscapeOrClosingTheRealAlertsChangesNothing)
{
    MessageBoxPresenter boxes(p().formatsPanel);
    DialogPresenter::install(&boxes);
    QVariantList withoutTwoX = stored();
    withoutTwoX.removeAt(1);
    manager.store().storeFormats(withoutTwoX, true);
    p().formatsTableModel->reloadData();

    for (Dismissal how : {Dismissal::EscapeKey, Dismissal::CloseWindow}) {
        const char *road = dismissalName(how);
        // "Replace" would overwrite the stored "3x".
        startAdding();
        fill(QStringLiteral("3x"), QStringLiteral("-three"));
        auto box = dismissNextMessageBox(how);
        QTest::mouseClick(s().okButton, Qt::LeftButton);
        EXPECT_EQ(box->message, kNameExists) << road;
        EXPECT_FALSE(box->leftOpen) << road;
        EXPECT_EQ(stored(), withoutTwoX) << road;
        EXPECT_TRUE(s().editFormatSheet->isVisible()) << road;
        EXPECT_EQ(manager.currentOperation(), FormatManager::Adding) << road;
        manager.editPanelCancel();

        // "Continue" would bring back the deleted "2x".
        box = dismissNextMessageBox(how);
        QTest::mouseClick(p().resetButton, Qt::LeftButton);
        EXPECT_TRUE(box->shown) << road;
        EXPECT_FALSE(box->leftOpen) << road;
        EXPECT_EQ(stored(), withoutTwoX) << road;

        // A single-button alert just goes away.
        startAdding();
        box = dismissNextMessageBox(how);
        QTest::mouseClick(s().okButton, Qt::LeftButton);
        EXPECT_EQ(box->message, QStringLiteral("No template name")) << road;
        EXPECT_FALSE(box->leftOpen) << road;
        EXPECT_TRUE(s().editFormatSheet->isVisible()) << road;
        manager.editPanelCancel();
    }
}
