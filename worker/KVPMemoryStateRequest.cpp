#include "KVPMemoryStateRequest.h"

#include "DeviceCapabilities.h"
#include "DeviceMemoryStatus.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

namespace {

/// The memory-state command takes no parameter.
constexpr uint16_t MemoryStateParameter = 0;

} // namespace

KVPMemoryStateRequest::KVPMemoryStateRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPMemoryStateRequest::work(void* params)
{
    KVPLink* link = params ? static_cast<KVPLinkParams*>(params)->link->get() : nullptr;
    // A QRD-540B with the old firmware has no library, so no slots worth counting.
    if (!link || !supportsLibraryAccess(link)) {
        emit failed(FailGeneral);
        return;
    }
    const KVPReply reply = link->requestMulti(Command::MemoryState, MemoryStateParameter);
    if (reply.status != StatusOk || reply.data.size() < MemoryStatusLength) {
        emit failed(FailGeneral);
        return;
    }
    m_freeSlots = static_cast<int>(reply.data[0]);
    emit workDone();
}

} // namespace korvane::KVP
