// The simulated device through its core: the settings language of KVP_SIM_DEVICES, every
// command the host relies on, the record memory with its slot limit and numbers, the
// firmware update with its checksum, every fault on demand, and its connection: framing
// across writes and reply timing under the wire and latency model.

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
    return {QStringLiteral("model=%1").arg(QString::fromStdString(c.model)),
            QStringLiteral("hw=%1").arg(c.hardwareVersion),
            QStringLiteral("fw=%1").arg(c.firmwareVersion),
            QStringLiteral("desc=%1").arg(QString::fromStdString(c.description)),
            QStringLiteral("frame=%1").arg(c.frameSize),
            QStringLiteral("slots=%1").arg(c.slotCount),
            QStringLiteral("records=%1").arg(c.records),
            QStringLiteral("patchEmpty=%1").arg(c.patchEmpty),
            QStringLiteral("wire=%1").arg(c.wire),
            QStringLiteral("latency=%1us").arg(c.latency.count()),
            QStringLiteral("silent=%1").arg(f.silentFrom),
            QStringLiteral("refuse=%1:%2").arg(f.refuseAt).arg(f.refuseCode),
            QStringLiteral("corrupt=%1").arg(f.corruptAt),
            QStringLiteral("drop=%1:%2").arg(f.dropAt).arg(f.dropCount),
            QStringLiteral("late=%1:%2").arg(f.lateAt).arg(f.lateBy.count()),
            QStringLiteral("vanish=%1").arg(f.vanishAt),
            QStringLiteral("nolastack=%1").arg(f.dropLastFirmwareAck)};
}

/// The fields that differ from a healthy QRD-780, so that a failure names them.
QString changes(const SimDeviceConfig& config)
{
    const QStringList now = fields(config);
    const QStringList healthy = fields(SimDeviceConfig());
    QStringList changed;
    for (int i = 0; i < now.size(); ++i) {
        if (now[i] != healthy[i]) {
            changed << now[i];
        }
    }
    return changed.join(' ');
}

constexpr size_t PingLength = 14;
constexpr size_t IdentityLength = 64;
/// A time the test controls, far from the clock's epoch.
const TimePoint start = TimePoint() + 1h;

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void settingsAreReadOrRejected_data();
    void settingsAreReadOrRejected();
    void identityIsTheFullReplyFrame_data();
    void identityIsTheFullReplyFrame();
    void listIsSplitAtTheFrameSizeAndEveryEntryReadsBack_data();
    void listIsSplitAtTheFrameSizeAndEveryEntryReadsBack();
    void recordWrittenInChunksIsStoredListedReadAndDeleted();
    void frameIsRefusedAndChangesNothing_data();
    void frameIsRefusedAndChangesNothing();
    void recordOfAnotherLengthIsRefusedAtItsEnd();
    void deletedNumberIsNotHandedOutAgainAtOnce();
    void newReadRestartsAnUnfinishedOne();
    void memoryStateTellsFreeSlotsAndAnEmptyPatchList_data();
    void memoryStateTellsFreeSlotsAndAnEmptyPatchList();
    void firmwareUpdate_data();
    void firmwareUpdate();
    void faultHitsItsFrame_data();
    void faultHitsItsFrame();
    void refusedOrUnheardLastChunkIsNotStored_data();
    void refusedOrUnheardLastChunkIsNotStored();
    void framesAreFoundWhateverTheWriteBoundaries();
    void replyIsDueAfterLineTimeAndLatency_data();
    void replyIsDueAfterLineTimeAndLatency();
    void lateReplyHoldsBackTheNextOne();
    void vanishedDeviceLosesWhatWasOnItsWay();
};

void TestSimDevice::settingsAreReadOrRejected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("changes"); // "rejected" when the text is refused
    const auto read
        = [](const char* name, const QString& text, const QString& changes) { QTest::newRow(name) << text << changes; };
    const auto rejected = [](const char* name, const QString& text) { QTest::newRow(name) << text << "rejected"; };

    read("nothing: a healthy QRD-780", "", "");
    read("identity", "model=QRD-540B, fw=0x0101 ,hw=3,frame=100", "model=QRD-540B hw=3 fw=257 frame=100");
    read("quoted description with separators", R"(desc="KORVANE KVP-DGL, spare; 2")", "desc=KORVANE KVP-DGL, spare; 2");
    read("memory, patch and wire",
         "slots=50,records=12,patch=1,wire=1,latency=2",
         "slots=50 records=12 patchEmpty=0 wire=1 latency=2000us");
    read("free slots on top of the records", "free=3,records=12", "slots=15 records=12");
    read("every fault",
         "silentfrom=9,refuse=2:0x41,corrupt=3,drop=4:6,late=5:250,vanish=20,nolastack=1",
         "silent=9 refuse=2:65 corrupt=3 drop=4:6 late=5:250 vanish=20 nolastack=1");
    read("silent device, default counts", "silent=yes,refuse=7,drop=8", "silent=1 refuse=7:32 drop=8:1");
    rejected("unknown key", "colour=red");
    rejected("no value", "model");
    rejected("empty model", "model=");
    rejected("model too long for the identity", "model=" + QString(40, 'M'));
    rejected("description too long for the node", "desc=" + QString(64, 'D'));
    rejected("version beyond 16 bits", "fw=0x10000");
    rejected("negative number", "slots=-1");
    rejected("number with trailing text", "slots=12x");
    rejected("flag that is no flag", "patch=maybe");
    rejected("more than 255 slots", "slots=256");
    rejected("more records than slots", "slots=5,records=6");
    rejected("records and free beyond 255", "records=200,free=56");
    rejected("frame 0 does not exist", "refuse=0");
    rejected("refusal code 0 is no refusal", "refuse=3:0");
    rejected("late without a delay", "late=3");
    rejected("corrupt takes no second value", "corrupt=3:1");
}

void TestSimDevice::settingsAreReadOrRejected()
{
    QFETCH(QString, text);
    SimDeviceConfig config;
    std::string error;
    const bool ok = parseSimDeviceConfig(text.toStdString(), config, error);
    QCOMPARE(error.empty(), ok); // a refusal says why
    QTEST(ok ? changes(config) : QStringLiteral("rejected"), "changes");
}

void TestSimDevice::identityIsTheFullReplyFrame_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<Bytes>("identity");
    QTest::newRow("default") << "" << identityBlock(522, "QRD-780", 0x0001, 0x0102);
    QTest::newRow("QRD-540B, frame size too small but sent as it is")
        << "model=QRD-540B,hw=0x0203,fw=0x0101,frame=14" << identityBlock(14, "QRD-540B", 0x0203, 0x0101);
    QTest::newRow("longest model name") << "model=" + QString(39, 'M')
                                        << identityBlock(522, std::string(39, 'M'), 0x0001, 0x0102);
}

void TestSimDevice::identityIsTheFullReplyFrame()
{
    QFETCH(QString, settings);
    QFETCH(Bytes, identity);
    CoreRig rig(settings);
    const auto reply = rig.host.exchange(Ping);
    QVERIFY(reply);
    QCOMPARE(hex(reply->bytes), hex(deviceFrame(Frame::DataReply, Command::Identify, 0, identity, BothFlags)));
}

void TestSimDevice::listIsSplitAtTheFrameSizeAndEveryEntryReadsBack_data()
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

void TestSimDevice::listIsSplitAtTheFrameSizeAndEveryEntryReadsBack()
{
    QFETCH(int, frameSize);
    QFETCH(int, records);
    CoreRig rig(QStringLiteral("frame=%1,records=%2").arg(frameSize).arg(records));

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
    for (int i = 0; i < records; ++i) {
        // The sample records are named and read back at their channel count.
        const Bytes entry(list->begin() + 2 + i * 244, list->begin() + 2 + (i + 1) * 244);
        QVERIFY(entry[0] != 0);
        const auto record = rig.host.requestMulti(Command::FixtureRecord, entry[Record::NumberOffset]);
        QVERIFY(record);
        QCOMPARE(record->size(), Record::readLength(entry[Record::ChannelCountOffset]));
        QCOMPARE(Bytes(record->begin(), record->begin() + 244), entry);
    }
}

void TestSimDevice::recordWrittenInChunksIsStoredListedReadAndDeleted()
{
    CoreRig rig("frame=100,records=2");
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
    QVERIFY(rig.host.exchange(requestFrame(Command::FixtureRecord, number))->isStatus(Refusal::UnknownRecord));
}

void TestSimDevice::frameIsRefusedAndChangesNothing_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<int>("code");

    const int unknownRecord = Refusal::UnknownRecord, unknownCommand = Refusal::UnknownCommand;
    const auto chunk = [](uint8_t flags, size_t length = 86) {
        return hostFrame(Frame::DataOut, Command::FixtureRecord, 0, pattern(length), flags);
    };
    const QString three = "records=3"; // numbers 0, 1 and 2
    QTest::newRow("read of a free number") << three << requestFrame(Command::FixtureRecord, 7) << unknownRecord;
    QTest::newRow("delete of a free number") << three << requestFrame(Command::FixtureDelete, 7) << unknownRecord;
    QTest::newRow("read of 0x100, alias of 0") << three << requestFrame(Command::FixtureRecord, 0x100) << unknownRecord;
    QTest::newRow("delete of 0x100, alias of 0")
        << three << requestFrame(Command::FixtureDelete, 0x100) << unknownRecord;
    QTest::newRow("request 0x02") << three << requestFrame(0x02) << unknownCommand;
    QTest::newRow("identify as data-out")
        << three << hostFrame(Frame::DataOut, Command::Identify, 0, {}, BothFlags) << unknownCommand;
    QTest::newRow("clear patch as request") << three << requestFrame(Command::ClearPatch) << unknownCommand;
    QTest::newRow("a status reply from the host")
        << three << hostFrame(Frame::StatusReply, Command::Identify, 0, {0}) << unknownCommand;
    QTest::newRow("record chunk without the first flag") << three << chunk(0) << int(Refusal::OutOfSequence);
    QTest::newRow("beyond the largest frame")
        << three + ",frame=100" << chunk(Frame::FlagFirst, 87) << int(Refusal::FrameTooLong);
    QTest::newRow("all slots taken") << three + ",slots=3" << chunk(Frame::FlagFirst) << int(Refusal::MemoryFull);
}

void TestSimDevice::frameIsRefusedAndChangesNothing()
{
    QFETCH(QString, settings);
    QFETCH(Bytes, frame);
    QFETCH(int, code);
    CoreRig rig(settings);
    const auto reply = rig.host.exchange(frame);
    QVERIFY(reply);
    const uint16_t parameter = readLe16(&frame[Frame::ParameterOffset]);
    QCOMPARE(hex(reply->bytes), hex(statusReply(frame[Frame::CommandOffset], parameter, uint8_t(code))));
    QCOMPARE(rig.device.store().count(), 3u);
}

void TestSimDevice::recordOfAnotherLengthIsRefusedAtItsEnd()
{
    for (const size_t length : {Record::Length - 1, Record::Length + 1}) {
        CoreRig rig("");
        int frames = 0;
        const auto code = rig.host.sendData(Command::FixtureRecord, 0, pattern(length), 100, &frames);
        QCOMPARE(code, std::optional<uint8_t>(Refusal::BadLength));
        QCOMPARE(frames, 62);
        QCOMPARE(rig.device.store().count(), 0u);
    }
}

void TestSimDevice::deletedNumberIsNotHandedOutAgainAtOnce()
{
    CoreRig rig("slots=2,records=2");
    QCOMPARE(rig.host.exchange(requestFrame(Command::FixtureDelete, 0))->type, uint8_t(Frame::DataReply));
    QCOMPARE(rig.host.sendData(Command::FixtureRecord, 0, fixtureRecord("New", 1), 522), uint8_t(0));
    // A host that kept the old number must not reach the new definition under it.
    QVERIFY(rig.host.exchange(requestFrame(Command::FixtureRecord, 0))->isStatus(Refusal::UnknownRecord));
    const QList<int> numbers = listNumbers(rig.host.requestMulti(Command::FixtureList, 0));
    QCOMPARE(numbers.size(), 2);
    QVERIFY(!numbers.contains(0));
}

void TestSimDevice::newReadRestartsAnUnfinishedOne()
{
    CoreRig rig("frame=100,records=4");
    QVERIFY(!rig.host.exchange(requestFrame(Command::FixtureList, 0, Frame::FlagFirst))->isLast());
    rig.host.exchange(requestFrame(Command::FixtureList, 0, 0));
    // The host gave up half-way and starts again: the list comes from its beginning.
    const auto list = rig.host.requestMulti(Command::FixtureList, 0);
    QVERIFY(list);
    QCOMPARE(list->size(), size_t(2 + 4 * 244));
    QCOMPARE(listNumbers(list).size(), 4);
}

void TestSimDevice::memoryStateTellsFreeSlotsAndAnEmptyPatchList_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<Bytes>("state"); // free slots, bit 0 set when the patch list is empty
    QTest::newRow("default") << "" << Bytes {100, 1};
    QTest::newRow("partly filled, patch in use") << "slots=50,records=12,patch=1" << Bytes {38, 0};
    QTest::newRow("full") << "slots=255,records=255" << Bytes {0, 1};
}

void TestSimDevice::memoryStateTellsFreeSlotsAndAnEmptyPatchList()
{
    QFETCH(QString, settings);
    QFETCH(Bytes, state);
    CoreRig rig(settings);
    std::vector<ReplyFrame> replies;
    QCOMPARE(rig.host.requestMulti(Command::MemoryState, 0, &replies), std::optional<Bytes>(state));
    QCOMPARE(replies.size(), size_t(1));

    // Clearing the patch list sets the bit and leaves the slots alone.
    const auto cleared = rig.host.exchange(hostFrame(Frame::DataOut, Command::ClearPatch, 0, {}, BothFlags));
    QVERIFY(cleared);
    QCOMPARE(hex(cleared->bytes), hex(statusReply(Command::ClearPatch, 0, 0)));
    QCOMPARE(rig.host.requestMulti(Command::MemoryState, 0), std::optional<Bytes>(Bytes {state[0], 1}));
}

void TestSimDevice::firmwareUpdate_data()
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
    QTest::newRow("no last ack: a good image restarts silently") << ",nolastack=1" << 0 << 256 << inOrder << -1 << true;
    QTest::newRow("no last ack: a bad image is still refused")
        << ",nolastack=1" << 1 << 256 << inOrder << badChecksum << true;
}

void TestSimDevice::firmwareUpdate()
{
    QFETCH(QString, faults);
    QFETCH(int, checksumError);
    QFETCH(int, headerLength);
    QFETCH(QList<int>, sectorOrder);
    QFETCH(int, finalCode);
    QFETCH(bool, complete);
    CoreRig rig("frame=100" + faults);
    const Bytes sectors[] = {pattern(512), Bytes(768, 0xF3)};
    uint32_t checksum = 0;
    for (const Bytes& sector : sectors) {
        checksum = std::accumulate(sector.begin(), sector.end(), checksum);
    }
    Bytes header = firmwareHeader({512, 768}, checksum + uint32_t(checksumError));
    header.resize(size_t(headerLength));
    std::optional<uint8_t> code = rig.host.sendData(Command::FirmwareHeader, 0, header, 100);
    for (int index : sectorOrder) {
        if (code == uint8_t(0)) {
            code = rig.host.sendData(Command::FirmwareSector, uint16_t(index), sectors[index], 100);
        }
    }
    // A transfer stops at the first frame without a reply: a complete update without
    // one went silent at its very last frame.
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

void TestSimDevice::faultHitsItsFrame_data()
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

void TestSimDevice::faultHitsItsFrame()
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

void TestSimDevice::refusedOrUnheardLastChunkIsNotStored_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("refused") << "refuse=62";
    QTest::newRow("silent") << "silentfrom=62";
    QTest::newRow("vanished") << "vanish=62";
}

void TestSimDevice::refusedOrUnheardLastChunkIsNotStored()
{
    QFETCH(QString, fault);
    CoreRig rig("frame=100," + fault);
    int frames = 0;
    const auto code = rig.host.sendData(Command::FixtureRecord, 0, fixtureRecord("Last Chunk", 2), 100, &frames);
    QCOMPARE(frames, 62);
    QVERIFY(code != uint8_t(0));
    QCOMPARE(rig.device.store().count(), 0u);
}

void TestSimDevice::framesAreFoundWhateverTheWriteBoundaries()
{
    CoreRig rig("");
    for (uint8_t byte : Ping) {
        QCOMPARE(rig.connection.available(rig.host.now), size_t(0));
        rig.host.send({byte});
        rig.host.now += 1ms;
    }
    QCOMPARE(rig.connection.available(rig.host.now), IdentityLength);
    rig.host.receive();

    rig.host.send(join({Ping, requestFrame(Command::MemoryState)}));
    rig.host.receive();
    const auto replies = decodeFrames(rig.host.lastBytes());
    QCOMPARE(replies.size(), size_t(2));
    QCOMPARE(replies[0].command, Command::Identify);
    QCOMPARE(replies[1].command, Command::MemoryState);
}

void TestSimDevice::replyIsDueAfterLineTimeAndLatency_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("firstByteUs");
    QTest::addColumn<int>("lastByteUs");

    // On the wire the ping takes 14 byte times to arrive, the reply's first byte one more.
    const int first = int((PingLength + 1) * ByteTime.count());
    const int last = int((PingLength + IdentityLength) * ByteTime.count());
    QTest::newRow("wire") << "wire=1" << first << last;
    QTest::newRow("wire and 2 ms latency") << "wire=1,latency=2" << first + 2000 << last + 2000;
    QTest::newRow("5 ms latency only") << "latency=5" << 5000 << 5000;
    QTest::newRow("neither") << "" << 0 << 0;
}

void TestSimDevice::replyIsDueAfterLineTimeAndLatency()
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

    // A second ping written at the same time: its reply follows the first on the line
    // rather than overlapping it, and a read takes only what is due.
    rig.connection.receive(Ping.data(), Ping.size(), start);
    const TimePoint secondLast = last + (wire ? int(IdentityLength) * ByteTime : 0us);
    QCOMPARE(rig.connection.readyAt(2 * IdentityLength), std::optional<TimePoint>(secondLast));
    Bytes buffer(200);
    QCOMPARE(rig.connection.read(buffer.data(), buffer.size(), last), wire ? IdentityLength : 2 * IdentityLength);
    QCOMPARE(rig.connection.read(buffer.data(), 10, secondLast), wire ? 10 : 0);
}

void TestSimDevice::lateReplyHoldsBackTheNextOne()
{
    CoreRig rig("late=1:500");
    rig.connection.receive(Ping.data(), Ping.size(), start);
    // The host gave up and asks again; the late reply still comes first.
    const Bytes memory = requestFrame(Command::MemoryState);
    rig.connection.receive(memory.data(), memory.size(), start + 100ms);
    QCOMPARE(rig.connection.available(start + 499ms), size_t(0));
    Bytes bytes(200);
    bytes.resize(rig.connection.read(bytes.data(), bytes.size(), start + 500ms));
    const auto replies = decodeFrames(bytes);
    QCOMPARE(replies.size(), size_t(2));
    QCOMPARE(replies[0].command, Command::Identify);
    QCOMPARE(replies[1].command, Command::MemoryState);
}

void TestSimDevice::vanishedDeviceLosesWhatWasOnItsWay()
{
    CoreRig rig("wire=1,vanish=2");
    rig.connection.receive(Ping.data(), Ping.size(), start);
    QVERIFY(rig.connection.readyAt(1));
    rig.connection.receive(Ping.data(), Ping.size(), start);
    QVERIFY(rig.connection.deviceGone());
    QCOMPARE(rig.connection.available(start + 1h), size_t(0));
    QCOMPARE(rig.connection.readyAt(1), std::optional<TimePoint>());
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "TestSimDevice.moc"
