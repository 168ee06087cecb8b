#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <atomic>
#include <memory>

class QKVFixtureDefinition;
class QKVFixtureXMLContentHandler;

/// Holds the bytes of one fixture definition document and parses them, once, into
/// definitions. Elements the reader does not support are reported through
/// unsupportedContent(), once per element.
///
/// parse() touches nothing but the loader itself, so several loaders may parse on
/// different threads; load() then reports on the calling thread.
class QKVFixtureDefinitionLoader : public QObject
{
    Q_OBJECT

public:
    /// Documents nest a few levels; anything deeper is not a fixture document, and the
    /// bound keeps a hostile file from growing the reader's element stack without end.
    static constexpr int MaxElementDepth = 64;

    explicit QKVFixtureDefinitionLoader(QObject* parent = nullptr);
    ~QKVFixtureDefinitionLoader() override;

    /// A buffer of `size` bytes, owned by the loader, for the document's bytes.
    char* buffer(qsizetype size);
    /// Takes the document's bytes.
    void setDocument(const QByteArray& document);
    /// The document until it has been parsed; empty afterwards.
    const QByteArray& document() const { return m_document; }

    /// Parses the document if that has not happened yet, then emits
    /// unsupportedContent() for every unsupported element met. Later calls do nothing.
    void load();
    /// Parses the document if that has not happened yet, emitting nothing.
    void parse();

    /// Whether parse() may take the fast path for documents in the form this program
    /// writes (on by default). Both paths give the same result; tests compare them.
    void setFastScanning(bool enabled) { m_fastScanning = enabled; }

    /// The definitions the document produced, in document order; owned by the loader.
    /// They live in the loader's thread, whichever thread parsed.
    const QList<QKVFixtureDefinition*>& definitions() const;
    /// Hands the definitions to the caller, who then owns them; the loader keeps none.
    QList<QKVFixtureDefinition*> takeDefinitions();

    /// Whether the document was read to its end without an error.
    bool wellFormed() const { return m_wellFormed; }
    /// Whether the fast path read the document (the full reader was not needed).
    bool fastScanned() const { return m_fastScanned; }
    /// Unsupported elements met by the parse.
    int unsupportedCount() const { return m_unsupportedCount; }

Q_SIGNALS:
    void unsupportedContent();

public Q_SLOTS:
    void slotUnsupportedContent();

private:
    class Counter;

    void parseDocument();
    bool parseWithStreamReader();

    QByteArray m_document;
    std::unique_ptr<Counter> m_counter;
    std::unique_ptr<QKVFixtureXMLContentHandler> m_handler;
    bool m_fastScanning = true;
    bool m_parsed = false;
    bool m_reported = false;
    bool m_wellFormed = false;
    bool m_fastScanned = false;
    int m_unsupportedCount = 0;
};
