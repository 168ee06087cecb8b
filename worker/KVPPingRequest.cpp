#include "KVPPingRequest.h"

#include "KVPLink.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

KVPPingRequest::KVPPingRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPPingRequest::work(void* params)
{
    KVPLink* link = static_cast<KVPLinkParams*>(params)->link->get();
    if (!link) {
        return;
    }
    switch (link->ping().status) {
        case StatusOk:
            emit workDone();
            break;
        case StatusNoValidReply:
            emit failed(FailNoReply);
            break;
        default:
            emit failed(FailGeneral);
            break;
    }
}

} // namespace korvane::KVP
