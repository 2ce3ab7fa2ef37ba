#include "ToolbarCustomizeDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ToolbarCustomizeDialog::ToolbarCustomizeDialog(const QStringList &allowed, const QStringList &current,
                                               const QStringList &defaults, const QHash<QString, QString> &labels,
                                               QWidget *parent)
    : QDialog(parent), list(new QListWidget), allowed_(allowed), labels_(labels)
{
    setWindowTitle(QStringLiteral("Customize Toolbar"));
    list->setDragDropMode(QAbstractItemView::InternalMove);
    list->setDefaultDropAction(Qt::MoveAction);
    list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *up = new QPushButton(QStringLiteral("Move &Up"));
    auto *down = new QPushButton(QStringLiteral("Move &Down"));
    auto *reset = new QPushButton(QStringLiteral("Use Default &Set"));
    for (QPushButton *button : {up, down, reset})
        button->setAutoDefault(false);
    connect(up, &QPushButton::clicked, this, [this] { moveRow(list->currentRow(), -1); });
    connect(down, &QPushButton::clicked, this, [this] { moveRow(list->currentRow(), 1); });
    connect(reset, &QPushButton::clicked, this, [this, defaults] { showIdentifiers(defaults); });

    auto *side = new QVBoxLayout;
    side->addWidget(up);
    side->addWidget(down);
    side->addStretch(1);
    side->addWidget(reset);
    auto *body = new QHBoxLayout;
    body->addWidget(list, 1);
    body->addLayout(side);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Tick the items to show; drag or move them to order them.")));
    layout->addLayout(body);
    layout->addWidget(buttons);
    showIdentifiers(current);
}

void ToolbarCustomizeDialog::showIdentifiers(const QStringList &identifiers)
{
    list->clear();
    auto add = [this](const QString &identifier, bool shown) {
        auto *item = new QListWidgetItem(labels_.value(identifier, identifier), list);
        item->setData(Qt::UserRole, identifier);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
        item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    };
    for (const QString &identifier : identifiers)
        if (allowed_.contains(identifier))
            add(identifier, true);
    for (const QString &identifier : allowed_)
        if (!identifiers.contains(identifier))
            add(identifier, false);
}

void ToolbarCustomizeDialog::moveRow(int row, int delta)
{
    const int target = row + delta;
    if (row < 0 || row >= list->count() || target < 0 || target >= list->count())
        return;
    QListWidgetItem *item = list->takeItem(row);
    list->insertItem(target, item);
    list->setCurrentRow(target);
}

QStringList ToolbarCustomizeDialog::chosenIdentifiers() const
{
    QStringList chosen;
    for (int row = 0; row < list->count(); ++row) {
        const QListWidgetItem *item = list->item(row);
        if (item->checkState() == Qt::Checked)
            chosen << item->data(Qt::UserRole).toString();
    }
    return chosen;
}
