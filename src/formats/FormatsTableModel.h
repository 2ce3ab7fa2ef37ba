#pragma once
// The formats table's data: one row per stored format record, in list order. Nothing is
// cached; every call reads the list from user defaults, so the table shows what is stored.

#include <QAbstractTableModel>
#include <QStringList>

class FormatStore;

class FormatsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Column identifiers, in the table's column order.
    static const QStringList &columnIdentifiers();
    static int columnOf(const QString &identifier); // -1 when unknown

    explicit FormatsTableModel(FormatStore &store, QObject *parent = nullptr);

    // What a cell shows: the text, or for "selected" whether the check box is checked
    // (a bool). "" for unknown identifiers and rows outside the list.
    QVariant objectValueForTableColumnRow(const QString &identifier, int row) const;
    // Flips the record's "selected" flag and stores the list at once; other columns,
    // rows outside the list and an absent list are left alone.
    void setObjectValueForTableColumnRow(const QString &identifier, int row);

    // The view refetches everything (after the list was changed elsewhere).
    void reloadData();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    FormatStore &store_;
};
