#include "KVPDeviceIdentity.h"

#include "KVPFrame.h"

#include <cstring>

namespace korvane::KVP {

std::optional<KVPDeviceIdentity> KVPDeviceIdentity::fromBytes(const uint8_t* data, size_t length)
{
    if (!data || length < Length) {
        return std::nullopt;
    }
    KVPDeviceIdentity identity;
    identity.hardwareVersion = readLe16(data + HardwareVersionOffset);
    identity.firmwareVersion = readLe16(data + FirmwareVersionOffset);
    // The name ends at its NUL; a name that fills the field has none.
    const char* name = reinterpret_cast<const char*>(data + ModelNameOffset);
    const void* nul = std::memchr(name, 0, ModelNameLength);
    identity.modelName.assign(name, nul ? static_cast<const char*>(nul) - name : ModelNameLength);
    identity.largestFrame = readLe16(data + LargestFrameOffset);
    return identity;
}

} // namespace korvane::KVP
