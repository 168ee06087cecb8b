// The worker thread against simulated devices: hand-over, wake-up, supervision, abort and
// stop. Everything that listens lives on the test thread and hears of it by queued calls.

#include "WorkerRig.h"

#include <QElapsedTimer>

#include <atomic>
#include <thread>

using namespace korvane::KVP;
using namespace korvane::KVP::test;
using DeviceList = KVPDiscoverRequest::DeviceList;

namespace {

constexpr int TimeoutMs = 20000; // generous for the sanitizers

std::atomic<int> recyclingLines {0};
QtMessageHandler testHandler = nullptr;

/// Counts the worker's "Recycling Kvp" lines and passes everything else on.
void countRecycling(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && message.contains(QLatin1String("Recycling Kvp"))) {
        ++recyclingLines;
    } else {
        testHandler(type, context, message);
    }
}

/// Reports at once, or when `held`, holds the worker until released or aborted as a long
/// transfer does. Counts its runs in a counter that outlives it.
class TestRequest : public KVPWorkerRequestI
{
public:
    explicit TestRequest(bool held = false, std::atomic<int>* runs = nullptr) : release(!held), runs(runs) { }
    void work(void*) override
    {
        running = true;
        if (runs) {
            ++*runs;
        }
        while (!release.load() && !isAbortRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        isAbortRequested() ? emit failed(FailAborted) : emit workDone();
    }
    std::atomic<bool> release;
    std::atomic<bool> running {false};
    std::atomic<int>* runs;
};

/// Waits for the one report of a request and tells whether it is `outcome`.
bool endsWith(Recorder& recorder, const char* outcome)
{
    return recorder.wait(TimeoutMs) && recorder.outcomes == QStringList {outcome};
}

/// Runs one request through the worker: all handed over before has been dealt with.
bool barrier(WorkerRig& rig)
{
    TestRequest request;
    Recorder recorder(request);
    rig.worker.submitRequest(&request);
    return endsWith(recorder, "workDone");
}

/// Hands over `request` and waits until it runs.
bool run(WorkerRig& rig, TestRequest& request)
{
    rig.worker.submitRequest(&request);
    return QTest::qWaitFor([&] { return request.running.load(); }, TimeoutMs);
}

} // namespace

class TestKVPWorkerThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useShortReplyTimeout();
        testHandler = qInstallMessageHandler(countRecycling);
    }
    void init() { recyclingLines = 0; }
    void cleanup() { dropSimDevices(); }

    void discoveryWhileConnectedEndsQuietlyWithWhoAnswered_data()
    {
        QTest::addColumn<QByteArray>("devices");
        QTest::newRow("all answer") << QByteArray("model=QRD-780");
        // The second device is silent, so the discovery fails, yet it ends and lists the first.
        QTest::newRow("second silent") << QByteArray("model=QRD-780;silent=1");
    }
    void discoveryWhileConnectedEndsQuietlyWithWhoAnswered()
    {
        QFETCH(QByteArray, devices);
        useSimDevices(devices.constData());
        WorkerRig f;
        QVERIFY(f.select());
        f.worker.discoverDevices();
        QVERIFY(f.reaches(f.discovered));
        QCOMPARE(f.worker.discoveredDevices(), (DeviceList {{"QRD-780", "usb:ftdi/0"}}));

        // The connection is gone without a loss to report, and nothing is watched any more.
        const uint32_t frames = device().framesReceived();
        QTest::qWait(3 * KVPWorkerThread::PingInterval.count());
        QVERIFY(barrier(f));
        QCOMPARE(device().framesReceived(), frames);
        QCOMPARE(f.discovered, 1);
        QCOMPARE(f.lost, 0);
        QCOMPARE(recyclingLines.load(), 0);
    }

    void selectedDeviceIsLostOnceWhenItStopsAnswering_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<uint>("firmware");
        QTest::addColumn<uint>("hardware");
        QTest::addColumn<int>("minMs");
        // Frame 1 is the selection's ping; the third supervision ping, two intervals on at the
        // earliest, finds the device gone.
        QTest::newRow("vanishes while idle")
            << QByteArray("model=QRD-540B,fw=0x0203,hw=0x0004,vanish=4") << 0x0203u << 0x0004u << 150;
        QTest::newRow("silent from the start") << QByteArray("silent=1") << 0xFFFFu << 0xFFFFu << 0;
    }
    void selectedDeviceIsLostOnceWhenItStopsAnswering()
    {
        QFETCH(QByteArray, device);
        QFETCH(uint, firmware);
        QFETCH(uint, hardware);
        QFETCH(int, minMs);
        useSimDevices(device.constData());
        WorkerRig f;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.select());
        QCOMPARE(f.selected.at(0), qMakePair(uint16_t(firmware), uint16_t(hardware)));
        QVERIFY(f.reaches(f.lost));
        QVERIFY2(clock.elapsed() >= minMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(barrier(f));
        QCOMPARE(f.lost, 1);
        QCOMPARE(recyclingLines.load(), 1);
    }

    void submittedRequestsWakeTheWorkerAtOnce()
    {
        useSimDevices("model=QRD-780");
        WorkerRig f;
        // Each request finds the worker asleep, first idle without a connection, then between
        // pings: one that only looked now and then would fall far behind, one that never woke
        // would time out.
        for (int i = 0; i < 400; ++i) {
            QVERIFY(i != 200 || f.select());
            QVERIFY(barrier(f));
        }
    }

    void pendingRequestNeverRunsOnceReplacedOrDeleted_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("replaced by the next") << true;
        QTest::newRow("deleted while pending") << false;
    }
    void pendingRequestNeverRunsOnceReplacedOrDeleted()
    {
        QFETCH(bool, replace);
        useSimDevices("");
        WorkerRig f;
        TestRequest blocker(true);
        Recorder blockerRecorder(blocker);
        QVERIFY(run(f, blocker));
        std::atomic<int> pendingRuns {0};
        std::atomic<int> nextRuns {0};
        auto pending = std::make_unique<TestRequest>(false, &pendingRuns);
        TestRequest next(false, &nextRuns);
        f.worker.submitRequest(pending.get());
        if (replace) {
            f.worker.submitRequest(&next);
        } else {
            pending.reset();
        }
        blocker.release = true;
        QVERIFY(endsWith(blockerRecorder, "workDone"));
        QTRY_COMPARE_WITH_TIMEOUT(nextRuns.load(), replace ? 1 : 0, TimeoutMs);
        QVERIFY(barrier(f));
        QCOMPARE(pendingRuns.load(), 0);
    }

    void abortReachesTheRunningRequestOnly()
    {
        useSimDevices("");
        WorkerRig f;
        f.worker.abortCurrentRequest(); // nothing has run yet
        // The owner deletes a request when its report arrives, maybe before the worker has
        // moved on: an abort then has nobody to reach.
        for (int i = 0; i < 50; ++i) {
            auto request = std::make_unique<TestRequest>();
            Recorder recorder(*request);
            f.worker.submitRequest(request.get());
            QVERIFY(endsWith(recorder, "workDone"));
            request.reset();
            f.worker.abortCurrentRequest();
        }
        TestRequest blocker(true);
        Recorder recorder(blocker);
        QVERIFY(run(f, blocker));
        f.worker.abortCurrentRequest();
        QVERIFY(endsWith(recorder, "FailAborted"));
        QVERIFY(barrier(f)); // the worker carries on
    }

    void stopIsKeptAndAbortsTheRunningRequest()
    {
        useSimDevices("model=QRD-780");
        WorkerRig f(false);
        f.worker.stopWorker(); // asked before the thread runs
        f.worker.start();
        QVERIFY(f.reaches(f.finished));
        QVERIFY(f.worker.wait());
        f.worker.start(); // and it runs requests again after a restart
        QVERIFY(f.select());
        recyclingLines = 0;
        TestRequest blocker(true);
        Recorder recorder(blocker);
        QVERIFY(run(f, blocker));
        f.worker.stopWorker();
        QVERIFY(f.reaches(f.finished, 2));
        // The report was queued before finished(), so it has been delivered too.
        QCOMPARE(recorder.outcomes, QStringList {"FailAborted"});
        // Stopping drops the connection, but that is no loss to report.
        QCOMPARE(f.lost, 0);
        QCOMPARE(recyclingLines.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestKVPWorkerThread)
#include "TestKVPWorkerThread.moc"
