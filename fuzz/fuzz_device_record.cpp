// What a device sends about its definitions: a fixture list payload and a stored record,
// read the way the list and read requests do. A record that reads must also go back to
// the device: the editor uploads what it downloaded.

#include "FuzzQt.h"

#include "DeviceRecord.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"

#include <cstdlib>

namespace {

void touchRemote(const QKVRemoteFixtureDefinition& remote)
{
    fuzz::touch(remote.name());
    fuzz::touch(remote.shortName());
    fuzz::touch(remote.manufacturer());
    fuzz::touch(remote.manufacturerShort());
    fuzz::touch(remote.displayName());
    fuzz::touch(remote.displayManufacturer());
    fuzz::touch(remote.type() + 256LL * remote.channelCount() + 65536LL * remote.recordNumber());
}

void decodeList(const QByteArray& payload)
{
    fuzz::touch(DeviceRecord::listEntryCount(payload));
    const DeviceRecord::RemoteList list = DeviceRecord::decodeList(payload);
    for (const auto& remote : list) {
        touchRemote(*remote);
    }
}

void roundTrip(const QByteArray& record)
{
    QKVFixtureDefinition definition;
    if (!definition.fromDeviceRecord(record)) {
        return;
    }
    for (const QKVFixtureChannel* channel : definition.channels()) {
        fuzz::touch(channel->name());
        fuzz::touch(channel->shortName());
    }
    const QByteArray rebuilt = DeviceRecord::buildRecord(definition);
    if (rebuilt.size() != DeviceRecord::RecordLength) {
        std::abort();
    }
    // Counts beyond the record's slots cannot come back; every other record must.
    QKVFixtureDefinition again;
    if (definition.channelCount() <= DeviceRecord::MaxChannels && !again.fromDeviceRecord(rebuilt)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    decodeList(bytes);

    // The same bytes as entries under a count that fits, so the fuzzer need not find the
    // count first to get into the entry decoding.
    const qsizetype count = bytes.size() / DeviceRecord::HeaderLength;
    QByteArray list;
    list.append(static_cast<char>(count & 0xFF));
    list.append(static_cast<char>((count >> 8) & 0xFF));
    list.append(bytes.left(count * DeviceRecord::HeaderLength));
    decodeList(list);

    QKVRemoteFixtureDefinition remote;
    if (remote.fromListEntry(bytes)) {
        touchRemote(remote);
    }
    roundTrip(bytes);
    return 0;
}
