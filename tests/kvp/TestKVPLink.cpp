#include "KVPDeviceIdentity.h"
#include "KVPLink.h"
#include "KVPProgressObserverI.h"
#include "TestKVPScriptedPhy.h"

#include <QTest>

#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

constexpr uint8_t ListCommand = Command::FixtureList;
constexpr uint8_t RecordCommand = Command::FixtureRecord;
constexpr uint32_t RecordLength = 5284;

/// Remembers every total it is told.
class RecordingObserver : public KVPProgressObserverI
{
public:
    void bytesReceived(uint32_t total) override { received.push_back(total); }
    void bytesSent(uint32_t total) override { sent.push_back(total); }
    std::vector<uint32_t> received;
    std::vector<uint32_t> sent;
};

std::vector<uint8_t> identityBlock(uint16_t largestFrame,
                                   const char* model = "QRD-780",
                                   uint16_t hardware = 0x0201,
                                   uint16_t firmware = 0x0105)
{
    std::vector<uint8_t> block(KVPDeviceIdentity::Length, 0xEE);
    block[2] = static_cast<uint8_t>(hardware);
    block[3] = static_cast<uint8_t>(hardware >> 8);
    block[4] = static_cast<uint8_t>(firmware);
    block[5] = static_cast<uint8_t>(firmware >> 8);
    std::memset(block.data() + 6, 0, 40);
    std::memcpy(block.data() + 6, model, std::min<size_t>(std::strlen(model), 40));
    block[46] = static_cast<uint8_t>(largestFrame);
    block[47] = static_cast<uint8_t>(largestFrame >> 8);
    return block;
}

std::vector<uint8_t> pattern(size_t length)
{
    std::vector<uint8_t> data(length);
    for (size_t i = 0; i < length; ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    return data;
}

std::vector<uint8_t> payloadOf(const std::vector<uint8_t>& frame)
{
    return std::vector<uint8_t>(frame.begin() + Frame::HeaderLength, frame.end() - 2);
}

/// A link on a scripted device whose clock the test holds.
struct Rig
{
    explicit Rig(uint16_t rxCapacity = 10000, uint32_t clockStart = 1000)
    {
        auto owned = std::make_unique<ManualClock>(clockStart);
        clock = owned.get();
        phy.clock = clock;
        link = std::make_unique<KVPLink>(&phy, rxCapacity, std::move(owned));
    }
    ScriptedPhy phy;
    ManualClock* clock = nullptr;
    std::unique_ptr<KVPLink> link;
};

} // namespace

/// The protocol core: one exchange at a time, replies checked against what was asked,
/// transfers chunked to the device's frame size, and a reply timeout that is measured
/// on an injected clock so silent devices cost no real time.
class TestKVPLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestReplyIsJudgedByEchoTypeAndLength_data();
    void requestReplyIsJudgedByEchoTypeAndLength();
    void chunkIsAcceptedOnlyByAnExactStatusReply_data();
    void chunkIsAcceptedOnlyByAnExactStatusReply();

    void recordGoesOutInChunksOfTheFrameSize();
    void emptyTransferIsOneFrameMarkedFirstAndLast();
    void writeStopsAtFirstUnacceptedChunk_data();
    void writeStopsAtFirstUnacceptedChunk();

    void multiFrameReadJoinsPayloadsUntilTheLastFlag();
    void multiFrameReadStopsAndDiscardsOnAnythingButData_data();
    void multiFrameReadStopsAndDiscardsOnAnythingButData();

    void pingReturnsIdentityAndAdoptsTheDeviceFrameSize_data();
    void pingReturnsIdentityAndAdoptsTheDeviceFrameSize();
    void identityWithoutRoomForPayloadKeepsThePreviousFrameSize();
    void identityDecodesVersionsAndModelName_data();
    void identityDecodesVersionsAndModelName();

    void silentDeviceTimesOutAfterTheReplyBudget_data();
    void silentDeviceTimesOutAfterTheReplyBudget();
    void budgetCoversTheWholeReplyNotEachByte();
    void lateReplyOfTheSameRequestIsTakenByTheNextExchange();
    void replyLargerThanTheReceiveBufferIsNotAccepted();

    void observersAreToldEveryTimeTheyAreRegistered();
};

void TestKVPLink::requestReplyIsJudgedByEchoTypeAndLength_data()
{
    QTest::addColumn<std::vector<uint8_t>>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<std::vector<uint8_t>>("data");

    const uint8_t c = Command::FixtureDelete;
    const uint16_t p = 0x0203;
    const std::vector<uint8_t> none;
    QTest::newRow("data reply") << dataReply(c, p, {1, 2, 3}) << int(StatusOk) << 0 << std::vector<uint8_t> {1, 2, 3};
    QTest::newRow("data reply without payload") << dataReply(c, p, {}) << int(StatusOk) << 0 << none;
    QTest::newRow("noise before the reply") << [&] {
        std::vector<uint8_t> r {0x00, 0xCC, 0x13};
        const auto d = dataReply(c, p, {9});
        r.insert(r.end(), d.begin(), d.end());
        return r;
    }() << int(StatusOk) << 0 << std::vector<uint8_t> {9};
    QTest::newRow("status 0 to a request") << statusReply(c, p, 0) << int(StatusAcknowledged) << 0 << none;
    QTest::newRow("refusal") << statusReply(c, p, 0x42) << int(StatusRefused) << 0x42 << none;
    QTest::newRow("status reply without its code")
        << deviceFrame(Frame::StatusReply, c, p) << int(StatusNoValidReply) << 0 << none;
    QTest::newRow("other command") << dataReply(c + 1, p, {1}) << int(StatusNoValidReply) << 0 << none;
    QTest::newRow("other parameter, low byte") << dataReply(c, p ^ 0x0001, {1}) << int(StatusNoValidReply) << 0 << none;
    QTest::newRow("other parameter, high byte")
        << dataReply(c, p ^ 0x0100, {1}) << int(StatusNoValidReply) << 0 << none;
    QTest::newRow("host frame type echoed")
        << deviceFrame(Frame::Request, c, p) << int(StatusNoValidReply) << 0 << none;
    QTest::newRow("data-out type") << deviceFrame(Frame::DataOut, c, p, {0}) << int(StatusNoValidReply) << 0 << none;
    QTest::newRow("no reply") << none << int(StatusNoValidReply) << 0 << none;
}

void TestKVPLink::requestReplyIsJudgedByEchoTypeAndLength()
{
    QFETCH(std::vector<uint8_t>, reply);
    QFETCH(int, status);
    QFETCH(int, code);
    QFETCH(std::vector<uint8_t>, data);

    Rig rig;
    rig.phy.queueReply(reply);
    const KVPReply result = rig.link->request(Command::FixtureDelete, 0x0203);
    QCOMPARE(int(result.status), status);
    if (status == StatusRefused) {
        QCOMPARE(int(result.code), code);
    }
    QCOMPARE(result.data, data);
    QCOMPARE(result.length, uint32_t(data.size()));

    QCOMPARE(rig.phy.writes.size(), size_t(1));
    const std::vector<uint8_t>& sent = rig.phy.writes[0];
    QCOMPARE(sent.size(), Frame::Overhead);
    QCOMPARE(int(sent[Frame::FlagsOffset]), int(Frame::FlagFirst));
    QCOMPARE(int(sent[Frame::TypeOffset]), int(Frame::Request));
}

void TestKVPLink::chunkIsAcceptedOnlyByAnExactStatusReply_data()
{
    QTest::addColumn<std::vector<uint8_t>>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");

    const uint8_t c = Command::FirmwareSector;
    const uint16_t p = 17;
    QTest::newRow("accepted") << statusReply(c, p, 0) << int(StatusOk) << 0;
    QTest::newRow("refused") << statusReply(c, p, 0x07) << int(StatusRefused) << 0x07;
    // Two payload bytes make a 16-byte frame: not the device's acknowledgement.
    QTest::newRow("16-byte status reply")
        << deviceFrame(Frame::StatusReply, c, p, {0, 0}) << int(StatusNoValidReply) << 0;
    QTest::newRow("status reply without code") << deviceFrame(Frame::StatusReply, c, p) << int(StatusNoValidReply) << 0;
    QTest::newRow("data reply of one byte") << deviceFrame(Frame::DataReply, c, p, {0}) << int(StatusNoValidReply) << 0;
    QTest::newRow("other command") << statusReply(c + 1, p, 0) << int(StatusNoValidReply) << 0;
    QTest::newRow("other parameter") << statusReply(c, p + 1, 0) << int(StatusNoValidReply) << 0;
    QTest::newRow("no reply") << std::vector<uint8_t>() << int(StatusNoValidReply) << 0;
}

void TestKVPLink::chunkIsAcceptedOnlyByAnExactStatusReply()
{
    QFETCH(std::vector<uint8_t>, reply);
    QFETCH(int, status);
    QFETCH(int, code);

    Rig rig;
    rig.phy.queueReply(reply);
    const std::vector<uint8_t> data = pattern(20);
    const KVPSendResult result = rig.link->sendData(data.data(), 20, Command::FirmwareSector, 17);
    QCOMPARE(int(result.status), status);
    QCOMPARE(int(result.code), code);
    QCOMPARE(result.bytesSent, uint32_t(20));
    QCOMPARE(rig.phy.writes.size(), size_t(1));
}

void TestKVPLink::recordGoesOutInChunksOfTheFrameSize()
{
    Rig rig;
    RecordingObserver observer;
    rig.link->addObserver(&observer);
    for (int i = 0; i < 62; ++i) {
        rig.phy.queueReply(statusReply(RecordCommand, 0, 0));
    }
    const std::vector<uint8_t> record = pattern(RecordLength);
    const KVPSendResult result = rig.link->sendData(record.data(), RecordLength, RecordCommand, 0);

    QCOMPARE(int(result.status), int(StatusOk));
    QCOMPARE(result.bytesSent, RecordLength);
    QCOMPARE(rig.phy.writes.size(), size_t(62));
    std::vector<uint8_t> joined;
    std::vector<uint32_t> totals;
    for (size_t i = 0; i < rig.phy.writes.size(); ++i) {
        const std::vector<uint8_t>& frame = rig.phy.writes[i];
        const size_t payload = i < 61 ? 86 : 38;
        QCOMPARE(frame.size(), payload + Frame::Overhead);
        const int flags = i == 0 ? 0x08 : (i == 61 ? 0x04 : 0x00);
        QCOMPARE(int(frame[Frame::FlagsOffset]), flags);
        QCOMPARE(int(frame[Frame::TypeOffset]), int(Frame::DataOut));
        QCOMPARE(int(frame[Frame::CommandOffset]), int(RecordCommand));
        QCOMPARE(readLe16(frame.data() + Frame::LengthOffset), uint16_t(payload));
        const auto chunk = payloadOf(frame);
        joined.insert(joined.end(), chunk.begin(), chunk.end());
        totals.push_back(static_cast<uint32_t>(joined.size()));
    }
    QCOMPARE(joined, record);
    QCOMPARE(observer.sent, totals);
    QVERIFY(observer.received.empty());
}

void TestKVPLink::emptyTransferIsOneFrameMarkedFirstAndLast()
{
    Rig rig;
    rig.phy.queueReply(statusReply(Command::ClearPatch, 0, 0));
    const KVPSendResult result = rig.link->sendData(nullptr, 0, Command::ClearPatch, 0);
    QCOMPARE(int(result.status), int(StatusOk));
    QCOMPARE(result.bytesSent, uint32_t(0));
    QCOMPARE(rig.phy.writes.size(), size_t(1));
    QCOMPARE(rig.phy.writes[0].size(), Frame::Overhead);
    QCOMPARE(int(rig.phy.writes[0][Frame::FlagsOffset]), 0x0C);
    QCOMPARE(int(rig.phy.writes[0][Frame::TypeOffset]), int(Frame::DataOut));
}

void TestKVPLink::writeStopsAtFirstUnacceptedChunk_data()
{
    QTest::addColumn<std::vector<uint8_t>>("badReply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");

    QTest::newRow("refused") << statusReply(RecordCommand, 0, 0x21) << int(StatusRefused) << 0x21;
    QTest::newRow("silent") << std::vector<uint8_t>() << int(StatusNoValidReply) << 0;
    QTest::newRow("garbled") << std::vector<uint8_t> {0xAA, 0x13, 0x37} << int(StatusNoValidReply) << 0;
}

void TestKVPLink::writeStopsAtFirstUnacceptedChunk()
{
    QFETCH(std::vector<uint8_t>, badReply);
    QFETCH(int, status);
    QFETCH(int, code);

    Rig rig;
    RecordingObserver observer;
    rig.link->addObserver(&observer);
    rig.phy.queueReply(statusReply(RecordCommand, 0, 0));
    rig.phy.queueReply(statusReply(RecordCommand, 0, 0));
    rig.phy.queueReply(badReply);
    for (int i = 0; i < 10; ++i) {
        rig.phy.queueReply(statusReply(RecordCommand, 0, 0));
    }
    const std::vector<uint8_t> record = pattern(RecordLength);
    const KVPSendResult result = rig.link->sendData(record.data(), RecordLength, RecordCommand, 0);

    QCOMPARE(int(result.status), status);
    QCOMPARE(int(result.code), code);
    // The chunk that was not accepted was handed over and is counted.
    QCOMPARE(result.bytesSent, uint32_t(3 * 86));
    QCOMPARE(rig.phy.writes.size(), size_t(3));
    QCOMPARE(observer.sent, (std::vector<uint32_t> {86, 172, 258}));
}

void TestKVPLink::multiFrameReadJoinsPayloadsUntilTheLastFlag()
{
    Rig rig;
    RecordingObserver observer;
    rig.link->addObserver(&observer);
    const std::vector<uint8_t> whole = pattern(244 + 112 * 3);
    const std::vector<uint8_t> a(whole.begin(), whole.begin() + 86);
    const std::vector<uint8_t> b(whole.begin() + 86, whole.begin() + 172);
    const std::vector<uint8_t> c(whole.begin() + 172, whole.end());
    rig.phy.queueReply(dataReply(RecordCommand, 5, a, 0x08));
    rig.phy.queueReply(dataReply(RecordCommand, 5, b, 0x00));
    rig.phy.queueReply(dataReply(RecordCommand, 5, c, 0x04));
    rig.phy.queueReply(dataReply(RecordCommand, 5, {0xFF}, 0x04)); // must not be asked for

    const KVPReply result = rig.link->requestMulti(RecordCommand, 5);
    QCOMPARE(int(result.status), int(StatusOk));
    QCOMPARE(result.data, whole);
    QCOMPARE(result.length, uint32_t(whole.size()));
    QCOMPARE(observer.received, (std::vector<uint32_t> {86, 172, uint32_t(whole.size())}));
    QVERIFY(observer.sent.empty());

    QCOMPARE(rig.phy.writes.size(), size_t(3));
    const int flags[] = {0x08, 0x00, 0x00};
    for (size_t i = 0; i < 3; ++i) {
        const std::vector<uint8_t>& frame = rig.phy.writes[i];
        QCOMPARE(int(frame[Frame::FlagsOffset]), flags[i]);
        QCOMPARE(int(frame[Frame::TypeOffset]), int(Frame::Request));
        QCOMPARE(int(frame[Frame::CommandOffset]), int(RecordCommand));
        QCOMPARE(readLe16(frame.data() + Frame::ParameterOffset), uint16_t(5));
    }
}

void TestKVPLink::multiFrameReadStopsAndDiscardsOnAnythingButData_data()
{
    QTest::addColumn<std::vector<uint8_t>>("secondReply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");

    QTest::newRow("acknowledged without data") << statusReply(ListCommand, 0, 0) << int(StatusAcknowledged) << 0;
    QTest::newRow("refused") << statusReply(ListCommand, 0, 0x33) << int(StatusRefused) << 0x33;
    QTest::newRow("silent") << std::vector<uint8_t>() << int(StatusNoValidReply) << 0;
    QTest::newRow("reply to another command") << dataReply(RecordCommand, 0, {1}, 0x04) << int(StatusNoValidReply) << 0;
}

void TestKVPLink::multiFrameReadStopsAndDiscardsOnAnythingButData()
{
    QFETCH(std::vector<uint8_t>, secondReply);
    QFETCH(int, status);
    QFETCH(int, code);

    Rig rig;
    rig.phy.queueReply(dataReply(ListCommand, 0, {0x02, 0x00, 0x41}, 0x08));
    rig.phy.queueReply(secondReply);
    rig.phy.queueReply(dataReply(ListCommand, 0, {0x42}, 0x04));
    const KVPReply result = rig.link->requestMulti(ListCommand, 0);
    QCOMPARE(int(result.status), status);
    QCOMPARE(int(result.code), code);
    QVERIFY(result.data.empty());
    QCOMPARE(result.length, uint32_t(0));
    QCOMPARE(rig.phy.writes.size(), size_t(2));
}

void TestKVPLink::pingReturnsIdentityAndAdoptsTheDeviceFrameSize_data()
{
    QTest::addColumn<std::vector<uint8_t>>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("frameSize");

    QTest::newRow("identity") << dataReply(Command::Identify, 0, identityBlock(250), 0x0C) << int(StatusOk) << 50
                              << 250;
    QTest::newRow("smallest useful frame")
        << dataReply(Command::Identify, 0, identityBlock(15)) << int(StatusOk) << 50 << 15;
    QTest::newRow("largest frame 14 leaves no payload")
        << dataReply(Command::Identify, 0, identityBlock(14)) << int(StatusOk) << 50 << 100;
    QTest::newRow("largest frame 0") << dataReply(Command::Identify, 0, identityBlock(0)) << int(StatusOk) << 50 << 100;
    QTest::newRow("largest frame beyond our needs")
        << dataReply(Command::Identify, 0, identityBlock(0xFFFF)) << int(StatusOk) << 50 << 0xFFFF;
    // Only a 64-byte frame carries an identity; a shorter or longer one is success
    // without it, and the frame size stays.
    std::vector<uint8_t> longer = identityBlock(300);
    longer.push_back(0);
    QTest::newRow("reply of 65 bytes") << dataReply(Command::Identify, 0, longer) << int(StatusOk) << 0 << 100;
    QTest::newRow("reply of 63 bytes") << dataReply(Command::Identify, 0, std::vector<uint8_t>(49, 1)) << int(StatusOk)
                                       << 0 << 100;
    QTest::newRow("acknowledged") << statusReply(Command::Identify, 0, 0) << int(StatusAcknowledged) << 0 << 100;
    QTest::newRow("silent") << std::vector<uint8_t>() << int(StatusNoValidReply) << 0 << 100;
    QTest::newRow("identity with a parameter")
        << dataReply(Command::Identify, 1, identityBlock(250)) << int(StatusNoValidReply) << 0 << 100;
}

void TestKVPLink::pingReturnsIdentityAndAdoptsTheDeviceFrameSize()
{
    QFETCH(std::vector<uint8_t>, reply);
    QFETCH(int, status);
    QFETCH(int, length);
    QFETCH(int, frameSize);

    Rig rig;
    QCOMPARE(int(rig.link->maxFrameSize()), 100);
    rig.phy.queueReply(reply);
    const KVPReply result = rig.link->ping();
    QCOMPARE(int(result.status), status);
    QCOMPARE(int(result.length), length);
    QCOMPARE(int(result.data.size()), length);
    QCOMPARE(int(rig.link->maxFrameSize()), frameSize);

    // Later transfers follow the frame size: the first chunk fills one frame.
    const std::vector<uint8_t> data = pattern(70000);
    rig.phy.queueReply(statusReply(RecordCommand, 0, 0x01));
    rig.link->sendData(data.data(), static_cast<uint32_t>(data.size()), RecordCommand, 0);
    QCOMPARE(int(rig.phy.writes.back().size()), frameSize);
}

void TestKVPLink::identityWithoutRoomForPayloadKeepsThePreviousFrameSize()
{
    Rig rig;
    rig.phy.queueReply(dataReply(Command::Identify, 0, identityBlock(200)));
    rig.link->ping();
    QCOMPARE(int(rig.link->maxFrameSize()), 200);
    rig.phy.queueReply(dataReply(Command::Identify, 0, identityBlock(14)));
    QCOMPARE(int(rig.link->ping().status), int(StatusOk));
    QCOMPARE(int(rig.link->maxFrameSize()), 200);
    rig.phy.queueReply(dataReply(Command::Identify, 0, identityBlock(120)));
    rig.link->ping();
    QCOMPARE(int(rig.link->maxFrameSize()), 120);
}

void TestKVPLink::identityDecodesVersionsAndModelName_data()
{
    QTest::addColumn<std::vector<uint8_t>>("block");
    QTest::addColumn<int>("hardware");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("largestFrame");

    QTest::newRow("QRD-540B") << identityBlock(100, "QRD-540B", 0x0102, 0x0101) << 0x0102 << 0x0101 << "QRD-540B"
                              << 100;
    QTest::newRow("QRD-780") << identityBlock(0x0123, "QRD-780", 0xA0B0, 0x0200) << 0xA0B0 << 0x0200 << "QRD-780"
                             << 0x0123;
    std::vector<uint8_t> full = identityBlock(64);
    std::memset(full.data() + 6, 'M', 40);
    QTest::newRow("name filling the field has no NUL") << full << 0x0201 << 0x0105 << QString(40, 'M') << 64;
    std::vector<uint8_t> trailing = identityBlock(64, "QRD-780");
    trailing[6 + 10] = 'x';
    QTest::newRow("bytes after the NUL are not the name") << trailing << 0x0201 << 0x0105 << "QRD-780" << 64;
}

void TestKVPLink::identityDecodesVersionsAndModelName()
{
    QFETCH(std::vector<uint8_t>, block);
    QFETCH(int, hardware);
    QFETCH(int, firmware);
    QFETCH(QString, model);
    QFETCH(int, largestFrame);

    const auto identity = KVPDeviceIdentity::fromBytes(block.data(), block.size());
    QVERIFY(identity.has_value());
    QCOMPARE(int(identity->hardwareVersion), hardware);
    QCOMPARE(int(identity->firmwareVersion), firmware);
    QCOMPARE(QString::fromStdString(identity->modelName), model);
    QCOMPARE(int(identity->largestFrame), largestFrame);
    QVERIFY(!KVPDeviceIdentity::fromBytes(block.data(), block.size() - 1).has_value());
}

void TestKVPLink::silentDeviceTimesOutAfterTheReplyBudget_data()
{
    QTest::addColumn<uint>("clockStart");
    QTest::newRow("ordinary time") << 1000u;
    QTest::newRow("clock wraps during the wait") << 0xFFFFFC00u;
}

void TestKVPLink::silentDeviceTimesOutAfterTheReplyBudget()
{
    QFETCH(uint, clockStart);
    Rig rig(10000, clockStart);
    const KVPReply result = rig.link->request(ListCommand, 0);
    QCOMPARE(int(result.status), int(StatusNoValidReply));
    const uint32_t waited = rig.clock->now - clockStart;
    // Not before the budget is used up, and at most one read timeout after.
    QVERIFY2(waited > KVPLink::ReplyTimeoutMs && waited <= KVPLink::ReplyTimeoutMs + ScriptedPhy::ReadTimeoutMs,
             QByteArray::number(waited));
    QCOMPARE(rig.phy.reads, int(waited / ScriptedPhy::ReadTimeoutMs));
}

void TestKVPLink::budgetCoversTheWholeReplyNotEachByte()
{
    // 2 s for the whole frame: bytes that keep coming do not extend it.
    const std::vector<uint8_t> reply = dataReply(ListCommand, 0, pattern(30));
    const uint32_t bytes = static_cast<uint32_t>(reply.size());
    {
        // The budget runs out just before the last byte.
        Rig rig;
        rig.phy.msPerByte = KVPLink::ReplyTimeoutMs / (bytes - 1) + 1;
        rig.phy.queueReply(reply);
        QCOMPARE(int(rig.link->request(ListCommand, 0).status), int(StatusNoValidReply));
    }
    {
        Rig rig;
        rig.phy.msPerByte = KVPLink::ReplyTimeoutMs / bytes;
        rig.phy.queueReply(reply);
        QCOMPARE(int(rig.link->request(ListCommand, 0).status), int(StatusOk));
    }
}

void TestKVPLink::lateReplyOfTheSameRequestIsTakenByTheNextExchange()
{
    // Input is not flushed between exchanges: a reply that arrives after its exchange
    // timed out is decoded by the next one, and taken when it echoes the same request.
    Rig rig;
    rig.phy.queueReply({});
    rig.phy.queueReply({});
    QCOMPARE(int(rig.link->request(ListCommand, 0).status), int(StatusNoValidReply));
    const std::vector<uint8_t> late = dataReply(ListCommand, 0, {0x77});
    rig.phy.incoming.insert(rig.phy.incoming.end(), late.begin(), late.end());
    const KVPReply next = rig.link->request(ListCommand, 0);
    QCOMPARE(int(next.status), int(StatusOk));
    QCOMPARE(next.data, std::vector<uint8_t> {0x77});
}

void TestKVPLink::replyLargerThanTheReceiveBufferIsNotAccepted()
{
    // The buffer is exactly the capacity, so a copy past what was stored trips the
    // sanitizer; the truncated frame lacks its tail and cannot count as a reply.
    Rig rig(40);
    rig.phy.queueReply(dataReply(ListCommand, 0, pattern(27), 0x04));
    rig.phy.queueReply(dataReply(ListCommand, 0, pattern(26), 0x04));
    const KVPReply tooLong = rig.link->requestMulti(ListCommand, 0);
    QCOMPARE(int(tooLong.status), int(StatusNoValidReply));
    QVERIFY(tooLong.data.empty());
    const KVPReply fits = rig.link->requestMulti(ListCommand, 0);
    QCOMPARE(int(fits.status), int(StatusOk));
    QCOMPARE(fits.data, pattern(26));
}

void TestKVPLink::observersAreToldEveryTimeTheyAreRegistered()
{
    Rig rig;
    RecordingObserver once;
    RecordingObserver twice;
    RecordingObserver removed;
    rig.link->addObserver(&twice);
    rig.link->addObserver(&once);
    rig.link->addObserver(&twice);
    rig.link->addObserver(&removed);
    rig.link->removeObserver(&removed);
    rig.link->removeObserver(&removed); // absent now: nothing happens

    const std::vector<uint8_t> data = pattern(100);
    rig.phy.queueReply(statusReply(RecordCommand, 0, 0));
    rig.phy.queueReply(statusReply(RecordCommand, 0, 0));
    rig.link->sendData(data.data(), 100, RecordCommand, 0);
    QCOMPARE(once.sent, (std::vector<uint32_t> {86, 100}));
    QCOMPARE(twice.sent, (std::vector<uint32_t> {86, 86, 100, 100}));
    QVERIFY(removed.sent.empty());

    rig.link->removeObserver(&twice);
    rig.phy.queueReply(statusReply(RecordCommand, 0, 0));
    rig.link->sendData(data.data(), 10, RecordCommand, 0);
    QCOMPARE(twice.sent.back(), uint32_t(10));
    QCOMPARE(twice.sent.size(), size_t(5));
}

QTEST_GUILESS_MAIN(TestKVPLink)
#include "TestKVPLink.moc"
