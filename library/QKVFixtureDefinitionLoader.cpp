#include "QKVFixtureDefinitionLoader.h"

#include "QKVFixtureXMLContentHandler.h"

#include <QXmlStreamReader>

class QKVFixtureDefinitionLoader::Counter : public QKVFixtureXMLContentHandler::Reporter
{
public:
    explicit Counter(int& count)
        : m_count(count)
    {
    }
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
            ok = flushText()
                && handler.startElement(reader.namespaceUri().toString(),
                                        reader.name().toString(),
                                        reader.qualifiedName().toString(),
                                        reader.attributes());
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            ok = flushText()
                && handler.endElement(
                    reader.namespaceUri().toString(), reader.name().toString(), reader.qualifiedName().toString());
            break;
        case QXmlStreamReader::Characters:
            text += reader.text();
            inText = true;
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
    m_wellFormed = ok && !reader.hasError();
}
