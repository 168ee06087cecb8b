#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::KVP::sim {

/// Ways the simulated device misbehaves on purpose. Frames are counted from 1 over the
/// device's whole life, across connections; 0 switches a fault off.
struct SimFaults
{
    uint32_t silentFrom = 0; ///< no reply to this frame or any later one
    uint32_t refuseAt = 0; ///< a refusal instead of the work and the reply
    uint8_t refuseCode = 0x20; ///< the code of that refusal
    uint32_t corruptAt = 0; ///< one byte in the middle of the reply is flipped
    uint32_t dropAt = 0; ///< the reply loses its last `dropCount` bytes
    uint32_t dropCount = 1;
    uint32_t lateAt = 0; ///< the reply comes `lateBy` later
    std::chrono::milliseconds lateBy {0};
    uint32_t vanishAt = 0; ///< the device is unplugged when this frame arrives
    bool dropLastFirmwareAck = false; ///< no reply to the final frame of a firmware update
};

/// What a simulated device is: identity, storage, patch state, USB description,
/// wire timing and faults. The defaults are a healthy, empty QRD-780.
struct SimDeviceConfig
{
    std::string model = "QRD-780";
    uint16_t hardwareVersion = 0x0001;
    uint16_t firmwareVersion = 0x0102;
    std::string description = "KORVANE KVP-DEV";
    /// Largest frame the device accepts and sends, header and trailer included.
    uint16_t frameSize = 522;
    unsigned slotCount = 100; ///< storage slots in all, at most 255 (Qt reserves `slots`)
    unsigned records = 0; ///< slots filled with sample definitions at start
    bool patchEmpty = true; ///< the device demands a clear before an upload when false
    bool wire = false; ///< replies take the line's time
    std::chrono::microseconds latency {0}; ///< USB latency added to every reply
    SimFaults faults;
};

/// Longest model name that fits the identity with its terminating zero.
constexpr size_t MaxModelLength = 39;
/// Longest USB description that fits the D2XX node with its terminating zero.
constexpr size_t MaxDescriptionLength = 63;
/// Most slots a device can have: the free count travels in one byte.
constexpr unsigned MaxSlots = 255;

/// Reads a comma-separated list of key=value settings into `config` (keys as in the
/// usage text below). Returns false and an explanation on the first bad setting.
bool parseSimDeviceConfig(std::string_view text, SimDeviceConfig& config, std::string& error);

/// Reads `;`-separated device settings; empty entries are skipped.
bool parseSimDeviceList(std::string_view text, std::vector<SimDeviceConfig>& devices, std::string& error);

/// The keys, one line each, for help texts.
const char* simDeviceConfigUsage();

} // namespace korvane::KVP::sim
