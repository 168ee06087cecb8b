#pragma once

// A small host for the simulated-device tests: it sends frames as the protocol core does
// and reads replies through the device core with test-chosen times, or through the D2XX
// functions of a backend.

#include "D2xx.h"
#include "D2xxBackend.h"
#include "SimConnection.h"
#include "SimProtocol.h"
#include "TestKVPScriptedPhy.h"
#include "backends/SimBackend.h"
#include "backends/SocketBackend.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QtEndian>
#include <QtGlobal>

#include <cstring>
#include <optional>

namespace korvane::KVP::Test {

/// A transfer cut into frames of at most `frameSize` bytes, flagged as the host does.
inline std::vector<Bytes> dataOutFrames(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize)
{
    std::vector<Bytes> frames;
    size_t offset = 0;
    do {
        const size_t length = std::min(frameSize - Frame::Overhead, data.size() - offset);
        const uint8_t flags = static_cast<uint8_t>((offset == 0 ? Frame::FlagFirst : 0)
                                                   | (offset + length == data.size() ? Frame::FlagLast : 0));
        const Bytes chunk(data.begin() + offset, data.begin() + offset + length);
        frames.push_back(hostFrame(Frame::DataOut, command, parameter, chunk, flags));
        offset += length;
    } while (offset < data.size());
    return frames;
}

/// A 5284-byte record with a name and `channels` channels.
inline Bytes fixtureRecord(const char* name, uint8_t channels)
{
    Bytes record = pattern(sim::Record::Length);
    std::fill(record.begin(), record.begin() + sim::Record::HeaderLength, 0);
    std::memcpy(record.data(), name, std::strlen(name));
    record[sim::Record::ChannelCountOffset] = channels;
    record[sim::Record::TypeOffset] = 3;
    return record;
}

/// A 256-byte firmware header for these sector sizes and image checksum.
inline Bytes firmwareHeader(const std::vector<uint32_t>& sectorSizes, uint32_t checksum)
{
    Bytes header(256, 0);
    std::memcpy(header.data(), "KVU2\0QRD-780", 12);
    header[46] = static_cast<uint8_t>(sectorSizes.size());
    for (size_t i = 0; i < sectorSizes.size(); ++i) {
        qToLittleEndian<quint32>(sectorSizes[i], header.data() + 68 + 4 * i);
    }
    qToLittleEndian<quint32>(checksum, header.data() + 100);
    return header;
}

/// The model name an identity reply carries.
inline QString modelOf(const std::optional<ReplyFrame>& identity)
{
    if (!identity || identity->payload.size() != 50) {
        return QStringLiteral("<no identity>");
    }
    return QString::fromLatin1(reinterpret_cast<const char*>(identity->payload.data() + 6));
}

inline std::optional<ReplyFrame> firstFrame(const Bytes& bytes)
{
    const auto frames = decodeFrames(bytes);
    return frames.empty() ? std::nullopt : std::optional<ReplyFrame>(frames.front());
}

/// What a test does to a device, whatever stands between.
class TestHost
{
public:
    virtual ~TestHost() = default;
    /// Sends raw bytes as the host writes them.
    virtual void send(const Bytes& bytes) = 0;
    /// The next reply frame, or nothing when none comes.
    virtual std::optional<ReplyFrame> receive() = 0;

    std::optional<ReplyFrame> exchange(const Bytes& frame) { return send(frame), receive(); }

    /// Repeats the request until the last flag, as the core's multi-frame read does.
    /// Returns the joined payloads; `replies` gets every reply.
    std::optional<Bytes> requestMulti(uint8_t command, uint16_t parameter, std::vector<ReplyFrame>* replies = nullptr)
    {
        Bytes joined;
        for (bool first = true;; first = false) {
            const auto reply = exchange(requestFrame(command, parameter, first ? Frame::FlagFirst : 0));
            if (!reply || reply->type != Frame::DataReply) {
                return std::nullopt;
            }
            if (replies) {
                replies->push_back(*reply);
            }
            joined.insert(joined.end(), reply->payload.begin(), reply->payload.end());
            if (reply->isLast()) {
                return joined;
            }
        }
    }

    /// Sends a transfer frame by frame; returns the first non-zero status code, 0 when
    /// every frame was accepted, nothing when a frame got no status reply.
    std::optional<uint8_t>
    sendData(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize, int* framesSent = nullptr)
    {
        int count = 0;
        for (const Bytes& frame : dataOutFrames(command, parameter, data, frameSize)) {
            if (framesSent) {
                *framesSent = ++count;
            }
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

/// A host on the device core with a clock the test moves.
class CoreHost : public TestHost
{
public:
    explicit CoreHost(sim::SimConnection& connection) : m_connection(connection) { }
    void send(const Bytes& bytes) override { m_connection.receive(bytes.data(), bytes.size(), now); }
    /// All bytes due within a generous wait, decoded; the clock moves on past them.
    std::optional<ReplyFrame> receive() override
    {
        now += std::chrono::seconds(3); // beyond any reply the tests ask for, line time included
        m_lastBytes.resize(m_connection.available(now));
        m_connection.read(m_lastBytes.data(), m_lastBytes.size(), now);
        return firstFrame(m_lastBytes);
    }
    /// Raw bytes of the last receive.
    const Bytes& lastBytes() const { return m_lastBytes; }
    sim::TimePoint now;

private:
    sim::SimConnection& m_connection;
    Bytes m_lastBytes;
};

/// Settings as KVP_SIM_DEVICES spells them for one device; bad settings stop the test.
inline sim::SimDeviceConfig deviceConfig(const QString& settings)
{
    sim::SimDeviceConfig config;
    std::string error;
    if (!sim::parseSimDeviceConfig(settings.toStdString(), config, error)) {
        qFatal("bad device settings '%s': %s", qPrintable(settings), error.c_str());
    }
    return config;
}

/// A device, one connection to it and a host on the connection.
struct CoreRig
{
    explicit CoreRig(const QString& settings) : device(deviceConfig(settings)), connection(device), host(connection) { }
    sim::SimDevice device;
    sim::SimConnection connection;
    CoreHost host;
};

/// A host on a D2XX handle.
class D2xxHost : public TestHost
{
public:
    explicit D2xxHost(FT_HANDLE handle) : m_handle(handle) { }
    void send(const Bytes& bytes) override { FT_Write(m_handle, bytes.data(), DWORD(bytes.size()), &m_count); }
    /// A header and what it announces (the device sends nothing but whole frames);
    /// nothing when a read times out short.
    std::optional<ReplyFrame> receive() override
    {
        Bytes bytes(Frame::HeaderLength);
        FT_Read(m_handle, bytes.data(), DWORD(bytes.size()), &m_count);
        if (m_count == Frame::HeaderLength) {
            bytes.resize(Frame::Overhead + readLe16(&bytes[Frame::LengthOffset]));
            FT_Read(m_handle, &bytes[Frame::HeaderLength], DWORD(bytes.size() - Frame::HeaderLength), &m_count);
        }
        return firstFrame(bytes);
    }

private:
    FT_HANDLE m_handle;
    DWORD m_count = 0;
};

/// Installs the "sim" or "socket" backend, its device variable set to `devices` (unset
/// when null). qputenv, not setenv: Qt's watchdog thread reads the environment too.
inline void useBackend(const char* backend, const QByteArray& devices)
{
    const bool sim = qstrcmp(backend, "sim") == 0;
    const char* variable = sim ? SimDevicesVariable : SocketDevicesVariable;
    qputenv(BackendVariable, backend);
    if (devices.isNull()) {
        qunsetenv(variable);
    } else {
        qputenv(variable, devices);
    }
    setD2xxBackend(sim ? makeSimBackend() : makeSocketBackend());
}

/// Opens D2XX device `index` with the physical link's set-up calls and start packet;
/// null when any call fails.
inline FT_HANDLE openLikeTheLink(int index, ULONG readTimeoutMs)
{
    FT_HANDLE handle = nullptr;
    if (FT_Open(index, &handle) != FT_OK || FT_ResetDevice(handle) != FT_OK
        || FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_NONE) != FT_OK
        || FT_SetTimeouts(handle, readTimeoutMs, 2000) != FT_OK || FT_SetBaudRate(handle, 38400) != FT_OK
        || FT_SetBaudRate(handle, 250000) != FT_OK || FT_SetLatencyTimer(handle, 2) != FT_OK) {
        return nullptr;
    }
    const Bytes start {0x00, 0x91, 0x4B, 0x76, 0x01};
    D2xxHost(handle).send(start);
    return handle;
}

/// The descriptions of the D2XX device list; a node with anything but its description
/// set (or a description that is not terminated and zero-padded) shows as "<bad node>".
inline QStringList listedDescriptions()
{
    DWORD count = 0;
    FT_CreateDeviceInfoList(&count);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count + 1);
    std::memset(static_cast<void*>(nodes.data()), 0x5A, nodes.size() * sizeof(FT_DEVICE_LIST_INFO_NODE));
    if (FT_GetDeviceInfoList(nodes.data(), &count) != FT_OK) {
        return {QStringLiteral("<no list>")};
    }
    QStringList descriptions;
    for (DWORD i = 0; i < count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        const char* end = node.Description + sizeof node.Description;
        const bool padded = std::all_of(
            node.Description + strnlen(node.Description, sizeof node.Description), end, [](char c) { return c == 0; });
        const bool zeroed = node.Flags == 0 && node.Type == 0 && node.ID == 0 && node.LocId == 0
            && node.SerialNumber[0] == 0 && node.ftHandle == nullptr;
        descriptions << (padded && end[-1] == 0 && zeroed ? QString::fromLatin1(node.Description)
                                                          : QStringLiteral("<bad node>"));
    }
    return descriptions;
}

/// FT_Read of `length` bytes: how many came, and in `elapsedMs` how long it took.
inline DWORD timedRead(FT_HANDLE handle, DWORD length, qint64* elapsedMs)
{
    Bytes buffer(length);
    QElapsedTimer timer;
    timer.start();
    DWORD count = 99;
    FT_Read(handle, buffer.data(), length, &count);
    *elapsedMs = timer.elapsed();
    return count;
}

} // namespace korvane::KVP::Test
