#include "SimConnection.h"

#include <algorithm>

namespace korvane::KVP::sim {

namespace {

/// The longest frame a 16-bit payload length can describe; the device reads every frame
/// whole and only then judges its size.
constexpr size_t LongestFrame = 0xFFFF + Frame::Overhead;

} // namespace

SimConnection::SimConnection(SimDevice& device)
    : m_device(device), m_frame(LongestFrame), m_decoder(m_frame.data(), m_frame.size())
{
    m_decoder.start();
}

void SimConnection::receive(const uint8_t* data, size_t length, TimePoint now)
{
    if (m_device.gone()) {
        return;
    }
    const bool wire = m_device.config().wire;
    TimePoint arrival = wire ? std::max(now, m_hostLineFree) : now;
    for (size_t i = 0; i < length; ++i) {
        if (wire) {
            arrival += ByteTime;
        }
        if (!m_decoder.feed(data[i])) {
            continue;
        }
        if (auto reply = m_device.handleFrame(m_decoder.frame(), m_decoder.length(), m_session)) {
            schedule(*reply, arrival);
        }
        m_decoder.start();
    }
    m_hostLineFree = arrival;
}

void SimConnection::schedule(const SimDevice::Reply& reply, TimePoint frameEnd)
{
    const bool wire = m_device.config().wire;
    const auto latency = m_device.config().latency;
    TimePoint sent = frameEnd + reply.delay;
    if (wire) {
        sent = std::max(sent, m_deviceLineFree);
    }
    for (uint8_t byte : reply.bytes) {
        if (wire) {
            sent += ByteTime;
        }
        // The line is first in, first out: a late reply holds back the ones behind it.
        TimePoint at = sent + latency;
        if (!m_pending.empty()) {
            at = std::max(at, m_pending.back().at);
        }
        m_pending.push_back({byte, at});
    }
    m_deviceLineFree = sent;
}

size_t SimConnection::available(TimePoint now) const
{
    if (m_device.gone()) {
        return 0;
    }
    const auto end = std::partition_point(
        m_pending.begin(), m_pending.end(), [now](const Pending& pending) { return pending.at <= now; });
    return static_cast<size_t>(end - m_pending.begin());
}

size_t SimConnection::read(uint8_t* buffer, size_t length, TimePoint now)
{
    const size_t count = std::min(length, available(now));
    for (size_t i = 0; i < count; ++i) {
        buffer[i] = m_pending.front().byte;
        m_pending.pop_front();
    }
    return count;
}

std::optional<TimePoint> SimConnection::readyAt(size_t count) const
{
    if (m_device.gone() || count == 0 || count > m_pending.size()) {
        return std::nullopt;
    }
    return m_pending[count - 1].at;
}

} // namespace korvane::KVP::sim
