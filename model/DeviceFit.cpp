#include "DeviceFit.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "ShortNames.h"

#include <QCoreApplication>
#include <QStringList>
#include <QStringView>

#include <algorithm>
#include <array>
#include <utility>

namespace DeviceFit {

namespace {

using namespace DeviceRecord;

// An auto short name is a start of its long name no longer than its field, so the record
// holds it whole, and any character it has outside Latin-1 is already one the long name's
// field shows as "?": it never needs a finding of its own.
static_assert(ShortNames::FixtureLength <= ShortNameWidth && ShortNames::FixtureLength <= NameWidth);
static_assert(ShortNames::FixtureLength <= ManufacturerShortWidth && ShortNames::FixtureLength <= ManufacturerWidth);
static_assert(ShortNames::ChannelLength <= SlotShortNameWidth && ShortNames::ChannelLength <= SlotNameWidth);

// The record's text fields are Latin-1; writeTextField puts this for each code unit beyond.
constexpr char16_t Latin1End = 0x100;
constexpr char16_t Replacement = u'?';
// A tooltip line names a few characters or channel numbers, not all of them.
constexpr int MaxListed = 4;

const QString Ellipsis = QStringLiteral("…");
const QString ListSeparator = QStringLiteral(", ");

char16_t onDevice(QChar c)
{
    return c.unicode() < Latin1End ? c.unicode() : Replacement;
}

bool isLatin1(QStringView text)
{
    // One test after the loop instead of a branch per character: names are short and
    // nearly always pass.
    char16_t all = 0;
    for (QChar c : text) {
        all |= c.unicode();
    }
    return all < Latin1End;
}

/// Whether the device shows the two texts alike: every character beyond Latin-1 reads "?".
bool readSame(QStringView a, QStringView b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (onDevice(a[i]) != onDevice(b[i])) {
            return false;
        }
    }
    return true;
}

QString shown(QStringView held)
{
    QString text = held.toString();
    for (QChar& c : text) {
        c = QChar(onDevice(c));
    }
    return text;
}

QString quoted(const QString& text)
{
    return QStringLiteral("“%1”").arg(text);
}

QString listed(const QStringList& items, bool more)
{
    return items.join(ListSeparator) + (more ? ListSeparator + Ellipsis : QString());
}

QString listedNumbers(const QList<int>& numbers)
{
    QStringList items;
    for (qsizetype i = 0; i < numbers.size() && i < MaxListed; ++i) {
        items.append(QString::number(numbers.at(i)));
    }
    return listed(items, numbers.size() > MaxListed);
}

void appendOnce(QList<int>& numbers, int number)
{
    if (!numbers.contains(number)) {
        numbers.append(number);
    }
}

/// A channel short name as the slot holds it, packed into two words so that comparing all
/// pairs of a definition's channels costs a few integer compares each. Every character the
/// record holds is one byte, so the 12 of them and the length fit.
class HeldShortName
{
public:
    HeldShortName() = default;
    explicit HeldShortName(QStringView text)
    {
        const QStringView held = text.left(SlotShortNameWidth);
        for (qsizetype i = 0; i < held.size(); ++i) {
            const quint64 byte = onDevice(held[i]);
            if (i < BytesPerWord) {
                m_low |= byte << (i * BitsPerByte);
            } else {
                m_high |= byte << ((i - BytesPerWord) * BitsPerByte);
            }
        }
        m_high |= quint64(held.size()) << LengthShift;
    }

    bool operator!=(const HeldShortName& other) const { return m_low != other.m_low || m_high != other.m_high; }

    QString toString() const
    {
        QString text;
        const int length = static_cast<int>(m_high >> LengthShift);
        for (int i = 0; i < length; ++i) {
            const quint64 word = i < BytesPerWord ? m_low : m_high;
            text.append(QChar(char16_t((word >> ((i % BytesPerWord) * BitsPerByte)) & 0xFF)));
        }
        return text;
    }

private:
    static constexpr int BytesPerWord = 8;
    static constexpr int BitsPerByte = 8;
    // Above the four bytes the second word holds.
    static constexpr int LengthShift = 32;
    static_assert(SlotShortNameWidth <= 2 * BytesPerWord - 4);

    quint64 m_low = 0;
    quint64 m_high = 0;
};

QString channelsField()
{
    return QCoreApplication::translate("DeviceFit", "Channels");
}

/// Walks a definition the way buildRecord lays it out. Without a findings list it only
/// tracks the severity, building no text; with one it collects every finding. Both modes
/// take the same branches, so they cannot disagree.
///
/// Both walk the whole definition, even once the severity is known. Reading the channels
/// is nearly all of the cost, and a library lies in memory in the order it was loaded:
/// skipping one definition's channels broke that sequential walk and made the next ones
/// slower, so that a library with every seventh definition changed took about a third
/// longer than an entirely fine one.
class Scanner
{
public:
    Scanner(const QKVFixtureDefinition& definition, QList<Finding>* findings)
        : m_definition(definition), m_findings(findings)
    {
    }

    Severity run()
    {
        const int count = m_definition.channelCount();
        if (!channelCountAccepted(count)) {
            note(Severity::Refused, channelsField, [&] {
                return QCoreApplication::translate("DeviceFit", "%1 channels; the devices hold %2 to %3")
                    .arg(QString::number(count), QString::number(MinChannels), QString::number(MaxChannels));
            });
        }
        checkFixtureTexts();
        placeChannels();
        checkSlots(std::min(count, MaxChannels));
        checkChannelTexts();
        checkEqualShortNames();
        return m_worst;
    }

private:
    template <typename Field, typename Text>
    void note(Severity severity, Field field, Text text)
    {
        m_worst = std::max(m_worst, severity);
        if (m_findings) {
            m_findings->append({severity, field(), text()});
        }
    }

    template <typename Field>
    void checkText(QStringView text, int width, Field field)
    {
        const QStringView held = text.left(width);
        const bool cut = text.size() > width;
        const bool latin1 = isLatin1(held);
        if (!cut && latin1) {
            return;
        }
        const QString label = m_findings ? field() : QString();
        const auto sameLabel = [&] { return label; };
        if (cut) {
            note(Severity::Changed, sameLabel, [&] {
                return QCoreApplication::translate("DeviceFit", "%1: %2 characters, the device shows the first %3: %4")
                    .arg(label, QString::number(text.size()), QString::number(width), quoted(shown(held)));
            });
        }
        if (!latin1) {
            note(Severity::Changed, sameLabel, [&] { return outsideLatin1Text(label, text, held); });
        }
    }

    static QString outsideLatin1Text(const QString& label, QStringView text, QStringView held)
    {
        QStringList characters;
        QStringList replacements;
        bool more = false;
        for (qsizetype i = 0; i < held.size() && !more; ++i) {
            if (held[i].unicode() < Latin1End) {
                continue;
            }
            // A pair is one character to the user, but each of its halves the record holds
            // becomes a "?" of its own.
            const bool pair = held[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            const QString character = quoted(text.mid(i, pair ? 2 : 1).toString());
            const qsizetype heldUnits = pair && i + 1 < held.size() ? 2 : 1;
            i += heldUnits - 1;
            if (characters.contains(character)) {
                continue;
            }
            if (characters.size() == MaxListed) {
                more = true;
                continue;
            }
            characters.append(character);
            replacements.append(quoted(QString(heldUnits, QChar(Replacement))));
        }
        return QCoreApplication::translate("DeviceFit", "%1: %2 will show as %3")
            .arg(label, listed(characters, more), listed(replacements, more));
    }

    void checkFixtureTexts()
    {
        const QString name = m_definition.name();
        checkText(name, NameWidth, [] { return QCoreApplication::translate("DeviceFit", "Fixture Name"); });
        if (!m_definition.autoShortName()) {
            checkText(m_definition.shortName(), ShortNameWidth, [] {
                return QCoreApplication::translate("DeviceFit", "Fixture Name Short");
            });
        }
        const QString manufacturer = m_definition.manufacturer();
        checkText(
            manufacturer, ManufacturerWidth, [] { return QCoreApplication::translate("DeviceFit", "Manufacturer"); });
        if (!m_definition.autoManufacturerShort()) {
            checkText(m_definition.manufacturerShort(), ManufacturerShortWidth, [] {
                return QCoreApplication::translate("DeviceFit", "Manufacturer Short");
            });
        }
    }

    void placeChannels()
    {
        QList<int> outside;
        QList<int> twice;
        for (const QKVFixtureChannel* channel : m_definition.channels()) {
            const int number = channel->number();
            const bool hasSlot = number >= MinChannels && number <= MaxChannels;
            const bool taken = hasSlot && m_slots[number - 1];
            if (!hasSlot || taken) {
                m_worst = std::max(m_worst, Severity::Changed);
                if (m_findings) {
                    appendOnce(hasSlot ? twice : outside, number);
                }
            }
            if (hasSlot) {
                m_slots[number - 1] = channel;
            }
        }
        if (!outside.isEmpty()) {
            note(Severity::Changed, channelsField, [&] {
                return QCoreApplication::translate("DeviceFit",
                                                   "Channel numbers outside %1 to %2: %3; the device leaves these "
                                                   "channels out")
                    .arg(QString::number(MinChannels), QString::number(MaxChannels), listedNumbers(outside));
            });
        }
        if (!twice.isEmpty()) {
            note(Severity::Changed, channelsField, [&] {
                return QCoreApplication::translate("DeviceFit",
                                                   "Channel numbers used more than once: %1; the device keeps only "
                                                   "the last channel of each")
                    .arg(listedNumbers(twice));
            });
        }
    }

    /// The device shows the slots 1 to the channel count: an empty one among them shows as
    /// a channel without a name, and a filled one beyond them is not shown.
    void checkSlots(int shownSlots)
    {
        QList<int> empty;
        QList<int> beyond;
        for (int slot = 1; slot <= MaxChannels; ++slot) {
            const bool filled = m_slots[slot - 1];
            if (filled == (slot <= shownSlots)) {
                continue;
            }
            m_worst = std::max(m_worst, Severity::Changed);
            if (m_findings) {
                (filled ? beyond : empty).append(slot);
            }
        }
        const std::pair<const QList<int>&, const char*> notes[] = {
            {empty,
             QT_TRANSLATE_NOOP("DeviceFit",
                               "No channel numbered %1; the device shows channels 1 to %2 by slot, so these show "
                               "without a name")},
            {beyond,
             QT_TRANSLATE_NOOP("DeviceFit",
                               "Channels numbered %1 lie beyond the channel count (%2); the device does not show "
                               "them")},
        };
        for (const auto& entry : notes) {
            if (!entry.first.isEmpty()) {
                note(Severity::Changed, channelsField, [&] {
                    return QCoreApplication::translate("DeviceFit", entry.second)
                        .arg(listedNumbers(entry.first), QString::number(shownSlots));
                });
            }
        }
    }

    void checkChannelTexts()
    {
        for (int slot = 1; slot <= MaxChannels; ++slot) {
            const QKVFixtureChannel* channel = m_slots[slot - 1];
            if (!channel) {
                continue;
            }
            m_filled[m_filledCount++] = slot;
            const QString name = channel->name();
            checkText(name, SlotNameWidth, [slot] {
                return QCoreApplication::translate("DeviceFit", "Channel %1 Name").arg(slot);
            });
            if (channel->autoShortName()) {
                m_shortKeys[slot - 1] = HeldShortName(ShortNames::firstCharactersView(name, ShortNames::ChannelLength));
                continue;
            }
            const QString shortName = channel->shortName();
            checkText(shortName, SlotShortNameWidth, [slot] {
                return QCoreApplication::translate("DeviceFit", "Channel %1 Name Short").arg(slot);
            });
            m_shortKeys[slot - 1] = HeldShortName(shortName);
        }
    }

    /// Two channels the display cannot tell apart, though the user named them differently.
    void checkEqualShortNames()
    {
        for (int j = 1; j < m_filledCount; ++j) {
            const int later = m_filled[j];
            for (int i = 0; i < j; ++i) {
                const int earlier = m_filled[i];
                if (m_shortKeys[earlier - 1] != m_shortKeys[later - 1]) {
                    continue;
                }
                // Rare: only now are the long names worth fetching again.
                const QString laterName = m_slots[later - 1]->name();
                if (readSame(QStringView(m_slots[earlier - 1]->name()).left(SlotNameWidth),
                             QStringView(laterName).left(SlotNameWidth))) {
                    continue;
                }
                note(
                    Severity::Changed,
                    [later] { return QCoreApplication::translate("DeviceFit", "Channel %1 Name Short").arg(later); },
                    [&] {
                        return QCoreApplication::translate("DeviceFit",
                                                           "Channel %1 Name Short and Channel %2 Name Short both "
                                                           "read %3 on the device, though the names differ")
                            .arg(QString::number(earlier),
                                 QString::number(later),
                                 quoted(m_shortKeys[later - 1].toString()));
                    });
                break;
            }
        }
    }

    const QKVFixtureDefinition& m_definition;
    QList<Finding>* m_findings;
    Severity m_worst = Severity::Fine;
    // By slot: the channel the record keeps there and its short name as the record holds it.
    std::array<const QKVFixtureChannel*, MaxChannels> m_slots {};
    std::array<HeldShortName, MaxChannels> m_shortKeys;
    // The filled slots in order, so that comparing them skips the empty ones.
    std::array<int, MaxChannels> m_filled;
    int m_filledCount = 0;
};

} // namespace

QList<Finding> check(const QKVFixtureDefinition& definition)
{
    QList<Finding> findings;
    Scanner(definition, &findings).run();
    return findings;
}

Severity worstOf(const QKVFixtureDefinition& definition)
{
    return Scanner(definition, nullptr).run();
}

Severity worst(const QList<Finding>& findings)
{
    Severity result = Severity::Fine;
    for (const Finding& finding : findings) {
        result = std::max(result, finding.severity);
    }
    return result;
}

QString describe(const QList<Finding>& findings)
{
    QStringList lines;
    lines.reserve(findings.size());
    for (const Finding& finding : findings) {
        lines.append(finding.text);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace DeviceFit
