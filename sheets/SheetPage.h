#pragma once

#include <QDate>
#include <QRectF>
#include <QString>

#include <vector>

/// What the page header names: the library the sheets come from and the day they were made.
struct SheetHeading
{
    QString library;
    QDate date;
};

/// The kinds of text on a sheet; each has its own font and colour.
enum class SheetStyle {
    PageHeader,
    Title,
    Manufacturer,
    Label,
    Value,
    TableHead,
    Cell,
    ShortCell, ///< the device's display has a character grid, so short names are set in a fixed-width font
    Muted,
    Refused,
    Changed,
    Finding,
};
constexpr int SheetStyleCount = static_cast<int>(SheetStyle::Finding) + 1;

/// One line of text as drawn: `rect` is the box of its glyph run, as wide as the text's
/// advance, so a text that would not fit shows as a box that leaves its column.
struct SheetText
{
    QRectF rect;
    QString text;
    SheetStyle style = SheetStyle::Value;
};

/// A line or a filled box under the text.
struct SheetShape
{
    enum Kind {
        Frame, ///< the outline around one sheet
        Band, ///< the shading behind the table head
        Rule, ///< a thin line along the rect's top edge
    };
    Kind kind = Rule;
    QRectF rect;
};

/// The part of one definition's sheet on a page: all of it, unless it is longer than a page.
struct SheetPart
{
    int definition = 0; ///< index into the list laid out
    QRectF rect;
    bool continued = false; ///< the part goes on from the previous page
};

/// One page: its sheets, the header and footer, and what is drawn.
struct SheetPage
{
    std::vector<SheetPart> parts;
    std::vector<SheetText> texts;
    std::vector<SheetShape> shapes;
};
