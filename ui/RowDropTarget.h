#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAbstractItemView;

/// Makes a table take drops of rows dragged from the other table (by their MIME type)
/// and run `dropped`; everything else dropped on it is left to the widgets around it.
class RowDropTarget : public QObject
{
    Q_OBJECT

public:
    RowDropTarget(QAbstractItemView* view, const QString& mimeType, std::function<void()> dropped);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_mimeType;
    std::function<void()> m_dropped;
};
