#pragma once
// Choice controls whose options carry integer tags: the values stored in format records.

#include <QComboBox>
#include <QWidget>

class QButtonGroup;
class QRadioButton;

// A row of radio buttons ("cells"), one per tag.
class RadioGroup : public QWidget {
    Q_OBJECT
public:
    explicit RadioGroup(QWidget *parent = nullptr);

    QRadioButton *addCell(const QString &title, int tag);
    QRadioButton *cellWithTag(int tag) const;
    // Selects the cell with the tag; false (nothing changed) when there is none.
    bool selectCellWithTag(int tag);
    int selectedTag() const; // -1 when no cell is selected

signals:
    // The person chose a cell (not emitted by selectCellWithTag).
    void activated(int tag);

private:
    QButtonGroup *group_;
};

// A pop-up menu whose items carry tags.
class TagPopUp : public QComboBox {
    Q_OBJECT
public:
    explicit TagPopUp(QWidget *parent = nullptr);

    void addItemWithTag(const QString &title, int tag);
    bool selectItemWithTag(int tag); // false (nothing changed) when there is none
    int selectedTag() const;         // -1 when no item is selected
};
