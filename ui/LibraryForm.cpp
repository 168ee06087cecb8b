#include "LibraryForm.h"
#include "ui_LibraryForm.h"

#include "DefinitionMime.h"
#include "FixtureTableColumns.h"
#include "KVFLArchive.h"
#include "LibraryUndo.h"
#include "LocalFixtureDefinitionEditForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "ResourcePaths.h"
#include "RowDropTarget.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QStringListModel>
#include <QUndoStack>

#include <algorithm>
#include <functional>

int LibraryForm::s_tickCounter = 0;

LibraryForm::LibraryForm(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::LibraryForm())
    , m_listModel(new LocalFixtureDefinitionListModel())
    , m_completionModel(new QStringListModel())
{
    m_updateTimer.setInterval(InitialTickMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &LibraryForm::slotTimer);
    m_updateTimer.start();

    m_ui->setupUi(this);
    m_ui->filterLineEdit->completer()->setModel(m_completionModel.get());

    m_newIcon = QIcon(ResourcePaths::FixtureNewIcon);
    m_deleteIcon = QIcon(ResourcePaths::FixtureDeleteIcon);
    m_selectAllIcon = QIcon(ResourcePaths::AllSelectedIcon);
    m_clearSelectionIcon = QIcon(ResourcePaths::NothingSelectedIcon);
    m_uploadIcon = QIcon(ResourcePaths::UploadIcon);
    m_cloneIcon = QIcon(ResourcePaths::CloneIcon);

    m_proxyModel = new TwoColumnsSortFilterProxyModel(this);
    m_proxyModel->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxyModel->setDynamicSortFilter(true);
    m_proxyModel->setSourceModel(m_listModel.get());

    setUpTable();
    setUpKeyboard();

    updateFilter();
    updateCompleter();
    updateCurrentFixtureDefinition();
    m_locked = false;

    connect(this, &LibraryForm::signalUpdateCounters, m_ui->fixturesCounter, &FixturesCounterForm::updateCounts);
    QTableView* table = m_ui->fixtureDefinitionsTableView;
    connect(table->selectionModel(),
            &QItemSelectionModel::currentChanged,
            this,
            &LibraryForm::currentFixtureDefinitionChanged);
    connect(m_listModel.get(), &QAbstractItemModel::dataChanged, this, &LibraryForm::requestCompleterUpdate);
    connect(m_ui->fixtureDefinitionForm,
            &LocalFixtureDefinitionEditForm::contentEdited,
            this,
            &LibraryForm::slotArchiveModified);
    // An edit of a short name or a channel shows in no cell of the row but its fit.
    connect(m_ui->fixtureDefinitionForm, &LocalFixtureDefinitionEditForm::contentEdited, this, [this] {
        if (const QKVFixtureDefinition* edited = m_ui->fixtureDefinitionForm->fixtureDefinition()) {
            m_listModel->fitChanged(edited->listIndex().row());
        }
    });
    setUpFitColumn();

    m_undoStack = new QUndoStack(this);
    new RowDropTarget(table, RemoteFixtureDefinitionListModel::RowsMimeType, [this] { Q_EMIT deviceRowsDropped(); });
    connect(m_ui->fixtureDefinitionForm,
            &LocalFixtureDefinitionEditForm::fieldEdited,
            this,
            &LibraryForm::definitionEdited);
    connect(qApp, &QApplication::focusChanged, this, [this] { ++m_typingRun; });
}

void LibraryForm::setUpTable()
{
    // Any change of the filter text, typed or set, and any row the user reaches.
    QLineEdit* filter = m_ui->filterLineEdit;
    connect(filter, &QLineEdit::textChanged, this, &LibraryForm::requestFilterUpdate);
    connect(filter, &QLineEdit::textEdited, this, &LibraryForm::requestFilterUpdate);
    connect(filter, &QLineEdit::editingFinished, this, &LibraryForm::requestFilterUpdate);
    QTableView* table = m_ui->fixtureDefinitionsTableView;
    connect(table, &QAbstractItemView::clicked, this, &LibraryForm::currentFixtureDefinitionChanged);
    connect(table, &QAbstractItemView::activated, this, &LibraryForm::currentFixtureDefinitionChanged);
    connect(table, &QAbstractItemView::entered, this, &LibraryForm::currentFixtureDefinitionChanged);
    connect(table, &QAbstractItemView::viewportEntered, this, &LibraryForm::currentFixtureDefinitionChanged);
    table->setModel(m_proxyModel);
    table->setSortingEnabled(true);
    table->sortByColumn(LocalFixtureDefinitionListModel::NameColumn, Qt::AscendingOrder);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    sizeFixtureTableColumns(
        table, LocalFixtureDefinitionListModel::NameColumn, LocalFixtureDefinitionListModel::FitColumn);
    connect(table, &QWidget::customContextMenuRequested, this, &LibraryForm::showContextMenu);
    connect(m_ui->duplicateFixtureDefinition, &QPushButton::clicked, this, &LibraryForm::duplicateFixtures_clicked);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &LibraryForm::requestCounterUpdate);
    connect(
        table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &LibraryForm::updateSelectionButtons);
    updateSelectionButtons();
    // A rename re-sorts the table: the row being edited stays in sight at its new place.
    connect(m_proxyModel, &QAbstractItemModel::layoutChanged, table, [table] {
        if (table->currentIndex().isValid()) {
            table->scrollTo(table->currentIndex());
        }
    });
}

void LibraryForm::setUpKeyboard()
{
    QTableView* table = m_ui->fixtureDefinitionsTableView;
    // The panel's buttons take no focus, so Tab runs filter, table, editor; the keys
    // below reach what the buttons do.
    m_ui->fixtureDefinitionForm->setTabOrderAfter(table);
    // Delete only in the table: in a text field it deletes characters.
    auto* remove = new QShortcut(QKeySequence::Delete, table);
    remove->setContext(Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, &LibraryForm::deleteSelected);
    auto* add = new QShortcut(QKeySequence(Qt::Key_Insert), this);
    connect(add, &QShortcut::activated, this, &LibraryForm::on_addFixtureDefinition_clicked);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_ui->filterLineEdit->setFocus(Qt::ShortcutFocusReason);
        m_ui->filterLineEdit->selectAll();
    });
}

void LibraryForm::setUpFitColumn()
{
    QHeaderView* header = m_ui->fixtureDefinitionsTableView->horizontalHeader();
    header->moveSection(header->visualIndex(LocalFixtureDefinitionListModel::FitColumn), 0);
    const auto addToggle = [this](const QString& text, const QString& toolTip) {
        auto* button = new QPushButton(text, this);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(toolTip);
        // Before the spacer that closes the row.
        m_ui->filterColumnsLayout->insertWidget(m_ui->filterColumnsLayout->count() - 1, button);
        return button;
    };
    m_findingsButton = addToggle(tr("Findin&gs"), tr("Show only the definitions the devices would refuse or change"));
    m_notOnDeviceButton
        = addToggle(tr("Not on De&vice"), tr("Show only the definitions the selected device does not hold"));
    connect(m_findingsButton, &QPushButton::toggled, this, [this](bool on) {
        m_proxyModel->setOnlyWithFindings(on);
        requestCounterUpdate();
    });
    connect(m_notOnDeviceButton, &QPushButton::toggled, this, [this](bool on) {
        m_proxyModel->setOnlyNotOnDevice(on);
        requestCounterUpdate();
    });
}

LibraryForm::~LibraryForm()
{
    // The application outlives the panel: its focus changes must stop reaching it first.
    disconnect(qApp, nullptr, this, nullptr);
    // Views and the editor let go of the models before the models go.
    m_ui->fixtureDefinitionForm->setFixtureDefinition(nullptr);
    m_ui->fixtureDefinitionsTableView->setModel(nullptr);
    m_ui->filterLineEdit->completer()->setModel(nullptr);
    m_proxyModel->setSourceModel(nullptr);
}

QTableView* LibraryForm::tableView() const
{
    return m_ui->fixtureDefinitionsTableView;
}

LocalFixtureDefinitionEditForm* LibraryForm::editForm() const
{
    return m_ui->fixtureDefinitionForm;
}

// Deferred update requests. Each only raises a flag; the timer serves it.

void LibraryForm::on_manufacturerBttn_clicked()
{
    requestFilterUpdate();
    requestCompleterUpdate();
}

void LibraryForm::on_fixtureNameBttn_clicked()
{
    requestFilterUpdate();
    requestCompleterUpdate();
}

void LibraryForm::requestFilterUpdate()
{
    m_filterRequested = true;
}

void LibraryForm::requestCompleterUpdate()
{
    m_completerRequested = true;
}

void LibraryForm::requestCounterUpdate()
{
    m_counterRequested = true;
}

void LibraryForm::slotTimer()
{
    const int previousInterval = m_updateTimer.interval();
    m_updateTimer.stop();
    const bool measured = s_tickCounter % TicksPerMeasurement == 0;
    if (measured) {
        m_stopwatch.start();
    }
    if (m_filterRequested) {
        // The completer request survives: a toggle or a new library asks for both, and
        // the completion list must follow on a later tick.
        m_filterRequested = false;
        m_counterRequested = false;
        updateFilter();
    } else if (m_completerRequested) {
        m_completerRequested = false;
        updateCompleter();
    } else if (m_counterRequested) {
        m_counterRequested = false;
        updateCounter();
    }
    if (measured) {
        const qint64 cost = m_stopwatch.elapsed();
        m_updateTimer.start(static_cast<int>(std::max<qint64>(TickCostFactor * cost, MinimumTickMs)));
    } else {
        m_updateTimer.start(previousInterval);
    }
    ++s_tickCounter;
}

void LibraryForm::updateFilter()
{
    m_proxyModel->setFilterFixtureName(m_ui->fixtureNameBttn->isChecked());
    m_proxyModel->setFilterManufacturer(m_ui->manufacturerBttn->isChecked());
    m_proxyModel->setFilterFixedString(m_ui->filterLineEdit->text());
    // A filter that hid the current row leaves none; the first shown row takes over.
    // One that hid the selection leaves the current row unselected: it is selected
    // again, and kept in sight, so the table shows what the editor edits.
    QTableView* table = m_ui->fixtureDefinitionsTableView;
    const QModelIndex current = table->currentIndex();
    if (!current.isValid()) {
        makeProxyRowCurrent(0);
    } else {
        if (!table->selectionModel()->hasSelection()) {
            table->selectionModel()->select(current, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        table->scrollTo(current);
    }
    updateCurrentFixtureDefinition();
    requestCounterUpdate();
}

void LibraryForm::updateCompleter()
{
    const bool names = m_ui->fixtureNameBttn->isChecked();
    const bool manufacturers = m_ui->manufacturerBttn->isChecked();
    QSet<QString> words;
    if (names || manufacturers) {
        const QList<QKVFixtureDefinition*> definitions = m_listModel->definitions();
        words.reserve(definitions.size() * 2);
        for (const QKVFixtureDefinition* definition : definitions) {
            if (names && !definition->name().isEmpty()) {
                words.insert(definition->name());
            }
            if (manufacturers && !definition->manufacturer().isEmpty()) {
                words.insert(definition->manufacturer());
            }
        }
    }
    QStringList list(words.cbegin(), words.cend());
    list.sort(Qt::CaseSensitive);
    m_completionModel->setStringList(list);
}

void LibraryForm::updateCounter()
{
    const int selected = static_cast<int>(m_ui->fixtureDefinitionsTableView->selectionModel()->selectedRows().size());
    Q_EMIT signalUpdateCounters(m_proxyModel->acceptedRowCount(), m_listModel->rowCount(), selected);
}

// Following the current row.

void LibraryForm::currentFixtureDefinitionChanged()
{
    // A name typed into the editor can make the filter hide its own row; the editor then
    // keeps the definition under the user's fingers until the filter is next applied.
    const QWidget* focus = QApplication::focusWidget();
    const bool typingInEditor = focus && m_ui->fixtureDefinitionForm->isAncestorOf(focus);
    if (!typingInEditor) {
        updateCurrentFixtureDefinition();
    }
}

void LibraryForm::updateCurrentFixtureDefinition()
{
    const QModelIndex current = m_ui->fixtureDefinitionsTableView->selectionModel()->currentIndex();
    QKVFixtureDefinition* definition = nullptr;
    if (current.isValid()) {
        definition = m_listModel->definitionAt(m_proxyModel->mapToSource(current.siblingAtColumn(0)).row());
    }
    if (definition != m_ui->fixtureDefinitionForm->fixtureDefinition()) {
        m_ui->fixtureDefinitionForm->setFixtureDefinition(definition);
        takeEditBase();
    }
}

// Adding, duplicating, removing.

bool LibraryForm::makeSourceRowCurrent(int sourceRow)
{
    return makeProxyRowCurrent(m_proxyModel->mapFromSource(m_listModel->index(sourceRow, 0)).row());
}

bool LibraryForm::makeProxyRowCurrent(int proxyRow)
{
    const QModelIndex index = m_proxyModel->index(proxyRow, 0);
    if (!index.isValid()) {
        return false;
    }
    QTableView* table = m_ui->fixtureDefinitionsTableView;
    table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table->scrollTo(index);
    return true;
}

void LibraryForm::addFixtureDefinition(QKVFixtureDefinition* definition)
{
    if (!definition) {
        return;
    }
    m_undoStack->push(new LibraryUndo::AddCommand(this, LibraryUndo::copiesOf({definition}), tr("Add Definition")));
}

void LibraryForm::on_addFixtureDefinition_clicked()
{
    QKVFixtureDefinition definition;
    definition.setName(tr("New Fixture"));
    addFixtureDefinition(&definition);
    // The user wants to name it now: a filter that hides it goes.
    if (m_ui->fixtureDefinitionForm->fixtureDefinition() != m_listModel->definitionAt(m_listModel->rowCount() - 1)) {
        m_ui->filterLineEdit->clearAndEmitTextChangedEvent();
        updateFilter();
        makeSourceRowCurrent(m_listModel->rowCount() - 1);
        updateCurrentFixtureDefinition();
    }
    m_ui->fixtureDefinitionForm->editName();
}

void LibraryForm::duplicateFixtures_clicked()
{
    const QList<QKVFixtureDefinition*> selected = selectedFixtureDefinitions();
    if (selected.isEmpty()) {
        return;
    }
    LibraryUndo::Copies copies = LibraryUndo::copiesOf(selected);
    for (const auto& copy : copies) {
        copy->setName(tr("%1 (copy)").arg(copy->name()));
        copy->applyAutoShortNames();
    }
    // The copies become the selection, the last of them current, ready to be edited.
    m_undoStack->push(new LibraryUndo::AddCommand(this, std::move(copies), tr("Duplicate")));
}

void LibraryForm::addDefinitions(const QList<QKVFixtureDefinition*>& additions,
                                 const QList<std::pair<QKVFixtureDefinition*, QKVFixtureDefinition*>>& replacements,
                                 const QString& text)
{
    auto step = std::make_unique<QUndoCommand>(text.isEmpty() ? tr("Add Definitions") : text);
    for (const auto& [target, content] : replacements) {
        // Each definition knows its row; no search through the library per replacement.
        const int row = target->listModel() == m_listModel.get() ? target->listIndex().row() : -1;
        if (row >= 0) {
            new LibraryUndo::ChangeCommand(this,
                                           row,
                                           LibraryUndo::copyOf(*target),
                                           LibraryUndo::copyOf(*content),
                                           step->text(),
                                           false,
                                           step.get());
        }
    }
    if (!additions.isEmpty()) {
        new LibraryUndo::AddCommand(this, LibraryUndo::copiesOf(additions), step->text(), step.get());
    }
    if (step->childCount() > 0) {
        m_undoStack->push(step.release());
    }
}

int LibraryForm::appendRows(const QList<QKVFixtureDefinition*>& definitions)
{
    const int first = m_listModel->appendCopies(definitions);
    QList<int> rows;
    for (int row = first; row < m_listModel->rowCount(); ++row) {
        rows << row;
    }
    showStep(rows);
    return first;
}

void LibraryForm::insertRowsAt(const QList<int>& rows, const QList<QKVFixtureDefinition*>& definitions)
{
    for (qsizetype i = 0; i < rows.size(); ++i) {
        m_listModel->insertRows(rows.at(i), 1);
        m_listModel->setData(m_listModel->index(rows.at(i), 0),
                             LocalFixtureDefinitionListModel::definitionVariant(definitions.at(i)),
                             LocalFixtureDefinitionListModel::DefinitionRole);
    }
    showStep(rows);
}

void LibraryForm::setRowContent(int row, QKVFixtureDefinition* content, const QString& field)
{
    m_listModel->setData(m_listModel->index(row, 0),
                         LocalFixtureDefinitionListModel::definitionVariant(content),
                         LocalFixtureDefinitionListModel::DefinitionRole);
    // The editor's channel list held the replaced channels: it shows the row anew.
    if (m_ui->fixtureDefinitionForm->fixtureDefinition() == m_listModel->definitionAt(row)) {
        m_ui->fixtureDefinitionForm->setFixtureDefinition(nullptr);
    }
    showStep({row});
    m_ui->fixtureDefinitionForm->showField(field);
}

void LibraryForm::showStep(const QList<int>& sourceRows)
{
    if (!sourceRows.isEmpty()) {
        m_ui->fixtureDefinitionsTableView->selectionModel()->clearSelection();
        selectChangedRows(sourceRows);
    }
    takeEditBase();
}

void LibraryForm::takeEditBase()
{
    const QKVFixtureDefinition* shown = m_ui->fixtureDefinitionForm->fixtureDefinition();
    m_editBase = shown ? LibraryUndo::copyOf(*shown) : nullptr;
}

void LibraryForm::definitionEdited(const QString& field, bool typed)
{
    QKVFixtureDefinition* edited = m_ui->fixtureDefinitionForm->fixtureDefinition();
    if (!edited || !m_editBase) {
        return;
    }
    const int row = edited->listIndex().row();
    auto step = std::make_unique<LibraryUndo::ChangeCommand>(
        this, row, std::move(m_editBase), LibraryUndo::copyOf(*edited), LibraryUndo::editText(field), true);
    if (typed) {
        step->allowMerging(field, m_typingRun);
    }
    m_undoStack->push(step.release());
    takeEditBase();
}

void LibraryForm::selectChangedRows(const QList<int>& sourceRows)
{
    QItemSelection shown;
    for (int row : sourceRows) {
        const QModelIndex index = m_proxyModel->mapFromSource(m_listModel->index(row, 0));
        shown.select(index, index);
    }
    QItemSelectionModel* selection = m_ui->fixtureDefinitionsTableView->selectionModel();
    makeSourceRowCurrent(sourceRows.last());
    selection->select(shown, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    updateCurrentFixtureDefinition();
    requestFilterUpdate();
    requestCompleterUpdate();
    requestCounterUpdate();
    Q_EMIT archiveModified();
}

void LibraryForm::on_removeFixtureDefinition_clicked()
{
    deleteSelected();
}

void LibraryForm::deleteSelected()
{
    removeSelected(QString());
}

void LibraryForm::removeSelected(const QString& text)
{
    // A running upload reads the library's definitions; none may go while it runs.
    if (m_locked) {
        return;
    }
    QList<int> rows = selectedSourceRows();
    if (rows.isEmpty()) {
        return;
    }
    std::sort(rows.begin(), rows.end());
    QList<QKVFixtureDefinition*> removed;
    for (int row : std::as_const(rows)) {
        removed << m_listModel->definitionAt(row);
    }
    m_undoStack->push(new LibraryUndo::RemoveCommand(this,
                                                     rows,
                                                     LibraryUndo::copiesOf(removed),
                                                     !text.isEmpty()        ? text
                                                         : rows.size() == 1 ? tr("Remove Definition")
                                                                            : tr("Remove Definitions")));
}

void LibraryForm::copySelection()
{
    const QList<QKVFixtureDefinition*> selected = selectedFixtureDefinitions();
    if (!selected.isEmpty()) {
        QApplication::clipboard()->setMimeData(DefinitionMime::encode(selected));
    }
}

void LibraryForm::cutSelection()
{
    if (m_locked || selectedSourceRows().isEmpty()) {
        return;
    }
    copySelection();
    removeSelected(tr("Cut"));
}

bool LibraryForm::paste(const QMimeData* data)
{
    const std::vector<std::unique_ptr<QKVFixtureDefinition>> pasted
        = DefinitionMime::decode(data ? data : QApplication::clipboard()->mimeData());
    QList<QKVFixtureDefinition*> definitions;
    for (const auto& definition : pasted) {
        definitions << definition.get();
    }
    if (definitions.isEmpty()) {
        return false;
    }
    addDefinitions(definitions, {}, tr("Paste"));
    return true;
}

void LibraryForm::removeRowsOf(QList<int> rows)
{
    for (int row : std::as_const(rows)) {
        m_ui->fixtureDefinitionForm->fixtureDefinitionToBeRemoved(m_listModel->index(row, 0));
    }
    // From the bottom up, a run of neighbouring rows at a time, so the rows still to go
    // keep their numbers and a large selection goes in few steps.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i + 1;
        while (j < rows.size() && rows.at(j) == rows.at(j - 1) - 1) {
            ++j;
        }
        m_listModel->removeRows(rows.at(j - 1), static_cast<int>(j - i));
        i = j;
    }
    // The selection model moved the current row to a neighbour of the removed ones.
    updateCurrentFixtureDefinition();
    requestFilterUpdate();
    requestCompleterUpdate();
    requestCounterUpdate();
    takeEditBase();
    Q_EMIT archiveModified();
}

QList<int> LibraryForm::selectedSourceRows() const
{
    QList<int> rows;
    const QModelIndexList selected = m_ui->fixtureDefinitionsTableView->selectionModel()->selectedRows(0);
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected) {
        rows.append(m_proxyModel->mapToSource(index).row());
    }
    return rows;
}

QList<QKVFixtureDefinition*> LibraryForm::selectedFixtureDefinitions() const
{
    QList<QKVFixtureDefinition*> definitions;
    for (int row : selectedSourceRows()) {
        if (QKVFixtureDefinition* definition = m_listModel->definitionAt(row)) {
            definitions.append(definition);
        }
    }
    return definitions;
}

void LibraryForm::selectAll()
{
    m_ui->fixtureDefinitionsTableView->selectAll();
}

void LibraryForm::clearSelection()
{
    m_ui->fixtureDefinitionsTableView->clearSelection();
}

void LibraryForm::copySelectedToDevice()
{
    Q_EMIT copyToDeviceRequested();
}

void LibraryForm::slotArchiveModified()
{
    Q_EMIT archiveModified();
}

void LibraryForm::setLocked(bool locked)
{
    m_locked = locked;
    updateSelectionButtons();
}

void LibraryForm::updateSelectionButtons()
{
    const bool selected = m_ui->fixtureDefinitionsTableView->selectionModel()->hasSelection();
    m_ui->removeFixtureDefinition->setEnabled(!m_locked && selected);
    m_ui->duplicateFixtureDefinition->setEnabled(selected);
}

void LibraryForm::setTabOrderAfter(QWidget* previous)
{
    QWidget::setTabOrder(previous, m_ui->filterLineEdit);
    QWidget::setTabOrder(m_ui->filterLineEdit, m_ui->fixtureDefinitionsTableView);
    m_ui->fixtureDefinitionForm->setTabOrderAfter(m_ui->fixtureDefinitionsTableView);
}

std::unique_ptr<QMenu> LibraryForm::buildContextMenu()
{
    const bool anySelected = !selectedSourceRows().isEmpty();
    auto menu = std::make_unique<QMenu>();
    menu->addAction(m_selectAllIcon, tr("Select all"), this, &LibraryForm::selectAll);
    if (anySelected) {
        menu->addAction(m_clearSelectionIcon, tr("Clear selection"), this, &LibraryForm::clearSelection);
    }
    menu->addSeparator();
    if (anySelected) {
        QAction* copy
            = menu->addAction(m_uploadIcon, tr("Copy selected to device"), this, &LibraryForm::copySelectedToDevice);
        copy->setEnabled(!m_locked);
    }
    menu->addAction(m_newIcon, tr("Add new fixture definition"), this, &LibraryForm::on_addFixtureDefinition_clicked);
    if (anySelected) {
        menu->addAction(
            m_cloneIcon, tr("Duplicate selected fixture definitions"), this, &LibraryForm::duplicateFixtures_clicked);
        QAction* remove = menu->addAction(
            m_deleteIcon, tr("Delete selected fixture definitions"), this, &LibraryForm::deleteSelected);
        remove->setEnabled(!m_locked);
    }
    return menu;
}

void LibraryForm::showContextMenu(const QPoint& pos)
{
    std::unique_ptr<QMenu> menu = buildContextMenu();
    menu->exec(m_ui->fixtureDefinitionsTableView->viewport()->mapToGlobal(pos));
}

// The library.

void LibraryForm::installModel(std::unique_ptr<LocalFixtureDefinitionListModel> model)
{
    m_ui->fixtureDefinitionForm->setFixtureDefinition(nullptr);
    m_proxyModel->setSourceModel(model.get());
    m_listModel = std::move(model);
    requestFilterUpdate();
    requestCompleterUpdate();
    updateCurrentFixtureDefinition();
    connect(m_listModel.get(), &QAbstractItemModel::dataChanged, this, &LibraryForm::requestCompleterUpdate);
    m_listModel->setDeviceHoldings(m_deviceHoldings);
    updateCounter();
}

void LibraryForm::setDeviceHoldings(const QSet<QString>& keys)
{
    m_deviceHoldings = keys;
    m_listModel->setDeviceHoldings(keys);
    requestFilterUpdate();
}

QSet<QString> LibraryForm::holdingKeys() const
{
    QSet<QString> keys;
    for (const QKVFixtureDefinition* definition : m_listModel->definitions()) {
        keys.insert(LocalFixtureDefinitionListModel::holdingKey(
            definition->manufacturer(), definition->name(), definition->channelCount()));
    }
    return keys;
}

void LibraryForm::clearArchive()
{
    installModel(std::make_unique<LocalFixtureDefinitionListModel>());
    m_archive = nullptr;
    m_undoStack->clear();
}

bool LibraryForm::setArchive(KVFLArchive* archive)
{
    const int interval = m_updateTimer.interval();
    m_updateTimer.stop();
    installModel(std::make_unique<LocalFixtureDefinitionListModel>());
    m_undoStack->clear();
    if (archive && !archive->definitions().isEmpty()) {
        // The panel takes the loaded definitions over: the library is held once, not twice.
        m_listModel->appendTaken(archive->takeDefinitions());
        // A library opens at the top of its sorted list, not where its file ended.
        makeProxyRowCurrent(0);
        updateCurrentFixtureDefinition();
        requestFilterUpdate();
        requestCompleterUpdate();
        requestCounterUpdate();
        Q_EMIT archiveModified();
    }
    m_updateTimer.start(interval);
    m_archive = archive;
    return true;
}

bool LibraryForm::importArchive(KVFLArchive* archive)
{
    if (!archive) {
        return false;
    }
    if (!archive->definitions().isEmpty()) {
        m_undoStack->push(
            new LibraryUndo::AddCommand(this, LibraryUndo::copiesOf(archive->definitions()), tr("Import Library")));
    }
    return true;
}

bool LibraryForm::saveArchive()
{
    if (!m_archive) {
        return false;
    }
    m_archive->setDefinitionsToSave(m_listModel->definitions());
    if (!m_archive->save()) {
        return false;
    }
    m_undoStack->setClean();
    return true;
}
