#pragma once

#include <QByteArray>
#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QPointer>
#include <QString>

#include "DeviceRecordLayout.h"
#include "FixtureType.h"

class QAbstractItemModel;
class QKVFixtureChannel;

/// One fixture definition as the device shows it: the fixture (model) name and the
/// manufacturer, each with a short form for the device's display, a type code, and
/// the DMX channels in order. The definition owns its channels.
///
/// Definitions are copied, never shared, between the library, the file reader and the
/// device transfers; assignment gives the target channel objects of its own.
class QKVFixtureDefinition : public QObject
{
    Q_OBJECT

public:
    /// Channels the device record has room for; an upload needs 1..MaxChannels
    /// (DeviceFit::channelCountAccepted).
    static constexpr int MaxChannels = DeviceRecord::MaxChannels;

    explicit QKVFixtureDefinition(QObject* parent = nullptr);
    /// Copies every field, the list position included, and deep-copies the channels.
    /// The copy has the same parent as the source.
    QKVFixtureDefinition(const QKVFixtureDefinition& other);
    /// Copies names, flags, type and list position, and replaces this definition's
    /// channels with copies of the other's (the replaced channel objects are deleted).
    QKVFixtureDefinition& operator=(const QKVFixtureDefinition& other);
    ~QKVFixtureDefinition() override;

    QString name() const { return m_name; }
    QString shortName() const { return m_shortName; }
    QString manufacturer() const { return m_manufacturer; }
    QString manufacturerShort() const { return m_manufacturerShort; }

    /// The setters store the text unchanged (no cut) and, when the definition is shown
    /// by a list model, push the name and manufacturer into its row.
    void setName(const QString& name) { store(m_name, name, NameColumn); }
    void setShortName(const QString& shortName) { store(m_shortName, shortName, NameColumn); }
    void setManufacturer(const QString& manufacturer) { store(m_manufacturer, manufacturer, ManufacturerColumn); }
    void setManufacturerShort(const QString& manufacturerShort)
    {
        store(m_manufacturerShort, manufacturerShort, ManufacturerColumn);
    }

    /// Store without the push into the list model; for the list model's own setData.
    void storeName(const QString& name) { m_name = name; }
    void storeManufacturer(const QString& manufacturer) { m_manufacturer = manufacturer; }

    bool autoShortName() const { return m_autoShortName; }
    void setAutoShortName(bool autoShortName) { m_autoShortName = autoShortName; }
    bool autoManufacturerShort() const { return m_autoManufacturerShort; }
    void setAutoManufacturerShort(bool autoManufacturerShort) { m_autoManufacturerShort = autoManufacturerShort; }

    /// A `FixtureType::Code`, or any other value read from a device, kept unchanged.
    int type() const { return m_type; }
    void setType(int type) { m_type = type; }

    /// The owned channels in list order. Callers may add (the definition takes
    /// ownership), remove (the caller then deletes), reorder and change them.
    QList<QKVFixtureChannel*>& channels() { return m_channels; }
    const QList<QKVFixtureChannel*>& channels() const { return m_channels; }
    int channelCount() const { return static_cast<int>(m_channels.size()); }
    /// Takes ownership of `channel` and appends it.
    void appendChannel(QKVFixtureChannel* channel);
    /// Deletes every channel.
    void clearChannels();

    /// The name, or the short name when the name is empty.
    QString displayName() const;

    /// Recomputes the short names whose auto flag is on (first 20 characters).
    void applyAutoShortNames();
    /// Turns an auto flag on when its short name is what it would derive to.
    void deriveAutoFlags();
    /// Empties a name or manufacturer read from an erased device field (starts with 0xFF).
    void clearErasedNames();

    /// Fills this definition from a device record: the header and `channelCount`
    /// channel slots, channel i numbered i + 1. Returns false, and changes nothing,
    /// when `record` is too short for its header or for the channels it declares.
    bool fromDeviceRecord(const QByteArray& record);

    void setListPosition(QAbstractItemModel* model, const QModelIndex& index);
    QModelIndex listIndex() const { return m_listIndex; }
    QAbstractItemModel* listModel() const { return m_listModel; }

    /// Emits nbrOfChannelChanged for this definition's row.
    void notifyChannelCountChanged();

Q_SIGNALS:
    void nbrOfChannelChanged(QModelIndex index);

private:
    // The list model's columns that show a definition's names.
    static constexpr int NameColumn = 0;
    static constexpr int ManufacturerColumn = 2;

    /// Sets `field` and pushes the name or manufacturer shown in `column` into the row.
    void store(QString& field, const QString& value, int column);
    void copyChannelsFrom(const QKVFixtureDefinition& other);

    QString m_name;
    QString m_shortName;
    bool m_autoShortName = true;
    QString m_manufacturer;
    QString m_manufacturerShort;
    bool m_autoManufacturerShort = true;
    int m_type = FixtureType::Undefined;
    QModelIndex m_listIndex;
    QPointer<QAbstractItemModel> m_listModel;
    QList<QKVFixtureChannel*> m_channels;
};
