#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvane::KVP::sim {

/// The device's fixture memory: a fixed number of slots, each holding one 5284-byte
/// record under a record number. The number is what the host passes to read and delete;
/// it travels in byte 242 of the record and of its list entry.
///
/// Numbers are handed out in turn rather than reusing the slot index, so a host that
/// keeps a stale number after a delete reaches nothing instead of the wrong definition.
class SimFixtureStore
{
public:
    explicit SimFixtureStore(unsigned slotCount);

    unsigned slotCount() const { return static_cast<unsigned>(m_slots.size()); }
    unsigned freeSlots() const;
    unsigned count() const { return slotCount() - freeSlots(); }

    /// Stores a complete record in the first free slot and returns its new number, or
    /// nothing when every slot is taken or the record is not exactly 5284 bytes.
    std::optional<uint8_t> store(std::vector<uint8_t> record);
    /// The stored record with this number, or null.
    const std::vector<uint8_t>* find(uint8_t number) const;
    /// Frees the slot of this number; false when no record has it.
    bool remove(uint8_t number);

    /// The list as the device sends it: a 16-bit little-endian count, then the first
    /// 244 bytes of each record in slot order.
    std::vector<uint8_t> listPayload() const;
    /// A record as the device sends it back: the header and the used channel slots.
    std::optional<std::vector<uint8_t>> readPayload(uint8_t number) const;

private:
    struct Slot
    {
        uint8_t number = 0;
        std::vector<uint8_t> record;
    };

    bool numberInUse(uint8_t number) const;

    std::vector<std::optional<Slot>> m_slots;
    uint8_t m_nextNumber = 0;
};

} // namespace korvane::KVP::sim
