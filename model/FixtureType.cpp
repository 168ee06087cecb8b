#include "FixtureType.h"

#include <QCoreApplication>

#include <array>

namespace FixtureType {

namespace {

struct Keyword
{
    const char* word;
    int code;
};

// Order matters: the first keyword found wins, so "LED Fixture" is tried before
// the shorter words that such a text might also contain.
constexpr std::array<Keyword, 11> Keywords {{
    {"Moving", MovingHead},
    {"Scanner", Scanner},
    {"LED Fixture", LedFixture},
    {"Color", ColorChanger},
    {"Dimmer", Dimmer},
    {"Laser", Laser},
    {"Strobe", Strobe},
    {"Hazer", Hazer},
    {"Smoke", Smoke},
    {"Effect", Effect},
    {"Other", Other},
}};

// Also the source texts of the translated names, in the context "FixtureType".
constexpr std::array<const char*, 11> Names {
    QT_TRANSLATE_NOOP("FixtureType", "Moving Head"),
    QT_TRANSLATE_NOOP("FixtureType", "Scanner"),
    QT_TRANSLATE_NOOP("FixtureType", "LED Fixture"),
    QT_TRANSLATE_NOOP("FixtureType", "Color Changer"),
    QT_TRANSLATE_NOOP("FixtureType", "Dimmer"),
    QT_TRANSLATE_NOOP("FixtureType", "Laser"),
    QT_TRANSLATE_NOOP("FixtureType", "Strobe"),
    QT_TRANSLATE_NOOP("FixtureType", "Hazer"),
    QT_TRANSLATE_NOOP("FixtureType", "Smoke"),
    QT_TRANSLATE_NOOP("FixtureType", "Effect"),
    QT_TRANSLATE_NOOP("FixtureType", "Other"),
};
constexpr const char* UndefinedName = QT_TRANSLATE_NOOP("FixtureType", "Undefined");

} // namespace

QString xmlName(int code)
{
    if (code < FirstCode || code > LastCode) {
        return QString::fromLatin1(UndefinedName);
    }
    return QString::fromLatin1(Names[static_cast<size_t>(code)]);
}

QString displayName(int code)
{
    const bool known = code >= FirstCode && code <= LastCode;
    return QCoreApplication::translate("FixtureType", known ? Names[static_cast<size_t>(code)] : UndefinedName);
}

int fromXmlText(const QString& text)
{
    for (const Keyword& keyword : Keywords) {
        if (text.contains(QLatin1String(keyword.word), Qt::CaseInsensitive)) {
            return keyword.code;
        }
    }
    return Undefined;
}

} // namespace FixtureType
