#include "FixtureType.h"

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

constexpr std::array<const char*, 11> Names {
    "Moving Head",
    "Scanner",
    "LED Fixture",
    "Color Changer",
    "Dimmer",
    "Laser",
    "Strobe",
    "Hazer",
    "Smoke",
    "Effect",
    "Other",
};

} // namespace

QString xmlName(int code)
{
    if (code < FirstCode || code > LastCode) {
        return QStringLiteral("Undefined");
    }
    return QString::fromLatin1(Names[static_cast<size_t>(code)]);
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
