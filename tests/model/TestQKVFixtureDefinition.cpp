#include "DeviceRecordLayout.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString Alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
// U+1F39B (control knobs): one character, two UTF-16 code units.
const QString Knobs = QString::fromUtf8("\xF0\x9F\x8E\x9B");

/// A library list stand-in with the columns a definition pushes into (name 0,
/// manufacturer 2); it records every edit.
class ListModel : public QAbstractTableModel
{
public:
    struct Edit
    {
        int row;
        int column;
        QString value;
    };

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 5; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::EditRole) {
            return false;
        }
        edits.append({index.row(), index.column(), value.toString()});
        return true;
    }

    QList<Edit> edits;
};

QKVFixtureChannel* makeChannel(int number, const QString& name, const QString& shortName, bool autoShortName)
{
    auto* channel = new QKVFixtureChannel;
    channel->setNumber(number);
    channel->setName(name);
    channel->setShortName(shortName);
    channel->setAutoShortName(autoShortName);
    return channel;
}

/// A device record built byte by byte, the way the device sends it.
class RecordBuilder
{
public:
    explicit RecordBuilder(int channelCount, char fill = 0) : m_bytes(DeviceRecord::usedLength(channelCount), fill)
    {
        m_bytes[DeviceRecord::ChannelCountOffset] = static_cast<char>(channelCount);
    }

    RecordBuilder& text(int offset, const QByteArray& latin1)
    {
        for (int i = 0; i < latin1.size(); ++i) {
            m_bytes[offset + i] = latin1.at(i);
        }
        return *this;
    }
    // Every field written whole, without a terminator, unless the text ends in "\0".
    RecordBuilder& name(const QByteArray& s) { return text(DeviceRecord::NameOffset, s); }
    RecordBuilder& shortName(const QByteArray& s) { return text(DeviceRecord::ShortNameOffset, s); }
    RecordBuilder& manufacturer(const QByteArray& s) { return text(DeviceRecord::ManufacturerOffset, s); }
    RecordBuilder& manufacturerShort(const QByteArray& s) { return text(DeviceRecord::ManufacturerShortOffset, s); }
    RecordBuilder& type(quint8 code)
    {
        m_bytes[DeviceRecord::TypeOffset] = static_cast<char>(code);
        return *this;
    }
    RecordBuilder& channelCountByte(quint8 count)
    {
        m_bytes[DeviceRecord::ChannelCountOffset] = static_cast<char>(count);
        return *this;
    }
    RecordBuilder& channel(int slot, const QByteArray& shortName, const QByteArray& name)
    {
        const int offset = DeviceRecord::HeaderLength + slot * DeviceRecord::SlotLength;
        text(offset + DeviceRecord::SlotShortNameOffset, shortName);
        return text(offset + DeviceRecord::SlotNameOffset, name);
    }
    RecordBuilder& resize(int size)
    {
        m_bytes.resize(size);
        return *this;
    }

    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

QByteArray terminated(const char* s)
{
    return QByteArray(s) + '\0';
}

} // namespace

/// The in-memory definition and channel: defaults, short-name rules, copying, and
/// decoding of the record the device stores a definition in.
class TestQKVFixtureDefinition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newDefinitionAndChannelHaveDefaults();
    void definitionStoresShortNamesUncutChannelCutsToTwelve();
    void displayNameFallsBackToShortName();

    void autoShortNamesAreTheStartOfTheLongName_data();
    void autoShortNamesAreTheStartOfTheLongName();
    void autoFlagOffLeavesShortNames();
    void cutsNeverSplitASurrogatePair_data();
    void cutsNeverSplitASurrogatePair();
    void derivingAutoFlagsOnlyEverTurnsThemOn_data();
    void derivingAutoFlagsOnlyEverTurnsThemOn();
    void erasedDeviceNamesBecomeEmpty_data();
    void erasedDeviceNamesBecomeEmpty();

    void assignmentGivesTheTargetItsOwnChannels();
    void assignmentFreesTheReplacedChannels();
    void selfAssignmentKeepsTheChannels();
    void copyConstructionCopiesEveryField();
    void channelCopyLeavesTheRenumberMarkBehind();

    void settersPushNameAndManufacturerIntoTheListRow();
    void definitionOutlivingItsListModelStopsPushing();
    void channelCountChangeIsSignalledWithTheListRow();

    void recordDecodesHeaderAndChannels();
    void fullWidthFieldsReadWithoutTerminator();
    void erasedRecordFieldsAreCleared();
    void recordTypeByteIsKeptUnchanged_data();
    void recordTypeByteIsKeptUnchanged();
    void recordShortNamesDecideTheAutoFlags();
    void recordWithoutChannelsDecodes();
    void recordDecodingReplacesAndFreesOldChannels();
    void tooShortRecordChangesNothing_data();
    void tooShortRecordChangesNothing();
};

void TestQKVFixtureDefinition::newDefinitionAndChannelHaveDefaults()
{
    const QKVFixtureDefinition definition;
    QCOMPARE(definition.type(), -1);
    QVERIFY(definition.autoShortName());
    QVERIFY(definition.autoManufacturerShort());
    QVERIFY(definition.name().isEmpty());
    QVERIFY(definition.shortName().isEmpty());
    QVERIFY(definition.manufacturer().isEmpty());
    QVERIFY(definition.manufacturerShort().isEmpty());
    QCOMPARE(definition.channelCount(), 0);
    QVERIFY(definition.channels().isEmpty());
    QVERIFY(!definition.listIndex().isValid());
    QVERIFY(definition.listModel() == nullptr);
    QVERIFY(definition.parent() == nullptr);

    const QKVFixtureChannel channel;
    QCOMPARE(channel.number(), 1000);
    QVERIFY(channel.name().isEmpty());
    QVERIFY(channel.shortName().isEmpty());
    QVERIFY(channel.autoShortName());
    QVERIFY(!channel.renumberMark());
    QVERIFY(channel.parent() == nullptr);
}

void TestQKVFixtureDefinition::definitionStoresShortNamesUncutChannelCutsToTwelve()
{
    const QString thirty = QStringLiteral("0123456789abcdefghijABCDEFGHIJ");
    QCOMPARE(thirty.size(), 30);

    QKVFixtureDefinition definition;
    definition.setShortName(thirty);
    definition.setManufacturerShort(thirty);
    QCOMPARE(definition.shortName(), thirty);
    QCOMPARE(definition.manufacturerShort(), thirty);

    QKVFixtureChannel channel;
    channel.setShortName(thirty);
    QCOMPARE(channel.shortName(), QStringLiteral("0123456789ab"));
    channel.setShortName(QStringLiteral("exactly12chr"));
    QCOMPARE(channel.shortName(), QStringLiteral("exactly12chr"));
}

void TestQKVFixtureDefinition::displayNameFallsBackToShortName()
{
    QKVFixtureDefinition definition;
    definition.setShortName("Short");
    QCOMPARE(definition.displayName(), QStringLiteral("Short"));
    definition.setName("Long");
    QCOMPARE(definition.displayName(), QStringLiteral("Long"));

    QKVFixtureChannel channel;
    channel.setShortName("Dim");
    QCOMPARE(channel.displayName(), QStringLiteral("Dim"));
    channel.setName("Dimmer");
    QCOMPARE(channel.displayName(), QStringLiteral("Dimmer"));
}

void TestQKVFixtureDefinition::autoShortNamesAreTheStartOfTheLongName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fixtureShort");
    QTest::addColumn<QString>("channelShort");

    QTest::newRow("alphabet") << Alphabet << "ABCDEFGHIJKLMNOPQRST"
                              << "ABCDEFGHIJKL";
    QTest::newRow("short name kept whole") << "Spot 250"
                                           << "Spot 250"
                                           << "Spot 250";
    QTest::newRow("exactly 20") << "12345678901234567890"
                                << "12345678901234567890"
                                << "123456789012";
    QTest::newRow("nothing but a cut: case, spaces and vowels stay") << "  Moving HEAD   aeiou xyz"
                                                                     << "  Moving HEAD   aeio"
                                                                     << "  Moving HEA";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("non-Latin-1 kept") << QString::fromUtf8("照明器具の名前はとても長いですね、本当に長い")
                                      << QString::fromUtf8("照明器具の名前はとても長いですね、本当に")
                                      << QString::fromUtf8("照明器具の名前はとても長");
}

void TestQKVFixtureDefinition::autoShortNamesAreTheStartOfTheLongName()
{
    QFETCH(QString, name);
    QFETCH(QString, fixtureShort);
    QFETCH(QString, channelShort);

    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setShortName("stale");
    definition.setManufacturer(name);
    definition.setManufacturerShort("stale");
    definition.applyAutoShortNames();
    QCOMPARE(definition.shortName(), fixtureShort);
    QCOMPARE(definition.manufacturerShort(), fixtureShort);

    QKVFixtureChannel channel;
    channel.setName(name);
    channel.setShortName("stale");
    channel.applyAutoShortName();
    QCOMPARE(channel.shortName(), channelShort);
}

void TestQKVFixtureDefinition::autoFlagOffLeavesShortNames()
{
    QKVFixtureDefinition definition;
    definition.setName(Alphabet);
    definition.setManufacturer(Alphabet);
    definition.setShortName("Hand");
    definition.setManufacturerShort("Made");
    definition.setAutoShortName(false);
    definition.applyAutoShortNames();
    QCOMPARE(definition.shortName(), QStringLiteral("Hand"));
    QCOMPARE(definition.manufacturerShort(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));

    definition.setAutoShortName(true);
    definition.setAutoManufacturerShort(false);
    definition.setManufacturerShort("Made");
    definition.applyAutoShortNames();
    QCOMPARE(definition.shortName(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    QCOMPARE(definition.manufacturerShort(), QStringLiteral("Made"));

    QKVFixtureChannel channel;
    channel.setName(Alphabet);
    channel.setShortName("Hand");
    channel.setAutoShortName(false);
    channel.applyAutoShortName();
    QCOMPARE(channel.shortName(), QStringLiteral("Hand"));

    // Turning a flag on recomputes nothing by itself.
    definition.setAutoManufacturerShort(true);
    channel.setAutoShortName(true);
    QCOMPARE(definition.manufacturerShort(), QStringLiteral("Made"));
    QCOMPARE(channel.shortName(), QStringLiteral("Hand"));
}

void TestQKVFixtureDefinition::cutsNeverSplitASurrogatePair_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fixtureShort");
    QTest::addColumn<QString>("channelShort");

    const QString a11 = QString(11, QLatin1Char('a'));
    const QString a19 = QString(19, QLatin1Char('a'));
    QTest::newRow("pairs across both cuts") << a11 + Knobs + "bbbbbb" + Knobs + "tail" << a11 + Knobs + "bbbbbb" << a11;
    QTest::newRow("pair across the fixture cut") << a19 + Knobs + "tail" << a19 << QString(12, QLatin1Char('a'));
    QTest::newRow("pair just inside both cuts")
        << QString(10, QLatin1Char('a')) + Knobs + "tail" << QString(10, QLatin1Char('a')) + Knobs + "tail"
        << QString(10, QLatin1Char('a')) + Knobs;
    QTest::newRow("only pairs") << Knobs.repeated(15) << Knobs.repeated(10) << Knobs.repeated(6);
}

void TestQKVFixtureDefinition::cutsNeverSplitASurrogatePair()
{
    QFETCH(QString, name);
    QFETCH(QString, fixtureShort);
    QFETCH(QString, channelShort);

    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setManufacturer(name);
    definition.applyAutoShortNames();
    QCOMPARE(definition.shortName(), fixtureShort);
    QCOMPARE(definition.manufacturerShort(), fixtureShort);

    QKVFixtureChannel channel;
    channel.setName(name);
    channel.applyAutoShortName();
    QCOMPARE(channel.shortName(), channelShort);

    // The hand-made channel short name goes through the same cut.
    QKVFixtureChannel typed;
    typed.setShortName(name);
    QCOMPARE(typed.shortName(), channelShort);
    QVERIFY(!typed.shortName().isEmpty() && !typed.shortName().back().isHighSurrogate());

    // A short name that is what the cut gives counts as derived.
    QKVFixtureDefinition fromDevice;
    fromDevice.setName(name);
    fromDevice.setShortName(fixtureShort);
    fromDevice.setAutoShortName(false);
    fromDevice.deriveAutoFlags();
    QVERIFY(fromDevice.autoShortName());
}

void TestQKVFixtureDefinition::derivingAutoFlagsOnlyEverTurnsThemOn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortName");
    QTest::addColumn<bool>("flagBefore");
    QTest::addColumn<bool>("fixtureFlagAfter");
    QTest::addColumn<bool>("channelFlagAfter");

    QTest::newRow("equal, off -> on") << "Spot"
                                      << "Spot" << false << true << true;
    QTest::newRow("both empty -> on") << ""
                                      << "" << false << true << true;
    QTest::newRow("differs, off stays off") << "Spot 250"
                                            << "S250" << false << false << false;
    QTest::newRow("differs, on is never cleared") << "Spot 250"
                                                  << "S250" << true << true << true;
    QTest::newRow("start of a long name") << Alphabet << "ABCDEFGHIJKLMNOPQRST" << false << true << true;
    QTest::newRow("channel-length start") << Alphabet << "ABCDEFGHIJKL" << false << false << true;
    // The fixture short name is compared as stored; the whole name is not its start.
    QTest::newRow("whole long name") << Alphabet << Alphabet << false << false << true;
    QTest::newRow("case differs") << "Spot"
                                  << "SPOT" << false << false << false;
}

void TestQKVFixtureDefinition::derivingAutoFlagsOnlyEverTurnsThemOn()
{
    QFETCH(QString, name);
    QFETCH(QString, shortName);
    QFETCH(bool, flagBefore);
    QFETCH(bool, fixtureFlagAfter);
    QFETCH(bool, channelFlagAfter);

    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setShortName(shortName);
    definition.setAutoShortName(flagBefore);
    definition.setManufacturer(name);
    definition.setManufacturerShort(shortName);
    definition.setAutoManufacturerShort(flagBefore);
    definition.deriveAutoFlags();
    QCOMPARE(definition.autoShortName(), fixtureFlagAfter);
    QCOMPARE(definition.autoManufacturerShort(), fixtureFlagAfter);
    // Deriving a flag never rewrites the short name itself.
    QCOMPARE(definition.shortName(), shortName);

    QKVFixtureChannel channel;
    channel.setName(name);
    channel.setShortName(shortName);
    channel.setAutoShortName(flagBefore);
    channel.deriveAutoFlag();
    QCOMPARE(channel.autoShortName(), channelFlagAfter);
}

void TestQKVFixtureDefinition::erasedDeviceNamesBecomeEmpty_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cleared");

    const QChar erased(0x00FF);
    QTest::newRow("starts erased") << QString(100, erased) << "";
    QTest::newRow("one erased character") << QString(erased) << "";
    QTest::newRow("erased start, text after") << QString(erased) + "Spot"
                                              << "";
    QTest::newRow("y-diaeresis later stays") << "Spot" + QString(erased) << "Spot" + QString(erased);
    QTest::newRow("empty stays") << ""
                                 << "";
    QTest::newRow("ordinary name stays") << "Spot"
                                         << "Spot";
}

void TestQKVFixtureDefinition::erasedDeviceNamesBecomeEmpty()
{
    QFETCH(QString, name);
    QFETCH(QString, cleared);
    const QString erasedShort = QString(QChar(0x00FF)) + "S";

    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setManufacturer(name);
    definition.setShortName(erasedShort);
    definition.setManufacturerShort(erasedShort);
    definition.clearErasedNames();
    QCOMPARE(definition.name(), cleared);
    QCOMPARE(definition.manufacturer(), cleared);
    QCOMPARE(definition.shortName(), erasedShort);
    QCOMPARE(definition.manufacturerShort(), erasedShort);

    QKVFixtureChannel channel;
    channel.setName(name);
    channel.setShortName(erasedShort);
    channel.clearErasedName();
    QCOMPARE(channel.name(), cleared);
    QCOMPARE(channel.shortName(), erasedShort);
}

void TestQKVFixtureDefinition::assignmentGivesTheTargetItsOwnChannels()
{
    ListModel model;
    QKVFixtureDefinition source;
    source.setName("Spot 250");
    source.setShortName("S250");
    source.setAutoShortName(false);
    source.setManufacturer("Acme Lighting");
    source.setManufacturerShort("Acme");
    source.setAutoManufacturerShort(false);
    source.setType(7);
    source.setListPosition(&model, model.index(3, 0));
    source.appendChannel(makeChannel(1, "Pan", "", true));
    source.appendChannel(makeChannel(5, "Pan fine adjust", "Pan fine", false));

    QKVFixtureDefinition target;
    target = source;

    QCOMPARE(target.name(), QStringLiteral("Spot 250"));
    QCOMPARE(target.shortName(), QStringLiteral("S250"));
    QVERIFY(!target.autoShortName());
    QCOMPARE(target.manufacturer(), QStringLiteral("Acme Lighting"));
    QCOMPARE(target.manufacturerShort(), QStringLiteral("Acme"));
    QVERIFY(!target.autoManufacturerShort());
    QCOMPARE(target.type(), 7);
    QCOMPARE(target.listModel(), static_cast<QAbstractItemModel*>(&model));
    QCOMPARE(target.listIndex(), model.index(3, 0));
    QCOMPARE(target.channelCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const QKVFixtureChannel* copy = target.channels().at(i);
        const QKVFixtureChannel* original = source.channels().at(i);
        QVERIFY(copy != original);
        QCOMPARE(copy->number(), original->number());
        QCOMPARE(copy->name(), original->name());
        QCOMPARE(copy->shortName(), original->shortName());
        QCOMPARE(copy->autoShortName(), original->autoShortName());
    }

    target.channels().at(1)->setName("Tilt");
    target.channels().at(1)->setShortName("T");
    target.channels().at(1)->setNumber(9);
    target.channels().at(1)->setAutoShortName(true);
    QCOMPARE(source.channels().at(1)->name(), QStringLiteral("Pan fine adjust"));
    QCOMPARE(source.channels().at(1)->shortName(), QStringLiteral("Pan fine"));
    QCOMPARE(source.channels().at(1)->number(), 5);
    QVERIFY(!source.channels().at(1)->autoShortName());

    // Destroying the source must leave the target's channels alive (no sharing).
    source.clearChannels();
    QCOMPARE(target.channels().at(0)->name(), QStringLiteral("Pan"));
}

void TestQKVFixtureDefinition::assignmentFreesTheReplacedChannels()
{
    QKVFixtureDefinition source;
    source.appendChannel(makeChannel(1, "Dimmer", "", true));

    QKVFixtureDefinition target;
    target.appendChannel(makeChannel(1, "Red", "", true));
    target.appendChannel(makeChannel(2, "Green", "", true));
    const QPointer<QKVFixtureChannel> red = target.channels().at(0);
    const QPointer<QKVFixtureChannel> green = target.channels().at(1);

    target = source;
    QVERIFY(red.isNull());
    QVERIFY(green.isNull());
    QCOMPARE(target.channelCount(), 1);
    QCOMPARE(target.channels().at(0)->name(), QStringLiteral("Dimmer"));

    // Assigning an empty definition leaves an empty channel list, and frees again.
    const QPointer<QKVFixtureChannel> dimmer = target.channels().at(0);
    target = QKVFixtureDefinition();
    QVERIFY(dimmer.isNull());
    QCOMPARE(target.channelCount(), 0);
}

void TestQKVFixtureDefinition::selfAssignmentKeepsTheChannels()
{
    QKVFixtureDefinition definition;
    definition.setName("Spot");
    definition.appendChannel(makeChannel(1, "Pan", "", true));
    const QPointer<QKVFixtureChannel> pan = definition.channels().at(0);

    QKVFixtureDefinition& alias = definition;
    definition = alias;
    QVERIFY(!pan.isNull());
    QCOMPARE(definition.channelCount(), 1);
    QCOMPARE(definition.channels().at(0), pan.data());
    QCOMPARE(definition.name(), QStringLiteral("Spot"));
}

void TestQKVFixtureDefinition::copyConstructionCopiesEveryField()
{
    ListModel model;
    QObject owner;
    auto* source = new QKVFixtureDefinition(&owner);
    source->setName("Spot 250");
    source->setShortName("S250");
    source->setAutoShortName(false);
    source->setManufacturer("Acme Lighting");
    source->setManufacturerShort("Acme");
    source->setAutoManufacturerShort(false);
    source->setType(200);
    source->setListPosition(&model, model.index(2, 0));
    source->appendChannel(makeChannel(3, "Dimmer", "Dim", false));

    const std::unique_ptr<QKVFixtureDefinition> copy = std::make_unique<QKVFixtureDefinition>(*source);
    QCOMPARE(copy->parent(), &owner);
    QCOMPARE(copy->name(), source->name());
    QCOMPARE(copy->shortName(), source->shortName());
    QCOMPARE(copy->autoShortName(), false);
    QCOMPARE(copy->manufacturer(), source->manufacturer());
    QCOMPARE(copy->manufacturerShort(), source->manufacturerShort());
    QCOMPARE(copy->autoManufacturerShort(), false);
    QCOMPARE(copy->type(), 200);
    QCOMPARE(copy->listModel(), static_cast<QAbstractItemModel*>(&model));
    QCOMPARE(copy->listIndex(), model.index(2, 0));
    QCOMPARE(copy->channelCount(), 1);
    QVERIFY(copy->channels().at(0) != source->channels().at(0));
    QCOMPARE(copy->channels().at(0)->number(), 3);
    QCOMPARE(copy->channels().at(0)->name(), QStringLiteral("Dimmer"));
    QCOMPARE(copy->channels().at(0)->shortName(), QStringLiteral("Dim"));
    QVERIFY(!copy->channels().at(0)->autoShortName());

    // The copy's channels outlive the source.
    delete source;
    QCOMPARE(copy->channels().at(0)->name(), QStringLiteral("Dimmer"));
}

void TestQKVFixtureDefinition::channelCopyLeavesTheRenumberMarkBehind()
{
    QObject owner;
    QKVFixtureChannel* source = makeChannel(4, "Zoom", "Zm", false);
    source->setParent(&owner);
    source->setRenumberMark(true);

    const QKVFixtureChannel copy(*source);
    QCOMPARE(copy.number(), 4);
    QCOMPARE(copy.name(), QStringLiteral("Zoom"));
    QCOMPARE(copy.shortName(), QStringLiteral("Zm"));
    QVERIFY(!copy.autoShortName());
    QVERIFY(!copy.renumberMark());
    QVERIFY(copy.parent() == nullptr);

    QKVFixtureChannel assigned;
    assigned = *source;
    QVERIFY(!assigned.renumberMark());
    QCOMPARE(assigned.number(), 4);
}

void TestQKVFixtureDefinition::settersPushNameAndManufacturerIntoTheListRow()
{
    ListModel model;
    QKVFixtureDefinition definition;

    // Not shown by a model yet: nothing to push into.
    definition.setName("Before");
    QVERIFY(model.edits.isEmpty());

    definition.setListPosition(&model, model.index(3, 0));
    definition.setName("Spot");
    definition.setShortName("S");
    definition.setManufacturer("Acme");
    definition.setManufacturerShort("A");

    QCOMPARE(model.edits.size(), 4);
    const QList<QPair<int, QString>> expected {{0, "Spot"}, {0, "Spot"}, {2, "Acme"}, {2, "Acme"}};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(model.edits.at(i).row, 3);
        QCOMPARE(model.edits.at(i).column, expected.at(i).first);
        QCOMPARE(model.edits.at(i).value, expected.at(i).second);
    }
}

void TestQKVFixtureDefinition::definitionOutlivingItsListModelStopsPushing()
{
    QKVFixtureDefinition definition;
    {
        ListModel model;
        definition.setListPosition(&model, model.index(1, 0));
    }
    // The model is gone; a push into it would be a use after free.
    definition.setName("Spot");
    definition.setManufacturer("Acme");
    QVERIFY(definition.listModel() == nullptr);
    QCOMPARE(definition.name(), QStringLiteral("Spot"));
}

void TestQKVFixtureDefinition::channelCountChangeIsSignalledWithTheListRow()
{
    ListModel model;
    QKVFixtureDefinition definition;
    definition.setListPosition(&model, model.index(4, 0));
    QSignalSpy spy(&definition, &QKVFixtureDefinition::nbrOfChannelChanged);
    definition.notifyChannelCountChanged();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).value<QModelIndex>(), model.index(4, 0));
}

void TestQKVFixtureDefinition::recordDecodesHeaderAndChannels()
{
    const QByteArray record = RecordBuilder(3)
                                  .name(terminated("Spot 250"))
                                  .shortName(terminated("S250"))
                                  .manufacturer(terminated("Acme Lighting"))
                                  .manufacturerShort(terminated("Acme Lighting"))
                                  .type(4)
                                  .channel(0, terminated("Pan"), terminated("Pan"))
                                  .channel(1, terminated("Pan fine"), terminated("Pan fine adjust"))
                                  .channel(2, terminated("Dim"), terminated("Caf\xe9"))
                                  .bytes();

    QKVFixtureDefinition definition;
    QVERIFY(definition.fromDeviceRecord(record));
    QCOMPARE(definition.name(), QStringLiteral("Spot 250"));
    QCOMPARE(definition.shortName(), QStringLiteral("S250"));
    QVERIFY(!definition.autoShortName());
    QCOMPARE(definition.manufacturer(), QStringLiteral("Acme Lighting"));
    QCOMPARE(definition.manufacturerShort(), QStringLiteral("Acme Lighting"));
    QVERIFY(definition.autoManufacturerShort());
    QCOMPARE(definition.type(), 4);

    QCOMPARE(definition.channelCount(), 3);
    const QKVFixtureChannel* pan = definition.channels().at(0);
    QCOMPARE(pan->number(), 1);
    QCOMPARE(pan->name(), QStringLiteral("Pan"));
    QCOMPARE(pan->shortName(), QStringLiteral("Pan"));
    QVERIFY(pan->autoShortName());
    const QKVFixtureChannel* fine = definition.channels().at(1);
    QCOMPARE(fine->number(), 2);
    QCOMPARE(fine->name(), QStringLiteral("Pan fine adjust"));
    QCOMPARE(fine->shortName(), QStringLiteral("Pan fine"));
    QVERIFY(!fine->autoShortName());
    const QKVFixtureChannel* third = definition.channels().at(2);
    QCOMPARE(third->number(), 3);
    QCOMPARE(third->name(), QString::fromUtf8("Café"));
    QCOMPARE(third->shortName(), QStringLiteral("Dim"));
    QVERIFY(!third->autoShortName());
}

void TestQKVFixtureDefinition::fullWidthFieldsReadWithoutTerminator()
{
    // Every field filled to its width with no zero byte: each read must stop at its
    // width, not run on into the next field.
    QByteArray name(100, 'N');
    name[0] = 'A';
    name[99] = 'Z';
    const QByteArray shortName = QByteArray(19, 's') + 'S';
    QByteArray manufacturer(100, 'm');
    manufacturer[99] = 'M';
    const QByteArray manufacturerShort = QByteArray(19, 'q') + 'Q';
    const QByteArray channelShort = QByteArray(11, 'c') + 'C';
    const QByteArray channelName = QByteArray(99, 'n') + 'E';

    const QByteArray record = RecordBuilder(2, char(0x41))
                                  .name(name)
                                  .shortName(shortName)
                                  .manufacturer(manufacturer)
                                  .manufacturerShort(manufacturerShort)
                                  .type(1)
                                  .channel(0, channelShort, channelName)
                                  .channel(1, channelShort, channelName)
                                  .bytes();

    QKVFixtureDefinition definition;
    QVERIFY(definition.fromDeviceRecord(record));
    QCOMPARE(definition.name(), QString::fromLatin1(name));
    QCOMPARE(definition.name().size(), 100);
    QCOMPARE(definition.shortName(), QString::fromLatin1(shortName));
    QCOMPARE(definition.manufacturer(), QString::fromLatin1(manufacturer));
    QCOMPARE(definition.manufacturerShort(), QString::fromLatin1(manufacturerShort));
    QCOMPARE(definition.channelCount(), 2);
    for (const QKVFixtureChannel* channel : definition.channels()) {
        QCOMPARE(channel->shortName(), QString::fromLatin1(channelShort));
        QCOMPARE(channel->name(), QString::fromLatin1(channelName));
    }
}

void TestQKVFixtureDefinition::erasedRecordFieldsAreCleared()
{
    const QByteArray erased(100, char(0xFF));
    const QByteArray record = RecordBuilder(3)
                                  .name(erased)
                                  .shortName(terminated("Spot"))
                                  .manufacturer(erased)
                                  .manufacturerShort(QByteArray(20, char(0xFF)))
                                  .channel(0, terminated("Dim"), erased)
                                  .channel(1, terminated(""), erased)
                                  .channel(2, QByteArray(12, char(0xFF)), erased)
                                  .bytes();

    QKVFixtureDefinition definition;
    QVERIFY(definition.fromDeviceRecord(record));
    QVERIFY(definition.name().isEmpty());
    QVERIFY(definition.manufacturer().isEmpty());
    // Short names are not checked for erasure; they no longer match the (empty) names.
    QCOMPARE(definition.shortName(), QStringLiteral("Spot"));
    QVERIFY(!definition.autoShortName());
    QCOMPARE(definition.manufacturerShort(), QString(20, QChar(0x00FF)));
    QVERIFY(!definition.autoManufacturerShort());

    QCOMPARE(definition.channelCount(), 3);
    const QKVFixtureChannel* named = definition.channels().at(0);
    QVERIFY(named->name().isEmpty());
    QCOMPARE(named->shortName(), QStringLiteral("Dim"));
    QVERIFY(!named->autoShortName());
    const QKVFixtureChannel* blank = definition.channels().at(1);
    QVERIFY(blank->name().isEmpty());
    QVERIFY(blank->shortName().isEmpty());
    QVERIFY(blank->autoShortName());
    const QKVFixtureChannel* allErased = definition.channels().at(2);
    QVERIFY(allErased->name().isEmpty());
    QCOMPARE(allErased->shortName(), QString(12, QChar(0x00FF)));
    QVERIFY(!allErased->autoShortName());
}

void TestQKVFixtureDefinition::recordTypeByteIsKeptUnchanged_data()
{
    QTest::addColumn<int>("typeByte");

    QTest::newRow("0") << 0;
    QTest::newRow("10") << 10;
    QTest::newRow("11") << 11;
    QTest::newRow("200") << 200;
    QTest::newRow("255 is not turned back into -1") << 255;
}

void TestQKVFixtureDefinition::recordTypeByteIsKeptUnchanged()
{
    QFETCH(int, typeByte);
    QKVFixtureDefinition definition;
    QVERIFY(definition.fromDeviceRecord(RecordBuilder(1).type(static_cast<quint8>(typeByte)).bytes()));
    QCOMPARE(definition.type(), typeByte);
}

void TestQKVFixtureDefinition::recordShortNamesDecideTheAutoFlags()
{
    const QByteArray record = RecordBuilder(4)
                                  .name(terminated("ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
                                  .shortName(QByteArray("ABCDEFGHIJKLMNOPQRST"))
                                  .manufacturer(terminated("Acme Lighting"))
                                  .manufacturerShort(terminated("ACME"))
                                  .channel(0, QByteArray("Color wheel "), terminated("Color wheel rotation"))
                                  .channel(1, terminated("CW rot"), terminated("Color wheel rotation"))
                                  .channel(2, terminated("Gobo"), terminated("Gobo"))
                                  .channel(3, terminated("gobo"), terminated("Gobo"))
                                  .bytes();

    QKVFixtureDefinition definition;
    QVERIFY(definition.fromDeviceRecord(record));
    QVERIFY(definition.autoShortName());
    QVERIFY(!definition.autoManufacturerShort());
    QCOMPARE(definition.manufacturerShort(), QStringLiteral("ACME"));
    const QList<bool> expected {true, false, true, false};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(definition.channels().at(i)->autoShortName(), expected.at(i));
    }
    QCOMPARE(definition.channels().at(1)->shortName(), QStringLiteral("CW rot"));
}

void TestQKVFixtureDefinition::recordWithoutChannelsDecodes()
{
    // The header alone, as a device with a zero channel count would send it.
    QKVFixtureDefinition definition;
    const QByteArray header = RecordBuilder(0).name(terminated("Empty")).bytes();
    QCOMPARE(header.size(), DeviceRecord::HeaderLength);
    QVERIFY(definition.fromDeviceRecord(header));
    QCOMPARE(definition.name(), QStringLiteral("Empty"));
    QCOMPARE(definition.channelCount(), 0);

    // A whole 5284-byte record declares how many of its slots are used.
    QVERIFY(definition.fromDeviceRecord(RecordBuilder(2).resize(DeviceRecord::RecordLength).bytes()));
    QCOMPARE(definition.channelCount(), 2);
    QVERIFY(definition.fromDeviceRecord(RecordBuilder(45).bytes()));
    QCOMPARE(definition.channelCount(), 45);
    QCOMPARE(definition.channels().last()->number(), 45);
}

void TestQKVFixtureDefinition::recordDecodingReplacesAndFreesOldChannels()
{
    QKVFixtureDefinition definition;
    definition.appendChannel(makeChannel(1, "Old", "", true));
    const QPointer<QKVFixtureChannel> old = definition.channels().at(0);

    QVERIFY(definition.fromDeviceRecord(RecordBuilder(2).channel(1, terminated("B"), terminated("Beam")).bytes()));
    QVERIFY(old.isNull());
    QCOMPARE(definition.channelCount(), 2);
    QCOMPARE(definition.channels().at(1)->name(), QStringLiteral("Beam"));
}

void TestQKVFixtureDefinition::tooShortRecordChangesNothing_data()
{
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray(1, 'x');
    QTest::newRow("header less one byte") << RecordBuilder(0).resize(DeviceRecord::HeaderLength - 1).bytes();
    QTest::newRow("one channel, slot less one byte")
        << RecordBuilder(1).resize(DeviceRecord::usedLength(1) - 1).bytes();
    QTest::newRow("three channels, header only") << RecordBuilder(3).resize(DeviceRecord::HeaderLength).bytes();
    QTest::newRow("three channels, two slots") << RecordBuilder(3).resize(DeviceRecord::usedLength(2)).bytes();
    QTest::newRow("count 46 in a full record")
        << RecordBuilder(45).channelCountByte(46).resize(DeviceRecord::RecordLength).bytes();
    QTest::newRow("count 255 in a full record")
        << RecordBuilder(45).channelCountByte(255).resize(DeviceRecord::RecordLength).bytes();
}

void TestQKVFixtureDefinition::tooShortRecordChangesNothing()
{
    QFETCH(QByteArray, record);
    // Fill the record with names so that a partial decode would show.
    for (int i = 0; i < qMin<int>(record.size(), DeviceRecord::HeaderLength - 4); ++i) {
        record[i] = 'x';
    }

    QKVFixtureDefinition definition;
    definition.setName("Keep");
    definition.setShortName("K");
    definition.setAutoShortName(false);
    definition.setManufacturer("Acme");
    definition.setType(3);
    definition.appendChannel(makeChannel(7, "Pan", "P", false));
    const QPointer<QKVFixtureChannel> pan = definition.channels().at(0);

    // Exactly the given bytes: a decode that reads past them hits the red zone.
    const std::unique_ptr<char[]> exact(new char[static_cast<size_t>(record.size()) + 1]);
    std::copy(record.cbegin(), record.cend(), exact.get());
    QVERIFY(!definition.fromDeviceRecord(QByteArray::fromRawData(exact.get(), record.size())));

    QCOMPARE(definition.name(), QStringLiteral("Keep"));
    QCOMPARE(definition.shortName(), QStringLiteral("K"));
    QVERIFY(!definition.autoShortName());
    QCOMPARE(definition.manufacturer(), QStringLiteral("Acme"));
    QVERIFY(definition.autoManufacturerShort());
    QCOMPARE(definition.type(), 3);
    QCOMPARE(definition.channelCount(), 1);
    QVERIFY(!pan.isNull());
    QCOMPARE(definition.channels().at(0), pan.data());
    QCOMPARE(pan->number(), 7);
}

QTEST_GUILESS_MAIN(TestQKVFixtureDefinition)
#include "TestQKVFixtureDefinition.moc"
