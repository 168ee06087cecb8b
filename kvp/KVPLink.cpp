#include "KVPLink.h"

#include "KVPDeviceIdentity.h"
#include "KVPPhy.h"
#include "KVPProgressObserverI.h"

#include <algorithm>

namespace korvane::KVP {

namespace {

constexpr uint8_t FlagsSingle = Frame::FlagFirst | Frame::FlagLast;
/// An identity reply: the frame overhead around the 50-byte identity.
constexpr size_t IdentityReplyLength = Frame::Overhead + KVPDeviceIdentity::Length;
/// Offset of a status reply's code, the first payload byte.
constexpr size_t StatusCodeOffset = Frame::HeaderLength;

} // namespace

KVPLink::KVPLink(KVPPhy* phy, uint16_t rxCapacity, std::unique_ptr<KVPClock> clock)
    : m_phy(phy)
    , m_clock(clock ? std::move(clock) : std::make_unique<KVPSteadyClock>())
    , m_rxBuffer(rxCapacity)
    , m_decoder(m_rxBuffer.data(), m_rxBuffer.size())
{
}

KVPLink::~KVPLink() = default;

void KVPLink::addObserver(KVPProgressObserverI* observer)
{
    m_observers.push_back(observer);
}

void KVPLink::removeObserver(KVPProgressObserverI* observer)
{
    const auto it = std::find(m_observers.begin(), m_observers.end(), observer);
    if (it != m_observers.end()) {
        m_observers.erase(it);
    }
}

size_t KVPLink::buildFrame(uint8_t* out,
                           uint8_t flags,
                           uint8_t type,
                           uint8_t command,
                           uint16_t parameter,
                           const uint8_t* payload,
                           uint16_t payloadLength)
{
    FrameHeader header;
    header.flags = flags;
    header.type = type;
    header.command = command;
    header.parameter = parameter;
    header.sequence = m_sequence++;
    return encodeFrame(out, header, payload, payloadLength);
}

size_t KVPLink::buildRequest(uint8_t* out, uint8_t flags, uint8_t command, uint16_t parameter)
{
    return buildFrame(out, flags, Frame::Request, command, parameter, nullptr, 0);
}

size_t KVPLink::exchange(const uint8_t* frame, size_t length)
{
    // Input is not flushed first: what an earlier, timed-out exchange left behind is
    // decoded like new bytes, and a late reply echoing the same request counts for this one.
    m_decoder.start();
    if (m_phy) {
        m_phy->write(frame, static_cast<uint32_t>(length));
    }
    // The budget covers the whole reply, not each byte. Every readByte returns within
    // the phy's read timeout, so the clock is looked at often enough.
    const uint32_t started = m_clock->nowMs();
    for (;;) {
        const KVPPhyByte byte = m_phy ? m_phy->readByte() : KVPPhyByte();
        if (!byte.empty && m_decoder.feed(byte.value)) {
            // A frame larger than the receive buffer was kept only in part; its tail,
            // payload checksum included, is missing, so it cannot be taken as a reply.
            return m_decoder.frameLength() == m_decoder.length() ? m_decoder.length() : 0;
        }
        if (static_cast<uint32_t>(m_clock->nowMs() - started) > m_replyTimeoutMs) {
            m_decoder.stop();
            return 0;
        }
    }
}

KVPLink::Evaluation KVPLink::evaluateRequestReply(size_t replyLength, uint8_t command, uint16_t parameter) const
{
    Evaluation result;
    if (replyLength < Frame::Overhead) {
        return result;
    }
    const uint8_t* reply = m_rxBuffer.data();
    if (reply[Frame::CommandOffset] != command || readLe16(reply + Frame::ParameterOffset) != parameter) {
        return result;
    }
    switch (reply[Frame::TypeOffset]) {
        case Frame::DataReply:
            result.status = StatusOk;
            break;
        case Frame::StatusReply:
            // A status reply without its code byte is malformed, not an acknowledgement.
            if (replyLength >= Frame::StatusReplyLength) {
                result.code = reply[StatusCodeOffset];
                result.status = result.code == 0 ? StatusAcknowledged : StatusRefused;
            }
            break;
        default:
            break;
    }
    return result;
}

KVPLink::Evaluation KVPLink::evaluateDataOutReply(size_t replyLength, uint8_t command, uint16_t parameter) const
{
    Evaluation result;
    // Only a status reply of exactly one code byte acknowledges a chunk; anything longer
    // is some other answer and must not be read as success.
    if (replyLength != Frame::StatusReplyLength) {
        return result;
    }
    const uint8_t* reply = m_rxBuffer.data();
    if (reply[Frame::CommandOffset] != command || readLe16(reply + Frame::ParameterOffset) != parameter
        || reply[Frame::TypeOffset] != Frame::StatusReply) {
        return result;
    }
    result.code = reply[StatusCodeOffset];
    result.status = result.code == 0 ? StatusOk : StatusRefused;
    return result;
}

std::vector<uint8_t> KVPLink::replyPayload(size_t replyLength) const
{
    if (replyLength <= Frame::Overhead) {
        return {};
    }
    const auto begin = m_rxBuffer.begin() + static_cast<std::ptrdiff_t>(Frame::HeaderLength);
    return std::vector<uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(replyLength - Frame::Overhead));
}

KVPReply KVPLink::ping()
{
    uint8_t frame[Frame::Overhead];
    const size_t frameLength = buildRequest(frame, FlagsSingle, Command::Identify, 0);
    const size_t replyLength = exchange(frame, frameLength);

    const Evaluation evaluation = evaluateRequestReply(replyLength, Command::Identify, 0);
    KVPReply reply;
    reply.status = evaluation.status;
    reply.code = evaluation.code;
    if (evaluation.status != StatusOk || replyLength != IdentityReplyLength) {
        return reply;
    }
    reply.data = replyPayload(replyLength);
    reply.length = static_cast<uint32_t>(reply.data.size());
    const auto identity = KVPDeviceIdentity::fromBytes(reply.data.data(), reply.data.size());
    // A frame size that leaves no room for payload would stall every transfer; such a
    // device keeps the size we had.
    if (identity && identity->largestFrame > Frame::Overhead) {
        m_maxFrameSize = identity->largestFrame;
    }
    return reply;
}

KVPSendResult KVPLink::sendData(const uint8_t* data, uint32_t length, uint8_t command, uint16_t parameter)
{
    KVPSendResult result;
    if (!data && length > 0) {
        return result;
    }
    std::vector<uint8_t> frame(m_maxFrameSize);
    const uint32_t chunkLimit = m_maxFrameSize - Frame::Overhead;
    uint32_t remaining = length;
    bool first = true;
    // An empty transfer still goes out: one frame, no payload, first and last at once.
    do {
        const uint32_t chunk = std::min(remaining, chunkLimit);
        const uint8_t* payload = data ? data + (length - remaining) : nullptr;
        remaining -= chunk;
        result.bytesSent += chunk;
        const uint8_t flags
            = static_cast<uint8_t>((first ? Frame::FlagFirst : 0) | (remaining == 0 ? Frame::FlagLast : 0));
        const size_t frameLength = buildFrame(
            frame.data(), flags, Frame::DataOut, command, parameter, payload, static_cast<uint16_t>(chunk));
        const size_t replyLength = exchange(frame.data(), frameLength);
        const Evaluation evaluation = evaluateDataOutReply(replyLength, command, parameter);
        result.status = evaluation.status;
        result.code = evaluation.code;
        for (KVPProgressObserverI* observer : std::vector<KVPProgressObserverI*>(m_observers)) {
            observer->bytesSent(result.bytesSent);
        }
        first = false;
    } while (remaining > 0 && result.status == StatusOk);
    return result;
}

KVPReply KVPLink::request(uint8_t command, uint16_t parameter)
{
    uint8_t frame[Frame::Overhead];
    const size_t frameLength = buildRequest(frame, Frame::FlagFirst, command, parameter);
    const size_t replyLength = exchange(frame, frameLength);

    const Evaluation evaluation = evaluateRequestReply(replyLength, command, parameter);
    KVPReply reply;
    reply.status = evaluation.status;
    reply.code = evaluation.code;
    if (reply.status == StatusOk) {
        reply.data = replyPayload(replyLength);
        reply.length = static_cast<uint32_t>(reply.data.size());
    }
    return reply;
}

KVPReply KVPLink::requestMulti(uint8_t command, uint16_t parameter)
{
    KVPReply reply;
    std::vector<uint8_t> collected;
    bool first = true;
    for (;;) {
        uint8_t frame[Frame::Overhead];
        const size_t frameLength = buildRequest(frame, first ? Frame::FlagFirst : 0, command, parameter);
        const size_t replyLength = exchange(frame, frameLength);

        const Evaluation evaluation = evaluateRequestReply(replyLength, command, parameter);
        reply.status = evaluation.status;
        reply.code = evaluation.code;
        if (replyLength == 0 || reply.status != StatusOk) {
            break;
        }
        const std::vector<uint8_t> payload = replyPayload(replyLength);
        collected.insert(collected.end(), payload.begin(), payload.end());
        for (KVPProgressObserverI* observer : std::vector<KVPProgressObserverI*>(m_observers)) {
            observer->bytesReceived(static_cast<uint32_t>(collected.size()));
        }
        if (m_rxBuffer[Frame::FlagsOffset] & Frame::FlagLast) {
            break;
        }
        first = false;
    }
    if (reply.status == StatusOk) {
        reply.data = std::move(collected);
        reply.length = static_cast<uint32_t>(reply.data.size());
    }
    return reply;
}

} // namespace korvane::KVP
