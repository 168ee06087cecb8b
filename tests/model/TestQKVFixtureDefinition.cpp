#include "DeviceRecordLayout.h"
#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QTest>

#include <memory>

namespace {

const QString Alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
// U+1F39B (control knobs): one character, two UTF-16 code units.
const QString Knobs = QString::fromUtf8("\xF0\x9F\x8E\x9B");

/// Gives the model and manufacturer, and a first channel, this name and short name.
void setNames(QKVFixtureDefinition& definition, const QString& name, const QString& shortName, bool autoFlags = true)
{
    definition.setName(name);
    definition.setShortName(shortName);
    definition.setAutoShortName(autoFlags);
    definition.setManufacturer(name);
    definition.setManufacturerShort(shortName);
    definition.setAutoManufacturerShort(autoFlags);
    definition.appendChannel(makeChannel(1, name, shortName, autoFlags));
}

/// A record of `length` bytes of 'x' that declares `channelCount` channels.
QByteArray deviceRecord(int channelCount, int length)
{
    QByteArray record(length, 'x'); // every length used here reaches the count byte
    record[DeviceRecord::ChannelCountOffset] = static_cast<char>(channelCount);
    return record;
}

} // namespace

/// The in-memory definition and channel: short-name rules and copying; the
/// record the device stores a definition in, its text fields, and the type codes.
class TestQKVFixtureDefinition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void autoShortNamesAreTheStartOfTheLongName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fixtureShort"); // the first 20 characters
        QTest::addColumn<QString>("channelShort"); // the first 12
        const QString a11(11, 'a');
        QTest::newRow("26 letters") << Alphabet << Alphabet.left(20) << Alphabet.left(12);
        // A cut never leaves half of a surrogate pair behind.
        QTest::newRow("pairs across both cuts")
            << a11 + Knobs + "bbbbbb" + Knobs + "tail" << a11 + Knobs + "bbbbbb" << a11;
        QTest::newRow("only pairs") << Knobs.repeated(15) << Knobs.repeated(10) << Knobs.repeated(6);
    }

    void autoShortNamesAreTheStartOfTheLongName()
    {
        QFETCH(QString, name);
        QFETCH(QString, fixtureShort);
        QFETCH(QString, channelShort);
        QKVFixtureDefinition definition;
        setNames(definition, name, "stale");
        QKVFixtureChannel* channel = definition.channels().at(0);
        definition.applyAutoShortNames();
        channel->applyAutoShortName();
        QCOMPARE(describe(definition),
                 QStringList({name, fixtureShort, "1", name, fixtureShort, "1", "-1", "1", name, channelShort, "1"})
                     .join(" | "));
    }

    void autoFlagsAreDerivedFromTheCutOfTheLongName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<bool>("fixtureFlagAfter");
        QTest::addColumn<bool>("channelFlagAfter");
        const QString spot = QStringLiteral("Spot 250");
        QTest::newRow("equal, off -> on") << spot << spot << true << true;
        QTest::newRow("differs, off stays off") << spot << spot.left(4) + "!" << false << false;
        QTest::newRow("channel-length start") << Alphabet << Alphabet.left(12) << false << true;
    }

    void autoFlagsAreDerivedFromTheCutOfTheLongName()
    {
        QFETCH(QString, name);
        QFETCH(QString, shortName);
        QKVFixtureDefinition definition;
        setNames(definition, name, shortName, false);
        definition.deriveAutoFlags();
        definition.channels().at(0)->deriveAutoFlag();
        QTEST(definition.autoShortName(), "fixtureFlagAfter");
        QTEST(definition.autoManufacturerShort(), "fixtureFlagAfter");
        QTEST(definition.channels().at(0)->autoShortName(), "channelFlagAfter");
    }

    void copiesOwnTheirChannels()
    {
        QObject owner;
        auto* source = new QKVFixtureDefinition(&owner);
        setNames(*source, "Spot 250", "S250", false);
        source->setType(200);
        source->appendChannel(makeChannel(5, "Pan fine adjust", "Pan fine", false));
        const QString original = describe(*source);
        // Assignment replaces the target's channels with copies of its own; a replaced
        // channel not freed shows up as a leak in the sanitizer build.
        QKVFixtureDefinition assigned;
        assigned.appendChannel(makeChannel(1, "Red"));
        assigned = *source;
        QCOMPARE(describe(assigned), original);
        // A copy keeps the source's parent, and its channels outlive the source.
        const auto copy = std::make_unique<QKVFixtureDefinition>(*source);
        QCOMPARE(copy->parent(), &owner);
        delete source;
        QCOMPARE(describe(*copy), original);
    }

    void recordDecodesEveryFieldWithinItsWidth()
    {
        // Full-width fields have no terminator; erased ones start with a 0xFF byte.
        const QByteArray name = Alphabet.toLatin1().repeated(4).left(100);
        const QByteArray channelName(100, 'c');
        const QByteArray erased(100, char(0xFF));
        const auto field
            = [](const char* text, int width) { return QByteArray(text, qstrlen(text) + 1).leftJustified(width, 'x'); };
        const QByteArray record = name + name.left(20) + erased.left(1) + channelName.left(99) + field("ACME", 20)
            + char(4) + char(200) + "xx" + channelName.left(12) + channelName // channel 1
            + field("CW rot", 12) + field("Color wheel rotation", 100) // 2
            + field("Dim", 12) + erased.left(1) + field("Dimmer", 99) // 3
            + field("", 12) + erased; // 4
        std::vector<char> block;
        QKVFixtureDefinition definition;
        QVERIFY(definition.fromDeviceRecord(exactBytes(record, block)));
        QCOMPARE(describe(definition),
                 QString::fromLatin1(name + " | " + name.left(20) + " | 1 |  | ACME | 0 | 200 | 1 | " + channelName
                                     + " | " + channelName.left(12)
                                     + " | 1 | 2 | Color wheel rotation | CW rot | 0 | 3 |  | Dim | 0 | 4 |  |  | 1"));
    }

    void recordLengthIsCheckedAgainstTheChannelCount_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<int>("channels"); // -1: refused
        using namespace DeviceRecord;
        QTest::newRow("header less one byte") << deviceRecord(0, HeaderLength - 1) << -1;
        QTest::newRow("header only, no channels") << deviceRecord(0, HeaderLength) << 0;
        QTest::newRow("one channel, slot less one byte") << deviceRecord(1, usedLength(1) - 1) << -1;
        QTest::newRow("all 45 slots") << deviceRecord(45, RecordLength) << 45;
        QTest::newRow("count 46 in a whole record") << deviceRecord(46, RecordLength) << -1;
    }

    void recordLengthIsCheckedAgainstTheChannelCount()
    {
        QFETCH(QByteArray, record);
        QFETCH(int, channels);
        QKVFixtureDefinition definition;
        setNames(definition, "Keep", "K", false);
        const QString before = describe(definition);
        std::vector<char> block;
        QCOMPARE(definition.fromDeviceRecord(exactBytes(record, block)), channels >= 0);
        QCOMPARE(definition.channelCount(), channels < 0 ? 1 : channels);
        if (channels < 0) {
            QCOMPARE(describe(definition), before);
        } else if (channels > 0) {
            QCOMPARE(definition.channels().last()->number(), channels);
        }
    }

    void readingStopsAtZeroOrWidthOrEndOfData_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("text");
        QTest::newRow("terminated, Latin-1") << QByteArray("xxCaf\xe9\0yy", 9) << 2 << 6 << QString::fromUtf8("Café");
        QTest::newRow("full width, next field follows") << QByteArray("PanTilt") << 0 << 3 << "Pan";
        QTest::newRow("field cut by the end of the data") << QByteArray("xxxxLong") << 4 << 100 << "Long";
        QTest::newRow("field starts past the end") << QByteArray("abc") << 50 << 10 << "";
        QTest::newRow("negative offset") << QByteArray("abc") << -1 << 2 << "";
    }

    void readingStopsAtZeroOrWidthOrEndOfData()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, offset);
        QFETCH(int, width);
        std::vector<char> block;
        QTEST(DeviceRecord::readTextField(exactBytes(data, block), offset, width), "text");
    }

    void writingFillsTheFieldAndTerminatesOnlyShortTexts_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field"); // the field's bytes and the guard byte after it
        // The field sits at offset 2 of a buffer of 0xAA; untouched bytes keep 0xAA.
        QTest::newRow("exact width, no terminator") << 4 << "Pan1" << QByteArray("Pan1\xaa");
        QTest::newRow("shorter, one zero then untouched") << 6 << "Pan" << QByteArray("Pan\0\xaa\xaa\xaa", 7);
        QTest::newRow("longer is cut") << 4 << "Pan fine" << QByteArray("Pan \xaa");
        QTest::newRow("outside Latin-1 becomes ?")
            << 5 << QString::fromUtf8("ΩÿĀ") << QByteArray("?\xff?\0\xaa\xaa", 6);
    }

    void writingFillsTheFieldAndTerminatesOnlyShortTexts()
    {
        QFETCH(int, width);
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        constexpr char Fill = char(0xAA);
        QByteArray data(2 + width + 8, Fill);
        DeviceRecord::writeTextField(data, 2, width, text);
        QCOMPARE(data.left(2), QByteArray(2, Fill));
        QCOMPARE(data.mid(2, field.size()), field);
        QCOMPARE(data.mid(2 + width), QByteArray(8, Fill));
    }

    // Type codes travel unchanged between file and device; the file names them, and
    // older files spell them loosely, so the reader matches keywords.
    void typeTextIsReadByFirstKeywordOfTheTableIgnoringCase_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::newRow("the editor's misspelling, lower case") << "color chnager" << 3;
        QTest::newRow("British spelling has no keyword") << "Colour Changer" << -1;
        QTest::newRow("LED needs Fixture") << "LED" << -1;
        // With several keywords the order of the table decides, not the place in the text.
        QTest::newRow("Moving before Scanner") << "Scanner / Moving Head" << 0;
        QTest::newRow("LED Fixture before Color") << "Color LED Fixture" << 2;
        QTest::newRow("Hazer before Smoke") << "Smoke Hazer" << 7;
    }

    void typeTextIsReadByFirstKeywordOfTheTableIgnoringCase()
    {
        QFETCH(QString, text);
        QTEST(FixtureType::fromXmlText(text), "code");
    }

    void everyTypeCodeReadsBackAndOthersAreWrittenUndefined()
    {
        for (int code = FixtureType::FirstCode; code <= FixtureType::LastCode; ++code) {
            QCOMPARE(FixtureType::fromXmlText(FixtureType::xmlName(code)), code);
        }
        // 255 is -1 as the device stores it.
        for (int code : {-1, 11, 255}) {
            QCOMPARE(FixtureType::xmlName(code), QStringLiteral("Undefined"));
        }
    }
};

QTEST_GUILESS_MAIN(TestQKVFixtureDefinition)
#include "TestQKVFixtureDefinition.moc"
