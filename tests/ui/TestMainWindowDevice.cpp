// The device side of the main window over simulated devices: discovery, the device list,
// the three transfers with their questions, progress, cancel, and closing during a transfer.

#include "IsolatedSettings.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "KVPWorkerParams.h"
#include "SimWindowRig.h"
#include "WidgetTestSupport.h"

#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

const QString UploadFailed = QStringLiteral("Upload of fixture definition(s) failed.");
const QString PatchListQuestion
    = QStringLiteral("The QRD-780 takes new fixture definitions only while its patch list "
                     "is empty.\nThe current patch list will be erased.\nDo you want to continue?");

/// A window over `devices` that has discovered, selected and listed, with these definitions.
struct Rig : WindowRig
{
    explicit Rig(const char* devices, const QList<QPair<QString, int>>& definitions = {}) : WindowRig(devices)
    {
        for (const auto& [name, channels] : definitions) {
            if (waitIdle()) {
                addDefinition(name, channels);
            }
        }
    }
    QProgressBar* bar(const char* name = "progrBarCurrent") const { return widget<QProgressBar>(name); }
    /// Starts an upload of the named definitions.
    void upload(const QStringList& names)
    {
        selectLibrary(names);
        QCOMPARE(libraryForm()->selectedFixtureDefinitions().size(), names.size());
        window.uploadCurrentSelection();
        QVERIFY(window.currentRequest());
    }
    QStringList deviceNames() const { return columnTexts(remoteForm()->model()); }
    QString status() const { return window.statusBar()->currentMessage(); }
};

} // namespace

class TestMainWindowDevice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_configHome.isValid());
        isolateSettings(m_configHome.path());
        // An unplugged device costs this instead of the real two seconds.
        qputenv(ReplyTimeoutVariable, "300");
    }

    void firstDeviceIsSelectedAndComboSelectsTheOther()
    {
        Rig h("model=QRD-780,records=3;model=QRD-540B,fw=0x0103,records=1;model=QRD-780");
        QVERIFY(h.waitIdle() && h.combo()->currentText() == "QRD-780 (1)" && h.deviceRows() == 3);
        QVERIFY(h.combo()->itemText(2) == "QRD-780 (2)"
                && h.combo()->itemData(0, Qt::ToolTipRole) == "Address: usb:ftdi/0\nFirmware version: 1.02"
                && h.combo()->itemData(1, Qt::ToolTipRole) == "Address: usb:ftdi/1\nFirmware version: 1.03");
        h.combo()->setCurrentIndex(1);
        // The old device's list goes at once; the selection runs locked.
        QVERIFY(h.deviceRows() == 0 && !h.window.uploadAction()->isEnabled());
        QVERIFY(h.waitIdle() && h.deviceRows() == 1 && h.prompts->messages.isEmpty());
    }

    void deviceShowsItsListAndFirmwareHint_data()
    {
        QTest::addColumn<QByteArray>("devices");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("hint");
        QTest::addColumn<QString>("info"); // under the device selection
        QTest::newRow("no device") << QByteArray() << 0 << false
                                   << "No device found. Connect a QRD-540B or QRD-780 and press Find Devices.";
        QTest::newRow("empty QRD-780") << QByteArray("model=QRD-780,fw=0x0100,records=0") << 0 << false
                                       << "Firmware 1.00, 100 free slots";
        QTest::newRow("QRD-540B 0x0102") << QByteArray("model=QRD-540B,fw=0x0102,records=1") << 1 << true
                                         << "Firmware 1.02, 99 free slots";
        QTest::newRow("QRD-540B 0x0103") << QByteArray("model=QRD-540B,fw=0x0103,records=1,free=1") << 1 << false
                                         << "Firmware 1.03, 1 free slot";
    }

    void deviceShowsItsListAndFirmwareHint()
    {
        QFETCH(QByteArray, devices);
        QFETCH(int, rows);
        QFETCH(bool, hint);
        QFETCH(QString, info);
        Rig h(devices.constData());
        // The constructor's discovery locks at once.
        QVERIFY(!h.window.uploadAction()->isEnabled());
        QVERIFY(h.waitSettled() && h.prompts->messages.isEmpty());
        QCOMPARE(h.unlocked(), !devices.isEmpty()); // upload and download need a device
        QCOMPARE(h.remoteForm()->deviceInfoLabel()->text(), info);
        QVERIFY(h.combo()->count() == (devices.isEmpty() ? 0 : 1) && h.deviceRows() == rows);
        QCOMPARE(h.shown("firmwareUpdateInfoWidget"), hint);
    }

    void vanishedDeviceEmptiesComboAndListSilently()
    {
        // Gone after the list is read, at one of the idle window's supervision pings.
        Rig h("records=2,vanish=10");
        int largestList = 0;
        QObject::connect(h.remoteForm(), &DeviceForm::signalUpdateCounters, h.remoteForm(), [&](int, int total, int) {
            largestList = std::max(largestList, total);
        });
        QTRY_COMPARE_WITH_TIMEOUT(largestList, 2, RigTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(h.device().gone(), RigTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(h.combo()->count(), 0, RigTimeoutMs);
        QVERIFY(h.waitSettled() && h.deviceRows() == 0 && h.prompts->messages.isEmpty() && !h.unlocked());
    }

    void firmwareLinkRunsUpdateDialogThenDiscoversAgain()
    {
        Rig h("model=QRD-540B,fw=0x0102,records=2");
        QVERIFY(h.waitIdle());
        h.window.on_labelFirmwareUpdateInfo_linkActivated(QStringLiteral("somewhere-else"));
        QVERIFY(h.prompts->dialogs.isEmpty() && h.shown("firmwareUpdateInfoWidget") && h.idle());

        h.window.on_labelFirmwareUpdateInfo_linkActivated(QStringLiteral("update-device"));
        QCOMPARE(h.prompts->dialogs, QStringList {QStringLiteral("FirmwareUpdateDlg")});
        // The discovery that follows the dialog has started; the device still runs its old firmware.
        QVERIFY(!h.shown("firmwareUpdateInfoWidget") && !h.window.uploadAction()->isEnabled() && !h.deviceRows());
        QVERIFY(h.waitIdle() && h.deviceRows() == 2 && h.shown("firmwareUpdateInfoWidget")
                && h.prompts->messages.isEmpty());
    }

    void uploadStoresSelectionAndRereadsList_data()
    {
        QTest::addColumn<QByteArray>("devices");
        QTest::addColumn<int>("answer"); // to the patch list question; 0: none asked
        QTest::addColumn<int>("rows");
        QTest::newRow("empty patch list") << QByteArray("records=1,latency=10") << 0 << 3;
        // No ends the operation quietly: no failure box, no list refresh.
        QTest::newRow("patch list kept") << QByteArray("records=1,patch=1,latency=10") << int(QMessageBox::No) << 1;
        QTest::newRow("patch list cleared") << QByteArray("records=1,patch=1,latency=10") << int(QMessageBox::Yes) << 3;
    }

    void uploadStoresSelectionAndRereadsList()
    {
        QFETCH(QByteArray, devices);
        QFETCH(int, answer);
        QFETCH(int, rows);
        Rig h(devices.constData(), {{"Spot", 3}, {"Wash", 8}, {"Left behind", 2}});
        h.prompts->buttons = {QMessageBox::StandardButton(answer)};
        h.upload({QStringLiteral("Spot"), QStringLiteral("Wash")});
        QVERIFY(qobject_cast<KVPFixtureWriteRequest*>(h.window.currentRequest()));
        QVERIFY(!h.window.downloadAction()->isEnabled() && !h.widget<QAction>("actionDiscoverDevices")->isEnabled());
        QVERIFY(h.libraryForm()->isLocked() && !h.combo()->isEnabled());
        // The progress area waits for the first record, so it is not there while the question is asked.
        QVERIFY(QTest::qWaitFor([&] { return h.shown("progressBars") || !h.prompts->messages.isEmpty(); }, 5000));
        QCOMPARE(h.shown("progressBars"), answer == 0);

        QVERIFY(h.waitIdle());
        QVERIFY(h.deviceRows() == rows && h.device().store().count() == unsigned(rows));
        QCOMPARE(h.device().patchEmpty(), answer != QMessageBox::No);
        QCOMPARE(h.prompts->texts(), answer ? QStringList {PatchListQuestion} : QStringList());
        const QStringList onDevice = h.deviceNames();
        QVERIFY2(onDevice.contains("Wash") == (rows == 3) && !onDevice.contains("Left behind"),
                 qPrintable(onDevice.join(", ")));
        QVERIFY(h.unlocked());
        QVERIFY(h.status() == (answer == QMessageBox::No ? "" : "2 definitions copied to the device"));
    }

    void tooFewSlotsSaysHowMany()
    {
        Rig h("records=1,free=1", {{"Spot", 3}, {"Wash", 8}});
        h.upload({QStringLiteral("Spot"), QStringLiteral("Wash")});
        QVERIFY(h.waitIdle() && h.prompts->texts().join("|").endsWith("\n\nFree slots: 1. Definitions selected: 2."));
    }

    void channelCountOutsideLimitsNamesTheOffendingDefinitions()
    {
        Rig h("records=1", {{"No channels", 0}, {"Fits", 45}, {"Too many", 46}});
        h.upload({QStringLiteral("No channels"), QStringLiteral("Fits"), QStringLiteral("Too many")});
        QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 1, RigTimeoutMs);
        const QStringList named = h.prompts->messages.first().detailedText.split(QLatin1Char('\n'));
        QVERIFY2(named.size() == 2 && named.at(0).startsWith("No channels") && named.at(1).startsWith("Too many"),
                 qPrintable(named.join('|')));
        QVERIFY(h.prompts->texts().first().endsWith(
            "\n\nOutside these limits: No channels (0 channel(s)); Too many (46 channel(s))."));
        QVERIFY(h.waitIdle() && h.device().store().count() == 1 && h.prompts->messages.size() == 1);
    }

    void cancelledDownloadAndDeleteSayHowFarTheyGot()
    {
        Rig h("records=4,latency=40");
        QVERIFY(h.waitIdle());
        QString said;
        const auto cancel = [&h, &said] {
            QTRY_VERIFY_WITH_TIMEOUT(h.window.currentRequest() && h.bar("progBarTotal")->value() > 0, RigTimeoutMs);
            QTest::mouseClick(h.widget<QPushButton>("abortButton"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!h.prompts->messages.isEmpty() && h.waitIdle(), RigTimeoutMs);
            said = h.prompts->texts().last();
            h.prompts->messages.clear();
        };
        const int rowsBefore = h.libraryRows();
        h.selectDeviceRows({0, 1, 2, 3});
        h.window.downloadCurrentSelection();
        cancel();
        QCOMPARE(said,
                 QStringLiteral("Download cancelled: %1 of 4 definitions were copied into the library.")
                     .arg(h.libraryRows() - rowsBefore));
        h.selectDeviceRows({0, 1, 2, 3});
        h.prompts->buttons = {QMessageBox::Yes};
        h.window.deleteCurrentlySelectedFixturesOnDevice();
        h.prompts->messages.clear();
        cancel();
        QCOMPARE(said,
                 QStringLiteral("Deletion cancelled: %1 of 4 definitions were deleted.")
                     .arg(4 - h.device().store().count()));
    }

    void cancelDuringUploadShowsBusyBarsThenHowFarItGotAndRereadsList()
    {
        // Every reply comes late, so the upload is still sending when Cancel is pressed.
        Rig h("records=1,latency=40", {{"Spot", 24}, {"Wash", 24}});
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window) && h.waitIdle());
        const RemoteFixtureDefinitionListModel* listBefore = h.remoteForm()->model();
        h.upload({QStringLiteral("Spot"), QStringLiteral("Wash")});
        // Cancel only reaches a request the worker has started.
        QTRY_VERIFY_WITH_TIMEOUT(h.bar()->value() > 0, RigTimeoutMs);

        QTest::mouseClick(h.widget<QPushButton>("abortButton"), Qt::LeftButton);
        QVERIFY(h.window.isAborting());
        QTRY_COMPARE_WITH_TIMEOUT(
            h.prompts->texts(), QStringList {"Upload cancelled: 1 of 2 definitions were written."}, RigTimeoutMs);
        // A 0..0 bar is busy and would take any value: progress after the click was ignored.
        QVERIFY(h.bar()->maximum() == 0 && h.bar()->value() == 0);
        QVERIFY(h.bar("progBarTotal")->maximum() == 0 && h.bar("progBarTotal")->value() == 0);
        QVERIFY(h.waitIdle() && h.remoteForm()->model() != listBefore && !h.shown("progressBars"));
        QCOMPARE(h.deviceRows(), int(h.device().store().count()));
        QVERIFY(h.device().store().count() < 3u && h.prompts->messages.size() == 1);
    }

    void downloadAddsToLibraryThenDeleteRereadsList()
    {
        Rig h("records=3,latency=20");
        QVERIFY(h.waitIdle());
        QVERIFY(!h.window.isWindowModified());
        const QStringList names = h.deviceNames();
        const RemoteFixtureDefinitionListModel* listBefore = h.remoteForm()->model();
        h.selectDeviceRows({0, 2});
        h.window.downloadCurrentSelection();
        QVERIFY(h.shown("progrBarCurrent") && !h.window.uploadAction()->isEnabled());
        QVERIFY(h.waitIdle() && h.unlocked() && h.window.isWindowModified());
        QCOMPARE(h.status(), QStringLiteral("2 definitions copied into the library"));
        QCOMPARE(h.libraryForm()->listModel()->definitionAt(1)->name(), names.at(2));
        QCOMPARE(h.libraryRows(), 2);
        // Same list: the device was not asked for it again.
        QCOMPARE(h.remoteForm()->model(), listBefore);

        h.selectDeviceRows({0, 1});
        h.prompts->buttons = {QMessageBox::Cancel, QMessageBox::Yes};
        h.window.deleteCurrentlySelectedFixturesOnDevice();
        const MessagePrompt& asked = h.prompts->messages.last();
        QVERIFY(!h.window.currentRequest() && asked.defaultButton == QMessageBox::Cancel);
        QCOMPARE(asked.buttonTexts.value(QMessageBox::Yes), QStringLiteral("Delete"));
        h.window.deleteCurrentlySelectedFixturesOnDevice();
        QCOMPARE(h.prompts->texts().last(),
                 QStringLiteral("Delete 2 fixture definitions from the QRD-780? This cannot be undone."));
        QVERIFY(qobject_cast<KVPFixtureDeleteRequest*>(h.window.currentRequest()));
        // There is no item to follow while deleting: the total bar stands alone.
        QVERIFY(!h.window.uploadAction()->isEnabled() && h.shown("progressBars") && h.shown("progBarTotal"));
        QVERIFY(!h.shown("progrBarCurrent") && !h.shown("lblProgCurrent"));
        QVERIFY(h.waitIdle() && h.unlocked() && h.prompts->messages.size() == 2);
        QVERIFY(h.status() == "2 definitions deleted" && h.deviceRows() == 1);
        QCOMPARE(h.device().store().count(), 1u);
    }

    void doublesAndChangesAreAskedAboutBeforeTransfers()
    {
        const QString longName = QStringLiteral("Long ") + QString(100, 'x');
        Rig h("records=2,latency=5", {{longName, 2}});
        QVERIFY(h.waitIdle());
        // One device row already in the library: Skip Those downloads only the other.
        h.selectDeviceRows({0});
        h.window.downloadCurrentSelection();
        QVERIFY(h.waitIdle() && h.libraryRows() == 2 && h.prompts->messages.isEmpty());
        h.selectDeviceRows({0, 1});
        h.prompts->buttons = {QMessageBox::No};
        h.window.downloadCurrentSelection();
        QCOMPARE(h.prompts->texts().last(), QStringLiteral("1 of the 2 definitions are already in the library."));
        QCOMPARE(h.prompts->messages.last().informativeText, QStringLiteral("1 is new."));
        QVERIFY(h.waitIdle() && h.libraryRows() == 3);

        // What the device holds already: skipping all of it leaves nothing to do.
        const QString held = h.libraryForm()->listModel()->definitionAt(1)->name();
        h.prompts->buttons = {QMessageBox::No};
        h.selectLibrary({held});
        h.window.uploadCurrentSelection();
        QCOMPARE(h.prompts->texts().last(), QStringLiteral("The QRD-780 already holds every definition selected."));
        QVERIFY(!h.window.currentRequest());

        // What the device would change is asked about once; Cancel sends nothing.
        h.prompts->buttons = {QMessageBox::Cancel, QMessageBox::Yes};
        h.selectLibrary({longName});
        h.window.uploadCurrentSelection();
        QCOMPARE(h.prompts->texts().last(), QStringLiteral("1 definition will be changed on the device."));
        QVERIFY(h.prompts->messages.last().detailedText.contains("Fixture Name: 105 characters"));
        QVERIFY(!h.window.currentRequest());
        h.upload({longName});
        QVERIFY(h.waitIdle() && h.device().store().count() == 3 && h.prompts->unexpected == 0);
    }

    void secondTransferIsRefusedAndRunningUploadFinishes_data()
    {
        QTest::addColumn<QString>("transfer");
        QTest::addColumn<QString>("message");
        QTest::newRow("download") << "download"
                                  << "Downloading of fixture definition(s) failed.";
        QTest::newRow("delete") << "delete"
                                << "Deletion of fixture definition(s) failed.";
        QTest::newRow("upload") << "upload" << UploadFailed;
    }

    void secondTransferIsRefusedAndRunningUploadFinishes()
    {
        QFETCH(QString, transfer);
        QFETCH(QString, message);
        Rig h("records=2,latency=20", {{"Spot", 6}});
        // The table stays usable while the window is locked, so both selections can be there.
        h.selectDeviceRows({0});
        h.upload({QStringLiteral("Spot")});
        KVPWorkerRequestI* running = h.window.currentRequest();
        transfer == "download"     ? h.window.downloadCurrentSelection()
            : transfer == "delete" ? h.window.deleteCurrentlySelectedFixturesOnDevice()
                                   : h.window.uploadCurrentSelection();
        QCOMPARE(h.prompts->texts(), QStringList {message});
        // The running request is left to report on its own, and keeps the window locked.
        QVERIFY(h.window.currentRequest() == running && !h.window.uploadAction()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(h.deviceRows(), 3, RigTimeoutMs);
        QVERIFY(h.waitIdle() && h.device().store().count() == 3 && h.libraryRows() == 1);
        QCOMPARE(h.prompts->messages.size(), 1);
    }

    void closingDuringUploadWaitsForWorkerWithoutMessages()
    {
        Rig h("records=1,latency=20", {{"Spot", 12}});
        h.window.show();
        // A modified library would ask whether to save it; this test is about the transfer.
        h.window.windowUnModified();
        h.upload({QStringLiteral("Spot")});
        QTRY_VERIFY_WITH_TIMEOUT(h.bar()->value() > 0, RigTimeoutMs);

        // The first close only starts the wind-down of the worker.
        QVERIFY(!h.window.close());
        QVERIFY(h.window.isClosing() && h.window.isVisible() && h.shown("closingWidget") && !h.shown("progressBars"));
        QTRY_VERIFY_WITH_TIMEOUT(h.window.workerThread()->isFinished(), RigTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!h.window.isVisible(), RigTimeoutMs);
        QVERIFY(h.prompts->messages.isEmpty());
    }

private:
    QTemporaryDir m_configHome;
};

QTEST_MAIN(TestMainWindowDevice)
#include "TestMainWindowDevice.moc"
