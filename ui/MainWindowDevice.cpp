// The device side of the main window: discovery and selection, the device's fixture
// list, and the transfers the user starts (upload, download, delete), each run as one
// request on the worker thread while the interface is locked.

#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AppSettings.h"
#include "DeviceCapabilities.h"
#include "DeviceFit.h"
#include "DeviceLabels.h"
#include "DeviceMessages.h"
#include "DeviceRecord.h"
#include "FirmwareUpdateDlg.h"
#include "KVPClearPatchRequest.h"
#include "KVPFixtureDefinitionListRequest.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureReadRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "KVPItemRequest.h"
#include "KVPMemoryStateRequest.h"
#include "KVPWorkerThread.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"

#include <QComboBox>
#include <QDebug>
#include <QStatusBar>
#include <QTimer>

using namespace korvane::KVP;

namespace {

const QString FirmwareUpdateLink = QStringLiteral("update-device");
const QString Qrd540bModel = QLatin1String(korvane::KVP::ModelQrd540b);

} // namespace

// Locking and progress.

void MainWindow::setLockUi(bool locked)
{
    m_ui->remoteForm->setLocked(locked);
    m_ui->libraryForm->setLocked(locked);
    m_ui->actionDiscoverDevices->setEnabled(!locked);
    m_ui->actionUpdate_firmware->setEnabled(!locked);
    // Without a device a transfer could only fail.
    const bool hasDevice = m_ui->remoteForm->devicesCombo()->currentIndex() >= 0;
    m_uploadAction->setEnabled(!locked && hasDevice);
    m_downloadAction->setEnabled(!locked && hasDevice);
    updateUndoActions();
}

void MainWindow::setLockUi()
{
    setLockUi(true);
}

void MainWindow::startOperation()
{
    setLockUi(true);
}

void MainWindow::stopOperation()
{
    setLockUi(false);
}

void MainWindow::setAborting(bool aborting)
{
    m_aborting = aborting;
    for (QProgressBar* bar : {m_ui->progBarTotal, m_ui->progrBarCurrent}) {
        if (aborting) {
            // A range of 0..0 is Qt's busy pattern: the request winds down at its own pace.
            bar->setRange(0, 0);
            bar->setValue(0);
        } else {
            bar->setRange(0, 100);
        }
    }
}

void MainWindow::showProgress(bool showCurrentItem)
{
    setAborting(false);
    for (QProgressBar* bar : {m_ui->progBarTotal, m_ui->progrBarCurrent}) {
        bar->setValue(0);
        bar->setEnabled(true);
    }
    m_ui->progBarTotal->setVisible(true);
    m_ui->progrBarCurrent->setVisible(showCurrentItem);
    m_ui->lblProgCurrent->setVisible(showCurrentItem);
    m_ui->progressBars->show();
}

void MainWindow::endOperation()
{
    m_currentRequest.reset();
    m_uploadCopies.clear();
    m_remoteCopies.clear();
    m_ui->progressBars->hide();
    setLockUi(false);
}

bool MainWindow::failureEnded()
{
    endOperation();
    return m_closing;
}

int MainWindow::itemsDone() const
{
    const auto* request = qobject_cast<const KVPItemRequest*>(m_currentRequest.get());
    return request ? request->itemsDone() : 0;
}

void MainWindow::reportDone(int count, const QString& one, const QString& many)
{
    endOperation();
    statusBar()->showMessage(countText(count, one, many), ConfirmationMs);
}

bool MainWindow::reportFailure(KVPWorkerRequestI::failReason reason, const QString& cancelled, const QString& failed)
{
    if (failureEnded()) {
        return false;
    }
    showInformation(reason == KVPWorkerRequestI::FailAborted ? cancelled : failed);
    return true;
}

bool MainWindow::refuseWhileBusy(const QString& failureMessage)
{
    if (!m_currentRequest) {
        return false;
    }
    // Ending the operation here would delete a request the worker thread may be running.
    // The running operation keeps the interface locked and ends through its own outcome.
    if (!m_closing) {
        showInformation(failureMessage);
    }
    return true;
}

void MainWindow::progressCurrentItem(uint percents)
{
    if (!m_aborting) {
        m_ui->progrBarCurrent->setValue(static_cast<int>(percents));
    }
}

void MainWindow::progressTotal(uint percents)
{
    if (!m_aborting) {
        m_ui->progBarTotal->setValue(static_cast<int>(percents));
    }
}

void MainWindow::abortButtonClicked()
{
    m_worker->abortCurrentRequest();
    setAborting(true);
}

template <typename Request>
Request* MainWindow::startRequest()
{
    auto request = std::make_unique<Request>();
    Request* started = request.get();
    m_currentRequest = std::move(request);
    return started;
}

template <typename Request, typename Definition>
void MainWindow::addCopies(Request* request,
                           const QList<Definition*>& selected,
                           std::vector<std::unique_ptr<Definition>>& copies)
{
    for (const Definition* definition : selected) {
        auto copy = std::make_unique<Definition>();
        *copy = *definition;
        request->addDefinition(copy.get());
        copies.push_back(std::move(copy));
    }
}

// Discovery and selection.

void MainWindow::startDiscovery()
{
    setLockUi(true);
    m_ui->remoteForm->clearFixtureList();
    m_ui->remoteForm->setBusy(true);
    m_worker->discoverDevices();
}

void MainWindow::on_actionDiscoverDevices_triggered()
{
    discoverDevices();
}

void MainWindow::discoverDevices()
{
    startDiscovery();
}

void MainWindow::devicesDiscovered()
{
    QComboBox* combo = m_ui->remoteForm->devicesCombo();
    combo->clear();
    const KVPDiscoverRequest::DeviceList devices = m_worker->discoveredDevices();
    m_ui->remoteForm->setBusy(false);
    if (devices.isEmpty()) {
        m_ui->remoteForm->clearDeviceInfo(tr("No device found. Connect a QRD-540B or QRD-780 and press Find Devices."));
        setLockUi(false);
        return;
    }
    // The first entry becomes current and so selects its device.
    const QStringList labels = deviceLabels(devices);
    for (int i = 0; i < devices.size(); ++i) {
        combo->addItem(labels.at(i));
        const QString& address = devices.at(i).second;
        combo->setItemData(i, deviceToolTip(address, m_worker->discoveredFirmwareVersion(address)), Qt::ToolTipRole);
    }
}

void MainWindow::updateActiveDevice()
{
    m_ui->firmwareUpdateInfoWidget->hide();
    m_ui->remoteForm->clearFixtureList();
    m_ui->remoteForm->clearDeviceInfo();
    m_ui->remoteForm->setBusy(true);
    const int index = m_ui->remoteForm->devicesCombo()->currentIndex();
    const KVPDiscoverRequest::DeviceList devices = m_worker->discoveredDevices();
    if (index < 0 || index >= devices.size()) {
        return;
    }
    setLockUi(true);
    m_worker->selectDevice(devices.at(index).second);
}

void MainWindow::deviceSelected(uint16_t fwVersion, uint16_t)
{
    QComboBox* combo = m_ui->remoteForm->devicesCombo();
    const int index = combo->currentIndex();
    const KVPDiscoverRequest::DeviceList devices = m_worker->discoveredDevices();
    if (index >= 0 && index < devices.size()) {
        combo->setItemData(index, deviceToolTip(devices.at(index).second, fwVersion), Qt::ToolTipRole);
    }
    m_ui->remoteForm->setFirmwareVersion(fwVersion);
    m_ui->remoteForm->setBusy(false);
    setLockUi(false);
    updateFirmwareHint(fwVersion);
    updateRemoteFixtureList();
}

void MainWindow::updateFirmwareHint(uint16_t fwVersion)
{
    const bool outdated = m_ui->remoteForm->devicesCombo()->currentText().startsWith(Qrd540bModel)
        && fwVersion <= OutdatedQrd540bFirmware;
    m_ui->firmwareUpdateInfoWidget->setVisible(outdated);
}

void MainWindow::onDisconnected()
{
    m_ui->firmwareUpdateInfoWidget->hide();
    QComboBox* combo = m_ui->remoteForm->devicesCombo();
    combo->clear();
    combo->setCurrentIndex(-1);
    m_ui->remoteForm->clearFixtureList();
    m_ui->remoteForm->clearDeviceInfo();
    m_ui->remoteForm->setBusy(false);
    m_uploadAction->setEnabled(false);
    m_downloadAction->setEnabled(false);
}

// Firmware update.

void MainWindow::on_actionUpdate_firmware_triggered()
{
    updateFirmware();
}

void MainWindow::on_labelFirmwareUpdateInfo_linkActivated(const QString& link)
{
    if (link == FirmwareUpdateLink) {
        m_ui->firmwareUpdateInfoWidget->hide();
        updateFirmware();
    }
}

void MainWindow::updateFirmware()
{
    // The update is for the device the user has chosen here, and the window goes back to
    // that one afterwards, whichever the dialog ended on.
    QComboBox* combo = m_ui->remoteForm->devicesCombo();
    const KVPDiscoverRequest::DeviceList before = m_worker->discoveredDevices();
    const int index = combo->currentIndex();
    const QString address = index >= 0 && index < before.size() ? before.at(index).second : QString();

    // The dialog discovers and selects on its own; the window listens again afterwards.
    disconnectWorker();
    auto* dialog = new FirmwareUpdateDlg(this, m_prompts);
    dialog->setWorkerThread(m_worker.get());
    dialog->setDeviceAddress(address);
    m_prompts->runDialog(*dialog);
    dialog->deleteLater();

    // This one discovery fills the list without selecting its first device, which the one
    // chosen before would replace at once: one selection, of the right device.
    connectWorker([this, combo, address] {
        connectWorker();
        disconnect(combo, &QComboBox::currentIndexChanged, this, &MainWindow::updateActiveDevice);
        devicesDiscovered();
        const KVPDiscoverRequest::DeviceList devices = m_worker->discoveredDevices();
        for (int i = 0; i < devices.size(); ++i) {
            if (devices.at(i).second == address) {
                combo->setCurrentIndex(i);
            }
        }
        connect(combo, &QComboBox::currentIndexChanged, this, &MainWindow::updateActiveDevice);
        if (combo->currentIndex() >= 0) {
            updateActiveDevice();
        }
    });
    startDiscovery();
}

// The device's fixture list.

void MainWindow::updateRemoteFixtureList()
{
    m_ui->remoteForm->setBusy(true);
    if (m_currentRequest) {
        // The request in flight stays; only the list is given up.
        m_ui->remoteForm->clearFixtureList();
        m_ui->remoteForm->setBusy(false);
        return;
    }
    setLockUi(true);
    auto* request = startRequest<KVPFixtureDefinitionListRequest>();
    connect(request, &KVPFixtureDefinitionListRequest::receivedData, this, &MainWindow::fixtureListDownloaded);
    connect(request, &KVPWorkerRequestI::failed, this, &MainWindow::fixtureListDownloadFailed);
    m_worker->submitRequest(request);
}

void MainWindow::updateHoldings()
{
    m_holdingsUpdateQueued = false;
    m_ui->libraryForm->setDeviceHoldings(m_ui->remoteForm->model()->holdingKeys());
    m_ui->remoteForm->model()->setLibraryHoldings(m_ui->libraryForm->holdingKeys());
}

void MainWindow::queueHoldingsUpdate()
{
    // Edits come a keystroke at a time: one pass over the library per turn of the loop.
    if (!m_holdingsUpdateQueued) {
        m_holdingsUpdateQueued = true;
        QTimer::singleShot(0, this, &MainWindow::updateHoldings);
    }
}

void MainWindow::fixtureListDownloaded(void* data, int length)
{
    // The payload belongs to the request and lives until the request is deleted below.
    const QByteArray payload = QByteArray::fromRawData(static_cast<const char*>(data), length > 0 ? length : 0);
    const int count = DeviceRecord::listEntryCount(payload);
    if (count < 0) {
        fixtureListDownloadFailed(KVPWorkerRequestI::FailGeneral);
        return;
    }
    m_ui->remoteForm->setFixtureList(payload.mid(DeviceRecord::ListCountLength), count);
    m_ui->remoteForm->setBusy(false);
    endOperation();
    if (m_ui->remoteForm->freeSlotsAsked() || m_closing) {
        return;
    }
    // Asked once per selection: the lists that follow tell how the free slots change.
    setLockUi(true);
    auto* request = startRequest<KVPMemoryStateRequest>();
    connect(request, &KVPWorkerRequestI::workDone, this, [this, request] {
        m_ui->remoteForm->setFreeSlots(request->freeSlots());
        endOperation();
    });
    connect(request, &KVPWorkerRequestI::failed, this, [this] {
        m_ui->remoteForm->setFreeSlots(-1);
        endOperation();
    });
    m_worker->submitRequest(request);
}

void MainWindow::fixtureListDownloadFailed(KVPWorkerRequestI::failReason)
{
    endOperation();
    m_ui->remoteForm->clearFixtureList();
    m_ui->remoteForm->setBusy(false);
}

// Upload.

bool MainWindow::confirmChangesOnDevice(const QList<QKVFixtureDefinition*>& definitions)
{
    QStringList changed;
    for (const QKVFixtureDefinition* definition : definitions) {
        const QList<DeviceFit::Finding> findings = DeviceFit::check(*definition);
        const DeviceFit::Severity worst = DeviceFit::worst(findings);
        if (worst == DeviceFit::Severity::Refused) {
            return true; // the device's refusal names them, as it always has
        }
        if (worst == DeviceFit::Severity::Changed) {
            changed << definition->displayName() + QLatin1Char('\n') + DeviceFit::describe(findings);
        }
    }
    if (changed.isEmpty()) {
        return true;
    }
    MessagePrompt question;
    question.icon = QMessageBox::Warning;
    question.title = AppSettings::ApplicationName;
    question.text = countText(changed.size(),
                              tr("1 definition will be changed on the device."),
                              tr("%1 definitions will be changed on the device."));
    question.informativeText = tr("The device cuts texts to its fields and shows \"?\" for characters it "
                                  "cannot display. Show Details lists what changes.");
    question.detailedText = changed.join(QStringLiteral("\n\n"));
    question.buttons = QMessageBox::Yes | QMessageBox::Cancel;
    question.defaultButton = QMessageBox::Cancel;
    question.buttonTexts = {{QMessageBox::Yes, tr("Upload Anyway")}};
    return m_prompts->message(this, question) == QMessageBox::Yes;
}

template <typename Definition>
bool MainWindow::askAboutDoubles(QList<Definition*>& definitions,
                                 const std::function<bool(const Definition*)>& present,
                                 const QString& text,
                                 const QString& allText,
                                 const QString& again)
{
    QList<Definition*> fresh;
    for (Definition* definition : std::as_const(definitions)) {
        if (!present(definition)) {
            fresh << definition;
        }
    }
    if (fresh.size() == definitions.size()) {
        return true;
    }
    MessagePrompt question;
    question.icon = QMessageBox::Question;
    question.title = AppSettings::ApplicationName;
    question.text = fresh.isEmpty() ? allText : text.arg(definitions.size() - fresh.size()).arg(definitions.size());
    question.informativeText = countText(fresh.size(), tr("1 is new."), tr("%1 are new."));
    question.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    question.defaultButton = QMessageBox::No;
    question.buttonTexts = {{QMessageBox::Yes, again}, {QMessageBox::No, tr("Skip Those")}};
    const QMessageBox::StandardButton answer = m_prompts->message(this, question);
    if (answer == QMessageBox::No) {
        definitions = fresh;
    }
    return answer != QMessageBox::Cancel && !definitions.isEmpty();
}

void MainWindow::uploadCurrentSelection()
{
    QList<QKVFixtureDefinition*> selected = m_ui->libraryForm->selectedFixtureDefinitions();
    if (selected.isEmpty() || m_ui->remoteForm->devicesCombo()->currentIndex() < 0) {
        return;
    }
    if (refuseWhileBusy(DeviceMessages::uploadFailed())) {
        qDebug() << "uploadCurrentSelection: currentWorkerRequest is not null";
        return;
    }
    const LocalFixtureDefinitionListModel* library = m_ui->libraryForm->listModel();
    const QString device = m_ui->remoteForm->devicesCombo()->currentText();
    const std::function<bool(const QKVFixtureDefinition*)> onDevice
        = [library](const QKVFixtureDefinition* definition) { return library->isOnDevice(definition); };
    if (!askAboutDoubles(selected,
                         onDevice,
                         tr("%1 of the %2 definitions are already on the %3.")
                             .arg(QStringLiteral("%1"), QStringLiteral("%2"), device),
                         tr("The %1 already holds every definition selected.").arg(device),
                         tr("Upload Again"))
        || !confirmChangesOnDevice(selected)) {
        return;
    }
    setLockUi(true);
    auto* request = startRequest<KVPFixtureWriteRequest>();
    addCopies(request, selected, m_uploadCopies);
    // The device is checked before the first record goes out, and may need a question
    // answered first; the progress area comes with the first record.
    connect(
        request,
        &KVPFixtureWriteRequest::progressCurrent,
        this,
        [this] { showProgress(true); },
        Qt::SingleShotConnection);
    connect(request, &KVPFixtureWriteRequest::progressCurrent, this, &MainWindow::progressCurrentItem);
    connect(request, &KVPFixtureWriteRequest::progressTotal, this, &MainWindow::progressTotal);
    connect(request, &KVPWorkerRequestI::workDone, this, &MainWindow::fixturesUploaded);
    connect(request, &KVPWorkerRequestI::failed, this, &MainWindow::fixtureUploadFailed);
    connect(request,
            &KVPFixtureWriteRequest::failedChannelRequirements,
            this,
            &MainWindow::fixtureUploadFailedTooManyOrNotEnoughChannels);
    connect(request,
            &KVPFixtureWriteRequest::failedPatchNeedsToBeCleared,
            this,
            &MainWindow::fixtureUploadNeedsPatchListCleared);
    connect(
        request, &KVPFixtureWriteRequest::failedNotEnoughMemory, this, &MainWindow::fixtureUploadFailedNotEnoughMemory);
    m_worker->submitRequest(request);
}

void MainWindow::fixturesUploaded()
{
    reportDone(static_cast<int>(m_uploadCopies.size()),
               tr("1 definition copied to the device"),
               tr("%1 definitions copied to the device"));
    updateRemoteFixtureList();
}

void MainWindow::fixtureUploadFailed(KVPWorkerRequestI::failReason reason)
{
    if (reportFailure(
            reason,
            tr("Upload cancelled: %1 of %2 definitions were written.").arg(itemsDone()).arg(m_uploadCopies.size()),
            DeviceMessages::uploadFailed())) {
        updateRemoteFixtureList();
    }
}

void MainWindow::fixtureUploadFailedNotEnoughMemory()
{
    const int selected = static_cast<int>(m_uploadCopies.size());
    if (failureEnded()) {
        return;
    }
    // The free count is the device's own answer to the query made when it was selected,
    // kept up to date by the lists read since.
    const int free = m_ui->remoteForm->freeSlots();
    const QString numbers = free >= 0 ? tr("Free slots: %1. Definitions selected: %2.").arg(free).arg(selected)
                                      : tr("Definitions selected: %1.").arg(selected);
    showInformation(DeviceMessages::notEnoughMemory() + QLatin1String("\n\n") + numbers);
}

void MainWindow::fixtureUploadFailedTooManyOrNotEnoughChannels()
{
    // Named before the copies go with the operation, so the user knows what to fix.
    QStringList offending;
    for (const auto& definition : m_uploadCopies) {
        const int count = definition->channelCount();
        if (!DeviceFit::channelCountAccepted(count)) {
            offending << tr("%1 (%n channel(s))", nullptr, count).arg(definition->displayName());
        }
    }
    if (failureEnded()) {
        return;
    }
    showInformation(DeviceMessages::channelRequirements() + QLatin1String("\n\n")
                        + tr("Outside these limits: %1.").arg(offending.join(QStringLiteral("; "))),
                    QString(),
                    offending.join(QLatin1Char('\n')));
}

void MainWindow::fixtureUploadNeedsPatchListCleared()
{
    qDebug() << "We need to clear the patch list";
    if (m_closing) {
        endOperation();
        return;
    }
    // The question comes before anything is written, so no progress is showing yet.
    const QString device = m_ui->remoteForm->devicesCombo()->currentText();
    if (askQuestion(tr("The %1 takes new fixture definitions only while its patch list is empty.\n").arg(device)
                    + tr("The current patch list will be erased.\nDo you want to continue?"))
        != QMessageBox::Yes) {
        endOperation();
        return;
    }
    // The write request has reported; the clear takes its place, still locked.
    auto* request = startRequest<KVPClearPatchRequest>();
    connect(request, &KVPWorkerRequestI::workDone, this, &MainWindow::patchListClearerOKContUpload);
    connect(request, &KVPWorkerRequestI::failed, this, &MainWindow::patchListClearerFailed);
    m_worker->submitRequest(request);
}

void MainWindow::patchListClearerOKContUpload()
{
    m_currentRequest.reset();
    m_uploadCopies.clear();
    if (m_ui->libraryForm->selectedFixtureDefinitions().isEmpty()) {
        // Nothing left to upload: the operation ends here rather than stay locked.
        endOperation();
        return;
    }
    uploadCurrentSelection();
}

void MainWindow::patchListClearerFailed(KVPWorkerRequestI::failReason)
{
    if (failureEnded()) {
        return;
    }
    showInformation(DeviceMessages::patchListClearFailed());
}

// Download.

void MainWindow::downloadCurrentSelection()
{
    QList<QKVRemoteFixtureDefinition*> selected = m_ui->remoteForm->selectedRemoteDefinitions();
    if (selected.isEmpty() || m_ui->remoteForm->devicesCombo()->currentIndex() < 0) {
        return;
    }
    if (refuseWhileBusy(DeviceMessages::downloadFailed())) {
        return;
    }
    const QSet<QString> inLibrary = m_ui->libraryForm->holdingKeys();
    const std::function<bool(const QKVRemoteFixtureDefinition*)> present
        = [&inLibrary](const QKVRemoteFixtureDefinition* definition) {
              return inLibrary.contains(LocalFixtureDefinitionListModel::holdingKey(
                  definition->manufacturer(), definition->name(), definition->channelCount()));
          };
    if (!askAboutDoubles(selected,
                         present,
                         tr("%1 of the %2 definitions are already in the library."),
                         tr("The library already holds every definition selected."),
                         tr("Download Again"))) {
        return;
    }
    showProgress(true);
    setLockUi(true);
    auto* request = startRequest<KVPFixtureReadRequest>();
    addCopies(request, selected, m_remoteCopies);
    connect(request, &KVPFixtureReadRequest::progressCurrent, this, &MainWindow::progressCurrentItem);
    connect(request, &KVPFixtureReadRequest::progressTotal, this, &MainWindow::progressTotal);
    connect(request, &KVPWorkerRequestI::workDone, this, &MainWindow::fixturesDownloaded);
    connect(request, &KVPWorkerRequestI::failed, this, &MainWindow::fixtureDownloadFailed);
    m_worker->submitRequest(request);
}

void MainWindow::fixturesDownloaded()
{
    int count = 0;
    if (auto* request = qobject_cast<KVPFixtureReadRequest*>(m_currentRequest.get())) {
        // One undoable step for the whole download.
        m_ui->libraryForm->addDefinitions(request->results(), {}, tr("Download"));
        count = static_cast<int>(request->results().size());
    }
    reportDone(count, tr("1 definition copied into the library"), tr("%1 definitions copied into the library"));
}

void MainWindow::fixtureDownloadFailed(KVPWorkerRequestI::failReason reason)
{
    // What was read whole before a cancel is kept: the user stopped it, nothing broke.
    int read = 0;
    auto* request = qobject_cast<KVPFixtureReadRequest*>(m_currentRequest.get());
    if (request && reason == KVPWorkerRequestI::FailAborted && !m_closing) {
        m_ui->libraryForm->addDefinitions(request->results(), {}, tr("Download"));
        read = static_cast<int>(request->results().size());
    }
    reportFailure(reason,
                  tr("Download cancelled: %1 of %2 definitions were copied into the library.")
                      .arg(read)
                      .arg(m_remoteCopies.size()),
                  DeviceMessages::downloadFailed());
}

// Delete.

void MainWindow::deleteCurrentlySelectedFixturesOnDevice()
{
    const QList<QKVRemoteFixtureDefinition*> selected = m_ui->remoteForm->selectedRemoteDefinitions();
    if (selected.isEmpty()) {
        return;
    }
    if (refuseWhileBusy(DeviceMessages::deletionFailed())) {
        qDebug() << "deleteCurrentlySelectedFixturesOnDevice: currentWorkerRequest is not null";
        return;
    }
    // The device keeps no copy: what is deleted there is gone.
    const QString device = m_ui->remoteForm->devicesCombo()->currentText();
    const int count = static_cast<int>(selected.size());
    MessagePrompt question;
    question.icon = QMessageBox::Question;
    question.title = AppSettings::ApplicationName;
    question.text = countText(count,
                              tr("Delete 1 fixture definition from the %1? This cannot be undone."),
                              tr("Delete %1 fixture definitions from the %2? This cannot be undone."))
                        .arg(device);
    question.buttons = QMessageBox::Yes | QMessageBox::Cancel;
    question.defaultButton = QMessageBox::Cancel;
    question.buttonTexts = {{QMessageBox::Yes, tr("Delete")}};
    if (m_prompts->message(this, question) != QMessageBox::Yes) {
        return;
    }
    setLockUi(true);
    auto* request = startRequest<KVPFixtureDeleteRequest>();
    m_ui->lblProgCurrent->hide();
    showProgress(false);
    addCopies(request, selected, m_remoteCopies);
    connect(request, &KVPWorkerRequestI::workDone, this, &MainWindow::fixturesDeleted);
    connect(request, &KVPWorkerRequestI::failed, this, &MainWindow::fixtureDeletionFailed);
    connect(request, &KVPFixtureDeleteRequest::progressTotal, this, &MainWindow::progressTotal);
    m_worker->submitRequest(request);
}

void MainWindow::fixturesDeleted()
{
    reportDone(static_cast<int>(m_remoteCopies.size()), tr("1 definition deleted"), tr("%1 definitions deleted"));
    updateRemoteFixtureList();
}

void MainWindow::fixtureDeletionFailed(KVPWorkerRequestI::failReason reason)
{
    const QString cancelled
        = tr("Deletion cancelled: %1 of %2 definitions were deleted.").arg(itemsDone()).arg(m_remoteCopies.size());
    if (reportFailure(reason, cancelled, DeviceMessages::deletionFailed())) {
        updateRemoteFixtureList();
    }
}
