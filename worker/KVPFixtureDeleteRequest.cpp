#include "KVPFixtureDeleteRequest.h"

#include "DeviceCapabilities.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "QKVRemoteFixtureDefinition.h"

namespace korvane::KVP {

KVPFixtureDeleteRequest::KVPFixtureDeleteRequest(QObject* parent) : KVPItemRequest(parent) { }

void KVPFixtureDeleteRequest::addDefinition(QKVRemoteFixtureDefinition* definition)
{
    m_toDelete.append(definition);
}

bool KVPFixtureDeleteRequest::prepare(KVPLink& link)
{
    if (!supportsLibraryAccess(&link)) {
        Q_EMIT failed(FailGeneral);
        return false;
    }
    return true;
}

bool KVPFixtureDeleteRequest::runItem(KVPLink& link, qsizetype index)
{
    return link.request(Command::FixtureDelete, m_toDelete.at(index)->recordNumber()).status == StatusOk;
}

} // namespace korvane::KVP
