// The simulated device through its core: its settings, the commands the host relies on, record
// memory, firmware update, faults on demand, framing across writes and reply timing.

#include "TestSimSupport.h"

#include <QSet>
#include <QTest>

#include <numeric>

using namespace korvane::KVP;
using namespace korvane::KVP::sim;
using namespace korvane::KVP::Test;
using namespace std::chrono_literals;

namespace {

/// The record as the device sends it back: header and used slots, its number in 242.
Bytes readBack(Bytes record, uint8_t number)
{
    record[Record::NumberOffset] = number;
    record.resize(Record::readLength(record[Record::ChannelCountOffset]));
    return record;
}

/// The record numbers in a list payload, in order.
QList<int> listNumbers(const std::optional<Bytes>& list)
{
    QList<int> numbers;
    for (size_t i = 0; list && i < readLe16(list->data()); ++i) {
        numbers << (*list)[2 + i * Record::HeaderLength + Record::NumberOffset];
    }
    return numbers;
}

QStringList fields(const SimDeviceConfig& c)
{
    const SimFaults& f = c.faults;
    const auto n = [](auto value) { return QString::number(value); };
    return QStringList() << "model=" + QString::fromStdString(c.model) << "hw=" + n(c.hardwareVersion)
                         << "fw=" + n(c.firmwareVersion) << "desc=" + QString::fromStdString(c.description)
                         << "frame=" + n(c.frameSize) << "slots=" + n(c.slotCount) << "records=" + n(c.records)
                         << "patchEmpty=" + n(c.patchEmpty) << "wire=" + n(c.wire)
                         << "latency=" + n(c.latency.count()) + "us"
                         << "silent=" + n(f.silentFrom) << "refuse=" + n(f.refuseAt) + ":" + n(f.refuseCode)
                         << "corrupt=" + n(f.corruptAt) << "drop=" + n(f.dropAt) + ":" + n(f.dropCount)
                         << "late=" + n(f.lateAt) + ":" + n(f.lateBy.count()) << "vanish=" + n(f.vanishAt)
                         << "nolastack=" + n(f.dropLastFirmwareAck);
}

/// The fields that differ from a healthy QRD-780, so that a failure names them.
QString changes(const SimDeviceConfig& config)
{
    QStringList changed = fields(config);
    for (const QString& healthy : fields(SimDeviceConfig())) {
        changed.removeOne(healthy);
    }
    return changed.join(' ');
}

constexpr size_t IdentityLength = 64;
/// A time the test controls, far from the clock's epoch.
const TimePoint start = TimePoint() + 1h;

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void settingsAreReadOrRejected_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("changes"); // "rejected" when the text is refused
        const auto row = [](const char* name, const QString& text, const QString& changes = "rejected") {
            QTest::newRow(name) << text << changes;
        };
        row("nothing: a healthy QRD-780", "", "");
        row("identity", "model=QRD-540B, fw=0x0101 ,hw=3,frame=100", "model=QRD-540B hw=3 fw=257 frame=100");
        row("quoted description with separators",
            R"(desc="KORVANE KVP-DGL, spare; 2")",
            "desc=KORVANE KVP-DGL, spare; 2");
        row("memory, patch and wire",
            "slots=50,records=12,patch=1,wire=1,latency=2",
            "slots=50 records=12 patchEmpty=0 wire=1 latency=2000us");
        row("free slots on top of the records", "free=3,records=12", "slots=15 records=12");
        row("every fault",
            "silentfrom=9,refuse=2:0x41,corrupt=3,drop=4:6,late=5:250,vanish=20,nolastack=1",
            "silent=9 refuse=2:65 corrupt=3 drop=4:6 late=5:250 vanish=20 nolastack=1");
        row("silent device, default counts", "silent=yes,refuse=7,drop=8", "silent=1 refuse=7:32 drop=8:1");
        row("model too long for the identity", "model=" + QString(40, 'M'));
        row("description too long for the node", "desc=" + QString(64, 'D'));
        for (const QString& text : QStringLiteral("colour=red model model= fw=0x10000 slots=-1 slots=12x patch=maybe "
                                                  "slots=256 slots=5,records=6 records=200,free=56 refuse=0 refuse=3:0 "
                                                  "late=3 corrupt=3:1")
                                       .split(' ')) {
            row(qPrintable(text), text);
        }
    }

    void settingsAreReadOrRejected()
    {
        QFETCH(QString, text);
        SimDeviceConfig config;
        std::string error;
        const bool ok = parseSimDeviceConfig(text.toStdString(), config, error);
        QCOMPARE(error.empty(), ok); // a refusal says why
        QTEST(ok ? changes(config) : QStringLiteral("rejected"), "changes");
    }

    void requestGetsItsExactReplyAndChangesNoRecord_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<Bytes>("before"); // sent first
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<Bytes>("expected");
        const auto row = [](const char* name, const QString& config, const Bytes& frame, const Bytes& reply) {
            QTest::newRow(name) << config << Bytes() << frame << reply;
        };
        const auto identity = [](const std::string& model, uint16_t frame, uint16_t hw, uint16_t fw) {
            return deviceFrame(Frame::DataReply, Command::Identify, 0, identityBlock(frame, model, hw, fw), BothFlags);
        };
        const auto memory = [](const Bytes& state) {
            return deviceFrame(Frame::DataReply, Command::MemoryState, 0, state, BothFlags);
        };
        // Refusals on a device with three records, numbers 0, 1 and 2.
        const auto refused = [&](const char* name, const Bytes& frame, uint8_t code, const QString& more = "") {
            const uint16_t parameter = readLe16(&frame[Frame::ParameterOffset]);
            row(name, "records=3" + more, frame, statusReply(frame[Frame::CommandOffset], parameter, code));
        };
        const auto chunk = [](uint8_t flags, size_t length = 86) {
            return hostFrame(Frame::DataOut, Command::FixtureRecord, 0, pattern(length), flags);
        };
        const Bytes memoryState = requestFrame(Command::MemoryState);
        const Bytes clearPatch = hostFrame(Frame::DataOut, Command::ClearPatch, 0, {}, BothFlags);

        row("identity", "", Ping, identity("QRD-780", 522, 0x0001, 0x0102));
        row("QRD-540B, frame 14", "model=QRD-540B,hw=515,fw=257,frame=14", Ping, identity("QRD-540B", 14, 515, 257));
        row("longest model name", "model=" + QString(39, 'M'), Ping, identity(std::string(39, 'M'), 522, 1, 0x0102));
        // Memory state: free slots, then bit 0 set when the patch list is empty.
        row("memory state", "", memoryState, memory({100, 1}));
        row("memory partly filled, patch in use", "records=12,patch=1", memoryState, memory({88, 0}));
        row("memory full", "slots=255,records=255", memoryState, memory({0, 1}));
        row("clear patch", "patch=1", clearPatch, statusReply(Command::ClearPatch, 0, 0));
        QTest::newRow("clear patch sets the bit, leaves the slots")
            << "records=12,patch=1" << clearPatch << memoryState << memory({88, 1});
        const uint8_t unknownRecord = Refusal::UnknownRecord, unknownCommand = Refusal::UnknownCommand;
        refused("read of a free number", requestFrame(Command::FixtureRecord, 7), unknownRecord);
        refused("delete of a free number", requestFrame(Command::FixtureDelete, 7), unknownRecord);
        refused("read of 0x100, alias of 0", requestFrame(Command::FixtureRecord, 0x100), unknownRecord);
        refused("delete of 0x100, alias of 0", requestFrame(Command::FixtureDelete, 0x100), unknownRecord);
        refused("request 0x02", requestFrame(0x02), unknownCommand);
        refused("identify as data-out", hostFrame(Frame::DataOut, Command::Identify, 0, {}, BothFlags), unknownCommand);
        refused("clear patch as request", requestFrame(Command::ClearPatch), unknownCommand);
        refused("status reply from the host", hostFrame(Frame::StatusReply, Command::Identify, 0, {0}), unknownCommand);
        refused("record chunk without the first flag", chunk(0), Refusal::OutOfSequence);
        refused("beyond the largest frame", chunk(Frame::FlagFirst, 87), Refusal::FrameTooLong, ",frame=100");
        refused("all slots taken", chunk(Frame::FlagFirst), Refusal::MemoryFull, ",slots=3");
    }

    void requestGetsItsExactReplyAndChangesNoRecord()
    {
        QFETCH(QString, settings);
        QFETCH(Bytes, before);
        QFETCH(Bytes, frame);
        QFETCH(Bytes, expected);
        CoreRig rig(settings);
        QVERIFY(before.empty() || rig.host.exchange(before));
        const unsigned records = rig.device.store().count();
        const auto reply = rig.host.exchange(frame);
        QVERIFY(reply);
        QCOMPARE(hex(reply->bytes), hex(expected));
        QCOMPARE(rig.device.store().count(), records);
    }

    void listIsSplitAtTheFrameSizeReadFromItsStartAndEveryEntryReadsBack_data()
    {
        QTest::addColumn<int>("frameSize");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("replies");
        QTest::newRow("empty device: count only") << 522 << 0 << 1;
        QTest::newRow("two entries, one frame exactly") << 504 << 2 << 1;
        QTest::newRow("two entries, one byte over") << 503 << 2 << 2;
        QTest::newRow("twelve entries at 100") << 100 << 12 << 35;
        QTest::newRow("unusable frame size falls back to 100") << 10 << 3 << 9;
    }

    void listIsSplitAtTheFrameSizeReadFromItsStartAndEveryEntryReadsBack()
    {
        QFETCH(int, frameSize);
        QFETCH(int, records);
        CoreRig rig(QStringLiteral("frame=%1,records=%2").arg(frameSize).arg(records));
        // A read the host gave up after two replies: the next one starts from the beginning.
        rig.host.exchange(requestFrame(Command::FixtureList, 0, Frame::FlagFirst));
        rig.host.exchange(requestFrame(Command::FixtureList, 0, 0));
        std::vector<ReplyFrame> replies;
        const auto list = rig.host.requestMulti(Command::FixtureList, 0, &replies);
        QVERIFY(list);
        QTEST(int(replies.size()), "replies");
        for (size_t i = 0; i < replies.size(); ++i) {
            QVERIFY(replies[i].bytes.size() <= size_t(frameSize > 14 ? frameSize : 100));
            QCOMPARE(replies[i].isLast(), i + 1 == replies.size());
            QCOMPARE(bool(replies[i].flags & Frame::FlagFirst), i == 0);
        }
        QCOMPARE(list->size(), size_t(2 + records * Record::HeaderLength));
        const QList<int> numbers = listNumbers(list);
        QCOMPARE(QSet<int>(numbers.begin(), numbers.end()).size(), records); // no number twice
        for (int i = 0; i < records; ++i) { // sample records are named and read back at their channel count
            const Bytes entry(list->begin() + 2 + i * 244, list->begin() + 2 + (i + 1) * 244);
            QVERIFY(entry[0] != 0);
            const auto record = rig.host.requestMulti(Command::FixtureRecord, entry[Record::NumberOffset]);
            QVERIFY(record);
            QCOMPARE(record->size(), Record::readLength(entry[Record::ChannelCountOffset]));
            QCOMPARE(Bytes(record->begin(), record->begin() + 244), entry);
        }
    }

    void recordWrittenInChunksIsStoredListedReadDeletedAndItsNumberNotReused()
    {
        CoreRig rig("frame=100,slots=3,records=2"); // full once written
        const Bytes record = fixtureRecord("Spot 575", 7);
        int frames = 0;
        QCOMPARE(rig.host.sendData(Command::FixtureRecord, 0, record, 100, &frames), uint8_t(0));
        QCOMPARE(frames, 62);
        const auto list = rig.host.requestMulti(Command::FixtureList, 0);
        const QList<int> numbers = listNumbers(list);
        QCOMPARE(numbers.size(), 3);
        const uint8_t number = uint8_t(numbers.last());
        QVERIFY(!numbers.mid(0, 2).contains(number));
        const Bytes stored = readBack(record, number);
        QCOMPARE(Bytes(list->end() - 244, list->end()), Bytes(stored.begin(), stored.begin() + 244));

        std::vector<ReplyFrame> replies;
        QCOMPARE(rig.host.requestMulti(Command::FixtureRecord, number, &replies), std::optional<Bytes>(stored));
        QCOMPARE(stored.size(), size_t(244 + 112 * 7));
        QCOMPARE(replies.size(), size_t(12)); // 1028 bytes in pieces of 86
        QCOMPARE(replies.front().parameter, uint16_t(number));

        const auto deleted = rig.host.exchange(requestFrame(Command::FixtureDelete, number));
        QVERIFY(deleted && deleted->type == Frame::DataReply && deleted->parameter == number);
        QCOMPARE(listNumbers(rig.host.requestMulti(Command::FixtureList, 0)), numbers.mid(0, 2));
        // A host that kept the old number must not reach a new definition under it.
        QCOMPARE(rig.host.sendData(Command::FixtureRecord, 0, fixtureRecord("New", 1), 100), uint8_t(0));
        QVERIFY(rig.host.exchange(requestFrame(Command::FixtureRecord, number))->isStatus(Refusal::UnknownRecord));
        const QList<int> renewed = listNumbers(rig.host.requestMulti(Command::FixtureList, 0));
        QCOMPARE(renewed.size(), 3);
        QVERIFY(!renewed.contains(number));
    }

    void recordRefusedOrUnheardAtItsLastChunkIsNotStored_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("code"); // -1: no reply
        QTest::newRow("one byte short") << "" << int(Record::Length - 1) << int(Refusal::BadLength);
        QTest::newRow("one byte long") << "" << int(Record::Length + 1) << int(Refusal::BadLength);
        QTest::newRow("refused") << ",refuse=62" << int(Record::Length) << 0x20;
        QTest::newRow("silent") << ",silentfrom=62" << int(Record::Length) << -1;
        QTest::newRow("vanished") << ",vanish=62" << int(Record::Length) << -1;
    }

    void recordRefusedOrUnheardAtItsLastChunkIsNotStored()
    {
        QFETCH(QString, fault);
        QFETCH(int, length);
        QFETCH(int, code);
        CoreRig rig("frame=100" + fault);
        Bytes record = fixtureRecord("Last Chunk", 2);
        record.resize(size_t(length));
        int frames = 0;
        const auto reply = rig.host.sendData(Command::FixtureRecord, 0, record, 100, &frames);
        QCOMPARE(reply, code < 0 ? std::nullopt : std::optional<uint8_t>(code));
        QCOMPARE(frames, 62);
        QCOMPARE(rig.device.store().count(), 0u);
    }

    void firmwareUpdate_data()
    {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("checksumError");
        QTest::addColumn<int>("headerLength");
        QTest::addColumn<QList<int>>("sectorOrder");
        QTest::addColumn<int>("finalCode"); // -1: no reply
        QTest::addColumn<bool>("complete");
        const QList<int> inOrder = {0, 1};
        const int badChecksum = Refusal::BadChecksum;
        QTest::newRow("two sectors") << "" << 0 << 256 << inOrder << 0 << true;
        QTest::newRow("wrong checksum") << "" << 1 << 256 << inOrder << badChecksum << true;
        QTest::newRow("sectors out of order")
            << "" << 0 << 256 << QList<int> {1, 0} << int(Refusal::OutOfSequence) << false;
        QTest::newRow("short header") << "" << 0 << 255 << QList<int> {} << int(Refusal::BadLength) << false;
        QTest::newRow("no last ack: a good image restarts silently")
            << ",nolastack=1" << 0 << 256 << inOrder << -1 << true;
        QTest::newRow("no last ack: a bad image is still refused")
            << ",nolastack=1" << 1 << 256 << inOrder << badChecksum << true;
    }

    void firmwareUpdate()
    {
        QFETCH(QString, faults);
        QFETCH(int, checksumError);
        QFETCH(int, headerLength);
        QFETCH(QList<int>, sectorOrder);
        QFETCH(int, finalCode);
        QFETCH(bool, complete);
        CoreRig rig("frame=100" + faults);
        const Bytes sectors[] = {pattern(512), Bytes(768, 0xF3)};
        const uint32_t checksum = std::accumulate(
            sectors[1].begin(), sectors[1].end(), std::accumulate(sectors[0].begin(), sectors[0].end(), uint32_t(0)));
        Bytes header = firmwareHeader({512, 768}, checksum + uint32_t(checksumError));
        header.resize(size_t(headerLength));
        std::optional<uint8_t> code = rig.host.sendData(Command::FirmwareHeader, 0, header, 100);
        for (int index : sectorOrder) {
            if (code == uint8_t(0)) {
                code = rig.host.sendData(Command::FirmwareSector, uint16_t(index), sectors[index], 100);
            }
        }
        // A complete update without a final reply went silent at its very last frame.
        QCOMPARE(code, finalCode < 0 ? std::nullopt : std::optional<uint8_t>(finalCode));
        const SimFirmwareUpdate::Outcome& update = rig.device.lastFirmwareUpdate();
        QVERIFY(update.started);
        QCOMPARE(update.complete, complete);
        QCOMPARE(update.succeeded(), complete && finalCode <= 0);
        if (complete) {
            QCOMPARE(update.header, header);
            QCOMPARE(update.receivedChecksum, checksum);
        }
        QVERIFY(rig.host.exchange(Ping)); // the device answers again
    }

    void faultHitsItsFrame_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QStringList>("outcomes"); // of four pings in a row
        QTest::addColumn<bool>("gone");
        const QString id = QStringLiteral("identity");
        QTest::newRow("silent from frame 3") << "silentfrom=3" << QStringList {id, id, "none", "none"} << false;
        QTest::newRow("refusal at frame 2") << "refuse=2:0x33" << QStringList {id, "refused:51", id, id} << false;
        QTest::newRow("corrupt reply") << "corrupt=2" << QStringList {id, "garbled:64", id, id} << false;
        QTest::newRow("bytes dropped") << "drop=3:5" << QStringList {id, id, "garbled:59", id} << false;
        QTest::newRow("late reply still comes") << "late=2:1500" << QStringList {id, id, id, id} << false;
        QTest::newRow("vanish at frame 2") << "vanish=2" << QStringList {id, "none", "none", "none"} << true;
    }

    void faultHitsItsFrame()
    {
        QFETCH(QString, settings);
        QFETCH(QStringList, outcomes);
        CoreRig rig(settings);
        QStringList seen;
        for (int i = 0; i < outcomes.size(); ++i) {
            const auto reply = rig.host.exchange(Ping);
            const size_t raw = rig.host.lastBytes().size();
            if (!reply) {
                seen << (raw == 0 ? QStringLiteral("none") : QStringLiteral("garbled:%1").arg(raw));
            } else if (reply->type == Frame::StatusReply && reply->command == Command::Identify) {
                seen << QStringLiteral("refused:%1").arg(reply->payload.at(0));
            } else {
                seen << (reply->bytes.size() == 64 && raw == 64 ? QStringLiteral("identity") : QStringLiteral("other"));
            }
        }
        QCOMPARE(seen, outcomes);
        QTEST(rig.device.gone(), "gone");
        QTEST(rig.connection.deviceGone(), "gone");
        QCOMPARE(rig.device.framesReceived(), uint32_t(rig.device.gone() ? 2 : outcomes.size()));
    }

    void armedFaultCountsOperationFramesOnlyAndClearingRepairsTheDevice()
    {
        CoreRig rig {QString()};
        const Bytes list = requestFrame(Command::FixtureList);
        // Armed for the third frame: the first one counts even when it is a ping, later
        // pings do not, so the third is the second list request.
        rig.device.armFault(sim::SimDevice::Fault::Vanish, 3);
        QVERIFY(rig.host.exchange(Ping));
        QVERIFY(rig.host.exchange(list));
        QVERIFY(rig.host.exchange(Ping));
        QVERIFY(rig.device.faultArmed());
        QVERIFY(!rig.host.exchange(list));
        QVERIFY(!rig.device.faultArmed());
        QVERIFY(rig.device.gone());

        rig.device.clearFaults();
        QVERIFY(!rig.device.gone());
        QVERIFY(rig.host.exchange(Ping));
        rig.device.armFault(sim::SimDevice::Fault::Refusal, 1);
        const auto refused = rig.host.exchange(list);
        QVERIFY(refused);
        QCOMPARE(refused->type, Frame::StatusReply);
        QVERIFY(rig.host.exchange(list));
        rig.device.armFault(sim::SimDevice::Fault::Silence, 1);
        QVERIFY(!rig.host.exchange(Ping));
        QVERIFY(!rig.host.exchange(Ping));
        rig.device.clearFaults();
        QVERIFY(rig.host.exchange(Ping));
    }

    void framesAreFoundWhateverTheWriteBoundariesAndALateReplyHoldsBackTheNext()
    {
        CoreRig rig("late=2:500");
        for (uint8_t byte : Ping) {
            QCOMPARE(rig.connection.available(rig.host.now), size_t(0));
            rig.host.send({byte});
            rig.host.now += 1ms;
        }
        QCOMPARE(rig.connection.available(rig.host.now), IdentityLength);
        rig.host.receive();
        // The late reply to the ping still comes first, the one due at once after it.
        rig.host.send(join({Ping, requestFrame(Command::MemoryState)}));
        QCOMPARE(rig.connection.available(rig.host.now + 499ms), size_t(0));
        rig.host.receive();
        const auto replies = decodeFrames(rig.host.lastBytes());
        QCOMPARE(replies.size(), size_t(2));
        QCOMPARE(replies[0].command, Command::Identify);
        QCOMPARE(replies[1].command, Command::MemoryState);
    }

    void replyIsDueAfterLineTimeAndLatency_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("firstByteUs");
        QTest::addColumn<int>("lastByteUs");
        // On the wire the ping takes 14 byte times to arrive, the reply's first byte one more.
        const int first = int((Ping.size() + 1) * ByteTime.count());
        const int last = int((Ping.size() + IdentityLength) * ByteTime.count());
        QTest::newRow("wire") << "wire=1" << first << last;
        QTest::newRow("wire and 2 ms latency") << "wire=1,latency=2" << first + 2000 << last + 2000;
        QTest::newRow("5 ms latency only") << "latency=5" << 5000 << 5000;
        QTest::newRow("neither") << "" << 0 << 0;
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

    void vanishedDeviceLosesWhatWasOnItsWay()
    {
        CoreRig rig("wire=1,vanish=2");
        rig.connection.receive(Ping.data(), Ping.size(), start);
        QVERIFY(rig.connection.readyAt(1));
        rig.connection.receive(Ping.data(), Ping.size(), start);
        QVERIFY(rig.connection.deviceGone());
        QCOMPARE(rig.connection.available(start + 1h), size_t(0));
        QCOMPARE(rig.connection.readyAt(1), std::optional<TimePoint>());
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "TestSimDevice.moc"
