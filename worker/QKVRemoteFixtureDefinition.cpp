#include "QKVRemoteFixtureDefinition.h"

#include "DeviceRecordLayout.h"

QKVRemoteFixtureDefinition::QKVRemoteFixtureDefinition(QObject* parent) : QObject(parent) { }

QKVRemoteFixtureDefinition& QKVRemoteFixtureDefinition::operator=(const QKVRemoteFixtureDefinition& other)
{
    m_name = other.m_name;
    m_shortName = other.m_shortName;
    m_manufacturer = other.m_manufacturer;
    m_manufacturerShort = other.m_manufacturerShort;
    m_type = other.m_type;
    m_channelCount = other.m_channelCount;
    m_recordNumber = other.m_recordNumber;
    return *this;
}

bool QKVRemoteFixtureDefinition::fromListEntry(const QByteArray& entry)
{
    using namespace DeviceRecord;
    if (entry.size() < HeaderLength) {
        return false;
    }
    const auto byteAt = [&entry](int offset) { return static_cast<unsigned char>(entry.at(offset)); };
    m_name = readTextField(entry, NameOffset, NameWidth);
    m_shortName = readTextField(entry, ShortNameOffset, ShortNameWidth);
    m_manufacturer = readTextField(entry, ManufacturerOffset, ManufacturerWidth);
    m_manufacturerShort = readTextField(entry, ManufacturerShortOffset, ManufacturerShortWidth);
    m_type = byteAt(TypeOffset);
    m_channelCount = byteAt(ChannelCountOffset);
    m_recordNumber = byteAt(RecordNumberOffset);
    return true;
}

QString QKVRemoteFixtureDefinition::displayName() const
{
    return m_name.isEmpty() ? m_shortName : m_name;
}

QString QKVRemoteFixtureDefinition::displayManufacturer() const
{
    return m_manufacturer.isEmpty() ? m_manufacturerShort : m_manufacturer;
}
