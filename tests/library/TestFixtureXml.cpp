#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cstring>
#include <memory>

namespace {

const QString DataDir = QStringLiteral(QRD_TEST_DATA_DIR);

QByteArray readData(const QString& name)
{
    QFile file(DataDir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing test data file %s", qPrintable(name));
    }
    return file.readAll();
}

/// One document parsed the way the library archive does it: bytes copied into the
/// loader's buffer, then load(), counting the unsupported-content reports.
struct Parsed
{
    std::unique_ptr<QKVFixtureDefinitionLoader> loader;
    int reports = 0;

    const QList<QKVFixtureDefinition*>& definitions() const { return loader->definitions(); }
    const QKVFixtureDefinition* at(int i) const { return loader->definitions().at(i); }
};

Parsed parse(const QByteArray& document)
{
    Parsed parsed;
    parsed.loader = std::make_unique<QKVFixtureDefinitionLoader>();
    QSignalSpy spy(parsed.loader.get(), &QKVFixtureDefinitionLoader::unsupportedContent);
    std::memcpy(parsed.loader->buffer(document.size()), document.constData(), static_cast<size_t>(document.size()));
    parsed.loader->load();
    parsed.reports = static_cast<int>(spy.size());
    return parsed;
}

/// A document in the root element, with the declaration the writer puts first.
QByteArray inRoot(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KorvaneFixtureDefinition>\n" + body
        + "\n</KorvaneFixtureDefinition>\n";
}

QKVFixtureChannel* makeChannel(int number, const QString& name, const QString& shortName, bool autoShortName)
{
    auto* channel = new QKVFixtureChannel;
    channel->setNumber(number);
    channel->setName(name);
    channel->setShortName(shortName);
    channel->setAutoShortName(autoShortName);
    return channel;
}

/// The definition the example document describes.
std::unique_ptr<QKVFixtureDefinition> spot250()
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName("Spot 250");
    definition->setManufacturer("Acme Lighting");
    definition->setType(0);
    definition->appendChannel(makeChannel(1, "Pan", "", true));
    definition->appendChannel(makeChannel(2, "Pan fine adjust", "Pan fine", false));
    return definition;
}

QList<QByteArray> lines(const QByteArray& document)
{
    return document.split('\n');
}

/// Writes the definition and reads it back; exactly one definition must come out.
std::unique_ptr<QKVFixtureDefinition> roundTrip(const QKVFixtureDefinition& definition)
{
    const Parsed parsed = parse(QKVFixtureDefinitionXMLExporter::toXml(definition));
    if (parsed.definitions().size() != 1) {
        return nullptr;
    }
    return std::make_unique<QKVFixtureDefinition>(*parsed.at(0));
}

void compareChannel(
    const QKVFixtureChannel* channel, int number, const QString& name, const QString& shortName, bool autoShortName)
{
    QVERIFY(channel);
    QCOMPARE(channel->number(), number);
    QCOMPARE(channel->name(), name);
    QCOMPARE(channel->shortName(), shortName);
    QCOMPARE(channel->autoShortName(), autoShortName);
}

QByteArray nested(const QByteArray& element, int depth)
{
    return QByteArray("<" + element + ">").repeated(depth) + QByteArray("</" + element + ">").repeated(depth);
}

} // namespace

/// The fixture definition document: the writer's exact bytes, and the reader over the
/// writer's output, the wider hand-written form and hostile input.
class TestFixtureXml : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Writing
    void writerOutputMatchesTheExampleByteForByte();
    void writerReplacesWhatTheArrayHeld();
    void writerEscapesMarkupInNames();
    void typeElementFollowsTheCode_data();
    void typeElementFollowsTheCode();
    void shortNamesAreWrittenOnlyWhenHandMade();
    void channelsAndReferencesFollowListOrder();

    // Reading
    void exampleReadsBack();
    void typeTextRules_data();
    void typeTextRules();
    void eachPersonalityBecomesADefinition();
    void furtherPersonalitiesAreNamedAfterThePreviousOne();
    void unsupportedContentIsReportedOncePerElement_data();
    void unsupportedContentIsReportedOncePerElement();
    void unsupportedElementLeavesTheRestReadable();
    void referenceMatchingNoChannelAddsNothing();
    void personalityLevelChannelsAreNumberedAfterTheLastOne();
    void referenceWithoutUsableNumberGetsZero_data();
    void referenceWithoutUsableNumberGetsZero();
    void documentsThatYieldNoDefinition_data();
    void documentsThatYieldNoDefinition();
    void elementAfterAPersonalityEndsTheParseKeepingDefinitions();
    void loaderParsesAndReportsOnce();

    // Channels that the name-based references used to lose
    void channelWithEmptyNameSurvivesWriteAndRead();
    void sameNamedChannelsKeepTheirOwnShortNames();
    void emptyReferenceMatchesUnnamedChannel();
    void laterPersonalityMayReferToTheSameChannels();
    void moreReferencesThanChannelsReuseTheFirst();
    void namesSurviveWriteAndRead_data();
    void namesSurviveWriteAndRead();
    void carriageReturnInAReferenceIsACharacterReference();
    void charactersXmlCannotCarryAreDroppedNotTheChannel_data();
    void charactersXmlCannotCarryAreDroppedNotTheChannel();

    // Hostile and damaged documents
    void malformedDocumentsStopCleanly_data();
    void malformedDocumentsStopCleanly();
    void truncatedDocumentYieldsTheWholeDefinitionOrNothing();
    void invalidUtf8NeverCrashes();
    void deeplyNestedElementsStopTheParse_data();
    void deeplyNestedElementsStopTheParse();
    void hugeNamesAreReadWhole();
};

void TestFixtureXml::writerOutputMatchesTheExampleByteForByte()
{
    const QByteArray expected = readData("Spot250.xml");
    const QByteArray written = QKVFixtureDefinitionXMLExporter::toXml(*spot250());
    if (written != expected) {
        qWarning("written:\n%s", written.constData());
    }
    QCOMPARE(written, expected);
    // Twelve lines, each ended by a line feed, and nothing after the last one.
    QCOMPARE(written.count('\n'), 12);
    QVERIFY(written.endsWith("</KorvaneFixtureDefinition>\n"));
    QVERIFY(!written.contains('\r'));
}

void TestFixtureXml::writerReplacesWhatTheArrayHeld()
{
    QByteArray document("left over from the definition before, longer than one line of the next");
    QKVFixtureDefinitionXMLExporter exporter;
    exporter.exportDefinition(*spot250(), document);
    QCOMPARE(document, readData("Spot250.xml"));
}

void TestFixtureXml::writerEscapesMarkupInNames()
{
    QKVFixtureDefinition definition;
    definition.setManufacturer("M&M <1> \"q\" 'a'");
    definition.setManufacturerShort("&");
    definition.setAutoManufacturerShort(false);
    definition.setName("<Spot>");
    definition.appendChannel(makeChannel(1, "R&D \"x\" <y>", "<>", false));

    const QList<QByteArray> written = lines(QKVFixtureDefinitionXMLExporter::toXml(definition));
    QCOMPARE(written.at(2),
             QByteArray("    <Manufacturer Name=\"M&amp;M &lt;1&gt; &quot;q&quot; 'a'\" ShortName=\"&amp;\"/>"));
    QCOMPARE(written.at(3), QByteArray("    <Model Name=\"&lt;Spot&gt;\"/>"));
    QCOMPARE(written.at(4),
             QByteArray("    <DMXChannel Name=\"R&amp;D &quot;x&quot; &lt;y&gt;\" ShortName=\"&lt;&gt;\"/>"));
    QCOMPARE(written.at(6),
             QByteArray("        <DMXChannelRef Number=\"1\">R&amp;D &quot;x&quot; &lt;y&gt;</DMXChannelRef>"));

    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(back->manufacturer(), definition.manufacturer());
    QCOMPARE(back->manufacturerShort(), QStringLiteral("&"));
    QCOMPARE(back->name(), QStringLiteral("<Spot>"));
    QCOMPARE(back->channelCount(), 1);
    compareChannel(back->channels().at(0), 1, "R&D \"x\" <y>", "<>", false);
}

void TestFixtureXml::typeElementFollowsTheCode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("line"); // empty: no Type element

    QTest::newRow("-1 writes no element") << -1 << QByteArray();
    QTest::newRow("0") << 0 << QByteArray("    <Type>Moving Head</Type>");
    QTest::newRow("3") << 3 << QByteArray("    <Type>Color Changer</Type>");
    QTest::newRow("10") << 10 << QByteArray("    <Type>Other</Type>");
    QTest::newRow("11") << 11 << QByteArray("    <Type>Undefined</Type>");
    QTest::newRow("200 from a device") << 200 << QByteArray("    <Type>Undefined</Type>");
    QTest::newRow("255 from a device") << 255 << QByteArray("    <Type>Undefined</Type>");
    QTest::newRow("-2") << -2 << QByteArray("    <Type>Undefined</Type>");
}

void TestFixtureXml::typeElementFollowsTheCode()
{
    QFETCH(int, type);
    QFETCH(QByteArray, line);

    auto definition = spot250();
    definition->setType(type);
    const QByteArray written = QKVFixtureDefinitionXMLExporter::toXml(*definition);
    if (line.isEmpty()) {
        QVERIFY(!written.contains("Type"));
        QCOMPARE(lines(written).at(4), QByteArray("    <DMXChannel Name=\"Pan\"/>"));
    } else {
        QCOMPARE(lines(written).at(4), line);
    }
}

void TestFixtureXml::shortNamesAreWrittenOnlyWhenHandMade()
{
    // Stale short names behind flags that are on are not written; nothing is recomputed.
    QKVFixtureDefinition automatic;
    automatic.setName("Spot");
    automatic.setShortName("stale");
    automatic.setManufacturer("Acme");
    automatic.setManufacturerShort("stale");
    automatic.appendChannel(makeChannel(1, "Pan", "stale", true));
    const QByteArray autoWritten = QKVFixtureDefinitionXMLExporter::toXml(automatic);
    QVERIFY(!autoWritten.contains("ShortName"));
    QVERIFY(!autoWritten.contains("stale"));

    // Hand-made short names are written as stored, even empty or longer than derived.
    QKVFixtureDefinition handMade;
    handMade.setName("Spot");
    handMade.setShortName("A short name of thirty letters");
    handMade.setAutoShortName(false);
    handMade.setManufacturer("Acme");
    handMade.setAutoManufacturerShort(false);
    handMade.appendChannel(makeChannel(1, "Pan", "", false));
    const QList<QByteArray> written = lines(QKVFixtureDefinitionXMLExporter::toXml(handMade));
    QCOMPARE(written.at(2), QByteArray("    <Manufacturer Name=\"Acme\" ShortName=\"\"/>"));
    QCOMPARE(written.at(3), QByteArray("    <Model Name=\"Spot\" ShortName=\"A short name of thirty letters\"/>"));
    QCOMPARE(written.at(4), QByteArray("    <DMXChannel Name=\"Pan\" ShortName=\"\"/>"));

    const auto back = roundTrip(handMade);
    QVERIFY(back);
    QVERIFY(!back->autoShortName());
    QCOMPARE(back->shortName(), QStringLiteral("A short name of thirty letters"));
    QVERIFY(!back->autoManufacturerShort());
    QVERIFY(back->manufacturerShort().isEmpty());
    QVERIFY(!back->channels().at(0)->autoShortName());
}

void TestFixtureXml::channelsAndReferencesFollowListOrder()
{
    QKVFixtureDefinition definition;
    definition.setName("Order");
    definition.appendChannel(makeChannel(5, "Five", "", true));
    definition.appendChannel(makeChannel(1, "One", "", true));
    definition.appendChannel(makeChannel(1000, "", "", true));
    const QList<QByteArray> written = lines(QKVFixtureDefinitionXMLExporter::toXml(definition));
    const QList<QByteArray> expected {
        "    <DMXChannel Name=\"Five\"/>",
        "    <DMXChannel Name=\"One\"/>",
        "    <DMXChannel Name=\"\"/>",
        "    <Personality>",
        "        <DMXChannelRef Number=\"5\">Five</DMXChannelRef>",
        "        <DMXChannelRef Number=\"1\">One</DMXChannelRef>",
        "        <DMXChannelRef Number=\"1000\"/>",
        "    </Personality>",
        "</KorvaneFixtureDefinition>",
        "",
    };
    QCOMPARE(written.mid(4), expected);
}

void TestFixtureXml::exampleReadsBack()
{
    const Parsed parsed = parse(readData("Spot250.xml"));
    QCOMPARE(parsed.reports, 0);
    QVERIFY(parsed.loader->wellFormed());
    QCOMPARE(parsed.definitions().size(), 1);
    const QKVFixtureDefinition* definition = parsed.at(0);
    QCOMPARE(definition->name(), QStringLiteral("Spot 250"));
    QVERIFY(definition->autoShortName());
    QVERIFY(definition->shortName().isEmpty());
    QCOMPARE(definition->manufacturer(), QStringLiteral("Acme Lighting"));
    QVERIFY(definition->autoManufacturerShort());
    QVERIFY(definition->manufacturerShort().isEmpty());
    QCOMPARE(definition->type(), 0);
    QCOMPARE(definition->channelCount(), 2);
    compareChannel(definition->channels().at(0), 1, "Pan", "", true);
    compareChannel(definition->channels().at(1), 2, "Pan fine adjust", "Pan fine", false);
}

void TestFixtureXml::typeTextRules_data()
{
    QTest::addColumn<QByteArray>("typeElement");
    QTest::addColumn<int>("type");

    QTest::newRow("written name") << QByteArray("<Type>Moving Head</Type>") << 0;
    QTest::newRow("lower case") << QByteArray("<Type>moving head</Type>") << 0;
    QTest::newRow("editor's misspelling") << QByteArray("<Type>Color Chnager</Type>") << 3;
    QTest::newRow("Undefined") << QByteArray("<Type>Undefined</Type>") << -1;
    QTest::newRow("no Type element") << QByteArray() << -1;
    QTest::newRow("unknown word") << QByteArray("<Type>Fog machine</Type>") << -1;
    QTest::newRow("entity in the text") << QByteArray("<Type>Smoke &amp; Haze</Type>") << 8;
    QTest::newRow("CDATA") << QByteArray("<Type><![CDATA[Laser]]></Type>") << 5;
    QTest::newRow("padded") << QByteArray("<Type>\n        Strobe\n    </Type>") << 6;
    QTest::newRow("last Type wins") << QByteArray("<Type>Dimmer</Type><Type>Hazer</Type>") << 7;
}

void TestFixtureXml::typeTextRules()
{
    QFETCH(QByteArray, typeElement);
    QFETCH(int, type);

    const Parsed parsed = parse(inRoot("<Model Name=\"T\"/>" + typeElement
                                       + "<DMXChannel Name=\"Dim\"/><Personality><DMXChannelRef "
                                         "Number=\"1\">Dim</DMXChannelRef></Personality>"));
    QCOMPARE(parsed.definitions().size(), 1);
    QCOMPARE(parsed.at(0)->type(), type);
    QCOMPARE(parsed.at(0)->channelCount(), 1);
    QCOMPARE(parsed.reports, 0);
}

void TestFixtureXml::eachPersonalityBecomesADefinition()
{
    const Parsed parsed = parse(readData("TwoPersonalities.xml"));
    QCOMPARE(parsed.reports, 1);
    QCOMPARE(parsed.definitions().size(), 2);

    const QKVFixtureDefinition* a = parsed.at(0);
    QCOMPARE(a->name(), QStringLiteral("Wash 575"));
    QCOMPARE(a->shortName(), QStringLiteral("W575"));
    QCOMPARE(a->manufacturer(), QStringLiteral("Acme Lighting"));
    QCOMPARE(a->manufacturerShort(), QStringLiteral("Acme"));
    QCOMPARE(a->type(), 2);
    QCOMPARE(a->channelCount(), 2);
    compareChannel(a->channels().at(0), 1, "Dimmer", "", true);
    compareChannel(a->channels().at(1), 2, "Red", "R", false);

    const QKVFixtureDefinition* b = parsed.at(1);
    QCOMPARE(b->name(), QStringLiteral("Wash 575@B"));
    QCOMPARE(b->shortName(), QStringLiteral("W575@B"));
    QVERIFY(!b->autoShortName());
    QCOMPARE(b->manufacturer(), QStringLiteral("Acme Lighting"));
    QCOMPARE(b->manufacturerShort(), QStringLiteral("Acme"));
    QVERIFY(!b->autoManufacturerShort());
    QCOMPARE(b->type(), 2);
    QCOMPARE(b->channelCount(), 4);
    compareChannel(b->channels().at(0), 1, "Red", "R", false);
    compareChannel(b->channels().at(1), 2, "Green", "", true);
    compareChannel(b->channels().at(2), 3, "Blue", "", true);
    compareChannel(b->channels().at(3), 4, "Dimmer", "", true);

    // Each definition has channel objects of its own.
    for (const QKVFixtureChannel* channel : b->channels()) {
        QVERIFY(!a->channels().contains(const_cast<QKVFixtureChannel*>(channel)));
    }
}

void TestFixtureXml::furtherPersonalitiesAreNamedAfterThePreviousOne()
{
    const Parsed parsed
        = parse(inRoot("<Model Name=\"Spot\" ShortName=\"S\"/><DMXChannel Name=\"Dim\"/>"
                       "<Personality Name=\"A\"><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>"
                       "<Personality Name=\"B\"/>"
                       "<Personality><DMXChannelRef Number=\"2\">Dim</DMXChannelRef></Personality>"
                       "<Personality Name=\"C\"/>"));
    QCOMPARE(parsed.reports, 3);
    QCOMPARE(parsed.definitions().size(), 4);
    // Each further personality starts from the definition before it, name included.
    const QStringList names {"Spot", "Spot@B", "Spot@B@", "Spot@B@@C"};
    const QStringList shortNames {"S", "S@B", "S@B@", "S@B@@C"};
    const QList<int> channelCounts {1, 0, 1, 0};
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(parsed.at(i)->name(), names.at(i));
        QCOMPARE(parsed.at(i)->shortName(), shortNames.at(i));
        QCOMPARE(parsed.at(i)->channelCount(), channelCounts.at(i));
    }
    QCOMPARE(parsed.at(2)->channels().at(0)->number(), 2);
}

void TestFixtureXml::unsupportedContentIsReportedOncePerElement_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("reports");

    const QByteArray channels = "<DMXChannel Name=\"Dim\"/>";
    const QByteArray personality = "<Personality><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>";
    QTest::newRow("element with text in the root") << channels + "<Comment>note</Comment>" + personality << 1;
    QTest::newRow("empty element in the root") << "<Comment/>" + channels + personality << 1;
    QTest::newRow("two elements") << "<Comment/>" + channels + "<Notes/>" + personality << 2;
    QTest::newRow("nested elements each count") << "<Comment><Line/><Line/></Comment>" + channels + personality << 3;
    QTest::newRow("element in the personality")
        << channels + "<Personality><Mode/><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>" << 1;
    QTest::newRow("unknown attributes are silent")
        << QByteArray("<Model Name=\"X\" Weight=\"20 kg\"/><DMXChannel Name=\"Dim\" Range=\"0-255\"/>"
                      "<Personality Mode=\"basic\"><DMXChannelRef Number=\"1\" Fine=\"no\">Dim</DMXChannelRef>"
                      "</Personality>")
        << 0;
    QTest::newRow("elements inside Type are ignored") << "<Type><b>Dimmer</b></Type>" + channels + personality << 0;
    QTest::newRow("elements inside a reference are ignored")
        << channels + "<Personality><DMXChannelRef Number=\"1\"><i/>Dim</DMXChannelRef></Personality>" << 0;
    QTest::newRow("comments and processing instructions are not elements")
        << "<!-- note --><?editor hint?>" + channels + personality << 0;
}

void TestFixtureXml::unsupportedContentIsReportedOncePerElement()
{
    QFETCH(QByteArray, body);
    QFETCH(int, reports);

    const Parsed parsed = parse(inRoot(body));
    QCOMPARE(parsed.reports, reports);
    QCOMPARE(parsed.loader->unsupportedCount(), reports);
    QCOMPARE(parsed.definitions().size(), 1);
}

void TestFixtureXml::unsupportedElementLeavesTheRestReadable()
{
    const Parsed parsed = parse(readData("UnsupportedComment.xml"));
    QCOMPARE(parsed.reports, 1);
    QCOMPARE(parsed.definitions().size(), 1);
    const QKVFixtureDefinition* definition = parsed.at(0);
    QCOMPARE(definition->manufacturer(), QStringLiteral("Acme Lighting"));
    QCOMPARE(definition->name(), QStringLiteral("Spot 250"));
    QCOMPARE(definition->type(), 0);
    QCOMPARE(definition->channelCount(), 1);
    compareChannel(definition->channels().at(0), 1, "Pan", "", true);
}

void TestFixtureXml::referenceMatchingNoChannelAddsNothing()
{
    const Parsed parsed = parse(inRoot("<DMXChannel Name=\"Pan\"/><DMXChannel Name=\"Tilt\"/>"
                                       "<Personality>"
                                       "<DMXChannelRef Number=\"1\">Pan</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"2\">pan</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"3\">Zoom</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"4\"> Tilt</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"5\">Tilt</DMXChannelRef>"
                                       "</Personality>"));
    QCOMPARE(parsed.definitions().size(), 1);
    const QKVFixtureDefinition* definition = parsed.at(0);
    QCOMPARE(definition->channelCount(), 2);
    compareChannel(definition->channels().at(0), 1, "Pan", "", true);
    compareChannel(definition->channels().at(1), 5, "Tilt", "", true);
    QCOMPARE(parsed.reports, 0);
}

void TestFixtureXml::personalityLevelChannelsAreNumberedAfterTheLastOne()
{
    const Parsed parsed = parse(readData("PersonalityLevelChannels.xml"));
    QCOMPARE(parsed.reports, 0);
    QCOMPARE(parsed.definitions().size(), 1);
    const QKVFixtureDefinition* definition = parsed.at(0);
    QCOMPARE(definition->type(), 1);
    QCOMPARE(definition->channelCount(), 7);
    compareChannel(definition->channels().at(0), 7, "Pan", "", true);
    compareChannel(definition->channels().at(1), 8, "Tilt", "", true);
    compareChannel(definition->channels().at(2), 9, "Gobo wheel rotation", "Gobo wheel r", false);
    compareChannel(definition->channels().at(3), 20, "Shutter", "", true);
    compareChannel(definition->channels().at(4), 21, "Focus", "", true);
    compareChannel(definition->channels().at(5), 0, "Pan", "", true);
    compareChannel(definition->channels().at(6), 1, "Zoom", "", true);
}

void TestFixtureXml::referenceWithoutUsableNumberGetsZero_data()
{
    QTest::addColumn<QByteArray>("reference");

    QTest::newRow("no Number") << QByteArray("<DMXChannelRef>Dim</DMXChannelRef>");
    QTest::newRow("empty Number") << QByteArray("<DMXChannelRef Number=\"\">Dim</DMXChannelRef>");
    QTest::newRow("not a number") << QByteArray("<DMXChannelRef Number=\"one\">Dim</DMXChannelRef>");
    QTest::newRow("trailing garbage") << QByteArray("<DMXChannelRef Number=\"3a\">Dim</DMXChannelRef>");
    QTest::newRow("too large for an int") << QByteArray("<DMXChannelRef Number=\"99999999999\">Dim</DMXChannelRef>");
}

void TestFixtureXml::referenceWithoutUsableNumberGetsZero()
{
    QFETCH(QByteArray, reference);

    const Parsed parsed
        = parse(inRoot("<DMXChannel Name=\"Dim\"/><Personality><DMXChannelRef Number=\"7\">Dim</DMXChannelRef>"
                       + reference + "</Personality>"));
    QCOMPARE(parsed.definitions().size(), 1);
    QCOMPARE(parsed.at(0)->channelCount(), 2);
    QCOMPARE(parsed.at(0)->channels().at(1)->number(), 0);
}

void TestFixtureXml::documentsThatYieldNoDefinition_data()
{
    QTest::addColumn<QByteArray>("document");

    QTest::newRow("wrong root") << QByteArray(
        "<FixtureDefinition><Model Name=\"X\"/><Personality/></FixtureDefinition>");
    QTest::newRow("root name is case-sensitive")
        << QByteArray("<korvaneFixtureDefinition><Personality/></korvaneFixtureDefinition>");
    QTest::newRow("no personality") << inRoot("<Model Name=\"X\"/><DMXChannel Name=\"Dim\"/>");
    QTest::newRow("personality never closed")
        << QByteArray("<KorvaneFixtureDefinition><DMXChannel Name=\"Dim\"/><Personality><DMXChannelRef "
                      "Number=\"1\">Dim</DMXChannelRef>");
    QTest::newRow("reference directly in the root")
        << inRoot("<DMXChannel Name=\"Dim\"/><DMXChannelRef Number=\"1\">Dim</DMXChannelRef><Personality/>");
    QTest::newRow("empty document") << QByteArray();
    QTest::newRow("declaration only") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

void TestFixtureXml::documentsThatYieldNoDefinition()
{
    QFETCH(QByteArray, document);
    const Parsed parsed = parse(document);
    QVERIFY(parsed.definitions().isEmpty());
    QCOMPARE(parsed.reports, 0);
}

void TestFixtureXml::elementAfterAPersonalityEndsTheParseKeepingDefinitions()
{
    const Parsed parsed
        = parse(inRoot("<Model Name=\"Spot\"/><DMXChannel Name=\"Dim\"/>"
                       "<Personality><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>"
                       "<DMXChannel Name=\"Late\"/>"
                       "<Personality Name=\"B\"><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>"
                       "<Comment/>"));
    QVERIFY(!parsed.loader->wellFormed());
    QCOMPARE(parsed.definitions().size(), 1);
    QCOMPARE(parsed.at(0)->name(), QStringLiteral("Spot"));
    QCOMPARE(parsed.at(0)->channelCount(), 1);
    QCOMPARE(parsed.reports, 0);
}

void TestFixtureXml::loaderParsesAndReportsOnce()
{
    QKVFixtureDefinitionLoader loader;
    QSignalSpy spy(&loader, &QKVFixtureDefinitionLoader::unsupportedContent);
    loader.setDocument(readData("TwoPersonalities.xml"));
    loader.load();
    QCOMPARE(spy.size(), 1);
    const QList<QKVFixtureDefinition*> first = loader.definitions();
    QCOMPARE(first.size(), 2);

    loader.load();
    loader.parse();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(loader.definitions(), first);

    // Parsing first and reporting later reports exactly as often.
    QKVFixtureDefinitionLoader quiet;
    QSignalSpy quietSpy(&quiet, &QKVFixtureDefinitionLoader::unsupportedContent);
    quiet.setDocument(readData("UnsupportedComment.xml"));
    quiet.parse();
    QCOMPARE(quietSpy.size(), 0);
    QCOMPARE(quiet.unsupportedCount(), 1);
    quiet.load();
    quiet.load();
    QCOMPARE(quietSpy.size(), 1);
}

void TestFixtureXml::channelWithEmptyNameSurvivesWriteAndRead()
{
    QKVFixtureDefinition definition;
    definition.setName("Blank");
    definition.appendChannel(makeChannel(1, "Dimmer", "", true));
    definition.appendChannel(makeChannel(2, "", "Spare", false));
    definition.appendChannel(makeChannel(3, "", "", true));
    definition.appendChannel(makeChannel(4, "Strobe", "", true));

    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(back->channelCount(), 4);
    compareChannel(back->channels().at(0), 1, "Dimmer", "", true);
    compareChannel(back->channels().at(1), 2, "", "Spare", false);
    compareChannel(back->channels().at(2), 3, "", "", true);
    compareChannel(back->channels().at(3), 4, "Strobe", "", true);
}

void TestFixtureXml::sameNamedChannelsKeepTheirOwnShortNames()
{
    QKVFixtureDefinition definition;
    definition.setName("Quad");
    definition.appendChannel(makeChannel(1, "Dimmer", "Dim 1", false));
    definition.appendChannel(makeChannel(2, "Dimmer", "", true));
    definition.appendChannel(makeChannel(3, "Pan", "", true));
    definition.appendChannel(makeChannel(4, "Dimmer", "Dim 3", false));
    definition.appendChannel(makeChannel(5, "Pan", "P2", false));

    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(back->channelCount(), 5);
    compareChannel(back->channels().at(0), 1, "Dimmer", "Dim 1", false);
    compareChannel(back->channels().at(1), 2, "Dimmer", "", true);
    compareChannel(back->channels().at(2), 3, "Pan", "", true);
    compareChannel(back->channels().at(3), 4, "Dimmer", "Dim 3", false);
    compareChannel(back->channels().at(4), 5, "Pan", "P2", false);
}

void TestFixtureXml::emptyReferenceMatchesUnnamedChannel()
{
    const Parsed parsed = parse(inRoot("<DMXChannel Name=\"\" ShortName=\"First\"/>"
                                       "<DMXChannel ShortName=\"Second\"/>"
                                       "<Personality>"
                                       "<DMXChannelRef Number=\"1\"></DMXChannelRef>"
                                       "<DMXChannelRef Number=\"2\"/>"
                                       "</Personality>"));
    QCOMPARE(parsed.definitions().size(), 1);
    QCOMPARE(parsed.at(0)->channelCount(), 2);
    compareChannel(parsed.at(0)->channels().at(0), 1, "", "First", false);
    compareChannel(parsed.at(0)->channels().at(1), 2, "", "Second", false);
}

void TestFixtureXml::laterPersonalityMayReferToTheSameChannels()
{
    const Parsed parsed = parse(inRoot("<DMXChannel Name=\"Dim\" ShortName=\"D1\"/>"
                                       "<DMXChannel Name=\"Dim\" ShortName=\"D2\"/>"
                                       "<DMXChannel Name=\"\" ShortName=\"Spare\"/>"
                                       "<Personality Name=\"A\">"
                                       "<DMXChannelRef Number=\"1\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"2\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"3\"/>"
                                       "</Personality>"
                                       "<Personality Name=\"B\">"
                                       "<DMXChannelRef Number=\"1\"/>"
                                       "<DMXChannelRef Number=\"2\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"3\">Dim</DMXChannelRef>"
                                       "</Personality>"));
    QCOMPARE(parsed.definitions().size(), 2);
    const QKVFixtureDefinition* a = parsed.at(0);
    QCOMPARE(a->channelCount(), 3);
    compareChannel(a->channels().at(0), 1, "Dim", "D1", false);
    compareChannel(a->channels().at(1), 2, "Dim", "D2", false);
    compareChannel(a->channels().at(2), 3, "", "Spare", false);
    const QKVFixtureDefinition* b = parsed.at(1);
    QCOMPARE(b->channelCount(), 3);
    compareChannel(b->channels().at(0), 1, "", "Spare", false);
    compareChannel(b->channels().at(1), 2, "Dim", "D1", false);
    compareChannel(b->channels().at(2), 3, "Dim", "D2", false);
}

void TestFixtureXml::moreReferencesThanChannelsReuseTheFirst()
{
    const Parsed parsed = parse(inRoot("<DMXChannel Name=\"Dim\" ShortName=\"D1\"/>"
                                       "<DMXChannel Name=\"Pan\"/>"
                                       "<DMXChannel Name=\"Dim\" ShortName=\"D2\"/>"
                                       "<Personality>"
                                       "<DMXChannelRef Number=\"1\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"2\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"3\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"4\">Pan</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"5\">Pan</DMXChannelRef>"
                                       "</Personality>"));
    QCOMPARE(parsed.definitions().size(), 1);
    const QKVFixtureDefinition* definition = parsed.at(0);
    QCOMPARE(definition->channelCount(), 5);
    compareChannel(definition->channels().at(0), 1, "Dim", "D1", false);
    compareChannel(definition->channels().at(1), 2, "Dim", "D2", false);
    compareChannel(definition->channels().at(2), 3, "Dim", "D1", false);
    compareChannel(definition->channels().at(3), 4, "Pan", "", true);
    compareChannel(definition->channels().at(4), 5, "Pan", "", true);
}

void TestFixtureXml::namesSurviveWriteAndRead_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("Latin-1") << QString::fromUtf8("Façade Ñandú ÿ");
    QTest::newRow("CJK") << QString::fromUtf8("照明 ムービング");
    QTest::newRow("outside the BMP") << QString::fromUtf8("\xF0\x9F\x8E\x9B Knob \xF0\x9D\x84\x9E");
    QTest::newRow("apostrophes and quotes") << "it's \"on\"";
    QTest::newRow("markup") << "<a href=\"x\">&amp;</a> ]]>";
    QTest::newRow("leading and trailing spaces") << "  Pan  ";
    QTest::newRow("only spaces") << "   ";
    QTest::newRow("tab") << "Pan\tfine";
    QTest::newRow("line feed") << "Pan\nfine";
    QTest::newRow("carriage return") << "Pan\rfine";
    QTest::newRow("CR LF") << "Pan\r\nfine";
    QTest::newRow("trailing line feed") << "Pan\n";
    QTest::newRow("DEL and C1 controls") << QString::fromUtf8("a\x7f\xc2\x85z");
}

void TestFixtureXml::namesSurviveWriteAndRead()
{
    QFETCH(QString, name);

    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setShortName(name);
    definition.setAutoShortName(false);
    definition.setManufacturer(name);
    definition.appendChannel(makeChannel(1, name, name, false));
    definition.appendChannel(makeChannel(2, "Other", "", true));
    definition.appendChannel(makeChannel(3, name, "", true));

    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(back->name(), name);
    QCOMPARE(back->shortName(), name);
    QCOMPARE(back->manufacturer(), name);
    QCOMPARE(back->channelCount(), 3);
    compareChannel(back->channels().at(0), 1, name, definition.channels().at(0)->shortName(), false);
    compareChannel(back->channels().at(1), 2, "Other", "", true);
    compareChannel(back->channels().at(2), 3, name, "", true);
}

void TestFixtureXml::carriageReturnInAReferenceIsACharacterReference()
{
    QKVFixtureDefinition definition;
    definition.appendChannel(makeChannel(1, "Pan\r\nfine", "", true));
    const QList<QByteArray> written = lines(QKVFixtureDefinitionXMLExporter::toXml(definition));
    QCOMPARE(written.at(4), QByteArray("    <DMXChannel Name=\"Pan&#13;&#10;fine\"/>"));
    QCOMPARE(written.at(6), QByteArray("        <DMXChannelRef Number=\"1\">Pan&#13;"));
    QCOMPARE(written.at(7), QByteArray("fine</DMXChannelRef>"));
}

void TestFixtureXml::charactersXmlCannotCarryAreDroppedNotTheChannel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written");

    // Device names are Latin-1 bytes and may hold control characters; text from
    // elsewhere may hold anything a QString can.
    QTest::newRow("C0 control") << QString::fromLatin1("Pan\x01 fine") << "Pan fine";
    QTest::newRow("vertical tab and form feed") << QString::fromLatin1("a\x0b\x0c z") << "a z";
    QTest::newRow("escape") << QString::fromLatin1("\x1b[1mBold") << "[1mBold";
    QTest::newRow("NUL") << QString("a") + QChar(0) + "b"
                         << "ab";
    QTest::newRow("U+FFFE and U+FFFF") << QString("a") + QChar(0xFFFE) + QChar(0xFFFF) + "b"
                                       << "ab";
    QTest::newRow("unpaired high surrogate") << QString("a") + QChar(0xD800) + "b" << QString::fromUtf8("a\uFFFDb");
    QTest::newRow("unpaired low surrogate") << QString("a") + QChar(0xDC00) + "b" << QString::fromUtf8("a\uFFFDb");
    QTest::newRow("high surrogate at the end") << QString("ab") + QChar(0xD83C) << QString::fromUtf8("ab\uFFFD");
    QTest::newRow("reversed pair") << QString(QChar(0xDF9B)) + QChar(0xD83C) << QString::fromUtf8("\uFFFD\uFFFD");
    QTest::newRow("only controls") << QString::fromLatin1("\x01\x02") << "";
}

void TestFixtureXml::charactersXmlCannotCarryAreDroppedNotTheChannel()
{
    QFETCH(QString, name);
    QFETCH(QString, written);

    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setManufacturer(name);
    definition.setShortName(name);
    definition.setAutoShortName(false);
    definition.setType(4);
    definition.appendChannel(makeChannel(1, name, name, false));
    definition.appendChannel(makeChannel(2, "Strobe", "", true));

    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(back->name(), written);
    QCOMPARE(back->manufacturer(), written);
    QCOMPARE(back->shortName(), written);
    QCOMPARE(back->type(), 4);
    QCOMPARE(back->channelCount(), 2);
    QCOMPARE(back->channels().at(0)->name(), written);
    QCOMPARE(back->channels().at(1)->name(), QStringLiteral("Strobe"));
}

void TestFixtureXml::malformedDocumentsStopCleanly_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("stops"); // false: whether the parse goes on is the XML reader's matter

    const QByteArray good = readData("Spot250.xml");
    QTest::newRow("not XML") << QByteArray("Spot 250, Acme Lighting, 2 channels") << true;
    QTest::newRow("lone <") << QByteArray("<") << true;
    QTest::newRow("unclosed root") << QByteArray("<KorvaneFixtureDefinition>") << true;
    QTest::newRow("mismatched end tag") << QByteArray(good).replace("</Personality>", "</Personalty>") << true;
    QTest::newRow("unquoted attribute") << inRoot("<Model Name=Spot/>") << true;
    QTest::newRow("duplicate attribute") << inRoot("<Model Name=\"A\" Name=\"B\"/>") << true;
    QTest::newRow("undeclared entity") << inRoot("<Model Name=\"&nbsp;\"/>") << true;
    QTest::newRow("undeclared prefix") << inRoot("<x:Model Name=\"A\"/>") << true;
    QTest::newRow("NUL byte") << inRoot(QByteArray("<Model Name=\"A\0B\"/>", 19)) << true;
    QTest::newRow("control character reference") << inRoot("<Model Name=\"&#1;\"/>") << true;
    QTest::newRow("two roots") << good + good << true;
    QTest::newRow("unsupported encoding")
        << QByteArray("<?xml version=\"1.0\" encoding=\"x-unknown\"?><KorvaneFixtureDefinition/>") << true;
    QTest::newRow("UTF-16 byte order mark before UTF-8 bytes") << QByteArray("\xff\xfe") + good << true;
    QTest::newRow("exponential entities")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE k [<!ENTITY a \"aaaaaaaaaa\">"
                      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                      "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">"
                      "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\"><!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">]>"
                      "<KorvaneFixtureDefinition><Model Name=\"&i;\"/><DMXChannel Name=\"&i;\"/>"
                      "<Personality><DMXChannelRef Number=\"1\">&i;</DMXChannelRef></Personality>"
                      "</KorvaneFixtureDefinition>")
        << true;
    QTest::newRow("external entity") << QByteArray(
        "<?xml version=\"1.0\"?><!DOCTYPE k [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
        "<KorvaneFixtureDefinition><DMXChannel Name=\"Dim\"/><Personality>"
        "<DMXChannelRef Number=\"1\">&x;</DMXChannelRef></Personality></KorvaneFixtureDefinition>")
                                     << false;
}

void TestFixtureXml::malformedDocumentsStopCleanly()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, stops);
    const Parsed parsed = parse(document);
    if (stops) {
        QVERIFY(!parsed.loader->wellFormed());
    }
    // A definition can only come from a personality that closed before the damage.
    QVERIFY(parsed.definitions().size() <= 2);
    for (const QKVFixtureDefinition* definition : parsed.definitions()) {
        QVERIFY(!definition->name().contains(QLatin1String("root:")));
        for (const QKVFixtureChannel* channel : definition->channels()) {
            QVERIFY(channel->name().size() < 1000);
            QVERIFY(!channel->name().contains(QLatin1String("root:")));
        }
    }
}

void TestFixtureXml::truncatedDocumentYieldsTheWholeDefinitionOrNothing()
{
    const QByteArray whole = readData("TwoPersonalities.xml");
    const Parsed complete = parse(whole);
    QCOMPARE(complete.definitions().size(), 2);
    // Up to here the root element is still open.
    const int rootClosed = static_cast<int>(whole.lastIndexOf('>')) + 1;

    for (int length = 0; length < whole.size(); ++length) {
        const Parsed parsed = parse(whole.left(length));
        if (length < rootClosed) {
            QVERIFY2(!parsed.loader->wellFormed(), qPrintable(QString::number(length)));
        }
        // Only personalities that closed before the cut come out, and they come out whole.
        QVERIFY(parsed.definitions().size() <= 2);
        for (int i = 0; i < parsed.definitions().size(); ++i) {
            const QKVFixtureDefinition* got = parsed.at(i);
            const QKVFixtureDefinition* expected = complete.at(i);
            QCOMPARE(got->name(), expected->name());
            QCOMPARE(got->shortName(), expected->shortName());
            QCOMPARE(got->type(), expected->type());
            QCOMPARE(got->channelCount(), expected->channelCount());
        }
        QVERIFY(parsed.reports <= 1);
    }
}

void TestFixtureXml::invalidUtf8NeverCrashes()
{
    const QByteArray whole = readData("Spot250.xml");
    const QList<QByteArray> bad {
        QByteArray("\xff"),
        QByteArray("\xc3"), // lead byte without its continuation
        QByteArray("\x80"), // continuation without a lead byte
        QByteArray("\xc0\xaf"), // overlong "/"
        QByteArray("\xed\xa0\x80"), // an encoded surrogate
        QByteArray("\xf4\x90\x80\x80"), // beyond U+10FFFF
    };
    for (const QByteArray& bytes : bad) {
        for (int at = 0; at <= whole.size(); ++at) {
            QByteArray damaged = whole;
            damaged.insert(at, bytes);
            const Parsed parsed = parse(damaged);
            QVERIFY(parsed.definitions().size() <= 1);
        }
    }

    // Declared as Latin-1, the same bytes are text.
    const Parsed latin1
        = parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<KorvaneFixtureDefinition>"
                "<Model Name=\"Caf\xe9\"/><DMXChannel Name=\"\xff\"/><Personality>"
                "<DMXChannelRef Number=\"1\">\xff</DMXChannelRef></Personality></KorvaneFixtureDefinition>");
    QCOMPARE(latin1.definitions().size(), 1);
    QCOMPARE(latin1.at(0)->name(), QString::fromUtf8("Café"));
    QCOMPARE(latin1.at(0)->channelCount(), 1);
    QCOMPARE(latin1.at(0)->channels().at(0)->name(), QString(QChar(0xFF)));
}

void TestFixtureXml::deeplyNestedElementsStopTheParse_data()
{
    QTest::addColumn<QByteArray>("document");

    constexpr int Depth = 100000;
    QTest::newRow("root in root") << nested("KorvaneFixtureDefinition", Depth);
    QTest::newRow("unknown elements in the root") << inRoot(nested("Comment", Depth));
    QTest::newRow("inside a personality") << inRoot("<Personality>" + nested("Mode", Depth) + "</Personality>");
    QTest::newRow("inside a reference") << inRoot("<DMXChannel Name=\"Dim\"/><Personality><DMXChannelRef Number=\"1\">"
                                                  + nested("b", Depth) + "</DMXChannelRef></Personality>");
    QTest::newRow("inside Type") << inRoot("<Type>" + nested("i", Depth) + "</Type>");
    QTest::newRow("unclosed") << inRoot(QByteArray("<Comment>").repeated(Depth));
}

void TestFixtureXml::deeplyNestedElementsStopTheParse()
{
    QFETCH(QByteArray, document);
    const Parsed parsed = parse(document);
    QVERIFY(!parsed.loader->wellFormed());
    QVERIFY(parsed.definitions().isEmpty());
    QVERIFY(parsed.reports <= QKVFixtureDefinitionLoader::MaxElementDepth);
}

void TestFixtureXml::hugeNamesAreReadWhole()
{
    const QString huge = QString(4 * 1024 * 1024, QLatin1Char('x')) + QString::fromUtf8("ü");
    QKVFixtureDefinition definition;
    definition.setName(huge);
    definition.setManufacturer(huge);
    definition.appendChannel(makeChannel(1, huge, "", true));
    definition.appendChannel(makeChannel(2, huge + "2", "", true));

    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(back->name(), huge);
    QCOMPARE(back->manufacturer(), huge);
    QCOMPARE(back->channelCount(), 2);
    QCOMPARE(back->channels().at(0)->name(), huge);
    QCOMPARE(back->channels().at(1)->name(), huge + "2");
}

QTEST_GUILESS_MAIN(TestFixtureXml)
#include "TestFixtureXml.moc"
