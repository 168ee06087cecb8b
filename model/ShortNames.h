#pragma once

#include <QString>
#include <QStringView>

/// Short names exist because the device's display is small. A derived ("Auto")
/// short name is simply the start of the long name; nothing else is changed.
namespace ShortNames {

constexpr int FixtureLength = 20; ///< fixture and manufacturer short names
constexpr int ChannelLength = 12; ///< channel short names

/// The first `length` characters of `text`. A surrogate pair is never split: when
/// the cut would leave half of one, the half is dropped, so the result stays valid text.
QString firstCharacters(const QString& text, int length);

/// The same cut as a view into `text`, for checks that run over whole libraries and
/// must not copy. The view is valid only as long as `text` is.
QStringView firstCharactersView(QStringView text, int length);

} // namespace ShortNames
