#include "SyntheticLibrary.h"

#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QString>

#include <array>

namespace {

constexpr std::array<const char*, 12> Manufacturers {
    "Acme Lighting",
    "Nordlicht Bühnentechnik",
    "Stagecraft Systems",
    "Lumina Pro",
    "Beamworks",
    "Chroma FX",
    "Skyline Stage",
    "Orion Entertainment Lighting",
    "Helios",
    "Vektor Licht",
    "Polaris Show Technology",
    "Zenith Effects",
};

constexpr std::array<const char*, 10> Families {
    "Moving Head",
    "Spot",
    "Wash Zoom",
    "Beam",
    "LED Par",
    "Scanner",
    "Strobe",
    "Hazer",
    "Profile",
    "Bar RGBW",
};

struct ChannelName
{
    const char* name;
    const char* handMadeShort; // null: the short name follows the name
};

constexpr std::array<ChannelName, 30> Channels {{
    {"Pan", nullptr},
    {"Pan fine", nullptr},
    {"Tilt", nullptr},
    {"Tilt fine", nullptr},
    {"Pan/Tilt speed", "P/T spd"},
    {"Dimmer", nullptr},
    {"Dimmer fine", "Dim fine"},
    {"Shutter / Strobe", "Shutter"},
    {"Color wheel", nullptr},
    {"Color wheel fine", "Col wheel f"},
    {"Cyan", nullptr},
    {"Magenta", nullptr},
    {"Yellow", nullptr},
    {"CTO", nullptr},
    {"Gobo wheel 1", "Gobo 1"},
    {"Gobo wheel 1 rotation", "Gobo 1 rot"},
    {"Gobo wheel 2", "Gobo 2"},
    {"Prism", nullptr},
    {"Prism rotation", "Prism rot"},
    {"Focus", nullptr},
    {"Zoom", nullptr},
    {"Iris", nullptr},
    {"Frost", nullptr},
    {"Red", nullptr},
    {"Green", nullptr},
    {"Blue", nullptr},
    {"White", nullptr},
    {"Effect speed", "FX speed"},
    {"Control / Reset", "Control"},
    {"Macro", nullptr},
}};

// Every so many definitions carry hand-made short names, as libraries maintained
// for the small display do.
constexpr int HandMadeShortNameEvery = 7;

} // namespace

namespace SyntheticLibrary {

std::vector<std::unique_ptr<QKVFixtureDefinition>> make(int definitionCount, int channelCount)
{
    std::vector<std::unique_ptr<QKVFixtureDefinition>> library;
    library.reserve(static_cast<size_t>(definitionCount));
    for (int i = 0; i < definitionCount; ++i) {
        auto definition = std::make_unique<QKVFixtureDefinition>();
        const QString family = QString::fromUtf8(Families[static_cast<size_t>(i) % Families.size()]);
        const QString manufacturer
            = QString::fromUtf8(Manufacturers[static_cast<size_t>(i / 3) % Manufacturers.size()]);
        definition->setName(QStringLiteral("%1 %2").arg(family).arg(1000 + i));
        definition->setManufacturer(manufacturer);
        if (i % HandMadeShortNameEvery == 0) {
            definition->setAutoShortName(false);
            definition->setShortName(QStringLiteral("%1%2").arg(family.left(4)).arg(i));
            definition->setAutoManufacturerShort(false);
            definition->setManufacturerShort(manufacturer.left(6).toUpper());
        }
        definition->setType(i % (FixtureType::LastCode + 2) - 1);

        for (int c = 0; c < channelCount; ++c) {
            const ChannelName& source = Channels[static_cast<size_t>(c + i) % Channels.size()];
            auto* channel = new QKVFixtureChannel;
            channel->setNumber(c + 1);
            channel->setName(QString::fromUtf8(source.name));
            if (source.handMadeShort) {
                channel->setAutoShortName(false);
                channel->setShortName(QString::fromUtf8(source.handMadeShort));
            }
            definition->appendChannel(channel);
        }
        library.push_back(std::move(definition));
    }
    return library;
}

} // namespace SyntheticLibrary
