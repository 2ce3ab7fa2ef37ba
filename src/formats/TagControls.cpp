#include "TagControls.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(QWidget *parent)
    : QWidget(parent)
    , group_(new QButtonGroup(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroup::activated);
}

QRadioButton *RadioGroup::addCell(const QString &title, int tag)
{
    auto *cell = new QRadioButton(title, this);
    group_->addButton(cell, tag);
    layout()->addWidget(cell);
    if (group_->buttons().size() == 1)
        cell->setChecked(true);
    return cell;
}

QRadioButton *RadioGroup::cellWithTag(int tag) const
{
    return qobject_cast<QRadioButton *>(group_->button(tag));
}

bool RadioGroup::selectCellWithTag(int tag)
{
    QRadioButton *cell = cellWithTag(tag);
    if (!cell)
        return false;
    cell->setChecked(true);
    return true;
}

int RadioGroup::selectedTag() const
{
    return group_->checkedId();
}

TagPopUp::TagPopUp(QWidget *parent)
    : QComboBox(parent)
{
}

void TagPopUp::addItemWithTag(const QString &title, int tag)
{
    addItem(title, tag);
}

bool TagPopUp::selectItemWithTag(int tag)
{
    const int index = findData(tag);
    if (index < 0)
        return false;
    setCurrentIndex(index);
    return true;
}

int TagPopUp::selectedTag() const
{
    return currentIndex() < 0 ? -1 : currentData().toInt();
}
