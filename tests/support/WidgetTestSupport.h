#pragma once

#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QStringList>

#include <memory>

/// A definition with the channels "Channel 1".."Channel n".
inline std::unique_ptr<QKVFixtureDefinition>
numberedDefinition(const QString& name, int channels, const QString& manufacturer = QStringLiteral("Generic"))
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName(name);
    definition->setManufacturer(manufacturer);
    for (int number = 1; number <= channels; ++number) {
        definition->appendChannel(makeChannel(number, QStringLiteral("Channel %1").arg(number)));
    }
    return definition;
}

/// The menu's entries joined by "|": "-" for a separator, a trailing " (off)" when disabled.
inline QString menuEntries(const QMenu& menu)
{
    QStringList entries;
    for (const QAction* action : menu.actions()) {
        entries << (action->isSeparator() ? QStringLiteral("-")
                                          : action->text() + (action->isEnabled() ? "" : " (off)"));
    }
    return entries.join(u'|');
}

/// Triggers the menu's entries with this text.
inline void triggerEntry(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            action->trigger();
        }
    }
}

/// The display texts of one column, top to bottom.
inline QStringList columnTexts(const QAbstractItemModel* model, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) {
        texts << model->index(row, column).data().toString();
    }
    return texts;
}

/// Adds the row to the view's selection, as a control-click does.
inline void selectRow(QAbstractItemView* view, int row)
{
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
