// The simulated device against the device contract, through its core: every command
// the host relies on, the record memory with its slot limit and numbers, the firmware
// update with its checksum, and every fault on demand.

#include "TestSimSupport.h"

#include "SimProtocol.h"

#include <QTest>

#include <algorithm>

using namespace korvane::KVP;
using namespace korvane::KVP::sim;

namespace {

constexpr uint8_t BothFlags = Frame::FlagFirst | Frame::FlagLast;

/// The record as the device sends it back: header and used slots, its number in 242.
Bytes expectedReadBack(Bytes record, uint8_t number)
{
    record[Record::NumberOffset] = number;
    record.resize(Record::readLength(record[Record::ChannelCountOffset]));
    return record;
}

uint16_t listCount(const Bytes& list)
{
    return readLe16(list.data());
}

/// The record numbers in a list payload, in order.
QList<int> listNumbers(const Bytes& list)
{
    QList<int> numbers;
    for (size_t i = 0; i < listCount(list); ++i) {
        numbers << list[2 + i * Record::HeaderLength + Record::NumberOffset];
    }
    return numbers;
}

/// A summary of what the host got for one frame, for comparing fault outcomes.
QString outcome(const std::optional<ReplyFrame>& reply, const Bytes& raw)
{
    if (!reply) {
        return raw.empty() ? QStringLiteral("none") : QStringLiteral("garbled:%1").arg(raw.size());
    }
    if (reply->type == Frame::StatusReply) {
        return QStringLiteral("refused:%1").arg(reply->payload.empty() ? -1 : reply->payload[0]);
    }
    return reply->command == Command::Identify && reply->bytes.size() == 64 ? QStringLiteral("identity")
                                                                            : QStringLiteral("other");
}

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void identityCarriesVersionsModelAndFrameSize_data();
    void identityCarriesVersionsModelAndFrameSize();
    void listIsSplitAtTheFrameSizeWithTheLastFlagOnTheLastReply_data();
    void listIsSplitAtTheFrameSizeWithTheLastFlagOnTheLastReply();
    void recordWrittenInChunksIsStoredListedReadAndDeleted();
    void sampleRecordsReadBackAtTheirChannelCount();
    void writeIsRefused_data();
    void writeIsRefused();
    void unknownRecordNumbersAreRefused_data();
    void unknownRecordNumbersAreRefused();
    void deletedNumberIsNotHandedOutAgainAtOnce();
    void newReadRestartsAnUnfinishedOne();
    void memoryStateTellsFreeSlotsAndAnEmptyPatchList_data();
    void memoryStateTellsFreeSlotsAndAnEmptyPatchList();
    void clearPatchEmptiesThePatchList();
    void unknownCommandsAreRefused_data();
    void unknownCommandsAreRefused();
    void firmwareUpdate_data();
    void firmwareUpdate();
    void faultHitsItsFrame_data();
    void faultHitsItsFrame();
    void refusedOrUnheardChunkIsNotStored_data();
    void refusedOrUnheardChunkIsNotStored();
    void finalFirmwareFrameGoesUnanswered_data();
    void finalFirmwareFrameGoesUnanswered();
};

void TestSimDevice::identityCarriesVersionsModelAndFrameSize_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("hardware");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("frameSize");

    QTest::newRow("default QRD-780") << "" << 0x0001 << 0x0102 << "QRD-780" << 522;
    QTest::newRow("old QRD-540B") << "model=QRD-540B,hw=0x0203,fw=0x0101,frame=100" << 0x0203 << 0x0101 << "QRD-540B"
                                  << 100;
    QTest::newRow("frame size too small, sent as it is") << "frame=14" << 0x0001 << 0x0102 << "QRD-780" << 14;
    QTest::newRow("longest model name") << "model=" + QString(39, 'M') << 0x0001 << 0x0102 << QString(39, 'M') << 522;
}

void TestSimDevice::identityCarriesVersionsModelAndFrameSize()
{
    QFETCH(QString, settings);
    CoreRig rig(settings.toLatin1().constData());

    const auto reply = rig.host.exchange(requestFrame(Command::Identify, 0, BothFlags));
    QVERIFY(reply);
    QCOMPARE(reply->bytes.size(), size_t(64));
    QCOMPARE(reply->type, uint8_t(Frame::DataReply));
    QCOMPARE(reply->command, Command::Identify);
    QCOMPARE(reply->flags, BothFlags);
    QCOMPARE(reply->bytes[1], uint8_t(0xFF)); // the device is the source
    QCOMPARE(reply->bytes[2], uint8_t(0x00));
    const Bytes& identity = reply->payload;
    QTEST(int(readLe16(&identity[2])), "hardware");
    QTEST(int(readLe16(&identity[4])), "firmware");
    QTEST(QString::fromLatin1(reinterpret_cast<const char*>(&identity[6])), "model");
    QCOMPARE(identity[45], uint8_t(0)); // terminated within the field
    QTEST(int(readLe16(&identity[46])), "frameSize");
}

void TestSimDevice::listIsSplitAtTheFrameSizeWithTheLastFlagOnTheLastReply_data()
{
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("replies");

    QTest::newRow("empty device: count only") << 522 << 0 << 1;
    QTest::newRow("one entry fits") << 522 << 1 << 1;
    QTest::newRow("two entries, one frame exactly") << 504 << 2 << 1;
    QTest::newRow("two entries, one byte over") << 503 << 2 << 2;
    QTest::newRow("twelve entries at 522") << 522 << 12 << 6;
    QTest::newRow("twelve entries at 100") << 100 << 12 << 35;
    QTest::newRow("unusable frame size falls back to 100") << 10 << 3 << 9;
}

void TestSimDevice::listIsSplitAtTheFrameSizeWithTheLastFlagOnTheLastReply()
{
    QFETCH(int, frameSize);
    QFETCH(int, records);
    CoreRig rig(QStringLiteral("frame=%1,records=%2").arg(frameSize).arg(records).toLatin1().constData());

    std::vector<ReplyFrame> replies;
    const auto list = rig.host.requestMulti(Command::FixtureList, 0, &replies);
    QVERIFY(list);
    QTEST(int(replies.size()), "replies");
    const size_t largest = frameSize > 14 ? size_t(frameSize) : 100;
    for (size_t i = 0; i < replies.size(); ++i) {
        QVERIFY(replies[i].bytes.size() <= largest);
        QCOMPARE(replies[i].isLast(), i + 1 == replies.size());
        QCOMPARE(bool(replies[i].flags & Frame::FlagFirst), i == 0);
        QCOMPARE(replies[i].command, Command::FixtureList);
    }
    QCOMPARE(list->size(), size_t(2 + records * Record::HeaderLength));
    QCOMPARE(int(listCount(*list)), records);
    QList<int> numbers = listNumbers(*list);
    std::sort(numbers.begin(), numbers.end());
    QCOMPARE(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end()); // no number twice
}

void TestSimDevice::recordWrittenInChunksIsStoredListedReadAndDeleted()
{
    CoreRig rig("frame=100,records=2");
    const Bytes record = fixtureRecord("Spot 575", 7);

    const auto frames = dataOutFrames(Command::FixtureRecord, 0, record, 100);
    QCOMPARE(frames.size(), size_t(62));
    for (size_t i = 0; i < frames.size(); ++i) {
        QCOMPARE(frames[i].size(), i + 1 < frames.size() ? size_t(100) : size_t(38 + 14));
        const auto reply = rig.host.exchange(frames[i]);
        QVERIFY2(reply && reply->isStatus(0), qPrintable(QStringLiteral("chunk %1").arg(i)));
        QCOMPARE(reply->bytes.size(), Frame::StatusReplyLength);
        QCOMPARE(reply->command, Command::FixtureRecord);
    }

    const auto list = rig.host.requestMulti(Command::FixtureList, 0);
    QVERIFY(list);
    QCOMPARE(listCount(*list), uint16_t(3));
    const uint8_t number = static_cast<uint8_t>(listNumbers(*list).last());
    QVERIFY(!listNumbers(*list).mid(0, 2).contains(number));
    const Bytes entry(list->end() - Record::HeaderLength, list->end());
    const Bytes stored = expectedReadBack(record, number);
    QCOMPARE(entry, Bytes(stored.begin(), stored.begin() + Record::HeaderLength));

    std::vector<ReplyFrame> replies;
    const auto readBack = rig.host.requestMulti(Command::FixtureRecord, number, &replies);
    QVERIFY(readBack);
    QCOMPARE(readBack->size(), size_t(244 + 112 * 7));
    QCOMPARE(*readBack, expectedReadBack(record, number));
    QCOMPARE(replies.size(), size_t(12)); // 1028 bytes in pieces of 86
    QCOMPARE(replies.front().parameter, uint16_t(number));

    const auto deleted = rig.host.exchange(requestFrame(Command::FixtureDelete, number));
    QVERIFY(deleted);
    QCOMPARE(deleted->type, uint8_t(Frame::DataReply));
    QCOMPARE(deleted->parameter, uint16_t(number));
    QCOMPARE(listCount(*rig.host.requestMulti(Command::FixtureList, 0)), uint16_t(2));
    QVERIFY(rig.host.exchange(requestFrame(Command::FixtureRecord, number))->isStatus(Refusal::UnknownRecord));
}

void TestSimDevice::sampleRecordsReadBackAtTheirChannelCount()
{
    CoreRig rig("records=12");
    const auto list = rig.host.requestMulti(Command::FixtureList, 0);
    QVERIFY(list);
    for (size_t i = 0; i < listCount(*list); ++i) {
        const uint8_t* entry = list->data() + 2 + i * Record::HeaderLength;
        const int channels = entry[Record::ChannelCountOffset];
        QVERIFY2(channels >= 1 && channels <= 24, reinterpret_cast<const char*>(entry));
        QVERIFY(entry[0] != 0); // named
        const auto record = rig.host.requestMulti(Command::FixtureRecord, entry[Record::NumberOffset]);
        QVERIFY(record);
        QCOMPARE(record->size(), Record::readLength(channels));
        QCOMPARE(Bytes(record->begin(), record->begin() + 244), Bytes(entry, entry + 244));
    }
}

void TestSimDevice::writeIsRefused_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<bool>("skipFirstFrame");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("code");

    QTest::newRow("all slots taken") << "slots=3,records=3" << 5284 << 100 << false << 1 << int(Refusal::MemoryFull);
    QTest::newRow("no slots at all") << "slots=0" << 5284 << 522 << false << 1 << int(Refusal::MemoryFull);
    QTest::newRow("one byte short") << "" << 5283 << 100 << false << 62 << int(Refusal::BadLength);
    QTest::newRow("one byte over") << "" << 5285 << 100 << false << 62 << int(Refusal::BadLength);
    QTest::newRow("empty transfer") << "" << 0 << 100 << false << 1 << int(Refusal::BadLength);
    QTest::newRow("no first frame") << "" << 5284 << 100 << true << 1 << int(Refusal::OutOfSequence);
    QTest::newRow("frames beyond the largest frame")
        << "frame=100" << 5284 << 101 << false << 1 << int(Refusal::FrameTooLong);
}

void TestSimDevice::writeIsRefused()
{
    QFETCH(QString, settings);
    QFETCH(int, length);
    QFETCH(int, frameSize);
    QFETCH(bool, skipFirstFrame);
    CoreRig rig(settings.toLatin1().constData());
    const unsigned before = rig.device.store().count();

    Bytes data = fixtureRecord("Too Much", 3);
    data.resize(size_t(length));
    std::vector<Bytes> frames = dataOutFrames(Command::FixtureRecord, 0, data, size_t(frameSize));
    if (skipFirstFrame) {
        frames.erase(frames.begin());
    }
    int sent = 0;
    for (const Bytes& frame : frames) {
        ++sent;
        const auto reply = rig.host.exchange(frame);
        QVERIFY(reply && reply->type == Frame::StatusReply);
        if (reply->payload[0] != 0) {
            QTEST(int(reply->payload[0]), "code");
            break;
        }
    }
    QTEST(sent, "frames");
    QCOMPARE(rig.device.store().count(), before);
}

void TestSimDevice::unknownRecordNumbersAreRefused_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("parameter");

    QTest::newRow("read of a free number") << int(Command::FixtureRecord) << 7;
    QTest::newRow("read beyond one byte") << int(Command::FixtureRecord) << 0x100;
    QTest::newRow("read of the host's no-number") << int(Command::FixtureRecord) << 255;
    QTest::newRow("delete of a free number") << int(Command::FixtureDelete) << 7;
    QTest::newRow("delete beyond one byte, alias of a stored one") << int(Command::FixtureDelete) << 0x100;
}

void TestSimDevice::unknownRecordNumbersAreRefused()
{
    QFETCH(int, command);
    QFETCH(int, parameter);
    CoreRig rig("records=3"); // numbers 0, 1, 2

    const auto reply = rig.host.exchange(requestFrame(uint8_t(command), uint16_t(parameter)));
    QVERIFY(reply);
    QVERIFY(reply->isStatus(Refusal::UnknownRecord));
    QCOMPARE(reply->parameter, uint16_t(parameter));
    QCOMPARE(rig.device.store().count(), 3u);
}

void TestSimDevice::deletedNumberIsNotHandedOutAgainAtOnce()
{
    CoreRig rig("slots=2,records=2");
    QVERIFY(rig.host.exchange(requestFrame(Command::FixtureDelete, 0))->type == Frame::DataReply);
    QCOMPARE(rig.host.sendData(Command::FixtureRecord, 0, fixtureRecord("New", 1), 522), uint8_t(0));

    // A host that kept the old number must not reach the new definition under it.
    QVERIFY(rig.host.exchange(requestFrame(Command::FixtureRecord, 0))->isStatus(Refusal::UnknownRecord));
    const QList<int> numbers = listNumbers(*rig.host.requestMulti(Command::FixtureList, 0));
    QCOMPARE(numbers.size(), 2);
    QVERIFY(!numbers.contains(0));
}

void TestSimDevice::newReadRestartsAnUnfinishedOne()
{
    CoreRig rig("frame=100,records=4");
    const auto first = rig.host.exchange(requestFrame(Command::FixtureList, 0, Frame::FlagFirst));
    QVERIFY(first && !first->isLast());
    rig.host.exchange(requestFrame(Command::FixtureList, 0, 0));

    // The host gave up half-way and starts again: the list comes from its beginning.
    const auto list = rig.host.requestMulti(Command::FixtureList, 0);
    QVERIFY(list);
    QCOMPARE(list->size(), size_t(2 + 4 * 244));
    QCOMPARE(listCount(*list), uint16_t(4));
}

void TestSimDevice::memoryStateTellsFreeSlotsAndAnEmptyPatchList_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("freeSlots");
    QTest::addColumn<int>("patchByte");

    QTest::newRow("default") << "" << 100 << 1;
    QTest::newRow("partly filled, patch in use") << "slots=50,records=12,patch=1" << 38 << 0;
    QTest::newRow("free slots given") << "records=5,free=2" << 2 << 1;
    QTest::newRow("full") << "slots=255,records=255" << 0 << 1;
}

void TestSimDevice::memoryStateTellsFreeSlotsAndAnEmptyPatchList()
{
    QFETCH(QString, settings);
    CoreRig rig(settings.toLatin1().constData());

    std::vector<ReplyFrame> replies;
    const auto state = rig.host.requestMulti(Command::MemoryState, 0, &replies);
    QVERIFY(state);
    QCOMPARE(replies.size(), size_t(1));
    QCOMPARE(state->size(), size_t(2));
    QTEST(int((*state)[0]), "freeSlots");
    QTEST(int((*state)[1]), "patchByte");
}

void TestSimDevice::clearPatchEmptiesThePatchList()
{
    CoreRig rig("patch=1");
    QCOMPARE((*rig.host.requestMulti(Command::MemoryState, 0))[1] & 1, 0);

    const auto reply = rig.host.exchange(dataOutFrame(Command::ClearPatch, 0, BothFlags, {}));
    QVERIFY(reply);
    QVERIFY(reply->isStatus(0));
    QCOMPARE(reply->bytes.size(), Frame::StatusReplyLength);
    QCOMPARE((*rig.host.requestMulti(Command::MemoryState, 0))[1] & 1, 1);
    QVERIFY(rig.device.patchEmpty());
}

void TestSimDevice::unknownCommandsAreRefused_data()
{
    QTest::addColumn<Bytes>("frame");

    QTest::newRow("request 0x02") << requestFrame(0x02);
    QTest::newRow("identify as data-out") << dataOutFrame(Command::Identify, 0, BothFlags, {});
    QTest::newRow("clear patch as request") << requestFrame(Command::ClearPatch);
    QTest::newRow("a status reply from the host") << [] {
        FrameHeader header;
        header.type = Frame::StatusReply;
        header.command = Command::Identify;
        const uint8_t code = 0;
        return encodeFrame(header, &code, 1);
    }();
}

void TestSimDevice::unknownCommandsAreRefused()
{
    QFETCH(Bytes, frame);
    CoreRig rig("");
    const auto reply = rig.host.exchange(frame);
    QVERIFY(reply);
    QVERIFY(reply->isStatus(Refusal::UnknownCommand));
    QCOMPARE(reply->command, frame[Frame::CommandOffset]);
}

void TestSimDevice::firmwareUpdate_data()
{
    QTest::addColumn<QList<uint32_t>>("sectorSizes");
    QTest::addColumn<int>("checksumError");
    QTest::addColumn<int>("headerLength");
    QTest::addColumn<QList<int>>("sectorOrder");
    QTest::addColumn<int>("finalCode");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("succeeded");

    const QList<uint32_t> one = {1024};
    QTest::newRow("one sector") << one << 0 << 256 << QList<int> {0} << 0 << true << true;
    QTest::newRow("three sectors") << QList<uint32_t> {512, 256, 768} << 0 << 256 << QList<int> {0, 1, 2} << 0 << true
                                   << true;
    QTest::newRow("no sectors") << QList<uint32_t> {} << 0 << 256 << QList<int> {} << 0 << true << true;
    QTest::newRow("wrong checksum") << one << 1 << 256 << QList<int> {0} << int(Refusal::BadChecksum) << true << false;
    QTest::newRow("sectors out of order")
        << QList<uint32_t> {256, 256} << 0 << 256 << QList<int> {1, 0} << int(Refusal::OutOfSequence) << false << false;
    QTest::newRow("short header") << one << 0 << 255 << QList<int> {} << int(Refusal::BadLength) << false << false;
}

void TestSimDevice::firmwareUpdate()
{
    QFETCH(QList<uint32_t>, sectorSizes);
    QFETCH(int, checksumError);
    QFETCH(int, headerLength);
    QFETCH(QList<int>, sectorOrder);
    CoreRig rig("frame=100");

    std::vector<Bytes> sectors;
    uint32_t checksum = 0;
    for (uint32_t size : sectorSizes) {
        Bytes sector(size);
        for (size_t i = 0; i < size; ++i) {
            sector[i] = static_cast<uint8_t>(0xF0 + i * 13 + sectors.size());
            checksum += sector[i];
        }
        sectors.push_back(std::move(sector));
    }
    Bytes header = firmwareHeader(std::vector<uint32_t>(sectorSizes.begin(), sectorSizes.end()),
                                  checksum + uint32_t(checksumError));
    header.resize(size_t(headerLength));

    std::optional<uint8_t> code = rig.host.sendData(Command::FirmwareHeader, 0, header, 100);
    for (int index : sectorOrder) {
        if (code != uint8_t(0)) {
            break;
        }
        code = rig.host.sendData(Command::FirmwareSector, uint16_t(index), sectors[size_t(index)], 100);
    }
    QVERIFY(code);
    QTEST(int(*code), "finalCode");
    const SimFirmwareUpdate::Outcome& update = rig.device.lastFirmwareUpdate();
    QVERIFY(update.started);
    QTEST(update.complete, "complete");
    QTEST(update.succeeded(), "succeeded");
    if (update.complete) {
        QCOMPARE(update.header, header);
        QCOMPARE(update.receivedChecksum, checksum);
    }
}

void TestSimDevice::faultHitsItsFrame_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QStringList>("outcomes"); // of four pings in a row
    QTest::addColumn<bool>("gone");

    const QString id = QStringLiteral("identity");
    QTest::newRow("healthy") << "" << QStringList {id, id, id, id} << false;
    QTest::newRow("silent") << "silent=1" << QStringList {"none", "none", "none", "none"} << false;
    QTest::newRow("silent from frame 3") << "silentfrom=3" << QStringList {id, id, "none", "none"} << false;
    QTest::newRow("refusal at frame 2") << "refuse=2:0x33" << QStringList {id, "refused:51", id, id} << false;
    QTest::newRow("refusal, default code") << "refuse=1" << QStringList {"refused:32", id, id, id} << false;
    QTest::newRow("corrupt reply") << "corrupt=2" << QStringList {id, "garbled:64", id, id} << false;
    QTest::newRow("bytes dropped") << "drop=3:5" << QStringList {id, id, "garbled:59", id} << false;
    QTest::newRow("end byte dropped") << "drop=1" << QStringList {"garbled:63", id, id, id} << false;
    QTest::newRow("late reply still comes") << "late=2:1500" << QStringList {id, id, id, id} << false;
    QTest::newRow("vanish at frame 2") << "vanish=2" << QStringList {id, "none", "none", "none"} << true;
}

void TestSimDevice::faultHitsItsFrame()
{
    QFETCH(QString, settings);
    QFETCH(QStringList, outcomes);
    CoreRig rig(settings.toLatin1().constData());

    QStringList seen;
    for (int i = 0; i < outcomes.size(); ++i) {
        const auto reply = rig.host.exchange(requestFrame(Command::Identify, 0, BothFlags));
        seen << outcome(reply, rig.host.lastBytes());
        if (reply && reply->type == Frame::StatusReply) {
            QCOMPARE(reply->command, Command::Identify); // a refusal still echoes the request
        }
    }
    QCOMPARE(seen, outcomes);
    QTEST(rig.device.gone(), "gone");
    QTEST(rig.connection.deviceGone(), "gone");
    QCOMPARE(rig.device.framesReceived(), uint32_t(rig.device.gone() ? 2 : outcomes.size()));
}

void TestSimDevice::refusedOrUnheardChunkIsNotStored_data()
{
    QTest::addColumn<QString>("settings");
    QTest::newRow("refused") << "refuse=62";
    QTest::newRow("silent") << "silentfrom=62";
    QTest::newRow("vanished") << "vanish=62";
}

void TestSimDevice::refusedOrUnheardChunkIsNotStored()
{
    QFETCH(QString, settings);
    CoreRig rig(("frame=100," + settings).toLatin1().constData());
    int frames = 0;
    const auto code = rig.host.sendData(Command::FixtureRecord, 0, fixtureRecord("Last Chunk", 2), 100, &frames);
    QCOMPARE(frames, 62);
    QVERIFY(code != uint8_t(0));
    QCOMPARE(rig.device.store().count(), 0u);
}

void TestSimDevice::finalFirmwareFrameGoesUnanswered_data()
{
    QTest::addColumn<bool>("checksumRight");
    QTest::newRow("good image: the device restarts silently") << true;
    QTest::newRow("bad image: the refusal still comes") << false;
}

void TestSimDevice::finalFirmwareFrameGoesUnanswered()
{
    QFETCH(bool, checksumRight);
    CoreRig rig("frame=100,nolastack=1");
    const Bytes sector(300, 2);
    const Bytes header = firmwareHeader({300}, checksumRight ? 600 : 601);

    QCOMPARE(rig.host.sendData(Command::FirmwareHeader, 0, header, 100), uint8_t(0));
    const auto frames = dataOutFrames(Command::FirmwareSector, 0, sector, 100);
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        QVERIFY(rig.host.exchange(frames[i])->isStatus(0));
    }
    const auto last = rig.host.exchange(frames.back());
    QCOMPARE(last.has_value(), !checksumRight);
    QCOMPARE(rig.device.lastFirmwareUpdate().succeeded(), checksumRight);
    QVERIFY(rig.device.lastFirmwareUpdate().complete);
    // Only the one frame: the device answers the next exchange as always.
    QVERIFY(rig.host.exchange(requestFrame(Command::Identify, 0, BothFlags)));
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "TestSimDevice.moc"
