#pragma once

#include <QByteArray>
#include <QString>

/// Layout of the fixed-size record in which the device stores one fixture definition:
/// a 244-byte header followed by 45 channel slots of 112 bytes. All fields are single
/// bytes or 8-bit Latin-1 text fields; there are no multi-byte numbers.
namespace DeviceRecord {

constexpr int MaxChannels = 45;

constexpr int NameOffset = 0;
constexpr int NameWidth = 100;
constexpr int ShortNameOffset = 100;
constexpr int ShortNameWidth = 20;
constexpr int ManufacturerOffset = 120;
constexpr int ManufacturerWidth = 100;
constexpr int ManufacturerShortOffset = 220;
constexpr int ManufacturerShortWidth = 20;
constexpr int ChannelCountOffset = 240;
constexpr int TypeOffset = 241;
constexpr int RecordNumberOffset = 242;
constexpr int HeaderLength = 244;

constexpr int SlotShortNameOffset = 0;
constexpr int SlotShortNameWidth = 12;
constexpr int SlotNameOffset = 12;
constexpr int SlotNameWidth = 100;
constexpr int SlotLength = 112;

constexpr int RecordLength = HeaderLength + MaxChannels * SlotLength; // 5284

/// Offset of the slot of the channel with number n (1-based).
constexpr int slotOffset(int channelNumber)
{
    return HeaderLength + (channelNumber - 1) * SlotLength;
}

/// Bytes a record with `channelCount` used slots occupies when the device sends it.
constexpr int usedLength(int channelCount)
{
    return HeaderLength + channelCount * SlotLength;
}

/// Reads a text field: the bytes up to the first zero or the field's width, as Latin-1.
/// Bytes beyond the end of `data` are treated as absent, never read.
QString readTextField(const QByteArray& data, int offset, int width);

/// Writes a text field: the first `width` characters as Latin-1 ("?" for characters
/// outside Latin-1), followed by one zero byte when they do not fill the field.
/// `data` must hold the whole field.
void writeTextField(QByteArray& data, int offset, int width, const QString& text);

} // namespace DeviceRecord
