#include "QxfReader.h"

#include "QKVFixtureDefinition.h"
#include "QxfShortNames.h"
#include "QxfSkim.h"

#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>

namespace QxfReader {

namespace {

constexpr char16_t FirstPrintableAscii = 0x20;
constexpr char16_t LastPrintableAscii = 0x7E;
constexpr char16_t LastLatin1 = 0xFF;
/// C1 control codes are Latin-1 code points, but the display has no glyph for them.
constexpr char16_t FirstC1Control = 0x7F;
constexpr char16_t LastC1Control = 0x9F;
constexpr char16_t Unshowable = '?';

/// Punctuation QLC+ authors type (or their word processors put in) that has a plain
/// Latin-1 form; Unicode's decompositions do not cover these.
struct Replacement
{
    char32_t codePoint;
    const char* latin1;
};
constexpr Replacement Replacements[] = {
    {0x2010, "-"},  {0x2011, "-"},  {0x2012, "-"},  {0x2013, "-"},   {0x2014, "-"},    {0x2015, "-"},  {0x2212, "-"},
    {0x2018, "'"},  {0x2019, "'"},  {0x201A, "'"},  {0x201B, "'"},   {0x2032, "'"},    {0x201C, "\""}, {0x201D, "\""},
    {0x201E, "\""}, {0x201F, "\""}, {0x2033, "\""}, {0x2026, "..."}, {0x2022, "\xB7"}, {0x2122, "TM"}, {0x20AC, "EUR"},
    {0x2264, "<="}, {0x2265, ">="}, {0x2192, "->"}, {0x2190, "<-"},  {0x03BC, "\xB5"}, {0x0152, "OE"}, {0x0153, "oe"},
    {0x0141, "L"},  {0x0142, "l"},  {0x0110, "D"},  {0x0111, "d"},   {0x0131, "i"},    {0x2044, "/"},  {0x2215, "/"},
};

/// The Latin-1 form of one code point outside Latin-1, or "?" when there is none.
QString latin1Form(char32_t codePoint)
{
    for (const Replacement& replacement : Replacements) {
        if (replacement.codePoint == codePoint) {
            return QString::fromLatin1(replacement.latin1);
        }
    }
    // "ő" decomposes to "o" and a combining mark, "ﬁ" to "fi", "²" to "2": the base
    // letters are what the display can show.
    QString decomposed = QChar::decomposition(codePoint);
    for (int rounds = 0; rounds < 4 && !decomposed.isEmpty(); ++rounds) {
        QString base;
        bool showable = true;
        for (QChar c : std::as_const(decomposed)) {
            if (c.category() == QChar::Mark_NonSpacing) {
                continue;
            }
            if (c.unicode() > LastLatin1) {
                showable = false;
            }
            base += c;
        }
        if (showable && !base.isEmpty()) {
            return base;
        }
        if (decomposed.size() != 1 || QChar::decomposition(decomposed.at(0).unicode()).isEmpty()) {
            break;
        }
        decomposed = QChar::decomposition(decomposed.at(0).unicode());
    }
    return QString(QChar(Unshowable));
}

QStringView localName(QStringView qualified)
{
    const qsizetype colon = qualified.lastIndexOf(u':');
    return colon < 0 ? qualified : qualified.mid(colon + 1);
}

/// An attribute by its local name: converted files put prefixes on attributes too.
QString attribute(const QXmlStreamReader& xml, QLatin1String name)
{
    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
        if (localName(attribute.qualifiedName()) == name) {
            return attribute.value().toString();
        }
    }
    return {};
}

struct ModeChannel
{
    int number = 0;
    bool numbered = false;
    QString reference; ///< the fixture channel's name, as the mode gives it
    QString shown; ///< that channel's name for the device, once found
};

struct RawMode
{
    QString name;
    QList<ModeChannel> channels;
};

struct TypeName
{
    const char* text;
    int code;
};
constexpr TypeName TypeNames[] = {
    {"Moving Head", FixtureType::MovingHead},
    {"Scanner", FixtureType::Scanner},
    {"LED Bar (Beams)", FixtureType::LedFixture},
    {"LED Bar (Pixels)", FixtureType::LedFixture},
    {"Color Changer", FixtureType::ColorChanger},
    {"Dimmer", FixtureType::Dimmer},
    {"Laser", FixtureType::Laser},
    {"Strobe", FixtureType::Strobe},
    {"Hazer", FixtureType::Hazer},
    {"Smoke", FixtureType::Smoke},
    {"Effect", FixtureType::Effect},
    {"Flower", FixtureType::Effect},
    {"Fan", FixtureType::Effect},
};

int typeCode(const QString& text)
{
    const QString type = text.simplified();
    for (const TypeName& name : TypeNames) {
        if (type.compare(QLatin1String(name.text), Qt::CaseInsensitive) == 0) {
            return name.code;
        }
    }
    return FixtureType::Other;
}

/// The mode's channels in the order of their numbers, or why that order cannot be had.
/// The fixture's channels by the names modes use for them. XML folds the line breaks of
/// an attribute into blanks but keeps those of element text, so a name that breaks a
/// line is also found by its folded form.
struct FixtureChannels
{
    QHash<QString, QString> exact; // the name as written -> the name shown
    mutable QHash<QString, QString> folded; // made only when a name is not found as written

    void insert(const QString& name) { exact.insert(name, QxfReader::deviceText(name)); }
    const QString* find(const QString& reference) const
    {
        const auto found = exact.constFind(reference);
        if (found != exact.constEnd()) {
            return &*found;
        }
        if (folded.isEmpty()) {
            for (auto it = exact.constBegin(); it != exact.constEnd(); ++it) {
                folded.insert(it.key().simplified(), it.value());
            }
        }
        const auto similar = folded.constFind(reference.simplified());
        return similar == folded.constEnd() ? nullptr : &*similar;
    }
};

QString resolveChannels(const RawMode& raw, const FixtureChannels& fixtureChannels, QxfMode& mode)
{
    QList<ModeChannel> ordered = raw.channels;
    for (ModeChannel& channel : ordered) {
        if (!channel.numbered) {
            return QStringLiteral("channel \"%1\" has no valid number").arg(QxfReader::deviceText(channel.reference));
        }
        const QString* shown = fixtureChannels.find(channel.reference);
        if (!shown) {
            return QStringLiteral("channel \"%1\" is not defined in the fixture")
                .arg(QxfReader::deviceText(channel.reference));
        }
        channel.shown = *shown;
    }
    std::stable_sort(
        ordered.begin(), ordered.end(), [](const ModeChannel& a, const ModeChannel& b) { return a.number < b.number; });
    for (qsizetype i = 1; i < ordered.size(); ++i) {
        if (ordered.at(i).number == ordered.at(i - 1).number) {
            return QStringLiteral("two channels at number %1").arg(ordered.at(i).number);
        }
    }
    for (const ModeChannel& channel : std::as_const(ordered)) {
        mode.channels.append(QxfChannel {channel.shown, QString(), true});
    }
    if (ordered.isEmpty()) {
        return QStringLiteral("no channels");
    }
    if (ordered.size() > QKVFixtureDefinition::MaxChannels) {
        return QStringLiteral("%1 channels; the devices hold at most %2")
            .arg(ordered.size())
            .arg(QKVFixtureDefinition::MaxChannels);
    }
    return {};
}

QString lineError(const QXmlStreamReader& xml, const QString& message)
{
    return QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(message);
}

/// What a fixture file says that the device needs, as written.
struct RawFixture
{
    QString manufacturer;
    QString model;
    QString type;
    FixtureChannels channels;
    QList<RawMode> modes;
};

/// Reads the elements of one fixture file; an error is left on `xml`.
RawFixture readElements(QXmlStreamReader& xml)
{
    RawFixture raw;
    qsizetype currentMode = -1; // into raw.modes, while inside a Mode element
    bool sawRoot = false;
    int depth = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (--depth == 1) {
                currentMode = -1;
            }
            continue;
        }
        if (token != QXmlStreamReader::StartElement) {
            continue;
        }
        if (++depth > MaxElementDepth) {
            xml.raiseError(QStringLiteral("elements nested deeper than %1 levels").arg(MaxElementDepth));
            break;
        }
        const QStringView name = localName(xml.qualifiedName());
        if (depth == 1) {
            if (name != QLatin1String("FixtureDefinition")) {
                xml.raiseError(QStringLiteral("not a QLC+ fixture definition"));
                break;
            }
            sawRoot = true;
        } else if (depth == 2) {
            if (name == QLatin1String("Channel")) {
                raw.channels.insert(attribute(xml, QLatin1String("Name")));
            } else if (name == QLatin1String("Mode")) {
                raw.modes.append(RawMode {attribute(xml, QLatin1String("Name")), {}});
                currentMode = raw.modes.size() - 1;
            } else if (name == QLatin1String("Manufacturer") || name == QLatin1String("Model")
                       || name == QLatin1String("Type")) {
                QString& target = name == QLatin1String("Manufacturer") ? raw.manufacturer
                    : name == QLatin1String("Model")                    ? raw.model
                                                                        : raw.type;
                target = xml.readElementText();
                --depth;
            }
        } else if (depth == 3 && currentMode >= 0 && name == QLatin1String("Channel")) {
            ModeChannel channel;
            channel.number = attribute(xml, QLatin1String("Number")).toInt(&channel.numbered);
            channel.reference = xml.readElementText();
            --depth;
            raw.modes[currentMode].channels.append(channel);
        }
    }
    if (!xml.hasError() && !sawRoot) {
        xml.raiseError(QStringLiteral("no FixtureDefinition element"));
    }
    return raw;
}

QList<QxfMode> modesOf(const RawFixture& raw, const QString& path)
{
    const QString shownManufacturer = deviceText(raw.manufacturer);
    const QString shownModel = deviceText(raw.model);
    const int code = typeCode(raw.type);
    QList<QxfMode> modes;
    for (const RawMode& rawMode : std::as_const(raw.modes)) {
        QxfMode mode;
        mode.file = path;
        mode.manufacturer = shownManufacturer;
        mode.model = shownModel;
        mode.mode = deviceText(rawMode.name);
        mode.name = raw.modes.size() == 1 ? shownModel : QStringLiteral("%1 (%2)").arg(shownModel, mode.mode).trimmed();
        mode.type = code;
        mode.reason = resolveChannels(rawMode, raw.channels, mode);
        // Only a mode the device can take needs short names; the others may be of any size.
        if (mode.usable()) {
            QxfShortNames::assignChannelShortNames(mode.channels);
        }
        modes.append(mode);
    }
    QxfShortNames::assignFixtureShortNames(modes);
    return modes;
}

QxfFile parse(const QByteArray& bytes, const QString& path, bool skim)
{
    QxfFile result;
    result.path = path;
    if (bytes.size() > MaxFileSize) {
        result.error = QStringLiteral("%1 bytes; fixture files are at most %2").arg(bytes.size()).arg(MaxFileSize);
        return result;
    }
    QXmlStreamReader xml(skim ? QxfSkim::withoutCapabilityLists(bytes) : bytes);
    // Element names are matched by local name, so an undeclared prefix in an old or
    // converted file does no harm.
    xml.setNamespaceProcessing(false);
    const RawFixture raw = readElements(xml);
    if (xml.hasError()) {
        result.error = lineError(xml, xml.errorString());
        return result;
    }
    result.modes = modesOf(raw, path);
    return result;
}

} // namespace

bool readFileBytes(const QString& path, QByteArray& bytes, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.size() > MaxFileSize) {
        error = QStringLiteral("%1 bytes; fixture files are at most %2").arg(file.size()).arg(MaxFileSize);
        return false;
    }
    // One byte over the limit is enough to tell a file that grew since its size was read.
    bytes = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    return true;
}

QxfFile readFile(const QString& path)
{
    QByteArray bytes;
    QString error;
    if (!readFileBytes(path, bytes, error)) {
        return QxfFile {path, {}, error};
    }
    return readBytes(bytes, path);
}

QxfFile readBytes(const QByteArray& bytes, const QString& path)
{
    return parse(bytes, path, true);
}

QxfFile readBytesStrictly(const QByteArray& bytes, const QString& path)
{
    return parse(bytes, path, false);
}

QString deviceText(const QString& text)
{
    // Nearly every name is plain printable ASCII with single blanks: returned shared, uncopied.
    bool plain = text.isEmpty() || (text.front() != u' ' && text.back() != u' ');
    for (qsizetype i = 0; plain && i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        plain = unit >= FirstPrintableAscii && unit <= LastPrintableAscii && !(unit == u' ' && text.at(i - 1) == u' ');
    }
    if (plain) {
        return text;
    }
    QString folded;
    folded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t unit = c.unicode();
        if (unit <= LastLatin1) {
            folded += (unit >= FirstC1Control && unit <= LastC1Control) ? QChar(Unshowable) : c;
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            folded += latin1Form(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else if (c.isSpace()) {
            folded += QChar(u' ');
        } else {
            folded += latin1Form(unit);
        }
    }
    return folded.simplified();
}

} // namespace QxfReader
