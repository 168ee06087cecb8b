#pragma once

// Frame builders and splitter, a clock moved by hand, a link on a byte link playing a scripted device.

#include "KVPClock.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPPhy.h"

#include <QByteArray>

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace korvane::KVP::Test {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t BothFlags = Frame::FlagFirst | Frame::FlagLast;

inline QByteArray hex(const Bytes& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()), int(data.size())).toHex(' ').toUpper();
}

inline Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

/// Bytes that differ from their neighbours and do not repeat every 256.
inline Bytes pattern(size_t length)
{
    Bytes data(length);
    for (size_t i = 0; i < length; ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    return data;
}

/// A frame from the host; `seq` is the count of frames the link sent before.
inline Bytes
hostFrame(uint8_t type, uint8_t cmd, uint16_t param, const Bytes& payload = {}, uint8_t flags = 0, uint8_t seq = 0)
{
    return encodeFrame({flags, type, cmd, param, seq}, payload.data(), static_cast<uint16_t>(payload.size()));
}

inline Bytes requestFrame(uint8_t cmd, uint16_t param = 0, uint8_t flags = Frame::FlagFirst, uint8_t seq = 0)
{
    return hostFrame(Frame::Request, cmd, param, {}, flags, seq);
}

/// A frame from the device: the addresses swap, the checksum stays.
inline Bytes deviceFrame(uint8_t type, uint8_t cmd, uint16_t param, const Bytes& payload = {}, uint8_t flags = 0)
{
    Bytes frame = hostFrame(type, cmd, param, payload, flags);
    std::swap(frame[1], frame[2]);
    return frame;
}

inline Bytes statusReply(uint8_t command, uint16_t parameter, uint8_t code)
{
    return deviceFrame(Frame::StatusReply, command, parameter, {code}, BothFlags);
}

inline Bytes dataReply(uint8_t command, uint16_t parameter, const Bytes& payload, uint8_t flags = Frame::FlagLast)
{
    return deviceFrame(Frame::DataReply, command, parameter, payload, flags);
}

inline Bytes identityBlock(uint16_t largestFrame, const std::string& model, uint16_t hardware, uint16_t firmware)
{
    Bytes block {0, 0, uint8_t(hardware), uint8_t(hardware >> 8), uint8_t(firmware), uint8_t(firmware >> 8)};
    block.insert(block.end(), model.begin(), model.begin() + std::min<size_t>(model.size(), 40));
    block.resize(46);
    block.insert(block.end(), {uint8_t(largestFrame), uint8_t(largestFrame >> 8), 0, 0});
    return block;
}

inline const Bytes Ping = requestFrame(Command::Identify, 0, BothFlags);

struct ReplyFrame
{
    uint8_t flags = 0, type = 0, command = 0;
    uint16_t parameter = 0;
    Bytes payload, bytes;
    bool isStatus(uint8_t code) const { return type == Frame::StatusReply && payload == Bytes {code}; }
    bool isLast() const { return flags & Frame::FlagLast; }
};

inline std::vector<ReplyFrame> decodeFrames(const Bytes& bytes)
{
    std::vector<ReplyFrame> frames;
    Bytes buffer(0x10000 + Frame::Overhead);
    KVPFrameDecoder decoder(buffer.data(), buffer.size());
    decoder.start();
    for (uint8_t byte : bytes) {
        if (decoder.feed(byte)) {
            const uint8_t* f = decoder.frame();
            frames.push_back({f[Frame::FlagsOffset],
                              f[Frame::TypeOffset],
                              f[Frame::CommandOffset],
                              readLe16(f + Frame::ParameterOffset),
                              Bytes(f + Frame::HeaderLength, f + decoder.length() - 2),
                              Bytes(f, f + decoder.length())});
            decoder.start();
        }
    }
    return frames;
}

class ManualClock : public KVPClock
{
public:
    explicit ManualClock(uint32_t start) : now(start) { }
    uint32_t nowMs() override { return now; }
    uint32_t now;
};

/// A device at the end of a byte link. Each frame the host writes releases the next
/// scripted reply (an empty reply is silence). A read moves the clock on by the phy's
/// read timeout when nothing comes, as a real one would have blocked, else by `msPerByte`.
class ScriptedPhy : public KVPPhy
{
public:
    static constexpr uint32_t ReadTimeoutMs = 100;

    KVPPhyByte readByte() override
    {
        ++reads;
        clock->now += incoming.empty() ? ReadTimeoutMs : msPerByte;
        KVPPhyByte byte;
        if (!incoming.empty()) {
            byte = {incoming.front(), false};
            incoming.pop_front();
        }
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

    ManualClock* clock = nullptr;
    uint32_t msPerByte = 0;
    std::deque<Bytes> replies;
    std::deque<uint8_t> incoming;
    std::vector<Bytes> writes;
    int reads = 0;
};

struct LinkRig
{
    explicit LinkRig(uint16_t rxCapacity = 10000, uint32_t clockStart = 1000)
    {
        auto clock = std::make_unique<ManualClock>(clockStart);
        phy.clock = clock.get();
        link = std::make_unique<KVPLink>(&phy, rxCapacity, std::move(clock));
    }
    ScriptedPhy phy;
    std::unique_ptr<KVPLink> link;
};

} // namespace korvane::KVP::Test
