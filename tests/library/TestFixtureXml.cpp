#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <cstring>
#include <memory>

namespace {

/// One document parsed the way the library archive does it: bytes copied into the
/// loader's buffer, then load(), counting the unsupported-content reports.
struct Parsed
{
    std::unique_ptr<QKVFixtureDefinitionLoader> loader = std::make_unique<QKVFixtureDefinitionLoader>();
    int reports = 0;

    const QList<QKVFixtureDefinition*>& definitions() const { return loader->definitions(); }
    const QKVFixtureDefinition* at(int i) const { return loader->definitions().at(i); }
};

Parsed parse(const QByteArray& document)
{
    Parsed parsed;
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

QByteArray nested(const QByteArray& element, int depth)
{
    return QByteArray("<" + element + ">").repeated(depth) + QByteArray("</" + element + ">").repeated(depth);
}

/// The channels as "number name [short name]", " auto" appended when the flag is on.
QStringList channelList(const QKVFixtureDefinition* definition)
{
    QStringList list;
    for (const QKVFixtureChannel* c : definition->channels()) {
        list << QStringLiteral("%1 %2 [%3]%4")
                    .arg(QString::number(c->number()), c->name(), c->shortName(), c->autoShortName() ? " auto" : "");
    }
    return list;
}

/// The definition the example document describes.
std::unique_ptr<QKVFixtureDefinition> spot250()
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName("Spot 250");
    definition->setManufacturer("Acme Lighting");
    definition->setType(0);
    definition->appendChannel(makeChannel(1, "Pan"));
    definition->appendChannel(makeChannel(2, "Pan fine adjust", "Pan fine", false));
    return definition;
}

/// Writes the definition and reads it back; exactly one definition must come out.
std::unique_ptr<QKVFixtureDefinition> roundTrip(const QKVFixtureDefinition& definition)
{
    const Parsed parsed = parse(QKVFixtureDefinitionXMLExporter::toXml(definition));
    return parsed.definitions().size() == 1 ? std::make_unique<QKVFixtureDefinition>(*parsed.at(0)) : nullptr;
}

} // namespace

/// The fixture definition document: the writer's exact bytes, and the reader over the
/// writer's output, the wider hand-written form and hostile input.
class TestFixtureXml : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exampleIsWrittenByteForByteAndReadsBack();
    void writerEscapesMarkupAndCarriageReturns();
    void typeElementFollowsTheCodeAndReadsBack_data();
    void typeElementFollowsTheCodeAndReadsBack();

    void typeTextRules_data();
    void typeTextRules();
    void eachPersonalityBecomesADefinitionNamedAfterTheFirst();
    void unsupportedContentIsReportedOncePerElement_data();
    void unsupportedContentIsReportedOncePerElement();
    void referenceMatchingNoChannelAddsNothing();
    void personalityLevelChannelsAreNumberedAfterTheLastOne(); // a reference without Number gets 0
    void elementAfterAPersonalityEndsTheParseKeepingDefinitions();

    void unnamedAndSameNamedChannelsSurviveWriteAndRead();
    void laterPersonalityMayReferToTheSameChannels();
    void namesSurviveWriteAndRead_data();
    void namesSurviveWriteAndRead();

    void documentsThatYieldNothingStopCleanly_data();
    void documentsThatYieldNothingStopCleanly();
    void truncatedDocumentYieldsWholeDefinitionsOrNothing();
    void invalidUtf8NeverCrashes();
    void deeplyNestedElementsStopTheParse_data();
    void deeplyNestedElementsStopTheParse();
};

void TestFixtureXml::exampleIsWrittenByteForByteAndReadsBack()
{
    const QByteArray expected = readTestData("Spot250.xml");
    QCOMPARE(QKVFixtureDefinitionXMLExporter::toXml(*spot250()), expected);
    QByteArray reused("left over from the definition before, longer than one line of the next");
    QKVFixtureDefinitionXMLExporter().exportDefinition(*spot250(), reused);
    QCOMPARE(reused, expected);

    const Parsed parsed = parse(expected);
    QVERIFY(parsed.loader->wellFormed());
    QCOMPARE(parsed.reports, 0);
    QCOMPARE(describe(parsed.definitions()), QStringList {describe(*spot250())});

    // An element this program does not know is reported once; the rest reads as before.
    const Parsed commented = parse(readTestData("UnsupportedComment.xml"));
    QCOMPARE(commented.reports, 1);
    auto withPanOnly = spot250();
    delete withPanOnly->channels().takeLast();
    QCOMPARE(describe(commented.definitions()), QStringList {describe(*withPanOnly)});
}

void TestFixtureXml::writerEscapesMarkupAndCarriageReturns()
{
    QKVFixtureDefinition definition;
    definition.setManufacturer("M&M <1> \"q\" 'a'");
    definition.setManufacturerShort("&");
    definition.setAutoManufacturerShort(false);
    definition.setName("<Spot>");
    definition.appendChannel(makeChannel(1, "R&D \"x\" <y>", "<>", false));
    definition.appendChannel(makeChannel(2, "Pan\r\nfine"));

    const QList<QByteArray> lines = QKVFixtureDefinitionXMLExporter::toXml(definition).split('\n');
    const QList<QByteArray> expected {
        "    <Manufacturer Name=\"M&amp;M &lt;1&gt; &quot;q&quot; 'a'\" ShortName=\"&amp;\"/>",
        "    <Model Name=\"&lt;Spot&gt;\"/>",
        "    <DMXChannel Name=\"R&amp;D &quot;x&quot; &lt;y&gt;\" ShortName=\"&lt;&gt;\"/>",
        "    <DMXChannel Name=\"Pan&#13;&#10;fine\"/>",
        "    <Personality>",
        "        <DMXChannelRef Number=\"1\">R&amp;D &quot;x&quot; &lt;y&gt;</DMXChannelRef>",
        "        <DMXChannelRef Number=\"2\">Pan&#13;",
        "fine</DMXChannelRef>",
    };
    QCOMPARE(lines.mid(2, expected.size()), expected);

    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(describe(*back), describe(definition, true));
}

void TestFixtureXml::typeElementFollowsTheCodeAndReadsBack_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("line"); // the line after Model
    QTest::addColumn<int>("readBack");

    QTest::newRow("-1 writes no element") << -1 << QByteArray("    <DMXChannel Name=\"Pan\"/>") << -1;
    QTest::newRow("3 is spelled right") << 3 << QByteArray("    <Type>Color Changer</Type>") << 3;
    QTest::newRow("10") << 10 << QByteArray("    <Type>Other</Type>") << 10;
    QTest::newRow("11") << 11 << QByteArray("    <Type>Undefined</Type>") << -1;
    QTest::newRow("200 from a device") << 200 << QByteArray("    <Type>Undefined</Type>") << -1;
}

void TestFixtureXml::typeElementFollowsTheCodeAndReadsBack()
{
    QFETCH(int, type);
    QFETCH(QByteArray, line);
    QFETCH(int, readBack);

    auto definition = spot250();
    definition->setType(type);
    const QByteArray document = QKVFixtureDefinitionXMLExporter::toXml(*definition);
    QCOMPARE(document.split('\n').at(4), line);
    const Parsed parsed = parse(document);
    QCOMPARE(parsed.definitions().size(), 1);
    QCOMPARE(parsed.at(0)->type(), readBack);
}

void TestFixtureXml::typeTextRules_data()
{
    QTest::addColumn<QByteArray>("typeElement");
    QTest::addColumn<int>("type");

    QTest::newRow("editor's misspelling") << QByteArray("<Type>Color Chnager</Type>") << 3;
    QTest::newRow("entity in the text") << QByteArray("<Type>Smoke &amp; Haze</Type>") << 8;
    QTest::newRow("CDATA") << QByteArray("<Type><![CDATA[Laser]]></Type>") << 5;
    QTest::newRow("last Type wins") << QByteArray("<Type>Dimmer</Type><Type>Hazer</Type>") << 7;
}

void TestFixtureXml::typeTextRules()
{
    QFETCH(QByteArray, typeElement);
    QFETCH(int, type);

    const Parsed parsed = parse(inRoot(typeElement + "<Personality/>"));
    QCOMPARE(describe(parsed.definitions()), QStringList {" |  | 1 |  |  | 1 | " + QString::number(type)});
    QCOMPARE(parsed.reports, 0);
}

void TestFixtureXml::eachPersonalityBecomesADefinitionNamedAfterTheFirst()
{
    const Parsed two = parse(readTestData("TwoPersonalities.xml"));
    QCOMPARE(two.reports, 1); // the second personality, once
    QCOMPARE(
        describe(two.definitions()),
        QStringList(
            {"Wash 575 | W575 | 0 | Acme Lighting | Acme | 0 | 2 | 1 | Dimmer |  | 1 | 2 | Red | R | 0",
             "Wash 575@B | W575@B | 0 | Acme Lighting | Acme | 0 | 2 | 1 | Red | R | 0 | 2 | Green |  | 1 | 3 | Blue | "
             " | 1 | 4 | Dimmer |  | 1"}));
}

void TestFixtureXml::unsupportedContentIsReportedOncePerElement_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("reports");

    const QByteArray channel = "<DMXChannel Name=\"Dim\"/>";
    const QByteArray personality = "<Personality><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>";
    QTest::newRow("two elements in the root") << "<Comment>note</Comment>" + channel + "<Notes/>" + personality << 2;
    QTest::newRow("nested elements each count") << "<Comment><Line/><Line/></Comment>" + channel + personality << 3;
    QTest::newRow("element in the personality")
        << channel + "<Personality><Mode/><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>" << 1;
    QTest::newRow("elements inside Type or a reference are ignored") << "<Type><b>Dimmer</b></Type>" + channel
            + "<Personality><DMXChannelRef Number=\"1\"><i/>Dim</DMXChannelRef></Personality>"
                                                                     << 0;
    QTest::newRow("comments and processing instructions are not elements")
        << "<!-- note --><?editor hint?>" + channel + personality << 0;
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

void TestFixtureXml::referenceMatchingNoChannelAddsNothing()
{
    const Parsed parsed = parse(inRoot("<DMXChannel Name=\"Pan\"/><DMXChannel Name=\"Tilt\"/><Personality>"
                                       "<DMXChannelRef Number=\"1\">Pan</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"2\">pan</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"3\">Zoom</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"4\"> Tilt</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"5\">Tilt</DMXChannelRef>"
                                       "</Personality>"));
    QCOMPARE(parsed.definitions().size(), 1);
    QCOMPARE(channelList(parsed.at(0)), QStringList({"1 Pan [] auto", "5 Tilt [] auto"}));
    QCOMPARE(parsed.reports, 0);
}

void TestFixtureXml::personalityLevelChannelsAreNumberedAfterTheLastOne()
{
    const Parsed parsed = parse(readTestData("PersonalityLevelChannels.xml"));
    QCOMPARE(parsed.reports, 0);
    QCOMPARE(parsed.definitions().size(), 1);
    QCOMPARE(parsed.at(0)->type(), 1);
    QCOMPARE(channelList(parsed.at(0)),
             QStringList({"7 Pan [] auto",
                          "8 Tilt [] auto",
                          "9 Gobo wheel rotation [Gobo wheel r]",
                          "20 Shutter [] auto",
                          "21 Focus [] auto",
                          "0 Pan [] auto",
                          "1 Zoom [] auto"}));
}

void TestFixtureXml::elementAfterAPersonalityEndsTheParseKeepingDefinitions()
{
    const Parsed parsed
        = parse(inRoot("<Model Name=\"Spot\"/><DMXChannel Name=\"Dim\"/>"
                       "<Personality><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>"
                       "<DMXChannel Name=\"Late\"/>"
                       "<Personality Name=\"B\"><DMXChannelRef Number=\"1\">Dim</DMXChannelRef></Personality>"));
    QVERIFY(!parsed.loader->wellFormed());
    QCOMPARE(describe(parsed.definitions()), QStringList {"Spot |  | 1 |  |  | 1 | -1 | 1 | Dim |  | 1"});
    QCOMPARE(parsed.reports, 0);
}

void TestFixtureXml::unnamedAndSameNamedChannelsSurviveWriteAndRead()
{
    QKVFixtureDefinition definition;
    for (QKVFixtureChannel* channel : {makeChannel(1, "Dimmer", "Dim 1", false),
                                       makeChannel(2, "", "Spare", false),
                                       makeChannel(3, ""),
                                       makeChannel(4, "Dimmer"),
                                       makeChannel(5, "Pan"),
                                       makeChannel(6, "Dimmer", "Dim 3", false),
                                       makeChannel(7, "Pan", "P2", false)}) {
        definition.appendChannel(channel);
    }
    const auto back = roundTrip(definition);
    QVERIFY(back);
    QCOMPARE(describe(*back), describe(definition, true));
}

void TestFixtureXml::laterPersonalityMayReferToTheSameChannels()
{
    // Two channels of one name, and two without, each keep their own short names; more
    // references than channels of a name start again at the first.
    const Parsed parsed = parse(inRoot("<DMXChannel Name=\"Dim\" ShortName=\"D1\"/>"
                                       "<DMXChannel Name=\"Dim\" ShortName=\"D2\"/>"
                                       "<DMXChannel Name=\"\" ShortName=\"S1\"/><DMXChannel ShortName=\"S2\"/>"
                                       "<Personality Name=\"A\">"
                                       "<DMXChannelRef Number=\"1\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"2\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"3\"></DMXChannelRef><DMXChannelRef Number=\"4\"/>"
                                       "</Personality><Personality Name=\"B\">"
                                       "<DMXChannelRef Number=\"1\"/>"
                                       "<DMXChannelRef Number=\"2\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"3\">Dim</DMXChannelRef>"
                                       "<DMXChannelRef Number=\"4\">Dim</DMXChannelRef>"
                                       "</Personality>"));
    QCOMPARE(parsed.definitions().size(), 2);
    QCOMPARE(channelList(parsed.at(0)), QStringList({"1 Dim [D1]", "2 Dim [D2]", "3  [S1]", "4  [S2]"}));
    QCOMPARE(channelList(parsed.at(1)), QStringList({"1  [S1]", "2 Dim [D1]", "3 Dim [D2]", "4 Dim [D1]"}));
}

void TestFixtureXml::namesSurviveWriteAndRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("back");

    const QString replacement(QChar(0xFFFD));
    QTest::newRow("DEL and C1 controls") << QString::fromUtf8("a\x7f\xc2\x85z") << QString::fromUtf8("a\x7f\xc2\x85z");
    // Device names are Latin-1 bytes and may hold control characters XML cannot carry:
    // those are dropped, never the channel.
    QTest::newRow("C0 controls") << QString::fromLatin1("\x1b[1m\x01 P\x0b") << "[1m P";
    QTest::newRow("NUL, U+FFFE and U+FFFF")
        << QString("a") + QChar(0) + QChar(0xFFFE) + QChar(0xFFFF) + "b" << QString("ab");
    QTest::newRow("unpaired surrogates") << QString("a") + QChar(0xDC00) + "b" + QChar(0xD83C)
                                         << "a" + replacement + "b" + replacement;
    const QString huge = QString(4 * 1024 * 1024, QLatin1Char('x')) + QString::fromUtf8("ü");
    QTest::newRow("4 MiB") << huge << huge;
    QTest::newRow("only controls") << QString::fromLatin1("\x01\x02") << "";
}

void TestFixtureXml::namesSurviveWriteAndRead()
{
    QFETCH(QString, name);
    QFETCH(QString, back);

    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setManufacturer(name);
    definition.setShortName(name);
    definition.setAutoShortName(false);
    definition.setType(4);
    definition.appendChannel(makeChannel(1, name, name, false));
    definition.appendChannel(makeChannel(2, "Strobe"));

    const auto read = roundTrip(definition);
    QVERIFY(read);
    const QStringList expected {
        back, back, "0", back, "", "1", "4", "1", back, back.left(12), "0", "2", "Strobe", "", "1"};
    // Only the start of the text is shown: a name is megabytes long.
    QVERIFY2(describe(*read) == expected.join(" | "), qPrintable(describe(*read).left(200)));
}

void TestFixtureXml::documentsThatYieldNothingStopCleanly_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("wellFormed");

    const QByteArray good = readTestData("Spot250.xml");
    QTest::newRow("root name in lower case")
        << QByteArray("<korvaneFixtureDefinition><Personality/></korvaneFixtureDefinition>") << false;
    QTest::newRow("no personality") << inRoot("<Model Name=\"X\"/><DMXChannel Name=\"Dim\"/>") << true;
    QTest::newRow("empty document") << QByteArray() << false;
    QTest::newRow("not XML") << QByteArray("Spot 250, Acme Lighting, 2 channels") << false;
    QTest::newRow("mismatched end tag") << QByteArray(good).replace("</Personality>", "</Personalty>") << false;
    QTest::newRow("undeclared entity") << inRoot("<Model Name=\"&nbsp;\"/>") << false;
    QTest::newRow("NUL byte") << inRoot(QByteArray("<Model Name=\"A\0B\"/>", 19)) << false;
    QTest::newRow("two roots") << good + good << false;
    QTest::newRow("UTF-16 byte order mark before UTF-8 bytes") << QByteArray("\xff\xfe") + good << false;
    QByteArray entities = "<?xml version=\"1.0\"?><!DOCTYPE k [<!ENTITY a \"aaaaaaaaaa\">";
    for (char e = 'b'; e <= 'i'; ++e) {
        entities += "<!ENTITY " + QByteArray(1, e) + " \"" + ("&" + QByteArray(1, e - 1) + ";").repeated(10) + "\">";
    }
    QTest::newRow("exponential entities") << entities
            + "]><KorvaneFixtureDefinition><Model Name=\"&i;\"/><DMXChannel Name=\"&i;\"/><Personality>"
              "<DMXChannelRef Number=\"1\">&i;</DMXChannelRef></Personality></KorvaneFixtureDefinition>"
                                          << false;
}

void TestFixtureXml::documentsThatYieldNothingStopCleanly()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, wellFormed);

    const Parsed parsed = parse(document);
    QCOMPARE(parsed.loader->wellFormed(), wellFormed);
    QCOMPARE(parsed.reports, 0);
    // A definition can only come from a personality that closed before the damage.
    for (const QKVFixtureDefinition* definition : parsed.definitions()) {
        QCOMPARE(describe(*definition), describe(*spot250()));
    }
    QVERIFY(parsed.definitions().size() <= 1);
}

void TestFixtureXml::truncatedDocumentYieldsWholeDefinitionsOrNothing()
{
    const QByteArray whole = readTestData("TwoPersonalities.xml");
    const Parsed complete = parse(whole);
    QCOMPARE(complete.definitions().size(), 2);
    const int rootClosed = static_cast<int>(whole.lastIndexOf('>')) + 1;

    for (int length = 0; length < whole.size(); ++length) {
        const Parsed parsed = parse(whole.left(length));
        QVERIFY2(length >= rootClosed || !parsed.loader->wellFormed(), qPrintable(QString::number(length)));
        QVERIFY(parsed.definitions().size() <= 2);
        QVERIFY(parsed.reports <= 1);
        for (int i = 0; i < parsed.definitions().size(); ++i) {
            QCOMPARE(describe(*parsed.at(i)), describe(*complete.at(i)));
        }
    }
}

void TestFixtureXml::invalidUtf8NeverCrashes()
{
    const QByteArray whole = readTestData("Spot250.xml");
    // A lone lead byte, a lone continuation, an overlong "/", an encoded surrogate and
    // a code beyond U+10FFFF, at every place of the document.
    for (const char* bytes : {"\xff", "\xc3", "\x80", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"}) {
        for (int at = 0; at <= whole.size(); ++at) {
            const Parsed parsed = parse(QByteArray(whole).insert(at, bytes));
            QVERIFY(parsed.definitions().size() <= 1);
        }
    }

    // Declared as Latin-1, the same bytes are text.
    const Parsed latin1
        = parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<KorvaneFixtureDefinition>"
                "<Model Name=\"Caf\xe9\"/><DMXChannel Name=\"\xff\"/><Personality>"
                "<DMXChannelRef Number=\"1\">\xff</DMXChannelRef></Personality></KorvaneFixtureDefinition>");
    QCOMPARE(describe(latin1.definitions()),
             QStringList {QString::fromUtf8("Café |  | 1 |  |  | 1 | -1 | 1 | ÿ |  | 1")});
}

void TestFixtureXml::deeplyNestedElementsStopTheParse_data()
{
    QTest::addColumn<QByteArray>("document");

    constexpr int Depth = 100000;
    QTest::newRow("root in root") << nested("KorvaneFixtureDefinition", Depth);
    QTest::newRow("unknown elements in the root") << inRoot(nested("Comment", Depth));
    QTest::newRow("inside a reference") << inRoot("<DMXChannel Name=\"Dim\"/><Personality><DMXChannelRef Number=\"1\">"
                                                  + nested("b", Depth) + "</DMXChannelRef></Personality>");
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

QTEST_GUILESS_MAIN(TestFixtureXml)
#include "TestFixtureXml.moc"
