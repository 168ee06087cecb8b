#include "LibraryUndo.h"

#include "LibraryForm.h"
#include "QKVFixtureDefinition.h"

#include <QCoreApplication>
#include <QHash>

namespace LibraryUndo {

std::unique_ptr<QKVFixtureDefinition> copyOf(const QKVFixtureDefinition& definition)
{
    auto copy = std::make_unique<QKVFixtureDefinition>();
    *copy = definition;
    copy->setParent(nullptr);
    // A copy belongs to no row: its setters must not write into the original's.
    copy->setListPosition(nullptr, QModelIndex());
    return copy;
}

Copies copiesOf(const QList<QKVFixtureDefinition*>& definitions)
{
    Copies copies;
    copies.reserve(static_cast<size_t>(definitions.size()));
    for (const QKVFixtureDefinition* definition : definitions) {
        copies.push_back(copyOf(*definition));
    }
    return copies;
}

namespace {

QList<QKVFixtureDefinition*> pointers(const Copies& copies)
{
    QList<QKVFixtureDefinition*> list;
    for (const auto& copy : copies) {
        list << copy.get();
    }
    return list;
}

} // namespace

AddCommand::AddCommand(LibraryForm* form, Copies added, const QString& text, QUndoCommand* parent)
    : QUndoCommand(text, parent), m_form(form), m_added(std::move(added))
{
}

void AddCommand::redo()
{
    m_firstRow = m_form->appendRows(pointers(m_added));
}

void AddCommand::undo()
{
    QList<int> rows;
    for (int row = m_firstRow; row < m_firstRow + static_cast<int>(m_added.size()); ++row) {
        rows << row;
    }
    m_form->removeRowsOf(rows);
}

RemoveCommand::RemoveCommand(LibraryForm* form, QList<int> rows, Copies removed, const QString& text)
    : QUndoCommand(text), m_form(form), m_rows(std::move(rows)), m_removed(std::move(removed))
{
}

void RemoveCommand::redo()
{
    m_form->removeRowsOf(m_rows);
}

void RemoveCommand::undo()
{
    m_form->insertRowsAt(m_rows, pointers(m_removed));
}

ChangeCommand::ChangeCommand(LibraryForm* form,
                             int row,
                             std::unique_ptr<QKVFixtureDefinition> before,
                             std::unique_ptr<QKVFixtureDefinition> after,
                             const QString& text,
                             bool applied,
                             QUndoCommand* parent)
    : QUndoCommand(text, parent)
    , m_form(form)
    , m_row(row)
    , m_before(std::move(before))
    , m_after(std::move(after))
    , m_applied(applied)
{
}

void ChangeCommand::allowMerging(const QString& field, int run)
{
    m_field = field;
    m_run = run;
}

void ChangeCommand::redo()
{
    // An edit made in the editor is in the library already when the step is pushed.
    if (m_applied) {
        m_applied = false;
        return;
    }
    m_form->setRowContent(m_row, m_after.get(), m_field);
}

void ChangeCommand::undo()
{
    m_form->setRowContent(m_row, m_before.get(), m_field);
}

bool ChangeCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const ChangeCommand*>(other);
    if (m_field.isEmpty() || next->m_field != m_field || next->m_row != m_row || next->m_run != m_run) {
        return false;
    }
    *m_after = *next->m_after;
    return true;
}

QString editText(const QString& field)
{
    static const QHash<QString, const char*> texts {
        {QStringLiteral("fixtureName"), QT_TRANSLATE_NOOP("LibraryUndo", "Rename Definition")},
        {QStringLiteral("manufacturerName"), QT_TRANSLATE_NOOP("LibraryUndo", "Change Manufacturer")},
        {QStringLiteral("fixtureNameShort"), QT_TRANSLATE_NOOP("LibraryUndo", "Edit Short Name")},
        {QStringLiteral("manufacturerNameShort"), QT_TRANSLATE_NOOP("LibraryUndo", "Edit Manufacturer Short Name")},
        {QStringLiteral("autoFixtureNameShort"), QT_TRANSLATE_NOOP("LibraryUndo", "Switch Automatic Short Name")},
        {QStringLiteral("autoManufacturerNameShort"), QT_TRANSLATE_NOOP("LibraryUndo", "Switch Automatic Short Name")},
        {QStringLiteral("autoChannelNameShort"), QT_TRANSLATE_NOOP("LibraryUndo", "Switch Automatic Short Name")},
        {QStringLiteral("fixtureType"), QT_TRANSLATE_NOOP("LibraryUndo", "Change Type")},
        {QStringLiteral("addChannel"), QT_TRANSLATE_NOOP("LibraryUndo", "Add Channel")},
        {QStringLiteral("pushButton"), QT_TRANSLATE_NOOP("LibraryUndo", "Remove Channel")},
        {QStringLiteral("channelUp"), QT_TRANSLATE_NOOP("LibraryUndo", "Move Channel")},
        {QStringLiteral("channelDown"), QT_TRANSLATE_NOOP("LibraryUndo", "Move Channel")},
        {QStringLiteral("channelName"), QT_TRANSLATE_NOOP("LibraryUndo", "Rename Channel")},
        {QStringLiteral("channelNameShort"), QT_TRANSLATE_NOOP("LibraryUndo", "Edit Channel Short Name")},
    };
    return QCoreApplication::translate("LibraryUndo",
                                       texts.value(field, QT_TRANSLATE_NOOP("LibraryUndo", "Edit Definition")));
}

} // namespace LibraryUndo
