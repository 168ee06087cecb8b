#pragma once

#include <optional>

namespace korvane::KVP {

class KVPLink;

/// The device's answer to the memory-state command: byte 0 is the number of free
/// definition slots, bit 0 of byte 1 is set while the patch list is empty.
constexpr int MemoryStatusLength = 2;
constexpr unsigned char PatchEmptyBit = 0x01;

/// What one memory-state exchange found.
enum class MemoryStatus {
    Enough, ///< the device has the slots asked for
    TooFewSlots, ///< it answered, with fewer free slots
    NoAnswer, ///< no usable answer came (refused, garbled, silent): the slots are unknown
};

/// One memory-state exchange: the free slots, or nothing when no usable answer came.
/// `patchNotEmpty`, when given, is set from the answer.
std::optional<int> queryFreeSlots(KVPLink& link, bool* patchNotEmpty = nullptr);

/// One memory-state exchange for `needed` slots. `patchNotEmpty` is set from the answer
/// whenever one came, also when the slots are too few, and left alone when none came.
MemoryStatus queryMemoryStatus(KVPLink& link, int needed, bool& patchNotEmpty);

} // namespace korvane::KVP
