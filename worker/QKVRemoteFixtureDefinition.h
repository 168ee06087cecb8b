#pragma once

#include <QByteArray>
#include <QString>

/// One definition as the device lists it: the header of a stored record, without its
/// channels, and the device's number for it. The device panel shows these, and the read
/// and delete requests name the definition by its record number.
///
/// A plain value: copies carry every field.
class QKVRemoteFixtureDefinition
{
public:
    /// Until a list entry says otherwise; the device numbers its own records.
    static constexpr quint8 DefaultRecordNumber = 255;

    /// Fills every field from one list entry (a record header). An entry shorter than a
    /// header is refused and changes nothing: its record number would be missing or wrong,
    /// and a read or delete must never act on a guessed number. Longer data is fine; only
    /// the header is read.
    bool fromListEntry(const QByteArray& entry);

    /// The name, or the short name when the name is empty.
    QString displayName() const;
    /// The manufacturer, or its short form when the manufacturer is empty.
    QString displayManufacturer() const;

    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    QString shortName() const { return m_shortName; }
    void setShortName(const QString& shortName) { m_shortName = shortName; }
    QString manufacturer() const { return m_manufacturer; }
    void setManufacturer(const QString& manufacturer) { m_manufacturer = manufacturer; }
    QString manufacturerShort() const { return m_manufacturerShort; }
    void setManufacturerShort(const QString& manufacturerShort) { m_manufacturerShort = manufacturerShort; }

    /// The type byte as the device holds it, 0..255.
    int type() const { return m_type; }
    void setType(int type) { m_type = type; }
    int channelCount() const { return m_channelCount; }
    void setChannelCount(int channelCount) { m_channelCount = channelCount; }
    /// The parameter of the device's read and delete commands for this definition.
    quint8 recordNumber() const { return m_recordNumber; }
    void setRecordNumber(quint8 recordNumber) { m_recordNumber = recordNumber; }

private:
    QString m_name;
    QString m_shortName;
    QString m_manufacturer;
    QString m_manufacturerShort;
    int m_type = 0;
    int m_channelCount = 0;
    quint8 m_recordNumber = DefaultRecordNumber;
};
