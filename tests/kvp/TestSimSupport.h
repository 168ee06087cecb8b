#pragma once

// A small host for the simulated-device tests: it builds frames as the protocol core
// does and reads replies through the device core with test-chosen times, or through
// the D2XX functions of a backend.

#include "D2xx.h"
#include "KVPFrame.h"
#include "SimConnection.h"

#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

using Bytes = std::vector<uint8_t>;

/// One reply frame, taken apart.
struct ReplyFrame
{
    uint8_t flags = 0;
    uint8_t type = 0;
    uint8_t command = 0;
    uint16_t parameter = 0;
    Bytes payload;
    Bytes bytes; ///< the whole frame as it came

    bool isStatus(uint8_t code) const
    {
        return type == korvane::KVP::Frame::StatusReply && payload.size() == 1 && payload[0] == code;
    }
    bool isLast() const { return flags & korvane::KVP::Frame::FlagLast; }
};

/// Every complete frame in `bytes`, in order.
std::vector<ReplyFrame> decodeFrames(const Bytes& bytes);

Bytes requestFrame(uint8_t command, uint16_t parameter = 0, uint8_t flags = korvane::KVP::Frame::FlagFirst);
Bytes dataOutFrame(uint8_t command, uint16_t parameter, uint8_t flags, const Bytes& payload);
/// A transfer cut into frames of at most `frameSize` bytes, flagged as the host does.
std::vector<Bytes> dataOutFrames(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize);

/// A 5284-byte record with a name and `channels` channels.
Bytes fixtureRecord(const char* name, uint8_t channels);
/// A 256-byte firmware header for these sector sizes and checksum, and its image.
Bytes firmwareHeader(const std::vector<uint32_t>& sectorSizes, uint32_t checksum);

/// What a test does to a device, whatever stands between.
class TestHost
{
public:
    virtual ~TestHost() = default;

    /// Sends raw bytes as the host writes them.
    virtual void send(const Bytes& bytes) = 0;
    /// The next reply frame, or nothing when none comes.
    virtual std::optional<ReplyFrame> receive() = 0;

    std::optional<ReplyFrame> exchange(const Bytes& frame);
    /// Repeats the request until the last flag, as the core's multi-frame read does.
    /// Returns the joined payloads; `replies` gets every reply.
    std::optional<Bytes> requestMulti(uint8_t command, uint16_t parameter, std::vector<ReplyFrame>* replies = nullptr);
    /// Sends a transfer frame by frame; returns the first non-zero status code, 0 when
    /// every frame was accepted, nothing when a frame got no status reply.
    std::optional<uint8_t>
    sendData(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize, int* framesSent = nullptr);
};

/// Opens D2XX device `index` with the physical link's set-up calls and start packet;
/// null when any call fails.
FT_HANDLE openLikeTheLink(int index, ULONG readTimeoutMs);

/// The descriptions of the D2XX device list; a node with anything but its description
/// set (or a description that is not terminated and zero-padded) shows as "<bad node>".
QStringList listedDescriptions();

/// A host on the device core with a clock the test moves.
class CoreHost : public TestHost
{
public:
    explicit CoreHost(korvane::KVP::sim::SimConnection& connection) : m_connection(connection) { }

    void send(const Bytes& bytes) override;
    /// All bytes due within a generous wait, decoded; the clock moves on past them.
    std::optional<ReplyFrame> receive() override;

    /// Raw bytes of the last receive.
    const Bytes& lastBytes() const { return m_lastBytes; }
    korvane::KVP::sim::TimePoint now;

private:
    korvane::KVP::sim::SimConnection& m_connection;
    Bytes m_lastBytes;
};

/// A host on a D2XX handle.
class D2xxHost : public TestHost
{
public:
    explicit D2xxHost(FT_HANDLE handle) : m_handle(handle) { }

    void send(const Bytes& bytes) override;
    /// Reads byte by byte until a frame is complete or a read times out.
    std::optional<ReplyFrame> receive() override;

private:
    FT_HANDLE m_handle;
};

/// Settings as KVP_SIM_DEVICES spells them for one device; a bad string stops the test.
korvane::KVP::sim::SimDeviceConfig deviceConfig(const char* settings);

/// A device, one connection to it and a host on the connection.
struct CoreRig
{
    explicit CoreRig(const char* settings) : device(deviceConfig(settings)), connection(device), host(connection) { }

    korvane::KVP::sim::SimDevice device;
    korvane::KVP::sim::SimConnection connection;
    CoreHost host;
};
