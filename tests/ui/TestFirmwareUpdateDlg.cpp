// The firmware update dialog over simulated devices and a real worker, driven by clicks.

#include "FirmwareUpdateFile.h"
#include "KVPWorkerParams.h"
#include "ResourcePaths.h"
#include "SimWindowRig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

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
    void initTestCase()
    {
        // An unplugged device costs this instead of the real two seconds.
        qputenv(ReplyTimeoutVariable, "100");
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
        QVERIFY(h.waitIdle());

        const QByteArray expected = contentsOf(file);
        const auto& update = lastUpdate(size_t(index));
        QVERIFY(update.succeeded() && !lastUpdate(size_t(1 - index)).started);
        QCOMPARE(bytesOf(update.header), expected.left(FirmwareUpdateFile::HeaderBlockSize));
        QVERIFY(bytesOf(update.image) == expected.mid(FirmwareUpdateFile::HeadSize));
        // Ends quietly with the controls back.
        QVERIFY(h.prompts->messages.isEmpty() && bar->isHidden() && bar->value() == 100 && h.controls(true));
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
    }

    void secondChoiceKeepsOrRejectsTheFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, line);
        const QString good = writeFile(m_folder, "good.kv2", contentsOf(ResourcePaths::Qrd540bFirmware));
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
        QCOMPARE(h.label("lbl_fileStatus")->text(), expectedStatus(second.isEmpty() ? good : second, "QRD-540B"));
        QVERIFY(h.label("lbl_fileStatus")->text().contains(line));
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

    void deviceFailingMidUpdateEndsInWarning_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("userFile"); // the QRD-780 file for this QRD-540B; the device stays
        // Refused after asking for the identity, before any transfer.
        QTest::newRow("file for the other model") << QByteArray("model=QRD-540B") << true;
        // The update runs to some hundreds of frames; the 40th is well inside it.
        QTest::newRow("unplugged") << QByteArray("model=QRD-540B,vanish=40") << false;
    }

    void deviceFailingMidUpdateEndsInWarning()
    {
        QFETCH(QByteArray, device);
        QFETCH(bool, userFile);
        DialogRig h(device.constData());
        QVERIFY(h.open());
        if (userFile) {
            // Not ASCII, so the name must reach the file system as it was chosen.
            const QString path
                = writeFile(m_folder, "Übertrag QRD-780 ½.kv2", contentsOf(ResourcePaths::Qrd780Firmware));
            h.clickLink(AlternativeLink);
            h.prompts->fileNames << path;
            h.click("bttn_load");
            QCOMPARE(h.label("lbl_fileStatus")->text(), expectedStatus(path, QStringLiteral("QRD-780")));
        }
        QTest::ignoreMessage(QtDebugMsg, "updateFailed");
        h.click("bttn_update");
        QTRY_COMPARE_WITH_TIMEOUT(h.prompts->messages.size(), 1, RigTimeoutMs);
        QVERIFY(h.prompts->messages.at(0).icon == QMessageBox::Warning && h.prompts->parents.at(0) == &h.dialog);
        QVERIFY(lastUpdate().started == !userFile && !lastUpdate().succeeded());
        QVERIFY(!h.dialog.isBusy() && h.button("bttnDiscover")->isEnabled() && h.button("bttn_quit")->isEnabled());
        QVERIFY(h.dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"))->isHidden());
        // Supervision notices an unplugged device.
        QTRY_VERIFY_WITH_TIMEOUT(h.dialog.hasDevice() == userFile, RigTimeoutMs);
        QVERIFY(h.button("bttn_update")->isEnabled() == userFile && h.combo()->count() == int(userFile));
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
