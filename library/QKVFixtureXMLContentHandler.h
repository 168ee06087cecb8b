#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QKVFixtureChannel;
class QKVFixtureDefinition;

/// The attributes of one element that the reader knows; any other attribute is ignored.
struct FixtureAttributes
{
    std::optional<QString> name;
    std::optional<QString> shortName;
    std::optional<int> number; ///< empty when absent or not a number
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
    /// Lets go of what only the parse needed.
    bool endDocument();
    bool startElement(QStringView localName, const FixtureAttributes& attributes);
    bool endElement(QStringView localName);
    bool characters(const QString& text);
    /// Whether text met now would change anything; elsewhere the tokenizer may skip it.
    bool wantsText() const { return m_state == State::InType || m_state == State::InChannelRef; }
    /// Text may arrive in pieces (references, CDATA); the tokenizer adds each here and
    /// calls flushText() at the next markup, so characters() sees the text as one.
    QString& pendingText()
    {
        m_hasText = true;
        return m_text;
    }
    /// Hands the pending text, if any, to characters().
    bool flushText();
    bool ignorableWhitespace(const QString&) { return true; }
    bool processingInstruction(const QString&, const QString&) { return true; }
    bool skippedEntity(const QString&) { return true; }
    QString errorString() const { return {}; }

    /// The definitions finished so far, in document order; owned by the handler.
    const QList<QKVFixtureDefinition*>& definitions() const { return m_definitions; }
    /// Hands the finished definitions to the caller, who then owns them.
    QList<QKVFixtureDefinition*> takeDefinitions() { return std::exchange(m_definitions, {}); }

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
    QString m_text;
    bool m_hasText = false;
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
    // Every pool channel before this one is used: documents this program writes refer
    // to the channels in order, so the next reference is found at once.
    size_t m_firstUnused = 0;
    QList<QKVFixtureDefinition*> m_definitions;
};
