#pragma once

#include <QString>

/// Short names exist because the device's display is small. A derived ("Auto")
/// short name is simply the start of the long name; nothing else is changed.
namespace ShortNames {

constexpr int FixtureLength = 20; ///< fixture and manufacturer short names
constexpr int ChannelLength = 12; ///< channel short names

/// The first `length` characters of `text`. A surrogate pair is never split: when
/// the cut would leave half of one, the half is dropped, so the result stays valid text.
QString firstCharacters(const QString& text, int length);

} // namespace ShortNames
