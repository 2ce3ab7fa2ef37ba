#pragma once
// The format editor: the formats panel (a window-modal sheet over the main window with
// the formats table and its buttons) and the edit sheet (over the panel), where one
// format record is composed, validated and stored. It writes the summary of the selected
// formats into the main window's `formatsInfo` label at start-up and when the panel closes.
// Questions and the beep go through DialogPresenter.

#include "FormatStore.h"
#include "UserDefaults.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>

class FormatsTableModel;
class Manual;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableView;
class QToolButton;
class QWidget;
class RadioGroup;
class QComboBox;

class FormatManager : public QObject {
    Q_OBJECT
public:
    enum Operation { NoOperation = 0, Adding = 1, Editing = 2 };

    // The sheets open over `mainWindow`; the summary goes into `formatsInfo`. Either may
    // be null (then the panel is a window of its own, or the summary is not shown).
    FormatManager(QWidget *mainWindow, QLabel *formatsInfo, QObject *parent = nullptr,
                  UserDefaults &defaults = UserDefaults::standard());
    ~FormatManager() override;

    // Start-up, in order: the sheet's page and visibilities follow the scale-mode control,
    // the list is seeded when none is stored, the table's double-click edits, and the
    // summary is shown. Seeding reads "create2xVersion" and "create3xVersion": after the
    // first-run values are written, the built-ins start selected.
    void awakeFromNib();

    FormatStore &store() { return store_; }
    const FormatStore &store() const { return store_; }
    QString getSummary() const { return store_.getSummary(); }
    int currentOperation() const { return currentOperation_; }
    // The selected table row, or -1 when none is selected (or it lies beyond the list).
    int selectedRow() const;

    struct PanelControls {
        QDialog *formatsPanel;
        QTableView *formatsTableView;
        FormatsTableModel *formatsTableModel;
        QPushButton *addButton, *editButton, *deleteButton, *resetButton, *okButton;
    };
    struct EditSheetControls {
        QDialog *editFormatSheet;
        QLineEdit *nameField, *modifier;
        RadioGroup *scaleModeButton;     // cells 0 absolute, 1 multiples, 2 longest side
        QStackedWidget *scaleModeTabView; // pages in scale-mode order
        QLineEdit *xabs, *yabs, *xratio, *yratio, *maxeither;
        QLabel *xratioLabel, *yratioLabel;
        QComboBox *relativeTo; // 0 source image, 1 base output
        RadioGroup *resampleModeButton; // cells 0 crop, 1 add, 3 same as main
        QLabel *resampleModeLabel;
        QComboBox *fillColour; // 0 White, 1 Black, 2 Grey
        QLabel *fillColourLabel;
        QPushButton *okButton, *cancelButton;
        // Manual's filenameModifier, resizeMode and relativeSizes (see connectHelp).
        QToolButton *modifierHelpButton, *resampleModeHelpButton, *relativeToHelpButton;
    };
    const PanelControls &panel() const { return panel_; }
    const EditSheetControls &editSheet() const { return sheet_; }
    // The edit sheet's help buttons show their hints from manual.
    void connectHelp(Manual *manual);

public slots:
    void showFormatsPanel();
    // Closes the panel (refused with a beep while the edit sheet is open); closing it in
    // any way refreshes the summary.
    void formatsPanelOK();
    // Add; with Alt held and a row selected, the sheet starts as a copy of that row.
    void add();
    void addWithModifiers(Qt::KeyboardModifiers modifiers);
    void editSelected();
    void editPanelOK();
    void editPanelCancel();
    void deleteSelected();
    // Re-creates the built-in formats; asks first unless the sender is the manager.
    void factoryReset(QObject *sender);
    // Page and visibility rules for the two radio groups; other senders change nothing.
    void handleControl(QObject *sender);

private:
    void buildFormatsPanel(QWidget *mainWindow);
    void buildEditSheet();
    QVariantMap recordFromSheet() const;
    void fillSheetFromRecord(const QVariantMap &record);
    void selectRow(int row);
    void validationAlert(const QString &message);
    // Stored or not, the edit is over: the sheet closes and the row is selected.
    void closeEditSheet(int rowToSelect);
    QLineEdit *sizeFieldForKey(const QString &key) const;

    FormatStore store_;
    QPointer<QDialog> panelOwner_; // the panel (and the sheet in it), unless its window went first
    QPointer<QLabel> formatsInfo_;
    PanelControls panel_{};
    EditSheetControls sheet_{};
    int currentOperation_ = NoOperation;
    QVariantMap editedRecord_; // the record editSelected opened, replaced on OK
};
