// The `socket` backend against kvp-device-sim processes: the device list from
// KVP_FTDI_SOCKETS, a connection per open, the read contract, a silent device, a socket
// nobody listens on, a peer that goes away, and the server's own start and stop.

#include "TestSimSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

namespace {

const QString DeviceSimPath = QStringLiteral(QRD_BIN_DIR "/kvp-device-sim");

/// A kvp-device-sim process on `socket`, the socket backend pointed at it; stopped when it goes.
class DeviceSim : public QProcess
{
public:
    DeviceSim(const QString& socket, const QString& settings)
    {
        start(DeviceSimPath, {"--socket", socket, "--device", settings});
        QElapsedTimer timer;
        timer.start();
        while (!canReadLine() && state() != NotRunning && timer.elapsed() < 10000) {
            waitForReadyRead(100);
        }
        ready = readLine() == "listening on " + socket.toLocal8Bit() + "\n";
        useBackend("socket", "KORVANE KVP-DEV=" + socket.toLocal8Bit());
    }
    ~DeviceSim() override { stop(); }
    /// SIGTERM, then the exit code (-1 when it had to be killed or crashed).
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

/// A host whose device answers nothing: writes go through, reads time out empty.
void expectDeadDevice(FT_HANDLE handle)
{
    DWORD count = 0;
    QCOMPARE(FT_Write(handle, Ping.data(), DWORD(Ping.size()), &count), FT_OK);
    QCOMPARE(count, DWORD(Ping.size()));
    QCOMPARE(FT_GetQueueStatus(handle, &count), FT_OK);
    QCOMPARE(count, DWORD(0));
    qint64 elapsed = 0;
    QCOMPARE(timedRead(handle, 10, &elapsed), DWORD(0));
    QVERIFY(elapsed >= 50);
    QVERIFY(elapsed < 5000);
}

} // namespace

class TestSocketBackend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { setD2xxBackend(nullptr); }
    void devicesAreListedFromTheVariable_data();
    void devicesAreListedFromTheVariable();
    void deviceIsReachedAndKeepsItsMemoryAcrossReconnects();
    void silentDeviceAndUnreachableSocketAreDeadDevices();
    void peerThatStopsBecomesADeadDeviceAndRemovesItsSocket();
    void serverRejectsBadArguments_data();
    void serverRejectsBadArguments();

private:
    QTemporaryDir m_dir;
    QString socketPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
};

void TestSocketBackend::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(DeviceSimPath), qPrintable(DeviceSimPath));
}

void TestSocketBackend::devicesAreListedFromTheVariable_data()
{
    QTest::addColumn<QByteArray>("sockets");
    QTest::addColumn<QStringList>("descriptions");

    QTest::newRow("split at the first =, empty entries skipped")
        << QByteArray(";KORVANE KVP-DEV=/tmp/a.sock;;KORVANE KVP-DGL=/tmp/b.sock;FT232R USB UART=/tmp/c=d.sock;")
        << QStringList {"KORVANE KVP-DEV", "KORVANE KVP-DGL", "FT232R USB UART"};
    QTest::newRow("longer than the node: cut, still terminated")
        << QByteArray(QByteArray(70, 'D') + "=/tmp/a.sock") << QStringList {QString(63, 'D')};
    QTest::newRow("entry without a path: no device") << QByteArray("KORVANE KVP-DEV") << QStringList {};
}

void TestSocketBackend::devicesAreListedFromTheVariable()
{
    QFETCH(QByteArray, sockets);
    useBackend("socket", sockets);
    QTEST(listedDescriptions(), "descriptions");
}

void TestSocketBackend::deviceIsReachedAndKeepsItsMemoryAcrossReconnects()
{
    DeviceSim sim(socketPath("device.sock"), "model=QRD-540B,frame=100,records=1");
    QVERIFY(sim.ready);
    FT_HANDLE handle = openLikeTheLink(0, 500);
    QVERIFY(handle);
    D2xxHost(handle).send(Ping);
    QElapsedTimer timer;
    timer.start();
    DWORD count = 0;
    while (FT_GetQueueStatus(handle, &count) == FT_OK && count < 64 && timer.elapsed() < 5000) {
        QTest::qSleep(1);
    }
    QCOMPARE(count, DWORD(64));
    uint8_t buffer[100];
    QCOMPARE(FT_Read(handle, buffer, sizeof buffer, &count), FT_OK); // more than comes
    const auto replies = decodeFrames(Bytes(buffer, buffer + count));
    QCOMPARE(replies.size(), size_t(1));
    QCOMPARE(modelOf(replies[0]), QString("QRD-540B"));
    QCOMPARE(FT_Close(handle), FT_OK);

    for (int round = 1; round <= 3; ++round) {
        D2xxHost host(handle = openLikeTheLink(0, 500));
        QCOMPARE(int(readLe16(host.requestMulti(Command::FixtureList, 0).value_or(Bytes(2)).data())), round);
        QCOMPARE(host.sendData(Command::FixtureRecord, 0, fixtureRecord("Another", 2), 100), uint8_t(0));
        host.send(Bytes(Ping.begin(), Ping.begin() + 9)); // cut off by the close
        QCOMPARE(FT_Close(handle), FT_OK);
    }
}

void TestSocketBackend::silentDeviceAndUnreachableSocketAreDeadDevices()
{
    DeviceSim sim(socketPath("silent.sock"), "silent=1");
    QVERIFY(sim.ready);
    useBackend("socket",
               "S=" + socketPath("silent.sock").toLocal8Bit() + ";N=" + socketPath("nobody.sock").toLocal8Bit()
                   + ";L=" + QByteArray(200, 'x'));
    for (int index = 0; index < 3; ++index) {
        FT_HANDLE handle = openLikeTheLink(index, 100);
        QVERIFY(handle);
        expectDeadDevice(handle);
        QCOMPARE(FT_Close(handle), FT_OK);
    }
}

void TestSocketBackend::peerThatStopsBecomesADeadDeviceAndRemovesItsSocket()
{
    const QString path = socketPath("stop.sock");
    DeviceSim sim(path, "");
    QVERIFY(sim.ready);
    FT_HANDLE handle = openLikeTheLink(0, 100);
    QVERIFY(D2xxHost(handle).exchange(Ping));
    QCOMPARE(sim.stop(), 0); // stopped while a host is connected
    QVERIFY(!QFile::exists(path));
    // Writing to a socket whose peer is gone must not raise SIGPIPE in the host.
    for (int i = 0; i < 3; ++i) {
        expectDeadDevice(handle);
    }
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
    arguments.replaceInStrings("FILE", file);
    QProcess process;
    process.start(DeviceSimPath, arguments);
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
