#pragma once

namespace korvane::KVP {

class KVPLink;

/// The device's answer to the memory-state command: byte 0 is the number of free
/// definition slots, bit 0 of byte 1 is set while the patch list is empty.
constexpr int MemoryStatusLength = 2;
constexpr unsigned char PatchEmptyBit = 0x01;

/// One memory-state exchange. True when the device answered with at least
/// MemoryStatusLength bytes and has `needed` or more free slots; `patchNotEmpty` is set
/// from the same answer whenever one came, also when the slots are too few, and left
/// alone when none came.
bool queryMemoryStatus(KVPLink& link, int needed, bool& patchNotEmpty);

} // namespace korvane::KVP
