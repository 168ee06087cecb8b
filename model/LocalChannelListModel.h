#pragma once

#include <QAbstractTableModel>
#include <QPointer>

class QKVFixtureChannel;
#include "QKVFixtureDefinition.h"

/// The channels of the definition being edited, in the definition's list order, with
/// their numbers and names. The model works on the definition's own channel list and
/// keeps the numbers dense (1..n) after every change; the editor shows it sorted by
/// number, so the list order inside the definition may differ from what the user sees.
class LocalChannelListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NumberColumn = 0, NameColumn = 1, ColumnCount = 2 };
    /// The role that hands out (and takes in) the channel behind a row, as a `void*`.
    static constexpr int ChannelRole = Qt::UserRole;

    explicit LocalChannelListModel(QKVFixtureDefinition* definition = nullptr, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// Edit role: only announces the row again. User role: the row's channel takes the
    /// number, names and flag of the channel the value points to.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Inserts `count` new channels at list position `row`, placed by number: the first
    /// new channel takes number row + 1 and the channels from there on move up.
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    /// Removes and deletes `count` channels from list position `row` and closes the gap.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    QKVFixtureDefinition* definition() const { return m_definition; }
    /// Shows `definition` (null for none) and compacts its channel numbers to 1..n.
    void setDefinition(QKVFixtureDefinition* definition);

    /// Exchanges the number of the channel at list position `row` with its neighbour
    /// one number lower (up) or higher (down); nothing when there is none.
    void moveChannelUp(int row);
    void moveChannelDown(int row);

    /// The first list position whose channel has number `number`, or -1.
    int rowOfNumber(int number) const;
    /// The channel at list position `row`, or null.
    QKVFixtureChannel* channelAt(int row) const;

    /// Renumbers the channels 1..n in the order of their numbers, equal numbers in list
    /// order. Numbers below 1 (a hand-written library may carry 0 or negative numbers)
    /// take the first numbers, in list order. The list order never changes.
    void renumber();

    static QVariant channelVariant(QKVFixtureChannel* channel);
    static QKVFixtureChannel* channelFromVariant(const QVariant& value);

private:
    void moveChannel(int row, int step);

    // Guarded: the library may delete the definition while the editor still shows it.
    QPointer<QKVFixtureDefinition> m_definition;
};
