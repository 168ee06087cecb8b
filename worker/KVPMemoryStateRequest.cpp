#include "KVPMemoryStateRequest.h"

#include "DeviceCapabilities.h"
#include "DeviceMemoryStatus.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

KVPMemoryStateRequest::KVPMemoryStateRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPMemoryStateRequest::work(void* params)
{
    KVPLink* link = params ? static_cast<KVPLinkParams*>(params)->link->get() : nullptr;
    // A QRD-540B with the old firmware has no library, so no slots worth counting.
    if (!link || !supportsLibraryAccess(link)) {
        emit failed(FailGeneral);
        return;
    }
    const std::optional<int> freeSlots = queryFreeSlots(*link);
    if (!freeSlots) {
        emit failed(FailGeneral);
        return;
    }
    m_freeSlots = *freeSlots;
    emit workDone();
}

} // namespace korvane::KVP
