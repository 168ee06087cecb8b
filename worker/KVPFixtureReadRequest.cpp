#include "KVPFixtureReadRequest.h"

#include "DeviceRecordLayout.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPWorkerParams.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "TransferProgress.h"

#include <QByteArray>
#include <QDebug>

#include <memory>

namespace korvane::KVP {

KVPFixtureReadRequest::KVPFixtureReadRequest(QObject* parent) : KVPWorkerRequestI(parent) { }

KVPFixtureReadRequest::~KVPFixtureReadRequest()
{
    qDeleteAll(m_results);
}

void KVPFixtureReadRequest::addDefinition(QKVRemoteFixtureDefinition* definition)
{
    m_toRead.append(definition);
}

bool KVPFixtureReadRequest::readOne(KVPLink& link, const QKVRemoteFixtureDefinition& entry)
{
    m_expectedBytes = static_cast<uint32_t>(DeviceRecord::usedLength(entry.channelCount()));
    const KVPReply reply = link.requestMulti(Command::FixtureRecord, entry.recordNumber());
    if (reply.status != StatusOk) {
        return false;
    }
    // The list promised this many channels; a record that stops early lost its tail on
    // the way. fromDeviceRecord checks the record against its own channel count as well
    // and never reads past the bytes it is given.
    if (reply.data.size() < m_expectedBytes) {
        return false;
    }
    const QByteArray record(reinterpret_cast<const char*>(reply.data.data()),
                            static_cast<qsizetype>(reply.data.size()));
    auto definition = std::make_unique<QKVFixtureDefinition>();
    if (!definition->fromDeviceRecord(record)) {
        return false;
    }
    // Made here on the worker thread, but handed to the GUI with the request: give it the
    // request's thread, so the receiver may copy, connect and delete it as its own.
    definition->moveToThread(thread());
    m_results.append(definition.release());
    return true;
}

void KVPFixtureReadRequest::work(void* params)
{
    KVPLink* link = params ? static_cast<KVPLinkParams*>(params)->link->get() : nullptr;
    if (!link) {
        qDebug() << " Fixture read request failed";
        emit failed(FailGeneral);
        return;
    }
    qDeleteAll(m_results);
    m_results.clear();

    // The observer is gone before any outcome is reported, so a receiver may delete the
    // request at once without the link still pointing at it.
    link->addObserver(this);
    const qsizetype count = m_toRead.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (!readOne(*link, *m_toRead.at(i))) {
            link->removeObserver(this);
            emit failed(FailGeneral);
            return;
        }
        emit progressTotal(transferPercent(i + 1, count));
        if (isAbortRequested()) {
            link->removeObserver(this);
            emit failed(FailAborted);
            return;
        }
    }
    link->removeObserver(this);
    emit workDone();
}

void KVPFixtureReadRequest::bytesReceived(uint32_t total)
{
    emit progressCurrent(transferPercent(total, m_expectedBytes));
}

void KVPFixtureReadRequest::bytesSent(uint32_t)
{
    // Reading sends only requests, no data.
}

} // namespace korvane::KVP
