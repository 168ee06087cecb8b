// The protocol core: frames byte for byte, decoder resynchronisation, replies checked against
// what was asked, transfers chunked to the device's frame size, a reply timeout on a test clock.

#include "KVPProgressObserverI.h"
#include "TestKVPScriptedPhy.h"

#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

namespace {

constexpr uint8_t Record = Command::FixtureRecord;

class RecordingObserver : public KVPProgressObserverI
{
public:
    void bytesReceived(uint32_t total) override { received.push_back(total); }
    void bytesSent(uint32_t total) override { sent.push_back(total); }
    std::vector<uint32_t> received, sent;
};

KVPSendResult send(LinkRig& rig, const Bytes& data, uint8_t command = Record, uint16_t parameter = 0)
{
    return rig.link->sendData(data.data(), uint32_t(data.size()), command, parameter);
}

Bytes flipped(Bytes frame, size_t index, uint8_t bits)
{
    frame[index] ^= bits;
    return frame;
}

QByteArray decoded(const Bytes& stream)
{
    Bytes frames;
    for (const ReplyFrame& frame : decodeFrames(stream)) {
        frames.insert(frames.end(), frame.bytes.begin(), frame.bytes.end());
    }
    return hex(frames);
}

} // namespace

class TestKVPLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostFramesAreEncodedByteForByteAndSequenceWrapsAfter255()
    {
        // Parameter and length low byte first; the payload checksum carries on from the
        // header checksum and wraps at 256.
        const Bytes chunk = hostFrame(Frame::DataOut, Record, 0x1234, {1, 2, 0xFF}, Frame::FlagFirst, 7);
        QCOMPARE(hex(chunk), QByteArray("AA 00 FF 08 00 0C 34 12 03 00 07 0D 01 02 FF 0F CC"));
        const Bytes request = requestFrame(Command::MemoryState, 0xFFFF, Frame::FlagFirst, 0xFF);
        QCOMPARE(hex(request), QByteArray("AA 00 FF 08 02 0E FF FF 00 00 FF BE BE CC"));
        QCOMPARE(decoded(join({chunk, request})), hex(join({chunk, request})));

        const QByteArray firstPing("AA 00 FF 0C 02 01 00 00 00 00 00 B8 B8 CC");
        LinkRig rig;
        rig.link->ping();
        for (int i = 1; i < 257; ++i) {
            rig.phy.replies.push_back(dataReply(Command::FixtureDelete, uint16_t(i), {}));
            QCOMPARE(int(rig.link->request(Command::FixtureDelete, uint16_t(i)).status), int(StatusOk));
        }
        QCOMPARE(hex(rig.phy.writes[0]), firstPing);
        for (size_t i = 0; i < rig.phy.writes.size(); ++i) {
            QCOMPARE(int(rig.phy.writes[i][Frame::SequenceOffset]), int(i % 256));
            QCOMPARE(decoded(rig.phy.writes[i]), hex(rig.phy.writes[i])); // header checksum follows the counter
        }
    }

    void decoderResynchronisesOnlyAtAStartByteAfterAMismatch_data()
    {
        QTest::addColumn<Bytes>("stream");
        QTest::addColumn<Bytes>("frames");
        const Bytes good = dataReply(Command::FixtureList, 0x0102, {0x11, 0xAA, 0x22});
        const Bytes noise {0x00, 0xCC, 0x5A, 0x0F};
        // After a bad header the payload is hunted through for a start byte; this one has none.
        const Bytes badHeader = flipped(dataReply(0x0B, 0x0102, {1, 2, 3}), Frame::HeaderChecksumOffset, 0x40);
        QTest::newRow("garbage before and between frames") << join({noise, good, noise, good}) << join({good, good});
        QTest::newRow("bad payload checksum") << join({flipped(good, good.size() - 2, 1), good}) << good;
        QTest::newRow("bad end byte") << join({flipped(good, good.size() - 1, 1), good}) << good;
        QTest::newRow("bad header checksum") << join({badHeader, good}) << good;
        // A 0xAA inside the header of a frame that started earlier is no start byte.
        QTest::newRow("0xAA inside a corrupted header") << join({{0xAA, 0x01, 0x02}, Ping, good}) << good;
        QTest::newRow("0xAA as a header checksum") << join({{0xAA, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, Ping, good}) << good;
    }

    void decoderResynchronisesOnlyAtAStartByteAfterAMismatch()
    {
        QFETCH(Bytes, stream);
        QFETCH(Bytes, frames);
        QCOMPARE(decoded(stream), hex(frames));
    }

    void replyIsJudgedByEchoTypeAndLength_data()
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
        QTest::newRow("chunk: status 0") << true << statusReply(c, p, 0) << ok << 0;
        // Two payload bytes make a 16-byte frame: not the device's acknowledgement.
        QTest::newRow("chunk: 16-byte status") << true << deviceFrame(Frame::StatusReply, c, p, {0, 0}) << invalid << 0;
        QTest::newRow("chunk: data reply") << true << dataReply(c, p, {0}) << invalid << 0;
        QTest::newRow("chunk: other command") << true << statusReply(c + 1, p, 0) << invalid << 0;
        QTest::newRow("chunk: other parameter") << true << statusReply(c, p ^ 0x0100, 0) << invalid << 0;
    }

    void replyIsJudgedByEchoTypeAndLength()
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
        }
        QCOMPARE(rig.phy.writes.size(), size_t(1));
    }

    void recordGoesOutInChunksUntilOneIsNotAccepted()
    {
        for (const uint8_t refusal : {0, 0x21}) { // for the third chunk
            LinkRig rig;
            RecordingObserver observer;
            rig.link->addObserver(&observer);
            rig.phy.replies.assign(62, statusReply(Record, 9, 0));
            rig.phy.replies[2] = statusReply(Record, 9, refusal);
            const Bytes record = pattern(5284);
            const KVPSendResult result = send(rig, record, Record, 9);
            QCOMPARE(int(result.status), int(refusal ? StatusRefused : StatusOk));
            QCOMPARE(int(result.code), int(refusal));
            const int frames = refusal ? 3 : 62;
            QCOMPARE(int(rig.phy.writes.size()), frames);
            // 61 frames of 86 payload bytes and one of 38. A chunk not accepted was handed over and counts.
            std::vector<uint32_t> totals;
            for (int i = 0; i < frames; ++i) {
                const Bytes chunk(record.begin() + 86 * i, record.begin() + std::min(86 * (i + 1), 5284));
                const uint8_t flags = i == 0 ? Frame::FlagFirst : i == 61 ? Frame::FlagLast : 0;
                QCOMPARE(hex(rig.phy.writes[i]), hex(hostFrame(Frame::DataOut, Record, 9, chunk, flags, uint8_t(i))));
                totals.push_back(uint32_t(86 * i + chunk.size()));
            }
            QCOMPARE(result.bytesSent, totals.back());
            QCOMPARE(observer.sent, totals);
            QVERIFY(observer.received.empty());
        }
    }

    void onlyAFullIdentityChangesTheFrameSize_data()
    {
        QTest::addColumn<Bytes>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("frameSize"); // after an earlier ping set it to 200
        const auto identify = [](const Bytes& payload) { return dataReply(Command::Identify, 0, payload); };
        const auto block = [](uint16_t largestFrame) { return identityBlock(largestFrame, "QRD-780", 1, 1); };
        const int ok = StatusOk;
        QTest::newRow("largest frame 14 leaves no payload") << identify(block(14)) << ok << 50 << 200;
        QTest::newRow("largest frame 0xFFFF") << identify(block(0xFFFF)) << ok << 50 << 0xFFFF;
        QTest::newRow("65-byte reply: success without an identity")
            << identify(join({block(300), {0}})) << ok << 0 << 200;
        QTest::newRow("acknowledged") << statusReply(Command::Identify, 0, 0) << int(StatusAcknowledged) << 0 << 200;
    }

    void onlyAFullIdentityChangesTheFrameSize()
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
        send(rig, pattern(70000)); // the first chunk of a later transfer fills one frame
        QCOMPARE(int(rig.phy.writes.back().size()), frameSize);
    }

    void silentDeviceTimesOutAfterTheReplyBudget()
    {
        for (const uint32_t clockStart : {1000u, 0xFFFFFC00u}) { // the second start wraps the clock during the wait
            LinkRig rig(10000, clockStart);
            QCOMPARE(int(rig.link->request(Command::FixtureList, 0).status), int(StatusNoValidReply));
            const uint32_t waited = rig.phy.clock->now - clockStart;
            // Not before the budget is used up, and at most one read timeout after.
            QVERIFY2(waited > KVPLink::ReplyTimeoutMs && waited <= KVPLink::ReplyTimeoutMs + ScriptedPhy::ReadTimeoutMs,
                     QByteArray::number(waited));
            QCOMPARE(rig.phy.reads, int(waited / ScriptedPhy::ReadTimeoutMs));
            QCOMPARE(rig.phy.errorString(0) + rig.phy.errorString(-3), std::string("OKUnknown")); // the phy's defaults
        }
    }

    void budgetCoversTheWholeReplyNotEachByte()
    {
        const Bytes reply = dataReply(Command::FixtureList, 0, pattern(30));
        const uint32_t bytes = uint32_t(reply.size());
        // The budget runs out just before the last byte, or just holds.
        for (const uint32_t msPerByte : {KVPLink::ReplyTimeoutMs / (bytes - 1) + 1, KVPLink::ReplyTimeoutMs / bytes}) {
            LinkRig rig;
            rig.phy.msPerByte = msPerByte;
            rig.phy.replies.push_back(reply);
            const bool inTime = msPerByte * bytes <= KVPLink::ReplyTimeoutMs;
            QCOMPARE(int(rig.link->request(Command::FixtureList, 0).status),
                     int(inTime ? StatusOk : StatusNoValidReply));
        }
    }

    void replyLargerThanTheReceiveBufferIsNotAccepted()
    {
        // The buffer is exactly the capacity, so a copy past what was stored trips the
        // sanitizer; the truncated frame lacks its tail and cannot count as a reply.
        LinkRig rig(40);
        rig.phy.replies
            = {dataReply(Command::FixtureList, 0, pattern(27)), dataReply(Command::FixtureList, 0, pattern(26))};
        const KVPReply tooLong = rig.link->requestMulti(Command::FixtureList, 0);
        QCOMPARE(int(tooLong.status), int(StatusNoValidReply));
        QVERIFY(tooLong.data.empty());
        QCOMPARE(rig.link->requestMulti(Command::FixtureList, 0).data, pattern(26));
    }
};

QTEST_GUILESS_MAIN(TestKVPLink)
#include "TestKVPLink.moc"
