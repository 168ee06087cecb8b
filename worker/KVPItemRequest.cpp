#include "KVPItemRequest.h"

#include "KVPObserverGuard.h"
#include "TransferProgress.h"

namespace korvane::KVP {

KVPItemRequest::KVPItemRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPItemRequest::work(void* params)
{
    m_itemsDone = 0;
    KVPLink* link = linkOrFail(params);
    if (!link || !prepare(*link)) {
        return;
    }
    if (const std::optional<failReason> failure = runItems(*link)) {
        Q_EMIT failed(*failure);
    } else {
        Q_EMIT workDone();
    }
}

std::optional<KVPWorkerRequestI::failReason> KVPItemRequest::runItems(KVPLink& link)
{
    const KVPObserverGuard observing(link, *this);
    const qsizetype count = itemCount();
    for (qsizetype i = 0; i < count; ++i) {
        if (!runItem(link, i)) {
            return FailGeneral;
        }
        m_itemsDone = static_cast<int>(i + 1);
        Q_EMIT progressTotal(transferPercent(i + 1, count));
        if (isAbortRequested()) {
            return FailAborted;
        }
    }
    return std::nullopt;
}

void KVPItemRequest::bytesReceived(uint32_t) { }

void KVPItemRequest::bytesSent(uint32_t) { }

} // namespace korvane::KVP
