#pragma once

#include <QList>
#include <QString>
#include <QUndoCommand>

#include <memory>
#include <vector>

class LibraryForm;
class QKVFixtureDefinition;

/// The undoable steps of a library. Each keeps copies of the definitions it needs, never
/// pointers into the library, and acts through the library panel, which then selects
/// and shows the rows the step touched.
namespace LibraryUndo {

using Copies = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

/// An unparented copy of `definition` that belongs to no row.
std::unique_ptr<QKVFixtureDefinition> copyOf(const QKVFixtureDefinition& definition);
/// Copies of `definitions`, as copyOf() makes them.
Copies copiesOf(const QList<QKVFixtureDefinition*>& definitions);

/// Definitions appended at the end of the library (add, duplicate, paste, import, download).
class AddCommand : public QUndoCommand
{
public:
    AddCommand(LibraryForm* form, Copies added, const QString& text, QUndoCommand* parent = nullptr);
    void redo() override;
    void undo() override;

private:
    LibraryForm* m_form;
    Copies m_added;
    int m_firstRow = -1;
};

/// Definitions removed from their rows.
class RemoveCommand : public QUndoCommand
{
public:
    /// `rows` ascending, `removed` their definitions in the same order.
    RemoveCommand(LibraryForm* form, QList<int> rows, Copies removed, const QString& text);
    void redo() override;
    void undo() override;

private:
    LibraryForm* m_form;
    QList<int> m_rows;
    Copies m_removed;
};

/// One definition changed in its row: an edit in the definition editor, or a replacement.
/// Keystrokes in one text field merge into one step until the field loses the focus or
/// another field is edited.
class ChangeCommand : public QUndoCommand
{
public:
    static constexpr int MergeId = 1;

    /// `applied`: the library holds `after` already (an edit made in place).
    ChangeCommand(LibraryForm* form,
                  int row,
                  std::unique_ptr<QKVFixtureDefinition> before,
                  std::unique_ptr<QKVFixtureDefinition> after,
                  const QString& text,
                  bool applied,
                  QUndoCommand* parent = nullptr);
    /// Lets the next edit in `field` of the same row, in the same typing `run`, merge.
    void allowMerging(const QString& field, int run);
    void redo() override;
    void undo() override;
    int id() const override { return m_field.isEmpty() ? -1 : MergeId; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    LibraryForm* m_form;
    int m_row;
    std::unique_ptr<QKVFixtureDefinition> m_before;
    std::unique_ptr<QKVFixtureDefinition> m_after;
    bool m_applied;
    QString m_field;
    int m_run = 0;
};

/// The step text of an edit in the editor's widget `field`.
QString editText(const QString& field);

} // namespace LibraryUndo
