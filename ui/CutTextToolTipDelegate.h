#pragma once

#include <QStyledItemDelegate>

/// Shows a cell's whole text as its tooltip, but only where the column cuts it: a narrow
/// panel may elide a long fixture name, and the user still gets to read it.
class CutTextToolTipDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event,
                   QAbstractItemView* view,
                   const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
