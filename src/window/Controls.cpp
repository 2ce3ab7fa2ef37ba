#include "Controls.h"

#include <QHBoxLayout>
#include <QRadioButton>

#include <cmath>

ValueSlider::ValueSlider(float minimum, float maximum, float step, QWidget *parent)
    : QSlider(Qt::Horizontal, parent), minimum_(minimum), maximum_(maximum), step_(step), value_(minimum)
{
    setRange(0, int(std::lround((maximum - minimum) / step)));
    setSingleStep(1);
    setPageStep(std::max(1, maximum_ > minimum_ ? this->maximum() / 10 : 1));
    // Without tracking, valueChanged comes once on release and at once for keys, wheel
    // and clicks; sliderMoved reports the drag in between.
    setTracking(false);
    connect(this, &QSlider::valueChanged, this, [this](int position) {
        takePosition(position);
        emit valueChosen();
    });
    connect(this, &QSlider::sliderMoved, this, [this](int position) {
        takePosition(position);
        emit valueDragged();
    });
}

void ValueSlider::takePosition(int position)
{
    value_ = position == maximum() ? maximum_ : minimum_ + float(position) * step_;
}

void ValueSlider::setFloatValue(float value)
{
    value_ = value;
    const float clamped = std::clamp(value, minimum_, maximum_);
    const QSignalBlocker blocker(this);
    setValue(int(std::lround((clamped - minimum_) / step_)));
}

RadioGroup::RadioGroup(QWidget *parent) : QWidget(parent), layout_(new QHBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    group_.setExclusive(true);
    connect(&group_, &QButtonGroup::idClicked, this, &RadioGroup::activated);
}

QRadioButton *RadioGroup::addCell(const QString &title, int tag)
{
    auto *cell = new QRadioButton(title, this);
    group_.addButton(cell, tag);
    layout_->addWidget(cell);
    if (group_.buttons().size() == 1)
        cell->setChecked(true);
    return cell;
}

QRadioButton *RadioGroup::cellWithTag(int tag) const
{
    return qobject_cast<QRadioButton *>(group_.button(tag));
}

bool RadioGroup::selectCellWithTag(int tag)
{
    QAbstractButton *cell = group_.button(tag);
    if (!cell)
        return false;
    const QSignalBlocker blocker(&group_);
    cell->setChecked(true);
    return true;
}

int RadioGroup::selectedTag() const
{
    return group_.checkedId();
}

int selectedTag(const QComboBox *popUp)
{
    return popUp->currentIndex() < 0 ? -1 : popUp->currentData().toInt();
}

bool selectItemWithTag(QComboBox *popUp, int tag)
{
    const int index = popUp->findData(tag);
    if (index < 0)
        return false;
    const QSignalBlocker blocker(popUp);
    popUp->setCurrentIndex(index);
    return true;
}
