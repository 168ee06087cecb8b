#include "D2xxBackend.h"
#include "KVPAddress.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPPhyFtdi.h"

#include <QDir>
#include <QStringList>
#include <QTest>

#include <climits>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace korvane::KVP;

namespace {

QString hexOf(const void* data, DWORD length)
{
    return QString::fromLatin1(
        QByteArray(static_cast<const char*>(data), static_cast<int>(length)).toHex(' ').toUpper());
}

/// A driver with a scripted bus: it lists the descriptions it is given, records every
/// call in order, hands out the bytes queued in `rx`, and accepts writes as told.
class ScriptedD2xx : public D2xxBackend
{
public:
    FT_STATUS createDeviceInfoList(DWORD* numDevices) override
    {
        *numDevices = static_cast<DWORD>(descriptions.size());
        return ok("list");
    }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices) override
    {
        calls << "nodes";
        for (size_t i = 0; i < descriptions.size(); ++i) {
            std::memset(&nodes[i], 0, sizeof(nodes[i]));
            std::memcpy(nodes[i].Description,
                        descriptions[i].data(),
                        std::min(descriptions[i].size(), sizeof(nodes[i].Description)));
        }
        *numDevices = static_cast<DWORD>(descriptions.size());
        return FT_OK;
    }
    FT_STATUS open(int deviceNumber, FT_HANDLE* handle) override
    {
        *handle = &token;
        return ok(QString("open %1").arg(deviceNumber));
    }
    FT_STATUS close(FT_HANDLE) override { return ok("close"); }
    FT_STATUS resetDevice(FT_HANDLE) override { return ok("reset"); }
    FT_STATUS setDataCharacteristics(FT_HANDLE, UCHAR bits, UCHAR stop, UCHAR parity) override
    {
        return ok(QString("line %1 %2 %3").arg(bits).arg(stop).arg(parity));
    }
    FT_STATUS setTimeouts(FT_HANDLE, ULONG readMs, ULONG writeMs) override
    {
        return ok(QString("timeouts %1 %2").arg(readMs).arg(writeMs));
    }
    FT_STATUS setBaudRate(FT_HANDLE, ULONG baud) override { return ok(QString("baud %1").arg(baud)); }
    FT_STATUS setLatencyTimer(FT_HANDLE, UCHAR ms) override { return ok(QString("latency %1").arg(ms)); }
    FT_STATUS getQueueStatus(FT_HANDLE, DWORD* rxBytes) override
    {
        *rxBytes = static_cast<DWORD>(rx.size());
        return ok("queue");
    }
    FT_STATUS read(FT_HANDLE, void* buffer, DWORD toRead, DWORD* read) override
    {
        calls << QString("read %1").arg(toRead);
        // A read for more than is waiting would block a real driver until its timeout.
        if (toRead > rx.size()) {
            ++blockingReads;
            rx.insert(rx.end(), arriveDuringRead.begin(), arriveDuringRead.end());
            arriveDuringRead.clear();
        }
        const DWORD n = std::min<DWORD>(toRead, static_cast<DWORD>(rx.size()));
        for (DWORD i = 0; i < n; ++i) {
            static_cast<uint8_t*>(buffer)[i] = rx.front();
            rx.pop_front();
        }
        *read = n;
        return FT_OK;
    }
    FT_STATUS write(FT_HANDLE, const void* buffer, DWORD toWrite, DWORD* written) override
    {
        calls << QString("write %1").arg(hexOf(buffer, toWrite));
        DWORD accept = toWrite;
        FT_STATUS status = FT_OK;
        if (!accepts.empty()) {
            accept = std::min(accepts.front(), toWrite);
            accepts.pop_front();
        } else if (acceptNothing) {
            accept = 0;
        }
        if (failWrites) {
            accept = 0;
            status = FT_IO_ERROR;
        }
        *written = accept;
        if (onWrite) {
            onWrite(static_cast<const uint8_t*>(buffer), accept);
        }
        return status;
    }

    std::vector<std::string> descriptions;
    QStringList calls;
    std::deque<uint8_t> rx;
    /// Bytes that come in while a read waits for more than is there.
    std::deque<uint8_t> arriveDuringRead;
    std::deque<DWORD> accepts;
    bool acceptNothing = false;
    bool failWrites = false;
    int blockingReads = 0;
    std::function<void(const uint8_t*, DWORD)> onWrite;

private:
    FT_STATUS ok(const QString& call)
    {
        calls << call;
        return FT_OK;
    }
    int token = 0;
};

const std::string Dev("KORVANE KVP-DEV");
const std::string Dgl("KORVANE KVP-DGL");

const QStringList OpenSequence = {"reset",
                                  "latency 2",
                                  "line 8 2 0",
                                  "timeouts 100 2000",
                                  "baud 38400",
                                  "write 00",
                                  "baud 250000",
                                  "write 91 4B 76 01"};

} // namespace

/// The FTDI link against a scripted driver: which chips count as ours, how they are
/// addressed and opened, and how bytes move through the driver.
class TestKVPPhyFtdi : public QObject
{
    Q_OBJECT

private:
    /// Installs a fresh scripted driver listing `descriptions`; the phy is new too.
    ScriptedD2xx& install(const std::vector<std::string>& descriptions = {Dev})
    {
        auto backend = std::make_unique<ScriptedD2xx>();
        backend->descriptions = descriptions;
        m_driver = backend.get();
        setD2xxBackend(std::move(backend));
        m_phy = std::make_unique<KVPPhyFtdi>();
        return *m_driver;
    }
    /// Opens device 0 and forgets the calls the open made.
    ScriptedD2xx& openOne()
    {
        ScriptedD2xx& driver = install();
        m_phy->open(ftdiAddress(0));
        driver.calls.clear();
        return driver;
    }

    ScriptedD2xx* m_driver = nullptr;
    std::unique_ptr<KVPPhyFtdi> m_phy;

private Q_SLOTS:
    void cleanup();

    void addressesNameThePositionAmongMatchingDevices();
    void onlyExactDescriptionsAreListed_data();
    void onlyExactDescriptionsAreListed();
    void scanRefreshesTheListAndOpenScansOnlyOnce();
    void openSendsBreakAndPacketInOrder();
    void malformedAddressLeavesTheLinkClosed_data();
    void malformedAddressLeavesTheLinkClosed();
    void closeReleasesTheHandleOnce();

    void readTakesOnlyWhatIsWaitingInChunksOfTen_data();
    void readTakesOnlyWhatIsWaitingInChunksOfTen();
    void readWithNothingWaitingAsksForOneByte();
    void reopeningDropsBytesOfTheEarlierDevice();
    void replyWaitingInTheDriverCostsNoBlockingRead();

    void writeOfNothingCallsNothing();
    void writeResendsTheRestAndGivesUpAfterOneAttemptPerByte_data();
    void writeResendsTheRestAndGivesUpAfterOneAttemptPerByte();
    void writeStopsWhenTheDriverFails();

    void libftdiBackendWithoutUsbFindsNothing();
};

void TestKVPPhyFtdi::cleanup()
{
    m_phy.reset();
    m_driver = nullptr;
    setD2xxBackend(nullptr);
}

void TestKVPPhyFtdi::addressesNameThePositionAmongMatchingDevices()
{
    QCOMPARE(QString::fromStdString(ftdiAddress(0)), QString("usb:ftdi/0"));
    QCOMPARE(QString::fromStdString(ftdiAddress(3)), QString("usb:ftdi/3"));
    QCOMPARE(QString::fromStdString(ftdiAddress(120)), QString("usb:ftdi/120"));
    QCOMPARE(ftdiAddressIndex(ftdiAddress(3)), 3);
    QCOMPARE(ftdiAddressIndex(ftdiAddress(4711)), 4711);
    QCOMPARE(ftdiAddressIndex("usb:ftdi/a"), 0);
    QCOMPARE(ftdiAddressIndex("usb:ftdi/12b"), 12);
    QCOMPARE(ftdiAddressIndex("usb:ftdi/-4"), -4);
    QCOMPARE(ftdiAddressIndex("usb:ftdi/"), 0);
    QCOMPARE(ftdiAddressIndex("usb:"), 0);
    QCOMPARE(ftdiAddressIndex("whatever:7"), 7); // the prefix is not looked at
    QCOMPARE(ftdiAddressIndex("usb:ftdi/99999999999999999999"), INT_MAX);
    QVERIFY(isFtdiAddress("usb:ftdi/0"));
    QVERIFY(isFtdiAddress("usb:ftdi/"));
    QVERIFY(!isFtdiAddress("usb:ftdi"));
    QVERIFY(!isFtdiAddress("USB:FTDI/0"));
    QVERIFY(!isFtdiAddress(""));
}

void TestKVPPhyFtdi::onlyExactDescriptionsAreListed_data()
{
    QTest::addColumn<QStringList>("bus");
    QTest::addColumn<QList<int>>("opened"); // driver index behind usb:ftdi/0, /1, ...

    QTest::newRow("none attached") << QStringList() << QList<int>();
    QTest::newRow("one device") << QStringList {"KORVANE KVP-DEV"} << QList<int> {0};
    QTest::newRow("dongle listed like the device")
        << QStringList {"KORVANE KVP-DGL", "KORVANE KVP-DEV"} << QList<int> {0, 1};
    QTest::newRow("strangers do not take positions") << QStringList {"FT232R USB UART",
                                                                     "KORVANE KVP-DEV2",
                                                                     "KORVANE KVP-DGL",
                                                                     "korvane kvp-dev",
                                                                     "KORVANE KVP-DE",
                                                                     "",
                                                                     "KORVANE KVP-DEV"}
                                                     << QList<int> {2, 6};
    QTest::newRow("63 characters that begin with the name")
        << QStringList {QString("KORVANE KVP-DEV") + QString(48, 'x')} << QList<int>();
}

void TestKVPPhyFtdi::onlyExactDescriptionsAreListed()
{
    QFETCH(QStringList, bus);
    QFETCH(QList<int>, opened);

    std::vector<std::string> descriptions;
    for (const QString& d : bus) {
        descriptions.push_back(d.toStdString());
    }
    ScriptedD2xx& driver = install(descriptions);
    QCOMPARE(m_phy->scan(), int(opened.size()));
    for (int position = 0; position < opened.size(); ++position) {
        driver.calls.clear();
        m_phy->open(ftdiAddress(position));
        QVERIFY(m_phy->isOpen());
        QCOMPARE(driver.calls.value(position == 0 ? 0 : 1), QString("open %1").arg(opened[position]));
    }
    driver.calls.clear();
    m_phy->open(ftdiAddress(int(opened.size())));
    QVERIFY(!m_phy->isOpen());
    QVERIFY(driver.calls.filter("open").isEmpty());
}

void TestKVPPhyFtdi::scanRefreshesTheListAndOpenScansOnlyOnce()
{
    ScriptedD2xx& driver = install({"other", Dev});
    m_phy->openIndex(0);
    QCOMPARE(driver.calls.mid(0, 3), (QStringList {"list", "nodes", "open 1"}));

    // A device plugged in later is not seen until someone scans again.
    driver.descriptions = {Dgl, "other", Dev};
    driver.calls.clear();
    m_phy->openIndex(1);
    QVERIFY(!m_phy->isOpen());
    QCOMPARE(driver.calls, QStringList {"close"});

    QCOMPARE(m_phy->scan(), 2);
    driver.calls.clear();
    m_phy->openIndex(1);
    QCOMPARE(driver.calls.first(), QString("open 2"));
}

void TestKVPPhyFtdi::openSendsBreakAndPacketInOrder()
{
    ScriptedD2xx& driver = install({Dev});
    m_phy->open("usb:ftdi/0");
    QVERIFY(m_phy->isOpen());
    QCOMPARE(driver.calls, (QStringList {"list", "nodes", "open 0"} + OpenSequence));

    // Opening again closes the device first.
    driver.calls.clear();
    m_phy->open("usb:ftdi/0");
    QCOMPARE(driver.calls, (QStringList {"close", "open 0"} + OpenSequence));
}

void TestKVPPhyFtdi::malformedAddressLeavesTheLinkClosed_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("no digits") << "usb:ftdi/";
    QTest::newRow("letters") << "usb:ftdi/a";
    QTest::newRow("trailing letters") << "usb:ftdi/0a";
    QTest::newRow("negative") << "usb:ftdi/-1";
    QTest::newRow("plus sign") << "usb:ftdi/+0";
    QTest::newRow("leading space") << "usb:ftdi/ 0";
    QTest::newRow("beyond the list") << "usb:ftdi/2";
    QTest::newRow("beyond int") << "usb:ftdi/4294967296";
    QTest::newRow("other prefix") << "usb:serial/0";
    QTest::newRow("prefix cut short") << "usb:ftdi";
    QTest::newRow("empty") << "";
}

void TestKVPPhyFtdi::malformedAddressLeavesTheLinkClosed()
{
    QFETCH(QString, address);
    ScriptedD2xx& driver = install({Dev, Dgl});
    m_phy->open("usb:ftdi/1");
    QVERIFY(m_phy->isOpen());
    driver.calls.clear();

    m_phy->open(address.toStdString());
    QVERIFY(!m_phy->isOpen());
    QVERIFY(driver.calls.filter("open").isEmpty());
    QCOMPARE(driver.calls.count("close"), 1);
    driver.calls.clear();
    const uint8_t byte = 0x55;
    m_phy->write(&byte, 1);
    QVERIFY(driver.calls.isEmpty());
}

void TestKVPPhyFtdi::closeReleasesTheHandleOnce()
{
    ScriptedD2xx& driver = openOne();
    m_phy->close();
    m_phy->close();
    QCOMPARE(driver.calls, QStringList {"close"});
    m_phy->open(ftdiAddress(0));
    driver.calls.clear();
    m_phy.reset();
    QCOMPARE(driver.calls, QStringList {"close"});
}

void TestKVPPhyFtdi::readTakesOnlyWhatIsWaitingInChunksOfTen_data()
{
    QTest::addColumn<int>("waiting");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("4 bytes") << 4 << QStringList {"queue", "read 4"};
    QTest::newRow("10 bytes") << 10 << QStringList {"queue", "read 10"};
    QTest::newRow("25 bytes") << 25 << QStringList {"queue", "read 10", "queue", "read 10", "queue", "read 5"};
}

void TestKVPPhyFtdi::readTakesOnlyWhatIsWaitingInChunksOfTen()
{
    QFETCH(int, waiting);
    QFETCH(QStringList, calls);

    ScriptedD2xx& driver = openOne();
    for (int i = 0; i < waiting; ++i) {
        driver.rx.push_back(static_cast<uint8_t>(0xA0 + i));
    }
    for (int i = 0; i < waiting; ++i) {
        const KVPPhyByte byte = m_phy->readByte();
        QVERIFY(!byte.empty);
        QCOMPARE(int(byte.value), 0xA0 + i);
    }
    // Bytes of a chunk come one by one without a driver call each.
    QCOMPARE(driver.calls, calls);
    QCOMPARE(driver.blockingReads, 0);

    driver.calls.clear();
    QVERIFY(m_phy->readByte().empty);
    QCOMPARE(driver.calls, (QStringList {"queue", "read 1"}));
}

void TestKVPPhyFtdi::readWithNothingWaitingAsksForOneByte()
{
    // With nothing waiting the phy waits in the driver, but for one byte only: the
    // first byte to come is delivered at once, and what follows it is fetched by the
    // next call as waiting bytes.
    ScriptedD2xx& driver = openOne();
    QVERIFY(m_phy->readByte().empty);
    QCOMPARE(driver.calls, (QStringList {"queue", "read 1"}));

    driver.calls.clear();
    driver.arriveDuringRead = {0x42, 0x43, 0x44};
    QCOMPARE(int(m_phy->readByte().value), 0x42);
    QCOMPARE(int(m_phy->readByte().value), 0x43);
    QCOMPARE(int(m_phy->readByte().value), 0x44);
    QCOMPARE(driver.calls, (QStringList {"queue", "read 1", "queue", "read 2"}));
}

void TestKVPPhyFtdi::reopeningDropsBytesOfTheEarlierDevice()
{
    ScriptedD2xx& driver = openOne();
    driver.rx = {1, 2, 3, 4};
    QCOMPARE(int(m_phy->readByte().value), 1);
    m_phy->open(ftdiAddress(0));
    driver.rx = {9};
    driver.calls.clear();
    const KVPPhyByte byte = m_phy->readByte();
    QCOMPARE(int(byte.value), 9);
    QCOMPARE(driver.calls, (QStringList {"queue", "read 1"}));
}

void TestKVPPhyFtdi::replyWaitingInTheDriverCostsNoBlockingRead()
{
    // A 64-byte identity reply is not a multiple of the chunk: reading only what waits
    // means its last 4 bytes do not cost a read timeout.
    ScriptedD2xx& driver = openOne();
    driver.onWrite = [&driver](const uint8_t* data, DWORD length) {
        if (length == Frame::Overhead && data[Frame::CommandOffset] == Command::Identify) {
            std::vector<uint8_t> identity(50, 0);
            identity[46] = 200;
            FrameHeader header;
            header.type = Frame::DataReply;
            header.command = Command::Identify;
            header.flags = Frame::FlagLast;
            const std::vector<uint8_t> reply = encodeFrame(header, identity.data(), 50);
            driver.rx.insert(driver.rx.end(), reply.begin(), reply.end());
        }
    };
    KVPLink link(m_phy.get(), 10000);
    const KVPReply reply = link.ping();
    QCOMPARE(int(reply.status), int(StatusOk));
    QCOMPARE(int(link.maxFrameSize()), 200);
    QCOMPARE(driver.blockingReads, 0);
    QCOMPARE(driver.calls.filter("read").size(), 7);
}

void TestKVPPhyFtdi::writeOfNothingCallsNothing()
{
    ScriptedD2xx& driver = openOne();
    const uint8_t byte = 0;
    m_phy->write(&byte, 0);
    m_phy->write(nullptr, 0);
    QVERIFY(driver.calls.isEmpty());
}

void TestKVPPhyFtdi::writeResendsTheRestAndGivesUpAfterOneAttemptPerByte_data()
{
    QTest::addColumn<QList<int>>("accepts"); // bytes the driver takes per call
    QTest::addColumn<bool>("acceptNothing");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("all at once") << QList<int>() << false << QStringList {"write 01 02 03 04 05"};
    QTest::newRow("two at a time") << QList<int> {2, 2, 2} << false
                                   << QStringList {"write 01 02 03 04 05", "write 03 04 05", "write 05"};
    QTest::newRow("stalls, then takes the rest")
        << QList<int> {0, 0, 5} << false
        << QStringList {"write 01 02 03 04 05", "write 01 02 03 04 05", "write 01 02 03 04 05"};
    QTest::newRow("never takes anything") << QList<int>() << true << QStringList(5, "write 01 02 03 04 05");
    QTest::newRow("one byte per call, one short")
        << QList<int> {1, 1, 1, 1} << true
        << QStringList {"write 01 02 03 04 05", "write 02 03 04 05", "write 03 04 05", "write 04 05", "write 05"};
}

void TestKVPPhyFtdi::writeResendsTheRestAndGivesUpAfterOneAttemptPerByte()
{
    QFETCH(QList<int>, accepts);
    QFETCH(bool, acceptNothing);
    QFETCH(QStringList, calls);

    ScriptedD2xx& driver = openOne();
    for (int n : accepts) {
        driver.accepts.push_back(static_cast<DWORD>(n));
    }
    driver.acceptNothing = acceptNothing;
    const uint8_t data[] = {1, 2, 3, 4, 5};
    m_phy->write(data, 5);
    QCOMPARE(driver.calls, calls);
}

void TestKVPPhyFtdi::writeStopsWhenTheDriverFails()
{
    ScriptedD2xx& driver = openOne();
    driver.failWrites = true;
    const std::vector<uint8_t> data(500, 0x11);
    m_phy->write(data.data(), 500);
    QCOMPARE(driver.calls.size(), 1);
}

void TestKVPPhyFtdi::libftdiBackendWithoutUsbFindsNothing()
{
    std::unique_ptr<D2xxBackend> backend = makeLibftdiBackend();
    QVERIFY(backend);
    const bool noBus = !QDir("/dev/bus/usb").exists();
    for (int scan = 0; scan < 2; ++scan) {
        DWORD count = 99;
        QCOMPARE(backend->createDeviceInfoList(&count), FT_STATUS(FT_OK));
        if (noBus) {
            QCOMPARE(count, DWORD(0));
        }
    }
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
    QCOMPARE(backend->open(1000, &handle), FT_STATUS(FT_DEVICE_NOT_FOUND));
    QVERIFY(handle == nullptr);
    int foreign = 0;
    DWORD got = 7;
    uint8_t buffer[4];
    QCOMPARE(backend->read(&foreign, buffer, 4, &got), FT_STATUS(FT_INVALID_HANDLE));
    QCOMPARE(backend->close(&foreign), FT_STATUS(FT_INVALID_HANDLE));

    // The link on top: nothing listed, nothing opened, and reads come back empty.
    if (noBus) {
        setD2xxBackend(std::move(backend));
        KVPPhyFtdi phy;
        QCOMPARE(phy.scan(), 0);
        phy.open(ftdiAddress(0));
        QVERIFY(!phy.isOpen());
        QVERIFY(phy.readByte().empty);
    }
}

QTEST_GUILESS_MAIN(TestKVPPhyFtdi)
#include "TestKVPPhyFtdi.moc"
