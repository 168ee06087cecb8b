#include "LibraryJson.h"

#include "LibraryContent.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <type_traits>
#include <vector>

namespace {

// The field names, by the object that has them.
const QLatin1String VersionKey("version"), UnsupportedContentKey("unsupportedContent"), DefinitionsKey("definitions");
const QLatin1String NameKey("name"), ShortNameKey("shortName"), AutoShortNameKey("autoShortName"), TypeKey("type");
const QLatin1String ManufacturerKey("manufacturer"), ManufacturerShortKey("manufacturerShort"),
    AutoManufacturerShortKey("autoManufacturerShort"), ChannelsKey("channels");
const QLatin1String NumberKey("number");

// What a value is, for messages; a number is shown itself, since the usual mistake
// with one is its value (1.5, 1e12), not its type.
QString describe(const QJsonValue& value)
{
    switch (value.type()) {
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Bool:
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QJsonValue::Double:
            return QString::number(value.toDouble(), 'g', 17);
        case QJsonValue::String:
            return QStringLiteral("a string");
        case QJsonValue::Array:
            return QStringLiteral("an array");
        case QJsonValue::Object:
            return QStringLiteral("an object");
        case QJsonValue::Undefined:
            break;
    }
    return QStringLiteral("undefined");
}

QString child(const QString& place, QLatin1String key, qsizetype index)
{
    return QStringLiteral("%1%2%3[%4]").arg(place, place.isEmpty() ? QString() : QStringLiteral("."), key).arg(index);
}

QString field(const QString& place, QLatin1String key)
{
    return place.isEmpty() ? QString(key) : place + QLatin1Char('.') + key;
}

} // namespace

template <typename T>
bool LibraryJson::readField(const QJsonObject& object, const QString& place, QLatin1String key, T& target)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        return true;
    }
    if constexpr (std::is_same_v<T, QString>) {
        if (!value.isString()) {
            return wrongType(place, key, "a string", value);
        }
        target = value.toString();
    } else if constexpr (std::is_same_v<T, bool>) {
        if (!value.isBool()) {
            return wrongType(place, key, "true or false", value);
        }
        target = value.toBool();
    } else {
        static_assert(std::is_same_v<T, int>);
        const double number = value.toDouble();
        const bool isInt = value.isDouble() && std::trunc(number) == number && number >= std::numeric_limits<int>::min()
            && number <= std::numeric_limits<int>::max();
        if (!isInt) {
            return wrongType(place, key, "an integer", value);
        }
        target = static_cast<int>(number);
    }
    return true;
}

QJsonObject LibraryJson::toJson(const LibraryContent& content)
{
    QJsonArray definitions;
    for (const auto& definition : content.definitions) {
        definitions.append(toJson(*definition));
    }
    QJsonObject library;
    library.insert(VersionKey, content.version);
    library.insert(UnsupportedContentKey, content.unsupportedContent);
    library.insert(DefinitionsKey, definitions);
    return library;
}

QJsonObject LibraryJson::toJson(const QKVFixtureDefinition& definition)
{
    QJsonArray channels;
    for (const QKVFixtureChannel* channel : definition.channels()) {
        channels.append(toJson(*channel));
    }
    QJsonObject object;
    object.insert(NameKey, definition.name());
    object.insert(ShortNameKey, definition.shortName());
    object.insert(AutoShortNameKey, definition.autoShortName());
    object.insert(ManufacturerKey, definition.manufacturer());
    object.insert(ManufacturerShortKey, definition.manufacturerShort());
    object.insert(AutoManufacturerShortKey, definition.autoManufacturerShort());
    object.insert(TypeKey, definition.type());
    object.insert(ChannelsKey, channels);
    return object;
}

QJsonObject LibraryJson::toJson(const QKVFixtureChannel& channel)
{
    QJsonObject object;
    object.insert(NumberKey, channel.number());
    object.insert(NameKey, channel.name());
    object.insert(ShortNameKey, channel.shortName());
    object.insert(AutoShortNameKey, channel.autoShortName());
    return object;
}

bool LibraryJson::read(const QByteArray& text, LibraryContent& content)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        m_errorString
            = QStringLiteral("JSON syntax error at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        m_errorString = QStringLiteral("the JSON document must be an object with a \"definitions\" array");
        return false;
    }
    return read(document.object(), content);
}

bool LibraryJson::read(const QJsonObject& library, LibraryContent& content)
{
    m_errorString.clear();
    if (!checkKeys(library, QString(), {VersionKey, UnsupportedContentKey, DefinitionsKey})) {
        return false;
    }
    const QJsonValue definitionsValue = library.value(DefinitionsKey);
    if (!definitionsValue.isUndefined() && !definitionsValue.isArray()) {
        return wrongType(QString(), DefinitionsKey, "an array", definitionsValue);
    }
    const QJsonArray definitions = definitionsValue.toArray();

    // Nothing reaches `content` before the whole document has been read.
    std::vector<std::unique_ptr<QKVFixtureDefinition>> parsed;
    parsed.reserve(static_cast<size_t>(definitions.size()));
    for (qsizetype i = 0; i < definitions.size(); ++i) {
        const QString place = child(QString(), DefinitionsKey, i);
        const QJsonValue value = definitions.at(i);
        if (!value.isObject()) {
            m_errorString = QStringLiteral("%1 must be an object, not %2").arg(place, describe(value));
            return false;
        }
        auto definition = readDefinition(value.toObject(), place);
        if (!definition) {
            return false;
        }
        parsed.push_back(std::move(definition));
    }
    for (auto& definition : parsed) {
        content.definitions.push_back(std::move(definition));
    }
    return true;
}

std::unique_ptr<QKVFixtureDefinition> LibraryJson::readDefinition(const QJsonObject& object, const QString& place)
{
    if (!checkKeys(object,
                   place,
                   {NameKey,
                    ShortNameKey,
                    AutoShortNameKey,
                    ManufacturerKey,
                    ManufacturerShortKey,
                    AutoManufacturerShortKey,
                    TypeKey,
                    ChannelsKey})) {
        return nullptr;
    }

    auto definition = std::make_unique<QKVFixtureDefinition>();
    QString name;
    QString shortName;
    QString manufacturer;
    QString manufacturerShort;
    bool autoShortName = definition->autoShortName();
    bool autoManufacturerShort = definition->autoManufacturerShort();
    int type = definition->type();
    if (!readField(object, place, NameKey, name) || !readField(object, place, ShortNameKey, shortName)
        || !readField(object, place, AutoShortNameKey, autoShortName)
        || !readField(object, place, ManufacturerKey, manufacturer)
        || !readField(object, place, ManufacturerShortKey, manufacturerShort)
        || !readField(object, place, AutoManufacturerShortKey, autoManufacturerShort)
        || !readField(object, place, TypeKey, type)) {
        return nullptr;
    }
    definition->setName(name);
    definition->setShortName(shortName);
    definition->setAutoShortName(autoShortName);
    definition->setManufacturer(manufacturer);
    definition->setManufacturerShort(manufacturerShort);
    definition->setAutoManufacturerShort(autoManufacturerShort);
    definition->setType(type);

    const QJsonValue channelsValue = object.value(ChannelsKey);
    if (!channelsValue.isUndefined() && !channelsValue.isArray()) {
        wrongType(place, ChannelsKey, "an array", channelsValue);
        return nullptr;
    }
    const QJsonArray channels = channelsValue.toArray();
    for (qsizetype i = 0; i < channels.size(); ++i) {
        const QString channelPlace = child(place, ChannelsKey, i);
        const QJsonValue value = channels.at(i);
        if (!value.isObject()) {
            m_errorString = QStringLiteral("%1 must be an object, not %2").arg(channelPlace, describe(value));
            return nullptr;
        }
        auto channel = std::make_unique<QKVFixtureChannel>();
        if (!readChannel(value.toObject(), channelPlace, static_cast<int>(i) + 1, *channel)) {
            return nullptr;
        }
        definition->appendChannel(channel.release());
    }
    return definition;
}

bool LibraryJson::readChannel(const QJsonObject& object, const QString& place, int position, QKVFixtureChannel& channel)
{
    if (!checkKeys(object, place, {NumberKey, NameKey, ShortNameKey, AutoShortNameKey})) {
        return false;
    }
    int number = position;
    QString name;
    QString shortName;
    bool autoShortName = channel.autoShortName();
    if (!readField(object, place, NumberKey, number) || !readField(object, place, NameKey, name)
        || !readField(object, place, ShortNameKey, shortName)
        || !readField(object, place, AutoShortNameKey, autoShortName)) {
        return false;
    }
    channel.setNumber(number);
    channel.setName(name);
    // The channel keeps at most 12 characters, as everywhere else in the program.
    channel.setShortName(shortName);
    channel.setAutoShortName(autoShortName);
    return true;
}

bool LibraryJson::checkKeys(const QJsonObject& object, const QString& place, std::initializer_list<QLatin1String> known)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            m_errorString = place.isEmpty() ? QStringLiteral("unknown field \"%1\"").arg(key)
                                            : QStringLiteral("%1: unknown field \"%2\"").arg(place, key);
            return false;
        }
    }
    return true;
}

bool LibraryJson::wrongType(const QString& place, QLatin1String key, const char* expected, const QJsonValue& value)
{
    m_errorString
        = QStringLiteral("%1 must be %2, not %3").arg(field(place, key), QLatin1String(expected), describe(value));
    return false;
}
