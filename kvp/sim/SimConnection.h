#pragma once

#include "KVPFrame.h"
#include "SimDevice.h"
#include "SimProtocol.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace korvane::KVP::sim {

/// One connection to a simulated device, as a transport sees it: the host's bytes go
/// in, reply bytes come out once their time has come. Bytes outside frames (the break
/// byte, the start packet, line noise) are skipped while the device hunts for 0xAA.
///
/// Time is always passed in, so tests decide it. With the wire model on, every byte
/// takes 44 µs each way: a reply starts when the host's frame has fully arrived (plus
/// any late fault), its bytes follow one another, and the USB latency is added to each.
/// Without it, a reply is there at once (plus latency and late faults).
///
/// A connection starts with a fresh decoder and session; the device behind it keeps its
/// memory. Not copyable: the decoder points into the connection's own buffer.
class SimConnection
{
public:
    explicit SimConnection(SimDevice& device);
    SimConnection(const SimConnection&) = delete;
    SimConnection& operator=(const SimConnection&) = delete;

    /// The host wrote these bytes at `now`.
    void receive(const uint8_t* data, size_t length, TimePoint now);
    /// Reply bytes that can be read at `now`.
    size_t available(TimePoint now) const;
    /// Takes up to `length` bytes that can be read at `now`; returns how many.
    size_t read(uint8_t* buffer, size_t length, TimePoint now);
    /// When `count` bytes will be waiting, or nothing when fewer are on their way. Only
    /// the host's next frame can bring more.
    std::optional<TimePoint> readyAt(size_t count) const;

    /// The device was unplugged: nothing more comes, and writes go nowhere.
    bool deviceGone() const { return m_device.gone(); }
    SimDevice& device() { return m_device; }

private:
    struct Pending
    {
        uint8_t byte;
        TimePoint at;
    };

    void schedule(const SimDevice::Reply& reply, TimePoint frameEnd);

    SimDevice& m_device;
    SimDevice::Session m_session;
    std::vector<uint8_t> m_frame;
    KVPFrameDecoder m_decoder;
    std::deque<Pending> m_pending;
    TimePoint m_hostLineFree {}; ///< when the host's last byte has reached the device
    TimePoint m_deviceLineFree {}; ///< when the device's last reply byte has left it
};

} // namespace korvane::KVP::sim
