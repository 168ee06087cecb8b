#pragma once

#include "SimDeviceConfig.h"
#include "SimFirmwareUpdate.h"
#include "SimFixtureStore.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvane::KVP::sim {

/// A simulated QRD-540B / QRD-780: identity, fixture memory, patch list and firmware
/// update, with the faults of its configuration. It sees whole host frames and answers
/// each with at most one reply frame; bytes, timing and connections are the business of
/// SimConnection. What it stores outlives connections, as on the real device.
class SimDevice
{
public:
    /// What one connection is in the middle of: a list or record being read out over
    /// several replies, a record being written in chunks. A new connection starts clean.
    struct Session
    {
        bool replying = false;
        uint8_t replyCommand = 0;
        uint16_t replyParameter = 0;
        std::vector<uint8_t> replyData;
        size_t replyOffset = 0;

        bool writing = false;
        std::vector<uint8_t> record;
    };

    /// A reply frame and how much later than usual it leaves the device.
    struct Reply
    {
        std::vector<uint8_t> bytes;
        std::chrono::milliseconds delay {0};
    };

    /// The faults a test can arm while the device runs; each acts as its configuration
    /// key does (silentfrom, refuse, corrupt, vanish) at the frame it is armed for.
    enum class Fault { Silence, Refusal, Corruption, Vanish };

    /// The frame size the device falls back to when its configured one leaves no room
    /// for payload.
    static constexpr uint16_t FallbackFrameSize = 100;
    /// The version a successful update leaves behind: the one the editor's own update files
    /// bring, or one more than before on a device already that new, so every update shows.
    static constexpr uint16_t UpdatedFirmwareVersion = 0x0103;

    explicit SimDevice(SimDeviceConfig config);

    /// Handles one complete host frame (as decoded, header to end byte). Returns the
    /// reply, or nothing when the device stays silent.
    std::optional<Reply> handleFrame(const uint8_t* frame, size_t length, Session& session);

    const SimDeviceConfig& config() const { return m_config; }
    /// The device was unplugged (the vanish fault); it hears and says nothing more.
    bool gone() const { return m_gone; }
    uint32_t framesReceived() const { return m_frames; }

    /// Arms `fault` for the `nth` frame from now (1: the next one). Identity requests
    /// after the first frame are not counted: the host's supervision pings fall between
    /// the requests of an operation whenever its idle timer says so, and a test wants to
    /// hit the same frame of the operation on every run. Replaces a fault still armed.
    void armFault(Fault fault, uint32_t nth);
    /// An armed fault has not found its frame yet.
    bool faultArmed() const { return m_armedCountdown != 0; }
    /// Ends every fault, armed or configured: the device answers again and, if it
    /// vanished, is plugged back in. Its memory stays as it is.
    void clearFaults();

    SimFixtureStore& store() { return m_store; }
    const SimFixtureStore& store() const { return m_store; }
    bool patchEmpty() const { return m_patchEmpty; }
    void setPatchEmpty(bool empty) { m_patchEmpty = empty; }
    /// Whether the last firmware update was complete and correct, and what it carried.
    const SimFirmwareUpdate::Outcome& lastFirmwareUpdate() const { return m_firmware.lastUpdate(); }

private:
    struct HostFrame;

    std::optional<std::vector<uint8_t>> execute(const HostFrame& host, Session& session);
    std::vector<uint8_t> request(const HostFrame& host, Session& session);
    std::optional<std::vector<uint8_t>> dataOut(const HostFrame& host, Session& session);
    uint8_t writeChunk(const HostFrame& host, Session& session);
    std::vector<uint8_t> nextPiece(const HostFrame& host, Session& session) const;
    std::vector<uint8_t> identity() const;
    uint16_t largestFrame() const;
    /// Counts an armed fault down on this frame and puts it in place when it is due.
    void countArmedFault(const uint8_t* frame);

    SimDeviceConfig m_config;
    SimFixtureStore m_store;
    SimFirmwareUpdate m_firmware;
    bool m_patchEmpty;
    bool m_gone = false;
    uint32_t m_frames = 0;
    Fault m_armedFault = Fault::Silence;
    uint32_t m_armedCountdown = 0;
    bool m_armedCountingStarted = false;
};

} // namespace korvane::KVP::sim
