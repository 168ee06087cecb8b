#pragma once

#include "KVPWorkerRequestI.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "QxfFixture.h"
#include "UserPrompts.h"
#include "WorkerListener.h"

#include <QAction>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class KVFLArchive;
class QMenu;
class QMovie;
class QPrinter;
class QSettings;

namespace korvane::KVP {
class KVPWorkerThread;
}

namespace Ui {
class MainWindow;
}

/// The editor's one window. It owns the open library (a `KVFLArchive` shown in the
/// library panel), the device panel, the settings store and the worker thread that
/// carries all device traffic, and it runs every device operation as a request on that
/// thread, one at a time.
///
/// Every question, message box, file chooser and modal dialog goes through `prompts()`.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int InitialWidth = 1200;
    /// The device side's first width: its table's names whole at 800 pixels.
    static constexpr int DeviceSideWidth = 392;
    static constexpr int InitialHeight = 690;
    /// A library above this size asks before it is opened (a library of thousands of
    /// definitions takes a while and usually is a mistake).
    static constexpr qint64 LargeFileBytes = 5 * 1024 * 1024;
    /// The oldest QRD-540B firmware that still needs the update.
    static constexpr uint16_t OutdatedQrd540bFirmware = 0x0102;

    /// No start library. `prompts` answers the window's questions; null: the real dialogs.
    explicit MainWindow(QWidget* parent = nullptr, std::shared_ptr<UserPrompts> prompts = {});
    /// `startFileName` names the library to open at start; empty for none.
    explicit MainWindow(const QString& startFileName, std::shared_ptr<UserPrompts> prompts = {});
    ~MainWindow() override;

    QString startFileName() const { return m_startFileName; }
    QString currentFileName() const { return m_currentFileName; }
    QSettings* settings() const { return m_settings.get(); }
    UserPrompts& prompts() const { return *m_prompts; }
    KVFLArchive* archive() const { return m_archive.get(); }
    korvane::KVP::KVPWorkerThread* workerThread() const { return m_worker.get(); }
    /// The request in flight, or null when the window is idle.
    korvane::KVP::KVPWorkerRequestI* currentRequest() const { return m_currentRequest.get(); }
    bool isClosing() const { return m_closing; }
    bool isAborting() const { return m_aborting; }
    QAction* uploadAction() const { return m_uploadAction; }
    QAction* downloadAction() const { return m_downloadAction; }

public Q_SLOTS:
    // The library as a document.
    void on_actionNew_Archive_triggered();
    void on_action_Open_Archive_triggered();
    void on_actionSave_Archive_triggered();
    void on_actionSave_archive_as_triggered();
    void on_actionImport_Library_triggered();
    void on_actionQuit_triggered();
    void on_actionAbout_triggered();
    void updateWindowTitle(const QString& fileName);
    void windowModified();
    void windowUnModified();
    void workerThreadFinished();

    // Devices.
    void on_actionDiscoverDevices_triggered();
    void discoverDevices();
    void devicesDiscovered();
    void updateActiveDevice();
    void deviceSelected(uint16_t fwVersion, uint16_t hwVersion);
    void onDisconnected();
    void on_actionUpdate_firmware_triggered();
    void on_labelFirmwareUpdateInfo_linkActivated(const QString& link);
    void setLockUi(bool locked);
    void setLockUi();
    void startOperation();
    void stopOperation();
    void updateRemoteFixtureList();
    void fixtureListDownloaded(void* data, int length);
    void fixtureListDownloadFailed(korvane::KVP::KVPWorkerRequestI::failReason reason);
    void uploadCurrentSelection();
    void fixturesUploaded();
    void fixtureUploadFailed(korvane::KVP::KVPWorkerRequestI::failReason reason);
    void fixtureUploadFailedNotEnoughMemory();
    void fixtureUploadFailedTooManyOrNotEnoughChannels();
    void fixtureUploadNeedsPatchListCleared();
    void patchListClearerOKContUpload();
    void patchListClearerFailed(korvane::KVP::KVPWorkerRequestI::failReason reason);
    void downloadCurrentSelection();
    void fixturesDownloaded();
    void fixtureDownloadFailed(korvane::KVP::KVPWorkerRequestI::failReason reason);
    void deleteCurrentlySelectedFixturesOnDevice();
    void fixturesDeleted();
    void fixtureDeletionFailed(korvane::KVP::KVPWorkerRequestI::failReason reason);
    void progressCurrentItem(uint percents);
    void progressTotal(uint percents);
    void abortButtonClicked();

    /// Opens the fixture catalogue and adds the modes the user picks.
    void addFromCatalogue();
    /// Reads QLC+ fixture files and adds their modes, then says what was added and what not.
    void importFixtureFiles(const QStringList& files);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    /// How long the status bar shows a confirmation: long enough to read, short enough not
    /// to stand for the next one.
    static constexpr int ConfirmationMs = 5000;
    /// `one` for a single definition, `many` with the count for any other number. Written
    /// out rather than with %n, which shows "definition(s)" while no translation is loaded.
    static QString countText(qsizetype count, const QString& one, const QString& many);

    void setUp();
    /// Tab order across the panels; the tables leave Tab to it.
    void setUpKeyboard();
    void setUpCatalogue();
    void setUpEditing();
    /// Undo and Redo name the step they take, and wait while a device operation runs.
    void updateUndoActions();
    /// File > Open Recent: the libraries opened or saved last.
    void rememberRecent(const QString& fileName);
    void fillRecentMenu();
    void openRecent(const QString& fileName);
    /// Library files dropped on the window: imported, each one undoable step; with
    /// `open` (Shift held) the first one is opened instead.
    void dropLibraryFiles(const QStringList& files, bool open);
    /// Marks what the device holds of the library, and what of the device's list the
    /// library lacks; queued after every change of either.
    void updateHoldings();
    /// Asks, when the device will change some of `definitions`, whether to upload anyway.
    bool confirmChangesOnDevice(const QList<QKVFixtureDefinition*>& definitions);
    /// Asks what to do with the `definitions` the other side already holds: copy them
    /// again, skip them (they leave the list) or cancel. False to stop the transfer.
    template <typename Definition>
    bool askAboutDoubles(QList<Definition*>& definitions,
                         const std::function<bool(const Definition*)>& present,
                         const QString& text,
                         const QString& allText,
                         const QString& again);
    void queueHoldingsUpdate();
    /// Adds definitions made from `modes`, asking about each one the library already has
    /// (same manufacturer and name); returns how many were added or replaced.
    int addModes(const QList<QxfMode>& modes, const QString& stepText);

    // Channel sheets (MainWindowPrint.cpp): print, print preview and PDF export.
    void setUpPrinting();
    /// The selected definitions, or with none every definition the table shows; in the
    /// table's order either way.
    QList<const QKVFixtureDefinition*> sheetDefinitions() const;
    /// sheetDefinitions(), told to the user when there are none, with `printer` set up for them.
    QList<const QKVFixtureDefinition*> sheetsToPrint(QPrinter& printer);
    void printSheets();
    void previewSheets();
    void exportSheets();

    // Library document (MainWindow.cpp).
    void openInitialLibrary();
    /// Opens `fileName` at start-up: opened, failed (silently, or with a status line for
    /// the library named on the command line), or refused by the user as too large.
    enum class StartOpen { Opened, Failed, RefusedAsLarge };
    StartOpen openStartLibrary(const QString& fileName);
    bool isLargeFile(const QString& fileName) const;
    bool confirmLargeFile(const QString& fileName);
    /// Asks whether to save a modified library. False when the user asked to save and
    /// the library was not saved: the caller must not go on and drop the changes.
    bool askSaveModified();
    void newLibrary();
    void openLibrary();
    /// Opens `fileName` in place of the library shown (the caller has asked about
    /// changes). False when it could not be read, which the user has been told.
    bool loadLibraryFile(const QString& fileName);
    void importLibrary();
    /// True when the library was written.
    bool saveLibrary();
    bool saveLibraryAs();
    void confirmSaved(const QString& fileName);
    /// Remembers the members `archive` could not read, for the first save over its file.
    void noteUnreadableMembers(const KVFLArchive& archive);
    QString unreadableText() const;
    QString leftOutText() const;
    /// Before the first save over a file with unreadable members: asks whether to write
    /// it without them. False when the user declined.
    bool confirmDroppingUnreadable(const QString& fileName);
    void saveLayout();
    void restoreLayout();
    void installArchive(std::unique_ptr<KVFLArchive> archive);
    void cancelClose();
    /// Hides everything but the closing note while the worker stops, or shows it all again.
    void setClosingView(bool closing);
    void restartWorker();
    /// The window answers the worker's device signals; `discovered` replaces the usual
    /// answer to a discovery, for the one that follows a firmware update.
    void connectWorker(std::function<void()> discovered = {});
    void disconnectWorker();
    void showInformation(const QString& text,
                         const QString& informativeText = QString(),
                         const QString& detailedText = QString());
    QMessageBox::StandardButton askQuestion(const QString& text,
                                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // Device operations (MainWindowDevice.cpp).
    void setAborting(bool aborting);
    void showProgress(bool showCurrentItem);
    void endOperation();
    /// Whether a failure slot shows its message: not while the window closes.
    bool failureEnded();
    /// What the transfer in flight has done so far (written, read or deleted definitions).
    int itemsDone() const;
    /// Ends a transfer that went well and says how many definitions it took in the status bar.
    void reportDone(int count, const QString& one, const QString& many);
    /// Ends a transfer that failed and tells the user (`cancelled` when the user stopped
    /// it). False while the window closes, when nothing is shown and nothing may follow.
    bool
    reportFailure(korvane::KVP::KVPWorkerRequestI::failReason reason, const QString& cancelled, const QString& failed);
    /// A request is in flight: the new operation is refused with its failure message and
    /// the running one is left alone to report (and be deleted) on its own.
    bool refuseWhileBusy(const QString& failureMessage);
    void updateFirmwareHint(uint16_t fwVersion);
    void updateFirmware();
    void startDiscovery();
    template <typename Request>
    Request* startRequest();
    /// Hands `request` copies of `selected`, kept in `copies` until the operation ends.
    template <typename Request, typename Definition>
    void
    addCopies(Request* request, const QList<Definition*>& selected, std::vector<std::unique_ptr<Definition>>& copies);

    std::unique_ptr<Ui::MainWindow> m_ui;
    std::shared_ptr<UserPrompts> m_prompts;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<KVFLArchive> m_archive;
    QString m_startFileName;
    QString m_currentFileName;
    // The file whose unreadable definitions a save would drop, until the user agreed.
    QString m_unreadableFile;
    qsizetype m_unreadableCount = 0;
    std::unique_ptr<QMovie> m_busyAnimation;
    QAction* m_newAction = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_saveAsAction = nullptr;
    QAction* m_importAction = nullptr;
    QAction* m_catalogueAction = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_importFixturesAction = nullptr;
    QAction* m_uploadAction = nullptr;
    QAction* m_downloadAction = nullptr;
    bool m_aborting = false;
    bool m_holdingsUpdateQueued = false;
    bool m_closing = false;
    std::unique_ptr<korvane::KVP::KVPWorkerThread> m_worker;
    // Declared after the worker, so it goes first: the worker may still name it until then.
    std::unique_ptr<korvane::KVP::KVPWorkerRequestI> m_currentRequest;
    WorkerListener m_workerListener;
    // What a transfer request works on: copies, so the worker thread never reads a
    // definition the user is editing, nor one the device list has replaced.
    std::vector<std::unique_ptr<QKVFixtureDefinition>> m_uploadCopies;
    std::vector<std::unique_ptr<QKVRemoteFixtureDefinition>> m_remoteCopies;
};
