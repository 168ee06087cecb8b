#include "DeviceRecord.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <cstring>

namespace DeviceRecord {

QByteArray buildRecord(QKVFixtureDefinition& definition)
{
    // Every record starts from a cleared buffer. The device reads nothing after a text's
    // terminator, in the record number and reserved bytes or in unused slots; zeros there
    // keep the records of equal definitions equal byte for byte, and keep nothing of the
    // previous definition in them.
    QByteArray record(RecordLength, '\0');
    record[TypeOffset] = static_cast<char>(definition.type() & 0xFF);

    definition.applyAutoShortNames();
    writeTextField(record, NameOffset, NameWidth, definition.name());
    writeTextField(record, ShortNameOffset, ShortNameWidth, definition.shortName());
    writeTextField(record, ManufacturerOffset, ManufacturerWidth, definition.manufacturer());
    writeTextField(record, ManufacturerShortOffset, ManufacturerShortWidth, definition.manufacturerShort());
    record[ChannelCountOffset] = static_cast<char>(definition.channelCount() & 0xFF);

    for (QKVFixtureChannel* channel : definition.channels()) {
        const int number = channel->number();
        if (number < 1 || number > MaxChannels) {
            continue; // the record has no slot for it
        }
        channel->applyAutoShortName();
        // A channel that shares its number with an earlier one replaces that slot whole:
        // no tail of a longer earlier name may stay behind the new terminator.
        const int slot = slotOffset(number);
        std::memset(record.data() + slot, 0, SlotLength);
        writeTextField(record, slot + SlotShortNameOffset, SlotShortNameWidth, channel->shortName());
        writeTextField(record, slot + SlotNameOffset, SlotNameWidth, channel->name());
    }
    return record;
}

int listEntryCount(const QByteArray& payload)
{
    if (payload.size() < ListCountLength) {
        return -1;
    }
    const int count = static_cast<unsigned char>(payload.at(0)) | static_cast<unsigned char>(payload.at(1)) << 8;
    return payload.size() == ListCountLength + qsizetype(count) * HeaderLength ? count : -1;
}

RemoteList decodeList(const QByteArray& payload)
{
    RemoteList list;
    const int count = listEntryCount(payload);
    for (int i = 0; i < count; ++i) {
        auto definition = std::make_unique<QKVRemoteFixtureDefinition>();
        // listEntryCount matched the length to the count, so every entry is a whole header.
        definition->fromListEntry(payload.mid(ListCountLength + i * HeaderLength, HeaderLength));
        list.push_back(std::move(definition));
    }
    return list;
}

} // namespace DeviceRecord
