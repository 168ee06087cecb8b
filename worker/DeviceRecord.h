#pragma once

#include "DeviceRecordLayout.h"
#include "QKVRemoteFixtureDefinition.h"

#include <QByteArray>

#include <memory>
#include <vector>

class QKVFixtureDefinition;

/// The record the device stores a definition in, as the host writes it, and the device's
/// fixture list, whose entries are the headers of the stored records.
namespace DeviceRecord {

/// The list opens with its number of entries, a little-endian 16-bit count.
constexpr int ListCountLength = 2;

/// The definitions of a device list in device order. Each is owned by its unique_ptr;
/// the device panel's model takes them over (release) when it shows the list.
using RemoteList = std::vector<std::unique_ptr<QKVRemoteFixtureDefinition>>;

/// The RecordLength bytes in which the device stores `definition`.
///
/// The automatic short names of the definition and of every channel written are applied
/// to the definition itself first, so that the editor afterwards shows exactly what the
/// device holds; that is why the definition is not const.
///
/// A channel numbered 1..MaxChannels goes into the slot of its number, and a later channel
/// with the same number replaces an earlier one; other numbers have no slot and are left
/// out, but every channel counts in the channel count (low 8 bits). The type travels as its
/// low 8 bits, so -1 becomes 255. Bytes that carry no field are zero.
QByteArray buildRecord(QKVFixtureDefinition& definition);

/// The number of entries in a fixture list payload when its length is exactly the count
/// plus that many entries, otherwise -1. An empty device answers with count 0 and nothing
/// after it, which gives 0: the list request tells a malformed list from an empty device
/// by this.
int listEntryCount(const QByteArray& payload);

/// The definitions of a fixture list payload. A payload without entries, or whose length
/// does not match its count, gives an empty list. Never reads past the payload.
RemoteList decodeList(const QByteArray& payload);

} // namespace DeviceRecord
