#include "KVPWorkerRequestI.h"

#include "KVPWorkerParams.h"
#include "KVPWorkerThread.h"

namespace korvane::KVP {

KVPWorkerRequestI::KVPWorkerRequestI(QObject* parent) : QObject(parent) { }

KVPWorkerRequestI::~KVPWorkerRequestI()
{
    if (m_worker) {
        m_worker->forgetRequest(this);
    }
}

void KVPWorkerRequestI::abort()
{
    m_abortRequested.store(true);
}

KVPLink* KVPWorkerRequestI::linkOrFail(void* params)
{
    KVPLink* link = linkOf(params);
    if (!link) {
        Q_EMIT failed(FailGeneral);
    }
    return link;
}

void KVPWorkerRequestI::reportStatus(KVPStatus status)
{
    if (status == StatusOk) {
        Q_EMIT workDone();
    } else {
        Q_EMIT failed(status == StatusNoValidReply ? FailNoReply : FailGeneral);
    }
}

} // namespace korvane::KVP
