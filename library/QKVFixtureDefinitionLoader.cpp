#include "QKVFixtureDefinitionLoader.h"

#include "FixtureDocument.h"
#include "FixtureXmlScanner.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureXMLContentHandler.h"

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
            bool ok = false;
            const int number = attribute.value().toInt(&ok);
            known.number = ok ? std::optional<int>(number) : std::nullopt;
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

QList<QKVFixtureDefinition*> QKVFixtureDefinitionLoader::takeDefinitions()
{
    return m_handler->takeDefinitions();
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
    // Made on a parsing thread, they belong to whoever asked for them; and a thread can
    // only hand its objects over, the receiver cannot take them.
    for (QKVFixtureDefinition* definition : m_handler->definitions()) {
        definition->moveToThread(thread());
    }
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
    int depth = 0;
    bool ok = true;

    while (ok && !reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartDocument:
                ok = handler.startDocument();
                break;
            case QXmlStreamReader::EndDocument:
                ok = handler.flushText() && handler.endDocument();
                break;
            case QXmlStreamReader::StartElement:
                if (++depth > MaxElementDepth) {
                    ok = false;
                    break;
                }
                ok = handler.flushText() && handler.startElement(reader.name(), knownAttributes(reader.attributes()));
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                ok = handler.flushText() && handler.endElement(reader.name());
                break;
            case QXmlStreamReader::Characters:
                if (handler.wantsText()) {
                    handler.pendingText() += reader.text();
                }
                break;
            case QXmlStreamReader::ProcessingInstruction:
                ok = handler.flushText()
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
