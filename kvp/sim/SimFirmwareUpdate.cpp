#include "SimFirmwareUpdate.h"

#include "KVPFrame.h"
#include "SimProtocol.h"

namespace korvane::KVP::sim {

namespace {

uint32_t readLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16
        | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

uint8_t SimFirmwareUpdate::refuse(uint8_t code)
{
    // A refused update is abandoned; the host starts again from the header.
    m_phase = Phase::Idle;
    return code;
}

uint32_t SimFirmwareUpdate::sectorSize(size_t index) const
{
    return readLe32(m_outcome.header.data() + SectorSizesOffset + 4 * index);
}

uint8_t SimFirmwareUpdate::headerChunk(const uint8_t* data, size_t length, uint8_t flags)
{
    m_finished = false;
    if (flags & Frame::FlagFirst) {
        m_outcome = Outcome();
        m_outcome.started = true;
        m_phase = Phase::Header;
    } else if (m_phase != Phase::Header) {
        return refuse(Refusal::OutOfSequence);
    }
    if (m_outcome.header.size() + length > HeaderLength) {
        return refuse(Refusal::BadLength);
    }
    m_outcome.header.insert(m_outcome.header.end(), data, data + length);
    if (!(flags & Frame::FlagLast)) {
        return 0;
    }
    if (m_outcome.header.size() != HeaderLength) {
        return refuse(Refusal::BadLength);
    }
    m_sectorCount = m_outcome.header[SectorCountOffset];
    if (m_sectorCount > MaxSectors) {
        return refuse(Refusal::BadHeader);
    }
    m_outcome.expectedChecksum = readLe32(m_outcome.header.data() + ChecksumOffset);
    m_sector = 0;
    m_phase = Phase::AwaitSector;
    if (m_sectorCount == 0) {
        finish();
        return m_outcome.checksumOk ? 0 : Refusal::BadChecksum;
    }
    return 0;
}

uint8_t SimFirmwareUpdate::sectorChunk(uint16_t index, const uint8_t* data, size_t length, uint8_t flags)
{
    m_finished = false;
    if (flags & Frame::FlagFirst) {
        if (m_phase != Phase::AwaitSector || index != m_sector) {
            return refuse(Refusal::OutOfSequence);
        }
        m_phase = Phase::Sector;
        m_sectorReceived = 0;
    } else if (m_phase != Phase::Sector || index != m_sector) {
        return refuse(Refusal::OutOfSequence);
    }
    const uint32_t size = sectorSize(m_sector);
    if (m_sectorReceived + length > size) {
        return refuse(Refusal::BadLength);
    }
    m_outcome.image.insert(m_outcome.image.end(), data, data + length);
    m_sectorReceived += length;
    if (!(flags & Frame::FlagLast)) {
        return 0;
    }
    if (m_sectorReceived != size) {
        return refuse(Refusal::BadLength);
    }
    m_phase = Phase::AwaitSector;
    if (++m_sector < m_sectorCount) {
        return 0;
    }
    finish();
    // A device that flashed a damaged image would not start again; it refuses instead.
    return m_outcome.checksumOk ? 0 : Refusal::BadChecksum;
}

void SimFirmwareUpdate::finish()
{
    uint32_t sum = 0;
    for (uint8_t byte : m_outcome.image) {
        sum += byte;
    }
    m_outcome.receivedChecksum = sum;
    m_outcome.checksumOk = sum == m_outcome.expectedChecksum;
    m_outcome.complete = true;
    m_phase = Phase::Idle;
    m_finished = true;
}

} // namespace korvane::KVP::sim
