#pragma once
// Small controls the main window needs and Qt lacks: a slider over a range of floats
// that keeps an exact value, a radio group identified by tags, a help button, and tag
// reading for pop-ups (combo boxes whose items carry their tag as item data).

#include <QButtonGroup>
#include <QComboBox>
#include <QPointer>
#include <QSlider>
#include <QToolButton>
#include <QWidget>

#include <functional>

class QBoxLayout;
class QLabel;
class QRadioButton;

// A horizontal slider from minimum to maximum in steps. The value set by code is kept
// exactly (a stored 98.3736 stays 98.3736) and the knob shows the nearest step; a value
// the person chooses is a whole number of steps from the minimum.
class ValueSlider : public QSlider {
    Q_OBJECT
public:
    ValueSlider(float minimum, float maximum, float step, QWidget *parent = nullptr);

    float floatValue() const { return value_; }
    // Sets the value without emitting anything: code that moves a slider renders itself.
    void setFloatValue(float value);
    float floatMinimum() const { return minimum_; }
    float floatMaximum() const { return maximum_; }
    float floatStep() const { return step_; }

    // A label that shows the value as `text` makes it, kept in step with the knob while it
    // is dragged and with values set by code; wide enough for any value of the range, so
    // nothing beside it moves. The caller places it.
    QLabel *makeValueLabel(std::function<QString(float)> text);
    QLabel *valueLabel() const;

signals:
    // The person settled on a value: released the knob, clicked the groove, or used the
    // keyboard or wheel.
    void valueChosen();
    // The knob is being dragged; the value already follows it.
    void valueDragged();

private:
    void changeEvent(QEvent *event) override;
    void takePosition(int position);
    void showValue();

    QPointer<QLabel> valueLabel_;
    std::function<QString(float)> valueText_;
    float minimum_;
    float maximum_;
    float step_;
    float value_;
};

// A row of radio buttons ("cells"), each with an integer tag; exactly one is selected.
// The format editor and the main window both use it.
class RadioGroup : public QWidget {
    Q_OBJECT
public:
    explicit RadioGroup(QWidget *parent = nullptr);

    QRadioButton *addCell(const QString &title, int tag);
    QRadioButton *cellWithTag(int tag) const;
    // Selects the cell with the tag without emitting anything; false (nothing changed)
    // when no cell has it.
    bool selectCellWithTag(int tag);
    int selectedTag() const; // -1 when no cell is selected

signals:
    // The person chose a cell.
    void activated(int tag);

private:
    QButtonGroup group_;
    QBoxLayout *layout_;
};

// The button beside a control that shows its help hint: the program's drawn "?", tinted for
// the palette (and again when the palette changes), named for its topic.
class HelpButton : public QToolButton {
    Q_OBJECT
public:
    explicit HelpButton(const QString &topic, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;
};

// The tag of a pop-up's selected item (its item data); -1 when nothing is selected.
int selectedTag(const QComboBox *popUp);
// Selects the item with the tag without emitting "activated"; false when none has it.
bool selectItemWithTag(QComboBox *popUp, int tag);
