#include "FixtureXmlScanner.h"

#include "QKVFixtureXMLContentHandler.h"

#include <QString>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace FixtureXmlScanner {

namespace {

constexpr char Declaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr qsizetype DeclarationLength = sizeof(Declaration) - 1;
// Element names of fixture documents are short; a longer one is left to the full reader.
constexpr qsizetype MaxNameLength = 64;
// The longest reference worth decoding here: "&#x10FFFF;" has 10 characters.
constexpr qsizetype MaxReferenceLength = 10;
// Digits that always fit an int, read without QString::toInt.
constexpr qsizetype MaxPlainDigits = 9;
constexpr int DecimalBase = 10;

bool isNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t';
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

constexpr qsizetype WordSize = sizeof(quint64);
constexpr quint64 HighBits = 0x8080808080808080;
constexpr quint64 Spaces = 0x2020202020202020;

/// Whether the eight bytes at `p` are all printable ASCII (0x20 to 0x7F): most of a
/// document, checked a word at a time instead of byte by byte.
bool printableAscii(const unsigned char* p)
{
    quint64 word;
    std::memcpy(&word, p, WordSize);
    // With no high bit set, a byte below 0x20 borrows into its own high bit.
    return (word & HighBits) == 0 && ((word - Spaces) & ~word & HighBits) == 0;
}

/// Whether every byte is strict UTF-8 for an XML character, with no carriage return
/// (a reader would normalise it) and no other control character but tab and line feed.
bool validCharacters(const unsigned char* p, const unsigned char* end)
{
    while (p < end) {
        if (end - p >= WordSize && printableAscii(p)) {
            p += WordSize;
            continue;
        }
        const unsigned char b = *p;
        if (b < 0x80) {
            if (b < 0x20 && b != '\n' && b != '\t') {
                return false;
            }
            ++p;
            continue;
        }
        char32_t c;
        int length;
        if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            length = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            length = 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            length = 4;
        } else {
            return false;
        }
        if (end - p < length) {
            return false;
        }
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (p[i] & 0x3F);
        }
        const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (c < smallest || (c >= 0xD800 && c <= 0xDFFF) || !isXmlChar(c)) {
            return false;
        }
        p += length;
    }
    return true;
}

/// Decodes the reference starting at `p` (at "&"); sets `next` past its ";".
bool decodeReference(const char* p, const char* end, char32_t& c, const char*& next)
{
    const qsizetype room = std::min<qsizetype>(end - p, MaxReferenceLength + 1);
    const char* semicolon = static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(room)));
    if (!semicolon) {
        return false;
    }
    const QByteArrayView name(p + 1, semicolon - p - 1);
    next = semicolon + 1;
    if (name == "lt") {
        c = '<';
    } else if (name == "gt") {
        c = '>';
    } else if (name == "amp") {
        c = '&';
    } else if (name == "quot") {
        c = '"';
    } else if (name == "apos") {
        c = '\'';
    } else if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        const QByteArrayView digits = name.sliced(hex ? 2 : 1);
        if (digits.isEmpty()) {
            return false;
        }
        c = 0;
        for (char d : digits) {
            int value;
            if (d >= '0' && d <= '9') {
                value = d - '0';
            } else if (hex && d >= 'a' && d <= 'f') {
                value = d - 'a' + 10;
            } else if (hex && d >= 'A' && d <= 'F') {
                value = d - 'A' + 10;
            } else {
                return false;
            }
            c = c * (hex ? 16 : 10) + static_cast<char32_t>(value);
        }
        return isXmlChar(c);
    } else {
        return false;
    }
    return true;
}

/// Appends UTF-8 bytes already checked; ASCII, nearly all of a document, goes in
/// without a temporary string, into room the text may already have. A value that has
/// no room yet gets exactly its size: it may stay for good as a channel's name.
void appendUtf8(QString& out, const char* p, qsizetype size)
{
    if (std::all_of(p, p + size, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        if (out.capacity() == 0 && size > 0) {
            out = QString::fromLatin1(p, size);
        } else {
            out.append(QLatin1StringView(p, size));
        }
    } else {
        out.append(QString::fromUtf8(p, size));
    }
}

/// Appends the text of [p, end) with its references resolved; false on a bad reference
/// or a character that is not allowed where it stands.
bool appendText(const char* p, const char* end, QString* out)
{
    const char* run = p;
    while (p < end) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', static_cast<size_t>(end - p)));
        if (!amp) {
            break;
        }
        if (out) {
            appendUtf8(*out, run, amp - run);
        }
        char32_t c;
        if (!decodeReference(amp, end, c, p)) {
            return false;
        }
        if (out) {
            const char32_t ucs4[] = {c};
            out->append(QString::fromUcs4(ucs4, 1));
        }
        run = p;
    }
    if (out) {
        appendUtf8(*out, run, end - run);
    }
    return true;
}

/// The bytes of an ASCII name as UTF-16, for the handler's comparisons.
class Name
{
public:
    explicit Name(QByteArrayView bytes)
    {
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            m_text[i] = static_cast<char16_t>(bytes[i]);
        }
        m_size = bytes.size();
    }
    QStringView view() const { return QStringView(m_text, m_size); }

private:
    char16_t m_text[MaxNameLength];
    qsizetype m_size;
};

/// Reads a name at `p`; empty when there is none or it is longer than we handle.
QByteArrayView readName(const char* p, const char* end)
{
    if (p >= end || !isNameStart(*p)) {
        return {};
    }
    const char* q = p + 1;
    while (q < end && isNameChar(*q)) {
        ++q;
    }
    if (q - p > MaxNameLength) {
        return {};
    }
    return QByteArrayView(p, q - p);
}

const char* skipSpaces(const char* p, const char* end)
{
    while (p < end && isSpace(*p)) {
        ++p;
    }
    return p;
}

/// A Number value as QString::toInt reads it. Plain digits, the form this program
/// writes, are read without building a string.
bool readNumber(const char* p, const char* end, std::optional<int>& number)
{
    if (end - p >= 1 && end - p <= MaxPlainDigits && std::all_of(p, end, [](char c) { return c >= '0' && c <= '9'; })) {
        int value = 0;
        for (; p < end; ++p) {
            value = value * DecimalBase + (*p - '0');
        }
        number = value;
        return true;
    }
    QString text;
    if (!appendText(p, end, &text)) {
        return false;
    }
    bool ok = false;
    const int value = text.toInt(&ok);
    number = ok ? std::optional<int>(value) : std::nullopt;
    return true;
}

/// Stores the value [p, end) of the attribute `name`; false for an attribute the scanner
/// does not know, a second one of the same name, or a bad reference.
bool storeAttribute(
    QByteArrayView name, const char* p, const char* end, FixtureAttributes& attributes, bool& numberSeen)
{
    if (name == "Number") {
        return !std::exchange(numberSeen, true) && readNumber(p, end, attributes.number);
    }
    std::optional<QString>* slot = nullptr;
    if (name == "Name") {
        slot = &attributes.name;
    } else if (name == "ShortName") {
        slot = &attributes.shortName;
    }
    if (!slot || slot->has_value()) {
        return false;
    }
    QString value;
    if (!appendText(p, end, &value)) {
        return false;
    }
    *slot = std::move(value);
    return true;
}

/// Parses the attributes of a start tag from `p` up to and including its ">" or "/>".
bool readAttributes(const char*& p, const char* end, FixtureAttributes& attributes, bool& selfClosing)
{
    bool numberSeen = false;
    for (;;) {
        const char* q = skipSpaces(p, end);
        const bool hadSpace = q > p;
        p = q;
        if (p >= end) {
            return false;
        }
        if (*p == '>') {
            selfClosing = false;
            ++p;
            return true;
        }
        if (*p == '/') {
            if (p + 1 >= end || p[1] != '>') {
                return false;
            }
            selfClosing = true;
            p += 2;
            return true;
        }
        const QByteArrayView name = readName(p, end);
        if (!hadSpace || name.isEmpty()) {
            return false;
        }
        p = skipSpaces(p + name.size(), end);
        if (p >= end || *p != '=') {
            return false;
        }
        p = skipSpaces(p + 1, end);
        if (p >= end || (*p != '"' && *p != '\'')) {
            return false;
        }
        const char quote = *p++;
        const char* close = static_cast<const char*>(std::memchr(p, quote, static_cast<size_t>(end - p)));
        if (!close) {
            return false;
        }
        // "<" may not stand in a value; tab and line feed would need normalising.
        for (const char* v = p; v < close; ++v) {
            if (*v == '<' || *v == '\n' || *v == '\t') {
                return false;
            }
        }
        if (!storeAttribute(name, p, close, attributes, numberSeen)) {
            return false;
        }
        p = close + 1;
    }
}

/// The tokenizer's place in one document and the elements open there.
class Tokenizer
{
public:
    Tokenizer(QByteArrayView document, QKVFixtureXMLContentHandler& handler, int maxDepth)
        : m_p(document.data()), m_end(document.data() + document.size()), m_handler(handler), m_maxDepth(maxDepth)
    {
    }

    Result run()
    {
        while (m_p < m_end) {
            std::optional<Result> early;
            if (*m_p != '<') {
                early = text();
            } else if (m_p + 1 < m_end && m_p[1] == '/') {
                early = endTag();
            } else {
                early = startTag();
            }
            if (early) {
                return *early;
            }
        }
        if (!m_rootClosed) {
            return Result::GaveUp;
        }
        if (!m_handler.flushText()) {
            return Result::Stopped;
        }
        return m_handler.endDocument() ? Result::Completed : Result::Stopped;
    }

private:
    // Each step reads one piece of the document; a result ends the scan there.
    std::optional<Result> text()
    {
        const char* lt = static_cast<const char*>(std::memchr(m_p, '<', static_cast<size_t>(m_end - m_p)));
        if (!lt) {
            lt = m_end;
        }
        if (m_open.isEmpty()) {
            // Outside the root element only white space may stand.
            if (skipSpaces(m_p, lt) != lt) {
                return Result::GaveUp;
            }
        } else {
            if (QByteArrayView(m_p, lt - m_p).contains("]]>")) {
                return Result::GaveUp;
            }
            if (!appendText(m_p, lt, m_handler.wantsText() ? &m_handler.pendingText() : nullptr)) {
                return Result::GaveUp;
            }
        }
        m_p = lt;
        return std::nullopt;
    }

    std::optional<Result> endTag()
    {
        const QByteArrayView name = readName(m_p + 2, m_end);
        const char* q = skipSpaces(m_p + 2 + name.size(), m_end);
        if (name.isEmpty() || q >= m_end || *q != '>' || m_open.isEmpty() || m_open.back() != name) {
            return Result::GaveUp;
        }
        m_open.pop_back();
        m_rootClosed = m_open.isEmpty();
        m_p = q + 1;
        if (!m_handler.flushText() || !m_handler.endElement(Name(name).view())) {
            return Result::Stopped;
        }
        return std::nullopt;
    }

    std::optional<Result> startTag()
    {
        const QByteArrayView name = readName(m_p + 1, m_end);
        if (name.isEmpty() || m_rootClosed || m_open.size() >= m_maxDepth) {
            return Result::GaveUp;
        }
        m_p += 1 + name.size();
        FixtureAttributes attributes;
        bool selfClosing = false;
        if (!readAttributes(m_p, m_end, attributes, selfClosing)) {
            return Result::GaveUp;
        }
        const Name element(name);
        if (!m_handler.flushText() || !m_handler.startElement(element.view(), attributes)) {
            return Result::Stopped;
        }
        if (!selfClosing) {
            m_open.append(name);
        } else {
            m_rootClosed = m_open.isEmpty();
            if (!m_handler.endElement(element.view())) {
                return Result::Stopped;
            }
        }
        return std::nullopt;
    }

    const char* m_p;
    const char* const m_end;
    QKVFixtureXMLContentHandler& m_handler;
    const int m_maxDepth;
    QVarLengthArray<QByteArrayView, 16> m_open;
    bool m_rootClosed = false;
};

} // namespace

Result scan(QByteArrayView document, QKVFixtureXMLContentHandler& handler, int maxDepth)
{
    if (document.size() < DeclarationLength || std::memcmp(document.data(), Declaration, DeclarationLength) != 0) {
        return Result::GaveUp;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(document.data());
    if (!validCharacters(bytes, bytes + document.size())) {
        return Result::GaveUp;
    }
    if (!handler.startDocument()) {
        return Result::Stopped;
    }
    return Tokenizer(document.sliced(DeclarationLength), handler, maxDepth).run();
}

} // namespace FixtureXmlScanner
