#include "KVPClearPatchRequest.h"

#include "KVPFrame.h"
#include "KVPLink.h"

namespace korvane::KVP {

KVPClearPatchRequest::KVPClearPatchRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPClearPatchRequest::work(void* params)
{
    if (KVPLink* link = linkOrFail(params)) {
        // A data-out transfer without payload: the command alone clears the patch.
        reportStatus(link->sendData(nullptr, 0, Command::ClearPatch, Command::NoParameter).status);
    }
}

} // namespace korvane::KVP
