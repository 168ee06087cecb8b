#include "ChannelSheets.h"

#include "ChannelSheetLayout.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QMarginsF>
#include <QPageRanges>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace ChannelSheets {

namespace {

constexpr qreal PointsPerInch = 72;
// Line widths in points: hairlines vanish on some printers, heavier ones crowd the table.
constexpr qreal FrameWidth = 0.6;
constexpr qreal RuleWidth = 0.4;

const QColor Ink(Qt::black);
const QColor Grey(0x55, 0x55, 0x55);
const QColor FrameColour(0x99, 0x99, 0x99);
const QColor RuleColour(0xcc, 0xcc, 0xcc);
const QColor BandColour(0xe6, 0xe6, 0xe6);
const QColor RefusedColour(0xb0, 0x00, 0x20);
const QColor ChangedColour(0x9a, 0x5b, 0x00);

constexpr QLocale::Territory LetterTerritories[] = {
    QLocale::UnitedStates,
    QLocale::Canada,
    QLocale::Mexico,
    QLocale::Belize,
    QLocale::Guatemala,
    QLocale::ElSalvador,
    QLocale::Nicaragua,
    QLocale::CostaRica,
    QLocale::Panama,
    QLocale::Colombia,
    QLocale::Venezuela,
    QLocale::Chile,
    QLocale::DominicanRepublic,
    QLocale::PuertoRico,
    QLocale::Philippines,
};

QColor colourOf(SheetStyle style)
{
    switch (style) {
        case SheetStyle::PageHeader:
        case SheetStyle::Label:
        case SheetStyle::Muted:
            return Grey;
        case SheetStyle::Refused:
            return RefusedColour;
        case SheetStyle::Changed:
            return ChangedColour;
        default:
            return Ink;
    }
}

void drawPage(QPainter& painter, const ChannelSheetLayout& layout, const SheetPage& page, qreal pixelsPerPoint)
{
    for (const SheetShape& shape : page.shapes) {
        switch (shape.kind) {
            case SheetShape::Band:
                painter.fillRect(shape.rect, BandColour);
                break;
            case SheetShape::Rule:
                painter.setPen(QPen(RuleColour, RuleWidth * pixelsPerPoint));
                painter.drawLine(shape.rect.topLeft(), shape.rect.topRight());
                break;
            case SheetShape::Frame:
                painter.setPen(QPen(FrameColour, FrameWidth * pixelsPerPoint));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(shape.rect);
                break;
        }
    }
    // Glyph runs, not paths: the PDF keeps the text, so it can be searched and copied.
    for (const SheetText& text : page.texts) {
        painter.setFont(layout.font(text.style));
        painter.setPen(colourOf(text.style));
        painter.drawText(QPointF(text.rect.left(), text.rect.top() + layout.metrics(text.style).ascent()), text.text);
    }
}

QString tr(const char* text)
{
    return QCoreApplication::translate("ChannelSheets", text);
}

} // namespace

QPageSize pageSizeFor(const QLocale& locale)
{
    const bool letter = std::find(std::begin(LetterTerritories), std::end(LetterTerritories), locale.territory())
        != std::end(LetterTerritories);
    return QPageSize(letter ? QPageSize::Letter : QPageSize::A4);
}

QPageLayout pageLayoutFor(const QLocale& locale)
{
    const QMarginsF margins(MarginMillimetres, MarginMillimetres, MarginMillimetres, MarginMillimetres);
    return QPageLayout(pageSizeFor(locale), QPageLayout::Portrait, margins, QPageLayout::Millimeter);
}

int paint(QPagedPaintDevice& device, const QList<const QKVFixtureDefinition*>& definitions, const SheetHeading& heading)
{
    ChannelSheetLayout layout(device);
    layout.layOut(definitions, heading);
    QPainter painter;
    if (!painter.begin(&device)) {
        return 0;
    }
    const qreal pixelsPerPoint = device.logicalDpiY() / PointsPerInch;
    // A printer's "Pages from ... to" arrives as page ranges; a PDF writer has none.
    const QPageRanges ranges = device.pageRanges();
    const std::vector<SheetPage>& pages = layout.pages();
    int drawn = 0;
    for (size_t index = 0; index < pages.size(); ++index) {
        if (!ranges.isEmpty() && !ranges.contains(static_cast<int>(index) + 1)) {
            continue;
        }
        if (drawn > 0 && !device.newPage()) {
            return 0;
        }
        drawPage(painter, layout, pages[index], pixelsPerPoint);
        ++drawn;
    }
    return painter.end() ? drawn : 0;
}

int writePdf(QIODevice& output,
             const QList<const QKVFixtureDefinition*>& definitions,
             const SheetHeading& heading,
             const QPageLayout& page)
{
    QPdfWriter writer(&output);
    writer.setPageLayout(page);
    writer.setTitle(tr("Channel sheets: %1").arg(heading.library));
    writer.setCreator(QCoreApplication::applicationName());
    return paint(writer, definitions, heading);
}

int writePdf(const QString& path,
             const QList<const QKVFixtureDefinition*>& definitions,
             const SheetHeading& heading,
             const QPageLayout& page,
             QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return 0;
    }
    const int pages = writePdf(file, definitions, heading, page);
    if (pages == 0) {
        file.cancelWriting();
        error = tr("The sheets could not be drawn.");
        return 0;
    }
    if (!file.commit()) {
        error = file.errorString();
        return 0;
    }
    return pages;
}

} // namespace ChannelSheets
