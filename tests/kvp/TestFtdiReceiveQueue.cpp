// The libftdi backend's receive queue against a scripted chip: interrupted and timed-out
// bulk reads, a chip that is gone, and bytes that are handed out once only.

#include "backends/FtdiReceiveQueue.h"

#include <libusb.h>

#include <QTest>

using namespace korvane::KVP;

namespace {

/// A chip whose bulk reads return, in turn, the results in `script`: a count of new
/// bytes (numbered on from 1) or a libusb code. Past the script it has nothing.
struct ScriptedChip
{
    QList<int> script;
    int reads = 0;
    uint8_t next = 1;

    FtdiReceiveQueue::BulkRead bulkRead()
    {
        return [this](uint8_t* data, int) {
            const int result = reads < script.size() ? script.at(reads) : LIBUSB_ERROR_TIMEOUT;
            ++reads;
            for (int i = 0; i < result; ++i) {
                data[i] = next++;
            }
            return result;
        };
    }
};

QByteArray take(FtdiReceiveQueue& queue, size_t n)
{
    QByteArray bytes(static_cast<qsizetype>(n), '\0');
    bytes.resize(static_cast<qsizetype>(queue.take(reinterpret_cast<uint8_t*>(bytes.data()), n)));
    return bytes;
}

} // namespace

class TestFtdiReceiveQueue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void interruptedReadsAreMadeAgainUpToTheLimit_data()
    {
        QTest::addColumn<QList<int>>("script");
        QTest::addColumn<int>("pulled");
        QTest::addColumn<int>("reads");
        const QList<int> interrupted(UsbInterruptedRetries, LIBUSB_ERROR_INTERRUPTED);
        QTest::newRow("once") << QList<int> {LIBUSB_ERROR_INTERRUPTED, 3} << 3 << 2;
        QTest::newRow("up to the limit") << interrupted + QList<int> {2} << 2 << UsbInterruptedRetries + 1;
        QTest::newRow("past the limit") << interrupted + QList<int> {LIBUSB_ERROR_INTERRUPTED, 2}
                                        << int(LIBUSB_ERROR_INTERRUPTED) << UsbInterruptedRetries + 1;
        QTest::newRow("timed out: nothing yet") << QList<int> {LIBUSB_ERROR_TIMEOUT, 2} << 0 << 1;
        QTest::newRow("gone") << QList<int> {LIBUSB_ERROR_NO_DEVICE, 2} << int(LIBUSB_ERROR_NO_DEVICE) << 1;
    }
    void interruptedReadsAreMadeAgainUpToTheLimit()
    {
        QFETCH(QList<int>, script);
        QFETCH(int, pulled);
        QFETCH(int, reads);
        ScriptedChip chip {script};
        FtdiReceiveQueue queue(chip.bulkRead());
        QCOMPARE(queue.pull(), pulled);
        QCOMPARE(chip.reads, reads);
        QCOMPARE(queue.waiting(), size_t(std::max(pulled, 0)));
    }

    void eachByteIsHandedOutOnce()
    {
        // What one exchange left is the start of the next one's bytes; what it took never
        // comes again, also after the queue ran empty.
        ScriptedChip chip {{5, 3, LIBUSB_ERROR_TIMEOUT, 1}};
        FtdiReceiveQueue queue(chip.bulkRead());
        QCOMPARE(queue.pull(), 5);
        QCOMPARE(take(queue, 2), QByteArray("\1\2"));
        QCOMPARE(queue.pull(), 3);
        QCOMPARE(take(queue, 10), QByteArray("\3\4\5\6\7\10"));
        QCOMPARE(queue.pull(), 0);
        QCOMPARE(take(queue, 10), QByteArray());
        QCOMPARE(queue.pull(), 1);
        QCOMPARE(take(queue, 10), QByteArray("\11"));
    }
};

QTEST_GUILESS_MAIN(TestFtdiReceiveQueue)
#include "TestFtdiReceiveQueue.moc"
