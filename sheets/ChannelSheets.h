#pragma once

#include "SheetPage.h"

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

class QIODevice;
class QKVFixtureDefinition;
class QLocale;
class QPagedPaintDevice;

/// Channel sheets on paper or in a PDF: the pages ChannelSheetLayout lays out, drawn as
/// text (selectable and searchable in a PDF) on any paged device. Needs a QGuiApplication
/// for the fonts; the offscreen platform will do.
namespace ChannelSheets {

/// Margins every desk printer can reach.
constexpr qreal MarginMillimetres = 15;

/// Letter where that is the paper in the shops (the United States, Canada, Mexico and
/// their neighbours that follow them, the Philippines), A4 everywhere else.
QPageSize pageSizeFor(const QLocale& locale);
/// Portrait pageSizeFor(locale) with the desk printer margins.
QPageLayout pageLayoutFor(const QLocale& locale);

/// Lays out the sheets of `definitions` for `device`'s page layout and draws them, opening
/// a new page on the device for each page after the first; with page ranges set on the
/// device (a printer's "Pages from ... to"), only those pages. Returns the number of pages
/// drawn; 0 when painting on the device failed.
int paint(QPagedPaintDevice& device,
          const QList<const QKVFixtureDefinition*>& definitions,
          const SheetHeading& heading);

/// Writes the sheets as a PDF of `page`'s layout to `output`, open for writing. Returns
/// the number of pages; 0 when it could not be written.
int writePdf(QIODevice& output,
             const QList<const QKVFixtureDefinition*>& definitions,
             const SheetHeading& heading,
             const QPageLayout& page);

/// writePdf() into the file at `path`, which is replaced only by a whole PDF. Returns the
/// number of pages; 0 on failure, with the reason in `error`.
int writePdf(const QString& path,
             const QList<const QKVFixtureDefinition*>& definitions,
             const SheetHeading& heading,
             const QPageLayout& page,
             QString& error);

} // namespace ChannelSheets
