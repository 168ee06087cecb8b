#include "KVPUpdateFirmwareRequest.h"

#include "DeviceCapabilities.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"

#include <QDebug>

#include <algorithm>

namespace korvane::KVP {

namespace {

/// The device takes the header block as one transfer without a parameter.
constexpr uint16_t HeaderParameter = 0;
constexpr int FullPercent = 100;

} // namespace

KVPUpdateFirmwareRequest::KVPUpdateFirmwareRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

void KVPUpdateFirmwareRequest::setUpdateFile(FirmwareUpdateFile* file)
{
    m_updateFile = file;
}

void KVPUpdateFirmwareRequest::work(void* params)
{
    KVPLink* link = params ? static_cast<KVPLinkParams*>(params)->link->get() : nullptr;
    if (!link) {
        emit failed(FailGeneral);
        return;
    }
    bytesDone = 0;
    currentBlock = {};
    if (!m_updateFile) {
        emit failed(FailGeneral);
        return;
    }
    // The identity exchange also tells the link the device's frame size for the blocks.
    const QString model = queryModelName(*link);
    if (model.isEmpty() || !m_updateFile->containsUpdateFor(model)) {
        emit failed(FailGeneral);
        return;
    }

    // The observer is gone before any outcome is reported, so a receiver may delete the
    // request at once without the link still pointing at it.
    link->addObserver(this);
    const auto fail = [this, link] {
        link->removeObserver(this);
        emit failed(FailGeneral);
    };

    currentBlock = m_updateFile->headerBlock();
    const KVPSendResult header
        = link->sendData(currentBlock.data, currentBlock.length, Command::FirmwareHeader, HeaderParameter);
    if (header.status != StatusOk) {
        qDebug() << "sending the header failed" << int(header.status)
                 << QStringLiteral("%1").arg(header.code, 0, 16); // qDebug adds the quotes
        fail();
        return;
    }

    const int count = m_updateFile->sectorCount();
    for (int i = 0; i < count; ++i) {
        currentBlock = m_updateFile->sector(i);
        if (!currentBlock.data || currentBlock.length == 0) {
            qDebug() << "sector" << i << "is corrupted";
            fail();
            return;
        }
        const KVPSendResult result
            = link->sendData(currentBlock.data, currentBlock.length, Command::FirmwareSector, static_cast<uint16_t>(i));
        if (result.status == StatusOk) {
            continue;
        }
        // A device that has just taken its new firmware restarts instead of answering the
        // very last frame. Only then has every byte been counted as sent; a silence any
        // earlier, or a refusal of that frame, is a failed update.
        if (result.status == StatusNoValidReply && i + 1 == count && bytesDone == m_updateFile->transferSize()) {
            link->removeObserver(this);
            emit workDone();
            return;
        }
        qDebug() << "sending sector" << i << "failed - Error:" << int(result.status)
                 << "nack reason:" << int(result.code);
        fail();
        return;
    }
    link->removeObserver(this);
    emit workDone();
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
    const float fraction = static_cast<float>(static_cast<int64_t>(bytesDone) + total) / static_cast<float>(size);
    const int percent = std::clamp(static_cast<int>(fraction * FullPercent), 0, FullPercent);
    emit progress(percent);
    // A block counts only when the link reports all of it; the next transfer counts on top.
    if (total == currentBlock.length) {
        bytesDone += static_cast<int32_t>(total);
    }
}

} // namespace korvane::KVP
