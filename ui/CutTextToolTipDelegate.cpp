#include "CutTextToolTipDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

bool CutTextToolTipDelegate::helpEvent(QHelpEvent* event,
                                       QAbstractItemView* view,
                                       const QStyleOptionViewItem& option,
                                       const QModelIndex& index)
{
    // A cell with a tooltip of its own (the fit column's findings) shows that one.
    if (event->type() != QEvent::ToolTip || !index.isValid() || index.data(Qt::ToolTipRole).isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = item.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    if (item.fontMetrics.horizontalAdvance(item.text) > textRect.width()) {
        QToolTip::showText(event->globalPos(), item.text, view, option.rect);
    } else {
        QToolTip::hideText();
    }
    return true;
}
