#include "KVPFixtureDefinitionListRequest.h"

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
    if (m_result.status == StatusOk) {
        emit receivedData(m_result.data.data(), static_cast<int>(m_result.length));
    } else {
        emit failed(FailGeneral);
    }
}

} // namespace korvane::KVP
