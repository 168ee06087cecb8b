#pragma once

#include <chrono>
#include <cstdint>

namespace korvane::KVP {

/// The time base of the protocol core's reply timeout. Tests put in a clock they move
/// by hand, so the timeout paths run without waiting seconds each.
class KVPClock
{
public:
    virtual ~KVPClock() = default;
    /// Milliseconds since an arbitrary start; wraps around after 2^32 ms. Only
    /// differences are used.
    virtual uint32_t nowMs() = 0;
};

/// A monotonic clock: wall-clock jumps do not cut a reply timeout short or stretch it.
class KVPSteadyClock : public KVPClock
{
public:
    uint32_t nowMs() override
    {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
};

} // namespace korvane::KVP
