// The firmware update dialog over simulated devices and a real worker, driven by clicks.

#include "FirmwareUpdateFile.h"
#include "IsolatedSettings.h"
#include "KVPWorkerParams.h"
#include "ResourcePaths.h"
#include "SimWindowRig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

constexpr int ModelOffset = 5;
const QString AlternativeLink = QStringLiteral("alternative-update-file");

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Writes `contents` to `name` in `folder`; returns the path.
QString writeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& contents)
{
    QFile file(folder.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() ? file.fileName() : QString();
}

QByteArray bytesOf(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}
const auto& lastUpdate(size_t index = 0)
{
    return simBackend().device(index)->lastFirmwareUpdate();
}

/// Shows the dialog the window runs and lets the test be its user.
struct DrivingPrompts : ScriptedPrompts
{
    std::function<void(FirmwareUpdateDlg&)> drive;
    int runDialog(QDialog& dialog) override
    {
        dialog.show();
        drive(static_cast<FirmwareUpdateDlg&>(dialog));
        dialog.close();
        return ScriptedPrompts::runDialog(dialog);
    }
};

} // namespace

class TestFirmwareUpdateDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // An unplugged device costs this instead of the real two seconds.
        qputenv(ReplyTimeoutVariable, "100");
        isolateSettings(m_folder.path());
    }

    void windowsDeviceIsUpdatedAfterAskingAndSelectedAgain()
    {
        auto prompts = std::make_shared<DrivingPrompts>();
        WindowRig w("model=QRD-780;model=QRD-540B,fw=0x0101,records=2", prompts);
        QVERIFY(w.waitIdle());
        w.combo()->setCurrentIndex(1);
        QVERIFY(w.waitIdle() && w.shown("firmwareUpdateInfoWidget"));
        prompts->drive = [&](FirmwareUpdateDlg& dialog) {
            auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("devicesCombo"));
            auto* update = dialog.findChild<QPushButton*>(QStringLiteral("bttn_update"));
            const auto ready
                = [&] { return QTest::qWaitFor([&] { return !dialog.isBusy() && dialog.hasDevice(); }, RigTimeoutMs); };
            QVERIFY(ready() && combo->currentText() == "QRD-540B");
            prompts->buttons << QMessageBox::Cancel;
            QTest::mouseClick(update, Qt::LeftButton);
            QVERIFY(!onSimDevice([](sim::SimDevice& device) { return device.lastFirmwareUpdate().started; }, 1));
            QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
            QTest::mouseClick(update, Qt::LeftButton);
            // Found again after the update, and left on the other device.
            QVERIFY(dialog.isBusy() && ready() && combo->currentText() == "QRD-540B");
            combo->setCurrentIndex(0);
            QVERIFY(ready());
        };
        const QString address = w.window.workerThread()->discoveredDevices().at(1).second;
        w.window.on_actionUpdate_firmware_triggered();
        const QStringList texts = prompts->texts();
        QVERIFY2(texts.size() == 3 && texts.at(1) == texts.at(0) && texts.at(2).contains("QRD-540B at " + address),
                 qPrintable(texts.join('|')));
        QVERIFY(texts.at(0).contains("QRD-540B at " + address) && texts.at(0).contains("'QRD-540B.kv2'"));
        QVERIFY(prompts->messages.at(0).informativeText.contains("unplug"));
        // The window's own device again, with its new firmware.
        QVERIFY(w.waitIdle() && w.combo()->currentText() == "QRD-540B" && w.deviceRows() == 2);
        QVERIFY(!w.shown("firmwareUpdateInfoWidget"));
    }

    void rediscoveryListsOnlyTheDevicesStillThere()
    {
        // The second device is unplugged when the second discovery reaches it.
        DialogRig h("model=QRD-780;model=QRD-540B,vanish=2");
        QVERIFY(h.open() && h.combo()->count() == 2);
        h.click("bttnDiscover");
        // No stale entry can be picked while the discovery runs.
        QCOMPARE(h.combo()->count(), 0);
        QVERIFY(h.waitReady() && h.combo()->count() == 1 && h.combo()->currentText() == "QRD-780");
    }

    void defaultModeSendsTheFileOfTheSelectedModel_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("file");
        QTest::newRow("QRD-780") << 0 << "QRD-780" << ResourcePaths::Qrd780Firmware;
        QTest::newRow("QRD-540B") << 1 << "QRD-540B" << ResourcePaths::Qrd540bFirmware;
    }

    void defaultModeSendsTheFileOfTheSelectedModel()
    {
        QFETCH(int, index);
        QFETCH(QString, model);
        QFETCH(QString, file);

        DialogRig h("model=QRD-780;model=QRD-540B,fw=0x0101");
        QVERIFY(h.discover());
        h.dialog.setWorkerThread(&h.worker);
        h.dialog.show();
        // Shown with discovered devices, the dialog selects the first at once.
        QCOMPARE(h.combo()->currentText(), QStringLiteral("QRD-780"));
        QVERIFY(h.dialog.isBusy() && h.controls(false));
        QVERIFY(h.waitReady() && h.controls(true));
        h.combo()->setCurrentIndex(index);
        QVERIFY(index == 0 || (h.dialog.isBusy() && h.waitReady()));
        QCOMPARE(h.combo()->currentText(), model);

        auto* bar = h.dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));
        QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
        h.click("bttn_update");
        QVERIFY(h.dialog.isBusy() && bar->value() == 0 && bar->isVisible() && h.controls(false));
        QVERIFY(h.waitIdle() && h.combo()->currentText() == model);

        const QByteArray expected = contentsOf(file);
        const auto& update = lastUpdate(size_t(index));
        QVERIFY(update.succeeded() && !lastUpdate(size_t(1 - index)).started);
        QCOMPARE(bytesOf(update.header), expected.left(FirmwareUpdateFile::HeaderBlockSize));
        QVERIFY(bytesOf(update.image) == expected.mid(FirmwareUpdateFile::HeadSize));
        // Asked, told, and the controls back.
        QVERIFY(h.prompts->messages.size() == 2 && bar->isHidden() && bar->value() == 100 && h.controls(true));
    }

    void secondChoiceKeepsOrRejectsTheFile_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: the chooser is cancelled
        QTest::addColumn<QString>("line");
        QByteArray otherModel = contentsOf(ResourcePaths::Qrd540bFirmware);
        // The model lies outside the checksummed sectors, so the file stays valid.
        otherModel.replace(ModelOffset, 8, "QRD-999\0", 8);
        QTest::newRow("cancelled") << QByteArray() << "is OK.";
        QTest::newRow("not a KV2 file") << QByteArray("no firmware in here") << "is not a valid KV2 file.";
        QTest::newRow("for no supported device") << otherModel << "does not contain a firmware update for a supported";
        QTest::newRow("for the other model") << contentsOf(ResourcePaths::Qrd780Firmware)
                                             << "is for the QRD-780, but the selected device is a QRD-540B.";
    }

    void secondChoiceKeepsOrRejectsTheFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, line);
        // Not ASCII, so the name must reach the file system as it was chosen.
        const QString good = writeFile(m_folder, "Übertrag ½.kv2", contentsOf(ResourcePaths::Qrd540bFirmware));
        const QString second = contents.isNull() ? QString() : writeFile(m_folder, "bad.kv2", contents);
        DialogRig h("model=QRD-540B");
        QVERIFY(h.open());
        h.clickLink(AlternativeLink);
        // No update until a file is loaded.
        QVERIFY(h.dialog.isAlternativeMode() && !h.button("bttn_update")->isEnabled()
                && h.button("bttn_load")->isVisible());
        h.prompts->fileNames << good << second << QString();
        h.click("bttn_load");
        QVERIFY(h.button("bttn_update")->isEnabled());
        h.click("bttn_load");
        const QString shown = QFileInfo(second.isEmpty() ? good : second).fileName();
        QVERIFY2(h.label("lbl_fileStatus")->text().contains(shown + "' " + line),
                 qPrintable(h.label("lbl_fileStatus")->text()));
        QVERIFY(h.dialog.isFileValid() == second.isEmpty() && h.button("bttn_update")->isEnabled() == second.isEmpty());
        // Each chooser starts where the last choice was; a cancelled one leaves no start.
        h.click("bttn_load");
        QVERIFY(h.prompts->files.at(1).directory == good && h.prompts->files.at(2).directory == second);
        QVERIFY(h.prompts->messages.isEmpty());
        if (second.isEmpty()) {
            // The kept file is the one an update sends.
            QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
            h.click("bttn_update");
            QVERIFY(h.waitIdle() && lastUpdate().succeeded());
        }
        // Back to the built-in files: the user's file and its status are gone.
        h.clickLink(QStringLiteral("default-update-file"));
        QVERIFY(!h.dialog.isAlternativeMode() && h.button("bttn_update")->isEnabled()
                && !h.button("bttn_load")->isVisible());
        QVERIFY(!h.label("lbl_fileStatus")->isVisible() && h.label("lbl_fileStatus")->text().isEmpty());
    }

    void dialogCannotBeLeftWhileUpdating()
    {
        // Every reply a little late, so the update is still running while the test knocks.
        DialogRig h("model=QRD-540B,latency=3");
        QVERIFY(h.open());
        // Shown again without being closed: still one connection.
        h.dialog.hide();
        h.dialog.show();
        QVERIFY(h.waitReady() && h.worker.discoveryListeners() == 1);
        QTest::ignoreMessage(QtDebugMsg, "updateSuccessFul");
        h.click("bttn_update");
        h.dialog.on_bttn_quit_clicked();
        QVERIFY(!h.dialog.close());
        QTest::keyClick(&h.dialog, Qt::Key_Escape);
        QVERIFY(h.dialog.isVisible());
        // Nor do the file mode or the discovery change while the update reads its file.
        h.clickLink(AlternativeLink);
        QVERIFY(!h.dialog.isAlternativeMode());
        h.dialog.on_bttnDiscover_clicked();
        QVERIFY(h.combo()->count() == 1 && h.dialog.isBusy());
        QVERIFY(h.waitIdle() && lastUpdate().succeeded() && h.dialog.isVisible());

        QTest::keyClick(&h.dialog, Qt::Key_Escape);
        QVERIFY(!h.dialog.isVisible() && h.dialog.result() == QDialog::Rejected && !h.worker.discoveryListeners());
        h.dialog.show();
        QVERIFY(h.waitReady());
        h.click("bttn_quit");
        QVERIFY(!h.dialog.isVisible() && h.worker.discoveryListeners() == 0);
        // A discovery for the main window leaves the closed dialog alone.
        h.combo()->clear();
        QVERIFY(h.discover());
        QCoreApplication::processEvents();
        QVERIFY(h.combo()->count() == 0 && !h.dialog.isBusy());
    }

    void deviceUnpluggedMidUpdateEndsInWarning()
    {
        // The update runs to some hundreds of frames; the 40th is well inside it.
        DialogRig h("model=QRD-540B,vanish=40");
        QVERIFY(h.open());
        QTest::ignoreMessage(QtDebugMsg, "updateFailed");
        h.click("bttn_update");
        // The question, then the warning.
        QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 2, RigTimeoutMs);
        QVERIFY(h.prompts->messages.at(1).icon == QMessageBox::Warning && h.prompts->parents.at(1) == &h.dialog);
        QVERIFY(lastUpdate().started && !lastUpdate().succeeded());
        QVERIFY(!h.dialog.isBusy() && h.button("bttnDiscover")->isEnabled() && h.button("bttn_quit")->isEnabled());
        QVERIFY(h.dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"))->isHidden());
        // Supervision notices an unplugged device.
        QTRY_VERIFY_WITH_TIMEOUT(!h.dialog.hasDevice(), RigTimeoutMs);
        QVERIFY(!h.button("bttn_update")->isEnabled() && h.combo()->count() == 0);
        QVERIFY(h.dialog.close());
    }

    void showingWithoutWorkerEndsModalRunWithMinusOne()
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
        QVERIFY(!dialog.isVisible());
    }

private:
    QTemporaryDir m_folder;
};

QTEST_MAIN(TestFirmwareUpdateDlg)
#include "TestFirmwareUpdateDlg.moc"
