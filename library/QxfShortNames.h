#pragma once

#include "QxfFixture.h"

#include <QList>
#include <QString>
#include <QStringList>

/// Short names for what QLC+ fixture files hold, made for the device's small display.
/// QLC+ names are written for a screen: a plain cut to 12 characters turns "Master dimmer"
/// and "Master dimmer fine" into the same "Master dimme". Where the cut reads badly, the
/// names are abbreviated instead, the same way every time the catalogue is read.
namespace QxfShortNames {

/// Whether the first `length` characters of `text` end inside a word or lose a number.
bool cutsBadly(const QString& text, int length);

/// Shorter forms of `text`, each at most `length` characters, from the mildest to the
/// harshest: filler words dropped, common lighting abbreviations, vowels dropped inside
/// words, and last a cut that keeps a trailing number. Never empty for a non-empty text.
QStringList abbreviations(const QString& text, int length);

/// Gives explicit short names to the channels of one mode whose automatic ones would
/// read the same as another channel's with a different name, or would cut a word.
/// Channels with equal names get equal short names; the others stay automatic. Meant for
/// the few dozen channels of a mode the device can take: the work grows with the square.
void assignChannelShortNames(QList<QxfChannel>& channels);

/// Gives the modes of one fixture fixture short names that differ from each other,
/// tagged with the real channel count ("Vintage Blaze 4ch"), where the automatic ones
/// would read the same or cut a word. A fixture with one mode keeps its automatic one.
void assignFixtureShortNames(QList<QxfMode>& modes);

} // namespace QxfShortNames
