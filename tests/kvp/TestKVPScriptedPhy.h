#pragma once

// Test doubles for the protocol core: a byte link that plays a scripted device and a
// clock moved by hand.

#include "KVPClock.h"
#include "KVPFrame.h"
#include "KVPPhy.h"

#include <deque>
#include <vector>

namespace korvane::KVP::Test {

/// A clock that only moves when told to.
class ManualClock : public KVPClock
{
public:
    explicit ManualClock(uint32_t start = 1000) : now(start) { }
    uint32_t nowMs() override { return now; }
    uint32_t now;
};

/// A device at the end of a byte link. Each frame the host writes releases the next
/// scripted reply (an empty reply is silence). A read with nothing to deliver moves
/// the clock on by the phy's read timeout, as a real one would have blocked.
class ScriptedPhy : public KVPPhy
{
public:
    static constexpr uint32_t ReadTimeoutMs = 100;

    explicit ScriptedPhy(ManualClock* clock = nullptr) : clock(clock) { }

    KVPPhyByte readByte() override
    {
        ++reads;
        if (incoming.empty()) {
            if (clock) {
                clock->now += ReadTimeoutMs;
            }
            return {};
        }
        if (clock) {
            clock->now += msPerByte;
        }
        KVPPhyByte byte;
        byte.value = incoming.front();
        byte.empty = false;
        incoming.pop_front();
        return byte;
    }

    void write(const uint8_t* data, uint32_t length) override
    {
        writes.emplace_back(data, data + length);
        if (!replies.empty()) {
            incoming.insert(incoming.end(), replies.front().begin(), replies.front().end());
            replies.pop_front();
        }
    }

    void queueReply(const std::vector<uint8_t>& reply) { replies.push_back(reply); }

    ManualClock* clock;
    /// Time a delivered byte takes, for replies that trickle in.
    uint32_t msPerByte = 0;
    std::deque<std::vector<uint8_t>> replies;
    std::deque<uint8_t> incoming;
    std::vector<std::vector<uint8_t>> writes;
    int reads = 0;
};

/// A frame as the device sends it.
inline std::vector<uint8_t> deviceFrame(
    uint8_t type, uint8_t command, uint16_t parameter, const std::vector<uint8_t>& payload = {}, uint8_t flags = 0)
{
    FrameHeader header;
    header.flags = flags;
    header.type = type;
    header.command = command;
    header.parameter = parameter;
    header.source = Frame::DeviceAddress;
    header.destination = Frame::HostAddress;
    return encodeFrame(header, payload.data(), static_cast<uint16_t>(payload.size()));
}

inline std::vector<uint8_t> statusReply(uint8_t command, uint16_t parameter, uint8_t code)
{
    return deviceFrame(Frame::StatusReply, command, parameter, {code});
}

inline std::vector<uint8_t>
dataReply(uint8_t command, uint16_t parameter, const std::vector<uint8_t>& payload, uint8_t flags = Frame::FlagLast)
{
    return deviceFrame(Frame::DataReply, command, parameter, payload, flags);
}

} // namespace korvane::KVP::Test
