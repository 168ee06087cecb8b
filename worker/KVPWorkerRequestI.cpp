#include "KVPWorkerRequestI.h"

#include "KVPWorkerThread.h"

namespace korvane::KVP {

KVPWorkerRequestI::KVPWorkerRequestI(QObject* parent) : QObject(parent) { }

KVPWorkerRequestI::~KVPWorkerRequestI()
{
    if (worker) {
        worker->forgetRequest(this);
    }
}

void KVPWorkerRequestI::abort()
{
    abortRequested.store(true);
}

} // namespace korvane::KVP
