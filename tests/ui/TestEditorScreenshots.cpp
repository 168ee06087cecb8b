// Pictures of the whole editor for the README and for review: the window with a library
// and a device list, an upload in progress, and the firmware dialog. Skipped unless
// QRD_SCREENSHOT_DIR names a folder; run it under Xvfb (QT_QPA_PLATFORM=xcb) to get
// real windows, as tools/screenshots.sh does.

#include "IsolatedSettings.h"
#include "KVPWorkerTestSupport.h"
#include "DeviceForm.h"
#include "KVFLArchive.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "MainWindow.h"
#include "QKVFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "ScriptedPrompts.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace korvane::KVP;

namespace {

const char* const Kinds[] = {"LED Par RGBW", "Wash 19x15", "Spot 575", "Scanner 250", "Dimmer Pack 6", "Strobe 1500"};
const char* const Makers[] = {"Generic", "Acme Lighting", "Brightline", "Stagecraft"};
const char* const Channels[] = {"Pan",
                                "Pan Fine",
                                "Tilt",
                                "Tilt Fine",
                                "Speed",
                                "Dimmer",
                                "Shutter",
                                "Color",
                                "Gobo",
                                "Prism",
                                "Focus",
                                "Zoom",
                                "Macro",
                                "Reset"};

QString writeLibrary(const QString& path)
{
    std::vector<std::unique_ptr<QKVFixtureDefinition>> definitions;
    QList<QKVFixtureDefinition*> list;
    for (int i = 0; i < 30; ++i) {
        auto definition = std::make_unique<QKVFixtureDefinition>();
        definition->setName(QStringLiteral("%1 %2").arg(QLatin1String(Kinds[i % 6])).arg(QChar('A' + i / 6)));
        definition->setManufacturer(QLatin1String(Makers[i % 4]));
        definition->setType(i % 11);
        for (int c = 0; c < 3 + (i * 5) % 12; ++c) {
            definition->appendChannel(makeChannel(c + 1, QLatin1String(Channels[c])));
        }
        list.append(definition.get());
        definitions.push_back(std::move(definition));
    }
    KVFLArchive archive(path);
    archive.setDefinitionsToSave(list);
    return archive.save() ? path : QString();
}

/// The window as the screen shows it (with its frame under a window manager, if any).
bool save(QWidget& widget, const QString& name)
{
    QPixmap picture;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        picture = widget.screen()->grabWindow(widget.winId());
    } else {
        picture = widget.grab();
    }
    return picture.save(qEnvironmentVariable("QRD_SCREENSHOT_DIR") + QLatin1Char('/') + name);
}

} // namespace

class TestEditorScreenshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("QRD_SCREENSHOT_DIR")) {
            QSKIP("set QRD_SCREENSHOT_DIR to save pictures of the editor");
        }
        QVERIFY(m_folder.isValid());
        isolateSettings(m_folder.path());
        // Replies take a while, so an upload can be caught in flight.
        test::useSimDevices("model=QRD-780,records=12,latency=15;model=QRD-540B,fw=0x0101,records=3");
    }

    void cleanupTestCase() { test::dropSimDevices(); }

    void editorWithLibraryAndDeviceList()
    {
        auto prompts = std::make_shared<ScriptedPrompts>();
        MainWindow window(writeLibrary(m_folder.filePath("Rig.kvfl")), prompts);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* device = window.findChild<DeviceForm*>("remoteForm");
        QTRY_COMPARE_WITH_TIMEOUT(device->model()->rowCount(), 12, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!window.currentRequest(), 10000);
        auto* library = window.findChild<LibraryForm*>("libraryForm");
        library->tableView()->selectRow(4);
        library->updateCurrentFixtureDefinition();
        device->fixtureListView()->selectRow(2);
        library->slotTimer();
        library->slotTimer();
        library->slotTimer();
        QTest::qWait(200);
        QVERIFY(save(window, QStringLiteral("editor.png")));

        // An upload of eight definitions, pictured half way.
        library->tableView()->selectAll();
        library->clearSelection();
        for (int row = 0; row < 8; ++row) {
            library->tableView()->selectionModel()->select(library->tableView()->model()->index(row, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        window.uploadCurrentSelection();
        auto* total = window.findChild<QProgressBar*>("progBarTotal");
        QTRY_VERIFY_WITH_TIMEOUT(total->value() >= 30, 30000);
        QVERIFY(save(window, QStringLiteral("upload.png")));
        QTRY_VERIFY_WITH_TIMEOUT(!window.currentRequest() && device->model()->rowCount() == 20, 60000);

        // The firmware dialog over the window, with the QRD-540B selected.
        prompts->onDialog = [](QDialog& dialog) {
            dialog.show();
            auto* combo = dialog.findChild<QComboBox*>("devicesCombo");
            QTest::qWait(300);
            if (combo && combo->count() > 1) {
                combo->setCurrentIndex(1);
            }
            QTest::qWait(1500);
            save(dialog, QStringLiteral("firmware-dialog.png"));
            dialog.hide();
            return int(QDialog::Rejected);
        };
        window.on_actionUpdate_firmware_triggered();
        QCOMPARE(prompts->dialogs, QStringList {"FirmwareUpdateDlg"});
        QTRY_VERIFY_WITH_TIMEOUT(!window.currentRequest() && device->model()->rowCount() > 0, 10000);
    }

    void demoWindow()
    {
        // What ./run.sh --demo shows, for the README.
        test::useSimDevices("model=QRD-780,records=12,patch=1;model=QRD-540B,fw=0x0101,records=3");
        const QString demo = m_folder.filePath(QStringLiteral("demo.kvfl"));
        QVERIFY(QFile::copy(QStringLiteral(QRD_TEST_DATA_DIR "/../../examples/demo.kvfl"), demo));
        auto prompts = std::make_shared<ScriptedPrompts>();
        MainWindow window(demo, prompts);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* device = window.findChild<DeviceForm*>("remoteForm");
        QTRY_COMPARE_WITH_TIMEOUT(device->model()->rowCount(), 12, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!window.currentRequest(), 10000);
        auto* library = window.findChild<LibraryForm*>("libraryForm");
        QAbstractItemModel* rows = library->tableView()->model();
        for (int row = 0; row < rows->rowCount(); ++row) {
            if (rows->index(row, 0).data().toString() == QLatin1String("Moving Head Spot 11ch")) {
                library->tableView()->selectRow(row);
            }
        }
        library->updateCurrentFixtureDefinition();
        auto* channels = window.findChild<QTreeView*>("channelListView");
        channels->setCurrentIndex(channels->model()->index(2, 0));
        for (int tick = 0; tick < 3; ++tick) {
            library->slotTimer();
        }
        QTest::qWait(200);
        QVERIFY(save(window, QStringLiteral("demo.png")));
    }

private:
    QTemporaryDir m_folder;
};

QTEST_MAIN(TestEditorScreenshots)
#include "TestEditorScreenshots.moc"
