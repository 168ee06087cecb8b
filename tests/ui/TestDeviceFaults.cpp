// Upload, download and firmware update against a device that falls silent, refuses, garbles
// or is unplugged at one frame: each run ends in one outcome, unlocked, and discovery works again.
// The fault counts frames from the operation's first; the test starts it right after a ping.

#include "FirmwareImageWriter.h"
#include "IsolatedSettings.h"
#include "KVPWorkerParams.h"
#include "SimWindowRig.h"

#include <QFile>
#include <QTemporaryDir>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

using Fault = sim::SimDevice::Fault;
Q_DECLARE_METATYPE(Fault)

namespace {

enum Operation { Upload, Download, Update };

const QStringList UploadNames {QStringLiteral("Spot"), QStringLiteral("Wash")};

/// Waits for the idle worker's next ping, then arms `fault` for the operation's `position`th frame.
bool armAfterPing(Fault fault, uint32_t position)
{
    const auto frames = [] { return onSimDevice([](sim::SimDevice& device) { return device.framesReceived(); }); };
    const uint32_t before = frames();
    return QTest::qWaitFor([&] { return frames() != before; }, RigTimeoutMs)
        && (simBackend().withDevice(0, [=](sim::SimDevice& device) { device.armFault(fault, position); }), true);
}

} // namespace

class TestDeviceFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        isolateSettings(m_configHome.path());
        qputenv(ReplyTimeoutVariable, "50");

        // A header, a sector of one frame and one of two: first, middle and last chunks.
        FirmwareImageWriter writer;
        writer.setModel("QRD-780");
        writer.addSector(QByteArray(FirmwareImageWriter::SectorAlignment, '\x11'));
        writer.addSector(QByteArray(3 * FirmwareImageWriter::SectorAlignment, '\x22'));
        m_firmwarePath = m_files.filePath(QStringLiteral("tiny.kv2"));
        QFile file(m_firmwarePath);
        QVERIFY2(file.open(QIODevice::WriteOnly) && writer.write(file), writer.errorString().constData());
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            cleanupTestCase();
        }
    }
    void cleanupTestCase() { m_window.reset(), m_dialog.reset(); }

    void operationEndsOnceAtFaultyFrame_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<uint>("position");
        QTest::addColumn<bool>("fires");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<int>("done"); // -1: either
        // Upload: identity, memory state, two records of 11 frames, the list of five in three.
        // Download: records of one, two and two frames. Update: identity, header, sectors of one
        // and two. Frames left out take a neighbour's path; one past the end never fires.
        const char* names[] {"silence", "refusal", "corruption", "vanish"};
        // Positions outermost: a whole firmware update stays the device's last until the next.
        const auto sweep = [&](const char* name, Operation operation, uint frames, const QList<uint>& positions) {
            for (uint position : positions) {
                for (Fault fault : {Fault::Silence, Fault::Refusal, Fault::Corruption, Fault::Vanish}) {
                    const bool fires = position <= frames;
                    int boxes = fires ? 1 : 0, done = fires ? 0 : 1;
                    if (operation == Upload && fires) {
                        // Writing faults are reported even if all arrived; the list re-read fails quietly.
                        boxes = position <= 24 ? 1 : 0, done = position <= 24 ? -1 : 1;
                    } else if (operation == Update) {
                        // Asked first, then warned or told it worked. The device restarts instead of
                        // answering the last frame: counts as done.
                        boxes = 2, done = position == frames && fault != Fault::Refusal ? -1 : done;
                    }
                    if (fires || fault == Fault::Silence) {
                        QTest::addRow("%s, %s at frame %u", name, names[int(fault)], position)
                            << int(operation) << fault << position << fires << boxes << done;
                    }
                }
            }
        };
        sweep("upload", Upload, 27, {1, 2, 3, 8, 13, 14, 24, 25, 27, 28});
        sweep("download", Download, 5, {1, 2, 3, 5, 6});
        sweep("update", Update, 5, {1, 2, 3, 4, 5, 6});
    }

    void operationEndsOnceAtFaultyFrame()
    {
        QFETCH(int, operation);
        QFETCH(Fault, fault);
        QFETCH(uint, position);
        QFETCH(bool, fires);
        QFETCH(int, boxes);
        QFETCH(int, done);
        if (operation == Update && !m_dialog) {
            m_window.reset();
            m_dialog = std::make_unique<DialogRig>("model=QRD-780");
            QVERIFY(m_dialog->open());
            m_dialog->clickLink(QStringLiteral("alternative-update-file"));
            m_dialog->prompts->fileNames << m_firmwarePath;
            m_dialog->click("bttn_load");
        } else if (operation != Update && !m_window) {
            m_window = std::make_unique<WindowRig>("records=3");
            QVERIFY(m_window->waitIdle());
            m_window->addDefinition(UploadNames[0], 4);
            m_window->addDefinition(UploadNames[1], 45);
            m_initialStore = onSimDevice([](sim::SimDevice& device) { return device.store(); });
        }
        DialogRig* d = m_dialog.get();
        WindowRig* w = m_window.get();
        ScriptedPrompts& prompts = d ? *d->prompts : *w->prompts;
        const qsizetype boxesBefore = prompts.messages.size();
        const int rowsBefore = w ? w->libraryRows() : 0;
        if (operation == Upload) {
            w->selectLibrary(UploadNames);
        } else if (operation == Download) {
            w->selectDeviceRows({0, 1, 2});
        }

        QVERIFY(armAfterPing(fault, position));
        int outcome = 0;
        if (d) {
            d->click("bttn_update");
            QVERIFY(d->dialog.isBusy() && d->waitIdle());
            QVERIFY(d->button("bttnDiscover")->isEnabled() && d->button("bttn_quit")->isEnabled()
                    && d->button("bttn_load")->isEnabled() && d->worker.isRunning());
            QCOMPARE(d->button("bttn_update")->isEnabled(), d->dialog.hasDevice());
            outcome = onSimDevice([](sim::SimDevice& device) { return device.lastFirmwareUpdate().complete; });
        } else {
            operation == Upload ? w->window.uploadCurrentSelection() : w->window.downloadCurrentSelection();
            QVERIFY(w->window.currentRequest() && w->waitIdle() && w->unlocked());
            // Nothing half-read reaches the library.
            const int added = w->libraryRows() - rowsBefore;
            QVERIFY2(added == 0 || added == 3, qPrintable(QString::number(added)));
            const unsigned stored = onSimDevice([](sim::SimDevice& device) { return device.store().count(); });
            outcome = operation == Upload ? stored == m_initialStore->count() + 2 : added == 3;
            // The device keeps only what it started with, so every run sees the same frames.
            simBackend().withDevice(0, [this](sim::SimDevice& device) { device.store() = *m_initialStore; });
        }
        QCOMPARE(!onSimDevice([](sim::SimDevice& device) { return device.faultArmed(); }), fires);

        // Repaired, the device must be found again; this also drops a connection the fault ended.
        simBackend().withDevice(0, [](sim::SimDevice& device) { device.clearFaults(); });
        d ? d->click("bttnDiscover") : w->window.discoverDevices();
        QVERIFY(d ? d->waitReady() && d->button("bttn_update")->isEnabled() : w->waitIdle() && w->deviceRows() == 3);
        QCOMPARE((d ? d->combo() : w->combo())->count(), 1);
        // Counted after the recovery, so a second box on the way shows up as well.
        QVERIFY2(prompts.messages.size() - boxesBefore == boxes, qPrintable(prompts.texts().join(QLatin1Char('|'))));
        QCOMPARE(prompts.unexpected, 0);
        QVERIFY(done < 0 || outcome == done);
    }

private:
    QTemporaryDir m_configHome;
    QTemporaryDir m_files;
    QString m_firmwarePath;
    std::unique_ptr<WindowRig> m_window;
    std::unique_ptr<DialogRig> m_dialog;
    std::optional<sim::SimFixtureStore> m_initialStore;
};

QTEST_MAIN(TestDeviceFaults)
#include "TestDeviceFaults.moc"
