// The firmware update dialog against simulated devices and a real worker thread. The dialog is
// shown, never run modally, and driven by clicks and the worker's queued signals; its message
// box and file chooser are answered by a script.

#include "FirmwareUpdateDlg.h"

#include "FirmwareUpdateFile.h"
#include "KVPWorkerThread.h"
#include "ResourcePaths.h"
#include "ScriptedPrompts.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// After QByteArray: its qputenv overload takes one.
#include "KVPWorkerTestSupport.h"

#include <memory>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

/// Generous: sanitizers slow the worker and the simulated device down a lot.
constexpr int TimeoutMs = 20000;

constexpr int ModelOffset = 5;

const QString AlternativeLink = QStringLiteral("alternative-update-file");
const QString DefaultLink = QStringLiteral("default-update-file");

/// A worker that tells how many receivers its discovery signal has, to see the dialog's
/// connections come and go.
class CountingWorker : public KVPWorkerThread
{
public:
    int discoveryListeners() const { return receivers(SIGNAL(deviceDiscoverFinsihed())); }
};

/// A started worker on simulated devices; stops it and drops the devices when it goes.
struct Fixture
{
    explicit Fixture(const char* devices)
    {
        useSimDevices(devices);
        worker.start();
    }
    ~Fixture()
    {
        worker.stopWorker();
        worker.wait();
        dropSimDevices();
    }

    /// Runs a discovery as the main window does before it opens the dialog.
    bool discover()
    {
        bool finished = false;
        QObject context; // on the test thread, so the flag is set by a queued call
        QObject::connect(&worker, &KVPWorkerThread::deviceDiscoverFinsihed, &context, [&finished] { finished = true; });
        worker.discoverDevices();
        return QTest::qWaitFor([&finished] { return finished; }, TimeoutMs);
    }

    CountingWorker worker;
};

/// A dialog with scripted prompts over a worker; declared in this order so that the dialog
/// goes before the worker stops.
struct Harness
{
    explicit Harness(const char* devices) : fixture(devices) { }

    /// Discovers, shows the dialog and waits until it has selected the first device.
    bool open()
    {
        if (!fixture.discover()) {
            return false;
        }
        dialog.setWorkerThread(&fixture.worker);
        dialog.show();
        return waitReady();
    }
    bool waitReady()
    {
        return QTest::qWaitFor([this] { return !dialog.isBusy() && dialog.hasDevice(); }, TimeoutMs);
    }
    bool waitIdle()
    {
        return QTest::qWaitFor([this] { return !dialog.isBusy(); }, TimeoutMs);
    }
    void clickLink(const QString& link) { Q_EMIT modeLabel()->linkActivated(link); }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    QPushButton* button(const char* name) const { return dialog.findChild<QPushButton*>(QLatin1String(name)); }
    QPushButton* discoverButton() const { return button("bttnDiscover"); }
    QPushButton* loadButton() const { return button("bttn_load"); }
    QPushButton* updateButton() const { return button("bttn_update"); }
    QPushButton* quitButton() const { return button("bttn_quit"); }
    QComboBox* combo() const { return dialog.findChild<QComboBox*>(QStringLiteral("devicesCombo")); }
    QLabel* modeLabel() const { return dialog.findChild<QLabel*>(QStringLiteral("lbl_fileOpenMode")); }
    QLabel* statusLabel() const { return dialog.findChild<QLabel*>(QStringLiteral("lbl_fileStatus")); }
    QProgressBar* progressBar() const { return dialog.findChild<QProgressBar*>(QStringLiteral("progressBar")); }

    Fixture fixture;
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    FirmwareUpdateDlg dialog {nullptr, prompts};
};

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QByteArray bytesOf(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

/// The status line the dialog should show for the file at `path`.
QString expectedStatus(const QString& path, const QString& model)
{
    FirmwareUpdateFile file;
    file.load(path);
    return QString::fromLocal8Bit(file.statusHtml(model));
}

} // namespace

class TestFirmwareUpdateDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formHasItsTextsPlacesAndStartState();
    void shownWithDiscoveredDeviceSelectsItAtOnce();
    void defaultModeSendsTheFileOfTheSelectedModel_data();
    void defaultModeSendsTheFileOfTheSelectedModel();
    void successfulUpdateEndsQuietlyWithControlsBack();
    void userFileForOtherModelFailsWithWarningBeforeAnyTransfer();
    void cancelledChooserKeepsFileAndStatus();
    void unusableFileShowsItsStatusAndKeepsUpdateDisabled_data();
    void unusableFileShowsItsStatusAndKeepsUpdateDisabled();
    void alternativeModeDisablesUpdateUntilFileLoaded();
    void dialogCannotBeLeftWhileUpdating();
    void workerSignalsReachOnlyAnOpenDialog();
    void deviceFailingMidUpdateEndsInWarning_data();
    void deviceFailingMidUpdateEndsInWarning();
    void showingWithoutWorkerEndsWithMinusOne();
    void showingWithoutWorkerEndsModalRun();
    void screenshot();
};

void TestFirmwareUpdateDlg::formHasItsTextsPlacesAndStartState()
{
    FirmwareUpdateDlg dialog(nullptr, std::make_shared<ScriptedPrompts>());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("QRD-540B  / QRD-780 Firmware Update Tool"));
    auto* mode = dialog.findChild<QLabel*>(QStringLiteral("lbl_fileOpenMode"));
    QVERIFY(mode->text().contains(QLatin1String("href=\"alternative-update-file\"")));
    auto* status = dialog.findChild<QLabel*>(QStringLiteral("lbl_fileStatus"));
    auto* bar = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));

    // Default mode, nothing selected yet.
    QVERIFY(bar->isHidden());
    QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("bttn_load"))->isHidden());
    QVERIFY(status->isHidden());
    QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("bttn_update"))->isEnabled());
    QVERIFY(!dialog.isBusy());
    QVERIFY(!dialog.hasDevice());
    QVERIFY(!dialog.isAlternativeMode());
    QVERIFY(dialog.isFileValid());
}

void TestFirmwareUpdateDlg::shownWithDiscoveredDeviceSelectsItAtOnce()
{
    Harness h("model=QRD-780");
    QVERIFY(h.fixture.discover());
    h.dialog.setWorkerThread(&h.fixture.worker);
    h.dialog.show();

    QCOMPARE(h.combo()->count(), 1);
    QCOMPARE(h.combo()->currentText(), QStringLiteral("QRD-780"));
    QVERIFY(h.dialog.isBusy());
    QVERIFY(!h.updateButton()->isEnabled());
    QVERIFY(!h.discoverButton()->isEnabled());
    QVERIFY(!h.quitButton()->isEnabled());
    QVERIFY(h.combo()->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(h.updateButton()->isEnabled(), TimeoutMs);
    QVERIFY(!h.dialog.isBusy());
    QVERIFY(h.dialog.hasDevice());
    QVERIFY(h.discoverButton()->isEnabled());
    QVERIFY(h.quitButton()->isEnabled());
}

void TestFirmwareUpdateDlg::defaultModeSendsTheFileOfTheSelectedModel_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("file");

    QTest::newRow("QRD-780 gets the QRD-780 file") << 0 << "QRD-780" << ResourcePaths::Qrd780Firmware;
    QTest::newRow("QRD-540B gets the QRD-540B file") << 1 << "QRD-540B" << ResourcePaths::Qrd540bFirmware;
}

void TestFirmwareUpdateDlg::defaultModeSendsTheFileOfTheSelectedModel()
{
    QFETCH(int, index);
    QFETCH(QString, model);
    QFETCH(QString, file);

    Harness h("model=QRD-780;model=QRD-540B,fw=0x0101");
    QVERIFY(h.open());
    if (h.combo()->currentIndex() != index) {
        h.combo()->setCurrentIndex(index);
        QVERIFY(h.dialog.isBusy());
        QVERIFY(h.waitReady());
    }
    QCOMPARE(h.combo()->currentText(), model);

    QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
    h.click(h.updateButton());
    QVERIFY(h.dialog.isBusy());
    QVERIFY(!h.progressBar()->isHidden());
    QVERIFY(h.waitIdle());

    const QByteArray expected = contentsOf(file);
    QVERIFY(!expected.isEmpty());
    const auto& update = simBackend().device(size_t(index))->lastFirmwareUpdate();
    QVERIFY(update.succeeded());
    QCOMPARE(bytesOf(update.header), expected.left(FirmwareUpdateFile::HeaderBlockSize));
    QCOMPARE(bytesOf(update.header).mid(ModelOffset, model.size()), model.toLatin1());
    QVERIFY(bytesOf(update.image) == expected.mid(FirmwareUpdateFile::HeadSize));
    QVERIFY(!simBackend().device(size_t(1 - index))->lastFirmwareUpdate().started);
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestFirmwareUpdateDlg::successfulUpdateEndsQuietlyWithControlsBack()
{
    Harness h("model=QRD-540B");
    QVERIFY(h.open());
    QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
    h.click(h.updateButton());
    QCOMPARE(h.progressBar()->value(), 0);
    QVERIFY(h.progressBar()->isVisible());
    QVERIFY(!h.discoverButton()->isEnabled());
    QVERIFY(!h.quitButton()->isEnabled());
    QVERIFY(!h.updateButton()->isEnabled());
    QVERIFY(h.waitIdle());

    QVERIFY(h.prompts->messages.isEmpty());
    QVERIFY(h.progressBar()->isHidden());
    QCOMPARE(h.progressBar()->value(), 100);
    QVERIFY(h.discoverButton()->isEnabled());
    QVERIFY(h.quitButton()->isEnabled());
    QVERIFY(h.updateButton()->isEnabled());
    QVERIFY(h.dialog.hasDevice());
    QVERIFY(simBackend().device(0)->lastFirmwareUpdate().succeeded());
}

void TestFirmwareUpdateDlg::userFileForOtherModelFailsWithWarningBeforeAnyTransfer()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    // Not ASCII, so the name must reach the file system as it was chosen.
    const QString path = folder.filePath(QStringLiteral("Überspielung QRD-780 ½.kv2"));
    QVERIFY(writeFile(path, contentsOf(ResourcePaths::Qrd780Firmware)));

    Harness h("model=QRD-540B");
    QVERIFY(h.open());
    h.clickLink(AlternativeLink);
    QVERIFY(h.dialog.isAlternativeMode());
    h.prompts->fileNames << path;
    h.click(h.loadButton());
    QCOMPARE(h.statusLabel()->text(), expectedStatus(path, QStringLiteral("QRD-780")));
    QVERIFY(h.statusLabel()->text().contains(QLatin1String("is OK.")));
    QVERIFY(h.updateButton()->isEnabled());

    const uint32_t framesBefore = simBackend().device(0)->framesReceived();
    QTest::ignoreMessage(QtDebugMsg, "updateFailed");
    h.click(h.updateButton());
    QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 1, TimeoutMs);

    const MessagePrompt& warning = h.prompts->messages.at(0);
    QCOMPARE(warning.icon, QMessageBox::Warning);
    QCOMPARE(warning.title, QStringLiteral("Firmware update failed"));
    QCOMPARE(warning.text, QStringLiteral("The firmware update could not be completed"));
    QCOMPARE(warning.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(h.prompts->parents.at(0), &h.dialog);
    QCOMPARE(h.prompts->unexpected, 0);

    // The request asked for the identity and stopped there; supervision pings may follow.
    QVERIFY(simBackend().device(0)->framesReceived() > framesBefore);
    QVERIFY(!simBackend().device(0)->lastFirmwareUpdate().started);
    QVERIFY(!h.dialog.isBusy());
    QVERIFY(h.progressBar()->isHidden());
    QVERIFY(h.dialog.hasDevice());
    QVERIFY(h.updateButton()->isEnabled());
}

void TestFirmwareUpdateDlg::cancelledChooserKeepsFileAndStatus()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("QRD-540B.kv2"));
    QVERIFY(writeFile(path, contentsOf(ResourcePaths::Qrd540bFirmware)));

    Harness h("model=QRD-540B");
    QVERIFY(h.open());
    h.clickLink(AlternativeLink);
    h.prompts->fileNames << path << QString();
    h.click(h.loadButton());
    const QString status = h.statusLabel()->text();
    QCOMPARE(status, expectedStatus(path, QStringLiteral("QRD-540B")));
    QVERIFY(h.updateButton()->isEnabled());

    h.click(h.loadButton()); // cancelled
    QCOMPARE(h.statusLabel()->text(), status);
    QVERIFY(h.dialog.isFileValid());
    QVERIFY(h.updateButton()->isEnabled());
    QVERIFY(h.dialog.lastFilePath().isEmpty());

    h.click(h.loadButton()); // cancelled again: the start directory is forgotten
    QCOMPARE(h.prompts->files.size(), 3);
    const FilePrompt& first = h.prompts->files.at(0);
    QCOMPARE(first.kind, FilePrompt::Open);
    QCOMPARE(first.caption, QStringLiteral("Open a Korvane Update File"));
    QCOMPARE(first.filter, QStringLiteral("KV2 files (*.kv2)"));
    QCOMPARE(first.directory, QString());
    QCOMPARE(h.prompts->files.at(1).directory, path);
    QCOMPARE(h.prompts->files.at(2).directory, QString());
    QVERIFY(h.prompts->messages.isEmpty());

    // The kept file is the one an update sends.
    QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
    h.click(h.updateButton());
    QVERIFY(h.waitIdle());
    QVERIFY(simBackend().device(0)->lastFirmwareUpdate().succeeded());
}

void TestFirmwareUpdateDlg::unusableFileShowsItsStatusAndKeepsUpdateDisabled_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("line");

    QByteArray otherModel = contentsOf(ResourcePaths::Qrd540bFirmware);
    // The model lies outside the checksummed sectors, so the file stays valid.
    otherModel.replace(ModelOffset, 8, "QRD-999\0", 8);
    QTest::newRow("not a KV2 file") << QByteArray("no firmware in here") << "is not a valid KV2 file.";
    QTest::newRow("for no supported device")
        << otherModel << "does not contain a firmware update for a supported device.";
}

void TestFirmwareUpdateDlg::unusableFileShowsItsStatusAndKeepsUpdateDisabled()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, line);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString good = folder.filePath(QStringLiteral("good.kv2"));
    const QString bad = folder.filePath(QStringLiteral("bad.kv2"));
    QVERIFY(writeFile(good, contentsOf(ResourcePaths::Qrd540bFirmware)));
    QVERIFY(writeFile(bad, contents));

    Harness h("model=QRD-540B");
    QVERIFY(h.open());
    h.clickLink(AlternativeLink);
    h.prompts->fileNames << good << bad;
    h.click(h.loadButton());
    QVERIFY(h.updateButton()->isEnabled());

    h.click(h.loadButton());
    QCOMPARE(h.statusLabel()->text(), expectedStatus(bad, QStringLiteral("QRD-540B")));
    QVERIFY(h.statusLabel()->text().contains(line));
    QVERIFY(!h.dialog.isFileValid());
    QVERIFY(!h.updateButton()->isEnabled());
    QVERIFY(h.prompts->messages.isEmpty());
}

void TestFirmwareUpdateDlg::alternativeModeDisablesUpdateUntilFileLoaded()
{
    Harness h("model=QRD-540B");
    QVERIFY(h.open());
    QVERIFY(h.updateButton()->isEnabled());
    QVERIFY(!h.loadButton()->isVisible());

    h.clickLink(AlternativeLink);
    QVERIFY(h.dialog.isAlternativeMode());
    QVERIFY(!h.updateButton()->isEnabled());
    QVERIFY(h.loadButton()->isVisible());
    QVERIFY(h.statusLabel()->isVisible());
    QVERIFY(h.modeLabel()->text().contains(QLatin1String("href=\"default-update-file\"")));

    QTest::ignoreMessage(QtDebugMsg, "Unknown link");
    h.clickLink(QStringLiteral("somewhere-else"));
    QVERIFY(h.dialog.isAlternativeMode());

    h.clickLink(DefaultLink);
    QVERIFY(!h.dialog.isAlternativeMode());
    QVERIFY(h.updateButton()->isEnabled());
    QVERIFY(!h.loadButton()->isVisible());
    QVERIFY(!h.statusLabel()->isVisible());
    QVERIFY(h.statusLabel()->text().isEmpty());
    QVERIFY(h.modeLabel()->text().contains(QLatin1String("href=\"alternative-update-file\"")));
}

void TestFirmwareUpdateDlg::dialogCannotBeLeftWhileUpdating()
{
    // Every reply a little late, so the update is still running while the test knocks.
    Harness h("model=QRD-540B,latency=3");
    QVERIFY(h.open());
    QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
    h.click(h.updateButton());
    QVERIFY(h.dialog.isBusy());

    h.dialog.on_bttn_quit_clicked();
    QVERIFY(h.dialog.isVisible());
    QVERIFY(!h.dialog.close());
    QTest::keyClick(&h.dialog, Qt::Key_Escape);
    QVERIFY(h.dialog.isVisible());
    // Nor do the file mode or the discovery change while the update reads its file.
    h.clickLink(AlternativeLink);
    QVERIFY(!h.dialog.isAlternativeMode());
    h.dialog.on_bttnDiscover_clicked();
    QCOMPARE(h.combo()->count(), 1);
    QVERIFY(h.dialog.isBusy());

    QVERIFY(h.waitIdle());
    QVERIFY(simBackend().device(0)->lastFirmwareUpdate().succeeded());
    QVERIFY(h.dialog.isVisible());

    QTest::keyClick(&h.dialog, Qt::Key_Escape);
    QVERIFY(!h.dialog.isVisible());
    QCOMPARE(h.dialog.result(), int(QDialog::Rejected));

    h.dialog.show();
    QVERIFY(h.waitReady());
    h.click(h.quitButton());
    QVERIFY(!h.dialog.isVisible());

    h.dialog.show();
    QVERIFY(h.waitReady());
    QVERIFY(h.dialog.close());
    QVERIFY(!h.dialog.isVisible());
}

void TestFirmwareUpdateDlg::workerSignalsReachOnlyAnOpenDialog()
{
    Harness h("model=QRD-780");
    QCOMPARE(h.fixture.worker.discoveryListeners(), 0);
    QVERIFY(h.open());
    QCOMPARE(h.fixture.worker.discoveryListeners(), 1);

    // Shown again without being closed: still one connection.
    h.dialog.hide();
    h.dialog.show();
    QVERIFY(h.waitReady());
    QCOMPARE(h.fixture.worker.discoveryListeners(), 1);

    h.dialog.close();
    QCOMPARE(h.fixture.worker.discoveryListeners(), 0);

    h.dialog.show();
    QVERIFY(h.waitReady());
    QTest::keyClick(&h.dialog, Qt::Key_Escape);
    QCOMPARE(h.fixture.worker.discoveryListeners(), 0);

    h.dialog.show();
    QVERIFY(h.waitReady());
    h.dialog.accept();
    QCOMPARE(h.fixture.worker.discoveryListeners(), 0);

    // A discovery for the main window leaves the closed dialog alone.
    h.combo()->clear();
    QVERIFY(h.fixture.discover());
    QCoreApplication::processEvents();
    QCOMPARE(h.combo()->count(), 0);
    QVERIFY(!h.dialog.isBusy());
}

void TestFirmwareUpdateDlg::deviceFailingMidUpdateEndsInWarning_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<bool>("stillThere");

    // The update runs to some hundreds of frames; the 40th is well inside it.
    QTest::newRow("refusal") << QByteArray("model=QRD-540B,refuse=40") << true;
    QTest::newRow("unplugged") << QByteArray("model=QRD-540B,vanish=40") << false;
}

void TestFirmwareUpdateDlg::deviceFailingMidUpdateEndsInWarning()
{
    QFETCH(QByteArray, device);
    QFETCH(bool, stillThere);

    Harness h(device.constData());
    QVERIFY(h.open());
    QTest::ignoreMessage(QtDebugMsg, "updateFailed");
    h.click(h.updateButton());
    QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 1, TimeoutMs);

    QCOMPARE(h.prompts->messages.at(0).title, QStringLiteral("Firmware update failed"));
    QCOMPARE(h.prompts->messages.at(0).text, QStringLiteral("The firmware update could not be completed"));
    QVERIFY(simBackend().device(0)->lastFirmwareUpdate().started);
    QVERIFY(!simBackend().device(0)->lastFirmwareUpdate().succeeded());
    QVERIFY(!h.dialog.isBusy());
    QVERIFY(h.progressBar()->isHidden());
    QVERIFY(h.discoverButton()->isEnabled());
    QVERIFY(h.quitButton()->isEnabled());
    if (stillThere) {
        QVERIFY(h.dialog.hasDevice());
        QVERIFY(h.updateButton()->isEnabled());
    } else {
        // Supervision notices the device is gone.
        QTRY_VERIFY_WITH_TIMEOUT(!h.dialog.hasDevice(), TimeoutMs);
        QCOMPARE(h.combo()->count(), 0);
        QVERIFY(!h.updateButton()->isEnabled());
    }
    QVERIFY(h.dialog.close());
}

void TestFirmwareUpdateDlg::showingWithoutWorkerEndsWithMinusOne()
{
    FirmwareUpdateDlg dialog(nullptr, std::make_shared<ScriptedPrompts>());
    QTest::ignoreMessage(QtDebugMsg, "critical error: no workerThread");
    dialog.show();
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), -1);
}

void TestFirmwareUpdateDlg::showingWithoutWorkerEndsModalRun()
{
    FirmwareUpdateDlg dialog(nullptr, std::make_shared<ScriptedPrompts>());
    // A run that does not end by itself is broken off, and the time tells.
    constexpr int GiveUpMs = 5000;
    QTimer::singleShot(GiveUpMs, &dialog, [] { QCoreApplication::exit(); });
    QTest::ignoreMessage(QtDebugMsg, "critical error: no workerThread");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(dialog.exec(), -1);
    QVERIFY(clock.elapsed() < GiveUpMs);
}

void TestFirmwareUpdateDlg::screenshot()
{
    const QString folder = qEnvironmentVariable("QRD_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        QSKIP("set QRD_SCREENSHOT_DIR to save a picture of the dialog");
    }
    Harness h("model=QRD-780");
    QVERIFY(h.open());
    QVERIFY(QTest::qWaitForWindowExposed(&h.dialog));
    QVERIFY(h.dialog.grab().save(folder + QStringLiteral("/firmware-dialog.png")));
}

QTEST_MAIN(TestFirmwareUpdateDlg)
#include "TestFirmwareUpdateDlg.moc"
