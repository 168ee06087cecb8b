#include "KVPWorkerThread.h"

#include "KVPLink.h"
#include "KVPPhy.h"
#include "KVPPingRequest.h"
#include "KVPSelectDeviceRequest.h"

#include <QDebug>
#include <QMetaType>

namespace korvane::KVP {

KVPWorkerThread::KVPWorkerThread(QObject* parent)
    : QThread(parent)
    , pingRequest(new KVPPingRequest(this))
    , discoverRequest(new KVPDiscoverRequest(this))
    , selectRequest(new KVPSelectDeviceRequest(this))
    , pingParams {&link}
    , selectParams {&link, &phy, QString()}
    , discoverParams {&link, &phy}
    , generalParams {&link}
{
    // Receivers connect by this name, and the reason crosses threads in queued calls.
    qRegisterMetaType<KVPWorkerRequestI::failReason>("KVPWorkerRequestI::failReason");
    qRegisterMetaType<uint16_t>("uint16_t");

    // Direct: the slots run on the worker thread, inside the request's work, so the
    // connection is dropped before the next request is chosen.
    constexpr auto Direct = Qt::DirectConnection;
    connect(pingRequest, &KVPWorkerRequestI::workDone, this, &KVPWorkerThread::pingFinished, Direct);
    connect(discoverRequest, &KVPWorkerRequestI::workDone, this, &KVPWorkerThread::discoverFinished, Direct);
    connect(selectRequest, &KVPWorkerRequestI::workDone, this, &KVPWorkerThread::selectDeviceFinished, Direct);
    connect(pingRequest, &KVPWorkerRequestI::failed, this, &KVPWorkerThread::pingFailed, Direct);
    connect(discoverRequest, &KVPWorkerRequestI::failed, this, &KVPWorkerThread::discoverFailed, Direct);
    connect(selectRequest, &KVPWorkerRequestI::failed, this, &KVPWorkerThread::selectDeviceFailed, Direct);
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
    pending = request;
    pendingParams = params;
    wakeUp.notify_all();
}

void KVPWorkerThread::submitRequest(KVPWorkerRequestI* request)
{
    QMutexLocker lock(&mutex);
    request->worker = this;
    handOver(request, &generalParams);
}

void KVPWorkerThread::forgetRequest(KVPWorkerRequestI* request)
{
    QMutexLocker lock(&mutex);
    if (pending == request) {
        pending = nullptr;
        pendingParams = nullptr;
    }
    if (current == request) {
        current = nullptr;
        currentParams = nullptr;
    }
}

void KVPWorkerThread::discoverDevices()
{
    QMutexLocker lock(&mutex);
    handOver(discoverRequest, &discoverParams);
}

void KVPWorkerThread::selectDevice(const QString& address)
{
    QMutexLocker lock(&mutex);
    pendingSelectAddress = address;
    handOver(selectRequest, &selectParams);
}

void KVPWorkerThread::abortCurrentRequest()
{
    QMutexLocker lock(&mutex);
    if (current) {
        current->abort();
    }
}

void KVPWorkerThread::stopWorker()
{
    stopRequested.store(true);
    abortCurrentRequest();
    QMutexLocker lock(&mutex);
    wakeUp.notify_all();
}

KVPDiscoverRequest::DeviceList KVPWorkerThread::discoveredDevices() const
{
    QMutexLocker lock(&mutex);
    return discovered;
}

std::optional<uint16_t> KVPWorkerThread::discoveredFirmwareVersion(const QString& address) const
{
    QMutexLocker lock(&mutex);
    const auto found = discoveredFirmware.constFind(address);
    return found == discoveredFirmware.cend() ? std::nullopt : std::optional<uint16_t>(*found);
}

void KVPWorkerThread::run()
{
    // Local copies: `current` itself may be cleared by the GUI thread (forgetRequest)
    // while the request reports.
    KVPWorkerRequestI* request = nullptr;
    void* params = nullptr;
    while (chooseNext(request, params)) {
        request->work(params);
    }
    recycle();
    // Cleared here rather than on entry, so a stop asked for before the thread got
    // going is not lost; the worker can be started again afterwards.
    stopRequested.store(false);
}

bool KVPWorkerThread::chooseNext(KVPWorkerRequestI*& request, void*& params)
{
    QMutexLocker lock(&mutex);
    if (request) {
        // Whatever just ran has talked to the device (or found none): the next
        // supervision ping can wait its interval.
        lastTraffic = Clock::now();
    }
    // The request that just ran may be destroyed by its owner as soon as it has
    // reported; an abort must not reach it any more.
    current = nullptr;
    currentParams = nullptr;
    for (;;) {
        if (stopRequested.load()) {
            return false;
        }
        if (pending) {
            current = pending;
            currentParams = pendingParams;
            pending = nullptr;
            pendingParams = nullptr;
            if (current == selectRequest) {
                selectParams.address = pendingSelectAddress;
            }
            break;
        }
        // `link` changes on this thread only, so it is safe to look at here.
        if (!link) {
            // Nothing to watch: sleep until a request or a stop arrives.
            wakeUp.wait(mutex);
            continue;
        }
        const auto due = lastTraffic + PingInterval;
        const auto now = Clock::now();
        if (now >= due) {
            lastTraffic = now;
            current = pingRequest;
            currentParams = &pingParams;
            break;
        }
        wakeUp.wait_until(mutex, due);
    }
    request = current;
    params = currentParams;
    return true;
}

void KVPWorkerThread::recycle()
{
    qDebug() << "Recycling Kvp";
    dropConnection(link, phy);
}

void KVPWorkerThread::publishDiscoveredDevices()
{
    QMutexLocker lock(&mutex);
    discovered = discoverRequest->devices();
    discoveredFirmware = discoverRequest->firmwareVersions();
}

void KVPWorkerThread::pingFinished() { }

void KVPWorkerThread::discoverFinished()
{
    publishDiscoveredDevices();
    emit deviceDiscoverFinsihed();
}

void KVPWorkerThread::selectDeviceFinished()
{
    emit deviceSelectionFinished(selectRequest->firmwareVersion(), selectRequest->hardwareVersion());
}

void KVPWorkerThread::pingFailed(KVPWorkerRequestI::failReason)
{
    // One failed ping is enough: a device that missed a whole reply timeout is gone or
    // hung, and the user has to select it again either way.
    recycle();
    emit lostConnection();
}

void KVPWorkerThread::discoverFailed(KVPWorkerRequestI::failReason)
{
    publishDiscoveredDevices();
    emit deviceDiscoverFinsihed();
}

void KVPWorkerThread::selectDeviceFailed(KVPWorkerRequestI::failReason)
{
    emit deviceSelectionFinished(selectRequest->firmwareVersion(), selectRequest->hardwareVersion());
}

} // namespace korvane::KVP
