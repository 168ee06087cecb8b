#include "FixtureTableColumns.h"

#include "CutTextToolTipDelegate.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

namespace {
// A header margin on either side of a title, and one for the section's lines; the size
// hint would add room for a sort arrow that a narrow panel cannot spare.
constexpr int HeaderMargins = 3;
constexpr int IconColumnMargins = 2;
} // namespace

void sizeFixtureTableColumns(QTableView* view, int nameColumn, int iconColumn)
{
    if (!qobject_cast<CutTextToolTipDelegate*>(view->itemDelegate())) {
        view->setItemDelegate(new CutTextToolTipDelegate(view));
    }
    QHeaderView* header = view->horizontalHeader();
    header->setStretchLastSection(false);
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    // Titles turn bold while their column holds the current cell.
    QFont bold = header->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    for (int column = 0; column < header->count(); ++column) {
        if (column == nameColumn) {
            header->setSectionResizeMode(column, QHeaderView::Stretch);
            continue;
        }
        const QString title = view->model()->headerData(column, Qt::Horizontal).toString();
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        // A column of icons (the fit) under a short title needs no room for a sort arrow.
        const int margins = column == iconColumn ? IconColumnMargins : HeaderMargins;
        header->resizeSection(column, metrics.horizontalAdvance(title) + margins * margin);
    }
}
