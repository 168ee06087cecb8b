#include "DeviceCapabilities.h"

#include "KVPDeviceIdentity.h"
#include "KVPLink.h"

#include <optional>

namespace korvane::KVP {

namespace {

std::optional<KVPDeviceIdentity> identify(KVPLink& link)
{
    const KVPReply reply = link.ping();
    if (reply.status != StatusOk) {
        return std::nullopt;
    }
    return KVPDeviceIdentity::fromBytes(reply.data.data(), reply.data.size());
}

} // namespace

QString modelNameOf(const KVPDeviceIdentity& identity)
{
    return QString::fromLatin1(identity.modelName.data(), static_cast<qsizetype>(identity.modelName.size()));
}

QString queryModelName(KVPLink& link)
{
    const auto identity = identify(link);
    return identity ? modelNameOf(*identity) : QString();
}

bool supportsLibraryAccess(KVPLink* link)
{
    if (!link) {
        return false;
    }
    const auto identity = identify(*link);
    if (!identity) {
        return false;
    }
    if (identity->modelName == ModelQrd780) {
        return true;
    }
    if (identity->modelName == ModelQrd540b) {
        return identity->firmwareVersion > Qrd540bLastFirmwareWithoutLibrary;
    }
    return false;
}

} // namespace korvane::KVP
