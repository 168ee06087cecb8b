#pragma once

#include <cstdint>

namespace korvane::KVP {

/// One byte from the physical link, or none: `empty` is true when nothing arrived
/// within the read timeout, and `value` then means nothing.
struct KVPPhyByte
{
    uint8_t value = 0;
    bool empty = true;
};

} // namespace korvane::KVP
