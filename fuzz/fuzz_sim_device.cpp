// Whatever a host writes to the simulated device: no byte sequence may crash it, since
// the same core serves kvp-device-sim, where any program may connect.
//
// The first byte chooses the device (stored records, slots, frame size, wire model); the
// second whether the rest is raw line bytes or frame descriptions. A description is flags,
// type, command, parameter (2 bytes), payload length (2 bytes) and the payload, and is
// sent with correct checksums, so the fuzzer reaches the commands without having to
// find checksums first.

#include "KVPFrame.h"
#include "SimConnection.h"
#include "SimDevice.h"
#include "SimDeviceConfig.h"

#include <algorithm>
#include <chrono>
#include <vector>

using namespace korvane::KVP;
using namespace korvane::KVP::sim;

namespace {

constexpr size_t DescriptionHeader = 7;
constexpr uint16_t FrameSizes[] = {522, Frame::Overhead, 100, 0xFFFF};
constexpr unsigned SlotCounts[] = {100, 3, MaxSlots, 0};

/// Bits 0-1 the frame size, 2-3 the slots, 4-5 the stored records, 6 an empty patch list,
/// 7 the wire model with the last firmware acknowledgement dropped.
SimDeviceConfig configFrom(uint8_t choice)
{
    SimDeviceConfig config;
    config.frameSize = FrameSizes[choice & 0x03];
    config.slotCount = SlotCounts[(choice >> 2) & 0x03];
    config.records = std::min<unsigned>(config.slotCount, (choice >> 4) & 0x03);
    config.patchEmpty = choice & 0x40;
    config.wire = choice & 0x80;
    config.faults.dropLastFirmwareAck = config.wire;
    return config;
}

/// Reads what the device has answered, as the host would, so the reply queue and its
/// timing are exercised too.
void drain(SimConnection& connection, TimePoint& now)
{
    now += std::chrono::hours(1);
    uint8_t buffer[4096];
    while (connection.read(buffer, sizeof buffer, now) > 0) { }
    (void)connection.readyAt(1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    SimDevice device(configFrom(data[0]));
    SimConnection connection(device);
    TimePoint now {};
    const bool raw = data[1] & 1;
    data += 2;
    size -= 2;

    if (raw) {
        // Several writes, as a USB transfer splits them, cut where the bytes say.
        while (size > 0) {
            const size_t piece = std::min<size_t>(size, 1 + data[0] * 4);
            connection.receive(data, piece, now);
            drain(connection, now);
            data += piece;
            size -= piece;
        }
        return 0;
    }

    uint8_t sequence = 0;
    while (size >= DescriptionHeader) {
        FrameHeader header;
        header.flags = data[0];
        header.type = data[1];
        header.command = data[2];
        header.parameter = readLe16(data + 3);
        header.sequence = sequence++;
        const size_t length = std::min<size_t>(readLe16(data + 5), size - DescriptionHeader);
        const std::vector<uint8_t> frame = encodeFrame(header, data + DescriptionHeader, static_cast<uint16_t>(length));
        connection.receive(frame.data(), frame.size(), now);
        drain(connection, now);
        data += DescriptionHeader + length;
        size -= DescriptionHeader + length;
    }
    return 0;
}
