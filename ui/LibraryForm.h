#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QItemSelection>
#include <QList>
#include <QModelIndex>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <utility>

#include "KVFLArchive.h"
class LocalFixtureDefinitionEditForm;
class LocalFixtureDefinitionListModel;
class QKVFixtureDefinition;
class QMenu;
class QMimeData;
class QPushButton;
class QStringListModel;
class QTableView;
class QUndoStack;
class TwoColumnsSortFilterProxyModel;

namespace Ui {
class LibraryForm;
}

/// The library panel: the definitions of the open library as a sortable, filterable
/// table with a completing filter field, counters, add / duplicate / remove, and the
/// editor of the current definition below the table.
///
/// Filtering, the completion list and the counters walk the whole library, so they are
/// requested by flags and served by a timer, one kind per tick; the period adapts to the
/// measured cost of the work, so typing stays smooth on large libraries.
class LibraryForm : public QWidget
{
    Q_OBJECT

public:
    /// The first tick comes this long after construction.
    static constexpr int InitialTickMs = 400;
    /// The timer never ticks faster than this.
    static constexpr int MinimumTickMs = 100;
    /// The period is this many times the cost of the measured tick.
    static constexpr int TickCostFactor = 10;
    /// One tick in this many is measured.
    static constexpr int TicksPerMeasurement = 100;

    explicit LibraryForm(QWidget* parent = nullptr);
    ~LibraryForm() override;

    /// Shows copies of the definitions of a loaded archive; the first row of the sorted
    /// view becomes current and archiveModified() is emitted when there is any. Returns true.
    bool setArchive(KVFLArchive* archive);
    /// Empties the panel and forgets the archive.
    void clearArchive();
    KVFLArchive* archive() const { return m_archive; }
    /// Saves the shown definitions into the archive's file. False without an archive or
    /// when the archive could not be written.
    bool saveArchive();
    /// Appends copies of the definitions of another loaded archive. False for none.
    bool importArchive(KVFLArchive* archive);
    /// Appends a copy of `definition` and makes it current when the filter shows it.
    void addFixtureDefinition(QKVFixtureDefinition* definition);
    /// Appends copies of `additions` and makes each replaced definition (first) a copy of
    /// its new content (second). Every row touched is selected, the last one current.
    void addDefinitions(const QList<QKVFixtureDefinition*>& additions,
                        const QList<std::pair<QKVFixtureDefinition*, QKVFixtureDefinition*>>& replacements = {},
                        const QString& text = QString());

    /// The clipboard: the selected definitions as definitions and as text; cut removes
    /// them in one step; paste appends what `data` (default: the clipboard) carries in
    /// one step, false when it carries no definitions.
    void copySelection();
    void cutSelection();
    bool paste(const QMimeData* data = nullptr);

    /// Every change to the library is one step here; opening or emptying it clears it.
    QUndoStack* undoStack() const { return m_undoStack; }

    /// What the undo steps do to the rows, each selecting and showing what it touched:
    /// append copies (returns the first new row), remove rows, put copies back at their
    /// ascending `rows`, and make a row a copy of `content` (`field`: the editor widget
    /// to show).
    int appendRows(const QList<QKVFixtureDefinition*>& definitions);
    void removeRowsOf(QList<int> rows);
    void insertRowsAt(const QList<int>& rows, const QList<QKVFixtureDefinition*>& definitions);
    void setRowContent(int row, QKVFixtureDefinition* content, const QString& field);
    /// Marks the definitions the selected device holds (holding keys of its list); empty
    /// when there is no device list.
    void setDeviceHoldings(const QSet<QString>& keys);
    /// The holding keys of every definition of the library.
    QSet<QString> holdingKeys() const;
    QPushButton* findingsButton() const { return m_findingsButton; }
    QPushButton* notOnDeviceButton() const { return m_notOnDeviceButton; }
    /// The definitions of the selected rows, in selection order; owned by the panel.
    QList<QKVFixtureDefinition*> selectedFixtureDefinitions() const;
    /// Set while a device operation runs: the context menu then refuses device actions
    /// and the removal of definitions.
    void setLocked(bool locked);
    bool isLocked() const { return m_locked; }

    /// Lays the panel's tab stops after `previous`: filter, table, then the editor.
    void setTabOrderAfter(QWidget* previous);

    /// The menu the table shows for a right click, built for the current selection.
    std::unique_ptr<QMenu> buildContextMenu();

    LocalFixtureDefinitionListModel* listModel() const { return m_listModel.get(); }
    TwoColumnsSortFilterProxyModel* proxyModel() const { return m_proxyModel; }
    QStringListModel* completionModel() const { return m_completionModel.get(); }
    QTableView* tableView() const;
    LocalFixtureDefinitionEditForm* editForm() const;
    /// The current period of the deferred-update timer.
    int tickInterval() const { return m_updateTimer.interval(); }

Q_SIGNALS:
    /// The library changed: an addition, duplication, removal or edit.
    void archiveModified();
    /// Rows of the device's table were dropped on the library's.
    void deviceRowsDropped();
    /// The user asked to copy the selected definitions to the device.
    void copyToDeviceRequested();
    void signalUpdateCounters(int nVisible, int nTotal, int nSelected);

public Q_SLOTS:
    void on_manufacturerBttn_clicked();
    void on_fixtureNameBttn_clicked();
    void requestFilterUpdate();
    void requestCompleterUpdate();
    void requestCounterUpdate();

    /// Follows the current row, except while the user types into the editor.
    void currentFixtureDefinitionChanged();
    /// Shows the definition of the current row in the editor.
    void updateCurrentFixtureDefinition();

    void updateFilter();
    void updateCompleter();
    void updateCounter();
    /// One tick of the deferred updates.
    void slotTimer();

    void on_addFixtureDefinition_clicked();
    void duplicateFixtures_clicked();
    void on_removeFixtureDefinition_clicked();
    void deleteSelected();
    void selectAll();
    void clearSelection();
    void copySelectedToDevice();
    void showContextMenu(const QPoint& pos);
    void slotArchiveModified();

private:
    /// The fit column first, and the two toggles that filter by fit and device.
    void setUpTable();
    /// Keys for what the panel's buttons do: the buttons take no focus.
    void setUpKeyboard();
    void setUpFitColumn();
    /// Remove and Duplicate act on the selection; with none they are off.
    void updateSelectionButtons();
    void installModel(std::unique_ptr<LocalFixtureDefinitionListModel> model);
    /// Removes the selected rows as one step named `text` (empty: "Remove …").
    void removeSelected(const QString& text);
    /// Selects exactly `sourceRows`, the last current, and keeps the editor's new base.
    void showStep(const QList<int>& sourceRows);
    /// A copy of the definition the editor shows: what its next edit started from.
    void takeEditBase();
    /// Turns an edit made in the editor into an undoable step.
    void definitionEdited(const QString& field, bool typed);
    /// Selects `sourceRows` as well, the last current, and announces the change.
    void selectChangedRows(const QList<int>& sourceRows);
    /// Selects the row and makes it current; false when the filter hides it.
    bool makeSourceRowCurrent(int sourceRow);
    bool makeProxyRowCurrent(int proxyRow);
    /// The selected rows of the list model, in selection order.
    QList<int> selectedSourceRows() const;

    std::unique_ptr<Ui::LibraryForm> m_ui;
    std::unique_ptr<LocalFixtureDefinitionListModel> m_listModel;
    QSet<QString> m_deviceHoldings;
    QUndoStack* m_undoStack = nullptr;
    std::unique_ptr<QKVFixtureDefinition> m_editBase;
    /// Counts the focus changes: keystrokes merge into one step only within one run.
    int m_typingRun = 0;
    QPushButton* m_findingsButton = nullptr;
    QPushButton* m_notOnDeviceButton = nullptr;
    TwoColumnsSortFilterProxyModel* m_proxyModel = nullptr;
    std::unique_ptr<QStringListModel> m_completionModel;
    QPointer<KVFLArchive> m_archive;
    QIcon m_newIcon;
    QIcon m_deleteIcon;
    QIcon m_selectAllIcon;
    QIcon m_clearSelectionIcon;
    QIcon m_uploadIcon;
    QIcon m_cloneIcon;
    QTimer m_updateTimer;
    QElapsedTimer m_stopwatch;
    bool m_locked = false;
    bool m_filterRequested = false;
    bool m_completerRequested = false;
    bool m_counterRequested = false;
    // Shared by every panel: the measurement is of the machine, not of one panel.
    static int s_tickCounter;
};
