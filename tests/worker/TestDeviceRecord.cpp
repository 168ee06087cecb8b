#include "DeviceRecord.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "TestSupport.h"

#include <QSharedPointer>
#include <QTest>

#include <algorithm>

using namespace DeviceRecord;
using Definition = QSharedPointer<QKVFixtureDefinition>;
using Patches = QList<QPair<int, QByteArray>>; // bytes at an offset of an otherwise zero record

namespace {

const QString Alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
const QString Long = Alphabet.repeated(4).left(NameWidth);
const QByteArray LongBytes = Long.toLatin1();

/// Manufacturer "ACME", its short form "AC" with the auto flag off; an empty short name is automatic.
Definition
fixture(const QString& name, const QString& shortName, int type, const QList<QKVFixtureChannel*>& channels = {})
{
    auto definition = Definition::create();
    definition->setName(name);
    definition->setShortName(shortName);
    definition->setAutoShortName(shortName.isEmpty());
    definition->setManufacturer("ACME");
    definition->setManufacturerShort("AC");
    definition->setAutoManufacturerShort(false);
    definition->setType(type);
    for (QKVFixtureChannel* channel : channels) {
        definition->appendChannel(channel);
    }
    return definition;
}

Patches header(const QByteArray& name, const QByteArray& shortName, int channelCount, int typeByte)
{
    return {{NameOffset, name},
            {ShortNameOffset, shortName},
            {ManufacturerOffset, "ACME"},
            {ManufacturerShortOffset, "AC"},
            {ChannelCountOffset, QByteArray(1, char(channelCount))},
            {TypeOffset, QByteArray(1, char(typeByte))}};
}

Patches slot(int number, const QByteArray& shortName, const QByteArray& name)
{
    return {{slotOffset(number) + SlotShortNameOffset, shortName}, {slotOffset(number) + SlotNameOffset, name}};
}

QByteArray listPayload(int count, const QList<int>& recordNumbers)
{
    QByteArray payload;
    payload.append(char(count & 0xFF)).append(char(count >> 8)); // little-endian
    for (int number : recordNumbers) {
        payload += QByteArray(RecordNumberOffset, '\0') + char(number) + '\0';
    }
    return payload;
}

QStringList fields(const QKVRemoteFixtureDefinition& d)
{
    return QStringList() << d.name() << d.shortName() << d.manufacturer() << d.manufacturerShort()
                         << QString::number(d.type()) << QString::number(d.channelCount())
                         << QString::number(d.recordNumber());
}

} // namespace

/// The record the host writes a definition into, and the device's fixture list.
class TestDeviceRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordIsWrittenByteForByte_data()
    {
        QTest::addColumn<Definition>("definition");
        QTest::addColumn<Patches>("expected");

        QTest::newRow("100-character name, no terminator")
            << fixture(Long, "", 2) << header(LongBytes, LongBytes.left(20), 0, 2);
        QTest::newRow("outside Latin-1 becomes ?") << fixture(QString::fromUtf8("Ωmega Café 照明"), "", 1)
                                                   << header("?mega Caf\xe9 ??", "?mega Caf\xe9 ??", 0, 1);
        const QList<QKVFixtureChannel*> slotted {
            makeChannel(3, "Color wheel rotation", "old"), makeChannel(1, Long), makeChannel(45, "Z", "z", false)};
        QTest::newRow("channels in the slot of their number, auto short names applied")
            << fixture("Spot", "S", 3, slotted)
            << header("Spot", "S", 3, 3) + slot(1, LongBytes.left(12), LongBytes)
                + slot(3, "Color wheel ", "Color wheel rotation") + slot(45, "z", "Z");
        QTest::newRow("channels 46 and 0 left out but counted")
            << fixture("Spot", "S", 3, {makeChannel(46, "Strobe"), makeChannel(0, "Zero"), makeChannel(2, "Pan")})
            << header("Spot", "S", 3, 3) + slot(2, "Pan", "Pan");
        QTest::newRow("a later channel replaces an earlier one whole")
            << fixture("Spot", "S", 3, {makeChannel(2, "Long channel name"), makeChannel(2, "Tilt")})
            << header("Spot", "S", 2, 3) + slot(2, "Tilt", "Tilt");
    }

    void recordIsWrittenByteForByte()
    {
        QFETCH(Definition, definition);
        QFETCH(Patches, expected);
        QByteArray wanted(RecordLength, '\0');
        for (const auto& [offset, bytes] : expected) {
            wanted.replace(offset, bytes.size(), bytes);
        }
        const QByteArray record = buildRecord(*definition);
        QCOMPARE(record.size(), RecordLength);
        const auto firstDifference = std::mismatch(record.cbegin(), record.cend(), wanted.cbegin()).first;
        QCOMPARE(firstDifference - record.cbegin(), RecordLength);
    }

    void listIsAcceptedOnlyWhenItsLengthMatchesItsCount_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("count"); // -1: malformed
        QTest::addColumn<QList<int>>("recordNumbers");

        QTest::newRow("half a count") << QByteArray(1, '\0') << -1 << QList<int>();
        QTest::newRow("empty device") << listPayload(0, {}) << 0 << QList<int>();
        QTest::newRow("count 2, three entries") << listPayload(2, {1, 2, 3}) << -1 << QList<int>();
        // Whole entries plus one: a length divided by the entry size would take it.
        QTest::newRow("one entry and a stray byte") << listPayload(1, {1}) + '\0' << -1 << QList<int>();
        QTest::newRow("count's high byte set") << listPayload(0x101, {1}) << -1 << QList<int>();
        QTest::newRow("three entries") << listPayload(3, {7, 0, 254}) << 3 << QList<int> {7, 0, 254};
    }

    void listIsAcceptedOnlyWhenItsLengthMatchesItsCount()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, count);
        QFETCH(QList<int>, recordNumbers);
        std::vector<char> block;
        const QByteArray exact = exactBytes(payload, block);
        QCOMPARE(listEntryCount(exact), count);
        QList<int> decoded;
        for (const auto& definition : decodeList(exact)) {
            decoded << definition->recordNumber();
        }
        QCOMPARE(decoded, recordNumbers);
    }

    void listEntryFillsEveryFieldAndShortEntriesAreRefused()
    {
        auto written = fixture(Long, QString::fromUtf8("Spot é"), -1);
        written->setManufacturer("");
        for (int number = 1; number <= 46; ++number) {
            written->appendChannel(makeChannel(number, "Dimmer"));
        }
        QByteArray entry = buildRecord(*written).left(HeaderLength);
        entry[RecordNumberOffset] = 7;
        entry[RecordNumberOffset + 1] = char(0xAA); // reserved: nothing to read in it

        QKVRemoteFixtureDefinition remote;
        std::vector<char> block;
        QVERIFY(remote.fromListEntry(exactBytes(entry, block)));
        QCOMPARE(fields(remote), QStringList({Long, QString::fromUtf8("Spot é"), "", "AC", "255", "46", "7"}));
        QCOMPARE(remote.displayManufacturer(), "AC");

        QKVRemoteFixtureDefinition copy;
        copy = remote;
        QCOMPARE(fields(copy), fields(remote));
        copy.setName("");
        QCOMPARE(copy.displayName(), QString::fromUtf8("Spot é"));
        // Short of a whole header: refused, nothing changes.
        QVERIFY(!copy.fromListEntry(exactBytes(entry.left(HeaderLength - 1), block)));
        QCOMPARE(fields(copy).mid(1), fields(remote).mid(1));
    }
};

QTEST_GUILESS_MAIN(TestDeviceRecord)
#include "TestDeviceRecord.moc"
