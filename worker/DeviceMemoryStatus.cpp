#include "DeviceMemoryStatus.h"

#include "KVPFrame.h"
#include "KVPLink.h"

namespace korvane::KVP {

namespace {

/// The memory-state command takes no parameter.
constexpr uint16_t MemoryStateParameter = 0;

} // namespace

std::optional<int> queryFreeSlots(KVPLink& link, bool* patchNotEmpty)
{
    // The reply is a value, so its data is released with it on every path.
    const KVPReply reply = link.requestMulti(Command::MemoryState, MemoryStateParameter);
    if (reply.status != StatusOk || reply.data.size() < MemoryStatusLength) {
        return std::nullopt;
    }
    if (patchNotEmpty) {
        *patchNotEmpty = (reply.data[1] & PatchEmptyBit) == 0;
    }
    return static_cast<int>(reply.data[0]);
}

MemoryStatus queryMemoryStatus(KVPLink& link, int needed, bool& patchNotEmpty)
{
    const std::optional<int> freeSlots = queryFreeSlots(link, &patchNotEmpty);
    if (!freeSlots) {
        return MemoryStatus::NoAnswer;
    }
    return *freeSlots >= needed ? MemoryStatus::Enough : MemoryStatus::TooFewSlots;
}

} // namespace korvane::KVP
