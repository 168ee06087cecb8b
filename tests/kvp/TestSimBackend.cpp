// The `sim` backend through the D2XX functions, as the physical link calls them: the
// device list from KVP_SIM_DEVICES, handles, the read contract with its timeout, the
// queue status, the wire model, and what survives a close.

#include "TestSimSupport.h"

#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

class TestSimBackend : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setD2xxBackend(nullptr); }
    void devicesAreListedFromTheVariable_data();
    void devicesAreListedFromTheVariable();
    void handlesReachTheirDeviceUntilClosed();
    void readWaitsForWhatItAsksUpToTheTimeout();
    void readOnASilentDeviceTimesOutWithNothing();
    void memoryOutlivesTheConnectionButUnfinishedWorkDoesNot();
    void vanishedDeviceLeavesTheBusAndReadsTimeOut();
};

void TestSimBackend::devicesAreListedFromTheVariable_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<QStringList>("descriptions");

    QTest::newRow("unset: one default device") << QByteArray() << QStringList {"KORVANE KVP-DEV"};
    QTest::newRow("empty: no device") << QByteArray("") << QStringList {};
    QTest::newRow("split at semicolons outside quotes")
        << QByteArray(R"(model=QRD-780;;model=QRD-540B,desc="KORVANE KVP-DGL";desc="A;B"; )")
        << QStringList {"KORVANE KVP-DEV", "KORVANE KVP-DGL", "A;B"};
    QTest::newRow("longest description") << QByteArray("desc=" + QByteArray(63, 'D')) << QStringList {QString(63, 'D')};
    QTest::newRow("bad settings: no device") << QByteArray("model=QRD-780;slots=999") << QStringList {};
}

void TestSimBackend::devicesAreListedFromTheVariable()
{
    QFETCH(QByteArray, devices);
    useBackend("sim", devices);
    QTEST(listedDescriptions(), "descriptions");
}

void TestSimBackend::handlesReachTheirDeviceUntilClosed()
{
    useBackend("sim", "model=QRD-780;model=QRD-540B");
    FT_HANDLE handle = nullptr;
    QCOMPARE(FT_Open(2, &handle), FT_DEVICE_NOT_FOUND);
    QCOMPARE(FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
    QCOMPARE(handle, nullptr);
    handle = openLikeTheLink(1, 100);
    QCOMPARE(modelOf(D2xxHost(handle).exchange(Ping)), QString("QRD-540B"));
    QCOMPARE(FT_Close(handle), FT_OK);

    uint8_t byte = 0;
    DWORD count = 0;
    QCOMPARE(FT_Read(handle, &byte, 1, &count), FT_INVALID_HANDLE);
    QCOMPARE(FT_Write(handle, &byte, 1, &count), FT_INVALID_HANDLE);
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_INVALID_HANDLE);
    QCOMPARE(FT_Close(handle), FT_INVALID_HANDLE);
}

void TestSimBackend::readWaitsForWhatItAsksUpToTheTimeout()
{
    useBackend("sim", "wire=1,latency=2");
    FT_HANDLE handle = openLikeTheLink(0, 600);
    QElapsedTimer timer;
    timer.start();
    DWORD count = 0;
    QCOMPARE(FT_Write(handle, Ping.data(), DWORD(Ping.size()), &count), FT_OK);
    QCOMPARE(count, DWORD(Ping.size()));
    // 14 bytes out and 64 back at 44 us each, and 2 ms of latency on top.
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    QVERIFY(count == 0 || timer.nsecsElapsed() >= 2'000'000);
    qint64 elapsed = 0;
    QCOMPARE(timedRead(handle, 54, &elapsed), DWORD(54));
    QVERIFY(timer.nsecsElapsed() >= 4'990'000); // not before they are there
    QVERIFY(elapsed < 300); // nor at the timeout
    QTest::qSleep(10);
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    QCOMPARE(count, DWORD(10));
    QCOMPARE(timedRead(handle, 100, &elapsed), DWORD(10)); // more than comes: what came, at the timeout
    QVERIFY(elapsed >= 300);
    FT_Close(handle);
}

void TestSimBackend::readOnASilentDeviceTimesOutWithNothing()
{
    useBackend("sim", "silent=1");
    FT_HANDLE handle = openLikeTheLink(0, 100);
    D2xxHost(handle).send(Ping);
    qint64 elapsed = 0;
    QCOMPARE(timedRead(handle, 10, &elapsed), DWORD(0));
    QVERIFY(elapsed >= 50); // it waited rather than giving up
    QVERIFY(elapsed < 5000);
    FT_Close(handle);
}

void TestSimBackend::memoryOutlivesTheConnectionButUnfinishedWorkDoesNot()
{
    useBackend("sim", "frame=100,records=2");
    FT_HANDLE handle = openLikeTheLink(0, 100);
    D2xxHost first(handle);
    QCOMPARE(first.sendData(Command::FixtureRecord, 0, fixtureRecord("Survivor", 5), 100), uint8_t(0));
    // A second record half sent, and half a frame, when the host closes.
    const auto chunks = dataOutFrames(Command::FixtureRecord, 0, fixtureRecord("Cut Off", 5), 100);
    for (size_t i = 0; i < 10; ++i) {
        QVERIFY(first.exchange(chunks[i])->isStatus(0));
    }
    first.send(Bytes(Ping.begin(), Ping.begin() + 5));
    FT_Close(handle);

    D2xxHost host(handle = openLikeTheLink(0, 100));
    QVERIFY(host.exchange(Ping)); // no stale half frame in the way
    QVERIFY(host.exchange(chunks[10])->isStatus(sim::Refusal::OutOfSequence));
    QCOMPARE(readLe16(host.requestMulti(Command::FixtureList, 0).value_or(Bytes(2)).data()), uint16_t(3));
    QCOMPARE(static_cast<SimBackend&>(d2xxBackend()).device(0)->store().count(), 3u);
    FT_Close(handle);
}

void TestSimBackend::vanishedDeviceLeavesTheBusAndReadsTimeOut()
{
    useBackend("sim", "model=QRD-780,vanish=2;model=QRD-540B");
    FT_HANDLE handle = openLikeTheLink(0, 50);
    D2xxHost host(handle);
    QVERIFY(host.exchange(Ping));
    QVERIFY(!host.exchange(Ping));

    DWORD count = 0;
    QCOMPARE(FT_Write(handle, Ping.data(), DWORD(Ping.size()), &count), FT_IO_ERROR);
    QCOMPARE(count, DWORD(0));
    FT_GetQueueStatus(handle, &count);
    QCOMPARE(count, DWORD(0));
    qint64 elapsed = 0;
    QCOMPARE(timedRead(handle, 1, &elapsed), DWORD(0));
    QVERIFY(elapsed >= 25);
    QCOMPARE(FT_Close(handle), FT_OK);

    // Unplugged: the other device moves up to position 0.
    QCOMPARE(listedDescriptions(), QStringList {"KORVANE KVP-DEV"});
    handle = openLikeTheLink(0, 100);
    QCOMPARE(modelOf(D2xxHost(handle).exchange(Ping)), QString("QRD-540B"));
    FT_Close(handle);
}

QTEST_GUILESS_MAIN(TestSimBackend)
#include "TestSimBackend.moc"
