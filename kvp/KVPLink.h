#pragma once

#include "KVPClock.h"
#include "KVPFrame.h"
#include "KVPTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace korvane::KVP {

class KVPPhy;
class KVPProgressObserverI;

/// Speaks KVP with one device over a physical link. The host always leads: it sends one
/// frame and waits for exactly one reply frame before it sends the next. Every
/// operation blocks until its exchange, or its whole transfer, is over.
///
/// A link and its phy are used by one thread (the worker thread).
class KVPLink
{
public:
    /// How long a device has for a whole reply frame.
    static constexpr uint32_t ReplyTimeoutMs = 2000;
    /// The frame size a device is assumed to take until it has told its own.
    static constexpr uint16_t DefaultMaxFrameSize = 100;

    /// `phy` is not owned and must outlive the link. Replies longer than `rxCapacity`
    /// bytes are not accepted. Without a clock the link uses a monotonic one.
    KVPLink(KVPPhy* phy, uint16_t rxCapacity, std::unique_ptr<KVPClock> clock = nullptr);
    KVPLink(const KVPLink&) = delete;
    KVPLink& operator=(const KVPLink&) = delete;
    ~KVPLink();

    /// Asks the device for its identity (command 0x01). On a full identity reply the
    /// 50 identity bytes are the data, and the device's largest frame becomes the
    /// frame size of later transfers.
    KVPReply ping();
    /// Sends `length` bytes in as many data-out frames as the frame size needs; stops at
    /// the first chunk that is not accepted.
    KVPSendResult sendData(const uint8_t* data, uint32_t length, uint8_t command, uint16_t parameter);
    /// One request; on success the data is the reply's payload.
    KVPReply request(uint8_t command, uint16_t parameter);
    /// Repeats a request until the device marks a reply as the last one; the data is
    /// the payloads joined. Anything but success discards what was collected.
    KVPReply requestMulti(uint8_t command, uint16_t parameter);

    /// Observers are not owned; one added twice is told twice.
    void addObserver(KVPProgressObserverI* observer);
    /// Removes the first entry of `observer`, if any.
    void removeObserver(KVPProgressObserverI* observer);

    /// How long this link waits for a reply; ReplyTimeoutMs unless set otherwise. Tests
    /// shorten it so that a silent device costs them a fraction of a second per frame.
    uint32_t replyTimeoutMs() const { return m_replyTimeoutMs; }
    void setReplyTimeoutMs(uint32_t timeoutMs) { m_replyTimeoutMs = timeoutMs; }

    uint16_t maxFrameSize() const { return m_maxFrameSize; }
    /// The sequence number the next frame will carry.
    uint8_t sequence() const { return m_sequence; }

private:
    struct Evaluation
    {
        KVPStatus status = StatusNoValidReply;
        uint8_t code = 0;
    };

    /// Sends one frame and waits for one reply. Returns the reply's length in the
    /// receive buffer, or 0 when none came in time or it did not fit.
    size_t exchange(const uint8_t* frame, size_t length);
    /// Builds a frame with the next sequence number into `out`; returns its length.
    size_t buildFrame(uint8_t* out,
                      uint8_t flags,
                      uint8_t type,
                      uint8_t command,
                      uint16_t parameter,
                      const uint8_t* payload,
                      uint16_t payloadLength);
    size_t buildRequest(uint8_t* out, uint8_t flags, uint8_t command, uint16_t parameter);
    Evaluation evaluateRequestReply(size_t replyLength, uint8_t command, uint16_t parameter) const;
    Evaluation evaluateDataOutReply(size_t replyLength, uint8_t command, uint16_t parameter) const;
    /// The reply's payload: the bytes between its header and its payload checksum.
    std::vector<uint8_t> replyPayload(size_t replyLength) const;

    KVPPhy* m_phy;
    std::unique_ptr<KVPClock> m_clock;
    std::vector<uint8_t> m_rxBuffer;
    KVPFrameDecoder m_decoder;
    uint8_t m_sequence = 0;
    uint16_t m_maxFrameSize = DefaultMaxFrameSize;
    uint32_t m_replyTimeoutMs = ReplyTimeoutMs;
    std::vector<KVPProgressObserverI*> m_observers;
};

} // namespace korvane::KVP
