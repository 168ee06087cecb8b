#include "TestKVPScriptedPhy.h"

#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

namespace {

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

/// Frames go out byte for byte as the device expects them, and the decoder finds the
/// device's frames in a noisy stream without being fooled by what lies around them.
class TestKVPFrameCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostFramesAreEncodedByteForByte();
    void firstPingIsTheWellKnownFrameAndSequenceWrapsAfter255();
    void decoderResynchronisesOnlyAtAStartByteAfterAMismatch_data();
    void decoderResynchronisesOnlyAtAStartByteAfterAMismatch();
    void decoderStopsAfterAFrameAndStoresOnlyWhatFits();
};

void TestKVPFrameCodec::hostFramesAreEncodedByteForByte()
{
    // Parameter and length low byte first; the payload checksum carries on from the
    // header checksum and wraps at 256.
    const Bytes chunk = hostFrame(Frame::DataOut, Command::FixtureRecord, 0x1234, {1, 2, 0xFF}, Frame::FlagFirst, 7);
    QCOMPARE(hex(chunk), QByteArray("AA 00 FF 08 00 0C 34 12 03 00 07 0D 01 02 FF 0F CC"));
    const Bytes request = requestFrame(Command::MemoryState, 0xFFFF, Frame::FlagFirst, 0xFF);
    QCOMPARE(hex(request), QByteArray("AA 00 FF 08 02 0E FF FF 00 00 FF BE BE CC"));
    // What we send, our own decoder takes back unchanged.
    QCOMPARE(decoded(join({chunk, request})), hex(join({chunk, request})));
}

void TestKVPFrameCodec::firstPingIsTheWellKnownFrameAndSequenceWrapsAfter255()
{
    const QByteArray firstPing("AA 00 FF 0C 02 01 00 00 00 00 00 B8 B8 CC");
    LinkRig rig;
    rig.link->ping();
    for (int i = 1; i < 257; ++i) {
        rig.phy.replies.push_back(dataReply(Command::FixtureDelete, uint16_t(i), {}));
        QCOMPARE(int(rig.link->request(Command::FixtureDelete, uint16_t(i)).status), int(StatusOk));
    }
    QCOMPARE(rig.phy.writes.size(), size_t(257));
    QCOMPARE(hex(rig.phy.writes[0]), firstPing);
    for (size_t i = 0; i < rig.phy.writes.size(); ++i) {
        QCOMPARE(int(rig.phy.writes[i][Frame::SequenceOffset]), int(i % 256));
        // The header checksum follows the counter, or the device drops the frame.
        QCOMPARE(decoded(rig.phy.writes[i]), hex(rig.phy.writes[i]));
    }
    LinkRig other; // every link counts on its own
    other.link->ping();
    QCOMPARE(hex(other.phy.writes.at(0)), firstPing);
}

void TestKVPFrameCodec::decoderResynchronisesOnlyAtAStartByteAfterAMismatch_data()
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
    // The 0xAA of the ping lies inside the header of a frame that started earlier: it is
    // not a start byte, so the ping is swallowed with the bad header.
    QTest::newRow("0xAA inside a corrupted header") << join({{0xAA, 0x01, 0x02}, Ping, good}) << good;
    QTest::newRow("0xAA as a header checksum") << join({{0xAA, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, Ping, good}) << good;
}

void TestKVPFrameCodec::decoderResynchronisesOnlyAtAStartByteAfterAMismatch()
{
    QFETCH(Bytes, stream);
    QFETCH(Bytes, frames);
    QCOMPARE(decoded(stream), hex(frames));
}

void TestKVPFrameCodec::decoderStopsAfterAFrameAndStoresOnlyWhatFits()
{
    const Bytes frame = dataReply(Command::FixtureRecord, 3, join({{0xAA, 0xAB}, pattern(28)}));
    const Bytes small = dataReply(Command::FixtureList, 0, {1});
    // Exactly the capacity on the heap, so that a store past it trips the sanitizer.
    auto buffer = std::make_unique<uint8_t[]>(16);
    KVPFrameDecoder decoder(buffer.get(), 16);
    const auto framesIn = [&decoder](const Bytes& bytes) {
        int frames = 0;
        for (uint8_t byte : bytes) {
            frames += decoder.feed(byte) ? 1 : 0;
        }
        return frames;
    };
    QCOMPARE(framesIn(small), 0); // not started yet
    decoder.start();
    QCOMPARE(framesIn(join({frame, small})), 1); // it stops after a frame
    QCOMPARE(decoder.frameLength(), frame.size());
    QCOMPARE(decoder.length(), size_t(16));
    QCOMPARE(hex(Bytes(buffer.get(), buffer.get() + 16)), hex(Bytes(frame.begin(), frame.begin() + 16)));
    decoder.start();
    QCOMPARE(framesIn(small), 1);
    QCOMPARE(hex(Bytes(buffer.get(), buffer.get() + decoder.length())), hex(small));
}

QTEST_GUILESS_MAIN(TestKVPFrameCodec)
#include "TestKVPFrameCodec.moc"
