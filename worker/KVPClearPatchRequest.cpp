#include "KVPClearPatchRequest.h"

#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

namespace {

/// The clear command is a data-out transfer without payload and without parameter.
constexpr uint16_t ClearPatchParameter = 0;

} // namespace

KVPClearPatchRequest::KVPClearPatchRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPClearPatchRequest::work(void* params)
{
    KVPLink* link = params ? static_cast<KVPLinkParams*>(params)->link->get() : nullptr;
    if (!link) {
        emit failed(FailGeneral);
        return;
    }
    const KVPSendResult result = link->sendData(nullptr, 0, Command::ClearPatch, ClearPatchParameter);
    if (result.status == StatusOk) {
        emit workDone();
    } else {
        emit failed(result.status == StatusNoValidReply ? FailNoReply : FailGeneral);
    }
}

} // namespace korvane::KVP
