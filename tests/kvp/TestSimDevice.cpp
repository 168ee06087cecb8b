// The simulated device through its core: its settings, exact replies, record memory,
// firmware checksums, armed faults and reply timing.

#include "TestSimSupport.h"

#include <QTest>

#include <numeric>

using namespace korvane::KVP;
using namespace korvane::KVP::sim;
using namespace korvane::KVP::Test;
using namespace std::chrono_literals;

namespace {

QList<int> listNumbers(const std::optional<Bytes>& list)
{
    QList<int> numbers;
    for (size_t i = 0; list && i < readLe16(list->data()); ++i) {
        numbers << (*list)[2 + i * Record::HeaderLength + Record::NumberOffset];
    }
    return numbers;
}

constexpr size_t IdentityLength = 64;
const TimePoint start = TimePoint() + 1h;

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void settingsAreReadOrRejected()
    {
        const auto parse = [](const QString& text, SimDeviceConfig* config = nullptr) {
            SimDeviceConfig parsed;
            std::string error;
            const bool ok = parseSimDeviceConfig(text.toStdString(), config ? *config : parsed, error);
            return ok == error.empty() ? ok : !ok; // a refusal says why, an acceptance does not
        };
        SimDeviceConfig c, d;
        QVERIFY(parse(R"(model=QRD-540B, fw=0x0101 ,hw=3,frame=100,desc="KVP-DGL, spare; 2",free=3,records=12,patch=1,)"
                      "wire=1,latency=2,silentfrom=9,refuse=2:0x41,corrupt=3,drop=4:6,late=5:250,vanish=20,nolastack=1",
                      &c));
        QCOMPARE(QString::fromStdString(c.model + "|" + c.description), "QRD-540B|KVP-DGL, spare; 2");
        const SimFaults& f = c.faults;
        const QList<int> values = QList<int>()
            << c.hardwareVersion << c.firmwareVersion << c.frameSize << int(c.slotCount) << int(c.records)
            << c.patchEmpty << c.wire << int(c.latency.count()) << int(f.silentFrom) << int(f.refuseAt) << f.refuseCode
            << int(f.corruptAt) << int(f.dropAt) << int(f.dropCount) << int(f.lateAt) << int(f.lateBy.count())
            << int(f.vanishAt) << f.dropLastFirmwareAck;
        QCOMPARE(values,
                 QList<int>() << 3 << 0x0101 << 100 << 15 << 12 << false << true << 2000 << 9 << 2 << 0x41 << 3 << 4
                              << 6 << 5 << 250 << 20 << true);
        QVERIFY(parse("silent=yes,refuse=7,drop=8", &d)); // default counts
        QCOMPARE(QList<int>() << int(d.faults.silentFrom) << d.faults.refuseCode << int(d.faults.dropCount),
                 QList<int>() << 1 << 0x20 << 1);
        QVERIFY(parse("model=" + QString(39, 'M') + ",desc=" + QString(63, 'D')) && parse(""));
        const QStringList rejected
            = QStringLiteral("colour=red model= fw=0x10000 slots=12x patch=maybe slots=256 "
                             "slots=5,records=6 records=200,free=56 refuse=3:0 late=3 corrupt=3:1")
                  .split(' ')
            << "model=" + QString(40, 'M') << "desc=" + QString(64, 'D');
        for (const QString& text : rejected) {
            QVERIFY2(!parse(text), qPrintable(text));
        }
    }

    void requestGetsItsExactReplyAndChangesNoRecord_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<Bytes>("expected");
        // Refusals on a device with three records, numbers 0, 1 and 2.
        const auto refused = [](const char* name, const Bytes& frame, uint8_t code, const QString& more = "") {
            const uint16_t parameter = readLe16(&frame[Frame::ParameterOffset]);
            QTest::newRow(name) << "records=3" + more << frame
                                << statusReply(frame[Frame::CommandOffset], parameter, code);
        };
        QTest::newRow("QRD-540B, frame 14")
            << "model=QRD-540B,hw=515,fw=257,frame=14" << Ping
            << dataReply(Command::Identify, 0, identityBlock(14, "QRD-540B", 515, 257), BothFlags);
        QTest::newRow("memory: free slots, bit 0 clear while the patch is in use")
            << "records=12,patch=1" << requestFrame(Command::MemoryState)
            << dataReply(Command::MemoryState, 0, {88, 0}, BothFlags);
        const uint8_t unknownRecord = Refusal::UnknownRecord, unknownCommand = Refusal::UnknownCommand;
        refused("delete of 0x100, alias of 0", requestFrame(Command::FixtureDelete, 0x100), unknownRecord);
        refused("request 0x02", requestFrame(0x02), unknownCommand);
        refused("identify as data-out", hostFrame(Frame::DataOut, Command::Identify, 0, {}, BothFlags), unknownCommand);
        refused("beyond the largest frame",
                hostFrame(Frame::DataOut, Command::FixtureRecord, 0, pattern(87), Frame::FlagFirst),
                Refusal::FrameTooLong,
                ",frame=100");
    }

    void requestGetsItsExactReplyAndChangesNoRecord()
    {
        QFETCH(QString, settings);
        QFETCH(Bytes, frame);
        CoreRig rig(settings);
        const unsigned records = rig.device.store().count();
        const auto reply = rig.host.exchange(frame);
        QVERIFY(reply);
        QTEST(reply->bytes, "expected");
        QCOMPARE(rig.device.store().count(), records);
    }

    void recordIsStoredReadBackAndDeletedAndItsNumberNotReused()
    {
        CoreRig rig("frame=100,slots=3,records=2"); // full once written
        const Bytes record = fixtureRecord("Spot 575", 7);
        QCOMPARE(rig.host.sendData(Command::FixtureRecord, 0, record, 100), uint8_t(0));
        // The record is finished: a chunk that carries on from it is out of sequence.
        const Bytes more = hostFrame(Frame::DataOut, Command::FixtureRecord, 0, pattern(10));
        QVERIFY(rig.host.exchange(more)->isStatus(Refusal::OutOfSequence));
        const QList<int> numbers = listNumbers(rig.host.requestMulti(Command::FixtureList, 0));
        QCOMPARE(numbers.size(), 3);
        const uint8_t number = uint8_t(numbers.last());
        Bytes stored = record; // as the device sends it back: header and used slots, its number in 242
        stored[Record::NumberOffset] = number;
        stored.resize(Record::readLength(7));
        QCOMPARE(rig.host.requestMulti(Command::FixtureRecord, number), std::optional<Bytes>(stored));
        QVERIFY(rig.host.exchange(requestFrame(Command::FixtureDelete, number))->type == Frame::DataReply);
        // A host that kept the old number must not reach a new definition under it.
        QCOMPARE(rig.host.sendData(Command::FixtureRecord, 0, fixtureRecord("New", 1), 100), uint8_t(0));
        QVERIFY(rig.host.exchange(requestFrame(Command::FixtureRecord, number))->isStatus(Refusal::UnknownRecord));
        QVERIFY(!listNumbers(rig.host.requestMulti(Command::FixtureList, 0)).contains(number));
    }

    void firmwareUpdateChecksSectorOrderAndA32BitChecksum()
    {
        const Bytes sectors[] = {pattern(512), Bytes(768, 0xF3)};
        const uint32_t checksum = std::accumulate( // above 0xFFFF
            sectors[1].begin(),
            sectors[1].end(),
            std::accumulate(sectors[0].begin(), sectors[0].end(), uint32_t(0)));
        Bytes header(256, 0);
        std::memcpy(header.data(), "KVU2\0QRD-780", 12);
        header[46] = 2; // sectors, their sizes from 68, the image checksum at 100
        qToLittleEndian<quint32>(512, header.data() + 68);
        qToLittleEndian<quint32>(768, header.data() + 72);
        qToLittleEndian<quint32>(checksum, header.data() + 100);
        for (const bool inOrder : {true, false}) {
            CoreRig rig("frame=100");
            std::optional<uint8_t> code = rig.host.sendData(Command::FirmwareHeader, 0, header, 100);
            for (int index : inOrder ? QList<int> {0, 1} : QList<int> {1, 0}) {
                if (code == uint8_t(0)) {
                    code = rig.host.sendData(Command::FirmwareSector, uint16_t(index), sectors[index], 100);
                }
            }
            QCOMPARE(code, std::optional<uint8_t>(inOrder ? 0 : Refusal::OutOfSequence));
            QCOMPARE(rig.device.lastFirmwareUpdate().succeeded(), inOrder);
            // The identity tells the host the new firmware took.
            QCOMPARE(rig.device.config().firmwareVersion,
                     uint16_t(inOrder ? SimDevice::UpdatedFirmwareVersion : 0x0102));
        }
    }

    void armedFaultCountsOperationFramesOnlyAndAVanishedDeviceSendsNothing()
    {
        CoreRig rig {QString()};
        const Bytes list = requestFrame(Command::FixtureList);
        const auto answers = [&rig](std::initializer_list<Bytes> frames) { // A: answered, -: nothing
            QString seen;
            for (const Bytes& frame : frames) {
                seen += rig.host.exchange(frame) ? 'A' : '-';
            }
            return seen;
        };
        // Armed for the third frame: the first one counts even when it is a ping, later
        // pings do not, so the third is the second list request.
        rig.device.armFault(sim::SimDevice::Fault::Vanish, 3);
        QCOMPARE(answers({Ping, list, Ping}), "AAA");
        rig.host.send(join({Ping, list})); // the reply to the ping is on its way when the device vanishes
        QVERIFY(!rig.device.faultArmed() && rig.device.gone());
        QCOMPARE(rig.connection.available(rig.host.now + 1h), size_t(0));
        QCOMPARE(rig.connection.readyAt(1), std::optional<TimePoint>());
    }

    void replyIsDueAfterLineTimeAndLatency_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("firstByteUs");
        QTest::addColumn<int>("lastByteUs");
        // On the wire the ping takes 14 byte times to arrive, the reply's first byte one more.
        const int first = int((Ping.size() + 1) * ByteTime.count());
        const int last = int((Ping.size() + IdentityLength) * ByteTime.count());
        QTest::newRow("wire and 2 ms latency") << "wire=1,latency=2" << first + 2000 << last + 2000;
        QTest::newRow("5 ms latency only") << "latency=5" << 5000 << 5000;
    }

    void replyIsDueAfterLineTimeAndLatency()
    {
        QFETCH(QString, settings);
        QFETCH(int, firstByteUs);
        QFETCH(int, lastByteUs);
        CoreRig rig(settings);
        rig.connection.receive(Ping.data(), Ping.size(), start);
        const TimePoint first = start + std::chrono::microseconds(firstByteUs);
        const TimePoint last = start + std::chrono::microseconds(lastByteUs);
        const bool wire = first != last;
        QCOMPARE(rig.connection.available(first - 1us), size_t(0));
        QCOMPARE(rig.connection.available(first), wire ? 1 : IdentityLength);
        QCOMPARE(rig.connection.available(last - 1us), wire ? IdentityLength - 1 : 0);
        QCOMPARE(rig.connection.readyAt(IdentityLength), std::optional<TimePoint>(last));
        QCOMPARE(rig.connection.readyAt(IdentityLength + 1), std::optional<TimePoint>());
        // A second ping at the same time: its reply follows the first rather than overlapping it,
        // and a read takes only what is due.
        rig.connection.receive(Ping.data(), Ping.size(), start);
        const TimePoint secondLast = last + (wire ? int(IdentityLength) * ByteTime : 0us);
        QCOMPARE(rig.connection.readyAt(2 * IdentityLength), std::optional<TimePoint>(secondLast));
        Bytes buffer(200);
        QCOMPARE(rig.connection.read(buffer.data(), buffer.size(), last), wire ? IdentityLength : 2 * IdentityLength);
        QCOMPARE(rig.connection.read(buffer.data(), 10, secondLast), wire ? 10 : 0);
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "TestSimDevice.moc"
