#include "KVPUpdateFirmwareRequest.h"

#include "DeviceCapabilities.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPObserverGuard.h"

#include <QDebug>

#include <algorithm>

namespace korvane::KVP {

namespace {

constexpr int FullPercent = 100;

} // namespace

KVPUpdateFirmwareRequest::KVPUpdateFirmwareRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPUpdateFirmwareRequest::setUpdateFile(FirmwareUpdateFile* file)
{
    m_updateFile = file;
}

void KVPUpdateFirmwareRequest::work(void* params)
{
    m_bytesDone = 0;
    m_currentBlock = {};
    KVPLink* link = linkOrFail(params);
    if (!link) {
        return;
    }
    if (!m_updateFile) {
        Q_EMIT failed(FailGeneral);
        return;
    }
    // The identity exchange also tells the link the device's frame size for the blocks.
    const QString model = queryModelName(*link);
    if (model.isEmpty() || !m_updateFile->containsUpdateFor(model)) {
        Q_EMIT failed(FailGeneral);
        return;
    }
    if (sendUpdate(*link)) {
        Q_EMIT workDone();
    } else {
        Q_EMIT failed(FailGeneral);
    }
}

bool KVPUpdateFirmwareRequest::sendUpdate(KVPLink& link)
{
    const KVPObserverGuard observing(link, *this);
    m_currentBlock = m_updateFile->headerBlock();
    const KVPSendResult header
        = link.sendData(m_currentBlock.data, m_currentBlock.length, Command::FirmwareHeader, Command::NoParameter);
    if (header.status != StatusOk) {
        qDebug() << "sending the header failed" << int(header.status)
                 << QStringLiteral("%1").arg(header.code, 0, 16); // qDebug adds the quotes
        return false;
    }

    const int count = m_updateFile->sectorCount();
    for (int i = 0; i < count; ++i) {
        m_currentBlock = m_updateFile->sector(i);
        if (!m_currentBlock.data || m_currentBlock.length == 0) {
            qDebug() << "sector" << i << "is corrupted";
            return false;
        }
        const KVPSendResult result = link.sendData(
            m_currentBlock.data, m_currentBlock.length, Command::FirmwareSector, static_cast<uint16_t>(i));
        if (result.status == StatusOk) {
            continue;
        }
        // A device that has just taken its new firmware restarts instead of answering the
        // very last frame. Only then has every byte been counted as sent; a silence any
        // earlier, or a refusal of that frame, is a failed update.
        if (result.status == StatusNoValidReply && i + 1 == count && m_bytesDone == m_updateFile->transferSize()) {
            return true;
        }
        qDebug() << "sending sector" << i << "failed - Error:" << int(result.status)
                 << "nack reason:" << int(result.code);
        return false;
    }
    return true;
}

void KVPUpdateFirmwareRequest::bytesReceived(uint32_t)
{
    // Only status replies come back while updating.
}

void KVPUpdateFirmwareRequest::bytesSent(uint32_t total)
{
    if (!m_updateFile) {
        return;
    }
    const int32_t size = m_updateFile->transferSize();
    const float fraction = static_cast<float>(static_cast<int64_t>(m_bytesDone) + total) / static_cast<float>(size);
    const int percent = std::clamp(static_cast<int>(fraction * FullPercent), 0, FullPercent);
    Q_EMIT progress(percent);
    // A block counts only when the link reports all of it; the next transfer counts on top.
    if (total == m_currentBlock.length) {
        m_bytesDone += static_cast<int32_t>(total);
    }
}

} // namespace korvane::KVP
