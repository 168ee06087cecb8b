#include "KVPFixtureDefinitionListRequest.h"

#include "DeviceRecord.h"
#include "KVPFrame.h"
#include "KVPLink.h"

namespace korvane::KVP {

KVPFixtureDefinitionListRequest::KVPFixtureDefinitionListRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPFixtureDefinitionListRequest::work(void* params)
{
    KVPLink* link = linkOrFail(params);
    if (!link) {
        return;
    }
    m_result = link->requestMulti(Command::FixtureList, Command::NoParameter);
    // A count that does not match the bytes means entries were lost or added on the way;
    // no receiver could tell which entry is which, so the list is refused whole.
    const QByteArray payload = QByteArray::fromRawData(reinterpret_cast<const char*>(m_result.data.data()),
                                                       static_cast<qsizetype>(m_result.data.size()));
    if (m_result.status == StatusOk && DeviceRecord::listEntryCount(payload) >= 0) {
        Q_EMIT receivedData(m_result.data.data(), static_cast<int>(m_result.length));
    } else {
        Q_EMIT failed(FailGeneral);
    }
}

} // namespace korvane::KVP
