// The `sim` backend through the D2XX functions, as the physical link calls them: the
// device list from KVP_SIM_DEVICES, opening, the read contract with its timeout, the
// queue status, the wire model, and what survives a close.

#include "TestSimSupport.h"

#include "D2xxBackend.h"
#include "backends/SimBackend.h"

#include <QElapsedTimer>
#include <QTest>

#include <cstring>

using namespace korvane::KVP;

namespace {

constexpr uint8_t BothFlags = Frame::FlagFirst | Frame::FlagLast;
const Bytes ping = requestFrame(Command::Identify, 0, BothFlags);

/// Puts the devices into the environment and makes the backend from it; null leaves
/// the variable unset. qputenv, not setenv: the test library's watchdog thread reads the
/// environment, and only Qt's calls share its lock.
void useSimDevices(const char* devices)
{
    qputenv(BackendVariable, "sim");
    if (devices) {
        qputenv(SimDevicesVariable, devices);
    } else {
        qunsetenv(SimDevicesVariable);
    }
    setD2xxBackend(makeSimBackend());
}

SimBackend& simBackend()
{
    return static_cast<SimBackend&>(d2xxBackend());
}

} // namespace

class TestSimBackend : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void devicesAreListedFromTheVariable_data();
    void devicesAreListedFromTheVariable();
    void openReachesTheDeviceAtItsPosition();
    void openOutsideTheListFails();
    void closedHandleIsRefused();
    void readReturnsAtOnceWhenTheBytesAreWaiting();
    void readReturnsWhatCameWhenTheTimeoutRunsOut();
    void readOnASilentDeviceTimesOut_data();
    void readOnASilentDeviceTimesOut();
    void wireModelMakesBytesWaitForTheirTime();
    void memoryOutlivesTheConnection();
    void vanishedDeviceLeavesTheBusAndReadsTimeOut();
    void firmwareUpdateWithoutTheLastAcknowledgement();
};

void TestSimBackend::cleanup()
{
    setD2xxBackend(nullptr);
}

void TestSimBackend::devicesAreListedFromTheVariable_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<QStringList>("descriptions");

    QTest::newRow("unset: one default device") << QByteArray() << QStringList {"KORVANE KVP-DEV"};
    QTest::newRow("empty: no device") << QByteArray("") << QStringList {};
    QTest::newRow("two devices, one other chip")
        << QByteArray(R"(model=QRD-780;model=QRD-540B,desc="KORVANE KVP-DGL";desc=FT232R USB UART)")
        << QStringList {"KORVANE KVP-DEV", "KORVANE KVP-DGL", "FT232R USB UART"};
    QTest::newRow("longest description") << QByteArray("desc=" + QByteArray(63, 'D')) << QStringList {QString(63, 'D')};
    QTest::newRow("bad settings: no device") << QByteArray("model=QRD-780;slots=999") << QStringList {};
}

void TestSimBackend::devicesAreListedFromTheVariable()
{
    QFETCH(QByteArray, devices);
    useSimDevices(devices.isNull() ? nullptr : devices.constData());
    QTEST(listedDescriptions(), "descriptions");
}

void TestSimBackend::openReachesTheDeviceAtItsPosition()
{
    useSimDevices("model=QRD-780;model=QRD-540B,fw=0x0101");
    FT_HANDLE handle = openLikeTheLink(1, 100);
    QVERIFY(handle);
    D2xxHost host(handle);
    const auto reply = host.exchange(ping);
    QVERIFY(reply);
    QCOMPARE(reinterpret_cast<const char*>(&reply->payload[6]), "QRD-540B");
    QCOMPARE(FT_Close(handle), FT_OK);
}

void TestSimBackend::openOutsideTheListFails()
{
    useSimDevices("model=QRD-780");
    FT_HANDLE handle = nullptr;
    QCOMPARE(FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
    QCOMPARE(FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
    QCOMPARE(handle, nullptr);
}

void TestSimBackend::closedHandleIsRefused()
{
    useSimDevices(nullptr);
    FT_HANDLE handle = openLikeTheLink(0, 100);
    QVERIFY(handle);
    QCOMPARE(FT_Close(handle), FT_OK);
    uint8_t byte = 0;
    DWORD count = 0;
    QCOMPARE(FT_Read(handle, &byte, 1, &count), FT_INVALID_HANDLE);
    QCOMPARE(FT_Write(handle, &byte, 1, &count), FT_INVALID_HANDLE);
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_INVALID_HANDLE);
    QCOMPARE(FT_Close(handle), FT_INVALID_HANDLE);
}

void TestSimBackend::readReturnsAtOnceWhenTheBytesAreWaiting()
{
    useSimDevices(nullptr);
    FT_HANDLE handle = openLikeTheLink(0, 5000);
    DWORD count = 0;
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    QCOMPARE(count, DWORD(0));
    QCOMPARE(FT_Write(handle, ping.data(), DWORD(ping.size()), &count), FT_OK);
    QCOMPARE(count, DWORD(ping.size()));
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    QCOMPARE(count, DWORD(64));

    QElapsedTimer timer;
    timer.start();
    uint8_t buffer[64];
    QCOMPARE(FT_Read(handle, buffer, 10, &count), FT_OK);
    QCOMPARE(count, DWORD(10));
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    QCOMPARE(count, DWORD(54));
    QCOMPARE(FT_Read(handle, buffer + 10, 54, &count), FT_OK);
    QCOMPARE(count, DWORD(54));
    QVERIFY(timer.elapsed() < 2500); // not the 5 s timeout
    QCOMPARE(decodeFrames(Bytes(buffer, buffer + 64)).size(), size_t(1));
    FT_Close(handle);
}

void TestSimBackend::readReturnsWhatCameWhenTheTimeoutRunsOut()
{
    useSimDevices(nullptr);
    FT_HANDLE handle = openLikeTheLink(0, 100);
    DWORD count = 0;
    FT_Write(handle, ping.data(), DWORD(ping.size()), &count);
    uint8_t buffer[100];
    QCOMPARE(FT_Read(handle, buffer, sizeof buffer, &count), FT_OK);
    QCOMPARE(count, DWORD(64));
    FT_Close(handle);
}

void TestSimBackend::readOnASilentDeviceTimesOut_data()
{
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("50 ms") << 50;
    QTest::newRow("250 ms") << 250;
}

void TestSimBackend::readOnASilentDeviceTimesOut()
{
    QFETCH(int, timeoutMs);
    useSimDevices("silent=1");
    FT_HANDLE handle = openLikeTheLink(0, ULONG(timeoutMs));
    DWORD count = 0;
    FT_Write(handle, ping.data(), DWORD(ping.size()), &count);

    QElapsedTimer timer;
    timer.start();
    uint8_t buffer[10];
    count = 99;
    QCOMPARE(FT_Read(handle, buffer, sizeof buffer, &count), FT_OK);
    QCOMPARE(count, DWORD(0));
    QVERIFY(timer.elapsed() >= timeoutMs / 2); // it waited rather than giving up
    QVERIFY(timer.elapsed() < timeoutMs + 5000);
    FT_Close(handle);
}

void TestSimBackend::wireModelMakesBytesWaitForTheirTime()
{
    useSimDevices("wire=1,latency=2");
    FT_HANDLE handle = openLikeTheLink(0, 5000);
    DWORD count = 0;
    QElapsedTimer timer;
    timer.start();
    FT_Write(handle, ping.data(), DWORD(ping.size()), &count);
    // 14 bytes out, 64 back at 44 us each, and 2 ms of latency: at least 5.4 ms.
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    if (timer.nsecsElapsed() < 2'000'000) {
        QCOMPARE(count, DWORD(0));
    }
    uint8_t buffer[64];
    QCOMPARE(FT_Read(handle, buffer, sizeof buffer, &count), FT_OK);
    QCOMPARE(count, DWORD(64));
    QVERIFY(timer.nsecsElapsed() >= 5'400'000);
    QVERIFY(timer.elapsed() < 4000); // returned when the bytes were there, not at the timeout
    FT_Close(handle);
}

void TestSimBackend::memoryOutlivesTheConnection()
{
    useSimDevices("frame=100,records=2");
    {
        FT_HANDLE handle = openLikeTheLink(0, 100);
        D2xxHost host(handle);
        QCOMPARE(host.sendData(Command::FixtureRecord, 0, fixtureRecord("Survivor", 5), 100), uint8_t(0));
        host.send(Bytes(ping.begin(), ping.begin() + 5)); // half a frame left behind
        FT_Close(handle);
    }
    FT_HANDLE handle = openLikeTheLink(0, 100);
    D2xxHost host(handle);
    QVERIFY(host.exchange(ping));
    const auto list = host.requestMulti(Command::FixtureList, 0);
    QVERIFY(list);
    QCOMPARE(readLe16(list->data()), uint16_t(3));
    QCOMPARE(simBackend().device(0)->store().count(), 3u);
    FT_Close(handle);
}

void TestSimBackend::vanishedDeviceLeavesTheBusAndReadsTimeOut()
{
    useSimDevices("model=QRD-780,vanish=2;model=QRD-540B");
    FT_HANDLE handle = openLikeTheLink(0, 50);
    D2xxHost host(handle);
    QVERIFY(host.exchange(ping));
    QVERIFY(!host.exchange(ping));

    DWORD count = 0;
    uint8_t byte = 0;
    QCOMPARE(FT_Write(handle, ping.data(), DWORD(ping.size()), &count), FT_IO_ERROR);
    QCOMPARE(count, DWORD(0));
    FT_GetQueueStatus(handle, &count);
    QCOMPARE(count, DWORD(0));
    QElapsedTimer timer;
    timer.start();
    FT_Read(handle, &byte, 1, &count);
    QCOMPARE(count, DWORD(0));
    QVERIFY(timer.elapsed() >= 25);
    QCOMPARE(FT_Close(handle), FT_OK);

    // Unplugged: the other device moves up to position 0.
    QCOMPARE(listedDescriptions(), QStringList {"KORVANE KVP-DEV"});
    handle = openLikeTheLink(0, 100);
    QVERIFY(handle);
    D2xxHost other(handle);
    QCOMPARE(reinterpret_cast<const char*>(&other.exchange(ping)->payload[6]), "QRD-540B");
    FT_Close(handle);
}

void TestSimBackend::firmwareUpdateWithoutTheLastAcknowledgement()
{
    useSimDevices("frame=522,nolastack=1");
    FT_HANDLE handle = openLikeTheLink(0, 50);
    D2xxHost host(handle);
    const Bytes sector(1024, 3);
    QCOMPARE(host.sendData(Command::FirmwareHeader, 0, firmwareHeader({1024}, 3072), 522), uint8_t(0));
    int frames = 0;
    QCOMPARE(host.sendData(Command::FirmwareSector, 0, sector, 522, &frames), std::optional<uint8_t>());
    QCOMPARE(frames, 3); // the first two acknowledged, the final one not
    QVERIFY(simBackend().device(0)->lastFirmwareUpdate().succeeded());
    FT_Close(handle);
}

QTEST_GUILESS_MAIN(TestSimBackend)
#include "TestSimBackend.moc"
