#include "ChannelSheetLayout.h"

#include "DeviceFit.h"
#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "ShortNames.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLocale>
#include <QPaintDevice>
#include <QTextLayout>

#include <algorithm>

namespace {

constexpr qreal PointsPerInch = 72;

// Sizes in points: small enough that a definition of all 45 channels fits one Letter page,
// large enough to read at arm's length on a stage.
struct StyleFont
{
    SheetStyle style;
    qreal points;
    bool bold;
    bool fixed;
};
constexpr StyleFont StyleFonts[] = {
    {SheetStyle::PageHeader, 8, false, false},
    {SheetStyle::Title, 13, true, false},
    {SheetStyle::Manufacturer, 10, false, false},
    {SheetStyle::Label, 7.5, false, false},
    {SheetStyle::Value, 8.5, false, false},
    {SheetStyle::TableHead, 8, true, false},
    {SheetStyle::Cell, 8.5, false, false},
    {SheetStyle::ShortCell, 8.5, false, true},
    {SheetStyle::Muted, 8.5, false, false},
    {SheetStyle::Refused, 8, true, false},
    {SheetStyle::Changed, 8, true, false},
    {SheetStyle::Finding, 8, false, false},
};
static_assert(std::size(StyleFonts) == SheetStyleCount);

// Distances in points.
constexpr qreal HeaderGap = 3; ///< between the header text and its rule
constexpr qreal BodyGap = 9; ///< between the header or footer and the sheets
constexpr qreal SheetGap = 12; ///< between two sheets on a page
constexpr qreal Padding = 7; ///< inside a sheet's frame
constexpr qreal SectionGap = 6; ///< before the facts, the table and the findings
constexpr qreal CellPadding = 3; ///< left and right in a table cell
constexpr qreal RowPadding = 1.5; ///< above and below the text of a table row
constexpr qreal LabelGap = 6; ///< between a label and its value

constexpr int TitleLines = 3;
constexpr int ManufacturerLines = 2;
constexpr int ChannelNameLines = 2;
constexpr int FindingLines = 4;
constexpr int ContinuedTitleLines = 1;

// The widest channel number the table makes room for; wider ones are elided.
const QString WidestNumber = QStringLiteral("0000");

QString tr(const char* text)
{
    return QCoreApplication::translate("ChannelSheetLayout", text);
}

/// Line ends and tabs in a name would break the layout's one-line boxes; they print as spaces.
QString printable(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            c = QLatin1Char(' ');
        }
    }
    return result;
}

QString chopTrailingSpaces(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace()) {
        --end;
    }
    text.truncate(end);
    return text;
}

/// What the device's display shows as a short name: an auto short name is the start of the long one.
QString shownShortName(const QString& name, const QString& shortName, bool automatic, int length)
{
    return automatic ? ShortNames::firstCharacters(name, length) : shortName;
}

} // namespace

struct ChannelSheetLayout::Block
{
    qreal height = 0;
    std::vector<SheetText> texts;
    std::vector<SheetShape> shapes;
    bool row = false; ///< a channel row: a continuation repeats the table head above it
    bool keepWithNext = false; ///< a heading, never left alone at the foot of a page
};

struct ChannelSheetLayout::Sheet
{
    std::vector<Block> blocks;
    Block continuation; ///< the title of a part on a later page
    qreal height = 0; ///< with the padding
};

ChannelSheetLayout::ChannelSheetLayout(QPaintDevice& device)
    : m_device(device)
    , m_pixelsPerPoint(device.logicalDpiY() / PointsPerInch)
    , m_pageRect(0, 0, device.width(), device.height())
{
    const QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const StyleFont& style : StyleFonts) {
        QFont font = style.fixed ? fixed : general;
        font.setPointSizeF(style.points);
        font.setBold(style.bold);
        font.setItalic(style.style == SheetStyle::Muted);
        // Ligatures turn "fl" in "demo.kvfl" into one glyph, which a PDF search for "kvfl"
        // does not find; scripts that need shaping still get it.
        font.setStyleStrategy(QFont::PreferNoShaping);
        m_fonts.at(static_cast<size_t>(style.style)) = font;
    }
    for (const QFont& font : m_fonts) {
        m_metrics.emplace_back(font, &m_device);
    }
    const QFontMetricsF& header = metrics(SheetStyle::PageHeader);
    const qreal top = header.height() + points(HeaderGap + BodyGap);
    const qreal bottom = m_pageRect.bottom() - header.height() - points(BodyGap);
    m_body = QRectF(0, top, m_pageRect.width(), std::max<qreal>(bottom - top, 0));
    m_width = m_body.width() - 2 * points(Padding);
    m_numberRight = metrics(SheetStyle::Cell).horizontalAdvance(WidestNumber) + 2 * points(CellPadding);
    // Room for the twelve characters of the device's display; wider glyphs are elided.
    m_shortLeft = m_width
        - metrics(SheetStyle::ShortCell).horizontalAdvance(QString(ShortNames::ChannelLength, QLatin1Char('M')))
        - 2 * points(CellPadding);
}

void ChannelSheetLayout::layOut(const QList<const QKVFixtureDefinition*>& definitions, const SheetHeading& heading)
{
    std::vector<Sheet> sheets;
    sheets.reserve(static_cast<size_t>(definitions.size()));
    for (const QKVFixtureDefinition* definition : definitions) {
        sheets.push_back(sheetOf(*definition));
    }
    paginate(sheets);
    addHeaderAndFooter(heading);
}

QStringList ChannelSheetLayout::fitLines(const QString& raw, SheetStyle style, qreal width, int maxLines) const
{
    const QString text = printable(raw);
    const QFontMetricsF& fontMetrics = metrics(style);
    if (fontMetrics.horizontalAdvance(text) <= width) {
        return {text};
    }
    const auto fitted = [&](const QString& line) {
        return fontMetrics.horizontalAdvance(line) <= width ? line
                                                            : fontMetrics.elidedText(line, Qt::ElideRight, width);
    };
    QStringList lines;
    QTextLayout layout(text, font(style), &m_device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << fitted(chopTrailingSpaces(text.mid(line.textStart())));
            break;
        }
        lines << fitted(chopTrailingSpaces(text.mid(line.textStart(), line.textLength())));
    }
    layout.endLayout();
    return lines;
}

SheetText ChannelSheetLayout::place(
    const QString& text, SheetStyle style, qreal left, qreal right, qreal top, bool trailing) const
{
    const QFontMetricsF& fontMetrics = metrics(style);
    const qreal advance = fontMetrics.horizontalAdvance(text);
    // A right-to-left name keeps to the left edge too, as in the editor's tables: the sheet
    // is laid out left to right, and its columns line up whatever the script.
    const qreal x = trailing ? right - advance : left;
    return {QRectF(x, top, advance, fontMetrics.height()), text, style};
}

qreal ChannelSheetLayout::addLines(
    Block& block, const QString& text, SheetStyle style, qreal left, qreal right, qreal top, int maxLines) const
{
    const qreal lineSpacing = metrics(style).lineSpacing();
    qreal y = top;
    for (const QString& line : fitLines(text, style, right - left, maxLines)) {
        block.texts.push_back(place(line, style, left, right, y, false));
        y += lineSpacing;
    }
    return y - top;
}

ChannelSheetLayout::Block ChannelSheetLayout::titleBlock(const QString& title, int maxLines) const
{
    Block block;
    block.height = addLines(block, title, SheetStyle::Title, 0, m_width, 0, maxLines);
    return block;
}

ChannelSheetLayout::Block ChannelSheetLayout::factsBlock(const QKVFixtureDefinition& definition) const
{
    const QString rows[][4] = {
        {tr("Short name"),
         shownShortName(
             definition.name(), definition.shortName(), definition.autoShortName(), ShortNames::FixtureLength),
         tr("Type"),
         FixtureType::displayName(definition.type())},
        {tr("Manufacturer short"),
         shownShortName(definition.manufacturer(),
                        definition.manufacturerShort(),
                        definition.autoManufacturerShort(),
                        ShortNames::FixtureLength),
         tr("Channels"),
         QString::number(definition.channelCount())},
    };
    const qreal half = m_width / 2;
    const QFontMetricsF& label = metrics(SheetStyle::Label);
    const QFontMetricsF& value = metrics(SheetStyle::Value);
    qreal labelWidth[2] = {0, 0};
    for (const auto& row : rows) {
        for (int pair = 0; pair < 2; ++pair) {
            labelWidth[pair] = std::max(labelWidth[pair], label.horizontalAdvance(row[2 * pair]));
        }
    }
    Block block;
    qreal y = points(SectionGap);
    // Labels and values share a baseline although their sizes differ.
    const qreal labelDrop = value.ascent() - label.ascent();
    for (const auto& row : rows) {
        for (int pair = 0; pair < 2; ++pair) {
            const qreal left = pair * half;
            const qreal valueLeft = left + labelWidth[pair] + points(LabelGap);
            const qreal valueRight = left + half - points(LabelGap);
            block.texts.push_back(place(row[2 * pair], SheetStyle::Label, left, valueLeft, y + labelDrop, false));
            const QString shown = fitLines(row[2 * pair + 1], SheetStyle::Value, valueRight - valueLeft, 1).value(0);
            block.texts.push_back(place(shown, SheetStyle::Value, valueLeft, valueRight, y, false));
        }
        y += value.lineSpacing();
    }
    block.height = y;
    return block;
}

ChannelSheetLayout::Block ChannelSheetLayout::tableHead() const
{
    const qreal padding = points(CellPadding);
    const qreal top = points(RowPadding);
    Block block;
    block.texts.push_back(place(tr("Ch"), SheetStyle::TableHead, padding, m_numberRight - padding, top, true));
    block.texts.push_back(
        place(tr("Name"), SheetStyle::TableHead, m_numberRight + padding, m_shortLeft - padding, top, false));
    block.texts.push_back(
        place(tr("Short name"), SheetStyle::TableHead, m_shortLeft + padding, m_width - padding, top, false));
    block.height = metrics(SheetStyle::TableHead).height() + 2 * top;
    block.shapes.push_back({SheetShape::Band, QRectF(0, 0, m_width, block.height)});
    return block;
}

ChannelSheetLayout::Block ChannelSheetLayout::channelRow(const QKVFixtureChannel& channel) const
{
    const qreal padding = points(CellPadding);
    const qreal top = points(RowPadding);
    Block block;
    block.row = true;
    const QString number
        = fitLines(QString::number(channel.number()), SheetStyle::Cell, m_numberRight - 2 * padding, 1).value(0);
    block.texts.push_back(place(number, SheetStyle::Cell, padding, m_numberRight - padding, top, true));
    const qreal nameHeight = addLines(
        block, channel.name(), SheetStyle::Cell, m_numberRight + padding, m_shortLeft - padding, top, ChannelNameLines);
    const QString shortName
        = shownShortName(channel.name(), channel.shortName(), channel.autoShortName(), ShortNames::ChannelLength);
    block.texts.push_back(
        place(fitLines(shortName, SheetStyle::ShortCell, m_width - m_shortLeft - 2 * padding, 1).value(0),
              SheetStyle::ShortCell,
              m_shortLeft + padding,
              m_width - padding,
              top,
              false));
    block.height = std::max(nameHeight, metrics(SheetStyle::Cell).height()) + 2 * top;
    block.shapes.push_back({SheetShape::Rule, QRectF(0, 0, m_width, 0)});
    return block;
}

ChannelSheetLayout::Sheet ChannelSheetLayout::sheetOf(const QKVFixtureDefinition& definition) const
{
    const qreal width = m_width;
    QString title = definition.displayName();
    if (title.isEmpty()) {
        title = tr("Unnamed definition");
    }
    Sheet sheet;
    sheet.blocks.push_back(titleBlock(title, TitleLines));
    sheet.continuation = titleBlock(tr("%1 (continued)").arg(title), ContinuedTitleLines);
    if (!definition.manufacturer().isEmpty()) {
        Block manufacturer;
        manufacturer.height = addLines(
            manufacturer, definition.manufacturer(), SheetStyle::Manufacturer, 0, width, 0, ManufacturerLines);
        sheet.blocks.push_back(std::move(manufacturer));
    }
    sheet.blocks.push_back(factsBlock(definition));

    Block head = tableHead();
    head.height += points(SectionGap);
    for (SheetText& text : head.texts) {
        text.rect.translate(0, points(SectionGap));
    }
    for (SheetShape& shape : head.shapes) {
        shape.rect.translate(0, points(SectionGap));
    }
    head.keepWithNext = true;
    sheet.blocks.push_back(std::move(head));
    for (const QKVFixtureChannel* channel : definition.channels()) {
        sheet.blocks.push_back(channelRow(*channel));
    }
    if (definition.channels().isEmpty()) {
        Block none;
        none.height = addLines(none, tr("No channels"), SheetStyle::Muted, points(CellPadding), width, 0, 1);
        sheet.blocks.push_back(std::move(none));
    }

    const QList<DeviceFit::Finding> findings = DeviceFit::check(definition);
    if (!findings.isEmpty()) {
        Block heading;
        heading.height = points(SectionGap);
        heading.height += addLines(heading, tr("Device fit"), SheetStyle::TableHead, 0, width, heading.height, 1);
        heading.keepWithNext = true;
        sheet.blocks.push_back(std::move(heading));
        const QString refused = tr("Refused");
        const QString changed = tr("Changed");
        const qreal textLeft = std::max(metrics(SheetStyle::Refused).horizontalAdvance(refused),
                                        metrics(SheetStyle::Changed).horizontalAdvance(changed))
            + points(LabelGap);
        for (const DeviceFit::Finding& finding : findings) {
            const bool isRefused = finding.severity == DeviceFit::Severity::Refused;
            Block line;
            line.texts.push_back(place(isRefused ? refused : changed,
                                       isRefused ? SheetStyle::Refused : SheetStyle::Changed,
                                       0,
                                       textLeft,
                                       0,
                                       false));
            line.height = addLines(line, finding.text, SheetStyle::Finding, textLeft, width, 0, FindingLines);
            sheet.blocks.push_back(std::move(line));
        }
    }

    sheet.height = 2 * points(Padding);
    for (const Block& block : sheet.blocks) {
        sheet.height += block.height;
    }
    return sheet;
}

SheetPage& ChannelSheetLayout::newPage()
{
    m_y = m_body.top();
    return m_pages.emplace_back();
}

void ChannelSheetLayout::put(const Block& block, qreal left)
{
    SheetPage& page = m_pages.back();
    for (SheetText text : block.texts) {
        if (text.text.isEmpty()) {
            continue;
        }
        text.rect.translate(left, m_y);
        page.texts.push_back(std::move(text));
    }
    for (SheetShape shape : block.shapes) {
        shape.rect.translate(left, m_y);
        page.shapes.push_back(shape);
    }
    m_y += block.height;
}

void ChannelSheetLayout::closePart(int definition, qreal partTop, bool continued)
{
    m_y += points(Padding);
    const QRectF rect(m_body.left(), partTop, m_body.width(), m_y - partTop);
    SheetPage& page = m_pages.back();
    page.parts.push_back({definition, rect, continued});
    page.shapes.push_back({SheetShape::Frame, rect});
}

void ChannelSheetLayout::paginate(const std::vector<Sheet>& sheets)
{
    m_pages.clear();
    newPage();
    const qreal left = m_body.left() + points(Padding);
    const Block head = tableHead();
    for (size_t index = 0; index < sheets.size(); ++index) {
        const Sheet& sheet = sheets[index];
        const int definition = static_cast<int>(index);
        const bool pageEmpty = m_pages.back().parts.empty();
        const qreal gap = pageEmpty ? 0 : points(SheetGap);
        const bool fitsHere = m_y + gap + sheet.height <= m_body.bottom();
        const bool fitsPage = sheet.height <= m_body.height();
        if (fitsHere) {
            m_y += gap;
        } else if (fitsPage || !pageEmpty) {
            newPage();
        }
        qreal partTop = m_y;
        m_y += points(Padding);
        bool continued = false;
        for (size_t at = 0; at < sheet.blocks.size(); ++at) {
            const Block& block = sheet.blocks[at];
            const qreal needed
                = block.height + (block.keepWithNext && at + 1 < sheet.blocks.size() ? sheet.blocks[at + 1].height : 0);
            // Only a sheet longer than a page gets here with a block that does not fit.
            const bool placedSome = m_y > partTop + points(Padding);
            if (placedSome && m_y + needed + points(Padding) > m_body.bottom()) {
                closePart(definition, partTop, continued);
                newPage();
                partTop = m_y;
                m_y += points(Padding);
                continued = true;
                put(sheet.continuation, left);
                if (block.row) {
                    put(head, left);
                }
            }
            put(block, left);
        }
        closePart(definition, partTop, continued);
    }
}

void ChannelSheetLayout::addHeaderAndFooter(const SheetHeading& heading)
{
    const QFontMetricsF& header = metrics(SheetStyle::PageHeader);
    const QString date = QLocale().toString(heading.date, QLocale::LongFormat);
    const qreal dateWidth = header.horizontalAdvance(date);
    const qreal width = m_pageRect.width();
    const qreal libraryRight = width - dateWidth - points(SheetGap);
    const QString library = fitLines(heading.library, SheetStyle::PageHeader, libraryRight, 1).value(0);
    const qreal ruleY = header.height() + points(HeaderGap);
    const qreal footerTop = m_pageRect.bottom() - header.height();
    const QString pageCount = QString::number(m_pages.size());
    for (size_t index = 0; index < m_pages.size(); ++index) {
        SheetPage& page = m_pages[index];
        page.texts.push_back(place(library, SheetStyle::PageHeader, 0, libraryRight, 0, false));
        page.texts.push_back(place(date, SheetStyle::PageHeader, 0, width, 0, true));
        page.shapes.push_back({SheetShape::Rule, QRectF(0, ruleY, width, 0)});
        const QString number = QStringLiteral("%1 / %2").arg(index + 1).arg(pageCount);
        const qreal numberWidth = header.horizontalAdvance(number);
        page.texts.push_back(place(number, SheetStyle::PageHeader, (width - numberWidth) / 2, width, footerTop, false));
    }
}
