#include "FixtureXmlScanner.h"

#include "QKVFixtureXMLContentHandler.h"

#include <QString>
#include <QVarLengthArray>

#include <cstring>

namespace FixtureXmlScanner {

namespace {

constexpr char Declaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr qsizetype DeclarationLength = sizeof(Declaration) - 1;
// Element names of fixture documents are short; a longer one is left to the full reader.
constexpr qsizetype MaxNameLength = 64;
// The longest reference worth decoding here: "&#x10FFFF;" has 10 characters.
constexpr qsizetype MaxReferenceLength = 10;

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

/// Whether every byte is strict UTF-8 for an XML character, with no carriage return
/// (a reader would normalise it) and no other control character but tab and line feed.
bool validCharacters(const unsigned char* p, const unsigned char* end)
{
    while (p < end) {
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
            out->append(QString::fromUtf8(run, amp - run));
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
        out->append(QString::fromUtf8(run, end - run));
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

/// Parses the attributes of a start tag from `p` up to and including its ">" or "/>".
bool readAttributes(const char*& p, const char* end, FixtureAttributes& attributes, bool& selfClosing)
{
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
        std::optional<QString>* slot = nullptr;
        if (name == "Name") {
            slot = &attributes.name;
        } else if (name == "ShortName") {
            slot = &attributes.shortName;
        } else if (name == "Number") {
            slot = &attributes.number;
        }
        if (!slot || slot->has_value()) {
            return false;
        }
        QString value;
        if (!appendText(p, close, &value)) {
            return false;
        }
        *slot = std::move(value);
        p = close + 1;
    }
}

} // namespace

Result scan(QByteArrayView document, QKVFixtureXMLContentHandler& handler, int maxDepth)
{
    const char* p = document.data();
    const char* const end = p + document.size();
    if (document.size() < DeclarationLength || std::memcmp(p, Declaration, DeclarationLength) != 0) {
        return Result::GaveUp;
    }
    if (!validCharacters(reinterpret_cast<const unsigned char*>(p), reinterpret_cast<const unsigned char*>(end))) {
        return Result::GaveUp;
    }
    p += DeclarationLength;
    if (!handler.startDocument()) {
        return Result::Stopped;
    }

    QVarLengthArray<QByteArrayView, 16> open;
    bool rootClosed = false;
    QString text;
    bool inText = false;
    auto flushText = [&]() {
        if (!inText) {
            return true;
        }
        inText = false;
        const bool accepted = handler.characters(text);
        text.clear();
        return accepted;
    };

    while (p < end) {
        if (*p != '<') {
            const char* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
            if (!lt) {
                lt = end;
            }
            if (open.isEmpty()) {
                // Outside the root element only white space may stand.
                if (skipSpaces(p, lt) != lt) {
                    return Result::GaveUp;
                }
            } else {
                if (QByteArrayView(p, lt - p).contains("]]>")) {
                    return Result::GaveUp;
                }
                QString* target = handler.wantsText() ? &text : nullptr;
                if (!appendText(p, lt, target)) {
                    return Result::GaveUp;
                }
                inText = inText || target;
            }
            p = lt;
            continue;
        }

        if (p + 1 >= end) {
            return Result::GaveUp;
        }
        if (p[1] == '/') {
            const QByteArrayView name = readName(p + 2, end);
            const char* q = skipSpaces(p + 2 + name.size(), end);
            if (name.isEmpty() || q >= end || *q != '>' || open.isEmpty() || open.back() != name) {
                return Result::GaveUp;
            }
            open.pop_back();
            rootClosed = open.isEmpty();
            p = q + 1;
            if (!flushText() || !handler.endElement(Name(name).view())) {
                return Result::Stopped;
            }
            continue;
        }

        const QByteArrayView name = readName(p + 1, end);
        if (name.isEmpty() || rootClosed || open.size() >= maxDepth) {
            return Result::GaveUp;
        }
        p += 1 + name.size();
        FixtureAttributes attributes;
        bool selfClosing = false;
        if (!readAttributes(p, end, attributes, selfClosing)) {
            return Result::GaveUp;
        }
        const Name element(name);
        if (!flushText() || !handler.startElement(element.view(), attributes)) {
            return Result::Stopped;
        }
        if (selfClosing) {
            rootClosed = open.isEmpty();
            if (!handler.endElement(element.view())) {
                return Result::Stopped;
            }
        } else {
            open.append(name);
        }
    }

    if (!rootClosed) {
        return Result::GaveUp;
    }
    if (!flushText()) {
        return Result::Stopped;
    }
    return handler.endDocument() ? Result::Completed : Result::Stopped;
}

} // namespace FixtureXmlScanner
