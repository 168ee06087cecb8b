#include "SimDevice.h"

#include "KVPFrame.h"
#include "SimProtocol.h"
#include "SimSampleRecords.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace korvane::KVP::sim {

namespace {

constexpr size_t IdentityLength = 50;
constexpr size_t IdentityHardwareOffset = 2;
constexpr size_t IdentityFirmwareOffset = 4;
constexpr size_t IdentityModelOffset = 6;
constexpr size_t IdentityFrameSizeOffset = 46;
constexpr uint8_t BothFlags = Frame::FlagFirst | Frame::FlagLast;
/// Flipping every bit of a byte guarantees that the frame's checksums no longer hold.
constexpr uint8_t CorruptionMask = 0xFF;

void putLe16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>(value >> 8);
}

} // namespace

struct SimDevice::HostFrame
{
    uint8_t flags;
    uint8_t type;
    uint8_t command;
    uint16_t parameter;
    uint8_t sequence;
    const uint8_t* payload;
    size_t payloadLength;
    size_t frameLength;

    /// A reply that echoes this frame's command, parameter and sequence number.
    std::vector<uint8_t> reply(uint8_t replyType, uint8_t replyFlags, const uint8_t* data, size_t length) const
    {
        FrameHeader header;
        header.flags = replyFlags;
        header.type = replyType;
        header.command = command;
        header.parameter = parameter;
        header.sequence = sequence;
        header.source = Frame::DeviceAddress;
        header.destination = Frame::HostAddress;
        return encodeFrame(header, data, static_cast<uint16_t>(length));
    }

    std::vector<uint8_t> status(uint8_t code) const { return reply(Frame::StatusReply, BothFlags, &code, 1); }
};

SimDevice::SimDevice(SimDeviceConfig config)
    : m_config(std::move(config)), m_store(m_config.slotCount), m_patchEmpty(m_config.patchEmpty)
{
    for (unsigned i = 0; i < m_config.records; ++i) {
        m_store.store(makeSampleRecord(i));
    }
}

uint16_t SimDevice::largestFrame() const
{
    return m_config.frameSize > Frame::Overhead ? m_config.frameSize : FallbackFrameSize;
}

std::optional<SimDevice::Reply> SimDevice::handleFrame(const uint8_t* frame, size_t length, Session& session)
{
    if (m_gone || length < Frame::Overhead) {
        return std::nullopt;
    }
    ++m_frames;
    countArmedFault(frame);
    const SimFaults& faults = m_config.faults;
    if (faults.vanishAt != 0 && m_frames >= faults.vanishAt) {
        m_gone = true;
        return std::nullopt;
    }
    if (faults.silentFrom != 0 && m_frames >= faults.silentFrom) {
        return std::nullopt;
    }
    const HostFrame host {frame[Frame::FlagsOffset],
                          frame[Frame::TypeOffset],
                          frame[Frame::CommandOffset],
                          readLe16(frame + Frame::ParameterOffset),
                          frame[Frame::SequenceOffset],
                          frame + Frame::HeaderLength,
                          length - Frame::Overhead,
                          length};
    if (m_frames == faults.refuseAt) {
        // Refused before the device acts on it, so a refused chunk is not stored.
        return Reply {host.status(faults.refuseCode)};
    }
    std::optional<std::vector<uint8_t>> bytes = execute(host, session);
    if (!bytes) {
        return std::nullopt;
    }
    Reply reply {std::move(*bytes)};
    if (m_frames == faults.corruptAt) {
        reply.bytes[reply.bytes.size() / 2] ^= CorruptionMask;
    }
    if (m_frames == faults.dropAt) {
        reply.bytes.resize(reply.bytes.size() - std::min<size_t>(faults.dropCount, reply.bytes.size()));
    }
    if (m_frames == faults.lateAt) {
        reply.delay = faults.lateBy;
    }
    return reply;
}

void SimDevice::armFault(Fault fault, uint32_t nth)
{
    m_armedFault = fault;
    m_armedCountdown = nth;
    m_armedCountingStarted = false;
}

void SimDevice::clearFaults()
{
    m_config.faults = SimFaults();
    m_gone = false;
    m_armedCountdown = 0;
}

void SimDevice::countArmedFault(const uint8_t* frame)
{
    if (m_armedCountdown == 0) {
        return;
    }
    const bool ping = frame[Frame::TypeOffset] == Frame::Request && frame[Frame::CommandOffset] == Command::Identify;
    if (ping && m_armedCountingStarted) {
        return;
    }
    m_armedCountingStarted = true;
    if (--m_armedCountdown != 0) {
        return;
    }
    // In the order of Fault.
    static constexpr uint32_t SimFaults::*FrameOf[]
        = {&SimFaults::silentFrom, &SimFaults::refuseAt, &SimFaults::corruptAt, &SimFaults::vanishAt};
    m_config.faults.*FrameOf[static_cast<size_t>(m_armedFault)] = m_frames;
}

std::optional<std::vector<uint8_t>> SimDevice::execute(const HostFrame& host, Session& session)
{
    // The receive buffer of the device holds its largest frame and no more.
    if (host.frameLength > largestFrame()) {
        session.writing = false;
        return host.status(Refusal::FrameTooLong);
    }
    switch (host.type) {
        case Frame::Request:
            return request(host, session);
        case Frame::DataOut:
            return dataOut(host, session);
        default:
            return host.status(Refusal::UnknownCommand);
    }
}

std::vector<uint8_t> SimDevice::request(const HostFrame& host, Session& session)
{
    switch (host.command) {
        case Command::Identify: {
            const std::vector<uint8_t> payload = identity();
            return host.reply(Frame::DataReply, BothFlags, payload.data(), payload.size());
        }
        case Command::MemoryState: {
            const uint8_t payload[2]
                = {static_cast<uint8_t>(m_store.freeSlots()), static_cast<uint8_t>(m_patchEmpty ? 0x01 : 0x00)};
            return host.reply(Frame::DataReply, BothFlags, payload, sizeof payload);
        }
        case Command::FixtureDelete:
            if (host.parameter > 0xFF || !m_store.remove(static_cast<uint8_t>(host.parameter))) {
                return host.status(Refusal::UnknownRecord);
            }
            return host.reply(Frame::DataReply, BothFlags, nullptr, 0);
        case Command::FixtureList:
        case Command::FixtureRecord: {
            // The host asks again for each piece; only its first request carries the
            // first flag. A request that does not continue the current read starts anew.
            const bool continuing = session.replying && !(host.flags & Frame::FlagFirst)
                && session.replyCommand == host.command && session.replyParameter == host.parameter;
            if (!continuing) {
                std::optional<std::vector<uint8_t>> data;
                if (host.command == Command::FixtureList) {
                    data = m_store.listPayload();
                } else if (host.parameter <= 0xFF) {
                    data = m_store.readPayload(static_cast<uint8_t>(host.parameter));
                }
                if (!data) {
                    session.replying = false;
                    return host.status(Refusal::UnknownRecord);
                }
                session.replying = true;
                session.replyCommand = host.command;
                session.replyParameter = host.parameter;
                session.replyData = std::move(*data);
                session.replyOffset = 0;
            }
            return nextPiece(host, session);
        }
        default:
            return host.status(Refusal::UnknownCommand);
    }
}

std::vector<uint8_t> SimDevice::nextPiece(const HostFrame& host, Session& session) const
{
    const size_t limit = largestFrame() - Frame::Overhead;
    const size_t offset = session.replyOffset;
    const size_t length = std::min(limit, session.replyData.size() - offset);
    const bool last = offset + length == session.replyData.size();
    const uint8_t flags = (offset == 0 ? Frame::FlagFirst : 0) | (last ? Frame::FlagLast : 0);
    std::vector<uint8_t> bytes = host.reply(Frame::DataReply, flags, session.replyData.data() + offset, length);
    session.replyOffset += length;
    if (last) {
        session.replying = false;
        session.replyData.clear();
    }
    return bytes;
}

std::optional<std::vector<uint8_t>> SimDevice::dataOut(const HostFrame& host, Session& session)
{
    switch (host.command) {
        case Command::FixtureRecord:
            return host.status(writeChunk(host, session));
        case Command::ClearPatch:
            m_patchEmpty = true;
            return host.status(0);
        case Command::FirmwareHeader:
        case Command::FirmwareSector: {
            const uint8_t code = host.command == Command::FirmwareHeader
                ? m_firmware.headerChunk(host.payload, host.payloadLength, host.flags)
                : m_firmware.sectorChunk(host.parameter, host.payload, host.payloadLength, host.flags);
            if (code == 0 && m_firmware.finishedUpdate()) {
                // The new firmware says so in the identity, which is how the host sees the update took.
                m_config.firmwareVersion = static_cast<uint16_t>(
                    std::clamp<int>(m_config.firmwareVersion + 1, UpdatedFirmwareVersion, UINT16_MAX));
                // A device that has just taken its new firmware restarts instead of answering.
                if (m_config.faults.dropLastFirmwareAck) {
                    return std::nullopt;
                }
            }
            return host.status(code);
        }
        default:
            return host.status(Refusal::UnknownCommand);
    }
}

uint8_t SimDevice::writeChunk(const HostFrame& host, Session& session)
{
    if (host.flags & Frame::FlagFirst) {
        session.record.clear();
        session.writing = true;
        // A full device says so at once instead of taking 5 KB it cannot keep.
        if (m_store.freeSlots() == 0) {
            session.writing = false;
            return Refusal::MemoryFull;
        }
    } else if (!session.writing) {
        return Refusal::OutOfSequence;
    }
    if (session.record.size() + host.payloadLength > Record::Length) {
        session.writing = false;
        return Refusal::BadLength;
    }
    session.record.insert(session.record.end(), host.payload, host.payload + host.payloadLength);
    if (!(host.flags & Frame::FlagLast)) {
        return 0;
    }
    session.writing = false;
    if (session.record.size() != Record::Length) {
        return Refusal::BadLength;
    }
    return m_store.store(std::move(session.record)) ? 0 : Refusal::MemoryFull;
}

std::vector<uint8_t> SimDevice::identity() const
{
    std::vector<uint8_t> payload(IdentityLength, 0);
    putLe16(payload.data() + IdentityHardwareOffset, m_config.hardwareVersion);
    putLe16(payload.data() + IdentityFirmwareOffset, m_config.firmwareVersion);
    std::memcpy(
        payload.data() + IdentityModelOffset, m_config.model.data(), std::min(m_config.model.size(), MaxModelLength));
    // The configured value goes out as it is, also one too small to be usable, so that
    // hosts can be tried against it.
    putLe16(payload.data() + IdentityFrameSizeOffset, m_config.frameSize);
    return payload;
}

} // namespace korvane::KVP::sim
