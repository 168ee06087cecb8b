#include "KVPPingRequest.h"

#include "KVPLink.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

KVPPingRequest::KVPPingRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPPingRequest::work(void* params)
{
    if (KVPLink* link = linkOf(params)) {
        reportStatus(link->ping().status);
    }
}

} // namespace korvane::KVP
