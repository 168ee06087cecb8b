#pragma once

#include <QString>

/// Fixture type codes as the device stores them (one byte in the record) and as the
/// library files name them. The codes travel unchanged between file and device; a
/// definition read from a device may carry any byte value, which is kept as it is.
namespace FixtureType {

enum Code : int {
    Undefined = -1,
    MovingHead = 0,
    Scanner = 1,
    LedFixture = 2,
    ColorChanger = 3,
    Dimmer = 4,
    Laser = 5,
    Strobe = 6,
    Hazer = 7,
    Smoke = 8,
    Effect = 9,
    Other = 10,
};

constexpr int FirstCode = MovingHead;
constexpr int LastCode = Other;

/// The name written into a fixture document: "Moving Head" .. "Other" for the
/// codes 0..10, "Undefined" for anything else.
QString xmlName(int code);

/// The name the user reads: xmlName() in the interface's language.
QString displayName(int code);

/// Reads the text of a Type element the tolerant way older files need: the first
/// keyword found anywhere in the text, ignoring case, decides ("moving head",
/// "Color Chnager" and "LED Fixture RGB" all read). No keyword gives Undefined.
int fromXmlText(const QString& text);

} // namespace FixtureType
