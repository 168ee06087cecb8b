#include "QxfSkim.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

namespace QxfSkim {

namespace {

/// The XML declaration may follow a byte order mark; any later "<?" is an instruction.
constexpr qsizetype LatestDeclaration = 3;

bool isNameByte(char c)
{
    // Bytes of multi-byte UTF-8 characters count too: they can only be part of a name here.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_'
        || c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

QByteArrayView localName(QByteArrayView qualified)
{
    const qsizetype colon = qualified.lastIndexOf(':');
    return colon < 0 ? qualified : qualified.sliced(colon + 1);
}

/// The tag name that starts at `at` (just after a "<").
QByteArrayView nameAt(QByteArrayView bytes, qsizetype at)
{
    qsizetype end = at;
    while (end < bytes.size() && isNameByte(bytes.at(end))) {
        ++end;
    }
    return bytes.sliced(at, end - at);
}

/// Where the start tag whose name ends at `at` closes, past quoted attribute values
/// (which may hold ">"); -1 when it does not before the next "<", which no tag holds.
/// Stopping there keeps the scan of a damaged file linear.
qsizetype tagEnd(QByteArrayView bytes, qsizetype at)
{
    char quote = 0;
    for (; at < bytes.size(); ++at) {
        const char c = bytes.at(at);
        if (c == '<') {
            return -1;
        }
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return at;
        }
    }
    return -1;
}

bool isCapabilityList(QByteArrayView element)
{
    return element == "Group" || element == "Capability" || element == "Colour";
}

/// The next "<" from `from`, or -1; memchr, since this runs over every byte of a catalogue.
qsizetype nextTag(QByteArrayView bytes, qsizetype from)
{
    if (from >= bytes.size()) {
        return -1;
    }
    const void* found = std::memchr(bytes.data() + from, '<', static_cast<size_t>(bytes.size() - from));
    return found ? static_cast<const char*>(found) - bytes.data() : -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/// Where the body that starts at `body` ends (at its end tag), if it is a capability list
/// that holds only elements; -1 otherwise, also for anything but elements in it, which
/// the caller then meets and judges itself.
qsizetype capabilityListEnd(QByteArrayView bytes, qsizetype body, QByteArrayView channelName)
{
    qsizetype first = body;
    while (first < bytes.size() && isBlank(bytes.at(first))) {
        ++first;
    }
    if (first + 1 >= bytes.size() || bytes.at(first) != '<' || !isCapabilityList(localName(nameAt(bytes, first + 1)))) {
        return -1;
    }
    for (qsizetype at = nextTag(bytes, first + 1); at >= 0 && at + 1 < bytes.size(); at = nextTag(bytes, at + 1)) {
        const char next = bytes.at(at + 1);
        if (next == '/') {
            if (nameAt(bytes, at + 2) == channelName) {
                return at;
            }
        } else if (!isNameByte(next) || localName(nameAt(bytes, at + 1)) == "Channel") {
            return -1;
        }
    }
    return -1;
}

} // namespace

QByteArray withoutCapabilityLists(const QByteArray& bytes)
{
    const QByteArrayView view(bytes);
    QByteArray result;
    qsizetype copied = 0;
    for (qsizetype at = nextTag(view, 0); at >= 0 && at + 1 < view.size(); at = nextTag(view, at + 1)) {
        const char next = view.at(at + 1);
        if (next == '!' || next == '?') {
            // Only the declaration and a DOCTYPE without declarations of its own: inside
            // anything else (comments, CDATA, instructions, entities) text may look like tags.
            const qsizetype close = view.indexOf('>', at);
            const bool declaration = next == '?' && at <= LatestDeclaration;
            const bool plainDoctype
                = view.sliced(at).startsWith("<!DOCTYPE") && close >= 0 && view.sliced(at, close - at).indexOf('[') < 0;
            if (!declaration && !plainDoctype) {
                return bytes;
            }
            continue;
        }
        const QByteArrayView name = nameAt(view, at + 1);
        if (localName(name) != "Channel") {
            continue;
        }
        const qsizetype close = tagEnd(view, at + 1 + name.size());
        if (close < 0 || view.at(close - 1) == '/') {
            continue;
        }
        const qsizetype end = capabilityListEnd(view, close + 1, name);
        if (end < 0) {
            continue;
        }
        if (result.isEmpty()) {
            result.reserve(bytes.size());
        }
        result.append(view.sliced(copied, close + 1 - copied));
        result.append(std::count(bytes.cbegin() + close + 1, bytes.cbegin() + end, '\n'), '\n');
        copied = end;
        at = end;
    }
    if (copied == 0) {
        return bytes;
    }
    result.append(view.sliced(copied));
    return result;
}

} // namespace QxfSkim
