#pragma once

// A link to a simulated device opened as the worker opens it, a worker thread with it
// selected, and the reports of a request in the order they came.

#include "KVPLink.h"
#include "KVPPhy.h"
#include "KVPSelectDeviceRequest.h"
#include "KVPWorkerParams.h"
#include "KVPWorkerThread.h"

#include <QByteArray>
#include <QEventLoop>
#include <QMetaEnum>
#include <QStringList>
#include <QTest>
#include <QTimer>

// After QByteArray: its qputenv overload takes one.
#include "KVPWorkerTestSupport.h"

namespace korvane::KVP::test {

/// A silent device costs this instead of the two seconds a real one is given.
inline void useShortReplyTimeout()
{
    qputenv(ReplyTimeoutVariable, "200");
}

/// A connection as the worker holds it, opened on the first of the given devices.
struct Connection
{
    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPLinkParams params {&link};
    KVPConnectionParams connectionParams {&link, &phy};

    explicit Connection(const char* devices = "", bool opened = true)
    {
        useSimDevices(devices);
        if (opened && *devices) {
            KVPSelectParams selectParams {&link, &phy, QStringLiteral("usb:ftdi/0")};
            KVPSelectDeviceRequest().work(&selectParams);
        }
    }
    ~Connection() { dropConnection(link, phy); }
};

inline sim::SimDevice& device()
{
    return *simBackend().device(0);
}

/// Outcomes ("workDone", a fail reason's name or the name given to `on`) and progress.
struct Recorder
{
    QStringList outcomes;
    QList<int> total, current;
    int progressAfterOutcome = 0; // the request still listened to the link
    QObject context;
    QEventLoop* waiting = nullptr;

    explicit Recorder(KVPWorkerRequestI& request)
    {
        on(&request, &KVPWorkerRequestI::workDone, "workDone");
        QObject::connect(&request, &KVPWorkerRequestI::failed, &context, [this](auto reason) {
            note(QMetaEnum::fromType<KVPWorkerRequestI::failReason>().valueToKey(reason));
        });
    }
    template <class R, class... Args>
    void on(R* request, void (R::*signal)(Args...), const char* name)
    {
        QObject::connect(request, signal, &context, [this, name] { note(name); });
    }
    template <class R, class S, class T>
    void on(R* request, void (S::*signal)(T), QList<int>& list)
    {
        QObject::connect(request, signal, &context, [this, &list](T percent) {
            progressAfterOutcome += outcomes.isEmpty() ? 0 : 1;
            list << int(percent);
        });
    }
    void note(const QString& outcome)
    {
        outcomes << outcome;
        if (waiting) {
            waiting->quit();
        }
    }
    /// Waits for a report from another thread; true once there is one.
    bool wait(int timeoutMs = 30000)
    {
        QEventLoop loop;
        waiting = &loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        if (outcomes.isEmpty()) {
            loop.exec();
        }
        waiting = nullptr;
        return !outcomes.isEmpty();
    }
};

/// A worker thread, started unless told otherwise and stopped when it goes. Its signals
/// reach `relay`, which lives on the test thread, as queued calls, as the GUI's slots do.
struct WorkerRig
{
    KVPWorkerThread worker;
    QObject relay;
    int lost = 0, discovered = 0, finished = 0;
    QList<QPair<uint16_t, uint16_t>> selected; // firmware and hardware version

    explicit WorkerRig(bool start = true)
    {
        QObject::connect(&worker, &KVPWorkerThread::lostConnection, &relay, [this] { ++lost; });
        QObject::connect(&worker, &KVPWorkerThread::deviceDiscoverFinsihed, &relay, [this] { ++discovered; });
        QObject::connect(&worker, &QThread::finished, &relay, [this] { ++finished; });
        QObject::connect(&worker, &KVPWorkerThread::deviceSelectionFinished, &relay, [this](uint16_t fw, uint16_t hw) {
            selected << qMakePair(fw, hw);
        });
        if (start) {
            worker.start();
        }
    }
    ~WorkerRig()
    {
        worker.stopWorker();
        worker.wait();
    }
    static bool reaches(const int& count, int wanted = 1)
    {
        return QTest::qWaitFor([&] { return count >= wanted; }, 30000);
    }
    /// Selects the first simulated device and waits until that is done.
    bool select()
    {
        worker.selectDevice(QStringLiteral("usb:ftdi/0"));
        return QTest::qWaitFor([this] { return !selected.isEmpty(); }, 30000);
    }
};

} // namespace korvane::KVP::test
