#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace korvane::KVP {

/// What a device says about itself in its reply to the identify command: a 50-byte
/// little-endian block.
struct KVPDeviceIdentity
{
    static constexpr size_t Length = 50;
    static constexpr size_t HardwareVersionOffset = 2;
    static constexpr size_t FirmwareVersionOffset = 4;
    static constexpr size_t ModelNameOffset = 6;
    static constexpr size_t ModelNameLength = 40;
    static constexpr size_t LargestFrameOffset = 46;

    uint16_t hardwareVersion = 0;
    uint16_t firmwareVersion = 0;
    /// "QRD-540B" or "QRD-780" on the devices we know.
    std::string modelName;
    /// The largest frame the device takes, header and trailer included.
    uint16_t largestFrame = 0;

    /// Decodes the block; nothing when fewer than 50 bytes are given.
    static std::optional<KVPDeviceIdentity> fromBytes(const uint8_t* data, size_t length);
};

} // namespace korvane::KVP
