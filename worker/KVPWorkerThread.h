#pragma once

#include "KVPDiscoverRequest.h"
#include "KVPWorkerParams.h"
#include "KVPWorkerRequestI.h"

#include <QMutex>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <optional>

namespace korvane::KVP {

class KVPLink;
class KVPPhy;
class KVPPingRequest;
class KVPSelectDeviceRequest;

/// The thread that carries all device traffic, so the GUI never blocks on USB. It owns
/// the connection, runs one request at a time, and while connected and idle pings the
/// device to notice when it goes away.
///
/// Hand-over has one pending slot: a request handed over while another is still pending
/// replaces it, and the replaced one never runs nor reports. The caller keeps ownership
/// of a submitted request and must not destroy it while it runs; destroying it after it
/// has reported, or while it still waits, is safe (a waiting one is withdrawn).
///
/// The public operations may be called from the GUI thread. Signals are emitted on the
/// worker thread and reach GUI receivers as queued calls.
class KVPWorkerThread : public QThread
{
    Q_OBJECT

public:
    /// The least time between two supervision pings. Back-to-back pings would keep the
    /// USB bus busy for nothing; a tenth of a second still notices an unplugged device
    /// long before the user does.
    static constexpr std::chrono::milliseconds PingInterval {100};

    explicit KVPWorkerThread(QObject* parent = nullptr);
    /// Owners wait for `finished()` first; a thread still running is stopped and joined
    /// here rather than left working on freed members.
    ~KVPWorkerThread() override;

    /// Queues `request` to run with the open link.
    void submitRequest(KVPWorkerRequestI* request);
    /// Queues a discovery; ends with `deviceDiscoverFinsihed()`.
    void discoverDevices();
    /// Queues the selection of the device at `address`; ends with `deviceSelectionFinished`.
    void selectDevice(const QString& address);
    /// Sets the abort flag of the running request, if any.
    void abortCurrentRequest();
    /// Ends the thread after the running request returns; `finished()` follows.
    void stopWorker();
    /// The devices found by the last discovery, as (model name, address).
    KVPDiscoverRequest::DeviceList discoveredDevices() const;
    /// The firmware version of a device the last discovery listed; nothing for others.
    std::optional<uint16_t> discoveredFirmwareVersion(const QString& address) const;

Q_SIGNALS:
    void lostConnection();
    void deviceDiscoverFinsihed();
    void deviceSelectionFinished(uint16_t fwVersion, uint16_t hwVersion);

private Q_SLOTS:
    void pingFinished();
    void discoverFinished();
    void selectDeviceFinished();
    void pingFailed(KVPWorkerRequestI::failReason reason);
    void discoverFailed(KVPWorkerRequestI::failReason reason);
    void selectDeviceFailed(KVPWorkerRequestI::failReason reason);

protected:
    void run() override;

private:
    using Clock = std::chrono::steady_clock;
    friend class KVPWorkerRequestI;

    /// Takes the next request, waiting while there is nothing to do. `request` comes in
    /// as the one that just ran (or null). Returns false when a stop was asked for.
    bool chooseNext(KVPWorkerRequestI*& request, void*& params);
    /// Called by a request's destructor: it must not be run or aborted any more.
    void forgetRequest(KVPWorkerRequestI* request);
    /// Drops the connection. Worker thread only (or after it has ended).
    void recycle();
    /// Hands the discovery's result to the GUI side before the GUI is told it is there.
    void publishDiscoveredDevices();
    void handOver(KVPWorkerRequestI* request, void* params);

    mutable QMutex m_mutex;
    /// Signalled on every hand-over and on stop, so the idle worker starts at once.
    /// The standard condition works with QMutex directly, and unlike QWaitCondition it
    /// unlocks through QMutex's own inline code, which thread checkers can follow.
    std::condition_variable_any m_wakeUp;

    std::unique_ptr<KVPLink> m_link;
    std::unique_ptr<KVPPhy> m_phy;

    KVPWorkerRequestI* m_current = nullptr;
    KVPWorkerRequestI* m_pending = nullptr;
    void* m_currentParams = nullptr;
    void* m_pendingParams = nullptr;

    KVPPingRequest* m_pingRequest;
    KVPDiscoverRequest* m_discoverRequest;
    KVPSelectDeviceRequest* m_selectRequest;

    KVPLinkParams m_pingParams;
    KVPSelectParams m_selectParams;
    KVPConnectionParams m_discoverParams;
    KVPLinkParams m_generalParams;
    /// The address given to `selectDevice`; copied into `m_selectParams` at hand-over, so
    /// the running select request never reads what the GUI is writing.
    QString m_pendingSelectAddress;

    /// When the device was last spoken to (a request ended or a ping began), for the
    /// ping interval.
    Clock::time_point m_lastTraffic;
    /// Copy of the last discovery's list for the GUI, guarded by `m_mutex`.
    KVPDiscoverRequest::DeviceList m_discovered;
    QHash<QString, uint16_t> m_discoveredFirmware;

    std::atomic<bool> m_stopRequested {false};
};

} // namespace korvane::KVP
