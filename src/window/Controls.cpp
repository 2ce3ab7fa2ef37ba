#include "Controls.h"

#include "NamedImage.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
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
    showValue();
}

void ValueSlider::setFloatValue(float value)
{
    value_ = value;
    const float clamped = std::clamp(value, minimum_, maximum_);
    {
        const QSignalBlocker blocker(this);
        setValue(int(std::lround((clamped - minimum_) / step_)));
    }
    showValue();
}

QLabel *ValueSlider::makeValueLabel(std::function<QString(float)> text)
{
    auto *label = new QLabel;
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setEnabled(isEnabled()); // a slider disabled before its label was made
    valueText_ = std::move(text);
    valueLabel_ = label;
    int widest = 0;
    for (int position = 0; position <= maximum(); ++position)
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(valueText_(minimum_ + float(position) * step_)));
    widest = std::max(widest, label->fontMetrics().horizontalAdvance(valueText_(maximum_)));
    label->setMinimumWidth(widest);
    showValue();
    return label;
}

QLabel *ValueSlider::valueLabel() const
{
    return valueLabel_;
}

void ValueSlider::changeEvent(QEvent *event)
{
    QSlider::changeEvent(event);
    // A disabled slider's value is greyed with it.
    if (event->type() == QEvent::EnabledChange && valueLabel_)
        valueLabel_->setEnabled(isEnabled());
}

void ValueSlider::showValue()
{
    if (valueLabel_)
        valueLabel_->setText(valueText_(value_));
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

HelpButton::HelpButton(const QString &topic, QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setIconSize(QSize(16, 16));
    setToolTip(QStringLiteral("Help: %1").arg(topic));
    setAccessibleName(toolTip());
    setIcon(NamedImage::icon(QStringLiteral("help"), palette()));
}

void HelpButton::changeEvent(QEvent *event)
{
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        setIcon(NamedImage::icon(QStringLiteral("help"), palette()));
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
