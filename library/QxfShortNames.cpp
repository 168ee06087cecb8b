#include "QxfShortNames.h"

#include "ShortNames.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace QxfShortNames {

namespace {

/// Words a short name loses first: they carry no meaning on the display.
constexpr QLatin1String FillerWords[] = {QLatin1String("the"),
                                         QLatin1String("of"),
                                         QLatin1String("and"),
                                         QLatin1String("for"),
                                         QLatin1String("to"),
                                         QLatin1String("with"),
                                         QLatin1String("a"),
                                         QLatin1String("an"),
                                         QLatin1String("in"),
                                         QLatin1String("on"),
                                         QLatin1String("&"),
                                         QLatin1String("-")};
constexpr qsizetype LongestFillerWord = 4;

bool isFiller(const QString& word)
{
    return word.size() <= LongestFillerWord
        && std::any_of(std::begin(FillerWords), std::end(FillerWords), [&](QLatin1String filler) {
               return word.compare(filler, Qt::CaseInsensitive) == 0;
           });
}

/// The abbreviations lighting desks and fixture manuals use, so a short name still reads
/// the way an operator expects. Keys are lower case.
const QHash<QString, QString>& lightingAbbreviations()
{
    static const QHash<QString, QString> table {
        {QStringLiteral("dimmer"), QStringLiteral("Dim")},
        {QStringLiteral("master"), QStringLiteral("Mst")},
        {QStringLiteral("fine"), QStringLiteral("F")},
        {QStringLiteral("colour"), QStringLiteral("Col")},
        {QStringLiteral("color"), QStringLiteral("Col")},
        {QStringLiteral("colours"), QStringLiteral("Cols")},
        {QStringLiteral("colors"), QStringLiteral("Cols")},
        {QStringLiteral("rotation"), QStringLiteral("Rot")},
        {QStringLiteral("rotate"), QStringLiteral("Rot")},
        {QStringLiteral("speed"), QStringLiteral("Spd")},
        {QStringLiteral("intensity"), QStringLiteral("Int")},
        {QStringLiteral("position"), QStringLiteral("Pos")},
        {QStringLiteral("strobe"), QStringLiteral("Strb")},
        {QStringLiteral("strobing"), QStringLiteral("Strb")},
        {QStringLiteral("control"), QStringLiteral("Ctrl")},
        {QStringLiteral("controls"), QStringLiteral("Ctrl")},
        {QStringLiteral("function"), QStringLiteral("Func")},
        {QStringLiteral("functions"), QStringLiteral("Func")},
        {QStringLiteral("macro"), QStringLiteral("Mcr")},
        {QStringLiteral("macros"), QStringLiteral("Mcr")},
        {QStringLiteral("temperature"), QStringLiteral("Temp")},
        {QStringLiteral("effect"), QStringLiteral("Fx")},
        {QStringLiteral("effects"), QStringLiteral("Fx")},
        {QStringLiteral("channel"), QStringLiteral("Ch")},
        {QStringLiteral("program"), QStringLiteral("Prg")},
        {QStringLiteral("programs"), QStringLiteral("Prg")},
        {QStringLiteral("movement"), QStringLiteral("Mvmt")},
        {QStringLiteral("shutter"), QStringLiteral("Shtr")},
        {QStringLiteral("wheel"), QStringLiteral("Whl")},
        {QStringLiteral("index"), QStringLiteral("Idx")},
        {QStringLiteral("indexing"), QStringLiteral("Idx")},
        {QStringLiteral("frequency"), QStringLiteral("Freq")},
        {QStringLiteral("sound"), QStringLiteral("Snd")},
        {QStringLiteral("pixel"), QStringLiteral("Px")},
        {QStringLiteral("segment"), QStringLiteral("Seg")},
        {QStringLiteral("section"), QStringLiteral("Sec")},
        {QStringLiteral("number"), QStringLiteral("No")},
        {QStringLiteral("reset"), QStringLiteral("Rst")},
        {QStringLiteral("special"), QStringLiteral("Spcl")},
        {QStringLiteral("selection"), QStringLiteral("Sel")},
        {QStringLiteral("select"), QStringLiteral("Sel")},
        {QStringLiteral("pattern"), QStringLiteral("Pat")},
        {QStringLiteral("patterns"), QStringLiteral("Pat")},
        {QStringLiteral("forward"), QStringLiteral("Fwd")},
        {QStringLiteral("backward"), QStringLiteral("Bwd")},
        {QStringLiteral("reverse"), QStringLiteral("Rev")},
        {QStringLiteral("clockwise"), QStringLiteral("CW")},
        {QStringLiteral("counterclockwise"), QStringLiteral("CCW")},
        {QStringLiteral("horizontal"), QStringLiteral("Hor")},
        {QStringLiteral("vertical"), QStringLiteral("Vert")},
        {QStringLiteral("continuous"), QStringLiteral("Cont")},
        {QStringLiteral("duration"), QStringLiteral("Dur")},
        {QStringLiteral("sensitivity"), QStringLiteral("Sens")},
        {QStringLiteral("adjustment"), QStringLiteral("Adj")},
        {QStringLiteral("correction"), QStringLiteral("Corr")},
        {QStringLiteral("animation"), QStringLiteral("Anim")},
        {QStringLiteral("brightness"), QStringLiteral("Brt")},
        {QStringLiteral("ultraviolet"), QStringLiteral("UV")},
        {QStringLiteral("white"), QStringLiteral("Wht")},
        {QStringLiteral("green"), QStringLiteral("Grn")},
        {QStringLiteral("yellow"), QStringLiteral("Yel")},
        {QStringLiteral("magenta"), QStringLiteral("Mag")},
        {QStringLiteral("amber"), QStringLiteral("Amb")},
    };
    return table;
}

/// The lengths of the words the table above knows, so that others skip the lookup.
constexpr qsizetype ShortestAbbreviated = 4;
constexpr qsizetype LongestAbbreviated = 16;

/// The first `length` characters as a view; a surrogate pair is never split.
QStringView cutView(const QString& text, int length)
{
    if (text.size() <= length) {
        return text;
    }
    return QStringView(text).left(text.at(length - 1).isHighSurrogate() ? length - 1 : length);
}

bool isVowel(QChar c)
{
    char16_t base = c.unicode();
    if (base >= 0x80) {
        const QString decomposed = c.decomposition();
        base = decomposed.isEmpty() ? base : decomposed.at(0).unicode();
    }
    switch (base) {
        case 'a':
        case 'e':
        case 'i':
        case 'o':
        case 'u':
            return true;
        default:
            return false;
    }
}

/// Words this short an abbreviation would only make harder to read.
constexpr int ShortestVowelDrop = 4;

/// Appends `word` without its vowels. Only lower-case vowels go: capitals start words
/// inside a name ("SlimPAR") or spell acronyms, and the first letter carries the word.
void dropVowels(QStringView word, QString& out)
{
    if (word.size() < ShortestVowelDrop) {
        out += word;
        return;
    }
    out += word.front();
    for (QChar c : word.mid(1)) {
        if (!(c.isLower() && isVowel(c))) {
            out += c;
        }
    }
}

/// Appends the lighting abbreviation of `word`, or the word itself. "dimmer" becomes
/// "dim" and "Dimmer" "Dim"; all-capital forms ("CW", "F") stay as they are.
void abbreviate(QStringView word, QString& out)
{
    if (word.size() < ShortestAbbreviated || word.size() > LongestAbbreviated) {
        out += word;
        return;
    }
    // Lower-cased on the stack: this runs for every word of thousands of names.
    char16_t lower[LongestAbbreviated];
    for (qsizetype i = 0; i < word.size(); ++i) {
        lower[i] = word.at(i).toLower().unicode();
    }
    const auto found
        = lightingAbbreviations().constFind(QString::fromRawData(reinterpret_cast<const QChar*>(lower), word.size()));
    if (found == lightingAbbreviations().constEnd()) {
        out += word;
    } else if (word.front().isLower() && *found != found->toUpper()) {
        out += found->front().toLower();
        out += QStringView(*found).mid(1);
    } else {
        out += *found;
    }
}

/// `word` with `change` applied to each run of letters and digits in it, so that
/// "Speed/Sound" abbreviates as the two words it is.
template <typename Change>
QString eachSubword(const QString& word, Change change)
{
    QString result;
    result.reserve(word.size());
    qsizetype start = -1;
    for (qsizetype i = 0; i <= word.size(); ++i) {
        const bool inWord = i < word.size() && word.at(i).isLetterOrNumber();
        if (inWord && start < 0) {
            start = i;
        } else if (!inWord) {
            if (start >= 0) {
                change(QStringView(word).mid(start, i - start), result);
                start = -1;
            }
            if (i < word.size()) {
                result += word.at(i);
            }
        }
    }
    return result;
}

/// The words of a name; brackets and commas only separate them.
QStringList words(const QString& text)
{
    QString spaced = text;
    for (QChar& c : spaced) {
        if (c == '(' || c == ')' || c == '[' || c == ']' || c == '{' || c == '}' || c == ',') {
            c = ' ';
        }
    }
    QStringList result = spaced.split(' ', Qt::SkipEmptyParts);
    QStringList meaningful;
    for (const QString& word : result) {
        if (!isFiller(word)) {
            meaningful << word;
        }
    }
    return meaningful.isEmpty() ? result : meaningful;
}

/// The cut of `text` to `length` that keeps its trailing number, so "Red segment 12"
/// stays apart from "Red segment 1".
QString cutKeepingNumber(const QString& text, int length)
{
    qsizetype digits = 0;
    while (digits < text.size() && text.at(text.size() - 1 - digits).isDigit()) {
        ++digits;
    }
    // Only a number of its own: the "3" of "V3" means nothing once the "V" is cut off.
    const bool ownNumber = digits > 0 && digits < text.size() && text.at(text.size() - 1 - digits) == ' ';
    if (text.size() <= length || !ownNumber || digits + 2 > length) {
        // Never the first digits of a number ("ClubSpot 15" for "ClubSpot 150 CT") or half
        // a word: the cut goes back to the last blank, unless the first word is the cut.
        const QString cut = ShortNames::firstCharacters(text, length);
        const qsizetype blank = cut.lastIndexOf(' ');
        const bool splits = text.size() > cut.size() && text.at(cut.size()) != ' ';
        return (splits && blank > 0 ? cut.left(blank) : cut).trimmed();
    }
    const int room = length - static_cast<int>(digits) - 1;
    return ShortNames::firstCharacters(text.left(text.size() - digits - 1), room).trimmed() + ' ' + text.right(digits);
}

/// The first number that tells a name from an equal one: the other one is the first.
constexpr int FirstCounter = 2;

/// `base` with a counter in its last characters, the first form nobody uses yet;
/// `counter` is where to start, and afterwards the next one to try.
template <typename Used>
QString numbered(const QString& base, int length, const Used& used, int& counter)
{
    for (;; ++counter) {
        const QString suffix = QString::number(counter);
        const QString name
            = (ShortNames::firstCharacters(base, length - static_cast<int>(suffix.size()) - 1).trimmed() + ' ' + suffix)
                  .trimmed();
        if (!used.contains(name)) {
            ++counter;
            return name;
        }
    }
}

/// Calls `visit` with each shorter form of `text` that fits, mildest first, until it
/// returns true; the forms are made only as far as they are needed.
template <typename Visit>
void visitAbbreviations(const QString& text, int length, Visit visit)
{
    QStringList parts = words(text);
    QString last;
    auto offer = [&](const QString& form) {
        if (form.isEmpty() || form.size() > length || form == last) {
            return false;
        }
        last = form;
        return visit(form);
    };
    if (offer(parts.join(' '))) {
        return;
    }
    for (QString& part : parts) {
        const QString abbreviated = eachSubword(part, abbreviate);
        if (abbreviated != part) {
            part = abbreviated;
            if (offer(parts.join(' '))) {
                return;
            }
        }
    }
    // The longest word first: it has the most to give and stays the most readable.
    QStringList dropped;
    for (const QString& part : std::as_const(parts)) {
        dropped << eachSubword(part, dropVowels);
    }
    for (;;) {
        qsizetype longest = -1;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (dropped.at(i) != parts.at(i) && (longest < 0 || parts.at(i).size() > parts.at(longest).size())) {
                longest = i;
            }
        }
        if (longest < 0) {
            break;
        }
        parts[longest] = dropped.at(longest);
        if (offer(parts.join(' '))) {
            return;
        }
    }
    offer(cutKeepingNumber(parts.join(' '), length));
}

/// The mildest shorter form of `text` that fits; empty for an empty text.
QString mildest(const QString& text, int length)
{
    QString found;
    visitAbbreviations(text, length, [&found](const QString& form) {
        found = form;
        return true;
    });
    return found;
}

/// The mildest abbreviation of `text` nobody uses yet, or a numbered one.
QString firstFree(const QString& text, int length, const QStringList& used)
{
    QString found;
    QString harshest = text;
    visitAbbreviations(text, length, [&](const QString& form) {
        harshest = form;
        if (!used.contains(form)) {
            found = form;
        }
        return !found.isEmpty();
    });
    int counter = FirstCounter;
    return found.isEmpty() ? numbered(harshest, length, used, counter) : found;
}

} // namespace

bool cutsBadly(const QString& text, int length)
{
    if (text.size() <= length) {
        return false;
    }
    const bool insideWord = text.at(length - 1).isLetterOrNumber() && text.at(length).isLetterOrNumber();
    const bool losesNumber = std::any_of(text.begin() + length, text.end(), [](QChar c) { return c.isDigit(); });
    return insideWord || losesNumber;
}

QStringList abbreviations(const QString& text, int length)
{
    QStringList result;
    visitAbbreviations(text, length, [&result](const QString& form) {
        result << form;
        return false;
    });
    return result;
}

void assignChannelShortNames(QList<QxfChannel>& channels)
{
    constexpr int Length = ShortNames::ChannelLength;
    for (QxfChannel& channel : channels) {
        channel.autoShortName = true;
        channel.shortName.clear();
    }
    // Most modes: every name fits, so the short names are the names, equal only where they are.
    if (std::all_of(channels.cbegin(), channels.cend(), [](const QxfChannel& c) { return c.name.size() <= Length; })) {
        return;
    }
    // A mode has at most a few dozen channels: plain lists beat hashing here, and the
    // catalogue runs this for thousands of modes.
    QStringList flagged;
    QStringList used;
    // Two different names cut alike only when one is longer than the cut and the other
    // at least as long (less a split surrogate pair): only those are compared.
    const auto mayClash = [](const QString& name) { return name.size() >= Length - 1; };
    QList<const QString*> longNames;
    for (const QxfChannel& channel : std::as_const(channels)) {
        if (mayClash(channel.name)) {
            longNames << &channel.name;
        }
    }
    for (const QxfChannel& channel : std::as_const(channels)) {
        const QStringView cut = cutView(channel.name, Length);
        const bool clash = cutsBadly(channel.name, Length)
            || (mayClash(channel.name) && std::any_of(longNames.cbegin(), longNames.cend(), [&](const QString* other) {
                               return cutView(*other, Length) == cut && *other != channel.name;
                           }));
        if (!clash) {
            used << cut.toString();
        } else if (!flagged.contains(channel.name)) {
            flagged << channel.name;
        }
    }
    // Names that fit keep themselves when they can: only the longer ones need to give way.
    std::stable_sort(flagged.begin(), flagged.end(), [](const QString& a, const QString& b) {
        return (a.size() <= Length) > (b.size() <= Length);
    });
    QStringList chosen;
    for (const QString& name : std::as_const(flagged)) {
        chosen << firstFree(name, Length, used);
        used << chosen.last();
    }
    for (QxfChannel& channel : channels) {
        const qsizetype index = flagged.indexOf(channel.name);
        if (index >= 0 && chosen.at(index) != cutView(channel.name, Length)) {
            channel.shortName = chosen.at(index);
            channel.autoShortName = false;
        }
    }
}

void assignFixtureShortNames(QList<QxfMode>& modes)
{
    constexpr int Length = ShortNames::FixtureLength;
    for (QxfMode& mode : modes) {
        mode.autoShortName = true;
        mode.shortName.clear();
    }
    if (modes.size() < 2) {
        return;
    }
    // Hashed, not compared pairwise: a damaged or hostile file may list any number of modes.
    QHash<QString, int> cutCount;
    for (const QxfMode& mode : std::as_const(modes)) {
        ++cutCount[ShortNames::firstCharacters(mode.name, Length)];
    }
    QSet<QString> used;
    QList<QxfMode*> flagged;
    for (QxfMode& mode : modes) {
        const QString cut = ShortNames::firstCharacters(mode.name, Length);
        if (cutCount.value(cut) > 1 || cutsBadly(mode.name, Length)) {
            flagged << &mode;
        } else {
            used.insert(cut);
        }
    }
    QHash<QString, int> counters; // per mode name, the next number to try
    for (QxfMode* mode : std::as_const(flagged)) {
        // The channel count tells modes apart on the device the way its manual does;
        // modes of equal size fall back to their own name.
        QStringList tags {QStringLiteral("%1ch").arg(mode->channels.size())};
        const QString modeForm = mildest(mode->mode, Length / 2);
        if (!modeForm.isEmpty()) {
            tags << modeForm;
        }
        QString shortName;
        for (const QString& tag : std::as_const(tags)) {
            const QString modelForm = mildest(mode->model, Length - 1 - static_cast<int>(tag.size()));
            const QString candidate = modelForm.isEmpty() ? tag : modelForm + ' ' + tag;
            if (!used.contains(candidate)) {
                shortName = candidate;
                break;
            }
        }
        if (shortName.isEmpty()) {
            auto counter = counters.find(mode->name);
            if (counter == counters.end()) {
                counter = counters.insert(mode->name, FirstCounter);
            }
            shortName = numbered(mode->name, Length, used, *counter);
        }
        used.insert(shortName);
        mode->shortName = shortName;
        mode->autoShortName = false;
    }
}

} // namespace QxfShortNames
