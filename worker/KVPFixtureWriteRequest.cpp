#include "KVPFixtureWriteRequest.h"

#include "DeviceCapabilities.h"
#include "DeviceFit.h"
#include "DeviceMemoryStatus.h"
#include "DeviceRecord.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "QKVFixtureDefinition.h"
#include "TransferProgress.h"

namespace korvane::KVP {

KVPFixtureWriteRequest::KVPFixtureWriteRequest(QObject* parent) : KVPItemRequest(parent) { }

void KVPFixtureWriteRequest::addDefinition(QKVFixtureDefinition* definition)
{
    m_toWrite.append(definition);
}

bool KVPFixtureWriteRequest::channelCountsFit() const
{
    for (const QKVFixtureDefinition* definition : m_toWrite) {
        if (!DeviceFit::channelCountAccepted(definition->channelCount())) {
            return false;
        }
    }
    return true;
}

bool KVPFixtureWriteRequest::prepare(KVPLink& link)
{
    if (!supportsLibraryAccess(&link)) {
        Q_EMIT failed(FailGeneral);
        return false;
    }
    bool patchNotEmpty = false;
    switch (queryMemoryStatus(link, static_cast<int>(m_toWrite.size()), patchNotEmpty)) {
        case MemoryStatus::Enough:
            break;
        case MemoryStatus::TooFewSlots:
            Q_EMIT failedNotEnoughMemory();
            return false;
        case MemoryStatus::NoAnswer:
            // The slots are unknown: telling the user the device is full would send them
            // deleting definitions for nothing.
            Q_EMIT failed(FailGeneral);
            return false;
    }
    if (patchNotEmpty) {
        Q_EMIT failedPatchNeedsToBeCleared();
        return false;
    }
    if (!channelCountsFit()) {
        Q_EMIT failedChannelRequirements();
        return false;
    }
    return true;
}

bool KVPFixtureWriteRequest::runItem(KVPLink& link, qsizetype index)
{
    m_record = DeviceRecord::buildRecord(*m_toWrite.at(index));
    const KVPSendResult result = link.sendData(reinterpret_cast<const uint8_t*>(m_record.constData()),
                                               DeviceRecord::RecordLength,
                                               Command::FixtureRecord,
                                               Command::NoParameter);
    return result.status == StatusOk;
}

void KVPFixtureWriteRequest::bytesSent(uint32_t total)
{
    Q_EMIT progressCurrent(transferPercent(total, DeviceRecord::RecordLength));
}

} // namespace korvane::KVP
