#pragma once

#include "QxfFixture.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QList>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <memory>

class BusyIndicatorOverlay;
class FixtureCatalogue;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTreeView;
class QTreeWidget;
class UserPrompts;

/// The fixture catalogue: every QLC+ fixture file in QLC+'s folders and the user's,
/// searchable, as a tree of manufacturers, fixtures and modes, with a preview of the
/// selected mode's channels as the device will show them. The folders are read off the
/// GUI thread when the dialog opens; the user picks modes and adds them to the library.
class FixtureCatalogueDialog : public QDialog
{
    Q_OBJECT

public:
    /// Tree columns.
    enum Column { NameColumn, ChannelsColumn, TypeColumn, ColumnCount };
    /// Search typing waits this long for the next key before the tree is filtered.
    static constexpr int SearchDelayMs = 150;

    /// Reads `standardFolders` and the `userFolders` the user added before.
    FixtureCatalogueDialog(const QStringList& standardFolders,
                           const QStringList& userFolders,
                           std::shared_ptr<UserPrompts> prompts,
                           QWidget* parent = nullptr);
    ~FixtureCatalogueDialog() override;

    /// The folders the user added, kept for the next time.
    QStringList userFolders() const { return m_userFolders; }
    /// The selected modes the device can take, in the tree's order. A selected fixture
    /// stands for all its modes.
    QList<QxfMode> chosenModes() const;
    bool isIndexing() const { return m_watcher.isRunning(); }

    QLineEdit* searchField() const { return m_search; }
    QTreeView* tree() const { return m_tree; }
    QTreeWidget* preview() const { return m_preview; }
    QLabel* statusLabel() const { return m_status; }
    QStandardItemModel* model() const { return m_model; }

Q_SIGNALS:
    /// The folders have been read and the tree filled.
    void indexed();

private:
    /// The tree of manufacturers, fixtures and modes, and the preview of the current mode.
    void setUpViews();
    void startIndexing();
    void indexFinished();
    void fillTree();
    void showPreview();
    void addFolder();
    void updateAddButton();

    std::shared_ptr<UserPrompts> m_prompts;
    QStringList m_standardFolders;
    QStringList m_userFolders;
    std::shared_ptr<FixtureCatalogue> m_catalogue;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QFutureWatcher<std::shared_ptr<FixtureCatalogue>> m_watcher;
    QTimer m_searchTimer;

    QLineEdit* m_search;
    QTreeView* m_tree;
    QStandardItemModel* m_model;
    QLabel* m_previewTitle;
    QTreeWidget* m_preview;
    QLabel* m_status;
    QDialogButtonBox* m_buttons;
    QPushButton* m_addButton;
    BusyIndicatorOverlay* m_busy;
};
