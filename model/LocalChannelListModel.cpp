#include "LocalChannelListModel.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TableModelParts.h"

#include <algorithm>
#include <numeric>
#include <vector>

LocalChannelListModel::LocalChannelListModel(QKVFixtureDefinition* definition, QObject* parent)
    : QAbstractTableModel(parent), m_definition(definition)
{
    renumber();
}

int LocalChannelListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_definition ? 0 : m_definition->channelCount();
}

int LocalChannelListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LocalChannelListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return columnTitle({tr("Channel#"), tr("Channel Name")}, section, orientation, role);
}

QVariant LocalChannelListModel::data(const QModelIndex& index, int role) const
{
    QKVFixtureChannel* channel = index.isValid() && !index.parent().isValid() ? channelAt(index.row()) : nullptr;
    if (!channel || index.column() < 0 || index.column() >= ColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return index.column() == NumberColumn ? QVariant(channel->number()) : QVariant(channel->displayName());
    }
    if (role == ChannelRole) {
        return channelVariant(channel);
    }
    return {};
}

bool LocalChannelListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    QKVFixtureChannel* channel = index.isValid() && !index.parent().isValid() ? channelAt(index.row()) : nullptr;
    if (!channel || index.column() < 0 || index.column() >= ColumnCount) {
        return false;
    }
    if (role == Qt::EditRole) {
        Q_EMIT dataChanged(index, index);
        return true;
    }
    if (role == ChannelRole) {
        QKVFixtureChannel* source = channelFromVariant(value);
        if (source && source != channel) {
            *channel = *source;
        }
        Q_EMIT dataChanged(index, index);
        return true;
    }
    return false;
}

Qt::ItemFlags LocalChannelListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        // The root is no item: Qt's views and the model tester expect no flags for it.
        return Qt::NoItemFlags;
    }
    return QAbstractTableModel::flags(index) | Qt::ItemIsSelectable;
}

bool LocalChannelListModel::insertRows(int row, int count, const QModelIndex&)
{
    if (!m_definition || count < 1 || row < 0 || row > rowCount()) {
        return false;
    }
    beginInsertRows(QModelIndex(), row, row + count - 1);
    QList<QKVFixtureChannel*>& channels = m_definition->channels();
    for (int k = 0; k < count; ++k) {
        auto* channel = new QKVFixtureChannel();
        channel->setNumber(row + 1 + k);
        // Each new channel goes in front of the one made before it; renumbering then
        // places them by number, not by list position.
        channels.insert(row, channel);
    }
    endInsertRows();
    renumber();
    m_definition->notifyChannelCountChanged();
    return true;
}

bool LocalChannelListModel::removeRows(int row, int count, const QModelIndex&)
{
    if (!m_definition || count < 1 || row < 0 || row >= rowCount()) {
        return false;
    }
    count = std::min(count, rowCount() - row);
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    QList<QKVFixtureChannel*>& channels = m_definition->channels();
    const QList<QKVFixtureChannel*> removed = channels.mid(row, count);
    channels.remove(row, count);
    endRemoveRows();
    qDeleteAll(removed);
    renumber();
    m_definition->notifyChannelCountChanged();
    return true;
}

void LocalChannelListModel::setDefinition(QKVFixtureDefinition* definition)
{
    // Views learn of the change as the removal of every old row and the insertion of
    // every new one, so a current row that disappears is reported as such.
    if (rowCount() > 0) {
        beginRemoveRows(QModelIndex(), 0, rowCount() - 1);
        m_definition = nullptr;
        endRemoveRows();
    }
    m_definition = nullptr;
    if (definition && definition->channelCount() > 0) {
        beginInsertRows(QModelIndex(), 0, definition->channelCount() - 1);
        m_definition = definition;
        endInsertRows();
    }
    m_definition = definition;
    renumber();
}

void LocalChannelListModel::moveChannelUp(int row)
{
    moveChannel(row, -1);
}

void LocalChannelListModel::moveChannelDown(int row)
{
    moveChannel(row, +1);
}

void LocalChannelListModel::moveChannel(int row, int step)
{
    renumber();
    QKVFixtureChannel* chosen = channelAt(row);
    if (!chosen) {
        return;
    }
    const int number = chosen->number();
    const int otherRow = rowOfNumber(number + step);
    if (otherRow < 0) {
        return;
    }
    channelAt(otherRow)->setNumber(number);
    chosen->setNumber(number + step);
    Q_EMIT dataChanged(index(row, NumberColumn), index(row, NumberColumn));
    Q_EMIT dataChanged(index(otherRow, NumberColumn), index(otherRow, NumberColumn));
}

int LocalChannelListModel::rowOfNumber(int number) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (m_definition->channels().at(row)->number() == number) {
            return row;
        }
    }
    return -1;
}

QKVFixtureChannel* LocalChannelListModel::channelAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_definition->channels().at(row) : nullptr;
}

void LocalChannelListModel::renumber()
{
    const int count = rowCount();
    if (count == 0) {
        return;
    }
    const QList<QKVFixtureChannel*>& channels = m_definition->channels();
    // A stable sort by number keeps equal numbers in list order; every number below 1
    // counts as 0, so such channels come first, in list order.
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    const auto key = [&channels](int row) { return std::max(channels.at(row)->number(), 0); };
    std::stable_sort(order.begin(), order.end(), [&key](int a, int b) { return key(a) < key(b); });
    int assigned = 0;
    for (int row : order) {
        QKVFixtureChannel* channel = channels.at(row);
        channel->setNumber(++assigned);
        channel->setRenumberMark(true);
    }
    Q_EMIT dataChanged(index(0, NumberColumn), index(count - 1, NameColumn));
}

QVariant LocalChannelListModel::channelVariant(QKVFixtureChannel* channel)
{
    return pointerVariant(channel);
}

QKVFixtureChannel* LocalChannelListModel::channelFromVariant(const QVariant& value)
{
    return pointerFromVariant<QKVFixtureChannel>(value);
}
