#include "D2xxBackend.h"
#include "KVPAddress.h"
#include "KVPPhyFtdi.h"
#include "backends/LibftdiBackend.h"

#include <QDir>
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
    FT_STATUS open(int index, FT_HANDLE* handle) override { return *handle = this, ok("open", index); }
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

/// The FTDI link against a scripted driver: which chips count as ours, opening, bytes through the driver.
class TestKVPPhyFtdi : public QObject
{
    Q_OBJECT

    ScriptedD2xx& install(const QList<QByteArray>& descriptions = {"KORVANE KVP-DEV"})
    {
        auto backend = std::make_unique<ScriptedD2xx>();
        backend->descriptions = descriptions;
        ScriptedD2xx& driver = *backend;
        setD2xxBackend(std::move(backend));
        m_phy = std::make_unique<KVPPhyFtdi>();
        return driver;
    }
    ScriptedD2xx& openOne()
    {
        ScriptedD2xx& driver = install();
        m_phy->open(ftdiAddress(0));
        driver.calls.clear();
        return driver;
    }
    std::unique_ptr<KVPPhyFtdi> m_phy;

private Q_SLOTS:
    void cleanup() { m_phy.reset(), setD2xxBackend(nullptr); }

    void onlyExactDescriptionsAreListed()
    {
        // Strangers take no positions: all 16 bytes with the terminating zero must match,
        // and the dongle counts like the device.
        ScriptedD2xx& driver = install(QByteArray("FT232R USB UART|KORVANE KVP-DEV2|KORVANE KVP-DGL|korvane kvp-dev|"
                                                  "KORVANE KVP-DE||KORVANE KVP-DEV"
                                                  + QByteArray(48, 'x') + "|KORVANE KVP-DEV")
                                           .split('|'));
        QCOMPARE(m_phy->scan(), 2);
        for (int position = 0; position < 3; ++position) {
            driver.calls.clear();
            m_phy->open(ftdiAddress(position));
            QCOMPARE(m_phy->isOpen(), position < 2);
            QCOMPARE(driver.calls.filter("open"),
                     position < 2 ? QStringList {position ? "open 7" : "open 2"} : QStringList());
        }
    }

    void openScansOnceAndSendsBreakAndPacketInOrder()
    {
        ScriptedD2xx& driver = install({"other", "KORVANE KVP-DEV"});
        m_phy->open("usb:ftdi/0");
        QVERIFY(m_phy->isOpen());
        QCOMPARE(driver.calls, (QStringList {"list 2", "nodes", "open 1"} + OpenSequence));
        // Opening again closes the device first; one plugged in later is not seen until a scan.
        driver.descriptions = {"KORVANE KVP-DGL", "other", "KORVANE KVP-DEV"};
        driver.calls.clear();
        m_phy->open("usb:ftdi/0");
        QCOMPARE(driver.calls, (QStringList {"close", "open 1"} + OpenSequence));
        driver.calls.clear();
        m_phy->openIndex(1);
        QCOMPARE(driver.calls, QStringList {"close"});
        QCOMPARE(m_phy->scan(), 2);
        m_phy->openIndex(1);
        QVERIFY(driver.calls.contains("open 2"));
    }

    void malformedAddressLeavesTheLinkClosed()
    {
        ScriptedD2xx& driver = install({"KORVANE KVP-DEV", "KORVANE KVP-DGL"});
        for (const QString& address :
             QString("usb:ftdi/|usb:ftdi/0a|usb:ftdi/-1|usb:ftdi/+0|usb:ftdi/ 0|usb:ftdi/2|usb:ftdi/4294967296|"
                     "usb:serial/0|usb:ftdi")
                 .split('|')) {
            m_phy->open("usb:ftdi/1");
            QVERIFY(m_phy->isOpen());
            driver.calls.clear();
            m_phy->open(address.toStdString());
            const uint8_t byte = 0x55;
            m_phy->write(&byte, 1);
            QVERIFY2(!m_phy->isOpen() && driver.calls == QStringList {"close"}, qPrintable(address));
        }
    }

    void readTakesOnlyWhatIsWaitingInChunksOfTen()
    {
        ScriptedD2xx& driver = openOne();
        for (int i = 0; i < 25; ++i) {
            driver.rx.push_back(uint8_t(0xA0 + i));
        }
        for (int i = 0; i < 25; ++i) {
            const KVPPhyByte byte = m_phy->readByte();
            QVERIFY(!byte.empty);
            QCOMPARE(int(byte.value), 0xA0 + i);
        }
        // Bytes of a chunk come one by one without a driver call each.
        QCOMPARE(driver.calls, QStringList({"queue 25", "read 10", "queue 15", "read 10", "queue 5", "read 5"}));
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

    void writeResendsTheRestAndGivesUpAfterOneAttemptPerByte()
    {
        ScriptedD2xx& driver = openOne();
        const uint8_t data[] = {1, 2, 3, 4, 5};
        driver.accepts = {1, 1, 1, 1};
        driver.acceptLater = 0;
        m_phy->write(data, 5);
        m_phy->write(nullptr, 0); // nothing to write: no call
        const QString all = "write 01 02 03 04 05";
        QCOMPARE(driver.calls, (QStringList {all, "write 02 03 04 05", "write 03 04 05", "write 04 05", "write 05"}));
        driver.calls.clear();
        driver.accepts = {-1}; // a failing driver is not asked again
        m_phy->write(data, 5);
        QCOMPARE(driver.calls, QStringList {all});
    }

    void libftdiBackendWithoutUsbFindsNothing()
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
    }
};

QTEST_GUILESS_MAIN(TestKVPPhyFtdi)
#include "TestKVPPhyFtdi.moc"
