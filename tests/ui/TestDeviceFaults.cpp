// Device faults end to end: an upload, a download and a firmware update against a simulated
// device that falls silent, refuses, garbles its reply or is unplugged at each frame of the
// operation in turn. Every run must end in exactly one outcome (success, or one failure
// message), leave the interface unlocked and the worker running, and the next discovery and
// list must work again. The whole suite runs under the sanitizers, so a leak on any of these
// paths fails it as well.
//
// The fault is armed at run time, counted from the operation's first frame: the device skips
// the supervision pings that the idle worker sends between requests, and the test starts the
// operation right after one of those pings, so the next is a whole ping interval away.

#include "MainWindow.h"

#include "IsolatedSettings.h"
#include "AppSettings.h"
#include "DeviceForm.h"
#include "DeviceRecord.h"
#include "FirmwareImageWriter.h"
#include "FirmwareUpdateDlg.h"
#include "KVPFrame.h"
#include "KVPWorkerParams.h"
#include "KVPWorkerThread.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

// After QByteArray: its qputenv overload takes one.
#include "KVPWorkerTestSupport.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

using Fault = sim::SimDevice::Fault;

Q_DECLARE_METATYPE(Fault)

namespace {

/// Generous: sanitizers slow the worker and the simulated device down a lot. The waits end
/// as soon as their condition holds, so this costs nothing on a passing run.
constexpr int TimeoutMs = 20000;
/// The reply timeout the links get here. A silent frame costs the phy's read timeout
/// (100 ms) at least anyway; this adds nothing to it, and a healthy simulated device
/// answers in well under a millisecond even under the sanitizers.
constexpr int ShortReplyTimeoutMs = 50;
/// An operation takes far fewer frames; a loop that gets here has lost count.
constexpr uint32_t MaxPositions = 200;

const QStringList UploadNames {QStringLiteral("Spot"), QStringLiteral("Wash"), QStringLiteral("Strobe")};

QString faultName(Fault fault)
{
    switch (fault) {
        case Fault::Silence:
            return QStringLiteral("silence");
        case Fault::Refusal:
            return QStringLiteral("refusal");
        case Fault::Corruption:
            return QStringLiteral("corruption");
        case Fault::Vanish:
            return QStringLiteral("vanish");
    }
    return QString();
}

/// Faults after which the device answers nothing more, so the next supervision ping
/// loses the connection.
bool endsConnection(Fault fault)
{
    return fault == Fault::Silence || fault == Fault::Vanish;
}

uint32_t framesReceived()
{
    uint32_t frames = 0;
    simBackend().withDevice(0, [&frames](sim::SimDevice& device) { frames = device.framesReceived(); });
    return frames;
}

bool faultArmed()
{
    bool armed = false;
    simBackend().withDevice(0, [&armed](sim::SimDevice& device) { armed = device.faultArmed(); });
    return armed;
}

void clearFaults()
{
    simBackend().withDevice(0, [](sim::SimDevice& device) { device.clearFaults(); });
}

/// Waits for the idle worker's next supervision ping, then arms `fault` for the
/// operation's `position`th frame. The operation must start at once: the next ping is a
/// whole ping interval away.
bool armAfterPing(Fault fault, uint32_t position)
{
    const uint32_t before = framesReceived();
    if (!QTest::qWaitFor([before] { return framesReceived() != before; }, TimeoutMs)) {
        return false;
    }
    simBackend().withDevice(0, [fault, position](sim::SimDevice& device) { device.armFault(fault, position); });
    return true;
}

/// The simulated devices live from before the first discovery until after the window
/// or the worker is gone.
struct SimDevices
{
    explicit SimDevices(const char* devices) { useSimDevices(devices); }
    ~SimDevices() { dropSimDevices(); }
};

/// What one run under a fault came to.
struct Run
{
    uint32_t position = 0;
    int boxes = 0;
    /// The operation's own evidence of success: the device stored the definitions, the
    /// library got them, or the device took the whole update.
    bool done = false;
};

QString describe(const char* operation, Fault fault, uint32_t position)
{
    return QStringLiteral("%1, %2 at frame %3").arg(QLatin1String(operation), faultName(fault)).arg(position);
}

/// The main window with scripted prompts over one simulated device; declared in this
/// order so the window goes before the device.
struct WindowHarness
{
    explicit WindowHarness(const char* devices) : sim(devices) { }

    template <typename T>
    T* widget(const char* name) const
    {
        return window.findChild<T*>(QLatin1String(name));
    }
    DeviceForm* remoteForm() const { return widget<DeviceForm>("remoteForm"); }
    LibraryForm* libraryForm() const { return widget<LibraryForm>("libraryForm"); }
    QComboBox* combo() const { return remoteForm()->devicesCombo(); }
    int deviceRows() const { return remoteForm()->model()->rowCount(); }
    int libraryRows() const { return libraryForm()->listModel()->rowCount(); }

    unsigned storedRecords() const
    {
        unsigned count = 0;
        simBackend().withDevice(0, [&count](sim::SimDevice& device) { count = device.store().count(); });
        return count;
    }

    /// The record numbers in use on the device.
    static std::vector<uint8_t> recordNumbers()
    {
        std::vector<uint8_t> numbers;
        simBackend().withDevice(0, [&numbers](sim::SimDevice& device) {
            for (unsigned number = 0; number <= sim::MaxSlots; ++number) {
                if (device.store().find(uint8_t(number))) {
                    numbers.push_back(uint8_t(number));
                }
            }
        });
        return numbers;
    }

    /// Deletes every record but `kept`, so that each run sees the same list.
    static void keepOnly(const std::vector<uint8_t>& kept)
    {
        for (uint8_t number : recordNumbers()) {
            if (std::find(kept.begin(), kept.end(), number) == kept.end()) {
                simBackend().withDevice(0, [number](sim::SimDevice& device) { device.store().remove(number); });
            }
        }
    }

    /// No request in flight and the interface unlocked: each step of a chain locks before
    /// the previous one unlocks, so this holds only once the whole chain is over.
    bool idle() const { return !window.currentRequest() && window.uploadAction()->isEnabled(); }
    bool waitIdle() const
    {
        return QTest::qWaitFor([this] { return idle(); }, TimeoutMs);
    }

    /// Everything the user could need next is usable again.
    bool unlocked() const
    {
        return !window.currentRequest() && window.uploadAction()->isEnabled() && window.downloadAction()->isEnabled()
            && widget<QAction>("actionDiscoverDevices")->isEnabled()
            && widget<QWidget>("discoverDevicesBttn")->isEnabled() && widget<QWidget>("devicesComboBox")->isEnabled()
            && !widget<QWidget>("progressBars")->isVisibleTo(&window) && window.workerThread()->isRunning();
    }

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

    void selectAllLibraryRows()
    {
        QTableView* view = libraryForm()->tableView();
        view->clearSelection();
        view->selectAll();
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

    /// After the outcome: the connection is let go where the fault ended it, the device
    /// is repaired, and a discovery with its list must work again.
    bool recover(Fault fault, bool fired)
    {
        if (fired && endsConnection(fault) && !QTest::qWaitFor([this] { return combo()->count() == 0; }, TimeoutMs)) {
            return false;
        }
        clearFaults();
        window.discoverDevices();
        return waitIdle() && combo()->count() == 1 && deviceRows() == int(storedRecords());
    }

    SimDevices sim;
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    MainWindow window {nullptr, prompts};
};

/// A dialog with scripted prompts over a started worker, as the main window runs it;
/// declared in this order so the dialog goes before the worker stops.
struct DialogHarness
{
    explicit DialogHarness(const char* devices) : sim(devices) { worker.start(); }
    ~DialogHarness()
    {
        worker.stopWorker();
        worker.wait();
    }

    QPushButton* button(const char* name) const { return dialog.findChild<QPushButton*>(QLatin1String(name)); }
    QComboBox* combo() const { return dialog.findChild<QComboBox*>(QStringLiteral("devicesCombo")); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    bool waitReady()
    {
        return QTest::qWaitFor([this] { return !dialog.isBusy() && dialog.hasDevice(); }, TimeoutMs);
    }

    /// Discovers as the main window does before it opens the dialog, and shows it.
    bool open()
    {
        bool finished = false;
        QObject context;
        QObject::connect(&worker, &KVPWorkerThread::deviceDiscoverFinsihed, &context, [&finished] { finished = true; });
        worker.discoverDevices();
        if (!QTest::qWaitFor([&finished] { return finished; }, TimeoutMs)) {
            return false;
        }
        dialog.setWorkerThread(&worker);
        dialog.show();
        return waitReady();
    }

    bool unlocked() const
    {
        return !dialog.isBusy() && button("bttnDiscover")->isEnabled() && button("bttn_quit")->isEnabled()
            && button("bttn_load")->isEnabled()
            && button("bttn_update")->isEnabled() == (dialog.hasDevice() && dialog.isFileValid()) && worker.isRunning();
    }

    bool recover(Fault fault, bool fired)
    {
        if (fired && endsConnection(fault) && !QTest::qWaitFor([this] { return !dialog.hasDevice(); }, TimeoutMs)) {
            return false;
        }
        clearFaults();
        click("bttnDiscover");
        return waitReady() && combo()->count() == 1 && button("bttn_update")->isEnabled();
    }

    int warnings() const
    {
        int count = 0;
        for (const MessagePrompt& prompt : prompts->messages) {
            count += prompt.icon == QMessageBox::Warning ? 1 : 0;
        }
        return count;
    }

    SimDevices sim;
    KVPWorkerThread worker;
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    FirmwareUpdateDlg dialog {nullptr, prompts};
};

void addFaultRows()
{
    QTest::addColumn<Fault>("fault");
    for (Fault fault : {Fault::Silence, Fault::Refusal, Fault::Corruption, Fault::Vanish}) {
        QTest::newRow(qPrintable(faultName(fault))) << fault;
    }
}

} // namespace

class TestDeviceFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void uploadEndsOnceAtEveryFaultyFrame_data();
    void uploadEndsOnceAtEveryFaultyFrame();
    void downloadEndsOnceAtEveryFaultyFrame_data();
    void downloadEndsOnceAtEveryFaultyFrame();
    void firmwareUpdateEndsOnceAtEveryFaultyFrame_data();
    void firmwareUpdateEndsOnceAtEveryFaultyFrame();

private:
    QTemporaryDir m_configHome;
    QTemporaryDir m_files;
    QString m_firmwarePath;
    int m_runs = 0;
    QElapsedTimer m_clock;
};

void TestDeviceFaults::initTestCase()
{
    // The user's own settings (and last library) are never touched by a test.
    QVERIFY(m_configHome.isValid());
    isolateSettings(m_configHome.path());
    const QSettings settings(
        QSettings::NativeFormat, QSettings::UserScope, AppSettings::OrganizationName, AppSettings::ApplicationName);
    QVERIFY2(settings.fileName().startsWith(m_configHome.path()), qPrintable(settings.fileName()));

    // Silent frames at every position of three operations: at the real two seconds each
    // this would take the better part of an hour.
    qputenv(ReplyTimeoutVariable, QByteArray::number(ShortReplyTimeoutMs));

    // A few frames instead of the hundreds of the built-in files: the header, a sector of
    // one frame and one of two, so first, middle and last chunks all get their turn.
    QVERIFY(m_files.isValid());
    FirmwareImageWriter writer;
    writer.setModel("QRD-780");
    writer.addSector(QByteArray(FirmwareImageWriter::SectorAlignment, '\x11'));
    writer.addSector(QByteArray(3 * FirmwareImageWriter::SectorAlignment, '\x22'));
    m_firmwarePath = m_files.filePath(QStringLiteral("tiny.kv2"));
    QFile file(m_firmwarePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY2(writer.write(file), writer.errorString().constData());
    m_clock.start();
}

void TestDeviceFaults::cleanupTestCase()
{
    qunsetenv(ReplyTimeoutVariable);
    qInfo("%d runs in %lld ms", m_runs, static_cast<long long>(m_clock.elapsed()));
}

void TestDeviceFaults::uploadEndsOnceAtEveryFaultyFrame_data()
{
    addFaultRows();
}

void TestDeviceFaults::uploadEndsOnceAtEveryFaultyFrame()
{
    QFETCH(Fault, fault);

    // No patch list, so the upload asks nothing; the two records give the list something
    // to show from the start.
    WindowHarness h("records=2,slots=255");
    QVERIFY(h.waitIdle());
    h.addDefinition(UploadNames[0], 4);
    h.addDefinition(UploadNames[1], 12);
    h.addDefinition(UploadNames[2], 45);
    QCOMPARE(h.deviceRows(), 2);

    // The identity and memory state, then every record in whole frames; the list that is
    // read again afterwards follows.
    const size_t chunk = sim::SimDeviceConfig().frameSize - Frame::Overhead;
    const uint32_t writeFrames
        = 2 + uint32_t(UploadNames.size()) * uint32_t((DeviceRecord::RecordLength + chunk - 1) / chunk);

    const std::vector<uint8_t> initialRecords = WindowHarness::recordNumbers();
    QCOMPARE(initialRecords.size(), size_t(2));
    for (uint32_t position = 1; position <= MaxPositions; ++position) {
        const QString where = describe("upload", fault, position);
        h.selectAllLibraryRows();
        QCOMPARE(h.libraryForm()->selectedFixtureDefinitions().size(), UploadNames.size());
        const unsigned storedBefore = h.storedRecords();
        const int boxesBefore = int(h.prompts->messages.size());

        QVERIFY2(armAfterPing(fault, position), qPrintable(where));
        h.window.uploadCurrentSelection();
        QVERIFY2(h.window.currentRequest(), qPrintable(where));
        QVERIFY2(h.waitIdle(), qPrintable(where));
        ++m_runs;
        const bool fired = !faultArmed();
        QVERIFY2(h.unlocked(), qPrintable(where));

        Run run {position, 0, h.storedRecords() - storedBefore == unsigned(UploadNames.size())};
        // The device keeps only what it started with, so every run sees the same frames.
        WindowHarness::keepOnly(initialRecords);

        QVERIFY2(h.recover(fault, fired), qPrintable(where));
        // Counted after the recovery, so a second box on the way shows up as well.
        run.boxes = int(h.prompts->messages.size()) - boxesBefore;
        QVERIFY2(h.window.workerThread()->isRunning(), qPrintable(where));
        QCOMPARE(h.prompts->unexpected, 0);

        if (!fired) {
            // The operation has fewer frames than this: a healthy run, which must succeed.
            QVERIFY2(run.boxes == 0 && run.done, qPrintable(where));
            QVERIFY2(position > writeFrames, qPrintable(where));
            qInfo("upload, %s: %u frames", qPrintable(faultName(fault)), position - 1);
            return;
        }
        QVERIFY2(run.boxes <= 1, qPrintable(where + QStringLiteral(": ") + h.prompts->texts().join(QLatin1Char('|'))));
        if (position <= writeFrames) {
            // A fault while writing is always reported, even when the device got it all.
            QVERIFY2(run.boxes == 1, qPrintable(where));
        } else {
            // The list read afterwards fails quietly: the upload itself went well.
            QVERIFY2(run.boxes == 0 && run.done, qPrintable(where));
        }
    }
    QFAIL("the upload never ended without its fault");
}

void TestDeviceFaults::downloadEndsOnceAtEveryFaultyFrame_data()
{
    addFaultRows();
}

void TestDeviceFaults::downloadEndsOnceAtEveryFaultyFrame()
{
    QFETCH(Fault, fault);

    WindowHarness h("records=3");
    QVERIFY(h.waitIdle());
    QCOMPARE(h.deviceRows(), 3);

    for (uint32_t position = 1; position <= MaxPositions; ++position) {
        const QString where = describe("download", fault, position);
        h.selectDeviceRows({0, 1, 2});
        QCOMPARE(h.remoteForm()->selectedRemoteDefinitions().size(), 3);
        const int rowsBefore = h.libraryRows();
        const int boxesBefore = int(h.prompts->messages.size());

        QVERIFY2(armAfterPing(fault, position), qPrintable(where));
        h.window.downloadCurrentSelection();
        QVERIFY2(h.window.currentRequest(), qPrintable(where));
        QVERIFY2(h.waitIdle(), qPrintable(where));
        ++m_runs;
        const bool fired = !faultArmed();
        QVERIFY2(h.unlocked(), qPrintable(where));
        const int added = h.libraryRows() - rowsBefore;

        QVERIFY2(h.recover(fault, fired), qPrintable(where));
        const int boxes = int(h.prompts->messages.size()) - boxesBefore;
        QVERIFY2(h.window.workerThread()->isRunning(), qPrintable(where));
        QCOMPARE(h.prompts->unexpected, 0);

        if (!fired) {
            QVERIFY2(boxes == 0 && added == 3, qPrintable(where));
            QVERIFY2(position > 3, qPrintable(where));
            qInfo("download, %s: %u frames", qPrintable(faultName(fault)), position - 1);
            return;
        }
        // Every frame of a download carries part of a record: a fault anywhere fails it
        // whole, and nothing half-read reaches the library.
        QVERIFY2(boxes == 1 && added == 0,
                 qPrintable(where + QStringLiteral(": %1 boxes, %2 added").arg(boxes).arg(added)));
    }
    QFAIL("the download never ended without its fault");
}

void TestDeviceFaults::firmwareUpdateEndsOnceAtEveryFaultyFrame_data()
{
    addFaultRows();
}

void TestDeviceFaults::firmwareUpdateEndsOnceAtEveryFaultyFrame()
{
    QFETCH(Fault, fault);

    DialogHarness h("model=QRD-780");
    QVERIFY(h.open());
    Q_EMIT h.dialog.findChild<QLabel*>(QStringLiteral("lbl_fileOpenMode"))
        ->linkActivated(QStringLiteral("alternative-update-file"));
    h.prompts->fileNames << m_firmwarePath;
    h.click("bttn_load");
    QVERIFY(h.dialog.isFileValid());
    QVERIFY(h.button("bttn_update")->isEnabled());

    std::vector<Run> runs;
    for (uint32_t position = 1; position <= MaxPositions; ++position) {
        const QString where = describe("firmware update", fault, position);
        const int boxesBefore = int(h.prompts->messages.size());
        const int warningsBefore = h.warnings();

        QVERIFY2(armAfterPing(fault, position), qPrintable(where));
        h.click("bttn_update");
        QVERIFY2(h.dialog.isBusy(), qPrintable(where));
        QVERIFY2(QTest::qWaitFor([&h] { return !h.dialog.isBusy(); }, TimeoutMs), qPrintable(where));
        ++m_runs;
        const bool fired = !faultArmed();
        QVERIFY2(h.unlocked(), qPrintable(where));
        Run run {position, 0, false};
        simBackend().withDevice(0, [&run](sim::SimDevice& device) { run.done = device.lastFirmwareUpdate().complete; });

        QVERIFY2(h.recover(fault, fired), qPrintable(where));
        run.boxes = h.warnings() - warningsBefore;
        QCOMPARE(int(h.prompts->messages.size()) - boxesBefore, run.boxes);
        QVERIFY2(h.worker.isRunning(), qPrintable(where));
        QCOMPARE(h.prompts->unexpected, 0);

        if (!fired) {
            QVERIFY2(run.boxes == 0 && run.done, qPrintable(where));
            const uint32_t frames = position - 1;
            qInfo("firmware update, %s: %u frames", qPrintable(faultName(fault)), frames);
            // The identity, the header and three sector frames.
            QCOMPARE(frames, 5u);
            for (const Run& earlier : runs) {
                const QString at = describe("firmware update", fault, earlier.position);
                if (earlier.position == frames && fault != Fault::Refusal) {
                    // A device that takes its new firmware restarts instead of answering the
                    // very last frame: no reply there counts as done, whatever the reason.
                    QVERIFY2(earlier.boxes == 0, qPrintable(at));
                } else {
                    QVERIFY2(earlier.boxes == 1 && !earlier.done, qPrintable(at));
                }
            }
            return;
        }
        runs.push_back(run);
        QVERIFY2(run.boxes <= 1, qPrintable(where));
    }
    QFAIL("the firmware update never ended without its fault");
}

QTEST_MAIN(TestDeviceFaults)
#include "TestDeviceFaults.moc"
