// The `sim` and `socket` D2XX backends, one set of cases over both, as the physical link
// calls them: the device list, handles, the read contract, memory across reconnects, dead devices.

#include "D2xx.h"
#include "D2xxBackend.h"
#include "TestSimSupport.h"
#include "backends/SimBackend.h"
#include "backends/SocketBackend.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

namespace {

const QString DeviceSimPath = QStringLiteral(QRD_BIN_DIR "/kvp-device-sim");

class D2xxHost : public TestHost
{
public:
    explicit D2xxHost(FT_HANDLE handle) : m_handle(handle) { }
    void send(const Bytes& bytes) override { FT_Write(m_handle, bytes.data(), DWORD(bytes.size()), &m_count); }
    std::optional<ReplyFrame> receive() override
    {
        Bytes bytes(Frame::HeaderLength);
        FT_Read(m_handle, bytes.data(), DWORD(bytes.size()), &m_count);
        if (m_count == Frame::HeaderLength) {
            bytes.resize(Frame::Overhead + readLe16(&bytes[Frame::LengthOffset]));
            FT_Read(m_handle, &bytes[Frame::HeaderLength], DWORD(bytes.size() - Frame::HeaderLength), &m_count);
        }
        return firstFrame(bytes);
    }

private:
    FT_HANDLE m_handle;
    DWORD m_count = 0;
};

/// Installs the "sim" or "socket" backend with its device variable (unset when null).
/// qputenv, not setenv: Qt's watchdog thread reads the environment too.
void useBackend(const QByteArray& backend, const QByteArray& devices)
{
    const bool sim = backend == "sim";
    const char* variable = sim ? SimDevicesVariable : SocketDevicesVariable;
    qputenv(BackendVariable, backend);
    devices.isNull() ? qunsetenv(variable) : qputenv(variable, devices);
    setD2xxBackend(sim ? makeSimBackend() : makeSocketBackend());
}

FT_HANDLE openLikeTheLink(int index, ULONG readTimeoutMs)
{
    FT_HANDLE handle = nullptr;
    if (FT_Open(index, &handle) != FT_OK || FT_ResetDevice(handle) != FT_OK
        || FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_NONE) != FT_OK
        || FT_SetTimeouts(handle, readTimeoutMs, 2000) != FT_OK || FT_SetBaudRate(handle, 250000) != FT_OK
        || FT_SetLatencyTimer(handle, 2) != FT_OK) {
        return nullptr;
    }
    D2xxHost(handle).send({0x00, 0x91, 0x4B, 0x76, 0x01});
    return handle;
}

/// The device list; a node not zeroed but for a terminated description shows as "<bad node>".
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE::Description) == 64);
QStringList listedDescriptions()
{
    DWORD count = 0;
    FT_CreateDeviceInfoList(&count);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count + 1);
    std::memset(static_cast<void*>(nodes.data()), 0x5A, nodes.size() * sizeof(FT_DEVICE_LIST_INFO_NODE));
    if (FT_GetDeviceInfoList(nodes.data(), &count) != FT_OK) {
        return {QStringLiteral("<no list>")};
    }
    QStringList descriptions;
    for (DWORD i = 0; i < count; ++i) {
        const char* text = nodes[i].Description;
        const bool padded = std::all_of(text + strnlen(text, 64), text + 64, [](char c) { return c == 0; });
        descriptions << (padded && text[63] == 0 && nodes[i].ID == 0 && !nodes[i].ftHandle ? QString::fromLatin1(text)
                                                                                           : QString("<bad node>"));
    }
    return descriptions;
}

DWORD timedRead(FT_HANDLE handle, DWORD length, qint64* elapsedMs)
{
    Bytes buffer(length);
    QElapsedTimer timer;
    timer.start();
    DWORD count = 99;
    FT_Read(handle, buffer.data(), length, &count);
    *elapsedMs = timer.elapsed();
    return count;
}

class DeviceSim : public QProcess
{
public:
    DeviceSim(const QString& socket, const QString& settings)
    {
        start(DeviceSimPath, {"--socket", socket, "--device", settings});
        ready = waitForReadyRead(10000) && readLine() == "listening on " + socket.toLocal8Bit() + "\n";
        useBackend("socket", "KORVANE KVP-DEV=" + socket.toLocal8Bit());
    }
    ~DeviceSim() override { stop(); }
    int stop()
    {
        terminate();
        if (!waitForFinished(5000)) {
            kill();
            waitForFinished();
        }
        return exitStatus() == NormalExit ? exitCode() : -1;
    }
    bool ready = false;
};

} // namespace

class TestD2xxBackends : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString socketPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    std::unique_ptr<DeviceSim> startDevice(const QByteArray& backend, const QString& settings)
    {
        if (backend == "sim") {
            useBackend("sim", settings.toLatin1());
            return nullptr;
        }
        return std::make_unique<DeviceSim>(socketPath(QTest::currentDataTag()), settings);
    }
    static void bothBackends()
    {
        QTest::addColumn<QByteArray>("backend");
        QTest::newRow("sim") << QByteArray("sim");
        QTest::newRow("socket") << QByteArray("socket");
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { setD2xxBackend(nullptr); }

    void devicesAreListedFromTheVariable_data()
    {
        QTest::addColumn<QByteArray>("backend");
        QTest::addColumn<QByteArray>("devices");
        QTest::addColumn<QStringList>("descriptions");
        const QByteArray sim = "sim", socket = "socket";
        QTest::newRow("sim: split at ; outside quotes")
            << sim << QByteArray(R"(model=QRD-780;;model=QRD-540B,desc="KORVANE KVP-DGL";desc="A;B"; )")
            << QStringList {"KORVANE KVP-DEV", "KORVANE KVP-DGL", "A;B"};
        QTest::newRow("sim: bad settings, no device") << sim << QByteArray("model=QRD-780;slots=999") << QStringList();
        QTest::newRow("socket: split at the first =")
            << socket
            << QByteArray(";KORVANE KVP-DEV=/tmp/a.sock;;KORVANE KVP-DGL=/tmp/b.sock;FT232R USB UART=/tmp/c=d.sock;")
            << QStringList {"KORVANE KVP-DEV", "KORVANE KVP-DGL", "FT232R USB UART"};
        QTest::newRow("socket: cut to the node")
            << socket << QByteArray(70, 'D') + "=/tmp/a.sock" << QStringList {QString(63, 'D')};
        QTest::newRow("socket: no path, no device") << socket << QByteArray("KORVANE KVP-DEV") << QStringList();
    }

    void devicesAreListedFromTheVariable()
    {
        QFETCH(QByteArray, backend);
        QFETCH(QByteArray, devices);
        useBackend(backend, devices);
        QTEST(listedDescriptions(), "descriptions");
    }

    void deviceKeepsItsMemoryAcrossReconnectsButNotUnfinishedWork_data() { bothBackends(); }
    void deviceKeepsItsMemoryAcrossReconnectsButNotUnfinishedWork()
    {
        QFETCH(QByteArray, backend);
        const auto server = startDevice(backend, "model=QRD-540B,frame=100,records=1");
        QVERIFY(!server || server->ready);
        FT_HANDLE handle = nullptr;
        QCOMPARE(FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
        QCOMPARE(FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
        QCOMPARE(handle, nullptr);
        const auto chunks = dataOutFrames(Command::FixtureRecord, 0, fixtureRecord("Cut Off", 5), 100);
        DWORD count = 0;
        for (int round = 1; round <= 2; ++round) {
            D2xxHost host(handle = openLikeTheLink(0, 500));
            QCOMPARE(FT_Read(handle, nullptr, 1, &count), FT_INVALID_PARAMETER);
            QCOMPARE(FT_Read(handle, nullptr, 0, &count), FT_OK);
            // No stale half frame in the way, and no half record to carry on.
            QCOMPARE(host.exchange(Ping).value_or(ReplyFrame()).payload, identityBlock(100, "QRD-540B", 1, 0x0102));
            QVERIFY(host.exchange(chunks[10]).value_or(ReplyFrame()).isStatus(sim::Refusal::OutOfSequence));
            QCOMPARE(int(readLe16(host.requestMulti(Command::FixtureList, 0).value_or(Bytes(2)).data())), round);
            QCOMPARE(host.sendData(Command::FixtureRecord, 0, fixtureRecord("Kept", 2), 100), uint8_t(0));
            for (size_t i = 0; i < 10; ++i) {
                QVERIFY(host.exchange(chunks[i]).value_or(ReplyFrame()).isStatus(0));
            }
            host.send(Bytes(Ping.begin(), Ping.begin() + 5)); // cut off by the close
            QCOMPARE(FT_Close(handle), FT_OK);
        }
        uint8_t byte = 0;
        QCOMPARE(FT_Read(handle, &byte, 1, &count), FT_INVALID_HANDLE);
        QCOMPARE(FT_Write(handle, &byte, 1, &count), FT_INVALID_HANDLE);
        QCOMPARE(FT_GetQueueStatus(handle, &count), FT_INVALID_HANDLE);
        QCOMPARE(FT_Close(handle), FT_INVALID_HANDLE);
    }

    void readWaitsForWhatItAsksUpToTheTimeout_data() { bothBackends(); }
    void readWaitsForWhatItAsksUpToTheTimeout()
    {
        QFETCH(QByteArray, backend);
        const auto server = startDevice(backend, "wire=1,latency=2");
        QVERIFY(!server || server->ready);
        FT_HANDLE handle = openLikeTheLink(0, 250);
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
        QVERIFY(elapsed < 250); // nor at the timeout
        QCOMPARE(timedRead(handle, 100, &elapsed), DWORD(10)); // more than comes: what came, at the timeout
        QVERIFY(elapsed >= 250);
        FT_Close(handle);
    }

    void deviceThatGoesAwayIsADeadDevice_data() { bothBackends(); }
    void deviceThatGoesAwayIsADeadDevice()
    {
        QFETCH(QByteArray, backend);
        const bool vanish = backend == "sim"; // the simulated device vanishes, the socket's server stops
        const auto server = startDevice(backend, vanish ? "vanish=2" : "");
        QVERIFY(!server || server->ready);
        FT_HANDLE handle = openLikeTheLink(0, 30);
        QVERIFY(handle && D2xxHost(handle).exchange(Ping));
        if (vanish) {
            QVERIFY(!D2xxHost(handle).exchange(Ping));
        } else { // stopped while a host is connected: it removes its socket
            QCOMPARE(server->stop(), 0);
            QVERIFY(!QFile::exists(socketPath(QTest::currentDataTag())));
        }
        // Writes go through (a vanished simulated device reports an I/O error), reads time out empty.
        // Writing to a socket whose peer is gone must not raise SIGPIPE in the host.
        for (int i = 0; i < 3; ++i) {
            DWORD count = 0;
            QCOMPARE(FT_Write(handle, Ping.data(), DWORD(Ping.size()), &count), vanish ? FT_IO_ERROR : FT_OK);
            QCOMPARE(count, DWORD(vanish ? 0 : Ping.size()));
            QCOMPARE(FT_GetQueueStatus(handle, &count), vanish ? FT_IO_ERROR : FT_OK);
            QCOMPARE(count, DWORD(0));
            qint64 elapsed = 0;
            QCOMPARE(timedRead(handle, 10, &elapsed), DWORD(0));
            QVERIFY(elapsed >= 15 && elapsed < 5000); // it waited rather than giving up
        }
        QCOMPARE(FT_Close(handle), FT_OK);
        if (vanish) { // it leaves the bus
            QCOMPARE(listedDescriptions(), QStringList());
            QCOMPARE(FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
        }
    }
};

QTEST_GUILESS_MAIN(TestD2xxBackends)
#include "TestD2xxBackends.moc"
