#include "FormatManager.h"

#include "Controls.h"
#include "Dialogs.h"
#include "FormatSizes.h"
#include "FormatsTableModel.h"
#include "Log.h"
#include "Manual.h"
#include "PlistValue.h"
#include "UserDefaults.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kValidationTitle = QStringLiteral("Format validation");

// Hidden, it still holds its place, so nothing beside or below it moves.
void holdPlaceWhenHidden(QWidget *widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QLineEdit *sizeField(QWidget *parent, const QString &key)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(key);
    field->setMaximumWidth(90);
    return field;
}

// Fields take a record's text; a missing key empties the field.
void takeText(QLineEdit *field, const QVariantMap &record, const QString &key)
{
    field->setText(plistString(record.value(key)));
}

} // namespace

FormatManager::FormatManager(QWidget *mainWindow, QLabel *formatsInfo, QObject *parent, UserDefaults &defaults)
    : QObject(parent)
    , store_(defaults)
    , formatsInfo_(formatsInfo)
{
    buildFormatsPanel(mainWindow);
    buildEditSheet();
    store_.listReset = [this] { panel_.formatsTableModel->reloadData(); };
}

FormatManager::~FormatManager()
{
    store_.listReset = nullptr;
    delete panelOwner_.data();
}

void FormatManager::buildFormatsPanel(QWidget *mainWindow)
{
    auto *dialog = new QDialog(mainWindow);
    panelOwner_ = dialog;
    dialog->setWindowTitle(tr("Formats"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->resize(620, 320);
    panel_.formatsPanel = dialog;

    panel_.formatsTableModel = new FormatsTableModel(store_, this);
    auto *table = new QTableView(dialog);
    table->setModel(panel_.formatsTableModel);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    QHeaderView *header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int column = 2; column < panel_.formatsTableModel->columnCount(); ++column)
        table->setColumnWidth(column, column == 5 ? 100 : 80);
    panel_.formatsTableView = table;

    panel_.addButton = new QPushButton(tr("Add"), dialog);
    panel_.addButton->setToolTip(tr("Add a format; hold Alt to start from a copy of the selected one"));
    panel_.editButton = new QPushButton(tr("Edit…"), dialog);
    panel_.deleteButton = new QPushButton(tr("Delete"), dialog);
    panel_.resetButton = new QPushButton(tr("Reset Built-ins…"), dialog);
    panel_.okButton = new QPushButton(tr("OK"), dialog);
    panel_.okButton->setDefault(true);
    for (QPushButton *button : {panel_.addButton, panel_.editButton, panel_.deleteButton, panel_.resetButton})
        button->setAutoDefault(false);

    connect(panel_.addButton, &QPushButton::clicked, this, &FormatManager::add);
    connect(panel_.editButton, &QPushButton::clicked, this, &FormatManager::editSelected);
    connect(panel_.deleteButton, &QPushButton::clicked, this, &FormatManager::deleteSelected);
    connect(panel_.resetButton, &QPushButton::clicked, this, [this] { factoryReset(panel_.resetButton); });
    connect(panel_.okButton, &QPushButton::clicked, this, &FormatManager::formatsPanelOK);
    // However the panel closes (OK, Escape, the window manager), the summary catches up.
    connect(dialog, &QDialog::finished, this, [this] {
        if (formatsInfo_)
            formatsInfo_->setText(getSummary());
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(panel_.addButton);
    buttons->addWidget(panel_.editButton);
    buttons->addWidget(panel_.deleteButton);
    buttons->addSpacing(12);
    buttons->addWidget(panel_.resetButton);
    buttons->addStretch(1);
    buttons->addWidget(panel_.okButton);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
}

void FormatManager::buildEditSheet()
{
    auto *dialog = new QDialog(panel_.formatsPanel);
    dialog->setWindowTitle(tr("Edit Format"));
    dialog->setWindowModality(Qt::WindowModal);
    EditSheetControls &s = sheet_;
    s.editFormatSheet = dialog;

    s.nameField = new QLineEdit(dialog);
    s.modifier = new QLineEdit(dialog);
    s.modifier->setPlaceholderText(QStringLiteral("@2x"));
    s.modifierHelpButton = new HelpButton(QStringLiteral("Filename modifier"), dialog);

    s.scaleModeButton = new RadioGroup(dialog);
    s.scaleModeButton->addCell(tr("Absolute size"), 0);
    s.scaleModeButton->addCell(tr("Multiples"), 1);
    s.scaleModeButton->addCell(tr("Longest side"), 2);

    s.scaleModeTabView = new QStackedWidget(dialog);
    auto *absolutePage = new QWidget;
    s.xabs = sizeField(absolutePage, FormatKey::xabs);
    s.yabs = sizeField(absolutePage, FormatKey::yabs);
    auto *xabsLabel = new QLabel(tr("Width (px):"), absolutePage);
    auto *yabsLabel = new QLabel(tr("Height (px):"), absolutePage);
    auto *absoluteLayout = new QFormLayout(absolutePage);
    absoluteLayout->addRow(xabsLabel, s.xabs);
    absoluteLayout->addRow(yabsLabel, s.yabs);

    auto *multiplesPage = new QWidget;
    s.xratio = sizeField(multiplesPage, FormatKey::xratio);
    s.yratio = sizeField(multiplesPage, FormatKey::yratio);
    s.xratioLabel = new QLabel(tr("Width ×"), multiplesPage);
    s.yratioLabel = new QLabel(tr("Height ×"), multiplesPage);
    s.relativeTo = new QComboBox(multiplesPage);
    s.relativeTo->addItem(tr("of the source image"), 0);
    s.relativeTo->addItem(tr("of the base output"), 1);
    s.relativeToHelpButton = new HelpButton(QStringLiteral("Relative sizes"), multiplesPage);
    auto *relativeRow = new QHBoxLayout;
    relativeRow->addWidget(s.relativeTo);
    relativeRow->addWidget(s.relativeToHelpButton);
    relativeRow->addStretch(1);
    auto *multiplesLayout = new QFormLayout(multiplesPage);
    multiplesLayout->addRow(s.xratioLabel, s.xratio);
    multiplesLayout->addRow(s.yratioLabel, s.yratio);
    multiplesLayout->addRow(QString(), relativeRow);

    auto *longestPage = new QWidget;
    s.maxeither = sizeField(longestPage, FormatKey::maxeither);
    auto *maxeitherLabel = new QLabel(tr("Longest side (px):"), longestPage);
    auto *longestLayout = new QFormLayout(longestPage);
    longestLayout->addRow(maxeitherLabel, s.maxeither);
    // One label width on every page, so the fields stay put when the scale mode changes.
    const QList<QLabel *> pageLabels{xabsLabel, yabsLabel, s.xratioLabel, s.yratioLabel, maxeitherLabel};
    int labelWidth = 0;
    for (const QLabel *label : pageLabels)
        labelWidth = std::max(labelWidth, label->sizeHint().width());
    for (QLabel *label : pageLabels)
        label->setMinimumWidth(labelWidth);

    s.scaleModeTabView->addWidget(absolutePage);
    s.scaleModeTabView->addWidget(multiplesPage);
    s.scaleModeTabView->addWidget(longestPage);

    s.resampleModeLabel = new QLabel(tr("When proportions differ:"), dialog);
    s.resampleModeButton = new RadioGroup(dialog);
    s.resampleModeButton->addCell(tr("Crop"), 0);
    s.resampleModeButton->addCell(tr("Add borders"), 1);
    s.resampleModeButton->addCell(tr("Same as main window"), 3);
    s.resampleModeHelpButton = new HelpButton(QStringLiteral("Resize mode"), dialog);
    s.fillColourLabel = new QLabel(tr("Border colour:"), dialog);
    s.fillColour = new QComboBox(dialog);
    s.fillColour->addItem(tr("White"), 0);
    s.fillColour->addItem(tr("Black"), 1);
    s.fillColour->addItem(tr("Grey"), 2);
    for (QWidget *widget : std::initializer_list<QWidget *>{s.resampleModeLabel, s.resampleModeButton, s.resampleModeHelpButton,
                                                            s.fillColourLabel, s.fillColour})
        holdPlaceWhenHidden(widget);

    connect(s.scaleModeButton, &RadioGroup::activated, this, [this] { handleControl(sheet_.scaleModeButton); });
    connect(s.resampleModeButton, &RadioGroup::activated, this, [this] { handleControl(sheet_.resampleModeButton); });

    s.okButton = new QPushButton(tr("OK"), dialog);
    s.okButton->setDefault(true);
    s.cancelButton = new QPushButton(tr("Cancel"), dialog);
    s.cancelButton->setAutoDefault(false);
    connect(s.okButton, &QPushButton::clicked, this, &FormatManager::editPanelOK);
    connect(s.cancelButton, &QPushButton::clicked, this, &FormatManager::editPanelCancel);
    // Escape or the window manager closing the sheet cancels the edit.
    connect(dialog, &QDialog::finished, this, [this] { currentOperation_ = NoOperation; });

    auto *modifierRow = new QHBoxLayout;
    modifierRow->addWidget(s.modifier, 1);
    modifierRow->addWidget(s.modifierHelpButton);
    auto *resampleRow = new QHBoxLayout;
    resampleRow->addWidget(s.resampleModeButton);
    resampleRow->addWidget(s.resampleModeHelpButton);
    resampleRow->addStretch(1);
    auto *form = new QFormLayout;
    form->addRow(tr("Name:"), s.nameField);
    form->addRow(tr("Filename modifier:"), modifierRow);
    form->addRow(tr("Size:"), s.scaleModeButton);
    form->addRow(QString(), s.scaleModeTabView);
    form->addRow(s.resampleModeLabel, resampleRow);
    auto *fillRow = new QHBoxLayout;
    fillRow->addWidget(s.fillColour);
    fillRow->addStretch(1);
    form->addRow(s.fillColourLabel, fillRow);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(s.cancelButton);
    buttons->addWidget(s.okButton);
    auto *layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void FormatManager::connectHelp(Manual *manual)
{
    const EditSheetControls &s = sheet_;
    const std::pair<QToolButton *, void (Manual::*)(QWidget *)> hints[] = {
        {s.modifierHelpButton, &Manual::filenameModifier},
        {s.resampleModeHelpButton, &Manual::resizeMode},
        {s.relativeToHelpButton, &Manual::relativeSizes},
    };
    for (const auto &[button, hint] : hints)
        connect(button, &QToolButton::clicked, manual, [manual, button, hint] { (manual->*hint)(button); });
}

void FormatManager::awakeFromNib()
{
    handleControl(sheet_.scaleModeButton);
    store_.seedIfAbsent();
    connect(panel_.formatsTableView, &QTableView::doubleClicked, this, &FormatManager::editSelected,
            Qt::UniqueConnection);
    if (formatsInfo_)
        formatsInfo_->setText(getSummary());
}

int FormatManager::selectedRow() const
{
    const QModelIndexList rows = panel_.formatsTableView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int row = rows.first().row();
    return row < store_.storedFormats().size() ? row : -1;
}

void FormatManager::selectRow(int row)
{
    QTableView *table = panel_.formatsTableView;
    if (row < 0 || row >= table->model()->rowCount())
        return;
    table->selectionModel()->select(table->model()->index(row, 0),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table->setCurrentIndex(table->model()->index(row, 1));
}

void FormatManager::showFormatsPanel()
{
    panel_.formatsPanel->open();
}

void FormatManager::formatsPanelOK()
{
    if (sheet_.editFormatSheet->isVisible()) {
        DialogPresenter::current().beep();
        return;
    }
    panel_.formatsPanel->accept(); // the finished signal refreshes the summary
}

void FormatManager::handleControl(QObject *sender)
{
    EditSheetControls &s = sheet_;
    if (sender == s.scaleModeButton) {
        const int tag = s.scaleModeButton->selectedTag();
        if (tag == 0)
            s.scaleModeTabView->setCurrentIndex(0);
        else if (tag == 1)
            s.scaleModeTabView->setCurrentIndex(1);
        else if (tag == 2)
            s.scaleModeTabView->setCurrentIndex(s.scaleModeTabView->count() - 1);
        const bool longestSide = tag == 2;
        s.resampleModeButton->setHidden(longestSide);
        s.resampleModeLabel->setHidden(longestSide);
        s.resampleModeHelpButton->setHidden(longestSide);
    }
    if (sender == s.resampleModeButton) {
        const bool crop = s.resampleModeButton->selectedTag() == 0;
        s.fillColour->setHidden(crop);
        s.fillColourLabel->setHidden(crop);
    }
}

void FormatManager::add()
{
    addWithModifiers(QGuiApplication::keyboardModifiers());
}

void FormatManager::addWithModifiers(Qt::KeyboardModifiers modifiers)
{
    EditSheetControls &s = sheet_;
    const int row = selectedRow();
    if (modifiers.testFlag(Qt::AltModifier) && row >= 0) {
        // A copy of the whole selected format, to be given its own name and modifier.
        QVariantMap copy = store_.storedFormats().at(row).toMap();
        copy.remove(FormatKey::name);
        if (!copy.contains(FormatKey::resamplemode))
            copy.insert(FormatKey::resamplemode, 3);
        fillSheetFromRecord(copy);
    } else {
        // Missing keys empty the fields; the pop-ups keep what they showed.
        fillSheetFromRecord({{FormatKey::scalemode, 0}, {FormatKey::resamplemode, 3}});
    }
    currentOperation_ = Adding;
    s.nameField->setFocus();
    s.editFormatSheet->open();
}

void FormatManager::fillSheetFromRecord(const QVariantMap &record)
{
    EditSheetControls &s = sheet_;
    takeText(s.nameField, record, FormatKey::name);
    takeText(s.xratio, record, FormatKey::xratio);
    takeText(s.yratio, record, FormatKey::yratio);
    takeText(s.xabs, record, FormatKey::xabs);
    takeText(s.yabs, record, FormatKey::yabs);
    takeText(s.maxeither, record, FormatKey::maxeither);
    takeText(s.modifier, record, FormatKey::modifier);
    if (record.contains(FormatKey::scalemode))
        s.scaleModeButton->selectCellWithTag(recordInt(record, FormatKey::scalemode));
    if (record.contains(FormatKey::resamplemode))
        s.resampleModeButton->selectCellWithTag(recordInt(record, FormatKey::resamplemode));
    if (record.contains(FormatKey::fillcolour))
        selectItemWithTag(s.fillColour, recordInt(record, FormatKey::fillcolour));
    if (record.contains(FormatKey::relativeto))
        selectItemWithTag(s.relativeTo, recordInt(record, FormatKey::relativeto));
    handleControl(s.scaleModeButton);
    handleControl(s.resampleModeButton);
}

void FormatManager::editSelected()
{
    const int row = selectedRow();
    if (row < 0) {
        DialogPresenter::current().beep();
        return;
    }
    editedRecord_ = store_.storedFormats().at(row).toMap();
    fillSheetFromRecord(editedRecord_);
    sheet_.nameField->setFocus();
    sheet_.editFormatSheet->open();
    currentOperation_ = Editing;
}

QVariantMap FormatManager::recordFromSheet() const
{
    const EditSheetControls &s = sheet_;
    return {
        {FormatKey::name, s.nameField->text()},
        {FormatKey::scalemode, qint64(s.scaleModeButton->selectedTag())},
        {FormatKey::yratio, s.yratio->text()},
        {FormatKey::xratio, s.xratio->text()},
        {FormatKey::yabs, s.yabs->text()},
        {FormatKey::xabs, s.xabs->text()},
        {FormatKey::maxeither, s.maxeither->text()},
        {FormatKey::modifier, s.modifier->text()},
        {FormatKey::resamplemode, qint64(s.resampleModeButton->selectedTag())},
        {FormatKey::relativeto, qint64(selectedTag(s.relativeTo))},
        {FormatKey::fillcolour, qint64(selectedTag(s.fillColour))},
        {FormatKey::selected, true},
    };
}

void FormatManager::validationAlert(const QString &message)
{
    DialogPresenter::current().runAlertPanel({kValidationTitle, message, QStringLiteral("OK"), QString(), QString()});
}

void FormatManager::editPanelOK()
{
    const EditSheetControls &s = sheet_;
    if (s.nameField->text().isEmpty()) {
        validationAlert(QStringLiteral("No template name"));
        return;
    }
    if (s.modifier->text().isEmpty()) {
        validationAlert(QStringLiteral("No template file extension"));
        return;
    }
    const QVariantMap record = recordFromSheet();
    if (const auto problem = firstUnusableSize(record)) {
        validationAlert(problem->message);
        if (QLineEdit *field = sizeFieldForKey(problem->key)) {
            field->setFocus();
            field->selectAll();
        }
        return;
    }
    if (currentOperation_ != Adding && currentOperation_ != Editing) {
        closeEditSheet(-1);
        return;
    }

    QVariantList list = store_.storedFormats();
    // The row the record replaces; -1 appends it.
    qsizetype storedRow = -1;
    // The formats whose modifier the record must not share: two formats with one modifier
    // write one file. When adding, the one that "Replace" overwrites counts too.
    QVariantList others = list;
    if (currentOperation_ == Adding) {
        if (const auto sameName = FormatStore::formatWithNameFromArray(s.nameField->text(), list)) {
            const AlertPanel question{kValidationTitle,
                                      QStringLiteral("Template with this name exists - please choose another name"),
                                      QStringLiteral("Cancel"), QStringLiteral("Replace"), QString(), AlertDefault};
            if (DialogPresenter::current().runAlertPanel(question) != AlertAlternate)
                return;
            storedRow = list.indexOf(QVariant(*sameName));
        }
    } else {
        storedRow = list.indexOf(QVariant(editedRecord_));
        if (storedRow >= 0)
            others.removeAt(storedRow);
    }
    if (FormatStore::formatWithModifierFromArray(s.modifier->text(), others)) {
        validationAlert(QStringLiteral("Template with this filename modifier exists - please change the "
                                       "filename modifier to a unique value"));
        return;
    }

    if (storedRow >= 0) {
        list[storedRow] = record;
    } else {
        if (currentOperation_ == Editing) {
            // The list changed under the sheet; keep the person's work rather than drop it.
            qpLog(QStringLiteral("The edited format %1 is no longer stored; adding it at the end")
                      .arg(plistString(editedRecord_.value(FormatKey::name))));
        }
        list.append(record);
        storedRow = list.size() - 1;
    }
    store_.storeFormats(list, true);
    closeEditSheet(int(storedRow));
}

void FormatManager::closeEditSheet(int rowToSelect)
{
    sheet_.editFormatSheet->accept();
    panel_.formatsTableModel->reloadData();
    selectRow(rowToSelect);
    currentOperation_ = NoOperation;
    editedRecord_.clear();
}

QLineEdit *FormatManager::sizeFieldForKey(const QString &key) const
{
    const EditSheetControls &s = sheet_;
    for (QLineEdit *field : {s.xabs, s.yabs, s.xratio, s.yratio, s.maxeither})
        if (field->objectName() == key)
            return field;
    return nullptr;
}

void FormatManager::editPanelCancel()
{
    sheet_.editFormatSheet->reject();
    currentOperation_ = NoOperation;
    editedRecord_.clear();
}

void FormatManager::deleteSelected()
{
    const int row = selectedRow();
    if (row < 0) {
        DialogPresenter::current().beep();
        return;
    }
    QVariantList list = store_.storedFormats();
    list.removeAll(list.at(row));
    store_.storeFormats(list, false);
    panel_.formatsTableModel->reloadData();
}

void FormatManager::factoryReset(QObject *sender)
{
    store_.factoryReset(sender != this);
}
