#include "KVPFixtureReadRequest.h"

#include "DeviceRecordLayout.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "TransferProgress.h"

#include <QByteArray>

#include <memory>

namespace korvane::KVP {

KVPFixtureReadRequest::KVPFixtureReadRequest(QObject* parent) : KVPItemRequest(parent) { }

KVPFixtureReadRequest::~KVPFixtureReadRequest()
{
    qDeleteAll(m_results);
}

void KVPFixtureReadRequest::addDefinition(QKVRemoteFixtureDefinition* definition)
{
    m_toRead.append(definition);
}

bool KVPFixtureReadRequest::prepare(KVPLink&)
{
    qDeleteAll(m_results);
    m_results.clear();
    return true;
}

bool KVPFixtureReadRequest::runItem(KVPLink& link, qsizetype index)
{
    const QKVRemoteFixtureDefinition& entry = *m_toRead.at(index);
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

void KVPFixtureReadRequest::bytesReceived(uint32_t total)
{
    Q_EMIT progressCurrent(transferPercent(total, m_expectedBytes));
}

} // namespace korvane::KVP
