// The main window's editing habits: undo and redo, the clipboard, drags between the two
// tables, library files dropped on the window, and the recent libraries.

#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AppSettings.h"
#include "DeviceForm.h"
#include "KVFLArchive.h"
#include "LibraryForm.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QUndoStack>

namespace {
/// Entries of File > Open Recent.
constexpr int RecentCount = 8;
} // namespace

void MainWindow::setUpEditing()
{
    QUndoStack* stack = m_ui->libraryForm->undoStack();
    m_undoAction = new QAction(tr("&Undo"), this);
    m_undoAction->setShortcut(QKeySequence::Undo);
    m_redoAction = new QAction(tr("&Redo"), this);
    m_redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(m_undoAction, &QAction::triggered, stack, &QUndoStack::undo);
    connect(m_redoAction, &QAction::triggered, stack, &QUndoStack::redo);
    connect(stack, &QUndoStack::indexChanged, this, &MainWindow::updateUndoActions);
    connect(stack, &QUndoStack::cleanChanged, this, [this](bool clean) { setWindowModified(!clean); });

    auto* cut = new QAction(tr("Cu&t"), this);
    cut->setShortcut(QKeySequence::Cut);
    auto* copy = new QAction(tr("&Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    auto* paste = new QAction(tr("&Paste"), this);
    paste->setShortcut(QKeySequence::Paste);
    connect(cut, &QAction::triggered, m_ui->libraryForm, &LibraryForm::cutSelection);
    connect(copy, &QAction::triggered, m_ui->libraryForm, &LibraryForm::copySelection);
    connect(paste, &QAction::triggered, this, [this] {
        if (!m_ui->libraryForm->paste()) {
            statusBar()->showMessage(tr("The clipboard holds no fixture definitions."), ConfirmationMs);
        }
    });
    QAction* first = m_ui->menuEdit->actions().value(0);
    m_ui->menuEdit->insertActions(first, {m_undoAction, m_redoAction});
    m_ui->menuEdit->insertSeparator(first);
    m_ui->menuEdit->insertActions(first, {cut, copy, paste});
    m_ui->menuEdit->insertSeparator(first);
    updateUndoActions();

    m_recentMenu = new QMenu(tr("Open &Recent"), this);
    m_ui->menuFile->insertMenu(m_ui->actionSave_Archive, m_recentMenu);
    connect(m_recentMenu, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    fillRecentMenu();

    connect(m_ui->remoteForm, &DeviceForm::libraryRowsDropped, this, &MainWindow::uploadCurrentSelection);
    connect(m_ui->libraryForm, &LibraryForm::deviceRowsDropped, this, &MainWindow::downloadCurrentSelection);
}

void MainWindow::updateUndoActions()
{
    const QUndoStack* stack = m_ui->libraryForm->undoStack();
    // A device operation reads the library's definitions; none change under it.
    const bool locked = m_ui->libraryForm->isLocked();
    m_undoAction->setEnabled(stack->canUndo() && !locked);
    m_redoAction->setEnabled(stack->canRedo() && !locked);
    m_undoAction->setText(stack->canUndo() ? tr("&Undo %1").arg(stack->undoText()) : tr("&Undo"));
    m_redoAction->setText(stack->canRedo() ? tr("&Redo %1").arg(stack->redoText()) : tr("&Redo"));
}

void MainWindow::rememberRecent(const QString& fileName)
{
    QStringList recent = m_settings->value(AppSettings::RecentLibrariesKey).toStringList();
    recent.removeAll(fileName);
    recent.prepend(fileName);
    m_settings->setValue(AppSettings::RecentLibrariesKey, recent.mid(0, RecentCount));
}

void MainWindow::fillRecentMenu()
{
    m_recentMenu->clear();
    const QStringList recent = m_settings->value(AppSettings::RecentLibrariesKey).toStringList();
    for (const QString& fileName : recent) {
        QAction* entry = m_recentMenu->addAction(QFileInfo(fileName).fileName());
        entry->setToolTip(fileName);
        entry->setStatusTip(fileName);
        connect(entry, &QAction::triggered, this, [this, fileName] { openRecent(fileName); });
    }
    m_recentMenu->setToolTipsVisible(true);
    m_recentMenu->addSeparator();
    QAction* clear = m_recentMenu->addAction(tr("Clear Menu"));
    clear->setEnabled(!recent.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        m_settings->remove(AppSettings::RecentLibrariesKey);
        fillRecentMenu();
    });
}

void MainWindow::openRecent(const QString& fileName)
{
    if (!QFileInfo::exists(fileName)) {
        QStringList recent = m_settings->value(AppSettings::RecentLibrariesKey).toStringList();
        recent.removeAll(fileName);
        m_settings->setValue(AppSettings::RecentLibrariesKey, recent);
        fillRecentMenu();
        showInformation(tr("The library %1 is no longer there.").arg(fileName),
                        tr("It was removed from the list of recent libraries."));
        return;
    }
    if (m_archive && isWindowModified() && !askSaveModified()) {
        return;
    }
    loadLibraryFile(fileName);
}

void MainWindow::dropLibraryFiles(const QStringList& files, bool open)
{
    if (open) {
        if (m_archive && isWindowModified() && !askSaveModified()) {
            return;
        }
        loadLibraryFile(files.first());
        return;
    }
    if (!m_archive) {
        newLibrary();
    }
    for (const QString& fileName : files) {
        KVFLArchive imported(fileName);
        if (!imported.load()) {
            showInformation(tr("Failed to open the library."), imported.errorString());
            continue;
        }
        m_ui->libraryForm->importArchive(&imported);
    }
}
