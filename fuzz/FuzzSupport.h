#pragma once

// A sink that keeps the compiler from dropping reads whose only purpose is to let ASan
// see them. Plain C++, for the targets on the device link, which has no Qt.

#include <cstddef>
#include <cstdint>

namespace fuzz {

/// Volatile, so the sums written to it are never optimised away.
inline volatile uint8_t touchSink = 0;

inline void touch(const void* data, size_t length)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    touchSink = sum;
}

inline void touch(long long value)
{
    touch(&value, sizeof value);
}

} // namespace fuzz
