#include "LocalFixtureDefinitionListModel.h"

#include <QMimeData>

#include "DeviceFit.h"
#include "DeviceRecordLayout.h"
#include "QKVFixtureDefinition.h"
#include "ResourcePaths.h"
#include "ShortNames.h"
#include "TableModelParts.h"

namespace {

bool isRowOf(const QModelIndex& index, int rowCount)
{
    return index.isValid() && !index.parent().isValid() && index.row() >= 0 && index.row() < rowCount;
}

} // namespace

LocalFixtureDefinitionListModel::LocalFixtureDefinitionListModel(const QList<QKVFixtureDefinition*>& definitions,
                                                                 QObject* parent)
    : QAbstractTableModel(parent)
    , m_definitions(definitions)
    , m_onDeviceIcon(ResourcePaths::OnDeviceIcon)
    , m_fitIcons {
          QIcon(ResourcePaths::FitFineIcon), QIcon(ResourcePaths::FitChangedIcon), QIcon(ResourcePaths::FitRefusedIcon)}
{
    for (QKVFixtureDefinition* definition : std::as_const(m_definitions)) {
        adopt(definition);
    }
    refreshListIndexesFrom(0);
}

LocalFixtureDefinitionListModel::~LocalFixtureDefinitionListModel()
{
    qDeleteAll(m_definitions);
}

int LocalFixtureDefinitionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_definitions.size());
}

int LocalFixtureDefinitionListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LocalFixtureDefinitionListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return columnTitle(
        {tr("Fixture Name"), tr("#Channels"), tr("Manufacturer"), tr("Fit")}, section, orientation, role);
}

QVariant LocalFixtureDefinitionListModel::data(const QModelIndex& index, int role) const
{
    if (!isRowOf(index, rowCount()) || index.column() < 0 || index.column() >= ColumnCount) {
        return {};
    }
    QKVFixtureDefinition* definition = m_definitions.at(index.row());
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case NameColumn:
                    return definition->displayName();
                case ChannelsColumn:
                    return definition->channelCount();
                case ManufacturerColumn:
                    return definition->manufacturer();
                default:
                    return {};
            }
        case Qt::DecorationRole:
            if (index.column() == FitColumn) {
                return m_fitIcons[severity(definition)];
            }
            // Every row has its fit icon; the name carries one only to say the device
            // holds it, which leaves the name the room an 800-pixel window can give.
            return index.column() == NameColumn && isOnDevice(definition) ? QVariant(m_onDeviceIcon) : QVariant();
        case Qt::ToolTipRole:
            if (index.column() == FitColumn) {
                const QList<DeviceFit::Finding> findings = DeviceFit::check(*definition);
                QString text = findings.isEmpty() ? tr("The devices take this definition as it is.")
                                                  : DeviceFit::describe(findings);
                if (isOnDevice(definition)) {
                    text += QLatin1Char('\n') + tr("The selected device already holds it.");
                }
                return text;
            }
            return {};
        case SeverityRole:
            return severity(definition);
        case OnDeviceRole:
            return isOnDevice(definition);
        case DefinitionRole:
            // Its setters push into its row: every insertion, removal and replacement keeps
            // the row it knows current, so handing it out changes nothing.
            return definitionVariant(definition);
        default:
            return {};
    }
}

bool LocalFixtureDefinitionListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!isRowOf(index, rowCount()) || index.column() < 0 || index.column() >= ColumnCount) {
        return false;
    }
    QKVFixtureDefinition* definition = m_definitions.at(index.row());
    if (role == Qt::EditRole) {
        if (index.column() == NameColumn) {
            definition->storeName(value.toString());
        } else if (index.column() == ManufacturerColumn) {
            definition->storeManufacturer(value.toString());
        } else {
            return false;
        }
        // A name also decides the fit.
        m_severities.remove(definition);
        Q_EMIT dataChanged(index, this->index(index.row(), FitColumn));
        return true;
    }
    if (role == DefinitionRole) {
        QKVFixtureDefinition* source = definitionFromVariant(value);
        if (!source) {
            m_severities.remove(definition);
            Q_EMIT dataChanged(index, index);
            return true;
        }
        if (source != definition) {
            *definition = *source;
        }
        // Assignment copies the source's list position too; the row's definition must
        // keep pushing into its own row, not into wherever the source came from.
        definition->setListPosition(this, this->index(index.row(), NameColumn));
        adopt(definition);
        m_severities.remove(definition);
        Q_EMIT dataChanged(this->index(index.row(), NameColumn), this->index(index.row(), FitColumn));
        return true;
    }
    return false;
}

Qt::ItemFlags LocalFixtureDefinitionListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        // The root is no item: Qt's views and the model tester expect no flags for it.
        return Qt::NoItemFlags;
    }
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
}

bool LocalFixtureDefinitionListModel::insertRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || count < 1 || row < 0 || row > rowCount()) {
        return false;
    }
    beginInsertRows(QModelIndex(), row, row + count - 1);
    QList<QKVFixtureDefinition*> added;
    added.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto* definition = new QKVFixtureDefinition();
        adopt(definition);
        added.append(definition);
    }
    if (row == rowCount()) {
        m_definitions.append(added);
    } else {
        m_definitions.insert(row, count, nullptr);
        std::copy(added.cbegin(), added.cend(), m_definitions.begin() + row);
    }
    refreshListIndexesFrom(row);
    endInsertRows();
    return true;
}

bool LocalFixtureDefinitionListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || count < 1 || row < 0 || row + count > rowCount()) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    const QList<QKVFixtureDefinition*> removed = m_definitions.mid(row, count);
    m_definitions.remove(row, count);
    refreshListIndexesFrom(row);
    endRemoveRows();
    // Deleted only after the views have let go of the rows; a new definition at a freed
    // address must not find the old one's fit.
    for (const QKVFixtureDefinition* definition : removed) {
        m_severities.remove(definition);
    }
    qDeleteAll(removed);
    return true;
}

int LocalFixtureDefinitionListModel::appendCopies(const QList<QKVFixtureDefinition*>& definitions)
{
    QList<QKVFixtureDefinition*> copies;
    copies.reserve(definitions.size());
    for (const QKVFixtureDefinition* source : definitions) {
        auto* copy = new QKVFixtureDefinition();
        *copy = *source;
        copies.append(copy);
    }
    return appendTaken(copies);
}

int LocalFixtureDefinitionListModel::appendTaken(const QList<QKVFixtureDefinition*>& definitions)
{
    const int first = rowCount();
    if (definitions.isEmpty()) {
        return first;
    }
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(definitions.size()) - 1);
    m_definitions.append(definitions);
    for (QKVFixtureDefinition* definition : definitions) {
        adopt(definition);
    }
    refreshListIndexesFrom(first);
    endInsertRows();
    return first;
}

QKVFixtureDefinition* LocalFixtureDefinitionListModel::definitionAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_definitions.at(row) : nullptr;
}

QVariant LocalFixtureDefinitionListModel::definitionVariant(QKVFixtureDefinition* definition)
{
    return pointerVariant(definition);
}

QKVFixtureDefinition* LocalFixtureDefinitionListModel::definitionFromVariant(const QVariant& value)
{
    return pointerFromVariant<QKVFixtureDefinition>(value);
}

void LocalFixtureDefinitionListModel::nbrOfChannelsChanged(QModelIndex sourceIndex)
{
    if (!isRowOf(sourceIndex, rowCount())) {
        return;
    }
    // The count also decides the fit.
    m_severities.remove(m_definitions.at(sourceIndex.row()));
    Q_EMIT dataChanged(index(sourceIndex.row(), ChannelsColumn), index(sourceIndex.row(), FitColumn));
}

void LocalFixtureDefinitionListModel::adopt(QKVFixtureDefinition* definition)
{
    connect(definition,
            &QKVFixtureDefinition::nbrOfChannelChanged,
            this,
            &LocalFixtureDefinitionListModel::nbrOfChannelsChanged,
            Qt::UniqueConnection);
}

void LocalFixtureDefinitionListModel::refreshListIndexesFrom(int row)
{
    // Rows before `row` did not move; refreshing only the rest keeps appending linear.
    for (int i = row; i < m_definitions.size(); ++i) {
        m_definitions.at(i)->setListPosition(this, createIndex(i, NameColumn));
    }
}

QString LocalFixtureDefinitionListModel::holdingKey(const QString& manufacturer, const QString& name, int channelCount)
{
    // As the device stores and lists them: cut to the field, outside Latin-1 as "?".
    const auto stored = [](const QString& text, int width) {
        QString result = ShortNames::firstCharacters(text, width);
        for (QChar& c : result) {
            if (c.unicode() > 0xFF) {
                c = QLatin1Char('?');
            }
        }
        return result;
    };
    return stored(manufacturer, DeviceRecord::ManufacturerWidth) + QChar(0) + stored(name, DeviceRecord::NameWidth)
        + QChar(0) + QString::number(channelCount);
}

void LocalFixtureDefinitionListModel::setDeviceHoldings(const QSet<QString>& keys)
{
    if (keys == m_deviceHoldings) {
        return;
    }
    m_deviceHoldings = keys;
    if (!m_definitions.isEmpty()) {
        Q_EMIT dataChanged(index(0, NameColumn), index(rowCount() - 1, FitColumn));
    }
}

bool LocalFixtureDefinitionListModel::isOnDevice(const QKVFixtureDefinition* definition) const
{
    return !m_deviceHoldings.isEmpty()
        && m_deviceHoldings.contains(
            holdingKey(definition->manufacturer(), definition->name(), definition->channelCount()));
}

int LocalFixtureDefinitionListModel::severity(const QKVFixtureDefinition* definition) const
{
    auto found = m_severities.constFind(definition);
    if (found == m_severities.cend()) {
        found = m_severities.insert(definition, static_cast<int>(DeviceFit::worstOf(*definition)));
    }
    return found.value();
}

void LocalFixtureDefinitionListModel::fitChanged(int row)
{
    if (row >= 0 && row < rowCount()) {
        m_severities.remove(m_definitions.at(row));
        Q_EMIT dataChanged(index(row, NameColumn), index(row, FitColumn));
    }
}

QStringList LocalFixtureDefinitionListModel::mimeTypes() const
{
    return {RowsMimeType};
}

QMimeData* LocalFixtureDefinitionListModel::mimeData(const QModelIndexList& indexes) const
{
    return rowsMimeData(RowsMimeType, indexes);
}

QMimeData* LocalFixtureDefinitionListModel::rowsMimeData(const QString& type, const QModelIndexList& indexes)
{
    QStringList rows;
    for (const QModelIndex& index : indexes) {
        if (index.column() == 0) {
            rows << QString::number(index.row());
        }
    }
    auto* data = new QMimeData;
    data->setData(type, rows.join(QLatin1Char(',')).toLatin1());
    return data;
}
