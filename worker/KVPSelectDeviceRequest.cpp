#include "KVPSelectDeviceRequest.h"

#include "KVPDeviceIdentity.h"
#include "KVPLink.h"
#include "KVPPhyFtdi.h"
#include "KVPWorkerParams.h"

#include <QFile>

namespace korvane::KVP {

KVPSelectDeviceRequest::KVPSelectDeviceRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPSelectDeviceRequest::work(void* params)
{
    auto* block = static_cast<KVPSelectParams*>(params);
    dropConnection(*block->link, *block->phy);

    auto phy = std::make_unique<KVPPhyFtdi>();
    phy->open(QFile::encodeName(block->address).toStdString());
    *block->link = std::make_unique<KVPLink>(phy.get(), RxCapacity);
    applyReplyTimeoutSetting(**block->link);
    *block->phy = std::move(phy);

    m_fwVersion = UnknownVersion;
    m_hwVersion = UnknownVersion;
    const KVPReply reply = (*block->link)->ping();
    if (reply.status == StatusOk) {
        if (const auto identity = KVPDeviceIdentity::fromBytes(reply.data.data(), reply.data.size())) {
            m_fwVersion = identity->firmwareVersion;
            m_hwVersion = identity->hardwareVersion;
        }
    }
    Q_EMIT workDone();
}

} // namespace korvane::KVP
