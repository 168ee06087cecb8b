#include "KVPDiscoverRequest.h"

#include "DeviceCapabilities.h"
#include "KVPAddress.h"
#include "KVPDeviceIdentity.h"
#include "KVPLink.h"
#include "KVPPhyFtdi.h"
#include "KVPWorkerParams.h"

namespace korvane::KVP {

KVPDiscoverRequest::KVPDiscoverRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPDiscoverRequest::work(void* params)
{
    auto* block = static_cast<KVPConnectionParams*>(params);
    if (!block || !block->link || !block->phy) {
        Q_EMIT failed(FailGeneral);
        return;
    }
    dropConnection(*block->link, *block->phy);
    m_devices.clear();
    m_firmwareVersions.clear();

    KVPPhyFtdi phy;
    KVPLink link(&phy, RxCapacity);
    applyReplyTimeoutSetting(link);
    const int count = phy.scan();
    bool allAnswered = true;
    for (int i = 0; i < count; ++i) {
        const std::string address = ftdiAddress(i);
        phy.close();
        phy.openIndex(i);
        const KVPReply reply = link.ping();
        if (reply.status != StatusOk) {
            // A silent device must not hide the ones behind it.
            allAnswered = false;
            continue;
        }
        // A short identity is not ours to list, but the device did answer.
        if (reply.data.size() == KVPDeviceIdentity::Length) {
            const auto identity = KVPDeviceIdentity::fromBytes(reply.data.data(), reply.data.size());
            m_devices.append({modelNameOf(*identity), QString::fromStdString(address)});
            m_firmwareVersions.insert(QString::fromStdString(address), identity->firmwareVersion);
        }
    }
    phy.close();

    if (allAnswered) {
        Q_EMIT workDone();
    } else {
        Q_EMIT failed(FailGeneral);
    }
}

} // namespace korvane::KVP
