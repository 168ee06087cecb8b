#pragma once

#include "KVPWorkerRequestI.h"
#include "WorkerListener.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>

class QCloseEvent;
class QShowEvent;
class UserPrompts;

namespace korvane::KVP {
class FirmwareUpdateFile;
class KVPUpdateFirmwareRequest;
class KVPWorkerThread;
} // namespace korvane::KVP

namespace Ui {
class FirmwareUpdateDlg;
}

/// The modal dialog that writes new firmware into a connected QRD-540B / QRD-780.
///
/// The user picks a device from the worker's discovery (the one chosen in the main window
/// at first), and updates it either with the firmware file the editor carries for its model
/// (default mode) or with a file loaded from disk (alternative mode), after a question that
/// names the device and the file. Every update is one `KVPUpdateFirmwareRequest` run by the
/// worker thread. While a discovery, a selection or an update runs the dialog is busy and
/// cannot be closed, so the running request (a child of the dialog) is never destroyed
/// under the worker's feet.
class FirmwareUpdateDlg : public QDialog
{
    Q_OBJECT

public:
    /// `prompts` shows the message box and the file chooser; null means the real Qt dialogs.
    explicit FirmwareUpdateDlg(QWidget* parent = nullptr, std::shared_ptr<UserPrompts> prompts = {});
    ~FirmwareUpdateDlg() override;

    /// The worker that carries the device traffic; not owned. Set before the dialog is shown.
    void setWorkerThread(korvane::KVP::KVPWorkerThread* thread);
    /// The device to select whenever a discovery lists it; empty or absent: the first one.
    void setDeviceAddress(const QString& address) { m_deviceAddress = address; }

    /// A discovery, a selection or an update is running.
    bool isBusy() const { return m_busy; }
    /// The user's own update file is used instead of the ones the editor carries.
    bool isAlternativeMode() const { return m_alternativeMode; }
    /// A device selection has finished since the last lost connection.
    bool hasDevice() const { return m_hasDevice; }
    /// The file an update would use is acceptable.
    bool isFileValid() const { return m_fileValid; }
    /// The path the file chooser returned last; empty when the user cancelled it.
    QString lastFilePath() const { return m_lastFilePath; }

public Q_SLOTS:
    /// Selects the discovered device at `index` (connected by name).
    void on_devicesCombo_currentIndexChanged(int index);
    /// Starts a new discovery (connected by name).
    void on_bttnDiscover_clicked();
    /// Asks for an update file and checks it (connected by name).
    void on_bttn_load_clicked();
    /// Closes the dialog unless it is busy (connected by name).
    void on_bttn_quit_clicked();
    /// Starts the update of the selected device (connected by name).
    void on_bttn_update_clicked();
    /// Switches between the default and the user's update file (connected by name).
    void on_lbl_fileOpenMode_linkActivated(const QString& link);

    /// Shows how far the running update is, in percent.
    void progress(int percents);
    /// Fills the device list from the worker's last discovery, selecting the first device.
    void devicesDiscovered();
    /// A device selection ended; the device may be updated now.
    void deviceSelected();
    /// The selected device went away.
    void onConnectionLost();
    /// Enables Update Firmware exactly when there is a device and a usable file.
    void checkUpdateButtonRequirements();
    /// The running update failed; tells the user.
    void updateFailed(korvane::KVP::KVPWorkerRequestI::failReason reason);
    /// The running update ended well.
    void updateSuccessFul();

    /// Escape ends a dialog here without passing the close event; ignored while busy.
    void reject() override;
    /// Every way out of the dialog ends here; ignored while busy.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void setAlternativeMode(bool alternative);
    /// While the worker runs a request, no control may start another.
    void setBusy(bool busy);
    /// Busy, or an update request has not reported yet.
    bool mustStayOpen() const;
    void connectWorker();
    void disconnectWorker();
    void rejectUserFile(const QString& status);
    /// Checks the user's file against the selected device's model and says how it fits.
    void checkUserFileFitsDevice();
    bool confirmUpdate(const korvane::KVP::FirmwareUpdateFile& file);
    void endUpdate();

    std::unique_ptr<Ui::FirmwareUpdateDlg> m_ui;
    std::shared_ptr<UserPrompts> m_prompts;
    QPointer<korvane::KVP::KVPWorkerThread> m_workerThread;
    WorkerListener m_workerListener;

    bool m_busy = false;
    bool m_alternativeMode = false;
    bool m_hasDevice = false;
    bool m_fileValid = false;
    QString m_lastFilePath;
    /// The device index last asked for, so a change of the list during an update can be undone.
    int m_selectedIndex = -1;
    /// The device to select after a discovery: the window's at first, then the one chosen here.
    QString m_deviceAddress;
    /// The model of the device last asked for; empty before the first selection.
    QString m_deviceModel;

    QString m_defaultModeText;
    QString m_alternativeModeText;

    std::unique_ptr<korvane::KVP::FirmwareUpdateFile> m_primaryFile;
    std::unique_ptr<korvane::KVP::FirmwareUpdateFile> m_secondaryFile;
    /// Declared after the files: it reads one of them, so it goes first. Non-null exactly
    /// while an update runs; it is dropped as soon as it reports.
    std::unique_ptr<korvane::KVP::KVPUpdateFirmwareRequest> m_updateRequest;
};
