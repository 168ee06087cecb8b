#include "RemoteFixtureDefinitionListModel.h"

#include <QMimeData>

#include "LocalFixtureDefinitionListModel.h"
#include "QKVRemoteFixtureDefinition.h"
#include "ResourcePaths.h"
#include "TableModelParts.h"

#include <QFont>

#include <iterator>

RemoteFixtureDefinitionListModel::RemoteFixtureDefinitionListModel(QObject* parent)
    : QAbstractTableModel(parent), m_icon(ResourcePaths::FixtureIcon)
{
}

RemoteFixtureDefinitionListModel::~RemoteFixtureDefinitionListModel() = default;

int RemoteFixtureDefinitionListModel::rowCount(const QModelIndex& parent) const
{
    // A table: no row has children, and the item model tester checks that it says so.
    return parent.isValid() ? 0 : static_cast<int>(m_definitions.size());
}

int RemoteFixtureDefinitionListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RemoteFixtureDefinitionListModel::data(const QModelIndex& index, int role) const
{
    if (!isCell(index)) {
        return {};
    }
    QKVRemoteFixtureDefinition* definition = m_definitions.at(static_cast<size_t>(index.row())).get();
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case NameColumn:
                    return definition->displayName();
                case ChannelsColumn:
                    return definition->channelCount();
                default:
                    return definition->displayManufacturer();
            }
        case Qt::DecorationRole:
            return index.column() == NameColumn ? QVariant(m_icon) : QVariant();
        case Qt::FontRole:
            if (!isInLibrary(index.row())) {
                QFont font;
                font.setItalic(true);
                return font;
            }
            return {};
        case Qt::ToolTipRole:
            if (index.column() == NameColumn && !isInLibrary(index.row())) {
                return tr("Not in the library: %1").arg(definition->displayName());
            }
            return {};
        case DefinitionRole:
            return definitionVariant(definition);
        default:
            return {};
    }
}

bool RemoteFixtureDefinitionListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!isCell(index)) {
        return false;
    }
    QKVRemoteFixtureDefinition* definition = m_definitions.at(static_cast<size_t>(index.row())).get();
    if (role == Qt::EditRole) {
        switch (index.column()) {
            case NameColumn:
                definition->setName(value.toString());
                break;
            case ChannelsColumn:
                definition->setChannelCount(value.toInt());
                break;
            case ManufacturerColumn:
                definition->setManufacturer(value.toString());
                break;
            default:
                return false;
        }
        Q_EMIT dataChanged(index, index);
        return true;
    }
    if (role == DefinitionRole) {
        QKVRemoteFixtureDefinition* source = definitionFromVariant(value);
        if (!source) {
            return false;
        }
        if (source != definition) {
            *definition = *source;
        }
        // Every cell of the row may show something new.
        Q_EMIT dataChanged(this->index(index.row(), NameColumn), this->index(index.row(), ManufacturerColumn));
        return true;
    }
    return false;
}

QVariant RemoteFixtureDefinitionListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return columnTitle({tr("Fixture Name"), tr("#Channels"), tr("Manufacturer")}, section, orientation, role);
}

bool RemoteFixtureDefinitionListModel::insertRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || count < 1 || row < 0 || row > rowCount()) {
        return false;
    }
    beginInsertRows(QModelIndex(), row, row + count - 1);
    std::vector<std::unique_ptr<QKVRemoteFixtureDefinition>> added;
    added.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        added.push_back(std::make_unique<QKVRemoteFixtureDefinition>());
    }
    m_definitions.insert(
        m_definitions.begin() + row, std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    endInsertRows();
    return true;
}

bool RemoteFixtureDefinitionListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || count < 1 || row < 0 || row > rowCount() - count) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    // Moved out first and deleted only after the views have let go of the rows.
    std::vector<std::unique_ptr<QKVRemoteFixtureDefinition>> removed(
        std::make_move_iterator(m_definitions.begin() + row),
        std::make_move_iterator(m_definitions.begin() + row + count));
    m_definitions.erase(m_definitions.begin() + row, m_definitions.begin() + row + count);
    endRemoveRows();
    removed.clear();
    // The device panel recounts on layout changes of its sort proxy, not on removals.
    Q_EMIT layoutAboutToBeChanged();
    Q_EMIT layoutChanged();
    return true;
}

Qt::ItemFlags RemoteFixtureDefinitionListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        // The root is no item: Qt's views and the model tester expect no flags for it.
        return Qt::NoItemFlags;
    }
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
}

QKVRemoteFixtureDefinition* RemoteFixtureDefinitionListModel::definitionAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_definitions.at(static_cast<size_t>(row)).get() : nullptr;
}

QVariant RemoteFixtureDefinitionListModel::definitionVariant(QKVRemoteFixtureDefinition* definition)
{
    return pointerVariant(definition);
}

QKVRemoteFixtureDefinition* RemoteFixtureDefinitionListModel::definitionFromVariant(const QVariant& value)
{
    return pointerFromVariant<QKVRemoteFixtureDefinition>(value);
}

bool RemoteFixtureDefinitionListModel::isCell(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && !index.parent().isValid() && index.row() >= 0
        && index.row() < rowCount() && index.column() >= 0 && index.column() < ColumnCount;
}

void RemoteFixtureDefinitionListModel::setLibraryHoldings(const QSet<QString>& keys)
{
    if (m_libraryKnown && keys == m_libraryHoldings) {
        return;
    }
    m_libraryHoldings = keys;
    m_libraryKnown = true;
    if (rowCount() > 0) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::FontRole, Qt::ToolTipRole});
    }
}

QSet<QString> RemoteFixtureDefinitionListModel::holdingKeys() const
{
    QSet<QString> keys;
    for (const auto& definition : m_definitions) {
        keys.insert(LocalFixtureDefinitionListModel::holdingKey(
            definition->manufacturer(), definition->name(), definition->channelCount()));
    }
    return keys;
}

bool RemoteFixtureDefinitionListModel::isInLibrary(int row) const
{
    const QKVRemoteFixtureDefinition* definition = definitionAt(row);
    return !m_libraryKnown || !definition
        || m_libraryHoldings.contains(LocalFixtureDefinitionListModel::holdingKey(
            definition->manufacturer(), definition->name(), definition->channelCount()));
}

QStringList RemoteFixtureDefinitionListModel::mimeTypes() const
{
    return {RowsMimeType};
}

QMimeData* RemoteFixtureDefinitionListModel::mimeData(const QModelIndexList& indexes) const
{
    return LocalFixtureDefinitionListModel::rowsMimeData(RowsMimeType, indexes);
}
