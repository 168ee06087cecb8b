#pragma once

// A host for the simulated-device tests: it sends frames as the protocol core does and
// reads replies through the device core with test-chosen times, or through a backend.

#include "SimConnection.h"
#include "SimProtocol.h"
#include "TestKVPScriptedPhy.h"

#include <QString>
#include <QtEndian>

#include <cstring>
#include <optional>

namespace korvane::KVP::Test {

inline std::vector<Bytes> dataOutFrames(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize)
{
    std::vector<Bytes> frames;
    for (size_t offset = 0; offset == 0 || offset < data.size();) {
        const size_t length = std::min(frameSize - Frame::Overhead, data.size() - offset);
        const uint8_t flags = static_cast<uint8_t>((offset == 0 ? Frame::FlagFirst : 0)
                                                   | (offset + length == data.size() ? Frame::FlagLast : 0));
        frames.push_back(hostFrame(
            Frame::DataOut, command, parameter, Bytes(data.begin() + offset, data.begin() + offset + length), flags));
        offset += std::max<size_t>(length, 1);
    }
    return frames;
}

inline Bytes fixtureRecord(const char* name, uint8_t channels)
{
    Bytes record = pattern(sim::Record::Length);
    std::fill(record.begin(), record.begin() + sim::Record::HeaderLength, 0);
    std::memcpy(record.data(), name, std::strlen(name));
    record[sim::Record::ChannelCountOffset] = channels;
    record[sim::Record::TypeOffset] = 3;
    return record;
}

inline std::optional<ReplyFrame> firstFrame(const Bytes& bytes)
{
    const auto frames = decodeFrames(bytes);
    return frames.empty() ? std::nullopt : std::optional<ReplyFrame>(frames.front());
}

class TestHost
{
public:
    virtual ~TestHost() = default;
    virtual void send(const Bytes& bytes) = 0;
    virtual std::optional<ReplyFrame> receive() = 0;

    std::optional<ReplyFrame> exchange(const Bytes& frame) { return send(frame), receive(); }

    std::optional<Bytes> requestMulti(uint8_t command, uint16_t parameter)
    {
        Bytes joined;
        for (bool first = true;; first = false) {
            const auto reply = exchange(requestFrame(command, parameter, first ? Frame::FlagFirst : 0));
            if (!reply || reply->type != Frame::DataReply) {
                return std::nullopt;
            }
            joined.insert(joined.end(), reply->payload.begin(), reply->payload.end());
            if (reply->isLast()) {
                return joined;
            }
        }
    }

    /// Sends a transfer frame by frame; the first non-zero status code, 0 when every frame
    /// was accepted, nothing when a frame got no status reply.
    std::optional<uint8_t> sendData(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize)
    {
        for (const Bytes& frame : dataOutFrames(command, parameter, data, frameSize)) {
            const auto reply = exchange(frame);
            if (!reply || reply->type != Frame::StatusReply || reply->payload.size() != 1) {
                return std::nullopt;
            }
            if (reply->payload[0] != 0) {
                return reply->payload[0];
            }
        }
        return uint8_t(0);
    }
};

class CoreHost : public TestHost
{
public:
    explicit CoreHost(sim::SimConnection& connection) : m_connection(connection) { }
    void send(const Bytes& bytes) override { m_connection.receive(bytes.data(), bytes.size(), now); }
    std::optional<ReplyFrame> receive() override
    {
        now += std::chrono::seconds(3);
        lastBytes.resize(m_connection.available(now));
        m_connection.read(lastBytes.data(), lastBytes.size(), now);
        return firstFrame(lastBytes);
    }
    sim::TimePoint now;
    Bytes lastBytes;

private:
    sim::SimConnection& m_connection;
};

/// A device with settings as KVP_SIM_DEVICES spells them, one connection to it and a host on it.
struct CoreRig
{
    static sim::SimDeviceConfig config(const QString& settings)
    {
        sim::SimDeviceConfig config;
        std::string error;
        if (!sim::parseSimDeviceConfig(settings.toStdString(), config, error)) {
            qFatal("bad device settings '%s': %s", qPrintable(settings), error.c_str());
        }
        return config;
    }
    explicit CoreRig(const QString& settings) : device(config(settings)), connection(device), host(connection) { }
    sim::SimDevice device;
    sim::SimConnection connection;
    CoreHost host;
};

} // namespace korvane::KVP::Test
