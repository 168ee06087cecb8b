#include "SimFixtureStore.h"

#include "SimProtocol.h"

namespace korvane::KVP::sim {

SimFixtureStore::SimFixtureStore(unsigned slotCount) : m_slots(slotCount) { }

unsigned SimFixtureStore::freeSlots() const
{
    unsigned free = 0;
    for (const auto& slot : m_slots) {
        free += slot ? 0 : 1;
    }
    return free;
}

bool SimFixtureStore::numberInUse(uint8_t number) const
{
    for (const auto& slot : m_slots) {
        if (slot && slot->number == number) {
            return true;
        }
    }
    return false;
}

std::optional<uint8_t> SimFixtureStore::store(std::vector<uint8_t> record)
{
    if (record.size() != Record::Length) {
        return std::nullopt;
    }
    for (auto& slot : m_slots) {
        if (slot) {
            continue;
        }
        // At most 255 slots share the 255 numbers below NoNumber, so a free one exists.
        while (m_nextNumber == Record::NoNumber || numberInUse(m_nextNumber)) {
            ++m_nextNumber;
        }
        const uint8_t number = m_nextNumber++;
        record[Record::NumberOffset] = number;
        slot = Slot {number, std::move(record)};
        return number;
    }
    return std::nullopt;
}

const std::vector<uint8_t>* SimFixtureStore::find(uint8_t number) const
{
    for (const auto& slot : m_slots) {
        if (slot && slot->number == number) {
            return &slot->record;
        }
    }
    return nullptr;
}

bool SimFixtureStore::remove(uint8_t number)
{
    for (auto& slot : m_slots) {
        if (slot && slot->number == number) {
            slot.reset();
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> SimFixtureStore::listPayload() const
{
    const unsigned records = count();
    std::vector<uint8_t> payload;
    payload.reserve(2 + records * Record::HeaderLength);
    payload.push_back(static_cast<uint8_t>(records & 0xFF));
    payload.push_back(static_cast<uint8_t>(records >> 8));
    for (const auto& slot : m_slots) {
        if (slot) {
            payload.insert(payload.end(), slot->record.begin(), slot->record.begin() + Record::HeaderLength);
        }
    }
    return payload;
}

std::optional<std::vector<uint8_t>> SimFixtureStore::readPayload(uint8_t number) const
{
    const std::vector<uint8_t>* record = find(number);
    if (!record) {
        return std::nullopt;
    }
    const size_t length = Record::readLength((*record)[Record::ChannelCountOffset]);
    return std::vector<uint8_t>(record->begin(), record->begin() + length);
}

} // namespace korvane::KVP::sim
