#include "KVPDeviceIdentity.h"
#include "KVPProgressObserverI.h"
#include "TestKVPScriptedPhy.h"

#include <QTest>

#include <cstring>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

namespace {

constexpr uint8_t Record = Command::FixtureRecord;
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

KVPSendResult send(LinkRig& rig, const Bytes& data, uint8_t command = Record, uint16_t parameter = 0)
{
    return rig.link->sendData(data.data(), uint32_t(data.size()), command, parameter);
}

} // namespace

/// The protocol core: one exchange at a time, replies checked against what was asked,
/// transfers chunked to the device's frame size, and a reply timeout that is measured
/// on an injected clock so silent devices cost no real time.
class TestKVPLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replyIsJudgedByEchoTypeAndLength_data();
    void replyIsJudgedByEchoTypeAndLength();
    void recordGoesOutInChunksUntilOneIsNotAccepted_data();
    void recordGoesOutInChunksUntilOneIsNotAccepted();
    void emptyTransferIsOneFrameMarkedFirstAndLast();
    void multiFrameReadJoinsUntilTheLastFlagAndDiscardsOnAnythingElse_data();
    void multiFrameReadJoinsUntilTheLastFlagAndDiscardsOnAnythingElse();
    void onlyAFullIdentityChangesTheFrameSize_data();
    void onlyAFullIdentityChangesTheFrameSize();
    void identityDecodesVersionsAndModelName();
    void silentDeviceTimesOutAfterTheReplyBudget_data();
    void silentDeviceTimesOutAfterTheReplyBudget();
    void budgetCoversTheWholeReplyNotEachByte();
    void replyLargerThanTheReceiveBufferIsNotAccepted();
    void observersAreToldOncePerRegistration();
};

void TestKVPLink::replyIsJudgedByEchoTypeAndLength_data()
{
    QTest::addColumn<bool>("dataOut"); // a 20-byte chunk, else a request
    QTest::addColumn<Bytes>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");

    const uint8_t c = Command::FirmwareSector;
    const uint16_t p = 0x0203;
    const int ok = StatusOk, invalid = StatusNoValidReply;
    QTest::newRow("request: data") << false << dataReply(c, p, {1, 2, 3}) << ok << 0;
    QTest::newRow("request: status 0") << false << statusReply(c, p, 0) << int(StatusAcknowledged) << 0;
    QTest::newRow("request: refusal") << false << statusReply(c, p, 0x42) << int(StatusRefused) << 0x42;
    QTest::newRow("request: status without code") << false << deviceFrame(Frame::StatusReply, c, p) << invalid << 0;
    QTest::newRow("request: other command") << false << dataReply(c + 1, p, {1}) << invalid << 0;
    QTest::newRow("request: other parameter, low byte") << false << dataReply(c, p ^ 0x0001, {1}) << invalid << 0;
    QTest::newRow("request: other parameter, high byte") << false << dataReply(c, p ^ 0x0100, {1}) << invalid << 0;
    QTest::newRow("request: data-out type") << false << deviceFrame(Frame::DataOut, c, p, {0}) << invalid << 0;
    QTest::newRow("chunk: status 0") << true << statusReply(c, p, 0) << ok << 0;
    // Two payload bytes make a 16-byte frame: not the device's acknowledgement.
    QTest::newRow("chunk: 16-byte status") << true << deviceFrame(Frame::StatusReply, c, p, {0, 0}) << invalid << 0;
    QTest::newRow("chunk: status without code") << true << deviceFrame(Frame::StatusReply, c, p) << invalid << 0;
    QTest::newRow("chunk: data reply") << true << dataReply(c, p, {0}) << invalid << 0;
    QTest::newRow("chunk: other command") << true << statusReply(c + 1, p, 0) << invalid << 0;
    QTest::newRow("chunk: other parameter") << true << statusReply(c, p ^ 0x0100, 0) << invalid << 0;
}

void TestKVPLink::replyIsJudgedByEchoTypeAndLength()
{
    QFETCH(bool, dataOut);
    QFETCH(Bytes, reply);
    QFETCH(int, status);
    LinkRig rig;
    rig.phy.replies.push_back(reply);
    if (dataOut) {
        const KVPSendResult result = send(rig, pattern(20), Command::FirmwareSector, 0x0203);
        QCOMPARE(int(result.status), status);
        QTEST(int(result.code), "code");
        QCOMPARE(result.bytesSent, uint32_t(20));
    } else {
        const KVPReply result = rig.link->request(Command::FirmwareSector, 0x0203);
        QCOMPARE(int(result.status), status);
        QTEST(int(result.code), "code");
        QCOMPARE(result.data, (status == StatusOk ? Bytes {1, 2, 3} : Bytes()));
        QCOMPARE(result.length, uint32_t(result.data.size()));
        QCOMPARE(hex(rig.phy.writes.at(0)), hex(requestFrame(Command::FirmwareSector, 0x0203)));
    }
    QCOMPARE(rig.phy.writes.size(), size_t(1));
}

void TestKVPLink::recordGoesOutInChunksUntilOneIsNotAccepted_data()
{
    QTest::addColumn<Bytes>("thirdReply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("frames");
    QTest::newRow("all accepted") << statusReply(Record, 9, 0) << int(StatusOk) << 0 << 62;
    QTest::newRow("refused") << statusReply(Record, 9, 0x21) << int(StatusRefused) << 0x21 << 3;
    QTest::newRow("silent") << Bytes() << int(StatusNoValidReply) << 0 << 3;
}

void TestKVPLink::recordGoesOutInChunksUntilOneIsNotAccepted()
{
    QFETCH(Bytes, thirdReply);
    QFETCH(int, frames);
    LinkRig rig;
    RecordingObserver observer;
    rig.link->addObserver(&observer);
    rig.phy.replies.assign(62, statusReply(Record, 9, 0));
    rig.phy.replies[2] = thirdReply;
    const Bytes record = pattern(RecordLength);
    const KVPSendResult result = send(rig, record, Record, 9);
    QTEST(int(result.status), "status");
    QTEST(int(result.code), "code");
    QCOMPARE(int(rig.phy.writes.size()), frames);
    // 61 frames of 86 payload bytes and one of 38, as the device cuts them too. A chunk
    // that was not accepted was handed over and is counted.
    std::vector<uint32_t> totals;
    for (int i = 0; i < frames; ++i) {
        const Bytes chunk(record.begin() + 86 * i, record.begin() + std::min(86 * (i + 1), int(RecordLength)));
        const uint8_t flags = i == 0 ? Frame::FlagFirst : i == 61 ? Frame::FlagLast : 0;
        QCOMPARE(hex(rig.phy.writes[i]), hex(hostFrame(Frame::DataOut, Record, 9, chunk, flags, uint8_t(i))));
        totals.push_back(uint32_t(86 * i + chunk.size()));
    }
    QCOMPARE(result.bytesSent, totals.back());
    QCOMPARE(observer.sent, totals);
    QVERIFY(observer.received.empty());
}

void TestKVPLink::emptyTransferIsOneFrameMarkedFirstAndLast()
{
    LinkRig rig;
    rig.phy.replies.push_back(statusReply(Command::ClearPatch, 0, 0));
    const KVPSendResult result = rig.link->sendData(nullptr, 0, Command::ClearPatch, 0);
    QCOMPARE(int(result.status), int(StatusOk));
    QCOMPARE(result.bytesSent, uint32_t(0));
    QCOMPARE(rig.phy.writes.size(), size_t(1));
    QCOMPARE(hex(rig.phy.writes[0]), hex(hostFrame(Frame::DataOut, Command::ClearPatch, 0, {}, BothFlags)));
}

void TestKVPLink::multiFrameReadJoinsUntilTheLastFlagAndDiscardsOnAnythingElse_data()
{
    QTest::addColumn<Bytes>("secondReply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    const Bytes whole = pattern(580);
    QTest::newRow("data") << dataReply(Record, 5, Bytes(whole.begin() + 86, whole.begin() + 172), 0) << int(StatusOk)
                          << 0;
    QTest::newRow("acknowledged without data") << statusReply(Record, 5, 0) << int(StatusAcknowledged) << 0;
    QTest::newRow("refused") << statusReply(Record, 5, 0x33) << int(StatusRefused) << 0x33;
    QTest::newRow("silent") << Bytes() << int(StatusNoValidReply) << 0;
}

void TestKVPLink::multiFrameReadJoinsUntilTheLastFlagAndDiscardsOnAnythingElse()
{
    QFETCH(Bytes, secondReply);
    QFETCH(int, status);
    const Bytes whole = pattern(580);
    LinkRig rig;
    RecordingObserver observer;
    rig.link->addObserver(&observer);
    rig.phy.replies = {dataReply(Record, 5, Bytes(whole.begin(), whole.begin() + 86), Frame::FlagFirst),
                       secondReply,
                       dataReply(Record, 5, Bytes(whole.begin() + 172, whole.end())),
                       dataReply(Record, 5, {0xFF})}; // must not be asked for
    const KVPReply result = rig.link->requestMulti(Record, 5);
    QCOMPARE(int(result.status), status);
    QTEST(int(result.code), "code");
    const bool ok = status == StatusOk;
    QCOMPARE(result.data, ok ? whole : Bytes());
    QCOMPARE(result.length, uint32_t(result.data.size()));
    QCOMPARE(observer.received, (ok ? std::vector<uint32_t> {86, 172, 580} : std::vector<uint32_t> {86}));
    QCOMPARE(rig.phy.writes.size(), size_t(ok ? 3 : 2));
    for (size_t i = 0; i < rig.phy.writes.size(); ++i) {
        QCOMPARE(hex(rig.phy.writes[i]), hex(requestFrame(Record, 5, i == 0 ? Frame::FlagFirst : 0, uint8_t(i))));
    }
}

void TestKVPLink::onlyAFullIdentityChangesTheFrameSize_data()
{
    QTest::addColumn<Bytes>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("frameSize"); // after an earlier ping set it to 200

    const auto identify = [](const Bytes& payload) { return dataReply(Command::Identify, 0, payload); };
    const auto block = [](uint16_t largestFrame) { return identityBlock(largestFrame, "QRD-780", 1, 1); };
    const int ok = StatusOk;
    QTest::newRow("identity") << identify(block(250)) << ok << 50 << 250;
    QTest::newRow("smallest useful frame") << identify(block(15)) << ok << 50 << 15;
    QTest::newRow("largest frame 14 leaves no payload") << identify(block(14)) << ok << 50 << 200;
    QTest::newRow("largest frame 0xFFFF") << identify(block(0xFFFF)) << ok << 50 << 0xFFFF;
    // Only a 64-byte frame carries an identity; a shorter or longer one is success without it.
    QTest::newRow("65-byte reply") << identify(join({block(300), {0}})) << ok << 0 << 200;
    QTest::newRow("63-byte reply") << identify(Bytes(49, 1)) << ok << 0 << 200;
    QTest::newRow("acknowledged") << statusReply(Command::Identify, 0, 0) << int(StatusAcknowledged) << 0 << 200;
}

void TestKVPLink::onlyAFullIdentityChangesTheFrameSize()
{
    QFETCH(Bytes, reply);
    QFETCH(int, frameSize);
    LinkRig rig;
    QCOMPARE(int(rig.link->maxFrameSize()), 100);
    rig.phy.replies
        = {dataReply(Command::Identify, 0, identityBlock(200, "QRD-780", 1, 1)), reply, statusReply(Record, 0, 1)};
    rig.link->ping();
    QCOMPARE(int(rig.link->maxFrameSize()), 200);
    const KVPReply result = rig.link->ping();
    QTEST(int(result.status), "status");
    QTEST(int(result.data.size()), "length");
    QCOMPARE(result.length, uint32_t(result.data.size()));
    QCOMPARE(int(rig.link->maxFrameSize()), frameSize);
    // Later transfers follow the frame size: the first chunk fills one frame.
    send(rig, pattern(70000));
    QCOMPARE(int(rig.phy.writes.back().size()), frameSize);
}

void TestKVPLink::identityDecodesVersionsAndModelName()
{
    Bytes block = identityBlock(0x0123, "QRD-540B", 0xA0B0, 0x0101);
    block[6 + 10] = 'x'; // after the NUL: not the name
    auto identity = KVPDeviceIdentity::fromBytes(block.data(), block.size());
    QVERIFY(identity);
    QCOMPARE(int(identity->hardwareVersion), 0xA0B0);
    QCOMPARE(int(identity->firmwareVersion), 0x0101);
    QCOMPARE(identity->modelName, std::string("QRD-540B"));
    QCOMPARE(int(identity->largestFrame), 0x0123);
    std::memset(block.data() + 6, 'M', 40); // a name filling the field has no NUL
    QCOMPARE(KVPDeviceIdentity::fromBytes(block.data(), block.size())->modelName, std::string(40, 'M'));
    QVERIFY(!KVPDeviceIdentity::fromBytes(block.data(), block.size() - 1));
}

void TestKVPLink::silentDeviceTimesOutAfterTheReplyBudget_data()
{
    QTest::addColumn<uint>("clockStart");
    QTest::addColumn<uint>("budget"); // 0: the link's own
    QTest::newRow("ordinary time") << 1000u << 0u;
    QTest::newRow("clock wraps during the wait") << 0xFFFFFC00u << 0u;
    QTest::newRow("shortened for tests") << 1000u << 250u;
}

void TestKVPLink::silentDeviceTimesOutAfterTheReplyBudget()
{
    QFETCH(uint, clockStart);
    QFETCH(uint, budget);
    LinkRig rig(10000, clockStart);
    if (budget != 0) {
        rig.link->setReplyTimeoutMs(budget);
    }
    const uint32_t timeoutMs = budget != 0 ? budget : KVPLink::ReplyTimeoutMs;
    QCOMPARE(rig.link->replyTimeoutMs(), timeoutMs);
    QCOMPARE(int(rig.link->request(Command::FixtureList, 0).status), int(StatusNoValidReply));
    const uint32_t waited = rig.phy.clock->now - clockStart;
    // Not before the budget is used up, and at most one read timeout after.
    QVERIFY2(waited > timeoutMs && waited <= timeoutMs + ScriptedPhy::ReadTimeoutMs, QByteArray::number(waited));
    QCOMPARE(rig.phy.reads, int(waited / ScriptedPhy::ReadTimeoutMs));
}

void TestKVPLink::budgetCoversTheWholeReplyNotEachByte()
{
    const Bytes reply = dataReply(Command::FixtureList, 0, pattern(30));
    const uint32_t bytes = uint32_t(reply.size());
    // The budget runs out just before the last byte, or just holds.
    for (const uint32_t msPerByte : {KVPLink::ReplyTimeoutMs / (bytes - 1) + 1, KVPLink::ReplyTimeoutMs / bytes}) {
        LinkRig rig;
        rig.phy.msPerByte = msPerByte;
        rig.phy.replies.push_back(reply);
        const bool inTime = msPerByte * bytes <= KVPLink::ReplyTimeoutMs;
        QCOMPARE(int(rig.link->request(Command::FixtureList, 0).status), int(inTime ? StatusOk : StatusNoValidReply));
    }
}

void TestKVPLink::replyLargerThanTheReceiveBufferIsNotAccepted()
{
    // The buffer is exactly the capacity, so a copy past what was stored trips the
    // sanitizer; the truncated frame lacks its tail and cannot count as a reply.
    LinkRig rig(40);
    rig.phy.replies
        = {dataReply(Command::FixtureList, 0, pattern(27)), dataReply(Command::FixtureList, 0, pattern(26))};
    const KVPReply tooLong = rig.link->requestMulti(Command::FixtureList, 0);
    QCOMPARE(int(tooLong.status), int(StatusNoValidReply));
    QVERIFY(tooLong.data.empty());
    const KVPReply fits = rig.link->requestMulti(Command::FixtureList, 0);
    QCOMPARE(int(fits.status), int(StatusOk));
    QCOMPARE(fits.data, pattern(26));
}

void TestKVPLink::observersAreToldOncePerRegistration()
{
    LinkRig rig;
    RecordingObserver once, twice;
    for (RecordingObserver* observer : {&twice, &once, &twice}) {
        rig.link->addObserver(observer);
    }
    rig.link->removeObserver(&once);
    rig.link->removeObserver(&once); // absent now: nothing happens
    rig.link->removeObserver(&twice); // its first entry only
    rig.phy.replies.assign(2, statusReply(Record, 0, 0));
    send(rig, pattern(100));
    QVERIFY(once.sent.empty());
    QCOMPARE(twice.sent, (std::vector<uint32_t> {86, 100}));
}

QTEST_GUILESS_MAIN(TestKVPLink)
#include "TestKVPLink.moc"
