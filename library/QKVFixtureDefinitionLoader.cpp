#include "QKVFixtureDefinitionLoader.h"

#include "FixtureDocument.h"
#include "QKVFixtureXMLContentHandler.h"

#include "FixtureXmlScanner.h"

#include <QXmlStreamReader>

namespace {

FixtureAttributes knownAttributes(const QXmlStreamAttributes& attributes)
{
    FixtureAttributes known;
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (!attribute.namespaceUri().isEmpty()) {
            continue;
        }
        const QStringView name = attribute.name();
        if (name == FixtureDocument::NameAttribute) {
            known.name = attribute.value().toString();
        } else if (name == FixtureDocument::ShortNameAttribute) {
            known.shortName = attribute.value().toString();
        } else if (name == FixtureDocument::NumberAttribute) {
            known.number = attribute.value().toString();
        }
    }
    return known;
}

} // namespace

class QKVFixtureDefinitionLoader::Counter : public QKVFixtureXMLContentHandler::Reporter
{
public:
    explicit Counter(int& count) : m_count(count) { }
    void slotUnsupportedContent() override { ++m_count; }

private:
    int& m_count;
};

QKVFixtureDefinitionLoader::QKVFixtureDefinitionLoader(QObject* parent)
    : QObject(parent)
    , m_counter(std::make_unique<Counter>(m_unsupportedCount))
    , m_handler(std::make_unique<QKVFixtureXMLContentHandler>(m_counter.get()))
{
}

QKVFixtureDefinitionLoader::~QKVFixtureDefinitionLoader() = default;

char* QKVFixtureDefinitionLoader::buffer(qsizetype size)
{
    m_document = QByteArray(size, Qt::Uninitialized);
    return m_document.data();
}

void QKVFixtureDefinitionLoader::setDocument(const QByteArray& document)
{
    m_document = document;
}

const QList<QKVFixtureDefinition*>& QKVFixtureDefinitionLoader::definitions() const
{
    return m_handler->definitions();
}

void QKVFixtureDefinitionLoader::slotUnsupportedContent()
{
    Q_EMIT unsupportedContent();
}

void QKVFixtureDefinitionLoader::load()
{
    parse();
    if (m_reported) {
        return;
    }
    m_reported = true;
    for (int i = 0; i < m_unsupportedCount; ++i) {
        slotUnsupportedContent();
    }
}

void QKVFixtureDefinitionLoader::parse()
{
    if (m_parsed) {
        return;
    }
    m_parsed = true;
    parseDocument();
    // Only the definitions are needed from here on; a library of many documents should
    // not hold each of them twice.
    m_document = QByteArray();
}

void QKVFixtureDefinitionLoader::parseDocument()
{
    const auto result = m_fastScanning ? FixtureXmlScanner::scan(m_document, *m_handler, MaxElementDepth)
                                       : FixtureXmlScanner::Result::GaveUp;
    switch (result) {
        case FixtureXmlScanner::Result::Completed:
            m_wellFormed = true;
            m_fastScanned = true;
            return;
        case FixtureXmlScanner::Result::Stopped:
            m_wellFormed = false;
            m_fastScanned = true;
            return;
        case FixtureXmlScanner::Result::GaveUp:
            break;
    }
    // Start again from nothing with the full reader.
    m_unsupportedCount = 0;
    m_handler = std::make_unique<QKVFixtureXMLContentHandler>(m_counter.get());
    m_wellFormed = parseWithStreamReader();
}

bool QKVFixtureDefinitionLoader::parseWithStreamReader()
{
    QKVFixtureXMLContentHandler& handler = *m_handler;
    QXmlStreamReader reader(m_document);
    // Text may come in several pieces (entities, CDATA); the handler sees it as one.
    QString text;
    bool inText = false;
    int depth = 0;
    bool ok = true;

    auto flushText = [&]() {
        if (!inText) {
            return true;
        }
        inText = false;
        const bool accepted = handler.characters(text);
        text.clear();
        return accepted;
    };

    while (ok && !reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartDocument:
                ok = handler.startDocument();
                break;
            case QXmlStreamReader::EndDocument:
                ok = flushText() && handler.endDocument();
                break;
            case QXmlStreamReader::StartElement:
                if (++depth > MaxElementDepth) {
                    ok = false;
                    break;
                }
                ok = flushText() && handler.startElement(reader.name(), knownAttributes(reader.attributes()));
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                ok = flushText() && handler.endElement(reader.name());
                break;
            case QXmlStreamReader::Characters:
                if (handler.wantsText()) {
                    text += reader.text();
                    inText = true;
                }
                break;
            case QXmlStreamReader::ProcessingInstruction:
                ok = flushText()
                    && handler.processingInstruction(reader.processingInstructionTarget().toString(),
                                                     reader.processingInstructionData().toString());
                break;
            case QXmlStreamReader::EntityReference:
                ok = handler.skippedEntity(reader.name().toString());
                break;
            case QXmlStreamReader::Invalid:
                ok = false;
                break;
            default:
                break;
        }
    }
    return ok && !reader.hasError();
}
