#pragma once

#include "KVPTypes.h"

#include <QObject>
#include <QPointer>

#include <atomic>

namespace korvane::KVP {

class KVPLink;
class KVPWorkerThread;

/// One piece of device work, run on the worker thread by `KVPWorkerThread`. The GUI
/// creates a request, connects its signals, and hands it over; `work` then runs on the
/// worker thread and the request reports through its signals, which reach GUI receivers
/// as queued calls.
///
/// A request is run once: its abort flag is never cleared again.
class KVPWorkerRequestI : public QObject
{
    Q_OBJECT

public:
    /// Why a request failed. The values travel through queued connections.
    enum failReason {
        FailGeneral = 0, ///< no open connection, the device refused, or the request's own checks failed
        FailAborted = 1, ///< the request saw its abort flag and stopped
        FailNoReply = 2, ///< the device gave no valid reply
    };
    Q_ENUM(failReason)

    explicit KVPWorkerRequestI(QObject* parent = nullptr);
    /// A request deleted after it has reported may still be the worker's last one;
    /// the worker forgets it here, so a later abort cannot reach freed memory.
    ~KVPWorkerRequestI() override;

    /// Runs on the worker thread. `params` is the worker's parameter block that goes
    /// with this kind of request (KVPWorkerParams.h).
    virtual void work(void* params) = 0;

    /// Asks the request to stop; requests that loop over several items look at the flag
    /// between items. May be called from any thread.
    void abort();
    bool isAbortRequested() const { return m_abortRequested.load(); }

Q_SIGNALS:
    void workDone();
    void failed(KVPWorkerRequestI::failReason reason);

protected:
    /// The open link of a `KVPLinkParams` block; without one, reports `failed(FailGeneral)`
    /// and returns null.
    KVPLink* linkOrFail(void* params);
    /// Reports an exchange's outcome: `workDone()` on success, otherwise `failed` with
    /// FailNoReply for a device that gave no valid reply and FailGeneral for any other.
    void reportStatus(KVPStatus status);

private:
    friend class KVPWorkerThread;
    /// Written by the GUI thread, read by the worker thread.
    std::atomic<bool> m_abortRequested {false};
    /// The worker it was handed to; set and read on the GUI thread only.
    QPointer<KVPWorkerThread> m_worker;
};

} // namespace korvane::KVP

Q_DECLARE_METATYPE(korvane::KVP::KVPWorkerRequestI::failReason)
