// The worker thread against simulated devices: hand-over, wake-up, supervision, abort
// and stop. Worker signals are relayed to objects on the test thread, so every spy is
// filled by queued calls as the GUI's slots would be.

#include "KVPFixtureDefinitionListRequest.h"
#include "KVPWorkerTestSupport.h"
#include "KVPWorkerThread.h"

#include <QElapsedTimer>
#include <QMetaType>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

/// Generous: a silent device costs one 2-second reply timeout, sanitizers slow it all.
constexpr int SignalTimeoutMs = 20000;
constexpr int ListEntryLength = 244;

std::atomic<int> recyclingLines {0};
QtMessageHandler testHandler = nullptr;

/// Counts the worker's "Recycling Kvp" lines (written on the worker thread) and passes
/// everything else on to the test library.
void countRecycling(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && message.contains(QLatin1String("Recycling Kvp"))) {
        ++recyclingLines;
        return;
    }
    testHandler(type, context, message);
}

/// A request that reports success at once and counts its runs, also in a counter that
/// outlives it.
class InstantRequest : public KVPWorkerRequestI
{
public:
    explicit InstantRequest(std::atomic<int>* allRuns = nullptr) : allRuns(allRuns) { }
    void work(void*) override
    {
        ++runs;
        if (allRuns) {
            ++*allRuns;
        }
        emit workDone();
    }
    std::atomic<int> runs {0};
    std::atomic<int>* allRuns;
};

/// A request that holds the worker until released or aborted, as a long transfer does.
class BlockingRequest : public KVPWorkerRequestI
{
    Q_OBJECT

public:
    void work(void*) override
    {
        emit started();
        while (!release.load() && !isAbortRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (isAbortRequested()) {
            emit failed(FailAborted);
        } else {
            emit workDone();
        }
    }
    std::atomic<bool> release {false};

signals:
    void started();
};

/// Lives on the test thread; a request's signals, emitted on the worker thread, reach
/// it as queued calls. Spies are never connected to a worker-thread sender directly:
/// a spy filled from another thread races with its own wait().
class RequestProbe : public QObject
{
    Q_OBJECT

public:
    explicit RequestProbe(KVPWorkerRequestI& request)
    {
        connect(&request, &KVPWorkerRequestI::workDone, this, &RequestProbe::workDone);
        connect(&request, &KVPWorkerRequestI::failed, this, &RequestProbe::failed);
        if (auto* blocking = qobject_cast<BlockingRequest*>(&request)) {
            connect(blocking, &BlockingRequest::started, this, &RequestProbe::started);
        }
    }

signals:
    void workDone();
    void failed(KVPWorkerRequestI::failReason reason);
    void started();
};

/// A request's relayed signals with their spies.
struct RequestWatch
{
    explicit RequestWatch(KVPWorkerRequestI& request) : probe(request) { }

    RequestProbe probe;
    QSignalSpy done {&probe, &RequestProbe::workDone};
    QSignalSpy failed {&probe, &RequestProbe::failed};
    QSignalSpy started {&probe, &RequestProbe::started};
};

/// Lives on the test thread; the worker's signals reach it as queued calls.
class WorkerProbe : public QObject
{
    Q_OBJECT

public:
    explicit WorkerProbe(KVPWorkerThread& worker)
    {
        connect(&worker, &KVPWorkerThread::lostConnection, this, &WorkerProbe::lostConnection);
        connect(&worker, &KVPWorkerThread::deviceDiscoverFinsihed, this, &WorkerProbe::discoverFinished);
        connect(&worker, &KVPWorkerThread::deviceSelectionFinished, this, &WorkerProbe::selectionFinished);
        connect(&worker, &QThread::finished, this, &WorkerProbe::finished);
    }

signals:
    void lostConnection();
    void discoverFinished();
    void selectionFinished(uint16_t fwVersion, uint16_t hwVersion);
    void finished();
};

/// A started worker with its probe and spies; stops the worker when it goes.
struct Fixture
{
    KVPWorkerThread worker;
    WorkerProbe probe {worker};
    QSignalSpy lost {&probe, &WorkerProbe::lostConnection};
    QSignalSpy discovered {&probe, &WorkerProbe::discoverFinished};
    QSignalSpy selected {&probe, &WorkerProbe::selectionFinished};
    QSignalSpy finished {&probe, &WorkerProbe::finished};

    Fixture() { worker.start(); }
    ~Fixture()
    {
        worker.stopWorker();
        worker.wait();
    }

    /// Runs one request through the worker and waits for its report: everything handed
    /// over before it has been dealt with once it returns.
    bool barrier()
    {
        InstantRequest request;
        RequestWatch watch(request);
        worker.submitRequest(&request);
        return watch.done.wait(SignalTimeoutMs) && watch.done.count() == 1;
    }

    bool select(const QString& address)
    {
        worker.selectDevice(address);
        return selected.wait(SignalTimeoutMs);
    }
};

uint16_t version(const QSignalSpy& spy, int row, int column)
{
    return spy.at(row).at(column).value<uint16_t>();
}

} // namespace

class TestKVPWorkerThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void failReasonIsKnownByItsName();
    void idleWorkerStopsWithoutASignal();
    void stopAskedBeforeTheThreadRunsIsKept();

    void discoveryEndsWithTheListOfAnsweringDevices_data();
    void discoveryEndsWithTheListOfAnsweringDevices();
    void discoveryWhileConnectedDropsTheConnectionQuietly();

    void selectionReportsTheVersions();
    void silentSelectionIsLostOnce();
    void deviceVanishingWhileIdleIsLostOnce();
    void supervisionPingsAtMostOncePerInterval();

    void listRequestReadsTheSelectedDevice();
    void listRequestWithoutConnectionFails();

    void submittedRequestsWakeTheWorkerAtOnce_data();
    void submittedRequestsWakeTheWorkerAtOnce();
    void pendingRequestIsReplacedByTheNextOne();
    void abortReachesTheRunningRequestOnly();
    void requestDeletedAfterItsReportIsForgotten();
    void requestDeletedWhilePendingNeverRuns();
    void stopAbortsTheRunningRequestAndFinishes();
};

void TestKVPWorkerThread::initTestCase()
{
    testHandler = qInstallMessageHandler(countRecycling);
}

void TestKVPWorkerThread::init()
{
    recyclingLines = 0;
}

void TestKVPWorkerThread::cleanup()
{
    dropSimDevices();
}

void TestKVPWorkerThread::failReasonIsKnownByItsName()
{
    KVPWorkerThread worker;
    const QMetaType type = QMetaType::fromName("KVPWorkerRequestI::failReason");
    QVERIFY(type.isValid());
    QCOMPARE(type, QMetaType::fromType<KVPWorkerRequestI::failReason>());
    QVERIFY(QMetaType::fromName("uint16_t").isValid());
}

void TestKVPWorkerThread::idleWorkerStopsWithoutASignal()
{
    useSimDevices("model=QRD-780");
    Fixture f;
    QVERIFY(f.barrier());
    f.worker.stopWorker();
    QVERIFY(f.finished.wait(SignalTimeoutMs));
    QCOMPARE(f.lost.count(), 0);
    QCOMPARE(f.discovered.count(), 0);
    QCOMPARE(f.selected.count(), 0);
    // Only the stop drops the (absent) connection.
    QCOMPARE(recyclingLines.load(), 1);
    // Nothing was asked of the device.
    QCOMPARE(simBackend().device(0)->framesReceived(), 0u);
}

void TestKVPWorkerThread::stopAskedBeforeTheThreadRunsIsKept()
{
    KVPWorkerThread worker;
    WorkerProbe probe(worker);
    QSignalSpy finished(&probe, &WorkerProbe::finished);
    worker.stopWorker();
    worker.start();
    QVERIFY(finished.wait(SignalTimeoutMs));
    QVERIFY(worker.wait());

    // The worker can be started again after a stop.
    InstantRequest request;
    RequestWatch watch(request);
    worker.start();
    worker.submitRequest(&request);
    QVERIFY(watch.done.wait(SignalTimeoutMs));
    worker.stopWorker();
    QVERIFY(finished.wait(SignalTimeoutMs));
}

void TestKVPWorkerThread::discoveryEndsWithTheListOfAnsweringDevices_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<KVPDiscoverRequest::DeviceList>("expected");

    QTest::newRow("first of two silent") << QByteArray("silent=1;model=QRD-540B")
                                         << KVPDiscoverRequest::DeviceList {{"QRD-540B", "usb:ftdi/1"}};
    QTest::newRow("no device") << QByteArray("") << KVPDiscoverRequest::DeviceList();
    QTest::newRow("unknown model") << QByteArray("model=QRD-999")
                                   << KVPDiscoverRequest::DeviceList {{"QRD-999", "usb:ftdi/0"}};
}

void TestKVPWorkerThread::discoveryEndsWithTheListOfAnsweringDevices()
{
    QFETCH(QByteArray, devices);
    QFETCH(KVPDiscoverRequest::DeviceList, expected);
    useSimDevices(devices.constData());
    Fixture f;

    f.worker.discoverDevices();
    QVERIFY(f.discovered.wait(SignalTimeoutMs));
    QCOMPARE(f.worker.discoveredDevices(), expected);
    QVERIFY(f.barrier());
    QCOMPARE(f.discovered.count(), 1);
    QCOMPARE(f.lost.count(), 0);
}

void TestKVPWorkerThread::discoveryWhileConnectedDropsTheConnectionQuietly()
{
    useSimDevices("model=QRD-780");
    Fixture f;
    QVERIFY(f.select("usb:ftdi/0"));

    f.worker.discoverDevices();
    QVERIFY(f.discovered.wait(SignalTimeoutMs));
    QCOMPARE(f.worker.discoveredDevices(), (KVPDiscoverRequest::DeviceList {{"QRD-780", "usb:ftdi/0"}}));

    // Without a connection nothing is watched, and nobody is told of a loss.
    QVERIFY(f.barrier());
    const uint32_t frames = simBackend().device(0)->framesReceived();
    QVERIFY(f.barrier());
    QCOMPARE(f.lost.count(), 0);
    QCOMPARE(recyclingLines.load(), 0);
    f.worker.stopWorker();
    QVERIFY(f.finished.wait(SignalTimeoutMs));
    QCOMPARE(simBackend().device(0)->framesReceived(), frames);
}

void TestKVPWorkerThread::selectionReportsTheVersions()
{
    useSimDevices("model=QRD-540B,fw=0x0102,hw=0x0003");
    Fixture f;
    QVERIFY(f.select("usb:ftdi/0"));
    QCOMPARE(version(f.selected, 0, 0), uint16_t(0x0102));
    QCOMPARE(version(f.selected, 0, 1), uint16_t(0x0003));
    QVERIFY(f.barrier());
    QCOMPARE(f.lost.count(), 0);
}

void TestKVPWorkerThread::silentSelectionIsLostOnce()
{
    useSimDevices("silent=1");
    Fixture f;
    QVERIFY(f.select("usb:ftdi/0"));
    QCOMPARE(version(f.selected, 0, 0), uint16_t(0xFFFF));
    QCOMPARE(version(f.selected, 0, 1), uint16_t(0xFFFF));

    QVERIFY(f.lost.wait(SignalTimeoutMs));
    QVERIFY(f.barrier());
    QCOMPARE(f.lost.count(), 1);
    QCOMPARE(recyclingLines.load(), 1);
}

void TestKVPWorkerThread::deviceVanishingWhileIdleIsLostOnce()
{
    // Frame 1 is the selection's ping; the third supervision ping finds the device gone.
    useSimDevices("model=QRD-780,vanish=4");
    Fixture f;
    QVERIFY(f.select("usb:ftdi/0"));
    QCOMPARE(version(f.selected, 0, 0), uint16_t(0x0102));

    QVERIFY(f.lost.wait(SignalTimeoutMs));
    QVERIFY(f.barrier());
    QCOMPARE(f.lost.count(), 1);
    QCOMPARE(recyclingLines.load(), 1);
    QVERIFY(simBackend().device(0)->gone());
}

void TestKVPWorkerThread::supervisionPingsAtMostOncePerInterval()
{
    useSimDevices("model=QRD-780");
    Fixture f;
    QElapsedTimer connected;
    QVERIFY(f.select("usb:ftdi/0"));
    connected.start();
    QTest::qWait(600);
    f.worker.stopWorker();
    QVERIFY(f.finished.wait(SignalTimeoutMs));
    QVERIFY(f.worker.wait());
    const qint64 elapsed = connected.elapsed();

    // One ping for the selection, then at most one per interval (and one at its start).
    const uint32_t frames = simBackend().device(0)->framesReceived();
    const qint64 interval = KVPWorkerThread::PingInterval.count();
    QVERIFY2(frames >= 2, "the idle connection is watched");
    QVERIFY2(frames <= 2 + elapsed / interval + 1, qPrintable(QString::number(frames)));
    QCOMPARE(f.lost.count(), 0);
}

void TestKVPWorkerThread::listRequestReadsTheSelectedDevice()
{
    useSimDevices("model=QRD-780,records=3");
    Fixture f;
    QVERIFY(f.select("usb:ftdi/0"));

    KVPFixtureDefinitionListRequest request;
    QByteArray received;
    // The receiver copies the bytes while the request still holds them.
    connect(&request, &KVPFixtureDefinitionListRequest::receivedData, &f.probe, [&](void* data, int length) {
        received = QByteArray(static_cast<const char*>(data), length);
    });
    RequestWatch watch(request);
    f.worker.submitRequest(&request);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2 + 3 * ListEntryLength, SignalTimeoutMs);
    QCOMPARE(received.at(0), char(3));
    QCOMPARE(received.at(1), char(0));
    QCOMPARE(watch.failed.count(), 0);
    // Success is told by the data alone.
    QCOMPARE(watch.done.count(), 0);
    QVERIFY(f.barrier());
    QCOMPARE(f.lost.count(), 0);
}

void TestKVPWorkerThread::listRequestWithoutConnectionFails()
{
    useSimDevices("model=QRD-780,records=3");
    Fixture f;
    KVPFixtureDefinitionListRequest request;
    int received = 0;
    connect(&request, &KVPFixtureDefinitionListRequest::receivedData, &f.probe, [&] { ++received; });
    RequestWatch watch(request);
    f.worker.submitRequest(&request);
    QVERIFY(watch.failed.wait(SignalTimeoutMs));
    QCOMPARE(watch.failed.at(0).at(0).value<KVPWorkerRequestI::failReason>(), KVPWorkerRequestI::FailGeneral);
    QVERIFY(f.barrier());
    QCOMPARE(received, 0);
}

void TestKVPWorkerThread::submittedRequestsWakeTheWorkerAtOnce_data()
{
    QTest::addColumn<bool>("connected");
    QTest::newRow("idle without connection") << false;
    QTest::newRow("idle between pings") << true;
}

void TestKVPWorkerThread::submittedRequestsWakeTheWorkerAtOnce()
{
    QFETCH(bool, connected);
    useSimDevices("model=QRD-780");
    Fixture f;
    if (connected) {
        QVERIFY(f.select("usb:ftdi/0"));
    }
    // Each request is handed over only after the one before has reported, so each one
    // finds the worker asleep; a worker that only looked now and then would fall far
    // behind, and one that never woke would time out here.
    constexpr int Rounds = 200;
    int completed = 0;
    for (int i = 0; i < Rounds; ++i) {
        InstantRequest request;
        RequestWatch watch(request);
        f.worker.submitRequest(&request);
        if (!watch.done.wait(SignalTimeoutMs)) {
            break;
        }
        completed += request.runs.load();
    }
    QCOMPARE(completed, Rounds);
    QCOMPARE(f.lost.count(), 0);
}

void TestKVPWorkerThread::pendingRequestIsReplacedByTheNextOne()
{
    useSimDevices("");
    Fixture f;
    BlockingRequest blocker;
    RequestWatch blockerWatch(blocker);
    f.worker.submitRequest(&blocker);
    QVERIFY(blockerWatch.started.wait(SignalTimeoutMs));

    InstantRequest replaced;
    InstantRequest replacement;
    RequestWatch replacementWatch(replacement);
    f.worker.submitRequest(&replaced);
    f.worker.submitRequest(&replacement);
    blocker.release = true;
    QVERIFY(replacementWatch.done.wait(SignalTimeoutMs));
    QCOMPARE(blockerWatch.done.count(), 1);

    QVERIFY(f.barrier());
    QCOMPARE(replaced.runs.load(), 0);
    QCOMPARE(replacement.runs.load(), 1);
}

void TestKVPWorkerThread::abortReachesTheRunningRequestOnly()
{
    useSimDevices("");
    Fixture f;
    // Nothing runs: an abort now has nobody to reach.
    f.worker.abortCurrentRequest();

    BlockingRequest blocker;
    RequestWatch watch(blocker);
    f.worker.submitRequest(&blocker);
    QVERIFY(watch.started.wait(SignalTimeoutMs));
    f.worker.abortCurrentRequest();
    QVERIFY(watch.failed.wait(SignalTimeoutMs));
    QCOMPARE(watch.failed.at(0).at(0).value<KVPWorkerRequestI::failReason>(), KVPWorkerRequestI::FailAborted);

    // The worker carries on with the next request.
    QVERIFY(f.barrier());
    QCOMPARE(f.finished.count(), 0);
}

void TestKVPWorkerThread::requestDeletedAfterItsReportIsForgotten()
{
    // The owner deletes a request as soon as its report arrives, possibly before the
    // worker has moved on; aborting then must not reach the deleted request.
    useSimDevices("");
    Fixture f;
    for (int i = 0; i < 50; ++i) {
        auto request = std::make_unique<InstantRequest>();
        RequestWatch watch(*request);
        f.worker.submitRequest(request.get());
        QVERIFY(watch.done.wait(SignalTimeoutMs));
        request.reset();
        f.worker.abortCurrentRequest();
    }
    QVERIFY(f.barrier());
}

void TestKVPWorkerThread::requestDeletedWhilePendingNeverRuns()
{
    useSimDevices("");
    Fixture f;
    BlockingRequest blocker;
    RequestWatch blockerWatch(blocker);
    f.worker.submitRequest(&blocker);
    QVERIFY(blockerWatch.started.wait(SignalTimeoutMs));

    std::atomic<int> runs {0};
    auto pending = std::make_unique<InstantRequest>(&runs);
    f.worker.submitRequest(pending.get());
    pending.reset();
    blocker.release = true;
    QVERIFY(blockerWatch.done.wait(SignalTimeoutMs));
    QVERIFY(f.barrier());
    QCOMPARE(runs.load(), 0);
}

void TestKVPWorkerThread::stopAbortsTheRunningRequestAndFinishes()
{
    useSimDevices("model=QRD-780");
    Fixture f;
    QVERIFY(f.select("usb:ftdi/0"));
    BlockingRequest blocker;
    RequestWatch watch(blocker);
    f.worker.submitRequest(&blocker);
    QVERIFY(watch.started.wait(SignalTimeoutMs));

    f.worker.stopWorker();
    QVERIFY(f.finished.wait(SignalTimeoutMs));
    // The report was queued before finished(), so it has been delivered too.
    QCOMPARE(watch.failed.count(), 1);
    QCOMPARE(watch.failed.at(0).at(0).value<KVPWorkerRequestI::failReason>(), KVPWorkerRequestI::FailAborted);
    // Stopping drops the connection but is no loss to report.
    QCOMPARE(f.lost.count(), 0);
    QCOMPARE(recyclingLines.load(), 1);
}

QTEST_GUILESS_MAIN(TestKVPWorkerThread)
#include "TestKVPWorkerThread.moc"
