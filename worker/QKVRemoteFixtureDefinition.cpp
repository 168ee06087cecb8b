#include "QKVRemoteFixtureDefinition.h"

#include "DeviceRecordLayout.h"

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
