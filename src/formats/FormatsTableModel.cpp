#include "FormatsTableModel.h"

#include "FormatStore.h"
#include "Log.h"
#include "PlistValue.h"

namespace {

const QString kSelected = QStringLiteral("selected");

// The size text of one axis in the record's scale mode; absent keys show nothing.
QString sizeText(const QVariantMap &record, const QString &absKey, const QString &ratioKey)
{
    const QString *key = nullptr;
    QString unit;
    switch (recordInteger(record, FormatKey::scalemode)) {
    case 0: key = &absKey; unit = QStringLiteral("px"); break;
    case 1: key = &ratioKey; unit = QStringLiteral("x"); break;
    case 2: key = &FormatKey::maxeither; unit = QStringLiteral("px"); break;
    default: return QString();
    }
    if (!record.contains(*key))
        return QString();
    return plistString(record.value(*key)) + unit;
}

QString resampleModeText(const QVariantMap &record)
{
    switch (recordInteger(record, FormatKey::resamplemode)) {
    case 0: return QStringLiteral("crop");
    case 1: return QStringLiteral("add");
    case 3: return QStringLiteral("same as main");
    default: return QString();
    }
}

QString fillColourText(const QVariantMap &record)
{
    if (recordInteger(record, FormatKey::resamplemode) == 0)
        return QString();
    switch (recordInteger(record, FormatKey::fillcolour)) {
    case 0: return QStringLiteral("White");
    case 1: return QStringLiteral("Black");
    case 2: return QStringLiteral("Grey");
    default: return QString();
    }
}

} // namespace

const QStringList &FormatsTableModel::columnIdentifiers()
{
    static const QStringList identifiers{kSelected,
                                         QStringLiteral("name"),
                                         QStringLiteral("modifier"),
                                         QStringLiteral("x"),
                                         QStringLiteral("y"),
                                         QStringLiteral("resamplemode"),
                                         QStringLiteral("fillcolour")};
    return identifiers;
}

int FormatsTableModel::columnOf(const QString &identifier)
{
    return int(columnIdentifiers().indexOf(identifier));
}

FormatsTableModel::FormatsTableModel(FormatStore &store, QObject *parent)
    : QAbstractTableModel(parent)
    , store_(store)
{
}

QVariant FormatsTableModel::objectValueForTableColumnRow(const QString &identifier, int row) const
{
    const QVariantList list = store_.storedFormats();
    if (row < 0 || row >= list.size())
        return identifier == kSelected ? QVariant(false) : QVariant(QString());
    const QVariantMap record = list.at(row).toMap();
    if (identifier == kSelected)
        return recordBool(record, FormatKey::selected);
    if (identifier == QLatin1String("name"))
        return plistString(record.value(FormatKey::name));
    if (identifier == QLatin1String("modifier"))
        return plistString(record.value(FormatKey::modifier));
    if (identifier == QLatin1String("x"))
        return sizeText(record, FormatKey::xabs, FormatKey::xratio);
    if (identifier == QLatin1String("y"))
        return sizeText(record, FormatKey::yabs, FormatKey::yratio);
    if (identifier == QLatin1String("resamplemode"))
        return resampleModeText(record);
    if (identifier == QLatin1String("fillcolour"))
        return fillColourText(record);
    return QString();
}

void FormatsTableModel::setObjectValueForTableColumnRow(const QString &identifier, int row)
{
    if (identifier != kSelected || !store_.hasStoredFormats())
        return;
    QVariantList list = store_.storedFormats();
    if (row < 0 || row >= list.size()) {
        qpLog(QStringLiteral("No format at row %1 to select").arg(row));
        return;
    }
    QVariantMap record = list.at(row).toMap();
    record.insert(FormatKey::selected, !recordBool(record, FormatKey::selected));
    list[row] = record;
    store_.storeFormats(list, true);
}

void FormatsTableModel::reloadData()
{
    beginResetModel();
    endResetModel();
}

int FormatsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(store_.storedFormats().size());
}

int FormatsTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columnIdentifiers().size());
}

QVariant FormatsTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() >= columnIdentifiers().size())
        return QVariant();
    const QString &identifier = columnIdentifiers().at(index.column());
    if (identifier == kSelected) {
        if (role != Qt::CheckStateRole)
            return QVariant();
        return objectValueForTableColumnRow(identifier, index.row()).toBool() ? Qt::Checked : Qt::Unchecked;
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    return objectValueForTableColumnRow(identifier, index.row());
}

bool FormatsTableModel::setData(const QModelIndex &index, const QVariant &, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != columnOf(kSelected))
        return false;
    setObjectValueForTableColumnRow(kSelected, index.row());
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags FormatsTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == columnOf(kSelected))
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant FormatsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList headings{QString(), tr("Name"), tr("Modifier"), tr("Width"),
                                      tr("Height"), tr("Crop / add"), tr("Fill")};
    return headings.value(section);
}
