#include "RowDropTarget.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>

RowDropTarget::RowDropTarget(QAbstractItemView* view, const QString& mimeType, std::function<void()> dropped)
    : QObject(view), m_mimeType(mimeType), m_dropped(std::move(dropped))
{
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
}

bool RowDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QObject::eventFilter(watched, event);
    }
    auto* drop = static_cast<QDropEvent*>(event);
    if (!drop->mimeData()->hasFormat(m_mimeType)) {
        // Not for the view itself (its model would take anything it can read as rows):
        // the window around it gets the chance, files dropped on the table included.
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        m_dropped();
    }
    return true;
}
