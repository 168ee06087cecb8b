#pragma once

#include <cstdint>

namespace korvane::KVP {

/// `done` of `whole` as a whole percentage 0..100, truncated toward zero. Integer
/// arithmetic gives the exact truncation: a floating-point quotient such as 29/100 can
/// land just below 29 and show one percent too little. An empty whole counts as done.
inline unsigned int transferPercent(uint64_t done, uint64_t whole)
{
    if (whole == 0 || done >= whole) {
        return 100;
    }
    return static_cast<unsigned int>(done * 100 / whole);
}

} // namespace korvane::KVP
