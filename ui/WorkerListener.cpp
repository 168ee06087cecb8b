#include "WorkerListener.h"

#include "KVPWorkerThread.h"

using korvane::KVP::KVPWorkerThread;

void WorkerListener::listen(KVPWorkerThread* worker, QObject* context, const Handlers& handlers)
{
    stop();
    if (!worker) {
        return;
    }
    m_connections = {
        QObject::connect(worker, &KVPWorkerThread::deviceDiscoverFinsihed, context, handlers.discovered),
        QObject::connect(worker, &KVPWorkerThread::deviceSelectionFinished, context, handlers.selected),
        QObject::connect(worker, &KVPWorkerThread::lostConnection, context, handlers.lost),
    };
}

void WorkerListener::stop()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections)) {
        QObject::disconnect(connection);
    }
    m_connections.clear();
}
