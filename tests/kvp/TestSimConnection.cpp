// One connection to the simulated device: how host bytes are framed, when reply bytes
// become readable under the wire and latency model, and what a new connection keeps.

#include "TestSimSupport.h"

#include "SimProtocol.h"

#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::sim;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t BothFlags = Frame::FlagFirst | Frame::FlagLast;
constexpr size_t PingLength = 14;
constexpr size_t IdentityReplyLength = 64;

const Bytes ping = requestFrame(Command::Identify, 0, BothFlags);

/// A time the test controls, far from the clock's epoch.
const TimePoint start = TimePoint() + 1h;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

class TestSimConnection : public QObject
{
    Q_OBJECT

private slots:
    void bytesOutsideFramesAreSkipped_data();
    void bytesOutsideFramesAreSkipped();
    void frameArrivingByteByByteGetsOneReply();
    void twoFramesInOneWriteGetTwoReplies();
    void replyBytesArriveAtLineSpeedAfterTheFrame_data();
    void replyBytesArriveAtLineSpeedAfterTheFrame();
    void repliesQueueBehindABusyLine();
    void withoutWireRepliesWaitOnlyForLatency_data();
    void withoutWireRepliesWaitOnlyForLatency();
    void lateReplyHoldsBackTheNextOne();
    void readTakesOnlyWhatIsDue();
    void newConnectionKeepsMemoryButNotUnfinishedWork();
    void vanishedDeviceLosesWhatWasOnItsWay();
};

void TestSimConnection::bytesOutsideFramesAreSkipped_data()
{
    QTest::addColumn<Bytes>("before");

    QTest::newRow("break and start packet") << Bytes {0x00, 0x91, 0x4B, 0x76, 0x01};
    QTest::newRow("start byte with a broken header")
        << Bytes {0xAA, 0x00, 0xFF, 0x0C, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    QTest::newRow("frame with a bad payload checksum")
        << Bytes {0xAA, 0x00, 0xFF, 0x0C, 0x00, 0x0F, 0x00, 0x00, 0x01, 0x00, 0x00, 0xC5, 0x01, 0x00, 0xCC};
    QTest::newRow("frame without end byte") << [] {
        Bytes frame = requestFrame(Command::ClearPatch);
        frame.back() = 0x00;
        return frame;
    }();
}

void TestSimConnection::bytesOutsideFramesAreSkipped()
{
    QFETCH(Bytes, before);
    CoreRig rig("patch=1");
    const auto reply = rig.host.exchange(before + ping);
    QVERIFY(reply);
    QCOMPARE(reply->command, Command::Identify);
    QCOMPARE(rig.host.lastBytes().size(), IdentityReplyLength); // nothing for the noise
    QCOMPARE(rig.device.framesReceived(), 1u);
    QVERIFY(!rig.device.patchEmpty());
}

void TestSimConnection::frameArrivingByteByByteGetsOneReply()
{
    CoreRig rig("");
    for (size_t i = 0; i < ping.size(); ++i) {
        QCOMPARE(rig.connection.available(rig.host.now), size_t(0));
        rig.host.send(Bytes {ping[i]});
        rig.host.now += 1ms;
    }
    QCOMPARE(rig.connection.available(rig.host.now), IdentityReplyLength);
}

void TestSimConnection::twoFramesInOneWriteGetTwoReplies()
{
    CoreRig rig("");
    rig.host.send(ping + requestFrame(Command::MemoryState));
    rig.host.receive();
    const auto replies = decodeFrames(rig.host.lastBytes());
    QCOMPARE(replies.size(), size_t(2));
    QCOMPARE(replies[0].command, Command::Identify);
    QCOMPARE(replies[1].command, Command::MemoryState);
}

void TestSimConnection::replyBytesArriveAtLineSpeedAfterTheFrame_data()
{
    QTest::addColumn<int>("latencyMs");
    QTest::newRow("no latency") << 0;
    QTest::newRow("2 ms latency") << 2;
}

void TestSimConnection::replyBytesArriveAtLineSpeedAfterTheFrame()
{
    QFETCH(int, latencyMs);
    CoreRig rig(QStringLiteral("wire=1,latency=%1").arg(latencyMs).toLatin1().constData());
    const auto latency = std::chrono::milliseconds(latencyMs);

    rig.connection.receive(ping.data(), ping.size(), start);
    // The frame takes 14 byte times to arrive; the reply's first byte one more.
    const TimePoint first = start + (PingLength + 1) * ByteTime + latency;
    const TimePoint last = start + (PingLength + IdentityReplyLength) * ByteTime + latency;
    QCOMPARE(rig.connection.available(first - 1us), size_t(0));
    QCOMPARE(rig.connection.available(first), size_t(1));
    QCOMPARE(rig.connection.available(first + 10 * ByteTime), size_t(11));
    QCOMPARE(rig.connection.available(last - 1us), IdentityReplyLength - 1);
    QCOMPARE(rig.connection.available(last), IdentityReplyLength);
    QCOMPARE(rig.connection.readyAt(IdentityReplyLength), std::optional<TimePoint>(last));
    QCOMPARE(rig.connection.readyAt(IdentityReplyLength + 1), std::optional<TimePoint>());
}

void TestSimConnection::repliesQueueBehindABusyLine()
{
    CoreRig rig("wire=1");
    // Two pings written at once: the second frame arrives after the first, and its
    // reply follows the first reply on the line rather than overlapping it.
    rig.connection.receive(ping.data(), ping.size(), start);
    rig.connection.receive(ping.data(), ping.size(), start);
    QCOMPARE(rig.connection.readyAt(IdentityReplyLength),
             std::optional<TimePoint>(start + (PingLength + IdentityReplyLength) * ByteTime));
    QCOMPARE(rig.connection.readyAt(2 * IdentityReplyLength),
             std::optional<TimePoint>(start + (PingLength + 2 * IdentityReplyLength) * ByteTime));
}

void TestSimConnection::withoutWireRepliesWaitOnlyForLatency_data()
{
    QTest::addColumn<int>("latencyMs");
    QTest::newRow("no latency") << 0;
    QTest::newRow("5 ms latency") << 5;
}

void TestSimConnection::withoutWireRepliesWaitOnlyForLatency()
{
    QFETCH(int, latencyMs);
    CoreRig rig(QStringLiteral("latency=%1").arg(latencyMs).toLatin1().constData());
    const TimePoint due = start + std::chrono::milliseconds(latencyMs);

    rig.connection.receive(ping.data(), ping.size(), start);
    if (latencyMs > 0) {
        QCOMPARE(rig.connection.available(due - 1us), size_t(0));
    }
    QCOMPARE(rig.connection.available(due), IdentityReplyLength);
}

void TestSimConnection::lateReplyHoldsBackTheNextOne()
{
    CoreRig rig("late=1:500");
    rig.connection.receive(ping.data(), ping.size(), start);
    QCOMPARE(rig.connection.available(start + 499ms), size_t(0));

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

void TestSimConnection::readTakesOnlyWhatIsDue()
{
    CoreRig rig("wire=1");
    rig.connection.receive(ping.data(), ping.size(), start);
    const TimePoint tenBytes = start + (PingLength + 10) * ByteTime;

    Bytes buffer(100);
    QCOMPARE(rig.connection.read(buffer.data(), buffer.size(), tenBytes), size_t(10));
    QCOMPARE(rig.connection.read(buffer.data(), 4, tenBytes + 20 * ByteTime), size_t(4));
    QCOMPARE(rig.connection.available(tenBytes + 20 * ByteTime), size_t(16));
    QCOMPARE(rig.connection.readyAt(IdentityReplyLength - 14), std::optional<TimePoint>(start + 78 * ByteTime));
}

void TestSimConnection::newConnectionKeepsMemoryButNotUnfinishedWork()
{
    SimDevice device(deviceConfig("frame=100"));
    const Bytes record = fixtureRecord("Kept", 4);
    const auto chunks = dataOutFrames(Command::FixtureRecord, 0, record, 100);
    {
        SimConnection connection(device);
        CoreHost host(connection);
        QCOMPARE(host.sendData(Command::FixtureRecord, 0, record, 100), uint8_t(0));
        // A second record half sent, and half a frame, when the host closes.
        for (size_t i = 0; i < 10; ++i) {
            QVERIFY(host.exchange(chunks[i])->isStatus(0));
        }
        host.send(Bytes(ping.begin(), ping.begin() + 7));
    }
    SimConnection connection(device);
    CoreHost host(connection);
    QVERIFY(host.exchange(ping)); // no stale half frame in the way
    QVERIFY(host.exchange(chunks[10])->isStatus(Refusal::OutOfSequence));
    QCOMPARE(readLe16(host.requestMulti(Command::FixtureList, 0)->data()), uint16_t(1));
}

void TestSimConnection::vanishedDeviceLosesWhatWasOnItsWay()
{
    CoreRig rig("wire=1,vanish=2");
    rig.connection.receive(ping.data(), ping.size(), start);
    QVERIFY(rig.connection.readyAt(1));
    rig.connection.receive(ping.data(), ping.size(), start);
    QVERIFY(rig.connection.deviceGone());
    QCOMPARE(rig.connection.available(start + 1h), size_t(0));
    QCOMPARE(rig.connection.readyAt(1), std::optional<TimePoint>());
}

QTEST_GUILESS_MAIN(TestSimConnection)
#include "TestSimConnection.moc"
