#pragma once

#include <QLatin1String>

/// Element and attribute names of the fixture definition document (case-sensitive).
namespace FixtureDocument {

inline const QLatin1String RootElement("KorvaneFixtureDefinition");
inline const QLatin1String ManufacturerElement("Manufacturer");
inline const QLatin1String ModelElement("Model");
inline const QLatin1String TypeElement("Type");
inline const QLatin1String ChannelElement("DMXChannel");
inline const QLatin1String PersonalityElement("Personality");
inline const QLatin1String ChannelRefElement("DMXChannelRef");

inline const QLatin1String NameAttribute("Name");
inline const QLatin1String ShortNameAttribute("ShortName");
inline const QLatin1String NumberAttribute("Number");

} // namespace FixtureDocument
