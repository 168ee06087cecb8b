#pragma once

#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>

namespace korvane::KVP {
class KVPWorkerThread;
}

/// The worker's three device signals, as the one panel that answers them connects to
/// them: the main window, or the firmware dialog while it has the device. Stopping drops
/// exactly what was connected, so the two hand the worker back and forth without either
/// getting a signal twice or missing one.
class WorkerListener
{
public:
    struct Handlers
    {
        std::function<void()> discovered;
        std::function<void(uint16_t fwVersion, uint16_t hwVersion)> selected;
        std::function<void()> lost;
    };

    WorkerListener() = default;
    WorkerListener(const WorkerListener&) = delete;
    WorkerListener& operator=(const WorkerListener&) = delete;
    ~WorkerListener() { stop(); }

    /// Connects `handlers` to `worker`'s signals, run in `context`'s thread and dropped with
    /// it; replaces whatever this listener had connected before.
    void listen(korvane::KVP::KVPWorkerThread* worker, QObject* context, const Handlers& handlers);
    /// Disconnects what `listen` connected; nothing when it is not listening.
    void stop();

private:
    QList<QMetaObject::Connection> m_connections;
};
