#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AboutDialog.h"
#include "AppSettings.h"
#include "KVFLArchive.h"
#include "KVPWorkerThread.h"
#include "ResourcePaths.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMetaType>
#include <QMovie>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>

using korvane::KVP::KVPWorkerThread;

namespace {

/// How long the status bar tells that the start library could not be opened.
constexpr int StatusMessageMs = 10000;

const QString LibraryFileCaption = QStringLiteral("Open Fixture Definition Library");
const QString LibrarySuffix = QStringLiteral("kvfl");

/// The settings store. Until this name it was named after the application, whose "/"
/// made a folder "QRD-540B " (with the blank) in the user's configuration folder; what
/// the user kept there is taken over once, when the new file does not exist yet.
std::unique_ptr<QSettings> openSettings()
{
    auto settings = std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, AppSettings::OrganizationName, AppSettings::SettingsName);
    if (!QFileInfo::exists(settings->fileName())) {
        const QSettings old(
            QSettings::NativeFormat, QSettings::UserScope, AppSettings::OrganizationName, AppSettings::ApplicationName);
        for (const QString& key : old.allKeys()) {
            settings->setValue(key, old.value(key));
        }
    }
    return settings;
}

/// A splitter's or view's settings key: its name and the name of the nearest named
/// widget around it ("libraryForm/splitter"), as the two forms name their splitters
/// alike. Not the whole path, so that a layout rearranged around it keeps the setting.
QString layoutKey(const QObject* object, const QObject* window)
{
    constexpr int KeyNames = 2;
    QStringList names;
    for (; object && object != window && names.size() < KeyNames; object = object->parent()) {
        const QString name = object->objectName();
        // Qt's own inner widgets (viewports) say nothing about the place.
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) {
            names.prepend(name);
        }
    }
    return names.join(QLatin1Char('/'));
}

} // namespace

QString MainWindow::countText(qsizetype count, const QString& one, const QString& many)
{
    return count == 1 ? one : many.arg(count);
}

MainWindow::MainWindow(QWidget* parent, std::shared_ptr<UserPrompts> prompts)
    : QMainWindow(parent), m_prompts(prompts ? std::move(prompts) : UserPrompts::standard())
{
    setUp();
}

MainWindow::MainWindow(const QString& startFileName, std::shared_ptr<UserPrompts> prompts)
    : QMainWindow(nullptr)
    , m_prompts(prompts ? std::move(prompts) : UserPrompts::standard())
    , m_startFileName(startFileName)
{
    setUp();
}

MainWindow::~MainWindow()
{
    // The panels go with the widgets; they must not outlive what they show, nor call
    // back into a window that is half gone.
    disconnect(m_ui->libraryForm->proxyModel(), nullptr, this, nullptr);
    disconnect(m_ui->libraryForm, nullptr, this, nullptr);
    disconnect(m_ui->remoteForm, nullptr, this, nullptr);
    m_ui->libraryForm->clearArchive();
    if (m_worker) {
        m_worker->stopWorker();
        m_worker->wait();
    }
}

void MainWindow::setUp()
{
    m_closing = false;
    m_settings = openSettings();

    m_worker = std::make_unique<KVPWorkerThread>();

    m_ui = std::make_unique<Ui::MainWindow>();
    m_ui->setupUi(this);
    setWindowTitle(AppSettings::ApplicationName);
    setWindowIcon(QIcon(ResourcePaths::WindowIcon));
    resize(InitialWidth, InitialHeight);
    // The device list gets the room its names need, half of an 800-pixel window; a wider
    // window gives the rest to the library, whose editor lays out side by side when it can
    // (a layout the user saved replaces this).
    m_ui->splitter->setStretchFactor(1, 1);
    m_ui->splitter->setSizes({DeviceSideWidth, InitialWidth - DeviceSideWidth});
    restoreLayout();

    connectWorker();
    m_worker->start(QThread::InheritPriority);

    m_ui->firmwareUpdateInfoWidget->hide();
    m_ui->closingWidget->hide();
    m_busyAnimation = std::make_unique<QMovie>(ResourcePaths::BusyAnimation);
    m_ui->busyIndicatorLabel->setMovie(m_busyAnimation.get());

    auto makeAction = [this](const QString& icon, const QString& text) {
        auto* action = new QAction(QIcon(icon), text, this);
        m_ui->toolBar->addAction(action);
        return action;
    };
    m_newAction = makeAction(ResourcePaths::NewIcon, tr("New Library"));
    m_openAction = makeAction(ResourcePaths::OpenIcon, tr("Open Library"));
    m_saveAction = makeAction(ResourcePaths::SaveIcon, tr("Save Library"));
    m_saveAsAction = makeAction(ResourcePaths::SaveAsIcon, tr("Save Library As"));
    m_importAction = makeAction(ResourcePaths::ImportIcon, tr("Import Library"));
    m_ui->toolBar->addSeparator();
    m_uploadAction = makeAction(ResourcePaths::UploadIcon, tr("Upload selection to device"));
    m_downloadAction = makeAction(ResourcePaths::DownloadIcon, tr("Download selection to computer"));
    connect(m_newAction, &QAction::triggered, this, &MainWindow::on_actionNew_Archive_triggered);
    connect(m_openAction, &QAction::triggered, this, &MainWindow::on_action_Open_Archive_triggered);
    connect(m_saveAction, &QAction::triggered, this, &MainWindow::on_actionSave_Archive_triggered);
    connect(m_saveAsAction, &QAction::triggered, this, &MainWindow::on_actionSave_archive_as_triggered);
    connect(m_importAction, &QAction::triggered, this, &MainWindow::on_actionImport_Library_triggered);
    connect(m_uploadAction, &QAction::triggered, this, &MainWindow::uploadCurrentSelection);
    connect(m_downloadAction, &QAction::triggered, this, &MainWindow::downloadCurrentSelection);
    m_ui->progressBars->hide();

    connect(m_ui->libraryForm, &LibraryForm::archiveModified, this, &MainWindow::windowModified);
    connect(m_ui->libraryForm, &LibraryForm::archiveModified, this, &MainWindow::queueHoldingsUpdate);
    connect(m_ui->libraryForm->proxyModel(), &QAbstractItemModel::modelReset, this, &MainWindow::queueHoldingsUpdate);
    connect(m_ui->remoteForm, &DeviceForm::fixtureListChanged, this, &MainWindow::queueHoldingsUpdate);
    connect(m_ui->libraryForm, &LibraryForm::copyToDeviceRequested, this, &MainWindow::uploadCurrentSelection);
    connect(m_ui->remoteForm, &DeviceForm::deleteRequested, this, &MainWindow::deleteCurrentlySelectedFixturesOnDevice);
    connect(m_ui->remoteForm, &DeviceForm::copyToComputerRequested, this, &MainWindow::downloadCurrentSelection);
    connect(m_ui->abortButton, &QPushButton::clicked, this, &MainWindow::abortButtonClicked);
    setUpKeyboard();
    setUpCatalogue();
    setUpPrinting();
    setUpEditing();

    openInitialLibrary();

    connect(m_ui->remoteForm, &DeviceForm::discoverDevicesClicked, this, &MainWindow::discoverDevices);
    connect(m_ui->remoteForm->devicesCombo(), &QComboBox::currentIndexChanged, this, &MainWindow::updateActiveDevice);
    startDiscovery();
}

void MainWindow::setUpKeyboard()
{
    // The arrows move within a table; Tab goes on to the next panel, left to right as
    // the panels stand: device, then library filter, table and editor.
    QTableView* deviceTable = m_ui->remoteForm->fixtureListView();
    deviceTable->setTabKeyNavigation(false);
    QWidget::setTabOrder(m_ui->remoteForm->devicesCombo(), deviceTable);
    m_ui->libraryForm->setTabOrderAfter(deviceTable);
}

void MainWindow::connectWorker(std::function<void()> discovered)
{
    if (!discovered) {
        discovered = [this] { devicesDiscovered(); };
    }
    m_workerListener.listen(m_worker.get(),
                            this,
                            {std::move(discovered),
                             [this](uint16_t fwVersion, uint16_t hwVersion) { deviceSelected(fwVersion, hwVersion); },
                             [this] { onDisconnected(); }});
}

void MainWindow::disconnectWorker()
{
    m_workerListener.stop();
}

// Messages.

void MainWindow::showInformation(const QString& text, const QString& informativeText, const QString& detailedText)
{
    MessagePrompt prompt;
    prompt.icon = QMessageBox::Information;
    prompt.title = AppSettings::ApplicationName;
    prompt.text = text;
    prompt.informativeText = informativeText;
    prompt.detailedText = detailedText;
    prompt.buttons = QMessageBox::Ok;
    m_prompts->message(this, prompt);
}

QMessageBox::StandardButton MainWindow::askQuestion(const QString& text, QMessageBox::StandardButton defaultButton)
{
    MessagePrompt prompt;
    prompt.icon = QMessageBox::Question;
    prompt.title = AppSettings::ApplicationName;
    prompt.text = text;
    prompt.buttons = QMessageBox::Yes | QMessageBox::No;
    prompt.defaultButton = defaultButton;
    return m_prompts->message(this, prompt);
}

// The title and the modified marker.

void MainWindow::updateWindowTitle(const QString& fileName)
{
    QString shown;
    if (fileName.isEmpty()) {
        shown = tr("Unnamed");
    } else {
        const QFileInfo file(fileName);
        shown = file.fileName();
        m_settings->setValue(AppSettings::WorkingDirKey, file.absolutePath());
        rememberRecent(file.absoluteFilePath());
    }
    m_currentFileName = fileName;
    m_settings->setValue(AppSettings::LibraryKey, fileName);
    setWindowTitle(AppSettings::ApplicationName + QStringLiteral(" - [*]") + shown);
}

void MainWindow::windowModified()
{
    setWindowModified(true);
}

void MainWindow::windowUnModified()
{
    setWindowModified(false);
}

// Opening, saving, importing.

bool MainWindow::isLargeFile(const QString& fileName) const
{
    return QFileInfo(fileName).size() > LargeFileBytes;
}

bool MainWindow::confirmLargeFile(const QString& fileName)
{
    const QString text
        = QStringLiteral("The file %1 seems to be rather large.\nDo you want to continue anyway?").arg(fileName);
    return askQuestion(text) == QMessageBox::Yes;
}

bool MainWindow::askSaveModified()
{
    MessagePrompt prompt;
    prompt.icon = QMessageBox::Question;
    prompt.title = AppSettings::ApplicationName;
    prompt.text = tr("The current library has been modified\nDo you want to save the changes?");
    prompt.buttons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    prompt.defaultButton = QMessageBox::Save;
    // Escape answers Cancel: only Discard drops the changes.
    switch (m_prompts->message(this, prompt)) {
        case QMessageBox::Discard:
            return true;
        case QMessageBox::Save:
            // The user asked to keep the changes: going on without them would lose them.
            return saveLibrary();
        default:
            return false;
    }
}

void MainWindow::noteUnreadableMembers(const KVFLArchive& archive)
{
    m_unreadableFile = archive.unreadableMembers().isEmpty() ? QString() : archive.fileName();
    m_unreadableCount = archive.unreadableMembers().size();
}

QString MainWindow::unreadableText() const
{
    return countText(m_unreadableCount,
                     tr("1 fixture definition in %2 could not be read."),
                     tr("%1 fixture definitions in %2 could not be read."))
        .arg(QFileInfo(m_unreadableFile).fileName());
}

QString MainWindow::leftOutText() const
{
    return m_unreadableCount == 1 ? tr("Saving the library will leave it out.")
                                  : tr("Saving the library will leave them out.");
}

bool MainWindow::confirmDroppingUnreadable(const QString& fileName)
{
    if (m_unreadableFile.isEmpty() || QFileInfo(fileName) != QFileInfo(m_unreadableFile)) {
        return true;
    }
    // Return must not drop them: No is the default.
    const QString question = m_unreadableCount == 1 ? tr("Saving will leave it out of the file. Continue anyway?")
                                                    : tr("Saving will leave them out of the file. Continue anyway?");
    if (askQuestion(unreadableText() + QLatin1Char('\n') + question, QMessageBox::No) != QMessageBox::Yes) {
        return false;
    }
    // Asked once: the user has chosen to save the file without them.
    m_unreadableFile.clear();
    return true;
}

void MainWindow::installArchive(std::unique_ptr<KVFLArchive> archive)
{
    m_ui->libraryForm->setArchive(archive.get());
    // The previous archive goes only once its successor is shown.
    std::swap(m_archive, archive);
}

MainWindow::StartOpen MainWindow::openStartLibrary(const QString& fileName)
{
    if (isLargeFile(fileName) && !confirmLargeFile(fileName)) {
        return StartOpen::RefusedAsLarge;
    }
    auto archive = std::make_unique<KVFLArchive>(fileName);
    if (fileName.isEmpty() || !archive->load()) {
        if (!fileName.isEmpty() && fileName == m_startFileName) {
            statusBar()->showMessage(tr("Could not open %1: %2").arg(fileName, archive->errorString()),
                                     StatusMessageMs);
        }
        return StartOpen::Failed;
    }
    noteUnreadableMembers(*archive);
    if (m_unreadableCount > 0) {
        statusBar()->showMessage(unreadableText() + QLatin1Char(' ') + leftOutText(), StatusMessageMs);
    }
    installArchive(std::move(archive));
    updateWindowTitle(fileName);
    setWindowModified(false);
    return StartOpen::Opened;
}

void MainWindow::openInitialLibrary()
{
    StartOpen result = StartOpen::Failed;
    if (!m_startFileName.isEmpty()) {
        result = openStartLibrary(m_startFileName);
    }
    // A library named on the command line but refused as too large is not replaced by
    // the last one: the user chose against opening.
    if (result == StartOpen::Failed) {
        result = openStartLibrary(m_settings->value(AppSettings::LibraryKey).toString());
    }
    if (result == StartOpen::Opened) {
        return;
    }
    m_ui->libraryForm->clearArchive();
    updateWindowTitle(QString());
    newLibrary();
}

void MainWindow::newLibrary()
{
    if (m_archive && isWindowModified() && !askSaveModified()) {
        return;
    }
    auto archive = std::make_unique<KVFLArchive>(QString());
    noteUnreadableMembers(*archive);
    setWindowModified(false);
    updateWindowTitle(QString());
    installArchive(std::move(archive));
    setWindowModified(false);
}

void MainWindow::openLibrary()
{
    if (m_archive && isWindowModified() && !askSaveModified()) {
        return;
    }
    QString directory;
    if (m_archive) {
        const QFileInfo file(m_archive->fileName());
        directory = !m_archive->fileName().isEmpty() && file.exists()
            ? file.absolutePath()
            : QFileInfo(m_settings->value(AppSettings::WorkingDirKey).toString()).path();
    }
    FilePrompt chooser;
    chooser.kind = FilePrompt::Open;
    chooser.caption = LibraryFileCaption;
    chooser.directory = directory;
    chooser.filter = tr("Korvane Fixture Libraries (*.kvfl)");
    for (;;) {
        const QString fileName = m_prompts->fileName(this, chooser);
        if (fileName.isEmpty() || loadLibraryFile(fileName)) {
            return;
        }
    }
}

bool MainWindow::loadLibraryFile(const QString& fileName)
{
    if (isLargeFile(fileName) && !confirmLargeFile(fileName)) {
        return true;
    }
    auto archive = std::make_unique<KVFLArchive>(fileName);
    if (!archive->load()) {
        showInformation(tr("Failed to open the library."), archive->errorString());
        return false;
    }
    if (archive->hasUnsupportedFeatures()
        && askQuestion(tr("The file contains information not supported by this software version.\n"
                          "Data will be lost when storing this file. Continue anyway?"))
            != QMessageBox::Yes) {
        return true;
    }
    noteUnreadableMembers(*archive);
    installArchive(std::move(archive));
    updateWindowTitle(fileName);
    setWindowModified(false);
    if (m_unreadableCount > 0) {
        showInformation(unreadableText(), leftOutText());
    }
    return true;
}

void MainWindow::importLibrary()
{
    if (!m_archive) {
        newLibrary();
    }
    QString directory;
    if (m_archive && !m_archive->fileName().isEmpty() && QFileInfo::exists(m_archive->fileName())) {
        directory = QFileInfo(m_archive->fileName()).absolutePath();
    }
    FilePrompt chooser;
    chooser.kind = FilePrompt::Open;
    chooser.caption = LibraryFileCaption;
    chooser.directory = directory;
    chooser.filter = tr("Korvane Fixture Libraries (*.kvfl)");
    const QString fileName = m_prompts->fileName(this, chooser);
    if (fileName.isEmpty()) {
        return;
    }
    KVFLArchive imported(fileName);
    if (!imported.load()) {
        showInformation(tr("Failed to open the library."), imported.errorString());
        return;
    }
    m_ui->libraryForm->importArchive(&imported);
    setWindowModified(true);
    const qsizetype count = imported.definitions().size();
    statusBar()->showMessage(countText(count, tr("1 definition imported"), tr("%1 definitions imported")),
                             ConfirmationMs);
    if (!imported.unreadableMembers().isEmpty()) {
        showInformation(countText(imported.unreadableMembers().size(),
                                  tr("1 fixture definition in %2 could not be read."),
                                  tr("%1 fixture definitions in %2 could not be read."))
                            .arg(QFileInfo(fileName).fileName()),
                        imported.unreadableMembers().size() == 1 ? tr("It was not imported.")
                                                                 : tr("They were not imported."));
    }
}

bool MainWindow::saveLibrary()
{
    if (!m_archive) {
        return false;
    }
    const QString fileName = m_archive->fileName();
    if (!fileName.isEmpty() && QFileInfo::exists(fileName)) {
        if (!confirmDroppingUnreadable(fileName)) {
            return false;
        }
        if (m_ui->libraryForm->saveArchive()) {
            setWindowModified(false);
            confirmSaved(fileName);
            return true;
        }
    }
    return saveLibraryAs();
}

bool MainWindow::saveLibraryAs()
{
    const QString directory = m_settings->value(AppSettings::WorkingDirKey).toString();
    if (!m_archive) {
        return false;
    }
    FilePrompt chooser;
    chooser.kind = FilePrompt::Save;
    chooser.caption = tr("Save library as");
    chooser.directory = directory;
    chooser.filter = tr("Korvane Fixture Definition Library (*.kvfl)");
    for (;;) {
        QString fileName = m_prompts->fileName(this, chooser);
        if (fileName.isEmpty()) {
            return false;
        }
        // A name typed without an extension still gets the one the file choosers filter by.
        if (QFileInfo(fileName).suffix().isEmpty()) {
            fileName += QLatin1Char('.') + LibrarySuffix;
        }
        if (!confirmDroppingUnreadable(fileName)) {
            return false;
        }
        m_archive->setFileName(fileName);
        if (m_ui->libraryForm->saveArchive()) {
            updateWindowTitle(fileName);
            setWindowModified(false);
            confirmSaved(fileName);
            return true;
        }
        m_archive->setFileName(m_currentFileName);
        showInformation(tr("Failed to save the library."), m_archive->errorString());
    }
}

void MainWindow::on_actionNew_Archive_triggered()
{
    newLibrary();
}

void MainWindow::on_action_Open_Archive_triggered()
{
    openLibrary();
}

void MainWindow::on_actionSave_Archive_triggered()
{
    saveLibrary();
}

void MainWindow::on_actionSave_archive_as_triggered()
{
    saveLibraryAs();
}

void MainWindow::on_actionImport_Library_triggered()
{
    importLibrary();
}

void MainWindow::on_actionQuit_triggered()
{
    close();
}

void MainWindow::on_actionAbout_triggered()
{
    auto* dialog = new AboutDialog(this);
    m_prompts->runDialog(*dialog);
    dialog->deleteLater();
}

// Closing: the worker thread winds down first, without blocking the window.

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_worker && m_worker->isRunning()) {
        connect(m_worker.get(), &QThread::finished, this, &MainWindow::workerThreadFinished, Qt::UniqueConnection);
        m_worker->stopWorker();
        m_closing = true;
        setClosingView(true);
        event->ignore();
        return;
    }

    m_settings->setValue(AppSettings::LibraryKey, m_currentFileName);
    if (m_archive && isWindowModified()) {
        MessagePrompt prompt;
        prompt.icon = QMessageBox::NoIcon;
        prompt.text = QStringLiteral("The library has been modified.");
        prompt.informativeText = QStringLiteral("Do you want to save your changes?");
        prompt.buttons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
        prompt.defaultButton = QMessageBox::Save;
        const QMessageBox::StandardButton answer = m_prompts->message(nullptr, prompt);
        // Save that did not save is no permission to drop the changes.
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !saveLibrary())
            || (answer != QMessageBox::Save && answer != QMessageBox::Discard)) {
            event->ignore();
            cancelClose();
            return;
        }
        m_settings->setValue(AppSettings::LibraryKey, m_currentFileName);
    }
    saveLayout();
    event->accept();
}

void MainWindow::confirmSaved(const QString& fileName)
{
    statusBar()->showMessage(tr("Saved %1").arg(QFileInfo(fileName).fileName()), ConfirmationMs);
}

// The window's size, splitters and column widths, as the user left them.

void MainWindow::saveLayout()
{
    m_settings->setValue(AppSettings::GeometryKey, saveGeometry());
    for (QSplitter* splitter : findChildren<QSplitter*>()) {
        m_settings->setValue(AppSettings::SplittersGroup + layoutKey(splitter, this), splitter->saveState());
    }
    for (QHeaderView* header : findChildren<QHeaderView*>()) {
        if (header->orientation() != Qt::Horizontal) {
            continue;
        }
        QStringList widths;
        for (int section = 0; section < header->count(); ++section) {
            widths << QString::number(header->sectionSize(section));
        }
        m_settings->setValue(AppSettings::ColumnsGroup + layoutKey(header, this), widths);
    }
}

void MainWindow::restoreLayout()
{
    restoreGeometry(m_settings->value(AppSettings::GeometryKey).toByteArray());
    for (QSplitter* splitter : findChildren<QSplitter*>()) {
        splitter->restoreState(
            m_settings->value(AppSettings::SplittersGroup + layoutKey(splitter, this)).toByteArray());
    }
    for (QHeaderView* header : findChildren<QHeaderView*>()) {
        const QStringList widths
            = m_settings->value(AppSettings::ColumnsGroup + layoutKey(header, this)).toStringList();
        // Only the widths the user sets: a column that stretches or fits its content
        // keeps sizing itself, whatever an older version of the window saved.
        for (int section = 0; section < std::min(header->count(), int(widths.size())); ++section) {
            const int width = widths.at(section).toInt();
            const bool stretches = header->stretchLastSection() && section == header->count() - 1;
            if (width > 0 && !stretches && header->sectionResizeMode(section) == QHeaderView::Interactive) {
                header->resizeSection(section, width);
            }
        }
    }
}

void MainWindow::setClosingView(bool closing)
{
    // While the worker winds down, the window shows only that it is closing.
    for (QMenu* menu : {m_ui->menuFile, m_ui->menuAbout, m_ui->menuEdit}) {
        menu->menuAction()->setVisible(!closing);
    }
    for (QWidget* part : {static_cast<QWidget*>(m_ui->menubar), static_cast<QWidget*>(m_ui->toolBar), m_ui->widget_2}) {
        part->setVisible(!closing);
    }
    if (closing) {
        m_ui->progressBars->hide();
        m_busyAnimation->start();
    } else {
        m_busyAnimation->stop();
    }
    m_ui->closingWidget->setVisible(closing);
}

void MainWindow::cancelClose()
{
    setClosingView(false);
    m_closing = false;
    restartWorker();
}

void MainWindow::workerThreadFinished()
{
    close();
}

void MainWindow::restartWorker()
{
    // The old thread has finished: its requests have reported or never ran.
    m_currentRequest.reset();
    m_worker = std::make_unique<KVPWorkerThread>();
    m_uploadCopies.clear();
    m_remoteCopies.clear();
    connectWorker();
    m_worker->start(QThread::InheritPriority);
    startDiscovery();
}
