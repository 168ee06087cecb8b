#include "KVPFixtureDeleteRequest.h"

#include "DeviceCapabilities.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"
#include "QKVRemoteFixtureDefinition.h"
#include "TransferProgress.h"

namespace korvane::KVP {

KVPFixtureDeleteRequest::KVPFixtureDeleteRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPFixtureDeleteRequest::addDefinition(QKVRemoteFixtureDefinition* definition)
{
    m_toDelete.append(definition);
}

void KVPFixtureDeleteRequest::work(void* params)
{
    m_deleted = 0;
    KVPLink* link = params ? static_cast<KVPLinkParams*>(params)->link->get() : nullptr;
    if (!link || !supportsLibraryAccess(link)) {
        emit failed(FailGeneral);
        return;
    }
    const qsizetype count = m_toDelete.size();
    for (qsizetype i = 0; i < count; ++i) {
        const KVPReply reply = link->request(Command::FixtureDelete, m_toDelete.at(i)->recordNumber());
        if (reply.status != StatusOk) {
            emit failed(FailGeneral);
            return;
        }
        m_deleted = static_cast<int>(i + 1);
        emit progressTotal(transferPercent(i + 1, count));
        if (isAbortRequested()) {
            emit failed(FailAborted);
            return;
        }
    }
    emit workDone();
}

} // namespace korvane::KVP
