// The `socket` backend against kvp-device-sim processes: the device list from
// KVP_FTDI_SOCKETS, a connection per open, the read contract, the queue status, a
// silent device, a socket nobody listens on, a peer that dies, and the server's own
// start and stop.

#include "TestSimSupport.h"

#include "D2xxBackend.h"
#include "backends/SocketBackend.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

using namespace korvane::KVP;

namespace {

constexpr uint8_t BothFlags = Frame::FlagFirst | Frame::FlagLast;
const Bytes ping = requestFrame(Command::Identify, 0, BothFlags);
const QString DeviceSim = QStringLiteral(QRD_BIN_DIR "/kvp-device-sim");

/// A kvp-device-sim process, stopped with SIGTERM when it goes.
class DeviceSimProcess
{
public:
    DeviceSimProcess(const QString& socket, const QString& settings)
    {
        m_process.start(DeviceSim, {"--socket", socket, "--device", settings});
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning && timer.elapsed() < 10000) {
            m_process.waitForReadyRead(100);
        }
        m_ready = m_process.readLine() == "listening on " + socket.toLocal8Bit() + "\n";
    }
    ~DeviceSimProcess() { stop(); }

    bool ready() const { return m_ready; }
    /// SIGTERM, then the exit code (-1 when it had to be killed or crashed).
    int stop()
    {
        if (m_process.state() == QProcess::NotRunning) {
            return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        }
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
    bool m_ready = false;
};

/// qputenv, not setenv: the test library's watchdog thread reads the environment, and
/// only Qt's calls share its lock.
void useSockets(const QByteArray& sockets)
{
    qputenv(BackendVariable, "socket");
    qputenv(SocketDevicesVariable, sockets);
    setD2xxBackend(makeSocketBackend());
}

/// Reads `length` bytes; returns the count and how long the read took.
DWORD timedRead(FT_HANDLE handle, DWORD length, qint64* elapsed)
{
    std::vector<uint8_t> buffer(length);
    QElapsedTimer timer;
    timer.start();
    DWORD count = 99;
    FT_Read(handle, buffer.data(), length, &count);
    *elapsed = timer.elapsed();
    return count;
}

} // namespace

class TestSocketBackend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void devicesAreListedFromTheVariable_data();
    void devicesAreListedFromTheVariable();
    void pingThroughTheSocket();
    void recordIsWrittenListedReadAndDeleted();
    void memoryOutlivesTheConnection();
    void readOnASilentDeviceTimesOut();
    void unreachableSocketIsADeadDevice();
    void peerThatDiesBecomesADeadDevice();
    void serverStopsCleanlyOnSignal();
    void serverRejectsBadArguments_data();
    void serverRejectsBadArguments();

private:
    QTemporaryDir m_dir;
    QString socketPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
};

void TestSocketBackend::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(DeviceSim), qPrintable(DeviceSim));
}

void TestSocketBackend::cleanup()
{
    setD2xxBackend(nullptr);
}

void TestSocketBackend::devicesAreListedFromTheVariable_data()
{
    QTest::addColumn<QByteArray>("sockets");
    QTest::addColumn<QStringList>("descriptions");

    QTest::newRow("two devices and another chip")
        << QByteArray("KORVANE KVP-DEV=/tmp/a.sock;KORVANE KVP-DGL=/tmp/b.sock;FT232R USB UART=/tmp/c=d.sock")
        << QStringList {"KORVANE KVP-DEV", "KORVANE KVP-DGL", "FT232R USB UART"};
    QTest::newRow("empty entries skipped")
        << QByteArray(";KORVANE KVP-DEV=/tmp/a.sock;") << QStringList {"KORVANE KVP-DEV"};
    QTest::newRow("longer than the node: cut, still terminated")
        << QByteArray(QByteArray(70, 'D') + "=/tmp/a.sock") << QStringList {QString(63, 'D')};
    QTest::newRow("entry without a path: no device") << QByteArray("KORVANE KVP-DEV") << QStringList {};
    QTest::newRow("empty") << QByteArray("") << QStringList {};
}

void TestSocketBackend::devicesAreListedFromTheVariable()
{
    QFETCH(QByteArray, sockets);
    useSockets(sockets);
    QTEST(listedDescriptions(), "descriptions");
}

void TestSocketBackend::pingThroughTheSocket()
{
    const QString path = socketPath("ping.sock");
    DeviceSimProcess sim(path, "model=QRD-540B,fw=0x0103");
    QVERIFY(sim.ready());
    useSockets("KORVANE KVP-DGL=" + path.toLocal8Bit());
    FT_HANDLE handle = openLikeTheLink(0, 500);
    QVERIFY(handle);

    DWORD count = 0;
    QCOMPARE(FT_Write(handle, ping.data(), DWORD(ping.size()), &count), FT_OK);
    QCOMPARE(count, DWORD(ping.size()));
    QElapsedTimer timer;
    timer.start();
    do {
        QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    } while (count < 64 && timer.elapsed() < 5000 && (QTest::qSleep(1), true));
    QCOMPARE(count, DWORD(64));

    uint8_t buffer[100];
    QCOMPARE(FT_Read(handle, buffer, sizeof buffer, &count), FT_OK); // more than comes
    QCOMPARE(count, DWORD(64));
    const auto replies = decodeFrames(Bytes(buffer, buffer + count));
    QCOMPARE(replies.size(), size_t(1));
    QCOMPARE(reinterpret_cast<const char*>(&replies[0].payload[6]), "QRD-540B");
    QCOMPARE(readLe16(&replies[0].payload[4]), uint16_t(0x0103));
    QCOMPARE(FT_Close(handle), FT_OK);
}

void TestSocketBackend::recordIsWrittenListedReadAndDeleted()
{
    const QString path = socketPath("records.sock");
    DeviceSimProcess sim(path, "frame=100,slots=3,records=2,patch=1");
    QVERIFY(sim.ready());
    useSockets("KORVANE KVP-DEV=" + path.toLocal8Bit());
    FT_HANDLE handle = openLikeTheLink(0, 500);
    D2xxHost host(handle);

    const auto state = host.requestMulti(Command::MemoryState, 0);
    QVERIFY(state);
    QCOMPARE(*state, (Bytes {1, 0}));
    QVERIFY(host.exchange(dataOutFrame(Command::ClearPatch, 0, BothFlags, {}))->isStatus(0));
    QCOMPARE(host.sendData(Command::FixtureRecord, 0, fixtureRecord("Over The Socket", 9), 100), uint8_t(0));
    QCOMPARE(host.sendData(Command::FixtureRecord, 0, fixtureRecord("One Too Many", 1), 100),
             std::optional<uint8_t>(sim::Refusal::MemoryFull));
    QCOMPARE(*host.requestMulti(Command::MemoryState, 0), (Bytes {0, 1}));

    const auto list = host.requestMulti(Command::FixtureList, 0);
    QVERIFY(list);
    QCOMPARE(list->size(), size_t(2 + 3 * 244));
    const uint8_t number = (*list)[2 + 2 * 244 + sim::Record::NumberOffset];
    const auto record = host.requestMulti(Command::FixtureRecord, number);
    QVERIFY(record);
    QCOMPARE(record->size(), size_t(244 + 9 * 112));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(record->data())), QByteArray("Over The Socket"));
    QCOMPARE(host.exchange(requestFrame(Command::FixtureDelete, number))->type, uint8_t(Frame::DataReply));
    QCOMPARE(*host.requestMulti(Command::MemoryState, 0), (Bytes {1, 1}));
    FT_Close(handle);
}

void TestSocketBackend::memoryOutlivesTheConnection()
{
    const QString path = socketPath("memory.sock");
    DeviceSimProcess sim(path, "records=1");
    QVERIFY(sim.ready());
    useSockets("KORVANE KVP-DEV=" + path.toLocal8Bit());
    for (int round = 1; round <= 3; ++round) {
        FT_HANDLE handle = openLikeTheLink(0, 500);
        D2xxHost host(handle);
        QVERIFY(host.exchange(ping));
        const auto list = host.requestMulti(Command::FixtureList, 0);
        QVERIFY(list);
        QCOMPARE(int(readLe16(list->data())), round);
        QCOMPARE(host.sendData(Command::FixtureRecord, 0, fixtureRecord("Another", 2), 522), uint8_t(0));
        host.send(Bytes(ping.begin(), ping.begin() + 9)); // cut off by the close
        QCOMPARE(FT_Close(handle), FT_OK);
    }
}

void TestSocketBackend::readOnASilentDeviceTimesOut()
{
    const QString path = socketPath("silent.sock");
    DeviceSimProcess sim(path, "silent=1");
    QVERIFY(sim.ready());
    useSockets("KORVANE KVP-DEV=" + path.toLocal8Bit());
    FT_HANDLE handle = openLikeTheLink(0, 100);
    DWORD count = 0;
    FT_Write(handle, ping.data(), DWORD(ping.size()), &count);
    qint64 elapsed = 0;
    QCOMPARE(timedRead(handle, 10, &elapsed), DWORD(0));
    QVERIFY(elapsed >= 50);
    QVERIFY(elapsed < 5000);
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    QCOMPARE(count, DWORD(0));
    FT_Close(handle);
}

void TestSocketBackend::unreachableSocketIsADeadDevice()
{
    useSockets("KORVANE KVP-DEV=" + socketPath("nobody.sock").toLocal8Bit()
               + ";KORVANE KVP-DGL=" + QByteArray(200, 'x'));
    for (int index = 0; index < 2; ++index) {
        FT_HANDLE handle = openLikeTheLink(index, 100);
        QVERIFY(handle);
        DWORD count = 0;
        QCOMPARE(FT_Write(handle, ping.data(), DWORD(ping.size()), &count), FT_OK);
        QCOMPARE(count, DWORD(ping.size()));
        QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
        QCOMPARE(count, DWORD(0));
        qint64 elapsed = 0;
        QCOMPARE(timedRead(handle, 10, &elapsed), DWORD(0));
        QVERIFY(elapsed >= 50);
        QVERIFY(elapsed < 5000);
        QCOMPARE(FT_Close(handle), FT_OK);
    }
}

void TestSocketBackend::peerThatDiesBecomesADeadDevice()
{
    const QString path = socketPath("dies.sock");
    auto sim = std::make_unique<DeviceSimProcess>(path, "");
    QVERIFY(sim->ready());
    useSockets("KORVANE KVP-DEV=" + path.toLocal8Bit());
    FT_HANDLE handle = openLikeTheLink(0, 100);
    D2xxHost host(handle);
    QVERIFY(host.exchange(ping));
    sim->kill();

    // Writing to a socket whose peer is gone must not raise SIGPIPE in the host.
    for (int i = 0; i < 3; ++i) {
        DWORD count = 0;
        QCOMPARE(FT_Write(handle, ping.data(), DWORD(ping.size()), &count), FT_OK);
        qint64 elapsed = 0;
        QCOMPARE(timedRead(handle, 10, &elapsed), DWORD(0));
        QVERIFY(elapsed >= 50);
    }
    FT_Close(handle);
}

void TestSocketBackend::serverStopsCleanlyOnSignal()
{
    const QString path = socketPath("stop.sock");
    DeviceSimProcess sim(path, "");
    QVERIFY(sim.ready());
    useSockets("KORVANE KVP-DEV=" + path.toLocal8Bit());
    FT_HANDLE handle = openLikeTheLink(0, 500); // stopped while a host is connected
    QVERIFY(handle);
    QVERIFY(D2xxHost(handle).exchange(ping));
    QCOMPARE(sim.stop(), 0);
    QVERIFY(!QFile::exists(path));
    FT_Close(handle);
}

void TestSocketBackend::serverRejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("help") << QStringList {"--help"} << 0;
    QTest::newRow("no socket") << QStringList {"--device", "model=QRD-780"} << 2;
    QTest::newRow("unknown option") << QStringList {"--socket", "/tmp/x.sock", "--speed"} << 2;
    QTest::newRow("bad device settings") << QStringList {"--socket", "/tmp/x.sock", "--device", "slots=900"} << 2;
    QTest::newRow("path is another file, left alone") << QStringList {"--socket", "FILE"} << 1;
}

void TestSocketBackend::serverRejectsBadArguments()
{
    QFETCH(QStringList, arguments);
    const QString file = socketPath("plain-file");
    QFile plain(file);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    arguments.replaceInStrings(QRegularExpression("^FILE$"), file);
    QProcess process;
    process.start(DeviceSim, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QTEST(process.exitCode(), "exitCode");
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY(!(out + process.readAllStandardError()).isEmpty()); // it says why, or how
    QVERIFY(!out.startsWith("listening on"));
    QVERIFY(QFile::exists(file));
}

QTEST_GUILESS_MAIN(TestSocketBackend)
#include "TestSocketBackend.moc"
