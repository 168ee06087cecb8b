#include "D2xxBackend.h"
#include "KVPAddress.h"
#include "KVPPhyFtdi.h"

#include <QDir>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <memory>

using namespace korvane::KVP;

namespace {

/// A driver with a scripted bus: it lists the descriptions it is given, records every
/// call in order, hands out the bytes queued in `rx`, and takes as much of each write
/// as `accepts` says.
class ScriptedD2xx : public D2xxBackend
{
public:
    FT_STATUS createDeviceInfoList(DWORD* count) override { return ok("list", *count = DWORD(descriptions.size())); }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) override
    {
        for (int i = 0; i < descriptions.size(); ++i) {
            nodes[i] = {};
            std::strncpy(nodes[i].Description, descriptions[i].constData(), sizeof nodes[i].Description);
        }
        *count = DWORD(descriptions.size());
        return ok("nodes");
    }
    FT_STATUS open(int index, FT_HANDLE* handle) override
    {
        *handle = this;
        return ok("open", index);
    }
    FT_STATUS close(FT_HANDLE) override { return ok("close"); }
    FT_STATUS resetDevice(FT_HANDLE) override { return ok("reset"); }
    FT_STATUS setDataCharacteristics(FT_HANDLE, UCHAR b, UCHAR s, UCHAR p) override { return ok("line", b, s, p); }
    FT_STATUS setTimeouts(FT_HANDLE, ULONG readMs, ULONG writeMs) override { return ok("timeouts", readMs, writeMs); }
    FT_STATUS setBaudRate(FT_HANDLE, ULONG baud) override { return ok("baud", baud); }
    FT_STATUS setLatencyTimer(FT_HANDLE, UCHAR ms) override { return ok("latency", ms); }
    FT_STATUS getQueueStatus(FT_HANDLE, DWORD* count) override { return ok("queue", *count = DWORD(rx.size())); }
    FT_STATUS read(FT_HANDLE, void* buffer, DWORD toRead, DWORD* read) override
    {
        // A read for more than is waiting would block a real driver until its timeout.
        if (toRead > rx.size()) {
            ++blockingReads;
            rx.insert(rx.end(), arriveDuringRead.begin(), arriveDuringRead.end());
            arriveDuringRead.clear();
        }
        *read = std::min<DWORD>(toRead, DWORD(rx.size()));
        std::copy(rx.begin(), rx.begin() + *read, static_cast<uint8_t*>(buffer));
        rx.erase(rx.begin(), rx.begin() + *read);
        return ok("read", toRead);
    }
    FT_STATUS write(FT_HANDLE, const void* buffer, DWORD toWrite, DWORD* written) override
    {
        calls << "write " + QByteArray(static_cast<const char*>(buffer), int(toWrite)).toHex(' ').toUpper();
        const int accept = accepts.isEmpty() ? acceptLater : accepts.takeFirst();
        *written = DWORD(std::clamp<int>(accept, 0, int(toWrite)));
        return accept < 0 ? FT_IO_ERROR : FT_OK;
    }

    QList<QByteArray> descriptions;
    QStringList calls;
    std::deque<uint8_t> rx;
    std::deque<uint8_t> arriveDuringRead; ///< bytes that come while a read waits for more than is there
    QList<int> accepts; ///< bytes each write takes; -1 fails
    int acceptLater = INT_MAX; ///< what writes take after those
    int blockingReads = 0;

private:
    /// Records the call with the numbers it was given or gave back.
    template <typename... Args>
    FT_STATUS ok(const char* call, Args... args)
    {
        QStringList words {call};
        ((words << QString::number(args)), ...);
        calls << words.join(' ');
        return FT_OK;
    }
};

const QStringList OpenSequence = QString("reset|latency 2|line 8 2 0|timeouts 100 2000|baud 38400|write 00|"
                                         "baud 250000|write 91 4B 76 01")
                                     .split('|');

} // namespace

/// The FTDI link against a scripted driver: which chips count as ours, how they are
/// addressed and opened, and how bytes move through the driver.
class TestKVPPhyFtdi : public QObject
{
    Q_OBJECT

private:
    /// Installs a fresh scripted driver listing `descriptions`; the phy is new too.
    ScriptedD2xx& install(const QList<QByteArray>& descriptions = {"KORVANE KVP-DEV"})
    {
        auto backend = std::make_unique<ScriptedD2xx>();
        backend->descriptions = descriptions;
        ScriptedD2xx& driver = *backend;
        setD2xxBackend(std::move(backend));
        m_phy = std::make_unique<KVPPhyFtdi>();
        return driver;
    }
    /// Opens device 0 and forgets the calls the open made.
    ScriptedD2xx& openOne()
    {
        ScriptedD2xx& driver = install();
        m_phy->open(ftdiAddress(0));
        driver.calls.clear();
        return driver;
    }
    std::unique_ptr<KVPPhyFtdi> m_phy;

private Q_SLOTS:
    void cleanup();
    void addressIndexIsReadLikeAtoi();
    void onlyExactDescriptionsAreListed();
    void scanRefreshesTheListAndOpenScansOnlyOnce();
    void openSendsBreakAndPacketInOrder();
    void malformedAddressLeavesTheLinkClosed_data();
    void malformedAddressLeavesTheLinkClosed();
    void reopenDropsTheEarlierBytesAndCloseReleasesTheHandleOnce();
    void readTakesOnlyWhatIsWaitingInChunksOfTen_data();
    void readTakesOnlyWhatIsWaitingInChunksOfTen();
    void writeResendsTheRestAndGivesUpAfterOneAttemptPerByte_data();
    void writeResendsTheRestAndGivesUpAfterOneAttemptPerByte();
    void libftdiBackendWithoutUsbFindsNothing();
};

void TestKVPPhyFtdi::cleanup()
{
    m_phy.reset();
    setD2xxBackend(nullptr);
}

void TestKVPPhyFtdi::addressIndexIsReadLikeAtoi()
{
    // Leading digits after the first nine characters, whatever they are; clamped.
    QCOMPARE(ftdiAddressIndex("usb:ftdi/12b"), 12);
    QCOMPARE(ftdiAddressIndex("usb:ftdi/-4"), -4);
    QCOMPARE(ftdiAddressIndex("usb:"), 0);
    QCOMPARE(ftdiAddressIndex("usb:ftdi/99999999999999999999"), INT_MAX);
}

void TestKVPPhyFtdi::onlyExactDescriptionsAreListed()
{
    // Strangers take no positions: all 16 bytes with the terminating zero must match,
    // and the dongle counts like the device.
    ScriptedD2xx& driver = install({"FT232R USB UART",
                                    "KORVANE KVP-DEV2",
                                    "KORVANE KVP-DGL",
                                    "korvane kvp-dev",
                                    "KORVANE KVP-DE",
                                    "",
                                    "KORVANE KVP-DEV" + QByteArray(48, 'x'),
                                    "KORVANE KVP-DEV"});
    QCOMPARE(m_phy->scan(), 2);
    for (int position = 0; position < 3; ++position) {
        driver.calls.clear();
        m_phy->open(ftdiAddress(position));
        QCOMPARE(m_phy->isOpen(), position < 2);
        QCOMPARE(driver.calls.filter("open"),
                 position < 2 ? QStringList {position ? "open 7" : "open 2"} : QStringList());
    }
}

void TestKVPPhyFtdi::scanRefreshesTheListAndOpenScansOnlyOnce()
{
    ScriptedD2xx& driver = install({"other", "KORVANE KVP-DEV"});
    m_phy->openIndex(0);
    QCOMPARE(driver.calls.mid(0, 3), (QStringList {"list 2", "nodes", "open 1"}));
    // A device plugged in later is not seen until someone scans again.
    driver.descriptions = {"KORVANE KVP-DGL", "other", "KORVANE KVP-DEV"};
    driver.calls.clear();
    m_phy->openIndex(1);
    QCOMPARE(driver.calls, QStringList {"close"});
    QCOMPARE(m_phy->scan(), 2);
    m_phy->openIndex(1);
    QVERIFY(driver.calls.contains("open 2"));
}

void TestKVPPhyFtdi::openSendsBreakAndPacketInOrder()
{
    ScriptedD2xx& driver = install();
    m_phy->open("usb:ftdi/0");
    QVERIFY(m_phy->isOpen());
    QCOMPARE(driver.calls, (QStringList {"list 1", "nodes", "open 0"} + OpenSequence));
    driver.calls.clear();
    m_phy->open("usb:ftdi/0"); // opening again closes the device first
    QCOMPARE(driver.calls, (QStringList {"close", "open 0"} + OpenSequence));
}

void TestKVPPhyFtdi::malformedAddressLeavesTheLinkClosed_data()
{
    QTest::addColumn<QString>("address");
    for (const QString& address :
         QString("usb:ftdi/|usb:ftdi/0a|usb:ftdi/-1|usb:ftdi/+0|usb:ftdi/ 0|usb:ftdi/2|usb:ftdi/4294967296|"
                 "usb:serial/0|usb:ftdi")
             .split('|')) {
        QTest::newRow(qPrintable(address)) << address;
    }
}

void TestKVPPhyFtdi::malformedAddressLeavesTheLinkClosed()
{
    QFETCH(QString, address);
    ScriptedD2xx& driver = install({"KORVANE KVP-DEV", "KORVANE KVP-DGL"});
    m_phy->open("usb:ftdi/1");
    QVERIFY(m_phy->isOpen());
    driver.calls.clear();
    m_phy->open(address.toStdString());
    QVERIFY(!m_phy->isOpen());
    const uint8_t byte = 0x55;
    m_phy->write(&byte, 1);
    QCOMPARE(driver.calls, QStringList {"close"});
}

void TestKVPPhyFtdi::reopenDropsTheEarlierBytesAndCloseReleasesTheHandleOnce()
{
    ScriptedD2xx& driver = openOne();
    driver.rx = {1, 2, 3, 4};
    QCOMPARE(int(m_phy->readByte().value), 1);
    m_phy->open(ftdiAddress(0));
    driver.rx = {9};
    driver.calls.clear();
    QCOMPARE(int(m_phy->readByte().value), 9);
    m_phy->close();
    m_phy->close();
    QCOMPARE(driver.calls, (QStringList {"queue 1", "read 1", "close"}));
    m_phy->open(ftdiAddress(0));
    driver.calls.clear();
    m_phy.reset();
    QCOMPARE(driver.calls, QStringList {"close"});
}

void TestKVPPhyFtdi::readTakesOnlyWhatIsWaitingInChunksOfTen_data()
{
    QTest::addColumn<int>("waiting");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("4 bytes") << 4 << QStringList {"queue 4", "read 4"};
    QTest::newRow("25 bytes") << 25 << QStringList {"queue 25", "read 10", "queue 15", "read 10", "queue 5", "read 5"};
}

void TestKVPPhyFtdi::readTakesOnlyWhatIsWaitingInChunksOfTen()
{
    QFETCH(int, waiting);
    ScriptedD2xx& driver = openOne();
    for (int i = 0; i < waiting; ++i) {
        driver.rx.push_back(uint8_t(0xA0 + i));
    }
    for (int i = 0; i < waiting; ++i) {
        const KVPPhyByte byte = m_phy->readByte();
        QVERIFY(!byte.empty);
        QCOMPARE(int(byte.value), 0xA0 + i);
    }
    // Bytes of a chunk come one by one without a driver call each.
    QTEST(driver.calls, "calls");
    QCOMPARE(driver.blockingReads, 0);

    // With nothing waiting the phy waits in the driver for one byte only: the first to
    // come is delivered at once, and what follows it is fetched as waiting bytes.
    driver.calls.clear();
    QVERIFY(m_phy->readByte().empty);
    driver.arriveDuringRead = {0x42, 0x43, 0x44};
    QCOMPARE(int(m_phy->readByte().value), 0x42);
    QCOMPARE(int(m_phy->readByte().value), 0x43);
    QCOMPARE(int(m_phy->readByte().value), 0x44);
    QCOMPARE(driver.calls, (QStringList {"queue 0", "read 1", "queue 0", "read 1", "queue 2", "read 2"}));
}

void TestKVPPhyFtdi::writeResendsTheRestAndGivesUpAfterOneAttemptPerByte_data()
{
    QTest::addColumn<QList<int>>("accepts");
    QTest::addColumn<int>("acceptLater");
    QTest::addColumn<int>("length");
    QTest::addColumn<QStringList>("calls");

    const QString all = "write 01 02 03 04 05";
    QTest::newRow("nothing to write") << QList<int>() << 0 << 0 << QStringList();
    QTest::newRow("two at a time") << QList<int> {2, 2} << INT_MAX << 5
                                   << QStringList {all, "write 03 04 05", "write 05"};
    QTest::newRow("never takes anything") << QList<int>() << 0 << 5 << QStringList(5, all);
    QTest::newRow("one byte per call, one short")
        << QList<int> {1, 1, 1, 1} << 0 << 5
        << QStringList {all, "write 02 03 04 05", "write 03 04 05", "write 04 05", "write 05"};
    QTest::newRow("driver fails") << QList<int> {-1} << INT_MAX << 5 << QStringList {all};
}

void TestKVPPhyFtdi::writeResendsTheRestAndGivesUpAfterOneAttemptPerByte()
{
    QFETCH(QList<int>, accepts);
    QFETCH(int, acceptLater);
    QFETCH(int, length);
    ScriptedD2xx& driver = openOne();
    driver.accepts = accepts;
    driver.acceptLater = acceptLater;
    const uint8_t data[] = {1, 2, 3, 4, 5};
    m_phy->write(data, uint32_t(length));
    m_phy->write(nullptr, 0);
    QTEST(driver.calls, "calls");
}

void TestKVPPhyFtdi::libftdiBackendWithoutUsbFindsNothing()
{
    std::unique_ptr<D2xxBackend> backend = makeLibftdiBackend();
    QVERIFY(backend);
    const bool noBus = !QDir("/dev/bus/usb").exists();
    for (int scan = 0; scan < 2; ++scan) {
        DWORD count = 99;
        QCOMPARE(backend->createDeviceInfoList(&count), FT_STATUS(FT_OK));
        QVERIFY(!noBus || count == 0);
    }
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
    QCOMPARE(backend->open(1000, &handle), FT_STATUS(FT_DEVICE_NOT_FOUND));
    QVERIFY(handle == nullptr);
    int foreign = 0;
    DWORD got = 7;
    uint8_t buffer[4];
    QCOMPARE(backend->read(&foreign, buffer, 4, &got), FT_STATUS(FT_INVALID_HANDLE));
    QCOMPARE(backend->close(&foreign), FT_STATUS(FT_INVALID_HANDLE));
    if (noBus) { // the link on top: nothing listed, nothing opened, and reads come back empty
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
