#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane::KVP::sim {

/// The device side of a firmware update: the 256-byte header block (command 0x03),
/// then each sector in turn (command 0x04, parameter = sector index), each arriving
/// as a chunked transfer. The device keeps the header, gathers the sector bytes and,
/// at the end of the last sector, checks them against the header's checksum.
///
/// The device does not look at the model name in the header: that the file fits the
/// device is for the host to check before it starts.
class SimFirmwareUpdate
{
public:
    static constexpr size_t HeaderLength = 256;
    static constexpr size_t SectorCountOffset = 46;
    static constexpr size_t SectorSizesOffset = 68;
    static constexpr size_t ChecksumOffset = 100;
    static constexpr size_t MaxSectors = 8;

    /// What became of the most recent update the device saw.
    struct Outcome
    {
        bool started = false; ///< a header transfer began
        bool complete = false; ///< the header and every sector arrived whole
        bool checksumOk = false;
        uint32_t expectedChecksum = 0;
        uint32_t receivedChecksum = 0;
        std::vector<uint8_t> header;
        std::vector<uint8_t> image; ///< the sectors back to back

        bool succeeded() const { return complete && checksumOk; }
    };

    /// One chunk of the header transfer; returns 0 when accepted, else a refusal code.
    uint8_t headerChunk(const uint8_t* data, size_t length, uint8_t flags);
    /// One chunk of sector `index`; returns 0 when accepted, else a refusal code.
    uint8_t sectorChunk(uint16_t index, const uint8_t* data, size_t length, uint8_t flags);

    /// Whether the chunk just handled was the very last frame of the update.
    bool finishedUpdate() const { return m_finished; }
    const Outcome& lastUpdate() const { return m_outcome; }

private:
    enum class Phase { Idle, Header, AwaitSector, Sector };

    uint8_t refuse(uint8_t code);
    void finish();
    uint32_t sectorSize(size_t index) const;

    Phase m_phase = Phase::Idle;
    Outcome m_outcome;
    size_t m_sectorCount = 0;
    size_t m_sector = 0; ///< the sector being received or expected next
    size_t m_sectorReceived = 0; ///< bytes of that sector so far
    bool m_finished = false;
};

} // namespace korvane::KVP::sim
