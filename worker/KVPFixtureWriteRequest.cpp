#include "KVPFixtureWriteRequest.h"

#include "DeviceCapabilities.h"
#include "DeviceFit.h"
#include "DeviceMemoryStatus.h"
#include "DeviceRecord.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"
#include "QKVFixtureDefinition.h"
#include "TransferProgress.h"

#include <QDebug>

namespace korvane::KVP {

namespace {

/// The device picks the slot itself; the write command's parameter carries nothing.
constexpr uint16_t WriteParameter = 0;

} // namespace

KVPFixtureWriteRequest::KVPFixtureWriteRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

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

void KVPFixtureWriteRequest::work(void* params)
{
    m_written = 0;
    KVPLink* link = params ? static_cast<KVPLinkParams*>(params)->link->get() : nullptr;
    if (!link || !supportsLibraryAccess(link)) {
        emit failed(FailGeneral);
        return;
    }
    bool patchNotEmpty = false;
    switch (queryMemoryStatus(*link, static_cast<int>(m_toWrite.size()), patchNotEmpty)) {
        case MemoryStatus::Enough:
            break;
        case MemoryStatus::TooFewSlots:
            emit failedNotEnoughMemory();
            return;
        case MemoryStatus::NoAnswer:
            // The slots are unknown: telling the user the device is full would send them
            // deleting definitions for nothing.
            emit failed(FailGeneral);
            return;
    }
    if (patchNotEmpty) {
        qDebug() << "We need to clear the patch list";
        emit failedPatchNeedsToBeCleared();
        return;
    }
    if (!channelCountsFit()) {
        emit failedChannelRequirements();
        return;
    }

    // The observer is gone before any outcome is reported, so a receiver may delete the
    // request at once without the link still pointing at it.
    link->addObserver(this);
    const qsizetype count = m_toWrite.size();
    for (qsizetype i = 0; i < count; ++i) {
        m_record = DeviceRecord::buildRecord(*m_toWrite.at(i));
        const KVPSendResult result = link->sendData(reinterpret_cast<const uint8_t*>(m_record.constData()),
                                                    DeviceRecord::RecordLength,
                                                    Command::FixtureRecord,
                                                    WriteParameter);
        if (result.status != StatusOk) {
            link->removeObserver(this);
            emit failed(FailGeneral);
            return;
        }
        m_written = static_cast<int>(i + 1);
        emit progressTotal(transferPercent(i + 1, count));
        // Seen only between records: a record cut short would leave a half-written slot.
        if (isAbortRequested()) {
            link->removeObserver(this);
            emit failed(FailAborted);
            return;
        }
    }
    link->removeObserver(this);
    emit workDone();
}

void KVPFixtureWriteRequest::bytesReceived(uint32_t)
{
    // Only status replies come back while writing.
}

void KVPFixtureWriteRequest::bytesSent(uint32_t total)
{
    emit progressCurrent(transferPercent(total, DeviceRecord::RecordLength));
}

} // namespace korvane::KVP
