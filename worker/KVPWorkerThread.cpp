#include "KVPWorkerThread.h"

#include "D2xxBackend.h"
#include "KVPLink.h"
#include "KVPPhy.h"
#include "KVPPingRequest.h"
#include "KVPSelectDeviceRequest.h"

#include <QDebug>
#include <QMetaType>

namespace korvane::KVP {

KVPWorkerThread::KVPWorkerThread(QObject* parent)
    : QThread(parent)
    , m_pingRequest(new KVPPingRequest(this))
    , m_discoverRequest(new KVPDiscoverRequest(this))
    , m_selectRequest(new KVPSelectDeviceRequest(this))
    , m_pingParams {&m_link}
    , m_selectParams {&m_link, &m_phy, QString()}
    , m_discoverParams {&m_link, &m_phy}
    , m_generalParams {&m_link}
{
    // Receivers connect by this name, and the reason crosses threads in queued calls.
    qRegisterMetaType<KVPWorkerRequestI::failReason>("KVPWorkerRequestI::failReason");
    qRegisterMetaType<uint16_t>("uint16_t");

    // What the USB libraries say when a call fails joins the program's other diagnostics,
    // which stay silent unless QRD_DEBUG asks for them. The sink holds no state, so every
    // worker may set it and none has to take it back.
    setD2xxDiagnosticSink([](const std::string& text) { qDebug().noquote() << QString::fromStdString(text); });

    // Direct: the slots run on the worker thread, inside the request's work, so the
    // connection is dropped before the next request is chosen.
    constexpr auto Direct = Qt::DirectConnection;
    connect(m_pingRequest, &KVPWorkerRequestI::workDone, this, &KVPWorkerThread::pingFinished, Direct);
    connect(m_discoverRequest, &KVPWorkerRequestI::workDone, this, &KVPWorkerThread::discoverFinished, Direct);
    connect(m_selectRequest, &KVPWorkerRequestI::workDone, this, &KVPWorkerThread::selectDeviceFinished, Direct);
    connect(m_pingRequest, &KVPWorkerRequestI::failed, this, &KVPWorkerThread::pingFailed, Direct);
    connect(m_discoverRequest, &KVPWorkerRequestI::failed, this, &KVPWorkerThread::discoverFailed, Direct);
    connect(m_selectRequest, &KVPWorkerRequestI::failed, this, &KVPWorkerThread::selectDeviceFailed, Direct);
}

KVPWorkerThread::~KVPWorkerThread()
{
    // An owner that forgot to wait for finished() must not leave the thread running
    // over freed members.
    if (isRunning()) {
        stopWorker();
        wait();
    }
    recycle();
    // The built-in requests are children and go with QObject's destructor.
}

void KVPWorkerThread::handOver(KVPWorkerRequestI* request, void* params)
{
    m_pending = request;
    m_pendingParams = params;
    m_wakeUp.notify_all();
}

void KVPWorkerThread::submitRequest(KVPWorkerRequestI* request)
{
    QMutexLocker lock(&m_mutex);
    request->m_worker = this;
    handOver(request, &m_generalParams);
}

void KVPWorkerThread::forgetRequest(KVPWorkerRequestI* request)
{
    QMutexLocker lock(&m_mutex);
    if (m_pending == request) {
        m_pending = nullptr;
        m_pendingParams = nullptr;
    }
    if (m_current == request) {
        m_current = nullptr;
        m_currentParams = nullptr;
    }
}

void KVPWorkerThread::discoverDevices()
{
    QMutexLocker lock(&m_mutex);
    handOver(m_discoverRequest, &m_discoverParams);
}

void KVPWorkerThread::selectDevice(const QString& address)
{
    QMutexLocker lock(&m_mutex);
    m_pendingSelectAddress = address;
    handOver(m_selectRequest, &m_selectParams);
}

void KVPWorkerThread::abortCurrentRequest()
{
    QMutexLocker lock(&m_mutex);
    if (m_current) {
        m_current->abort();
    }
}

void KVPWorkerThread::stopWorker()
{
    m_stopRequested.store(true);
    abortCurrentRequest();
    QMutexLocker lock(&m_mutex);
    m_wakeUp.notify_all();
}

KVPDiscoverRequest::DeviceList KVPWorkerThread::discoveredDevices() const
{
    QMutexLocker lock(&m_mutex);
    return m_discovered;
}

std::optional<uint16_t> KVPWorkerThread::discoveredFirmwareVersion(const QString& address) const
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_discoveredFirmware.constFind(address);
    return found == m_discoveredFirmware.cend() ? std::nullopt : std::optional<uint16_t>(*found);
}

void KVPWorkerThread::run()
{
    // Local copies: `m_current` itself may be cleared by the GUI thread (forgetRequest)
    // while the request reports.
    KVPWorkerRequestI* request = nullptr;
    void* params = nullptr;
    while (chooseNext(request, params)) {
        request->work(params);
    }
    recycle();
    // Cleared here rather than on entry, so a stop asked for before the thread got
    // going is not lost; the worker can be started again afterwards.
    m_stopRequested.store(false);
}

bool KVPWorkerThread::chooseNext(KVPWorkerRequestI*& request, void*& params)
{
    QMutexLocker lock(&m_mutex);
    if (request) {
        // Whatever just ran has talked to the device (or found none): the next
        // supervision ping can wait its interval.
        m_lastTraffic = Clock::now();
    }
    // The request that just ran may be destroyed by its owner as soon as it has
    // reported; an abort must not reach it any more.
    m_current = nullptr;
    m_currentParams = nullptr;
    for (;;) {
        if (m_stopRequested.load()) {
            return false;
        }
        if (m_pending) {
            m_current = m_pending;
            m_currentParams = m_pendingParams;
            m_pending = nullptr;
            m_pendingParams = nullptr;
            if (m_current == m_selectRequest) {
                m_selectParams.address = m_pendingSelectAddress;
            }
            break;
        }
        // `m_link` changes on this thread only, so it is safe to look at here.
        if (!m_link) {
            // Nothing to watch: sleep until a request or a stop arrives.
            m_wakeUp.wait(m_mutex);
            continue;
        }
        const auto due = m_lastTraffic + PingInterval;
        const auto now = Clock::now();
        if (now >= due) {
            m_lastTraffic = now;
            m_current = m_pingRequest;
            m_currentParams = &m_pingParams;
            break;
        }
        m_wakeUp.wait_until(m_mutex, due);
    }
    request = m_current;
    params = m_currentParams;
    return true;
}

void KVPWorkerThread::recycle()
{
    qDebug() << "Recycling Kvp";
    dropConnection(m_link, m_phy);
}

void KVPWorkerThread::publishDiscoveredDevices()
{
    QMutexLocker lock(&m_mutex);
    m_discovered = m_discoverRequest->devices();
    m_discoveredFirmware = m_discoverRequest->firmwareVersions();
}

void KVPWorkerThread::pingFinished() { }

void KVPWorkerThread::discoverFinished()
{
    publishDiscoveredDevices();
    Q_EMIT deviceDiscoverFinsihed();
}

void KVPWorkerThread::selectDeviceFinished()
{
    Q_EMIT deviceSelectionFinished(m_selectRequest->firmwareVersion(), m_selectRequest->hardwareVersion());
}

void KVPWorkerThread::pingFailed(KVPWorkerRequestI::failReason)
{
    // One failed ping is enough: a device that missed a whole reply timeout is gone or
    // hung, and the user has to select it again either way.
    recycle();
    Q_EMIT lostConnection();
}

void KVPWorkerThread::discoverFailed(KVPWorkerRequestI::failReason)
{
    publishDiscoveredDevices();
    Q_EMIT deviceDiscoverFinsihed();
}

void KVPWorkerThread::selectDeviceFailed(KVPWorkerRequestI::failReason)
{
    Q_EMIT deviceSelectionFinished(m_selectRequest->firmwareVersion(), m_selectRequest->hardwareVersion());
}

} // namespace korvane::KVP
