#include "QKVFixtureDefinitionXMLExporter.h"

#include "FixtureDocument.h"
#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QStringView>

#include <array>
#include <charconv>
#include <cstring>

// The document is written by hand rather than through QXmlStreamWriter: saving a large
// library spends most of its time in the stream writer's many small device writes, and
// the stream writer gives up on a name holding an unpaired surrogate, which would lose
// the definition. The bytes are the same as the stream writer's with auto-formatting:
// the declaration, 4-space indentation, empty elements self-closing, and the same
// escapes (the tests compare both writers).

namespace {

constexpr char Indent1[] = "    ";
constexpr char Indent2[] = "        ";

enum class Context { Attribute, Text };
constexpr qsizetype MaxEscapedLength = 6;
// More than the declaration, the elements and attributes around the names and type take
// (some 230 bytes), and than a channel's two lines take around its names (some 100 bytes
// with the longest number).
constexpr qsizetype DocumentRoom = 320;
constexpr qsizetype ChannelRoom = 160;
constexpr int MaxNumberLength = 11; // "-2147483648"

char* putUtf8(char* dst, char32_t c)
{
    if (c < 0x80) {
        *dst++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *dst++ = static_cast<char>(0xC0 | (c >> 6));
        *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *dst++ = static_cast<char>(0xE0 | (c >> 12));
        *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *dst++ = static_cast<char>(0xF0 | (c >> 18));
        *dst++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return dst;
}

/// What stands for an ASCII character not written as it is, in element text and in an
/// attribute value. The other control characters XML 1.0 cannot carry are dropped.
struct Escape
{
    char16_t character;
    const char* text;
    const char* attribute;
};
constexpr std::array<Escape, 7> Escapes {{{u'<', "&lt;", "&lt;"},
                                          {u'>', "&gt;", "&gt;"},
                                          {u'&', "&amp;", "&amp;"},
                                          {u'"', "&quot;", "&quot;"},
                                          {u'\r', "&#13;", "&#13;"},
                                          {u'\t', "\t", "&#9;"},
                                          {u'\n', "\n", "&#10;"}}};

bool writtenAsItIs(char16_t c)
{
    return c >= 0x20 && c != u'<' && c != u'>' && c != u'&' && c != u'"';
}

/// Writes `text` at `dst` escaped for an attribute value or element text and returns the end.
/// XML 1.0 cannot carry most control characters, U+FFFE or U+FFFF: they are dropped, as
/// the stream writer drops them. Half a surrogate pair becomes U+FFFD. A carriage return
/// is written as a character reference everywhere, because a reader turns a literal one
/// into a line feed and a channel's name would then no longer match its reference.
char* putEscaped(char* dst, QStringView text, Context context)
{
    const qsizetype size = text.size();
    const bool attribute = context == Context::Attribute;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80) {
            if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode())) {
                dst = putUtf8(dst, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
                ++i;
            } else if (QChar::isSurrogate(c)) {
                dst = putUtf8(dst, QChar::ReplacementCharacter);
            } else if (c != 0xFFFE && c != 0xFFFF) {
                dst = putUtf8(dst, c);
            }
            continue;
        }
        if (writtenAsItIs(c)) {
            *dst++ = static_cast<char>(c);
            continue;
        }
        for (const Escape& escape : Escapes) {
            if (escape.character == c) {
                const char* replacement = attribute ? escape.attribute : escape.text;
                const size_t length = std::strlen(replacement);
                std::memcpy(dst, replacement, length);
                dst += length;
                break;
            }
        }
    }
    return dst;
}

/// The most the escaped form of `text` can take: no character takes more than the six
/// bytes of "&quot;" (UTF-8 needs at most three per UTF-16 unit).
qsizetype escapedRoom(QStringView text)
{
    return text.size() * MaxEscapedLength;
}

/// Writes the document through a cursor into room measured beforehand: appending piece by
/// piece to the array was most of the time a save spends on the saving thread.
struct Cursor
{
    char* at;

    void put(const char* text, size_t length)
    {
        std::memcpy(at, text, length);
        at += length;
    }
    template <size_t N>
    void put(const char (&text)[N])
    {
        put(text, N - 1);
    }
    void put(QLatin1String text) { put(text.data(), static_cast<size_t>(text.size())); }
    void put(char c) { *at++ = c; }

    void putAttribute(QLatin1String name, QStringView value)
    {
        put(' ');
        put(name);
        put("=\"");
        at = putEscaped(at, value, Context::Attribute);
        put('"');
    }

    /// `<Element Name="..." ShortName="..."/>`, the short name only when it is hand-made.
    void putNamedElement(QLatin1String element, QStringView name, bool autoShortName, QStringView shortName)
    {
        put(Indent1);
        put('<');
        put(element);
        putAttribute(FixtureDocument::NameAttribute, name);
        if (!autoShortName) {
            putAttribute(FixtureDocument::ShortNameAttribute, shortName);
        }
        put("/>\n");
    }

    void putTag(const char* indent, const char* open, QLatin1String element, const char* close)
    {
        put(indent, std::strlen(indent));
        put(open, std::strlen(open));
        put(element);
        put(close, std::strlen(close));
    }

    /// `<DMXChannelRef Number="n">name</DMXChannelRef>`, self-closing when the name writes nothing.
    void putChannelRef(int number, QStringView name)
    {
        putTag(Indent2, "<", FixtureDocument::ChannelRefElement, "");
        put(' ');
        put(FixtureDocument::NumberAttribute);
        put("=\"");
        at = std::to_chars(at, at + MaxNumberLength, number).ptr;
        put("\">");
        char* const text = at;
        at = putEscaped(at, name, Context::Text);
        if (at == text) {
            // Nothing to write: the stream writer's self-closing form.
            --at;
            put("/>\n");
        } else {
            putTag("", "</", FixtureDocument::ChannelRefElement, ">\n");
        }
    }
};

} // namespace

using namespace FixtureDocument;

QKVFixtureDefinitionXMLExporter::QKVFixtureDefinitionXMLExporter(QObject* parent) : QObject(parent) { }

void QKVFixtureDefinitionXMLExporter::exportDefinition(const QKVFixtureDefinition& definition,
                                                       QByteArray& document) const
{
    const QByteArray type = definition.type() != FixtureType::Undefined
        ? FixtureType::xmlName(definition.type()).toLatin1()
        : QByteArray();
    const QList<QKVFixtureChannel*>& channels = definition.channels();
    qsizetype room = DocumentRoom + type.size() + escapedRoom(definition.manufacturer())
        + escapedRoom(definition.manufacturerShort()) + escapedRoom(definition.name())
        + escapedRoom(definition.shortName());
    for (const QKVFixtureChannel* channel : channels) {
        room += ChannelRoom + 2 * escapedRoom(channel->name()) + escapedRoom(channel->shortName());
    }
    // A document reused for the next definition keeps its room: resizing within it does
    // not allocate.
    document.resize(room);
    Cursor out {document.data()};
    out.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    out.putTag("", "<", RootElement, ">\n");

    out.putNamedElement(ManufacturerElement,
                        definition.manufacturer(),
                        definition.autoManufacturerShort(),
                        definition.manufacturerShort());
    out.putNamedElement(ModelElement, definition.name(), definition.autoShortName(), definition.shortName());

    if (definition.type() != FixtureType::Undefined) {
        out.putTag(Indent1, "<", TypeElement, ">");
        out.put(type.constData(), static_cast<size_t>(type.size()));
        out.putTag("", "</", TypeElement, ">\n");
    }

    for (const QKVFixtureChannel* channel : channels) {
        out.putNamedElement(ChannelElement, channel->name(), channel->autoShortName(), channel->shortName());
    }

    if (channels.isEmpty()) {
        out.putTag(Indent1, "<", PersonalityElement, "/>\n");
    } else {
        out.putTag(Indent1, "<", PersonalityElement, ">\n");
        for (const QKVFixtureChannel* channel : channels) {
            out.putChannelRef(channel->number(), channel->name());
        }
        out.putTag(Indent1, "</", PersonalityElement, ">\n");
    }

    out.putTag("", "</", RootElement, ">\n");
    document.truncate(out.at - document.constData());
}

QByteArray QKVFixtureDefinitionXMLExporter::toXml(const QKVFixtureDefinition& definition)
{
    QByteArray document;
    QKVFixtureDefinitionXMLExporter().exportDefinition(definition, document);
    // Kept, perhaps among thousands (a copied selection): not with room for the worst case.
    document.squeeze();
    return document;
}
