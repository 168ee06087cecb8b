#include "KVPFixtureDefinitionListRequest.h"

#include "DeviceRecord.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

namespace {

/// The list command takes no parameter.
constexpr uint16_t ListParameter = 0;

} // namespace

KVPFixtureDefinitionListRequest::KVPFixtureDefinitionListRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPFixtureDefinitionListRequest::work(void* params)
{
    KVPLink* link = static_cast<KVPLinkParams*>(params)->link->get();
    if (!link) {
        emit failed(FailGeneral);
        return;
    }
    m_result = link->requestMulti(Command::FixtureList, ListParameter);
    // A count that does not match the bytes means entries were lost or added on the way;
    // no receiver could tell which entry is which, so the list is refused whole.
    const QByteArray payload = QByteArray::fromRawData(reinterpret_cast<const char*>(m_result.data.data()),
                                                       static_cast<qsizetype>(m_result.data.size()));
    if (m_result.status == StatusOk && DeviceRecord::listEntryCount(payload) >= 0) {
        emit receivedData(m_result.data.data(), static_cast<int>(m_result.length));
    } else {
        emit failed(FailGeneral);
    }
}

} // namespace korvane::KVP
