#include "DeviceRecordLayout.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QTest>

#include <memory>

namespace {

const QString Alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
// U+1F39B (control knobs): one character, two UTF-16 code units.
const QString Knobs = QString::fromUtf8("\xF0\x9F\x8E\x9B");

/// A library list stand-in that records what a definition pushes into its row.
class ListModel : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex& = {}) const override { return 5; }
    int columnCount(const QModelIndex& = {}) const override { return 4; }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        edits << QStringLiteral("%1,%2 %3").arg(index.row()).arg(index.column()).arg(value.toString());
        return role == Qt::EditRole;
    }
    QStringList edits;
};

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
    QByteArray record(length, 'x');
    if (length > DeviceRecord::ChannelCountOffset) {
        record[DeviceRecord::ChannelCountOffset] = static_cast<char>(channelCount);
    }
    return record;
}

} // namespace

/// The in-memory definition and channel: defaults, short-name rules, copying, and
/// decoding of the record the device stores a definition in.
class TestQKVFixtureDefinition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsAndStoredShortNames()
    {
        QKVFixtureDefinition definition;
        QCOMPARE(describe(definition), QStringLiteral(" |  | 1 |  |  | 1 | -1"));
        QKVFixtureChannel channel;
        QCOMPARE(channel.number(), 1000);
        QVERIFY(channel.autoShortName() && !channel.renumberMark());
        // The definition stores its short names uncut; a channel cuts its own to 12.
        const QString thirty = QStringLiteral("0123456789abcdefghijABCDEFGHIJ");
        definition.setShortName(thirty);
        definition.setManufacturerShort(thirty);
        channel.setShortName(thirty);
        QCOMPARE(describe(definition), " | " + thirty + " | 1 |  | " + thirty + " | 1 | -1");
        QCOMPARE(channel.shortName(), thirty.left(12));
    }

    void autoShortNamesAreTheStartOfTheLongName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fixtureShort"); // the first 20 characters
        QTest::addColumn<QString>("channelShort"); // the first 12
        const QString a10(10, 'a'), a11(11, 'a'), a19(19, 'a');
        QTest::newRow("26 letters") << Alphabet << Alphabet.left(20) << Alphabet.left(12);
        QTest::newRow("exactly 20") << Alphabet.left(20) << Alphabet.left(20) << Alphabet.left(12);
        QTest::newRow("empty") << QString() << QString() << QString();
        // A cut never leaves half of a surrogate pair behind.
        QTest::newRow("pairs across both cuts")
            << a11 + Knobs + "bbbbbb" + Knobs + "tail" << a11 + Knobs + "bbbbbb" << a11;
        QTest::newRow("pair across the fixture cut") << a19 + Knobs + "tail" << a19 << QString(12, 'a');
        QTest::newRow("pair just inside both cuts") << a10 + Knobs + "tail" << a10 + Knobs + "tail" << a10 + Knobs;
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
        QKVFixtureChannel typed; // a hand-made channel short name goes through the same cut
        typed.setShortName(name);
        QCOMPARE(typed.shortName(), channelShort);

        // A short name that is what the cut gives counts as derived.
        definition.setAutoShortName(false);
        definition.deriveAutoFlags();
        QVERIFY(definition.autoShortName());
        // Each flag guards its own short name; hand-made ones stay.
        for (const bool handMadeModel : {true, false}) {
            definition.setShortName("Hand");
            definition.setManufacturerShort("Hand");
            definition.setAutoShortName(!handMadeModel);
            definition.setAutoManufacturerShort(handMadeModel);
            definition.applyAutoShortNames();
            QCOMPARE(definition.shortName(), handMadeModel ? QStringLiteral("Hand") : fixtureShort);
            QCOMPARE(definition.manufacturerShort(), handMadeModel ? fixtureShort : QStringLiteral("Hand"));
        }
        channel->setShortName("Hand");
        channel->setAutoShortName(false);
        channel->applyAutoShortName();
        QCOMPARE(channel->shortName(), QStringLiteral("Hand"));
    }

    void derivingAutoFlagsOnlyEverTurnsThemOn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<bool>("flagBefore");
        QTest::addColumn<bool>("fixtureFlagAfter");
        QTest::addColumn<bool>("channelFlagAfter");
        const QString spot = QStringLiteral("Spot 250");
        QTest::newRow("equal, off -> on") << spot << spot << false << true << true;
        QTest::newRow("both empty -> on") << QString() << QString() << false << true << true;
        QTest::newRow("differs, off stays off") << spot << spot.left(4) + "!" << false << false << false;
        QTest::newRow("differs, on is never cleared") << spot << spot.left(4) + "!" << true << true << true;
        QTest::newRow("channel-length start") << Alphabet << Alphabet.left(12) << false << false << true;
        // The fixture short name is compared as stored; the whole name is not its start.
        QTest::newRow("whole long name") << Alphabet << Alphabet << false << false << true;
        QTest::newRow("case differs") << spot << spot.toUpper() << false << false << false;
    }

    void derivingAutoFlagsOnlyEverTurnsThemOn()
    {
        QFETCH(QString, name);
        QFETCH(QString, shortName);
        QFETCH(bool, flagBefore);
        QKVFixtureDefinition definition;
        setNames(definition, name, shortName, flagBefore);
        definition.deriveAutoFlags();
        definition.channels().at(0)->deriveAutoFlag();
        QTEST(definition.autoShortName(), "fixtureFlagAfter");
        QTEST(definition.autoManufacturerShort(), "fixtureFlagAfter");
        QTEST(definition.channels().at(0)->autoShortName(), "channelFlagAfter");
        QCOMPARE(definition.shortName(), shortName);
    }

    void erasedDeviceNamesBecomeEmpty_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("cleared");
        const QChar erased(0x00FF);
        QTest::newRow("erased field") << QString(100, erased) << QString();
        QTest::newRow("erased start, text after") << QString(erased) + "Spot" << QString();
        QTest::newRow("y-diaeresis later stays") << "Spot" + QString(erased) << "Spot" + QString(erased);
    }

    void erasedDeviceNamesBecomeEmpty()
    {
        QFETCH(QString, name);
        QFETCH(QString, cleared);
        const QString erasedShort = QString(QChar(0x00FF)) + "S"; // short names are never treated as erased
        QKVFixtureDefinition definition;
        setNames(definition, name, erasedShort);
        definition.clearErasedNames();
        definition.channels().at(0)->clearErasedName();
        QCOMPARE(
            describe(definition),
            QStringList({cleared, erasedShort, "1", cleared, erasedShort, "1", "-1", "1", cleared, erasedShort, "1"})
                .join(" | "));
    }

    void copiesOwnTheirChannelsAndShareTheListRow()
    {
        auto model = std::make_unique<ListModel>();
        QObject owner;
        auto* source = new QKVFixtureDefinition(&owner);
        source->setName("Not shown yet");
        source->setListPosition(model.get(), model->index(3, 0));
        source->setName("Spot 250");
        source->setShortName("S250");
        source->setAutoShortName(false);
        source->setManufacturer("Acme Lighting");
        source->setManufacturerShort("Acme");
        source->setAutoManufacturerShort(false);
        source->setType(200);
        source->appendChannel(makeChannel(1, "Pan"));
        source->appendChannel(makeChannel(5, "Pan fine adjust", "Pan fine", false));
        source->channels().at(1)->setRenumberMark(true);
        const QString original = describe(*source);
        // The list shows the name and the manufacturer; a short name's change pushes them too.
        QCOMPARE(model->edits, QStringList({"3,0 Spot 250", "3,0 Spot 250", "3,2 Acme Lighting", "3,2 Acme Lighting"}));

        // Assignment replaces (and frees) the target's channels with copies of its own.
        QKVFixtureDefinition assigned;
        assigned.appendChannel(makeChannel(1, "Red"));
        const QPointer<QKVFixtureChannel> replaced = assigned.channels().at(0);
        assigned = *source;
        QVERIFY(replaced.isNull());
        QCOMPARE(describe(assigned), original);
        QVERIFY(!assigned.channels().at(1)->renumberMark());
        assigned.channels().at(1)->setName("Tilt");
        assigned.channels().at(1)->setNumber(9);
        QCOMPARE(describe(*source), original);

        // Self-assignment must not free the channels it is about to copy.
        const QPointer<QKVFixtureChannel> pan = assigned.channels().at(0);
        QKVFixtureDefinition& alias = assigned;
        assigned = alias;
        QVERIFY(!pan.isNull());
        QCOMPARE(assigned.channels().at(0), pan.data());
        assigned = QKVFixtureDefinition();
        QVERIFY(pan.isNull());

        // A copy keeps the source's parent and list row, and its channels outlive the source.
        const auto copy = std::make_unique<QKVFixtureDefinition>(*source);
        QCOMPARE(copy->parent(), &owner);
        delete source;
        QCOMPARE(describe(*copy), original);
        QCOMPARE(copy->listIndex(), model->index(3, 0));
        // Once the model is gone, a push into it would be a use after free.
        model.reset();
        copy->setName("Wash");
        QVERIFY(copy->listModel() == nullptr);
    }

    void recordDecodesEveryFieldWithinItsWidth()
    {
        // Full-width fields have no terminator; erased ones are 0xFF bytes.
        const QByteArray name = Alphabet.toLatin1().repeated(4).left(100);
        const QByteArray channelName(100, 'c');
        const QByteArray erased(100, char(0xFF));
        const auto field
            = [](const char* text, int width) { return QByteArray(text, qstrlen(text) + 1).leftJustified(width, 'x'); };
        const QByteArray record = name + name.left(20) + erased + field("ACME", 20) + char(4) + char(200) + "xx"
            + channelName.left(12) + channelName // channel 1
            + field("CW rot", 12) + field("Color wheel rotation", 100) // 2
            + field("Dim", 12) + erased // 3
            + field("", 12) + erased; // 4
        QCOMPARE(record.size(), DeviceRecord::usedLength(4));
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
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("header less one byte") << deviceRecord(0, HeaderLength - 1) << -1;
        QTest::newRow("header only, no channels") << deviceRecord(0, HeaderLength) << 0;
        QTest::newRow("one channel, slot less one byte") << deviceRecord(1, usedLength(1) - 1) << -1;
        QTest::newRow("all 45 slots") << deviceRecord(45, RecordLength) << 45;
        QTest::newRow("two slots used of a whole record") << deviceRecord(2, RecordLength) << 2;
        QTest::newRow("count 46 in a whole record") << deviceRecord(46, RecordLength) << -1;
        QTest::newRow("count 255 in a whole record") << deviceRecord(255, RecordLength) << -1;
    }

    void recordLengthIsCheckedAgainstTheChannelCount()
    {
        QFETCH(QByteArray, record);
        QFETCH(int, channels);

        QKVFixtureDefinition definition;
        setNames(definition, "Keep", "K", false);
        definition.setType(3);
        const QPointer<QKVFixtureChannel> pan = definition.channels().at(0);
        const QString before = describe(definition);
        std::vector<char> block;
        QCOMPARE(definition.fromDeviceRecord(exactBytes(record, block)), channels >= 0);
        if (channels < 0) {
            QCOMPARE(describe(definition), before);
            QCOMPARE(definition.channels().at(0), pan.data());
            return;
        }
        QVERIFY(pan.isNull());
        QCOMPARE(definition.channelCount(), channels);
        for (int i = 0; i < channels; ++i) {
            QCOMPARE(definition.channels().at(i)->number(), i + 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestQKVFixtureDefinition)
#include "TestQKVFixtureDefinition.moc"
