#pragma once

// What the simulated QRD-540B / QRD-780 shares between its parts: the time base, the
// cost of a byte on the DMX line, the refusal codes it answers with, and the layout of
// the fixture record it stores.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace korvane::KVP::sim {

/// The simulated device runs on explicit times, so tests decide what "now" is and the
/// transports pass the monotonic clock.
using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

/// One byte on the line at 250000 baud with a start bit, 8 data bits and 2 stop bits.
constexpr std::chrono::microseconds ByteTime {44};

/// Codes of the status replies with which the device refuses a frame. The host attaches
/// no meaning to them; distinct values make a refusal easy to trace in a capture.
namespace Refusal {
constexpr uint8_t UnknownCommand = 0x01;
constexpr uint8_t UnknownRecord = 0x02;
constexpr uint8_t MemoryFull = 0x03;
constexpr uint8_t BadLength = 0x04;
constexpr uint8_t OutOfSequence = 0x05;
constexpr uint8_t FrameTooLong = 0x06;
constexpr uint8_t BadChecksum = 0x07;
constexpr uint8_t BadHeader = 0x08;
} // namespace Refusal

/// The fixture record as the device keeps it: a 244-byte header (also the list entry)
/// and 45 channel slots of 112 bytes.
namespace Record {
constexpr size_t Length = 5284;
constexpr size_t HeaderLength = 244;
constexpr size_t ChannelSlotLength = 112;
constexpr size_t MaxChannels = 45;
constexpr size_t NameOffset = 0;
constexpr size_t NameLength = 100;
constexpr size_t ShortNameOffset = 100;
constexpr size_t ShortNameLength = 20;
constexpr size_t ManufacturerOffset = 120;
constexpr size_t ManufacturerLength = 100;
constexpr size_t ManufacturerShortOffset = 220;
constexpr size_t ManufacturerShortLength = 20;
constexpr size_t ChannelCountOffset = 240;
constexpr size_t TypeOffset = 241;
constexpr size_t NumberOffset = 242;
constexpr size_t ChannelShortNameLength = 12;
constexpr size_t ChannelNameOffset = 12;
constexpr size_t ChannelNameLength = 100;
/// The host's mark for "no number"; the device never hands it out.
constexpr uint8_t NoNumber = 255;

/// Bytes the device sends back for a record with `channelCount` channels: the header
/// and the used slots. Counts beyond the 45 slots are served as 45.
constexpr size_t readLength(size_t channelCount)
{
    return HeaderLength + ChannelSlotLength * (channelCount < MaxChannels ? channelCount : MaxChannels);
}
} // namespace Record

} // namespace korvane::KVP::sim
