#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <initializer_list>
#include <memory>

class QJsonValue;
class QKVFixtureChannel;
class QKVFixtureDefinition;
struct LibraryContent;

/// Converts libraries, definitions and channels to and from the tool's JSON form:
///
///     {"version": "01.00", "unsupportedContent": false, "definitions": [
///         {"name", "shortName", "autoShortName", "manufacturer", "manufacturerShort",
///          "autoManufacturerShort", "type", "channels": [
///              {"number", "name", "shortName", "autoShortName"}]}]}
///
/// Short names are written as stored, never derived. Reading takes the model's default
/// for every absent field (type -1, auto flags on, empty texts), and a channel without
/// a number gets its 1-based position. The library's "version" and
/// "unsupportedContent" describe a file that was read and are ignored on reading.
/// A field of the wrong type or one this form does not know is refused, with its place
/// named ("definitions[2].channels[0].name"), so a typing error never drops data silently.
class LibraryJson
{
public:
    static QJsonObject toJson(const LibraryContent& content);
    static QJsonObject toJson(const QKVFixtureDefinition& definition);
    static QJsonObject toJson(const QKVFixtureChannel& channel);

    /// Parses a JSON text into `content`'s definitions (appended). Returns false, with
    /// errorString() set, on a syntax error (with its byte offset) or a bad field;
    /// `content` is then left unchanged.
    bool read(const QByteArray& text, LibraryContent& content);
    /// The same for an already parsed document.
    bool read(const QJsonObject& library, LibraryContent& content);

    /// Reads one definition; null, with errorString() set, on a bad field.
    /// `place` names the object in messages, e.g. "definitions[2]".
    std::unique_ptr<QKVFixtureDefinition> readDefinition(const QJsonObject& object, const QString& place);

    /// Why the last read failed.
    QString errorString() const { return m_errorString; }

private:
    bool readChannel(const QJsonObject& object, const QString& place, int position, QKVFixtureChannel& channel);
    bool checkKeys(const QJsonObject& object, const QString& place, std::initializer_list<QLatin1String> known);
    /// Reads the field `key`, a string, true or false, or an integer by the type of
    /// `target`, into `target`; an absent field leaves it as it is.
    template <typename T>
    bool readField(const QJsonObject& object, const QString& place, QLatin1String key, T& target);
    bool wrongType(const QString& place, QLatin1String key, const char* expected, const QJsonValue& value);

    QString m_errorString;
};
