// Fixture documents are written by hand as QXmlStreamWriter would, and read by a fast scanner that
// falls back to QXmlStreamReader for anything else. Both readers read every document here and agree.

#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QXmlStreamWriter>

#include <cstring>
#include <memory>

namespace {

/// One document parsed the way the library archive does it (bytes copied into the
/// loader's buffer, then load()), counting the unsupported-content reports.
struct Parsed
{
    std::unique_ptr<QKVFixtureDefinitionLoader> loader = std::make_unique<QKVFixtureDefinitionLoader>();
    int reports = 0;
    QString mismatch; // how the full reader differed from the fast path, if it did

    const QList<QKVFixtureDefinition*>& definitions() const { return loader->definitions(); }
    const QKVFixtureDefinition* at(int i) const { return loader->definitions().at(i); }
    QString outcome() const
    {
        return QStringLiteral("%1/%2/%3/").arg(loader->wellFormed()).arg(reports).arg(loader->unsupportedCount())
            + describe(definitions()).join('/');
    }
};

Parsed parseWith(const QByteArray& document, bool fastScanning)
{
    Parsed parsed;
    parsed.loader->setFastScanning(fastScanning);
    QSignalSpy spy(parsed.loader.get(), &QKVFixtureDefinitionLoader::unsupportedContent);
    std::memcpy(parsed.loader->buffer(document.size()), document.constData(), static_cast<size_t>(document.size()));
    parsed.loader->load();
    parsed.reports = static_cast<int>(spy.size());
    return parsed;
}

/// The fast path's result, with `mismatch` set when the full reader's differs.
Parsed parse(const QByteArray& document)
{
    Parsed fast = parseWith(document, true);
    const QString full = parseWith(document, false).outcome();
    if (fast.outcome() != full) {
        fast.mismatch = "readers differ on\n" + QString::fromUtf8(document.left(300)) + "\nfast: " + fast.outcome()
            + "\nfull: " + full;
    }
    return fast;
}

#define PARSE(parsed, document)                                                                                        \
    const Parsed parsed = parse(document);                                                                             \
    QVERIFY2(parsed.mismatch.isEmpty(), qPrintable(parsed.mismatch.left(2000)))

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

/// The document as QXmlStreamWriter writes it, for comparison with the exporter.
QByteArray streamWriterDocument(const QKVFixtureDefinition& d)
{
    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement("KorvaneFixtureDefinition");
    const auto named = [&](const char* element, const QString& name, bool autoShort, const QString& shortName) {
        writer.writeEmptyElement(element);
        writer.writeAttribute("Name", name);
        if (!autoShort) {
            writer.writeAttribute("ShortName", shortName);
        }
    };
    named("Manufacturer", d.manufacturer(), d.autoManufacturerShort(), d.manufacturerShort());
    named("Model", d.name(), d.autoShortName(), d.shortName());
    if (d.type() != FixtureType::Undefined) {
        writer.writeTextElement("Type", FixtureType::xmlName(d.type()));
    }
    for (const QKVFixtureChannel* c : d.channels()) {
        named("DMXChannel", c->name(), c->autoShortName(), c->shortName());
    }
    writer.writeStartElement("Personality");
    for (const QKVFixtureChannel* c : d.channels()) {
        writer.writeStartElement("DMXChannelRef");
        writer.writeAttribute("Number", QString::number(c->number()));
        if (!c->name().isEmpty()) {
            writer.writeCharacters(c->name());
        }
        writer.writeEndElement();
    }
    writer.writeEndDocument();
    return document;
}

/// Drops where the two writers part on purpose: a carriage return (ours keeps it as a
/// reference), half a surrogate pair (Qt's stops writing), characters XML cannot hold.
void removeDeliberateDifferences(QKVFixtureDefinition& d)
{
    const auto clean = [](const QString& text) {
        QString kept;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                kept.append(c).append(text.at(++i));
            } else if (!c.isSurrogate() && c != u'\r' && (c >= u' ' || c == u'\t' || c == u'\n') && c < u'\xfffe') {
                kept.append(c);
            }
        }
        return kept;
    };
    d.storeName(clean(d.name()));
    d.setShortName(clean(d.shortName()));
    d.storeManufacturer(clean(d.manufacturer()));
    d.setManufacturerShort(clean(d.manufacturerShort()));
    for (QKVFixtureChannel* channel : d.channels()) {
        channel->setName(clean(channel->name()));
        channel->setShortName(clean(channel->shortName()));
    }
}

} // namespace

class TestFixtureXml : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exampleIsWrittenByteForByteAndReadsBack();
    void generatedDefinitionsReadBackThroughTheFastPathAsQtWritesThem();
    void namesSurviveWriteAndRead_data();
    void namesSurviveWriteAndRead();

    void documentsRead_data();
    void documentsRead();

    void damagedDocumentsYieldWholeDefinitionsOrNothing();
};

void TestFixtureXml::exampleIsWrittenByteForByteAndReadsBack()
{
    const QByteArray expected = readTestData("Spot250.xml");
    QCOMPARE(QKVFixtureDefinitionXMLExporter::toXml(*spot250()), expected);
    QByteArray reused("left over from the definition before, longer than one line of the next");
    QKVFixtureDefinitionXMLExporter().exportDefinition(*spot250(), reused);
    QCOMPARE(reused, expected);
    PARSE(parsed, expected);
    QVERIFY(parsed.loader->wellFormed() && parsed.loader->fastScanned());
    QCOMPARE(parsed.reports, 0);
    QCOMPARE(describe(parsed.definitions()), QStringList {describe(*spot250())});
    // Where QXmlStreamWriter drops a carriage return, ours keeps it as a reference.
    QKVFixtureDefinition returns;
    returns.appendChannel(makeChannel(1, "a\r\n\tb"));
    QVERIFY(QKVFixtureDefinitionXMLExporter::toXml(returns).contains(
        "<DMXChannel Name=\"a&#13;&#10;&#9;b\"/>\n    <Personality>\n        <DMXChannelRef "
        "Number=\"1\">a&#13;\n\tb</"));
}

void TestFixtureXml::generatedDefinitionsReadBackThroughTheFastPathAsQtWritesThem()
{
    // Bytes that matter to markup, encoding and line ends (bad UTF-8 among them) put in and
    // over places of the first documents: the readers still agree.
    static const char raw[]
        = "<,>,&,\",',/,=, ,\n,\r,\t,\0,;,#,x,],\xff,\xc3,\x80,\xc0\xaf,\xed\xa0\x80,\xf4\x90\x80\x80";
    const QByteArrayList bytes = QByteArray(raw, sizeof(raw) - 1).split(',');
    Random random(78);
    QStringList names;
    for (int i = 0; i < 200; ++i) {
        const auto definition = randomDefinition(random, names);
        names << definition->name();
        const QByteArray document = QKVFixtureDefinitionXMLExporter::toXml(*definition);
        PARSE(parsed, document);
        QVERIFY2(parsed.loader->fastScanned() && parsed.loader->wellFormed(), document.constData());
        QCOMPARE(describe(parsed.definitions()), QStringList {describe(*definition, true)});
        removeDeliberateDifferences(*definition);
        QCOMPARE(QKVFixtureDefinitionXMLExporter::toXml(*definition), streamWriterDocument(*definition));
        const QByteArray source = i == 0 ? readTestData("TwoPersonalities.xml") : document;
        for (int n = 0; i < 8 && n < 120; ++n) {
            const int at = random.below(static_cast<int>(source.size()));
            const QByteArray& b = bytes.at(random.below(static_cast<int>(bytes.size())));
            PARSE(inserted, QByteArray(source).insert(at, b));
            PARSE(replaced, QByteArray(source).replace(at, 1, b));
            QVERIFY(inserted.definitions().size() <= 2 && replaced.definitions().size() <= 2);
        }
    }
}

void TestFixtureXml::namesSurviveWriteAndRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("back");

    const QString replacement(QChar(0xFFFD));
    QTest::newRow("DEL and C1 controls") << QString::fromUtf8("a\x7f\xc2\x85z") << QString::fromUtf8("a\x7f\xc2\x85z");
    // Control characters from a device's Latin-1 names that XML cannot carry are dropped.
    QTest::newRow("C0 controls") << QString::fromLatin1("\x1b[1m\x01 P\x0b") << "[1m P";
    QTest::newRow("NUL, U+FFFE and U+FFFF")
        << QString("a") + QChar(0) + QChar(0xFFFE) + QChar(0xFFFF) + "b" << QString("ab");
    QTest::newRow("unpaired surrogates") << QString("a") + QChar(0xDC00) + "b" + QChar(0xD83C)
                                         << "a" + replacement + "b" + replacement;
    const QString huge = QString(1024 * 1024, QLatin1Char('x')) + QString::fromUtf8("ü");
    QTest::newRow("1 MiB") << huge << huge;
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
    PARSE(parsed, QKVFixtureDefinitionXMLExporter::toXml(definition));
    QCOMPARE(parsed.definitions().size(), 1);
    const QStringList expected {back, back, "0", back, "", "1", "4", "1", back, back.left(12), "0"};
    QVERIFY2(describe(*parsed.at(0)) == expected.join(" | "), qPrintable(describe(*parsed.at(0)).left(200)));
}

void TestFixtureXml::documentsRead_data()
{
    QTest::addColumn<int>("reports"); // n < 0: not well-formed, with -1 - n reports
    QTest::addColumn<QStringList>("definitions");
    QTest::addColumn<QByteArray>("document");

    const QByteArray good = readTestData("Spot250.xml");
    const QByteArray dimChannel = "<Model Name=\"Spot\"/><DMXChannel Name=\"Dim\"/>";
    const QByteArray dimRef = "<DMXChannelRef Number=\"1\">Dim</DMXChannelRef>";
    const QByteArray dim = dimChannel + "<Personality>" + dimRef + "</Personality>";
    const QStringList dimmer {"Spot |  | 1 |  |  | 1 | -1 | 1 | Dim |  | 1"};
    const auto typed = [](int code) { return QStringList {" |  | 1 |  |  | 1 | " + QString::number(code)}; };
    QTest::newRow("Type: misspelt") << 0 << typed(3) << inRoot("<Type>Color Chnager</Type><Personality/>");
    QTest::newRow("Type: CDATA") << 0 << typed(5) << inRoot("<Type><![CDATA[Laser]]></Type><Personality/>");
    QTest::newRow("Type: last wins, element")
        << 0 << typed(5) << inRoot("<Type>Hazer</Type><Type> Laser\n</Type><Type><b/>Laser</Type><Personality/>");

    QTest::newRow("two unknown elements") << 2 << dimmer << inRoot("<Comment>note</Comment><Notes/>" + dim);
    QTest::newRow("nested unknown elements") << 3 << dimmer << inRoot("<Comment><Line/><Line/></Comment>" + dim);
    QTest::newRow("unknown element in the personality")
        << 1 << dimmer << inRoot(dimChannel + "<Personality><Mode/>" + dimRef + "</Personality>");
    QTest::newRow("elements in Type or a reference are not reported")
        << 0 << QStringList {"Spot |  | 1 |  |  | 1 | 4"}
        << inRoot("<Type><b>Dimmer</b></Type>" + dimChannel
                  + "<Personality><DMXChannelRef><i/>Dim</DMXChannelRef></Personality>");
    QTest::newRow("comments and processing instructions")
        << 0 << dimmer << inRoot("<!-- note --><?editor hint?>" + dim);
    QTest::newRow("element after a personality ends the parse")
        << -1 << dimmer << inRoot(dim + "<DMXChannel Name=\"Late\"/><Personality Name=\"B\"/>");
    QTest::newRow("references, single quotes, spaces")
        << 0 << dimmer
        << inRoot("<Model  Name = 'S&#112;&#x6F;t' /><DMXChannel Name=\"&#x44;im\"/><Personality >"
                  "<DMXChannelRef Number=\"1\">&#68;im</DMXChannelRef></Personality >");
    QTest::newRow("declared Latin-1")
        << 0 << QStringList {QString::fromUtf8("Café |  | 1 |  |  | 1 | -1 | 1 | ÿ |  | 1")}
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<KorvaneFixtureDefinition><Model "
                      "Name=\"Caf\xe9\"/><DMXChannel Name=\"\xff\"/><Personality><DMXChannelRef Number=\"1\">\xff"
                      "</DMXChannelRef></Personality></KorvaneFixtureDefinition>");
    QTest::newRow("no personality") << 0 << QStringList() << inRoot(dimChannel);
    QTest::newRow("Number: leading zeros, not a number, too large, a reference, ten digits")
        << 0
        << QStringList {" |  | 1 |  |  | 1 | -1 | 12 | A |  | 1 | 13 | B |  | 1 | 14 | C |  | 1 | 7 | D |  | 1"
                        " | 1234567890 | E |  | 1"}
        << inRoot("<Personality><DMXChannel Name=\"A\" Number=\"0012\"/><DMXChannel Name=\"B\" Number=\"x\"/>"
                  "<DMXChannel Name=\"C\" Number=\"99999999999\"/><DMXChannel Name=\"D\" Number=\"&#55;\"/>"
                  "<DMXChannel Name=\"E\" Number=\"1234567890\"/></Personality>");

    // Each personality is a definition (named after the first); a reference takes the channel
    // of its name and number (0 without one); channels in a personality follow the last number.
    const QString wash = " | 0 | Acme Lighting | Acme | 0 | 2 | 1 | ", unnamed = " |  | 1 |  |  | 1 | -1 | 1 | ";
    const QString rgb = "Red | R | 0 | 2 | Green |  | 1 | 3 | Blue |  | 1 | 4 | Dimmer |  | 1";
    QTest::newRow("each personality a definition")
        << 1
        << QStringList {"Wash 575 | W575" + wash + "Dimmer |  | 1 | 2 | Red | R | 0",
                        "Wash 575@B | W575@B" + wash + rgb}
        << readTestData("TwoPersonalities.xml");
    QTest::newRow("a reference matching no channel adds nothing")
        << 0 << QStringList {unnamed + "Pan |  | 1 | 5 | Tilt |  | 1"}
        << inRoot("<DMXChannel Name=\"Pan\"/><DMXChannel Name=\"Tilt\"/><Personality>"
                  "<DMXChannelRef Number=\"1\">Pan</DMXChannelRef><DMXChannelRef Number=\"2\">pan</DMXChannelRef>"
                  "<DMXChannelRef Number=\"3\">Zoom</DMXChannelRef><DMXChannelRef Number=\"4\"> Tilt</DMXChannelRef>"
                  "<DMXChannelRef Number=\"5\">Tilt</DMXChannelRef></Personality>");
    const QString scan = "Scan 1200 |  | 1 | Acme Lighting |  | 1 | 1 | 7 | Pan |  | 1 | 8 | Tilt |  | 1 | 9 | ";
    QTest::newRow("personality-level channels")
        << 0
        << QStringList {scan
                        + "Gobo wheel rotation | Gobo wheel r | 0 | 20 | Shutter |  | 1 | 21 | Focus |  | 1 "
                          "| 0 | Pan |  | 1 | 1 | Zoom |  | 1"}
        << readTestData("PersonalityLevelChannels.xml");
    // Two channels of one name, and two without, each keep their own short names; more
    // references than channels of a name start again at the first.
    const QString dims = "Dim | D1 | 0 | ", shorts = " | S1 | 0 | ";
    QTest::newRow("a later personality refers to the same channels")
        << 1
        << QStringList {unnamed + dims + "2 | Dim | D2 | 0 | 3 | " + shorts + "4 |  | S2 | 0",
                        "@B | @B" + unnamed.mid(3) + shorts + "2 | " + dims + "3 | Dim | D2 | 0 | 4 | Dim | D1 | 0"}
        << inRoot("<DMXChannel Name=\"Dim\" ShortName=\"D1\"/><DMXChannel Name=\"Dim\" ShortName=\"D2\"/>"
                  "<DMXChannel Name=\"\" ShortName=\"S1\"/><DMXChannel ShortName=\"S2\"/><Personality Name=\"A\">"
                  "<DMXChannelRef Number=\"1\">Dim</DMXChannelRef><DMXChannelRef Number=\"2\">Dim</DMXChannelRef>"
                  "<DMXChannelRef Number=\"3\"></DMXChannelRef><DMXChannelRef Number=\"4\"/>"
                  "</Personality><Personality Name=\"B\"><DMXChannelRef Number=\"1\"/>"
                  "<DMXChannelRef Number=\"2\">Dim</DMXChannelRef><DMXChannelRef Number=\"3\">Dim</DMXChannelRef>"
                  "<DMXChannelRef Number=\"4\">Dim</DMXChannelRef></Personality>");

    const QStringList none;
    QTest::newRow("root in lower case") << -1 << none << QByteArray(good).replace("KorvaneFixture", "korvaneFixture");
    QTest::newRow("reference outside a personality") << -1 << none << inRoot("<DMXChannelRef/><Personality/>");
    QTest::newRow("not XML") << -1 << none << QByteArray("Spot 250, Acme Lighting, 2 channels");
    QTest::newRow("mismatched end tag") << -1 << none << QByteArray(good).replace("</Personality>", "</Personalty>");
    QTest::newRow("undeclared entity") << -1 << none << inRoot("<Model Name=\"&nbsp;\"/>");
    QTest::newRow("reference to NUL") << -1 << none << inRoot("<Model Name=\"&#0;\"/>");
    QTest::newRow("NUL byte") << -1 << none << inRoot(QByteArray("<Model Name=\"A\0B\"/>", 19));
    QTest::newRow("attribute twice") << -1 << none << inRoot("<Model Name=\"a\" Name=\"b\"/>");
    QTest::newRow("no space between attributes") << -1 << none << inRoot("<Model Name=\"a\"Foo=\"b\"/>");
    QTest::newRow("< in a value") << -1 << none << inRoot("<Model Name=\"a<b\"/>");
    QTest::newRow("]]> in text") << -1 << none << inRoot("]]><Personality/>");
    QTest::newRow("text after the root") << -1 << QStringList {describe(*spot250())} << good + "trailing";
    QTest::newRow("two roots") << -1 << QStringList {describe(*spot250())} << good + good;
    QTest::newRow("UTF-16 byte order mark, UTF-8 bytes") << -1 << none << QByteArray("\xff\xfe") + good;
    constexpr int Depth = 16 * QKVFixtureDefinitionLoader::MaxElementDepth;
    QTest::newRow("deep: root in root") << -64 << none << nested("KorvaneFixtureDefinition", Depth);
    QTest::newRow("deep: unknown elements") << -64 << none << inRoot(nested("Comment", Depth));
    QTest::newRow("deep: inside a reference")
        << -1 << none << inRoot(dimChannel + "<Personality><DMXChannelRef>" + nested("b", Depth));
    QTest::newRow("deep: unclosed") << -64 << none << inRoot(QByteArray("<Comment>").repeated(Depth));
    QByteArray entities = "<?xml version=\"1.0\"?><!DOCTYPE k [<!ENTITY a \"aaaaaaaaaa\">";
    for (char e = 'b'; e <= 'i'; ++e) {
        entities += "<!ENTITY " + QByteArray(1, e) + " \"" + ("&" + QByteArray(1, e - 1) + ";").repeated(10) + "\">";
    }
    QTest::newRow("exponential entities") << -1 << none
                                          << entities
            + "]><KorvaneFixtureDefinition><Model Name=\"&i;\"/><DMXChannel Name=\"&i;\"/><Personality>"
              "<DMXChannelRef Number=\"1\">&i;</DMXChannelRef></Personality></KorvaneFixtureDefinition>";
}

void TestFixtureXml::documentsRead()
{
    QFETCH(int, reports);
    QFETCH(QStringList, definitions);
    QFETCH(QByteArray, document);

    PARSE(parsed, document);
    QCOMPARE(parsed.loader->wellFormed(), reports >= 0);
    QCOMPARE(parsed.reports, reports < 0 ? -1 - reports : reports);
    QCOMPARE(parsed.loader->unsupportedCount(), parsed.reports);
    QCOMPARE(describe(parsed.definitions()), definitions);
}

void TestFixtureXml::damagedDocumentsYieldWholeDefinitionsOrNothing()
{
    // Cut at every place, a document gives whole definitions of the undamaged one or nothing.
    const QByteArray whole = readTestData("TwoPersonalities.xml");
    PARSE(complete, whole);
    QCOMPARE(complete.definitions().size(), 2);
    const int rootClosed = static_cast<int>(whole.lastIndexOf('>')) + 1;
    for (int length = 0; length < whole.size(); ++length) {
        PARSE(parsed, whole.left(length));
        QVERIFY2(length >= rootClosed || !parsed.loader->wellFormed(), qPrintable(QString::number(length)));
        for (int i = 0; i < parsed.definitions().size(); ++i) {
            QCOMPARE(describe(*parsed.at(i)), describe(*complete.at(i)));
        }
    }
}

QTEST_GUILESS_MAIN(TestFixtureXml)
#include "TestFixtureXml.moc"
