#pragma once
// Qt's tool bars have no customisation palette of their own: this dialog lists every
// allowed item with a check box, in the toolbar's order, to pick and reorder them.

#include <QDialog>
#include <QStringList>

class QListWidget;

class ToolbarCustomizeDialog : public QDialog {
    Q_OBJECT
public:
    // labels: the name shown for each allowed identifier.
    ToolbarCustomizeDialog(const QStringList &allowed, const QStringList &current, const QStringList &defaults,
                           const QHash<QString, QString> &labels, QWidget *parent = nullptr);

    // The checked identifiers in their listed order.
    QStringList chosenIdentifiers() const;
    // Lists these identifiers checked, in this order, and the other allowed ones unchecked after them.
    void showIdentifiers(const QStringList &identifiers);
    // Moves the item in row by delta rows (up when negative), staying within the list.
    void moveRow(int row, int delta);

    QListWidget *list = nullptr;

private:
    QStringList allowed_;
    QHash<QString, QString> labels_;
};
