#pragma once

#include "SheetPage.h"

#include <QFont>
#include <QFontMetricsF>
#include <QList>
#include <QRectF>
#include <QStringList>

#include <array>
#include <vector>

class QKVFixtureChannel;
class QKVFixtureDefinition;
class QPaintDevice;

/// Lays channel sheets out on pages: a sheet per definition (names, short names as the
/// device shows them, type, channel table and device-fit findings), as many to a page as
/// fit, a sheet split only when it is longer than a whole page, a header with the library
/// and the date and a footer with "page / pages".
///
/// Everything is in the pixels of the device the pages are for, measured with its font
/// metrics, with (0, 0) the top left corner of the page's paint rect. Long texts wrap
/// or are elided, so nothing laid out leaves pageRect(), in any script or direction.
class ChannelSheetLayout
{
public:
    /// `device` gives the paint rect, the resolution and the font metrics; it is not drawn
    /// on here and must outlive the layout. Call from the thread of the QGuiApplication.
    explicit ChannelSheetLayout(QPaintDevice& device);

    /// Replaces the pages with the sheets of `definitions`, in order.
    void layOut(const QList<const QKVFixtureDefinition*>& definitions, const SheetHeading& heading);

    const std::vector<SheetPage>& pages() const { return m_pages; }
    /// The page's paint rect in layout coordinates.
    QRectF pageRect() const { return m_pageRect; }
    const QFont& font(SheetStyle style) const { return m_fonts.at(static_cast<size_t>(style)); }
    /// The metrics of font(style) on the device.
    const QFontMetricsF& metrics(SheetStyle style) const { return m_metrics.at(static_cast<size_t>(style)); }

private:
    struct Block;
    struct Sheet;

    qreal points(qreal value) const { return value * m_pixelsPerPoint; }

    /// `text` as at most `maxLines` lines no wider than `width`, the last one elided.
    QStringList fitLines(const QString& text, SheetStyle style, qreal width, int maxLines) const;
    /// One line in the box from `left` to `right`: at its left edge, or its right edge
    /// when `trailing`.
    SheetText place(const QString& text, SheetStyle style, qreal left, qreal right, qreal top, bool trailing) const;
    /// The lines of `text` stacked from `top`; returns their height.
    qreal addLines(
        Block& block, const QString& text, SheetStyle style, qreal left, qreal right, qreal top, int maxLines) const;

    Sheet sheetOf(const QKVFixtureDefinition& definition) const;
    Block titleBlock(const QString& title, int maxLines) const;
    Block factsBlock(const QKVFixtureDefinition& definition) const;
    Block tableHead() const;
    Block channelRow(const QKVFixtureChannel& channel) const;

    SheetPage& newPage();
    /// Places `block` at the page's current height, its content starting at `left`.
    void put(const Block& block, qreal left);
    void closePart(int definition, qreal partTop, bool continued);
    void paginate(const std::vector<Sheet>& sheets);
    void addHeaderAndFooter(const SheetHeading& heading);

    QPaintDevice& m_device;
    qreal m_pixelsPerPoint = 1;
    QRectF m_pageRect;
    QRectF m_body;
    // The sheet's content: its width, and where the channel table's columns meet.
    qreal m_width = 0;
    qreal m_numberRight = 0;
    qreal m_shortLeft = 0;
    std::array<QFont, SheetStyleCount> m_fonts;
    std::vector<QFontMetricsF> m_metrics;
    std::vector<SheetPage> m_pages;
    qreal m_y = 0;
};
