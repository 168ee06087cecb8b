#include "KVPMemoryStateRequest.h"

#include "DeviceCapabilities.h"
#include "DeviceMemoryStatus.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

KVPMemoryStateRequest::KVPMemoryStateRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPMemoryStateRequest::work(void* params)
{
    KVPLink* link = linkOf(params);
    // A QRD-540B with the old firmware has no library, so no slots worth counting.
    if (!link || !supportsLibraryAccess(link)) {
        Q_EMIT failed(FailGeneral);
        return;
    }
    const std::optional<int> freeSlots = queryFreeSlots(*link);
    if (!freeSlots) {
        Q_EMIT failed(FailGeneral);
        return;
    }
    m_freeSlots = *freeSlots;
    Q_EMIT workDone();
}

} // namespace korvane::KVP
