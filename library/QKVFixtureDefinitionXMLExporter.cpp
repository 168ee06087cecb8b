#include "QKVFixtureDefinitionXMLExporter.h"

#include "FixtureDocument.h"
#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QStringView>

#include <array>
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
// About what the declaration, the names and type take, and what a channel's two lines take.
constexpr qsizetype DocumentRoom = 320;
constexpr qsizetype ChannelRoom = 160;

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

/// Appends `text` escaped for an attribute value or element text. XML 1.0 cannot carry
/// most control characters, U+FFFE or U+FFFF: they are dropped, as the stream writer
/// drops them. Half a surrogate pair becomes U+FFFD. A carriage return is written as a
/// character reference everywhere, because a reader turns a literal one into a line
/// feed and a channel's name would then no longer match its reference.
void appendEscaped(QByteArray& out, QStringView text, Context context)
{
    const qsizetype size = text.size();
    const qsizetype start = out.size();
    // No character takes more than the six bytes of "&quot;" (UTF-8 needs at most three
    // per UTF-16 unit), so the bytes are written straight into room made beforehand.
    out.resize(start + size * MaxEscapedLength);
    char* dst = out.data() + start;
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
    out.truncate(dst - out.constData());
}

void appendAttribute(QByteArray& out, QLatin1String name, const QString& value)
{
    out.append(' ');
    out.append(name.data(), name.size());
    out.append("=\"");
    appendEscaped(out, value, Context::Attribute);
    out.append('"');
}

/// `<Element Name="..." ShortName="..."/>`, the short name only when it is hand-made.
void appendNamedElement(
    QByteArray& out, QLatin1String element, const QString& name, bool autoShortName, const QString& shortName)
{
    out.append(Indent1);
    out.append('<');
    out.append(element.data(), element.size());
    appendAttribute(out, FixtureDocument::NameAttribute, name);
    if (!autoShortName) {
        appendAttribute(out, FixtureDocument::ShortNameAttribute, shortName);
    }
    out.append("/>\n");
}

void appendTag(QByteArray& out, const char* indent, const char* open, QLatin1String element, const char* close)
{
    out.append(indent);
    out.append(open);
    out.append(element.data(), element.size());
    out.append(close);
}

} // namespace

using namespace FixtureDocument;

QKVFixtureDefinitionXMLExporter::QKVFixtureDefinitionXMLExporter(QObject* parent) : QObject(parent) { }

void QKVFixtureDefinitionXMLExporter::exportDefinition(const QKVFixtureDefinition& definition,
                                                       QByteArray& document) const
{
    QByteArray& out = document;
    // Emptied, not released: a document reused for the next definition keeps its room.
    out.truncate(0);
    // Room for a typical document up front, instead of growing (and copying) it step by step.
    out.reserve(DocumentRoom + definition.channelCount() * ChannelRoom);
    out.append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    appendTag(out, "", "<", RootElement, ">\n");

    appendNamedElement(out,
                       ManufacturerElement,
                       definition.manufacturer(),
                       definition.autoManufacturerShort(),
                       definition.manufacturerShort());
    appendNamedElement(out, ModelElement, definition.name(), definition.autoShortName(), definition.shortName());

    if (definition.type() != FixtureType::Undefined) {
        appendTag(out, Indent1, "<", TypeElement, ">");
        out.append(FixtureType::xmlName(definition.type()).toLatin1());
        appendTag(out, "", "</", TypeElement, ">\n");
    }

    const QList<QKVFixtureChannel*>& channels = definition.channels();
    for (const QKVFixtureChannel* channel : channels) {
        appendNamedElement(out, ChannelElement, channel->name(), channel->autoShortName(), channel->shortName());
    }

    if (channels.isEmpty()) {
        appendTag(out, Indent1, "<", PersonalityElement, "/>\n");
    } else {
        appendTag(out, Indent1, "<", PersonalityElement, ">\n");
        for (const QKVFixtureChannel* channel : channels) {
            appendTag(out, Indent2, "<", ChannelRefElement, "");
            appendAttribute(out, NumberAttribute, QString::number(channel->number()));
            const qsizetype start = out.size();
            out.append('>');
            appendEscaped(out, channel->name(), Context::Text);
            if (out.size() == start + 1) {
                // Nothing to write: the stream writer's self-closing form.
                out.chop(1);
                out.append("/>\n");
            } else {
                appendTag(out, "", "</", ChannelRefElement, ">\n");
            }
        }
        appendTag(out, Indent1, "</", PersonalityElement, ">\n");
    }

    appendTag(out, "", "</", RootElement, ">\n");
}

QByteArray QKVFixtureDefinitionXMLExporter::toXml(const QKVFixtureDefinition& definition)
{
    QByteArray document;
    QKVFixtureDefinitionXMLExporter().exportDefinition(definition, document);
    return document;
}
