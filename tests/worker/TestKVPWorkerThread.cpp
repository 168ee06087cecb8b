// The worker thread against simulated devices: hand-over, wake-up, supervision, abort and
// stop. Spies sit on relays that live on the test thread, so they fill by queued calls as
// the GUI's slots do; a spy filled from the worker thread would race with its own wait().

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
using DeviceList = KVPDiscoverRequest::DeviceList;

namespace {

/// Generous: a silent device costs a 2-second reply timeout, and sanitizers slow it all.
constexpr int TimeoutMs = 20000;

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
        if (isAbortRequested()) {
            emit failed(FailAborted);
        } else {
            emit workDone();
        }
    }
    std::atomic<bool> release;
    std::atomic<bool> running {false};
    std::atomic<int>* runs;
};

/// A request's signals relayed to the test thread, with their spies.
class Watch : public QObject
{
    Q_OBJECT

public:
    explicit Watch(KVPWorkerRequestI& request)
    {
        connect(&request, &KVPWorkerRequestI::workDone, this, &Watch::workDone);
        connect(&request, &KVPWorkerRequestI::failed, this, &Watch::failed);
    }
    KVPWorkerRequestI::failReason reason() const { return fails.at(0).at(0).value<KVPWorkerRequestI::failReason>(); }

    QSignalSpy done {this, &Watch::workDone};
    QSignalSpy fails {this, &Watch::failed};

signals:
    void workDone();
    void failed(KVPWorkerRequestI::failReason reason);
};

/// A worker with its signals relayed to the test thread; stops the worker when it goes.
class Fixture : public QObject
{
    Q_OBJECT

public:
    explicit Fixture(bool start = true)
    {
        connect(&worker, &KVPWorkerThread::lostConnection, this, &Fixture::lostConnection);
        connect(&worker, &KVPWorkerThread::deviceDiscoverFinsihed, this, &Fixture::discoverFinished);
        connect(&worker, &KVPWorkerThread::deviceSelectionFinished, this, &Fixture::selectionFinished);
        connect(&worker, &QThread::finished, this, &Fixture::stopped);
        if (start) {
            worker.start();
        }
    }
    ~Fixture() override
    {
        worker.stopWorker();
        worker.wait();
    }

    /// Runs one request through the worker: all handed over before has been dealt with.
    bool barrier()
    {
        TestRequest request;
        Watch watch(request);
        worker.submitRequest(&request);
        return watch.done.wait(TimeoutMs) && watch.done.count() == 1;
    }
    bool select(const QString& address)
    {
        worker.selectDevice(address);
        return selected.wait(TimeoutMs);
    }
    /// Hands over `request` and waits until it runs.
    bool run(TestRequest& request)
    {
        worker.submitRequest(&request);
        return QTest::qWaitFor([&] { return request.running.load(); }, TimeoutMs);
    }

    KVPWorkerThread worker;
    QSignalSpy lost {this, &Fixture::lostConnection};
    QSignalSpy discovered {this, &Fixture::discoverFinished};
    QSignalSpy selected {this, &Fixture::selectionFinished};
    QSignalSpy finished {this, &Fixture::stopped};

signals:
    void lostConnection();
    void discoverFinished();
    void selectionFinished(uint16_t fwVersion, uint16_t hwVersion);
    void stopped();
};

} // namespace

class TestKVPWorkerThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { testHandler = qInstallMessageHandler(countRecycling); }
    void init() { recyclingLines = 0; }
    void cleanup() { dropSimDevices(); }

    void failReasonIsKnownByItsName()
    {
        KVPWorkerThread worker;
        QCOMPARE(QMetaType::fromName("KVPWorkerRequestI::failReason"),
                 QMetaType::fromType<KVPWorkerRequestI::failReason>());
        QVERIFY(QMetaType::fromName("uint16_t").isValid());
    }

    void stopAskedBeforeTheThreadRunsIsKept()
    {
        Fixture f(false);
        f.worker.stopWorker();
        f.worker.start();
        QVERIFY(f.finished.wait(TimeoutMs));
        QVERIFY(f.worker.wait());
        f.worker.start(); // and it runs requests again after a restart
        QVERIFY(f.barrier());
    }

    void discoveryWhileConnectedEndsQuietlyWithWhoAnswered()
    {
        // The second device is silent, so the discovery fails, yet it ends and lists the first.
        useSimDevices("model=QRD-780;silent=1");
        Fixture f;
        QVERIFY(f.select("usb:ftdi/0"));
        f.worker.discoverDevices();
        QVERIFY(f.discovered.wait(TimeoutMs));
        QCOMPARE(f.worker.discoveredDevices(), (DeviceList {{"QRD-780", "usb:ftdi/0"}}));

        // The connection is gone without a loss to report, and nothing is watched any more.
        const uint32_t frames = simBackend().device(0)->framesReceived();
        QTest::qWait(3 * KVPWorkerThread::PingInterval.count());
        QVERIFY(f.barrier());
        QCOMPARE(simBackend().device(0)->framesReceived(), frames);
        QCOMPARE(f.discovered.count(), 1);
        QCOMPARE(f.lost.count(), 0);
        QCOMPARE(recyclingLines.load(), 0);
    }

    void selectedDeviceIsLostOnceWhenItStopsAnswering_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<uint>("firmware");
        QTest::addColumn<uint>("hardware");
        // Frame 1 is the selection's ping; the third supervision ping finds the device gone.
        QTest::newRow("vanishes while idle")
            << QByteArray("model=QRD-540B,fw=0x0203,hw=0x0004,vanish=4") << 0x0203u << 0x0004u;
        QTest::newRow("silent from the start") << QByteArray("silent=1") << 0xFFFFu << 0xFFFFu;
    }

    void selectedDeviceIsLostOnceWhenItStopsAnswering()
    {
        QFETCH(QByteArray, device);
        QFETCH(uint, firmware);
        QFETCH(uint, hardware);
        useSimDevices(device.constData());
        Fixture f;
        QVERIFY(f.select("usb:ftdi/0"));
        QCOMPARE(f.selected.at(0).at(0).value<uint16_t>(), uint16_t(firmware));
        QCOMPARE(f.selected.at(0).at(1).value<uint16_t>(), uint16_t(hardware));
        QVERIFY(f.lost.wait(TimeoutMs));
        QVERIFY(f.barrier());
        QCOMPARE(f.lost.count(), 1);
        QCOMPARE(recyclingLines.load(), 1);
    }

    void supervisionPingsAtMostOncePerInterval()
    {
        useSimDevices("model=QRD-780");
        Fixture f;
        QVERIFY(f.select("usb:ftdi/0"));
        QElapsedTimer connected;
        connected.start();
        QTest::qWait(600);
        f.worker.stopWorker();
        QVERIFY(f.finished.wait(TimeoutMs));
        QVERIFY(f.worker.wait());

        // The selection's ping, then at most one per interval and one at its start.
        const uint32_t frames = simBackend().device(0)->framesReceived();
        QVERIFY2(frames >= 2, "the idle connection is watched");
        QVERIFY2(frames <= 3 + connected.elapsed() / KVPWorkerThread::PingInterval.count(),
                 qPrintable(QString::number(frames)));
        QCOMPARE(f.lost.count(), 0);
    }

    void submittedRequestsRunOnTheSelectedLink()
    {
        useSimDevices("model=QRD-780,records=3");
        Fixture f;
        QVERIFY(f.select("usb:ftdi/0"));
        KVPFixtureDefinitionListRequest request;
        QByteArray received;
        // Copied on the test thread while the request still holds the bytes.
        connect(&request, &KVPFixtureDefinitionListRequest::receivedData, &f, [&](void* data, int length) {
            received = QByteArray(static_cast<const char*>(data), length);
        });
        f.worker.submitRequest(&request);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2 + 3 * 244, TimeoutMs);
        QCOMPARE(received.left(2), QByteArray("\x03\x00", 2));
    }

    void submittedRequestsWakeTheWorkerAtOnce_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::newRow("idle without connection") << false;
        QTest::newRow("idle between pings") << true;
    }

    void submittedRequestsWakeTheWorkerAtOnce()
    {
        QFETCH(bool, connected);
        useSimDevices("model=QRD-780");
        Fixture f;
        QVERIFY(!connected || f.select("usb:ftdi/0"));
        // Each request finds the worker asleep: one that only looked now and then would
        // fall far behind, one that never woke would time out.
        int completed = 0;
        while (completed < 200 && f.barrier()) {
            ++completed;
        }
        QCOMPARE(completed, 200);
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
        Fixture f;
        TestRequest blocker(true);
        Watch blockerWatch(blocker);
        QVERIFY(f.run(blocker));

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
        QVERIFY(blockerWatch.done.wait(TimeoutMs));
        QTRY_COMPARE_WITH_TIMEOUT(nextRuns.load(), replace ? 1 : 0, TimeoutMs);
        QVERIFY(f.barrier());
        QCOMPARE(pendingRuns.load(), 0);
    }

    void abortReachesTheRunningRequestOnly()
    {
        useSimDevices("");
        Fixture f;
        f.worker.abortCurrentRequest(); // nothing has run yet
        // The owner deletes a request when its report arrives, maybe before the worker has
        // moved on: an abort then has nobody to reach.
        for (int i = 0; i < 50; ++i) {
            auto request = std::make_unique<TestRequest>();
            Watch watch(*request);
            f.worker.submitRequest(request.get());
            QVERIFY(watch.done.wait(TimeoutMs));
            request.reset();
            f.worker.abortCurrentRequest();
        }
        TestRequest blocker(true);
        Watch watch(blocker);
        QVERIFY(f.run(blocker));
        f.worker.abortCurrentRequest();
        QVERIFY(watch.fails.wait(TimeoutMs));
        QCOMPARE(watch.reason(), KVPWorkerRequestI::FailAborted);
        QVERIFY(f.barrier()); // the worker carries on
    }

    void stopAbortsTheRunningRequestAndFinishes()
    {
        useSimDevices("model=QRD-780");
        Fixture f;
        QVERIFY(f.select("usb:ftdi/0"));
        TestRequest blocker(true);
        Watch watch(blocker);
        QVERIFY(f.run(blocker));
        f.worker.stopWorker();
        QVERIFY(f.finished.wait(TimeoutMs));
        // The report was queued before finished(), so it has been delivered too.
        QCOMPARE(watch.fails.count(), 1);
        QCOMPARE(watch.reason(), KVPWorkerRequestI::FailAborted);
        // Stopping drops the connection, but that is no loss to report.
        QCOMPARE(f.lost.count(), 0);
        QCOMPARE(recyclingLines.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestKVPWorkerThread)
#include "TestKVPWorkerThread.moc"
