#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <memory>
#include <optional>
#include <vector>

class QKVFixtureChannel;
class QKVFixtureDefinition;

/// The attributes of one element that the reader knows; any other attribute is ignored.
struct FixtureAttributes
{
    std::optional<QString> name;
    std::optional<QString> shortName;
    std::optional<QString> number;
};

/// SAX-style reader of one fixture definition document. The loader drives it from a
/// tokenizer loop; each operation returns false to stop the parse.
///
/// Besides the form the library writes (channels declared in the root, referenced by
/// name from one personality), it reads channels declared inside a personality and
/// several personalities per document; each personality becomes one definition.
class QKVFixtureXMLContentHandler
{
public:
    /// Receives the reports of elements this reader does not support.
    class Reporter
    {
    public:
        virtual ~Reporter() = default;
        virtual void slotUnsupportedContent() = 0;
    };

    explicit QKVFixtureXMLContentHandler(Reporter* reporter = nullptr);
    ~QKVFixtureXMLContentHandler();

    QKVFixtureXMLContentHandler(const QKVFixtureXMLContentHandler&) = delete;
    QKVFixtureXMLContentHandler& operator=(const QKVFixtureXMLContentHandler&) = delete;

    bool startDocument();
    bool endDocument() { return true; }
    bool startElement(QStringView localName, const FixtureAttributes& attributes);
    bool endElement(QStringView localName);
    bool characters(const QString& text);
    /// Whether text met now would change anything; elsewhere the tokenizer may skip it.
    bool wantsText() const { return m_state == State::InType || m_state == State::InChannelRef; }
    bool ignorableWhitespace(const QString&) { return true; }
    bool processingInstruction(const QString&, const QString&) { return true; }
    bool skippedEntity(const QString&) { return true; }
    QString errorString() const { return {}; }

    /// The definitions finished so far, in document order; owned by the handler.
    const QList<QKVFixtureDefinition*>& definitions() const { return m_definitions; }

private:
    enum class State {
        BeforeRoot, // 0
        InRoot, // 1
        InPersonality, // 2
        AfterPersonality, // 3
        InType, // 5
        InChannelRef, // 6
    };

    void reportUnsupported();
    void beginPersonality(const FixtureAttributes& attributes);
    void endPersonality();
    void resolveChannelRef(const QString& name);
    static QKVFixtureChannel* channelFromAttributes(const FixtureAttributes& attributes);

    Reporter* m_reporter;
    State m_state = State::BeforeRoot;
    int m_lastNumber = 0;
    std::unique_ptr<QKVFixtureDefinition> m_current;
    QString m_personalityName;
    // Channels declared in the root. The first reference to one takes the object
    // itself (`owned` is then empty); later references copy it from `channel`, which
    // the definition that took it keeps alive as long as this handler.
    struct PoolChannel
    {
        std::unique_ptr<QKVFixtureChannel> owned;
        QKVFixtureChannel* channel;
    };
    std::vector<PoolChannel> m_channelPool;
    // Pool channels already taken by a reference of the current personality, so that
    // two channels of the same name (or two without a name) each keep their own.
    std::vector<bool> m_poolUsed;
    QList<QKVFixtureDefinition*> m_definitions;
};
