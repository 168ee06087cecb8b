#include "FirmwareUpdateDlg.h"
#include "ui_FirmwareUpdateDlg.h"

#include "DeviceCapabilities.h"
#include "DeviceMessages.h"

#include "DeviceLabels.h"
#include "FirmwareUpdateFile.h"
#include "KVPUpdateFirmwareRequest.h"
#include "KVPWorkerThread.h"
#include "ResourcePaths.h"
#include "UserPrompts.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QShowEvent>
#include <QSignalBlocker>

using korvane::KVP::FirmwareUpdateFile;
using korvane::KVP::KVPUpdateFirmwareRequest;
using korvane::KVP::KVPWorkerRequestI;
using korvane::KVP::KVPWorkerThread;

namespace {

// The model names as the devices report them and as the update files carry them.
const QString Qrd540b = QLatin1String(korvane::KVP::ModelQrd540b);
const QString Qrd780 = QLatin1String(korvane::KVP::ModelQrd780);

const QString DefaultFileLink = QStringLiteral("default-update-file");
const QString AlternativeFileLink = QStringLiteral("alternative-update-file");
/// The colour the file's own status line uses for a file that cannot be used.
const QString RefusedFileHtml = QStringLiteral("<font color =\"red\">%1</font>");

/// One line of the mode label: bold small text around a red link, so the way to the other
/// mode stands out from the explanation.
QString modeText(const QString& before, const QString& link, const QString& linkText, const QString& after)
{
    static const QString Piece = QStringLiteral("<span style=\" font-size:8pt; font-weight:600;\">%1</span>");
    static const QString Link = QStringLiteral(
        "<a href=\"%1\"><span style=\" font-weight:600; text-decoration: underline; color:#ff0000;\">%2</span></a>");
    return QStringLiteral("<html><head/><body><p>") + Piece.arg(before.toHtmlEscaped())
        + Link.arg(link, linkText.toHtmlEscaped()) + Piece.arg(after.toHtmlEscaped())
        + QStringLiteral("</p></body></html>");
}

} // namespace

FirmwareUpdateDlg::FirmwareUpdateDlg(QWidget* parent, std::shared_ptr<UserPrompts> prompts)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::FirmwareUpdateDlg>())
    , m_prompts(prompts ? std::move(prompts) : UserPrompts::standard())
{
    m_ui->setupUi(this);

    m_defaultModeText = modeText(
        tr("Default firmware update file loaded. Load "), AlternativeFileLink, tr("alternative"), tr(" update file."));
    m_alternativeModeText = modeText(tr("Load the "), DefaultFileLink, tr("default"), tr(" update file."));

    m_ui->bttn_update->setEnabled(false);
    m_ui->progressBar->hide();
    setAlternativeMode(false);
}

// Out of line: the form class and the request are only declared in the header.
FirmwareUpdateDlg::~FirmwareUpdateDlg() = default;

void FirmwareUpdateDlg::setWorkerThread(KVPWorkerThread* thread)
{
    m_workerThread = thread;
}

void FirmwareUpdateDlg::setAlternativeMode(bool alternative)
{
    m_alternativeMode = alternative;
    if (alternative) {
        m_ui->bttn_load->show();
        m_ui->lbl_fileStatus->show();
        m_ui->lbl_fileOpenMode->setText(m_alternativeModeText);
        // The QRD-780 default stays loaded: only the first file is the user's to replace.
        m_primaryFile.reset();
        m_fileValid = false;
        m_ui->bttn_update->setEnabled(false);
        return;
    }

    m_ui->bttn_load->hide();
    m_ui->lbl_fileStatus->hide();
    m_ui->lbl_fileStatus->clear();
    m_ui->lbl_fileOpenMode->setText(m_defaultModeText);

    m_primaryFile = std::make_unique<FirmwareUpdateFile>();
    m_secondaryFile.reset();
    if (m_primaryFile->load(ResourcePaths::Qrd540bFirmware)) {
        m_fileValid = true;
        checkUpdateButtonRequirements();
    } else {
        m_fileValid = false;
        m_ui->bttn_update->setEnabled(false);
    }
    // A broken QRD-780 default shows up when an update with it fails the request's own check.
    m_secondaryFile = std::make_unique<FirmwareUpdateFile>();
    m_secondaryFile->load(ResourcePaths::Qrd780Firmware);
}

void FirmwareUpdateDlg::setBusy(bool busy)
{
    m_busy = busy;
    m_ui->bttnDiscover->setEnabled(!busy);
    m_ui->bttn_quit->setEnabled(!busy);
    m_ui->bttn_load->setEnabled(!busy);
    if (busy) {
        m_ui->bttn_update->setEnabled(false);
    } else {
        checkUpdateButtonRequirements();
    }
}

void FirmwareUpdateDlg::checkUpdateButtonRequirements()
{
    m_ui->bttn_update->setEnabled(m_hasDevice && m_fileValid);
}

bool FirmwareUpdateDlg::mustStayOpen() const
{
    return m_busy || m_updateRequest;
}

void FirmwareUpdateDlg::connectWorker()
{
    // Replaces what an earlier showing connected: the dialog gets every signal once.
    m_workerListener.listen(m_workerThread.data(),
                            this,
                            {[this] { devicesDiscovered(); },
                             [this](uint16_t, uint16_t) { deviceSelected(); },
                             [this] { onConnectionLost(); }});
}

void FirmwareUpdateDlg::disconnectWorker()
{
    // The main window listens to these again once the dialog is gone.
    m_workerListener.stop();
}

void FirmwareUpdateDlg::on_lbl_fileOpenMode_linkActivated(const QString& link)
{
    // The files must not change under a running update.
    if (m_busy) {
        return;
    }
    if (link == DefaultFileLink) {
        setAlternativeMode(false);
    } else if (link == AlternativeFileLink) {
        setAlternativeMode(true);
    } else {
        qDebug() << "Unknown link";
    }
}

void FirmwareUpdateDlg::on_bttn_load_clicked()
{
    if (m_busy) {
        return;
    }
    FilePrompt prompt;
    prompt.kind = FilePrompt::Open;
    prompt.caption = tr("Open a Korvane Update File");
    prompt.directory = m_lastFilePath;
    prompt.filter = tr("KV2 files (*.kv2)");
    m_lastFilePath = m_prompts->fileName(this, prompt);
    if (!QFile::exists(m_lastFilePath)) {
        return;
    }

    m_primaryFile = std::make_unique<FirmwareUpdateFile>();
    if (!m_primaryFile->load(m_lastFilePath)) {
        rejectUserFile(m_primaryFile->statusHtml(Qrd540b));
        return;
    }
    for (const QString& model : {Qrd540b, Qrd780}) {
        if (m_primaryFile->containsUpdateFor(model)) {
            checkUserFileFitsDevice();
            return;
        }
    }
    rejectUserFile(m_primaryFile->statusHtml(Qrd540b));
}

void FirmwareUpdateDlg::checkUserFileFitsDevice()
{
    if (!m_alternativeMode || !m_primaryFile) {
        return;
    }
    const QString fileModel = QString::fromLatin1(m_primaryFile->modelName());
    // The device would be refused its update only after the question, and the refusal
    // carries no reason the user could act on: the file is turned down here instead. It is
    // kept, so choosing the device it is for makes it usable again.
    m_fileValid = m_deviceModel.isEmpty() || m_primaryFile->containsUpdateFor(m_deviceModel);
    if (m_fileValid) {
        m_ui->lbl_fileStatus->setText(m_primaryFile->statusHtml(fileModel));
    } else {
        // The name alone, so the line still reads whole in the narrow status box.
        const QString text
            = tr("The file '%1' is for the %2, but the selected device is a %3.")
                  .arg(QFileInfo(QFile::decodeName(m_primaryFile->fileName())).fileName(), fileModel, m_deviceModel);
        m_ui->lbl_fileStatus->setText(RefusedFileHtml.arg(text.toHtmlEscaped()));
    }
    checkUpdateButtonRequirements();
}

void FirmwareUpdateDlg::rejectUserFile(const QString& status)
{
    m_ui->lbl_fileStatus->setText(status);
    m_fileValid = false;
    m_ui->bttn_update->setEnabled(false);
    m_primaryFile.reset();
}

void FirmwareUpdateDlg::on_bttnDiscover_clicked()
{
    if (!m_workerThread || m_busy) {
        return;
    }
    // A discovery drops the connection; the device is there again once it is selected.
    m_hasDevice = false;
    setBusy(true);
    m_ui->devicesCombo->clear();
    m_workerThread->discoverDevices();
}

void FirmwareUpdateDlg::devicesDiscovered()
{
    setBusy(false);
    const auto devices
        = m_workerThread ? m_workerThread->discoveredDevices() : korvane::KVP::KVPDiscoverRequest::DeviceList();
    {
        // Filled quietly: the first entry would select its device, only for the one the
        // user chose to be selected right after.
        const QSignalBlocker blocker(m_ui->devicesCombo);
        m_ui->devicesCombo->clear();
        int chosen = 0;
        const QStringList labels = deviceLabels(devices);
        for (int i = 0; i < devices.size(); ++i) {
            m_ui->devicesCombo->addItem(labels.at(i));
            const QString& address = devices.at(i).second;
            const auto firmware = m_workerThread ? m_workerThread->discoveredFirmwareVersion(address) : std::nullopt;
            m_ui->devicesCombo->setItemData(i, deviceToolTip(address, firmware), Qt::ToolTipRole);
            if (devices.at(i).second == m_deviceAddress) {
                chosen = i;
            }
        }
        m_ui->devicesCombo->setCurrentIndex(devices.isEmpty() ? -1 : chosen);
    }
    on_devicesCombo_currentIndexChanged(m_ui->devicesCombo->currentIndex());
}

void FirmwareUpdateDlg::on_devicesCombo_currentIndexChanged(int index)
{
    if (!m_workerThread || index < 0) {
        return;
    }
    if (m_updateRequest) {
        // The combo stays usable during an update, but the device being written must not
        // change; a selection would also end the busy state before the update has.
        const QSignalBlocker blocker(m_ui->devicesCombo);
        m_ui->devicesCombo->setCurrentIndex(m_selectedIndex);
        return;
    }
    const auto devices = m_workerThread->discoveredDevices();
    if (index >= devices.size()) {
        return;
    }
    m_selectedIndex = index;
    m_deviceModel = devices.at(index).first;
    m_deviceAddress = devices.at(index).second;
    setBusy(true);
    m_workerThread->selectDevice(devices.at(index).second);
}

void FirmwareUpdateDlg::deviceSelected()
{
    // Whether the device answered shows when it is updated; the versions are not needed.
    setBusy(false);
    m_hasDevice = true;
    checkUserFileFitsDevice();
    checkUpdateButtonRequirements();
}

void FirmwareUpdateDlg::onConnectionLost()
{
    m_ui->devicesCombo->clear();
    m_hasDevice = false;
    checkUpdateButtonRequirements();
}

void FirmwareUpdateDlg::on_bttn_update_clicked()
{
    if (!m_hasDevice || mustStayOpen() || !m_workerThread || !m_fileValid) {
        return;
    }
    FirmwareUpdateFile* file = m_primaryFile.get();
    if (!m_alternativeMode && m_deviceModel == Qrd780) {
        file = m_secondaryFile.get();
    }
    // The device may have gone while the question was open.
    if (!file || !confirmUpdate(*file) || !m_hasDevice) {
        return;
    }
    setBusy(true);
    m_ui->progressBar->setValue(0);
    m_ui->progressBar->show();

    // The request emits on the worker thread, so these calls arrive queued.
    m_updateRequest = std::make_unique<KVPUpdateFirmwareRequest>(this);
    connect(m_updateRequest.get(), &KVPWorkerRequestI::workDone, this, &FirmwareUpdateDlg::updateSuccessFul);
    connect(m_updateRequest.get(), &KVPWorkerRequestI::failed, this, &FirmwareUpdateDlg::updateFailed);
    connect(m_updateRequest.get(), &KVPUpdateFirmwareRequest::progress, this, &FirmwareUpdateDlg::progress);
    m_updateRequest->setUpdateFile(file);
    m_workerThread->submitRequest(m_updateRequest.get());
}

bool FirmwareUpdateDlg::confirmUpdate(const FirmwareUpdateFile& file)
{
    const QString fileName = QFile::decodeName(file.fileName());
    MessagePrompt prompt;
    prompt.icon = QMessageBox::Question;
    prompt.title = tr("Update Firmware");
    prompt.text = m_alternativeMode ? tr("Update the firmware of the %1 at %2 with the file '%3'?")
                                          .arg(m_deviceModel, m_deviceAddress, QDir::toNativeSeparators(fileName))
                                    : tr("Update the firmware of the %1 at %2 with the editor's own update file '%3'?")
                                          .arg(m_deviceModel, m_deviceAddress, QFileInfo(fileName).fileName());
    // A device cut off halfway through may not start again.
    prompt.informativeText = tr("Do not unplug the device until the update is done.");
    prompt.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    prompt.defaultButton = QMessageBox::Cancel;
    prompt.buttonTexts = {{QMessageBox::Ok, tr("Update")}};
    return m_prompts->message(this, prompt) == QMessageBox::Ok;
}

void FirmwareUpdateDlg::progress(int percents)
{
    m_ui->progressBar->setValue(percents);
}

void FirmwareUpdateDlg::endUpdate()
{
    // The request has reported, so the worker is done with it.
    m_updateRequest.reset();
    setBusy(false);
    m_ui->progressBar->hide();
}

void FirmwareUpdateDlg::updateSuccessFul()
{
    qDebug() << "updateSuccessFul";
    endUpdate();

    MessagePrompt prompt;
    prompt.icon = QMessageBox::Information;
    prompt.title = tr("Firmware update");
    prompt.text = tr("The firmware of the %1 at %2 was updated.").arg(m_deviceModel, m_deviceAddress);
    prompt.informativeText = tr("The device restarts with its new firmware and is now discovered again.");
    prompt.buttons = QMessageBox::Ok;
    m_prompts->message(this, prompt);
    // The restart ended the connection; the discovery selects the same device again.
    on_bttnDiscover_clicked();
}

void FirmwareUpdateDlg::updateFailed(KVPWorkerRequestI::failReason reason)
{
    Q_UNUSED(reason)
    qDebug() << "updateFailed";
    endUpdate();

    MessagePrompt prompt;
    prompt.icon = QMessageBox::Warning;
    prompt.title = tr("Firmware update failed");
    prompt.text = DeviceMessages::firmwareUpdateFailed();
    prompt.buttons = QMessageBox::Ok;
    m_prompts->message(this, prompt);
}

void FirmwareUpdateDlg::on_bttn_quit_clicked()
{
    close();
}

void FirmwareUpdateDlg::showEvent(QShowEvent* event)
{
    if (m_workerThread) {
        connectWorker();
        // No request is left over from an earlier showing: each one goes as soon as it reports,
        // and one that has not reported yet still belongs to the worker.
        devicesDiscovered();
    } else {
        qDebug() << "critical error: no workerThread";
        // Not from inside the show: a modal run would start its event loop after a hide that
        // came too early to end it, and wait for ever.
        QMetaObject::invokeMethod(
            this, [this] { done(-1); }, Qt::QueuedConnection);
    }
    QDialog::showEvent(event);
}

void FirmwareUpdateDlg::closeEvent(QCloseEvent* e)
{
    if (mustStayOpen()) {
        e->ignore();
        return;
    }
    disconnectWorker();
    QDialog::closeEvent(e);
}

void FirmwareUpdateDlg::reject()
{
    if (mustStayOpen()) {
        return;
    }
    QDialog::reject();
}

void FirmwareUpdateDlg::done(int result)
{
    // The running request is a child of the dialog, and the main window destroys the dialog
    // once it has ended: ending now would pull the request from under the worker.
    if (mustStayOpen()) {
        return;
    }
    disconnectWorker();
    QDialog::done(result);
}
