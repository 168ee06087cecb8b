// The library reads fixture documents through a fast path for the form it writes and
// falls back to QXmlStreamReader for anything else; it writes them by hand in the form
// QXmlStreamWriter would. These tests hold both shortcuts to the Qt classes they stand
// in for, on generated definitions and on damaged documents.

#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"
#include "TestSupport.h"

#include <QDir>
#include <QXmlStreamWriter>
#include <QtTest>

#include <algorithm>

namespace {

/// The document as QXmlStreamWriter writes it, for comparison with the exporter.
QByteArray streamWriterDocument(const QKVFixtureDefinition& definition)
{
    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("KorvaneFixtureDefinition"));
    writer.writeEmptyElement(QStringLiteral("Manufacturer"));
    writer.writeAttribute(QStringLiteral("Name"), definition.manufacturer());
    if (!definition.autoManufacturerShort()) {
        writer.writeAttribute(QStringLiteral("ShortName"), definition.manufacturerShort());
    }
    writer.writeEmptyElement(QStringLiteral("Model"));
    writer.writeAttribute(QStringLiteral("Name"), definition.name());
    if (!definition.autoShortName()) {
        writer.writeAttribute(QStringLiteral("ShortName"), definition.shortName());
    }
    if (definition.type() != FixtureType::Undefined) {
        writer.writeTextElement(QStringLiteral("Type"), FixtureType::xmlName(definition.type()));
    }
    for (const QKVFixtureChannel* channel : definition.channels()) {
        writer.writeEmptyElement(QStringLiteral("DMXChannel"));
        writer.writeAttribute(QStringLiteral("Name"), channel->name());
        if (!channel->autoShortName()) {
            writer.writeAttribute(QStringLiteral("ShortName"), channel->shortName());
        }
    }
    writer.writeStartElement(QStringLiteral("Personality"));
    for (const QKVFixtureChannel* channel : definition.channels()) {
        writer.writeStartElement(QStringLiteral("DMXChannelRef"));
        writer.writeAttribute(QStringLiteral("Number"), QString::number(channel->number()));
        if (!channel->name().isEmpty()) {
            writer.writeCharacters(channel->name());
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    return document;
}

/// Where the two writers part on purpose: a carriage return (ours keeps it as a
/// reference), half a surrogate pair (Qt's stops writing), characters XML cannot hold
/// (a name made only of those would self-close the reference in ours alone).
QString withoutDeliberateDifferences(const QString& text)
{
    QString kept;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            kept.append(c).append(text.at(++i));
        } else if (!c.isSurrogate() && c != u'\r' && (c.unicode() >= 0x20 || c == u'\t' || c == u'\n')
                   && c.unicode() != 0xFFFE && c.unicode() != 0xFFFF) {
            kept.append(c);
        }
    }
    return kept;
}

void removeDeliberateDifferences(QKVFixtureDefinition& definition)
{
    definition.storeName(withoutDeliberateDifferences(definition.name()));
    definition.setShortName(withoutDeliberateDifferences(definition.shortName()));
    definition.storeManufacturer(withoutDeliberateDifferences(definition.manufacturer()));
    definition.setManufacturerShort(withoutDeliberateDifferences(definition.manufacturerShort()));
    for (QKVFixtureChannel* channel : definition.channels()) {
        channel->setName(withoutDeliberateDifferences(channel->name()));
        channel->setShortName(withoutDeliberateDifferences(channel->shortName()));
    }
}

struct Parsed
{
    bool wellFormed;
    int unsupported;
    bool fast;
    QStringList definitions; // every field of every definition, one line each
};

Parsed parse(const QByteArray& document, bool fast)
{
    QKVFixtureDefinitionLoader loader;
    loader.setFastScanning(fast);
    loader.setDocument(document);
    loader.parse();
    return {loader.wellFormed(), loader.unsupportedCount(), loader.fastScanned(), describe(loader.definitions())};
}

QList<QByteArray> generatedDocuments(int count)
{
    Random random(20261206);
    QList<QByteArray> documents;
    QStringList names;
    for (int i = 0; i < count; ++i) {
        const auto definition = randomDefinition(random, names);
        names << definition->name();
        documents << QKVFixtureDefinitionXMLExporter::toXml(*definition);
    }
    return documents;
}

} // namespace

class TestFixtureXmlReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exporterWritesWhatQtStreamWriterWrites();
    void writtenDocumentsTakeTheFastPath();
    void fastPathAgreesWithFullReader_data();
    void fastPathAgreesWithFullReader();
    void fastPathAgreesOnDamagedDocuments();
};

void TestFixtureXmlReaders::exporterWritesWhatQtStreamWriterWrites()
{
    Random random(78);
    QStringList names;
    for (int i = 0; i < 400; ++i) {
        const auto definition = randomDefinition(random, names);
        removeDeliberateDifferences(*definition);
        names << definition->name();
        const QByteArray ours = QKVFixtureDefinitionXMLExporter::toXml(*definition);
        const QByteArray qts = streamWriterDocument(*definition);
        if (ours != qts) {
            const qsizetype at
                = std::mismatch(ours.cbegin(), ours.cend(), qts.cbegin(), qts.cend()).first - ours.cbegin();
            QFAIL(qPrintable(QStringLiteral("definition %1 differs at byte %2:\nours: %3\nQt:   %4")
                                 .arg(i)
                                 .arg(at)
                                 .arg(QString::fromUtf8(ours.mid(std::max<qsizetype>(0, at - 40), 80)),
                                      QString::fromUtf8(qts.mid(std::max<qsizetype>(0, at - 40), 80)))));
        }
    }
}

void TestFixtureXmlReaders::writtenDocumentsTakeTheFastPath()
{
    for (const QByteArray& document : generatedDocuments(200)) {
        const Parsed parsed = parse(document, true);
        QVERIFY2(parsed.fast, document.constData());
        QVERIFY(parsed.wellFormed);
        QCOMPARE(parsed.definitions.size(), 1);
    }
}

void TestFixtureXmlReaders::fastPathAgreesWithFullReader_data()
{
    QTest::addColumn<QByteArray>("document");
    int i = 0;
    for (const QByteArray& document : generatedDocuments(300)) {
        QTest::addRow("generated %d", i++) << document;
    }
    for (const QString& name : QDir(QStringLiteral(QRD_TEST_DATA_DIR)).entryList({QStringLiteral("*.xml")})) {
        QTest::addRow("golden %d", i++) << readTestData(name);
    }
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const QList<QByteArray> handMade {
        "<KorvaneFixtureDefinition><Model Name='single quotes &apos;x&apos;'/><Personality><DMXChannel "
        "Name=\"a\"/></Personality></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition ><Model  Name = \"spaces\" /><Personality ></Personality "
        "></KorvaneFixtureDefinition >",
        "<KorvaneFixtureDefinition><DMXChannel Name=\"&#x41;&#66;\"/><Personality><DMXChannelRef "
        "Number=\"1\">&#65;B</DMXChannelRef></Personality></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Type> moving\n head </Type><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Type><b/>Laser</Type><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><DMXChannelRef/><Personality/></KorvaneFixtureDefinition>",
        "<Wrong/>",
        "<KorvaneFixtureDefinition><Personality/><Model/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Personality/></KorvaneFixtureDefinition><Second/>",
        "<KorvaneFixtureDefinition><Personality/></KorvaneFixtureDefinition>trailing",
        "<KorvaneFixtureDefinition><Personality/></Other>",
        "<KorvaneFixtureDefinition><Model Name=\"a\" Name=\"b\"/><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Model Name=\"a\"Foo=\"b\"/><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Model Name=\"a<b\"/><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Model Name=\"&unknown;\"/><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Model Name=\"&#0;\"/><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition>]]><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><!-- note --><Personality/></KorvaneFixtureDefinition>",
        "<KorvaneFixtureDefinition><Personality Name=\"A\"/><Personality Name=\"B\"/></KorvaneFixtureDefinition>",
    };
    for (const QByteArray& body : handMade) {
        QTest::addRow("hand-made %d", i++) << head + body;
    }
}

void TestFixtureXmlReaders::fastPathAgreesWithFullReader()
{
    QFETCH(QByteArray, document);
    const Parsed fast = parse(document, true);
    const Parsed full = parse(document, false);
    QCOMPARE(fast.wellFormed, full.wellFormed);
    QCOMPARE(fast.unsupported, full.unsupported);
    QCOMPARE(fast.definitions, full.definitions);
}

void TestFixtureXmlReaders::fastPathAgreesOnDamagedDocuments()
{
    // Every kind of damage, at many places: cuts, and single bytes replaced by the
    // characters that matter to markup, encoding and line ends.
    const QByteArray replacements("<>&\"'/= \n\r\t\0\xff\xc3\x80;#x]", 20);
    int compared = 0;
    int documents = 0;
    for (const QByteArray& document : generatedDocuments(100)) {
        // Short documents, about a hundred places in each, keep the run to seconds.
        if (document.size() > 3000 || ++documents > 20) {
            continue;
        }
        const qsizetype step = std::max<qsizetype>(1, document.size() / 100);
        for (qsizetype at = documents % step; at < document.size(); at += step) {
            QList<QByteArray> damaged {document.left(at)};
            for (char c : replacements) {
                QByteArray changed = document;
                changed[at] = c;
                damaged << changed;
            }
            for (const QByteArray& bad : damaged) {
                const Parsed fast = parse(bad, true);
                const Parsed full = parse(bad, false);
                if (fast.wellFormed != full.wellFormed || fast.unsupported != full.unsupported
                    || fast.definitions != full.definitions) {
                    QFAIL(qPrintable(QStringLiteral("readers differ on:\n") + QString::fromUtf8(bad)));
                }
                ++compared;
            }
        }
    }
    QVERIFY(compared > 10000);
}

QTEST_GUILESS_MAIN(TestFixtureXmlReaders)
#include "TestFixtureXmlReaders.moc"
