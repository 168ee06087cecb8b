#include "TestSimSupport.h"

#include "SimProtocol.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

using namespace korvane::KVP;

std::vector<ReplyFrame> decodeFrames(const Bytes& bytes)
{
    std::vector<ReplyFrame> frames;
    Bytes buffer(0x10000 + Frame::Overhead);
    KVPFrameDecoder decoder(buffer.data(), buffer.size());
    decoder.start();
    for (uint8_t byte : bytes) {
        if (!decoder.feed(byte)) {
            continue;
        }
        const uint8_t* f = decoder.frame();
        ReplyFrame frame;
        frame.flags = f[Frame::FlagsOffset];
        frame.type = f[Frame::TypeOffset];
        frame.command = f[Frame::CommandOffset];
        frame.parameter = readLe16(f + Frame::ParameterOffset);
        frame.payload.assign(f + Frame::HeaderLength, f + decoder.length() - 2);
        frame.bytes.assign(f, f + decoder.length());
        frames.push_back(std::move(frame));
        decoder.start();
    }
    return frames;
}

Bytes requestFrame(uint8_t command, uint16_t parameter, uint8_t flags)
{
    FrameHeader header;
    header.flags = flags;
    header.type = Frame::Request;
    header.command = command;
    header.parameter = parameter;
    return encodeFrame(header, nullptr, 0);
}

Bytes dataOutFrame(uint8_t command, uint16_t parameter, uint8_t flags, const Bytes& payload)
{
    FrameHeader header;
    header.flags = flags;
    header.type = Frame::DataOut;
    header.command = command;
    header.parameter = parameter;
    return encodeFrame(header, payload.data(), static_cast<uint16_t>(payload.size()));
}

std::vector<Bytes> dataOutFrames(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize)
{
    std::vector<Bytes> frames;
    const size_t limit = frameSize - Frame::Overhead;
    size_t offset = 0;
    do {
        const size_t length = std::min(limit, data.size() - offset);
        const uint8_t flags = static_cast<uint8_t>((offset == 0 ? Frame::FlagFirst : 0)
                                                   | (offset + length == data.size() ? Frame::FlagLast : 0));
        frames.push_back(
            dataOutFrame(command, parameter, flags, Bytes(data.begin() + offset, data.begin() + offset + length)));
        offset += length;
    } while (offset < data.size());
    return frames;
}

Bytes fixtureRecord(const char* name, uint8_t channels)
{
    Bytes record(sim::Record::Length, 0);
    std::memcpy(record.data(), name, std::strlen(name));
    record[sim::Record::ChannelCountOffset] = channels;
    record[sim::Record::TypeOffset] = 3;
    for (size_t i = sim::Record::HeaderLength; i < record.size(); ++i) {
        record[i] = static_cast<uint8_t>(i * 7);
    }
    return record;
}

Bytes firmwareHeader(const std::vector<uint32_t>& sectorSizes, uint32_t checksum)
{
    Bytes header(256, 0);
    std::memcpy(header.data(), "KVU2", 5);
    std::memcpy(header.data() + 5, "QRD-780", 7);
    header[46] = static_cast<uint8_t>(sectorSizes.size());
    for (size_t i = 0; i < sectorSizes.size(); ++i) {
        for (int b = 0; b < 4; ++b) {
            header[68 + 4 * i + b] = static_cast<uint8_t>(sectorSizes[i] >> (8 * b));
        }
    }
    for (int b = 0; b < 4; ++b) {
        header[100 + b] = static_cast<uint8_t>(checksum >> (8 * b));
    }
    return header;
}

std::optional<ReplyFrame> TestHost::exchange(const Bytes& frame)
{
    send(frame);
    return receive();
}

std::optional<Bytes> TestHost::requestMulti(uint8_t command, uint16_t parameter, std::vector<ReplyFrame>* replies)
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

std::optional<uint8_t>
TestHost::sendData(uint8_t command, uint16_t parameter, const Bytes& data, size_t frameSize, int* framesSent)
{
    int count = 0;
    for (const Bytes& frame : dataOutFrames(command, parameter, data, frameSize)) {
        ++count;
        if (framesSent) {
            *framesSent = count;
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

void CoreHost::send(const Bytes& bytes)
{
    m_connection.receive(bytes.data(), bytes.size(), now);
}

std::optional<ReplyFrame> CoreHost::receive()
{
    // Well beyond any reply the tests ask for, line time and latency included.
    now += std::chrono::seconds(3);
    m_lastBytes.resize(m_connection.available(now));
    m_connection.read(m_lastBytes.data(), m_lastBytes.size(), now);
    const auto frames = decodeFrames(m_lastBytes);
    if (frames.empty()) {
        return std::nullopt;
    }
    return frames.front();
}

void D2xxHost::send(const Bytes& bytes)
{
    DWORD written = 0;
    FT_Write(m_handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written);
}

std::optional<ReplyFrame> D2xxHost::receive()
{
    Bytes bytes;
    Bytes buffer(0x10000 + Frame::Overhead);
    KVPFrameDecoder decoder(buffer.data(), buffer.size());
    decoder.start();
    for (;;) {
        uint8_t byte = 0;
        DWORD got = 0;
        FT_Read(m_handle, &byte, 1, &got);
        if (got == 0) {
            return std::nullopt;
        }
        bytes.push_back(byte);
        if (decoder.feed(byte)) {
            return decodeFrames(bytes).front();
        }
    }
}

sim::SimDeviceConfig deviceConfig(const char* settings)
{
    sim::SimDeviceConfig config;
    std::string error;
    if (!sim::parseSimDeviceConfig(settings, config, error)) {
        qFatal("bad device settings '%s': %s", settings, error.c_str());
    }
    return config;
}

FT_HANDLE openLikeTheLink(int index, ULONG readTimeoutMs)
{
    FT_HANDLE handle = nullptr;
    if (FT_Open(index, &handle) != FT_OK || FT_ResetDevice(handle) != FT_OK
        || FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_NONE) != FT_OK
        || FT_SetTimeouts(handle, readTimeoutMs, 2000) != FT_OK || FT_SetBaudRate(handle, 38400) != FT_OK
        || FT_SetBaudRate(handle, 250000) != FT_OK || FT_SetLatencyTimer(handle, 2) != FT_OK) {
        return nullptr;
    }
    DWORD written = 0;
    const uint8_t start[] = {0x00, 0x91, 0x4B, 0x76, 0x01};
    FT_Write(handle, start, sizeof start, &written);
    return handle;
}

QStringList listedDescriptions()
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
        const char* description = node.Description;
        const char* end = description + sizeof node.Description;
        const bool padded = std::all_of(
            description + strnlen(description, sizeof node.Description), end, [](char c) { return c == 0; });
        const bool zeroed = node.Flags == 0 && node.Type == 0 && node.ID == 0 && node.LocId == 0
            && node.SerialNumber[0] == 0 && node.ftHandle == nullptr;
        descriptions << (padded && end[-1] == 0 && zeroed ? QString::fromLatin1(description)
                                                          : QStringLiteral("<bad node>"));
    }
    return descriptions;
}
