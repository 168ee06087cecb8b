#include "KVPFrame.h"
#include "KVPLink.h"
#include "TestKVPScriptedPhy.h"

#include <QTest>

#include <memory>
#include <vector>

using namespace korvane::KVP;
using namespace korvane::KVP::Test;

Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

std::vector<uint8_t> bytes(const char* hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return std::vector<uint8_t>(raw.begin(), raw.end());
}

QByteArray hex(const std::vector<uint8_t>& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size())).toHex(' ').toUpper();
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

/// The frame with some bits of one byte flipped.
std::vector<uint8_t> flipped(std::vector<uint8_t> frame, size_t index, uint8_t bits)
{
    if (index < frame.size()) {
        frame[index] = static_cast<uint8_t>(frame[index] ^ bits);
    }
    return frame;
}

/// Feeds the stream; returns the first frame the decoder completes, or nothing.
std::vector<uint8_t> firstFrame(const std::vector<uint8_t>& stream, size_t capacity = 256)
{
    std::vector<uint8_t> buffer(capacity);
    KVPFrameDecoder decoder(buffer.data(), buffer.size());
    decoder.start();
    for (uint8_t byte : stream) {
        if (decoder.feed(byte)) {
            return std::vector<uint8_t>(decoder.frame(), decoder.frame() + decoder.length());
        }
    }
    return {};
}

} // namespace

/// Frames go out byte for byte as the device expects them, and the decoder finds the
/// device's frames in a noisy stream without being fooled by what lies around them.
class TestKVPFrameCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostFramesAreEncodedByteForByte_data();
    void hostFramesAreEncodedByteForByte();
    void firstPingOfALinkIsTheWellKnownFrame();
    void sequenceNumberCountsFramesPerLinkAndWrapsAfter255();
    void decoderResynchronisesOnlyAtAStartByteAfterAMismatch_data();
    void decoderResynchronisesOnlyAtAStartByteAfterAMismatch();
    void frameLongerThanTheBufferIsFollowedToItsEndButStoredOnlyInPart();
    void decoderIgnoresBytesAfterAFrameUntilRestarted();
};

void TestKVPFrameCodec::hostFramesAreEncodedByteForByte_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("sequence");
    QTest::addColumn<std::vector<uint8_t>>("payload");
    QTest::addColumn<std::vector<uint8_t>>("expected");

    QTest::newRow("ping") << 0x0C << 2 << 0x01 << 0 << 0 << std::vector<uint8_t>()
                          << bytes("AA00FF0C020100000000 00B8B8CC");
    // Parameter and length low byte first; the payload checksum carries on from the
    // header checksum and wraps at 256.
    QTest::newRow("data-out chunk") << 0x08 << 0 << 0x0C << 0x1234 << 7 << bytes("0102FF")
                                    << bytes("AA00FF08000C3412030007 0D 0102FF 0F CC");
    QTest::newRow("request, header sum wraps")
        << 0x08 << 2 << 0x0E << 0xFFFF << 0xFF << std::vector<uint8_t>() << bytes("AA00FF08020EFFFF0000FF BE BE CC");
}

void TestKVPFrameCodec::hostFramesAreEncodedByteForByte()
{
    QFETCH(int, flags);
    QFETCH(int, type);
    QFETCH(int, command);
    QFETCH(int, parameter);
    QFETCH(int, sequence);
    QFETCH(std::vector<uint8_t>, payload);
    QFETCH(std::vector<uint8_t>, expected);

    FrameHeader header;
    header.flags = static_cast<uint8_t>(flags);
    header.type = static_cast<uint8_t>(type);
    header.command = static_cast<uint8_t>(command);
    header.parameter = static_cast<uint16_t>(parameter);
    header.sequence = static_cast<uint8_t>(sequence);
    const std::vector<uint8_t> frame = encodeFrame(header, payload.data(), static_cast<uint16_t>(payload.size()));
    QCOMPARE(hex(frame), hex(expected));
    // What we send, our own decoder takes back unchanged.
    QCOMPARE(hex(firstFrame(frame)), hex(expected));
}

void TestKVPFrameCodec::firstPingOfALinkIsTheWellKnownFrame()
{
    ScriptedPhy phy;
    KVPLink link(&phy, 1000, std::make_unique<ManualClock>());
    phy.queueReply(dataReply(Command::Identify, 0, std::vector<uint8_t>(50)));
    link.ping();
    QCOMPARE(phy.writes.size(), size_t(1));
    QCOMPARE(hex(phy.writes[0]), hex(bytes("AA00FF0C02010000000000B8B8CC")));
}

void TestKVPFrameCodec::sequenceNumberCountsFramesPerLinkAndWrapsAfter255()
{
    ScriptedPhy phy;
    KVPLink link(&phy, 1000, std::make_unique<ManualClock>());
    for (int i = 0; i < 257; ++i) {
        phy.queueReply(dataReply(0x0D, static_cast<uint16_t>(i), {}));
        QCOMPARE(link.request(0x0D, static_cast<uint16_t>(i)).status, StatusOk);
    }
    QCOMPARE(phy.writes.size(), size_t(257));
    for (size_t i = 0; i < phy.writes.size(); ++i) {
        QCOMPARE(int(phy.writes[i][Frame::SequenceOffset]), int(i % 256));
        // The header checksum must follow the counter, or the device drops the frame.
        QCOMPARE(hex(firstFrame(phy.writes[i])), hex(phy.writes[i]));
    }

    // Every link counts on its own.
    ScriptedPhy otherPhy;
    KVPLink other(&otherPhy, 1000, std::make_unique<ManualClock>());
    otherPhy.queueReply(dataReply(0x0D, 0, {}));
    other.request(0x0D, 0);
    QCOMPARE(int(otherPhy.writes.at(0)[Frame::SequenceOffset]), 0);
}

void TestKVPFrameCodec::decoderResynchronisesOnlyAtAStartByteAfterAMismatch_data()
{
    QTest::addColumn<std::vector<uint8_t>>("stream");
    QTest::addColumn<std::vector<uint8_t>>("expected");

    const std::vector<uint8_t> ping = bytes("AA00FF0C02010000000000B8B8CC");
    const std::vector<uint8_t> good = dataReply(0x0B, 0x0102, bytes("11AA22"));

    const std::vector<uint8_t> badPayloadSum = flipped(good, good.size() - 2, 0x01);
    const std::vector<uint8_t> badEnd = flipped(good, good.size() - 1, 0x01);
    // After a bad header the payload is hunted through for a start byte; this one has none.
    const std::vector<uint8_t> badHeaderSum
        = flipped(dataReply(0x0B, 0x0102, bytes("112233")), Frame::HeaderChecksumOffset, 0x40);

    QTest::newRow("clean frame") << good << good;
    QTest::newRow("garbage before and between") << concat({bytes("00CC5A0F"), good}) << good;
    QTest::newRow("empty payload") << ping << ping;
    QTest::newRow("bad payload checksum, then a good frame") << concat({badPayloadSum, good}) << good;
    QTest::newRow("bad end byte, then a good frame") << concat({badEnd, good}) << good;
    QTest::newRow("bad header checksum, then a good frame") << concat({badHeaderSum, good}) << good;
    // The 0xAA of the ping sits inside the header of a frame that started two bytes
    // earlier: it is not a start byte, so the ping is swallowed with the bad header.
    QTest::newRow("0xAA inside a corrupted header does not restart it")
        << concat({bytes("AA0102"), ping, good}) << good;
    QTest::newRow("0xAA in the place of the header checksum is not a start byte")
        << concat({bytes("AA01020304050607080910"), ping, good}) << good;
    QTest::newRow("a corrupted frame alone gives nothing") << badPayloadSum << std::vector<uint8_t>();
    QTest::newRow("a frame cut short gives nothing")
        << std::vector<uint8_t>(good.begin(), good.end() - 1) << std::vector<uint8_t>();
}

void TestKVPFrameCodec::decoderResynchronisesOnlyAtAStartByteAfterAMismatch()
{
    QFETCH(std::vector<uint8_t>, stream);
    QFETCH(std::vector<uint8_t>, expected);
    QCOMPARE(hex(firstFrame(stream)), hex(expected));
}

void TestKVPFrameCodec::frameLongerThanTheBufferIsFollowedToItsEndButStoredOnlyInPart()
{
    std::vector<uint8_t> payload(30);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(0xAA + i);
    }
    const std::vector<uint8_t> frame = dataReply(0x0C, 3, payload);
    // Exactly the capacity on the heap, so that a store past it trips the sanitizer.
    auto buffer = std::make_unique<uint8_t[]>(16);
    KVPFrameDecoder decoder(buffer.get(), 16);
    decoder.start();
    bool complete = false;
    size_t fedWhenComplete = 0;
    for (size_t i = 0; i < frame.size() && !complete; ++i) {
        complete = decoder.feed(frame[i]);
        fedWhenComplete = i + 1;
    }
    QVERIFY(complete);
    QCOMPARE(fedWhenComplete, frame.size());
    QCOMPARE(decoder.length(), size_t(16));
    QCOMPARE(decoder.frameLength(), frame.size());
    QCOMPARE(hex(std::vector<uint8_t>(buffer.get(), buffer.get() + 16)),
             hex(std::vector<uint8_t>(frame.begin(), frame.begin() + 16)));
}

void TestKVPFrameCodec::decoderIgnoresBytesAfterAFrameUntilRestarted()
{
    const std::vector<uint8_t> first = dataReply(0x0B, 0, bytes("01"));
    const std::vector<uint8_t> second = dataReply(0x0B, 0, bytes("02"));
    std::vector<uint8_t> buffer(64);
    KVPFrameDecoder decoder(buffer.data(), buffer.size());

    for (uint8_t byte : first) {
        QVERIFY(!decoder.feed(byte)); // not started yet
    }
    decoder.start();
    int frames = 0;
    for (uint8_t byte : concat({first, second})) {
        frames += decoder.feed(byte) ? 1 : 0;
    }
    QCOMPARE(frames, 1);
    QCOMPARE(hex(std::vector<uint8_t>(decoder.frame(), decoder.frame() + decoder.length())), hex(first));

    decoder.start();
    for (uint8_t byte : second) {
        frames += decoder.feed(byte) ? 1 : 0;
    }
    QCOMPARE(frames, 2);
    QCOMPARE(hex(std::vector<uint8_t>(decoder.frame(), decoder.frame() + decoder.length())), hex(second));
}

QTEST_GUILESS_MAIN(TestKVPFrameCodec)
#include "TestKVPFrameCodec.moc"
