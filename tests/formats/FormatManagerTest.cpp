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
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

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
    void startAdding(const QString &name, const QString &modifier)
    {
        manager.add();
        fill(name, modifier);
        s().xabs->setText(QStringLiteral("640"));
        s().yabs->setText(QStringLiteral("480"));
    }
    // Appends user formats (absolute scale mode, unless the record says otherwise).
    void storeUserFormats(const QList<QVariantMap> &records)
    {
        QVariantList list = stored();
        for (const QVariantMap &more : records) {
            QVariantMap record{{FormatKey::scalemode, qint64(0)}, {FormatKey::xabs, "640"}, {FormatKey::yabs, "480"},
                               {FormatKey::xratio, QString()}, {FormatKey::yratio, QString()}, {FormatKey::maxeither, QString()},
                               {FormatKey::resamplemode, qint64(1)}, {FormatKey::fillcolour, qint64(2)},
                               {FormatKey::relativeto, qint64(0)}, {FormatKey::selected, true}};
            record.insert(more);
            list.append(record);
        }
        manager.store().storeFormats(list, true);
        p().formatsTableModel->reloadData();
    }
    static QVariantMap named(const char *name, const char *modifier, bool selected = true)
    {
        return {{FormatKey::name, name}, {FormatKey::modifier, modifier}, {FormatKey::selected, selected}};
    }
    // Asserts the alert shown last and that the sheet stays open for a correction.
    void expectRefused(const QString &message, const QString &button = QStringLiteral("OK"))
    {
        ASSERT_FALSE(presenter.asked.isEmpty());
        const AlertPanel &alert = presenter.asked.last();
        EXPECT_EQ(QStringList({alert.title, alert.message, alert.defaultButton}),
                  QStringList({"Format validation", message, button}));
        EXPECT_TRUE(s().editFormatSheet->isVisible());
        EXPECT_NE(manager.currentOperation(), FormatManager::NoOperation);
    }

    UserDefaults &defaults = UserDefaults::standard();
    ScriptedPresenter presenter;
    QMainWindow window;
    QLabel *formatsInfo = new QLabel;
    FormatManager manager{&window, formatsInfo};
};

} // namespace

TEST_F(FormatManagerTest, StartUpSeedsWithoutAskingAndAddingAppendsACompleteSelectedRecord)
{
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x"}));
    EXPECT_TRUE(presenter.asked.isEmpty());
    EXPECT_EQ(formatsInfo->text(), "3x, 2x");
    EXPECT_EQ(p().formatsTableView->model()->rowCount(), 2);

    selectItemWithTag(s().fillColour, 1); // pop-ups keep their state from the last use
    selectItemWithTag(s().relativeTo, 1);
    QTest::mouseClick(p().addButton, Qt::LeftButton);
    ASSERT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_TRUE(s().scaleModeButton->selectedTag() == 0 && s().resampleModeButton->selectedTag() == 3);
    fill("wide", "-wide");
    s().xabs->setText("1200");
    s().scaleModeButton->cellWithTag(2)->click();
    s().maxeither->setText("900");
    QTest::mouseClick(s().okButton, Qt::LeftButton);

    EXPECT_TRUE(presenter.asked.isEmpty());
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
    const QVariantMap expected{{FormatKey::name, "wide"}, {FormatKey::modifier, "-wide"}, {FormatKey::scalemode, 2},
                               {FormatKey::xabs, "1200"}, {FormatKey::yabs, ""}, {FormatKey::xratio, ""}, {FormatKey::yratio, ""},
                               {FormatKey::maxeither, "900"}, {FormatKey::resamplemode, 3}, {FormatKey::fillcolour, 1},
                               {FormatKey::relativeto, 1}, {FormatKey::selected, true}};
    ASSERT_EQ(stored().size(), 3);
    for (auto it = expected.begin(); it != expected.end(); ++it) // other pages' texts are kept
        EXPECT_EQ(plistString(stored().last().toMap().value(it.key())), plistString(it.value())) << it.key().toStdString();
    EXPECT_EQ(stored().last().toMap().size(), 12);
    EXPECT_EQ(manager.selectedRow(), 2);
}

TEST_F(FormatManagerTest, EmptyNameOrModifierIsRefusedButSpacesAreNot)
{
    manager.add();
    manager.editPanelOK();
    expectRefused("No template name");
    EXPECT_TRUE(presenter.asked.last().alternateButton.isEmpty());
    s().nameField->setText("thumb");
    manager.editPanelOK();
    expectRefused("No template file extension");
    EXPECT_EQ(s().nameField->text(), "thumb");
    EXPECT_EQ(stored().size(), 2);
    startAdding(" ", " ");
    manager.editPanelOK();
    EXPECT_EQ(presenter.asked.size(), 2);
    EXPECT_EQ(storedNames().last(), " ");
}

TEST_F(FormatManagerTest, ExistingNameAsksAndReplaceNeedsAModifierOfItsOwn)
{
    startAdding("2x", "-new");
    presenter.answers = {AlertDefault}; // Cancel
    manager.editPanelOK();
    expectRefused(kNameExists, "Cancel");
    EXPECT_EQ(presenter.asked.last().alternateButton, "Replace");
    EXPECT_EQ(stored().at(1).toMap(), FormatStore::builtInFormat(2, true));

    s().modifier->setText("@2x");
    presenter.answers = {AlertAlternate};
    manager.editPanelOK();
    expectRefused(kModifierExists);
    EXPECT_EQ(stored().at(1).toMap(), FormatStore::builtInFormat(2, true));

    s().modifier->setText("-double");
    s().scaleModeButton->selectCellWithTag(1);
    s().xratio->setText("2.5");
    s().yratio->setText("2");
    presenter.answers = {AlertAlternate};
    manager.editPanelOK();
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x"})); // replaced in place
    const QVariantMap replaced = stored().at(1).toMap();
    EXPECT_TRUE(replaced.value(FormatKey::modifier) == "-double" && replaced.value(FormatKey::xratio) == "2.5");

    presenter.asked.clear();
    startAdding("retina", "@3x"); // a new name, a taken modifier
    manager.editPanelOK();
    expectRefused(kModifierExists);
    EXPECT_EQ(stored().size(), 2);
}

TEST_F(FormatManagerTest, DuplicateAndEditKeepEveryFieldOfTheRecord)
{
    storeUserFormats({named("photo", "-photo", false),
                      QVariantMap{{FormatKey::name, "long"}, {FormatKey::modifier, "-l"}, {FormatKey::scalemode, qint64(2)},
                                  {FormatKey::xabs, "kept"}, {FormatKey::yabs, QString()}, {FormatKey::xratio, "50%"},
                                  {FormatKey::maxeither, "800"}, {FormatKey::relativeto, qint64(1)}, {FormatKey::fillcolour, qint64(1)}}});
    const int originals = int(stored().size());
    for (int row = 0; row < originals; ++row) {
        for (bool duplicate : {true, false}) {
            const QVariantMap source = stored().at(row).toMap();
            const QString name = plistString(source.value(FormatKey::name)) + (duplicate ? " duplicated" : " edited");
            // Every control shows something else first, so a field the sheet fails to take shows up.
            s().scaleModeButton->selectCellWithTag((recordInt(source, FormatKey::scalemode) + 1) % 3);
            s().resampleModeButton->selectCellWithTag(recordInt(source, FormatKey::resamplemode) == 3 ? 0 : 3);
            selectItemWithTag(s().fillColour, (recordInt(source, FormatKey::fillcolour) + 1) % 3);
            selectItemWithTag(s().relativeTo, 1 - recordInt(source, FormatKey::relativeto));
            selectRow(row);
            QVariantMap expected = source;
            if (duplicate) {
                manager.addWithModifiers(Qt::AltModifier);
                EXPECT_EQ(s().nameField->text(), QString());
                EXPECT_EQ(s().modifier->text(), plistString(source.value(FormatKey::modifier)));
                s().nameField->setText(name);
                manager.editPanelOK(); // the copied modifier writes the same file
                expectRefused(kModifierExists);
                presenter.asked.clear();
                s().modifier->setText(s().modifier->text() + "-copy");
                expected[FormatKey::name] = name;
                expected[FormatKey::modifier] = s().modifier->text();
            } else {
                manager.editSelected();
            }
            expected[FormatKey::selected] = true;
            manager.editPanelOK();
            ASSERT_TRUE(presenter.asked.isEmpty()) << name.toStdString() << ": " << presenter.messages().join(';').toStdString();
            const QVariantMap result = duplicate ? stored().last().toMap() : stored().at(row).toMap();
            EXPECT_TRUE(result == expected)
                << name.toStdString() << ": " << QJsonDocument(QJsonObject::fromVariantMap(result)).toJson().toStdString();
        }
    }
}

TEST_F(FormatManagerTest, DuplicateWithoutARecordOrItsModesLeavesTheControls)
{
    s().xabs->setText("leftover");
    manager.addWithModifiers(Qt::AltModifier); // no row selected: a plain add
    EXPECT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(s().xabs->text(), QString());
    manager.editPanelCancel();

    QVariantList list = stored();
    list.append(QVariantMap{{FormatKey::name, "bare"}, {FormatKey::modifier, "-b"}});
    manager.store().storeFormats(list, true);
    p().formatsTableModel->reloadData();
    s().scaleModeButton->selectCellWithTag(2);
    selectRow(2);
    manager.addWithModifiers(Qt::AltModifier);
    // No "scalemode": the control stays.
    EXPECT_TRUE(s().scaleModeButton->selectedTag() == 2 && s().resampleModeButton->selectedTag() == 3);
    EXPECT_EQ(s().scaleModeTabView->currentIndex(), 2);
}

TEST_F(FormatManagerTest, EditByDoubleClickReplacesTheFirstEqualRecordAndReselectsIt)
{
    storeUserFormats({named("twin", "-t"), named("twin", "-t")});
    const QPoint at = p().formatsTableView->visualRect(p().formatsTableView->model()->index(3, 1)).center();
    // The widget double-click helper sends only the second press; the first click comes first.
    QTest::mouseClick(p().formatsTableView->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(p().formatsTableView->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::Editing);
    EXPECT_EQ(s().nameField->text(), "twin");

    // Another format's name is accepted, its modifier is not: both would write one file.
    fill("2x", "@3x");
    manager.editPanelOK();
    expectRefused(kModifierExists);
    s().modifier->setText("-t"); // the twin writes the same file too
    manager.editPanelOK();
    expectRefused(kModifierExists);
    s().modifier->setText("-r");
    manager.editPanelOK();
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
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
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    startAdding("new", "-n");
    QTest::keyClick(s().nameField, Qt::Key_Escape);
    EXPECT_FALSE(s().editFormatSheet->isVisible());
    EXPECT_EQ(manager.currentOperation(), FormatManager::NoOperation);
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x"}));

    storeUserFormats({named("twin", "-t"), named("other", "-o"), named("twin", "-t")});
    selectRow(2);
    QTest::mouseClick(p().deleteButton, Qt::LeftButton);
    EXPECT_TRUE(presenter.asked.isEmpty());
    EXPECT_EQ(storedNames(), (QStringList{"3x", "2x", "other"}));
    EXPECT_EQ(p().formatsTableView->model()->rowCount(), 3);
}

TEST_F(FormatManagerTest, ResetButtonAsksAndReloadsTheTableAndTheManagerItselfDoesNot)
{
    QVariantList list = stored();
    list.removeAt(1);
    manager.store().storeFormats(list, true);
    presenter.answers = {AlertAlternate};
    QTest::mouseClick(p().resetButton, Qt::LeftButton);
    EXPECT_EQ(storedNames(), QStringList{"3x"});
    QTest::mouseClick(p().resetButton, Qt::LeftButton);
    EXPECT_EQ(p().formatsTableView->model()->rowCount(), 2);
    manager.factoryReset(&manager); // the manager itself resets without asking
    EXPECT_EQ(presenter.asked.size(), 2);
}

TEST_F(FormatManagerTest, TheSheetShowsOnlyTheControlsThatApplyAndItsHelpButtonsTheirHints)
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
    manager.handleControl(s().nameField); // other senders change nothing
    manager.handleControl(nullptr);
    EXPECT_EQ(s().scaleModeTabView->currentIndex(), 0);

    Manual manual;
    manager.connectHelp(&manual);
    for (const auto &[button, start] : {std::pair{s().modifierHelpButton, "Each additional format will be saved"},
                                        {s().resampleModeHelpButton, "If you choose not to constrain"},
                                        {s().relativeToHelpButton, "You can base these sizes"}}) {
        button->click();
        ASSERT_NE(manual.hintPopover(), nullptr) << start;
        EXPECT_TRUE(manual.hintPopover()->textField()->text().startsWith(QString::fromLatin1(start))) << start;
        manual.closePopover();
    }
}

TEST_F(FormatManagerTest, SummaryIsRefreshedWhenThePanelClosesNotWhileTheSheetIsOpen)
{
    p().formatsTableModel->setData(p().formatsTableModel->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(formatsInfo->text(), "3x, 2x");
    manager.add();
    manager.formatsPanelOK();
    EXPECT_EQ(presenter.beeps, 1);
    EXPECT_TRUE(p().formatsPanel->isVisible());
    manager.editPanelCancel();
    QTest::mouseClick(p().okButton, Qt::LeftButton);
    EXPECT_FALSE(p().formatsPanel->isVisible());
    EXPECT_EQ(formatsInfo->text(), "3x");

    manager.showFormatsPanel(); // closing with Escape counts as closing too
    p().formatsTableModel->setData(p().formatsTableModel->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    QTest::keyClick(p().formatsTableView, Qt::Key_Escape);
    EXPECT_FALSE(p().formatsPanel->isVisible());
    EXPECT_EQ(formatsInfo->text(), "none selected");
}

TEST_F(FormatManagerTest, SizesTheScaleModeReadsMustBePositiveNumbers)
{
    const QString width = "Width in pixels is not a positive number - please enter a number of pixels such as 640";
    const QString yMultiple = "Height multiple is not a positive number - please enter a plain multiple such as 2 or 0.5";
    const QString longest = "Longest side is not a positive number - please enter a number of pixels such as 800";
    using S = FormatManager::EditSheetControls;
    const struct {
        const char *name;
        int scaleMode;
        QStringList texts; // xabs, yabs, xratio, yratio, maxeither
        QString refusal;   // empty: stored
        QLineEdit *S::*field;
    } cases[] = {
        {"letters", 0, {"abc", "480", "", "", ""}, width, &S::xabs},
        {"empty height", 0, {"640", "", "", "", ""},
         "Height in pixels is not a positive number - please enter a number of pixels such as 480", &S::yabs},
        {"zero", 0, {"0", "480", "", "", ""}, width, &S::xabs},
        {"unit after the number", 0, {"640px", "480", "", "", ""}, width, &S::xabs},
        {"thousands separator", 0, {"1,200", "480", "", "", ""}, width, &S::xabs},
        {"percentage", 1, {"", "", "50%", "2", ""},
         "Width multiple is a percentage - please enter a plain multiple (0.5 for 50%)", &S::xratio},
        {"decimal comma", 1, {"", "", "2", "1,5", ""}, yMultiple, &S::yratio},
        {"too large to read", 1, {"", "", "2", "1e39", ""}, yMultiple, &S::yratio},
        {"blank longest side", 2, {"640", "480", "2", "2", "  "}, longest, &S::maxeither},
        {"fractions and spaces", 0, {" 640.5 ", "4.8e2", "", "", ""}, QString(), nullptr},
        {"other pages are not read", 1, {"abc", "", "0.5", "3", "50%"}, QString(), nullptr},
        {"longest side alone", 2, {"", "", "", "", "800"}, QString(), nullptr},
    };
    int added = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        presenter.asked.clear();
        manager.add();
        fill(QString::fromLatin1(c.name), "-" + QString::number(added));
        s().scaleModeButton->cellWithTag(c.scaleMode)->click();
        QLineEdit *fields[] = {s().xabs, s().yabs, s().xratio, s().yratio, s().maxeither};
        for (int i = 0; i < 5; ++i)
            fields[i]->setText(c.texts.at(i));
        QTest::mouseClick(s().okButton, Qt::LeftButton);
        if (c.refusal.isEmpty()) {
            EXPECT_TRUE(presenter.asked.isEmpty()) << presenter.messages().join(';').toStdString();
            EXPECT_EQ(stored().last().toMap().value(FormatKey::xabs), c.texts.at(0)); // kept as typed
            ++added;
            continue;
        }
        ASSERT_EQ(presenter.asked.size(), 1);
        expectRefused(c.refusal);
        EXPECT_EQ(s().editFormatSheet->focusWidget(), s().*c.field);
        EXPECT_EQ(stored().size(), 2 + added);
        manager.editPanelCancel();
    }
    // The edit sheet checks its sizes as well.
    presenter.asked.clear();
    selectRow(1);
    manager.editSelected();
    s().yratio->setText("200%");
    manager.editPanelOK();
    expectRefused("Height multiple is a percentage - please enter a plain multiple (2 for 200%)");
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
        SCOPED_TRACE(dismissalName(how));
        // "Replace" would overwrite the stored "3x"; "Continue" would bring back the deleted "2x";
        // a single-button alert just goes away.
        const std::pair<const char *, QString> alerts[] = {{"3x", kNameExists}, {"", "No template name"}};
        for (const auto &[name, message] : alerts) {
            startAdding(QString::fromLatin1(name), "-three");
            auto box = dismissNextMessageBox(how);
            QTest::mouseClick(s().okButton, Qt::LeftButton);
            EXPECT_EQ(box->message, message);
            EXPECT_FALSE(box->leftOpen);
            EXPECT_TRUE(s().editFormatSheet->isVisible());
            manager.editPanelCancel();
        }
        auto box = dismissNextMessageBox(how);
        QTest::mouseClick(p().resetButton, Qt::LeftButton);
        EXPECT_TRUE(box->shown);
        EXPECT_FALSE(box->leftOpen);
        EXPECT_EQ(stored(), withoutTwoX);
    }
}
