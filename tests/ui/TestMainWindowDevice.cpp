// The device side of the main window against simulated devices and its real worker thread:
// discovery and selection, the device list, the three transfers with their questions,
// progress, cancel and failure messages, and closing while a transfer runs. Every message
// box and modal dialog is answered by a script, so a box nobody expected shows up in
// `prompts->messages` instead of blocking the run.

#include "IsolatedSettings.h"
#include "MainWindow.h"

#include "AppSettings.h"
#include "DeviceForm.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "KVPWorkerThread.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

// After QByteArray: its qputenv overload takes one.
#include "KVPWorkerTestSupport.h"

#include <memory>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

/// Generous: sanitizers slow the worker and the simulated device down a lot. The waits end
/// as soon as their condition holds, so this costs nothing on a passing run.
constexpr int TimeoutMs = 10000;

const QString UploadFailed = QStringLiteral("Upload of fixture definition(s) failed.");
const QString DownloadFailed = QStringLiteral("Downloading of fixture definition(s) failed.");
const QString DeletionFailed = QStringLiteral("Deletion of fixture definition(s) failed.");
const QString PatchListQuestion = QStringLiteral("The current patch list will be erased.\nDo you want to continue?");
const QString ChannelLimits
    = QStringLiteral("Make sure that no fixture definition has less than 1 channel or more\nthan 45 channels.");

/// The simulated devices live from before the window's first discovery until after the
/// window and its worker are gone.
struct SimDevices
{
    explicit SimDevices(const char* devices) { useSimDevices(devices); }
    ~SimDevices() { dropSimDevices(); }
};

/// A window with scripted prompts over simulated devices; declared in this order so the
/// window goes before the devices.
struct Harness
{
    explicit Harness(const char* devices) : sim(devices) { }

    template <typename T>
    T* widget(const char* name) const
    {
        return window.findChild<T*>(QLatin1String(name));
    }
    DeviceForm* remoteForm() const { return widget<DeviceForm>("remoteForm"); }
    LibraryForm* libraryForm() const { return widget<LibraryForm>("libraryForm"); }
    QComboBox* combo() const { return remoteForm()->devicesCombo(); }
    QAction* discoverAction() const { return widget<QAction>("actionDiscoverDevices"); }
    QWidget* progressArea() const { return widget<QWidget>("progressBars"); }
    QProgressBar* totalBar() const { return widget<QProgressBar>("progBarTotal"); }
    QProgressBar* currentBar() const { return widget<QProgressBar>("progrBarCurrent"); }
    QLabel* currentLabel() const { return widget<QLabel>("lblProgCurrent"); }
    QPushButton* abortButton() const { return widget<QPushButton>("abortButton"); }
    QWidget* firmwareHint() const { return widget<QWidget>("firmwareUpdateInfoWidget"); }
    bool shown(QWidget* w) const { return w->isVisibleTo(&window); }

    int deviceRows() const { return remoteForm()->model()->rowCount(); }
    int libraryRows() const { return libraryForm()->listModel()->rowCount(); }
    sim::SimDevice& device(size_t index = 0) const { return *simBackend().device(index); }

    /// No request in flight and the interface unlocked: discovery, selection and list
    /// refresh are all over. Each step locks before the previous one unlocks, so this
    /// does not hold between them.
    bool idle() const { return !window.currentRequest() && window.uploadAction()->isEnabled(); }
    bool waitIdle() const
    {
        return QTest::qWaitFor([this] { return idle(); }, TimeoutMs);
    }

    /// Appends a definition with `channels` numbered channels to the library.
    void addDefinition(const QString& name, int channels)
    {
        QKVFixtureDefinition definition;
        definition.setName(name);
        definition.setManufacturer(QStringLiteral("Korvane Test"));
        for (int number = 1; number <= channels; ++number) {
            definition.appendChannel(makeChannel(number, QStringLiteral("Channel %1").arg(number)));
        }
        libraryForm()->addFixtureDefinition(&definition);
    }

    /// Selects the library rows of the definitions called `names`.
    void selectLibrary(const QStringList& names)
    {
        QTableView* view = libraryForm()->tableView();
        view->clearSelection();
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            const QModelIndex index = view->model()->index(row, 0);
            const QModelIndex source = libraryForm()->proxyModel()->mapToSource(index);
            if (names.contains(libraryForm()->listModel()->definitionAt(source.row())->name())) {
                view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
    }

    void selectDeviceRows(const QList<int>& rows)
    {
        QTableView* view = remoteForm()->fixtureListView();
        view->clearSelection();
        for (int row : rows) {
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    /// Starts an upload of the named definitions.
    void upload(const QStringList& names)
    {
        selectLibrary(names);
        QCOMPARE(libraryForm()->selectedFixtureDefinitions().size(), names.size());
        window.uploadCurrentSelection();
        QVERIFY(window.currentRequest());
    }

    SimDevices sim;
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    MainWindow window {nullptr, prompts};
};

} // namespace

class TestMainWindowDevice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Discovery, selection and the device list.
    void withoutDeviceDiscoveryEndsEmptyAndUnlocked();
    void firstDeviceIsSelectedAndComboSelectsTheOther();
    void deviceListShowsOneRowPerStoredRecord_data();
    void deviceListShowsOneRowPerStoredRecord();
    void vanishedDeviceEmptiesComboAndListSilently();

    // Firmware hint.
    void firmwareHintShowsOnlyForOldQrd540b_data();
    void firmwareHintShowsOnlyForOldQrd540b();
    void firmwareLinkRunsUpdateDialogThenDiscoversAgain();
    void otherLinkDoesNothing();

    // Upload.
    void uploadStoresSelectionAndRereadsList();
    void patchListRefusedEndsWithoutStoringAnything();
    void patchListAcceptedClearsItAndUploads();
    void channelCountOutsideLimitsNamesTheOffendingDefinitions();
    void cancelDuringUploadShowsBusyBarsThenFailureAndRereadsList();

    // Download and delete.
    void downloadAddsToLibraryWithoutRereadingDevice();
    void deleteShowsOnlyTotalProgressThenRereadsList();

    // Busy window and closing.
    void secondTransferIsRefusedAndRunningUploadFinishes_data();
    void secondTransferIsRefusedAndRunningUploadFinishes();
    void closingDuringUploadWaitsForWorkerWithoutMessages();

private:
    QTemporaryDir m_configHome;
};

void TestMainWindowDevice::initTestCase()
{
    // The user's own settings (and last library) are never touched by a test.
    QVERIFY(m_configHome.isValid());
    isolateSettings(m_configHome.path());
    const QSettings settings(
        QSettings::NativeFormat, QSettings::UserScope, AppSettings::OrganizationName, AppSettings::ApplicationName);
    QVERIFY2(settings.fileName().startsWith(m_configHome.path()), qPrintable(settings.fileName()));
}

void TestMainWindowDevice::withoutDeviceDiscoveryEndsEmptyAndUnlocked()
{
    Harness h("");
    // The constructor's discovery locks at once.
    QVERIFY(!h.window.uploadAction()->isEnabled());
    QVERIFY(h.waitIdle());

    QCOMPARE(h.combo()->count(), 0);
    QCOMPARE(h.deviceRows(), 0);
    QVERIFY(h.window.uploadAction()->isEnabled());
    QVERIFY(h.window.downloadAction()->isEnabled());
    QVERIFY(h.discoverAction()->isEnabled());
    QVERIFY(h.widget<QWidget>("discoverDevicesBttn")->isEnabled());
    QVERIFY(!h.shown(h.firmwareHint()));
    QVERIFY(!h.shown(h.progressArea()));
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::firstDeviceIsSelectedAndComboSelectsTheOther()
{
    Harness h("model=QRD-780,records=3;model=QRD-540B,fw=0x0103,records=1");
    QVERIFY(h.waitIdle());
    QCOMPARE(h.combo()->count(), 2);
    QCOMPARE(h.combo()->itemText(0), QStringLiteral("QRD-780"));
    QCOMPARE(h.combo()->itemText(1), QStringLiteral("QRD-540B"));
    QCOMPARE(h.combo()->currentIndex(), 0);
    QCOMPARE(h.deviceRows(), 3);

    h.combo()->setCurrentIndex(1);
    // The old device's list goes at once; the selection runs locked.
    QCOMPARE(h.deviceRows(), 0);
    QVERIFY(!h.window.uploadAction()->isEnabled());
    QVERIFY(h.waitIdle());
    QCOMPARE(h.deviceRows(), 1);

    h.combo()->setCurrentIndex(0);
    QVERIFY(h.waitIdle());
    QCOMPARE(h.deviceRows(), 3);
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::deviceListShowsOneRowPerStoredRecord_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<int>("rows");

    // An empty list is refused as a payload; the list stays empty all the same.
    QTest::newRow("empty device") << QByteArray("records=0") << 0;
    QTest::newRow("one record") << QByteArray("records=1") << 1;
    QTest::newRow("three records") << QByteArray("records=3") << 3;
}

void TestMainWindowDevice::deviceListShowsOneRowPerStoredRecord()
{
    QFETCH(QByteArray, devices);
    QFETCH(int, rows);

    Harness h(devices.constData());
    QVERIFY(h.waitIdle());
    QCOMPARE(h.combo()->count(), 1);
    QCOMPARE(h.deviceRows(), rows);
    QVERIFY(!h.shown(h.progressArea()));
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::vanishedDeviceEmptiesComboAndListSilently()
{
    // Discovery, selection and the list take fewer frames than this; the supervision
    // pings of the idle window reach it shortly after.
    Harness h("records=2,vanish=10");
    int largestList = 0;
    QObject::connect(h.remoteForm(),
                     &DeviceForm::signalUpdateCounters,
                     h.remoteForm(),
                     [&largestList](int, int total, int) { largestList = std::max(largestList, total); });

    QTRY_COMPARE_WITH_TIMEOUT(largestList, 2, TimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(h.device().gone(), TimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(h.combo()->count(), 0, TimeoutMs);
    QCOMPARE(h.combo()->currentIndex(), -1);
    QCOMPARE(h.deviceRows(), 0);
    QVERIFY(h.waitIdle());
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::firmwareHintShowsOnlyForOldQrd540b_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<bool>("hint");

    QTest::newRow("QRD-540B 0x0101") << QByteArray("model=QRD-540B,fw=0x0101") << true;
    QTest::newRow("QRD-540B 0x0102") << QByteArray("model=QRD-540B,fw=0x0102") << true;
    QTest::newRow("QRD-540B 0x0103") << QByteArray("model=QRD-540B,fw=0x0103") << false;
    QTest::newRow("QRD-780 0x0100") << QByteArray("model=QRD-780,fw=0x0100") << false;
}

void TestMainWindowDevice::firmwareHintShowsOnlyForOldQrd540b()
{
    QFETCH(QByteArray, devices);
    QFETCH(bool, hint);

    Harness h(devices.constData());
    QVERIFY(h.waitIdle());
    QCOMPARE(h.combo()->count(), 1);
    QCOMPARE(h.shown(h.firmwareHint()), hint);
}

void TestMainWindowDevice::firmwareLinkRunsUpdateDialogThenDiscoversAgain()
{
    Harness h("model=QRD-540B,fw=0x0102,records=2");
    QVERIFY(h.waitIdle());
    QVERIFY(h.shown(h.firmwareHint()));

    int discoveries = 0;
    QObject context;
    QObject::connect(
        h.window.workerThread(), &KVPWorkerThread::deviceDiscoverFinsihed, &context, [&discoveries] { ++discoveries; });
    h.prompts->onDialog = [](QDialog&) { return int(QDialog::Rejected); };

    h.window.on_labelFirmwareUpdateInfo_linkActivated(QStringLiteral("update-device"));
    QCOMPARE(h.prompts->dialogs, QStringList {QStringLiteral("FirmwareUpdateDlg")});
    // The discovery that follows the dialog has started.
    QVERIFY(!h.shown(h.firmwareHint()));
    QVERIFY(!h.window.uploadAction()->isEnabled());
    QCOMPARE(h.deviceRows(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(discoveries, 1, TimeoutMs);
    QVERIFY(h.waitIdle());
    QCOMPARE(h.deviceRows(), 2);
    // The device still runs its old firmware.
    QVERIFY(h.shown(h.firmwareHint()));
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::otherLinkDoesNothing()
{
    Harness h("model=QRD-540B,fw=0x0102");
    QVERIFY(h.waitIdle());
    QVERIFY(h.shown(h.firmwareHint()));

    h.window.on_labelFirmwareUpdateInfo_linkActivated(QStringLiteral("somewhere-else"));
    QVERIFY(h.prompts->dialogs.isEmpty());
    QVERIFY(h.shown(h.firmwareHint()));
    QVERIFY(h.idle());
}

void TestMainWindowDevice::uploadStoresSelectionAndRereadsList()
{
    Harness h("records=1");
    QVERIFY(h.waitIdle());
    h.addDefinition(QStringLiteral("Spot"), 3);
    h.addDefinition(QStringLiteral("Wash"), 8);
    h.addDefinition(QStringLiteral("Left behind"), 2);

    h.upload({QStringLiteral("Spot"), QStringLiteral("Wash")});
    QVERIFY(qobject_cast<KVPFixtureWriteRequest*>(h.window.currentRequest()));
    QVERIFY(h.shown(h.progressArea()));
    QVERIFY(h.shown(h.totalBar()));
    QVERIFY(h.shown(h.currentBar()));
    QVERIFY(h.shown(h.currentLabel()));
    QVERIFY(!h.window.uploadAction()->isEnabled());
    QVERIFY(!h.window.downloadAction()->isEnabled());
    QVERIFY(!h.discoverAction()->isEnabled());
    QVERIFY(h.libraryForm()->isLocked());
    QVERIFY(!h.combo()->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(h.deviceRows(), 3, TimeoutMs);
    QVERIFY(h.waitIdle());
    QCOMPARE(h.device().store().count(), 3u);
    QStringList onDevice;
    for (int row = 0; row < h.deviceRows(); ++row) {
        onDevice << h.remoteForm()->model()->definitionAt(row)->name();
    }
    QVERIFY2(onDevice.contains(QStringLiteral("Spot")) && onDevice.contains(QStringLiteral("Wash"))
                 && !onDevice.contains(QStringLiteral("Left behind")),
             qPrintable(onDevice.join(QStringLiteral(", "))));
    QVERIFY(!h.libraryForm()->isLocked());
    QVERIFY(h.combo()->isEnabled());
    QVERIFY(!h.shown(h.progressArea()));
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::patchListRefusedEndsWithoutStoringAnything()
{
    Harness h("records=1,patch=1");
    QVERIFY(h.waitIdle());
    h.addDefinition(QStringLiteral("Spot"), 3);
    h.prompts->buttons = {QMessageBox::No};

    h.upload({QStringLiteral("Spot")});
    QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 1, TimeoutMs);
    const MessagePrompt question = h.prompts->messages.first();
    QCOMPARE(question.text, PatchListQuestion);
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);

    QVERIFY(h.waitIdle());
    QVERIFY(!h.shown(h.progressArea()));
    // No ends the operation quietly: no failure box, no list refresh.
    QCOMPARE(h.prompts->messages.size(), 1);
    QCOMPARE(h.prompts->unexpected, 0);
    QCOMPARE(h.deviceRows(), 1);
    QCOMPARE(h.device().store().count(), 1u);
    QVERIFY(!h.device().patchEmpty());
}

void TestMainWindowDevice::patchListAcceptedClearsItAndUploads()
{
    Harness h("records=1,patch=1");
    QVERIFY(h.waitIdle());
    h.addDefinition(QStringLiteral("Spot"), 3);
    h.addDefinition(QStringLiteral("Wash"), 8);
    h.prompts->buttons = {QMessageBox::Yes};

    h.upload({QStringLiteral("Spot"), QStringLiteral("Wash")});
    QTRY_COMPARE_WITH_TIMEOUT(h.deviceRows(), 3, TimeoutMs);
    QVERIFY(h.waitIdle());
    QCOMPARE(h.prompts->texts(), QStringList {PatchListQuestion});
    QVERIFY(h.device().patchEmpty());
    QCOMPARE(h.device().store().count(), 3u);
    QVERIFY(!h.shown(h.progressArea()));
}

void TestMainWindowDevice::channelCountOutsideLimitsNamesTheOffendingDefinitions()
{
    Harness h("records=1");
    QVERIFY(h.waitIdle());
    h.addDefinition(QStringLiteral("No channels"), 0);
    h.addDefinition(QStringLiteral("Fits"), 45);
    h.addDefinition(QStringLiteral("Too many"), 46);

    h.upload({QStringLiteral("No channels"), QStringLiteral("Fits"), QStringLiteral("Too many")});
    QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 1, TimeoutMs);
    const MessagePrompt message = h.prompts->messages.first();
    QCOMPARE(message.text, ChannelLimits);
    QCOMPARE(message.icon, QMessageBox::Information);
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    const QStringList named = message.detailedText.split(QLatin1Char('\n'));
    QCOMPARE(named.size(), 2);
    QVERIFY2(named.at(0).startsWith(QStringLiteral("No channels")), qPrintable(message.detailedText));
    QVERIFY2(named.at(1).startsWith(QStringLiteral("Too many")), qPrintable(message.detailedText));
    QVERIFY(!message.detailedText.contains(QStringLiteral("Fits")));

    QVERIFY(h.waitIdle());
    QCOMPARE(h.device().store().count(), 1u);
    QCOMPARE(h.prompts->messages.size(), 1);
}

void TestMainWindowDevice::cancelDuringUploadShowsBusyBarsThenFailureAndRereadsList()
{
    // Every reply comes late, so the upload is still sending when Cancel is pressed.
    Harness h("records=1,latency=40");
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    QVERIFY(h.waitIdle());
    h.addDefinition(QStringLiteral("Spot"), 24);
    h.addDefinition(QStringLiteral("Wash"), 24);
    const RemoteFixtureDefinitionListModel* listBefore = h.remoteForm()->model();

    h.upload({QStringLiteral("Spot"), QStringLiteral("Wash")});
    QVERIFY(h.shown(h.progressArea()));
    QVERIFY(h.shown(h.abortButton()));
    // Cancel only reaches a request the worker has started.
    QTRY_VERIFY_WITH_TIMEOUT(h.currentBar()->value() > 0, TimeoutMs);

    QTest::mouseClick(h.abortButton(), Qt::LeftButton);
    QVERIFY(h.window.isAborting());
    QCOMPARE(h.totalBar()->minimum(), 0);
    QCOMPARE(h.totalBar()->maximum(), 0);
    QCOMPARE(h.currentBar()->minimum(), 0);
    QCOMPARE(h.currentBar()->maximum(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 1, TimeoutMs);
    QCOMPARE(h.prompts->messages.first().text, UploadFailed);
    QCOMPARE(h.prompts->messages.first().icon, QMessageBox::Information);
    // A 0..0 bar would take any value: progress that came in after the click was ignored.
    QCOMPARE(h.currentBar()->maximum(), 0);
    QCOMPARE(h.totalBar()->maximum(), 0);
    QCOMPARE(h.currentBar()->value(), 0);
    QCOMPARE(h.totalBar()->value(), 0);

    QVERIFY(h.waitIdle());
    QVERIFY(h.remoteForm()->model() != listBefore);
    QCOMPARE(h.deviceRows(), int(h.device().store().count()));
    QVERIFY(h.device().store().count() < 3u);
    QVERIFY(!h.shown(h.progressArea()));
    QCOMPARE(h.prompts->messages.size(), 1);
}

void TestMainWindowDevice::downloadAddsToLibraryWithoutRereadingDevice()
{
    Harness h("records=3");
    QVERIFY(h.waitIdle());
    QCOMPARE(h.libraryRows(), 0);
    QVERIFY(!h.window.isWindowModified());

    h.selectDeviceRows({0, 2});
    QStringList names;
    for (const QKVRemoteFixtureDefinition* definition : h.remoteForm()->selectedRemoteDefinitions()) {
        names << definition->name();
    }
    QCOMPARE(names.size(), 2);
    const RemoteFixtureDefinitionListModel* listBefore = h.remoteForm()->model();
    const QKVRemoteFixtureDefinition* firstBefore = listBefore->definitionAt(0);

    h.window.downloadCurrentSelection();
    QVERIFY(h.shown(h.progressArea()));
    QVERIFY(h.shown(h.currentBar()));
    QVERIFY(!h.window.uploadAction()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(h.libraryRows(), 2, TimeoutMs);
    QVERIFY(h.waitIdle());

    QStringList downloaded;
    for (const QKVFixtureDefinition* definition : h.libraryForm()->listModel()->definitions()) {
        downloaded << definition->name();
    }
    QCOMPARE(downloaded, names);
    QVERIFY(h.window.isWindowModified());
    // Same list, same rows: the device was not asked for its list again.
    QCOMPARE(h.remoteForm()->model(), listBefore);
    QCOMPARE(h.remoteForm()->model()->definitionAt(0), firstBefore);
    QCOMPARE(h.deviceRows(), 3);
    QVERIFY(!h.shown(h.progressArea()));
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::deleteShowsOnlyTotalProgressThenRereadsList()
{
    Harness h("records=3,latency=20");
    QVERIFY(h.waitIdle());
    h.selectDeviceRows({0, 1});

    h.window.deleteCurrentlySelectedFixturesOnDevice();
    QVERIFY(qobject_cast<KVPFixtureDeleteRequest*>(h.window.currentRequest()));
    QVERIFY(!h.window.uploadAction()->isEnabled());
    // There is no item to follow while deleting: the total bar stands alone.
    while (qobject_cast<KVPFixtureDeleteRequest*>(h.window.currentRequest())) {
        QVERIFY(h.shown(h.progressArea()));
        QVERIFY(h.shown(h.totalBar()));
        QVERIFY(!h.shown(h.currentBar()));
        QVERIFY(!h.shown(h.currentLabel()));
        QTest::qWait(5);
    }

    QTRY_COMPARE_WITH_TIMEOUT(h.deviceRows(), 1, TimeoutMs);
    QVERIFY(h.waitIdle());
    QCOMPARE(h.device().store().count(), 1u);
    QVERIFY(!h.shown(h.progressArea()));
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestMainWindowDevice::secondTransferIsRefusedAndRunningUploadFinishes_data()
{
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<QString>("message");

    QTest::newRow("download") << QStringLiteral("download") << DownloadFailed;
    QTest::newRow("delete") << QStringLiteral("delete") << DeletionFailed;
    QTest::newRow("upload") << QStringLiteral("upload") << UploadFailed;
}

void TestMainWindowDevice::secondTransferIsRefusedAndRunningUploadFinishes()
{
    QFETCH(QString, transfer);
    QFETCH(QString, message);

    Harness h("records=2,latency=20");
    QVERIFY(h.waitIdle());
    h.addDefinition(QStringLiteral("Spot"), 6);
    // The table stays usable while the window is locked, so both selections can be there.
    h.selectDeviceRows({0});

    h.upload({QStringLiteral("Spot")});
    KVPWorkerRequestI* running = h.window.currentRequest();
    if (transfer == QLatin1String("download")) {
        h.window.downloadCurrentSelection();
    } else if (transfer == QLatin1String("delete")) {
        h.window.deleteCurrentlySelectedFixturesOnDevice();
    } else {
        h.window.uploadCurrentSelection();
    }
    QCOMPARE(h.prompts->texts(), QStringList {message});
    // The running request is left to report on its own, and keeps the window locked.
    QCOMPARE(h.window.currentRequest(), running);
    QVERIFY(!h.window.uploadAction()->isEnabled());
    QVERIFY(h.shown(h.progressArea()));

    QTRY_COMPARE_WITH_TIMEOUT(h.deviceRows(), 3, TimeoutMs);
    QVERIFY(h.waitIdle());
    QCOMPARE(h.device().store().count(), 3u);
    QCOMPARE(h.libraryRows(), 1);
    QCOMPARE(h.prompts->messages.size(), 1);
}

void TestMainWindowDevice::closingDuringUploadWaitsForWorkerWithoutMessages()
{
    Harness h("records=1,latency=20");
    h.window.show();
    QVERIFY(h.waitIdle());
    h.addDefinition(QStringLiteral("Spot"), 12);
    // A modified library would ask whether to save it; this test is about the transfer.
    h.window.windowUnModified();

    h.upload({QStringLiteral("Spot")});
    QTRY_VERIFY_WITH_TIMEOUT(h.currentBar()->value() > 0, TimeoutMs);

    // The first close only starts the wind-down of the worker.
    QVERIFY(!h.window.close());
    QVERIFY(h.window.isClosing());
    QVERIFY(h.window.isVisible());
    QVERIFY(h.widget<QWidget>("closingWidget")->isVisible());
    QCOMPARE(h.widget<QWidget>("closingWidget")->findChild<QLabel*>(QStringLiteral("label"))->text(),
             QStringLiteral("Closing application"));
    QVERIFY(!h.progressArea()->isVisible());
    QVERIFY(!h.widget<QToolBar>("toolBar")->isVisible());
    QVERIFY(!h.widget<QWidget>("widget_2")->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(h.window.workerThread()->isFinished(), TimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!h.window.isVisible(), TimeoutMs);
    QVERIFY(h.prompts->messages.isEmpty());
}

QTEST_MAIN(TestMainWindowDevice)

#include "TestMainWindowDevice.moc"
