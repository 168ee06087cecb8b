// The firmware update request against a simulated device, run directly on the test thread
// with a link opened as the worker opens it.

#include "FirmwareImageWriter.h"
#include "FirmwareUpdateFile.h"
#include "KVPFrame.h"
#include "KVPUpdateFirmwareRequest.h"
#include "WorkerRig.h"

#include <algorithm>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

using Sizes = QList<int>;

/// A valid update file for `model` with sectors of the given sizes (whole alignment units; a
/// size of 0, which the writer refuses, only at the end).
QByteArray makeFile(const QByteArray& model, const Sizes& sizes)
{
    FirmwareImageWriter writer;
    writer.setModel(model);
    for (int i = 0; i < sizes.size() && sizes[i] > 0; ++i) {
        QByteArray sector(sizes[i], '\0');
        for (int b = 0; b < sizes[i]; ++b) {
            sector[b] = char(i * 31 + b * 7);
        }
        writer.addSector(sector);
    }
    QByteArray file = writer.build();
    file[46] = char(sizes.size()); // the sector count
    return file;
}

struct Run
{
    std::unique_ptr<Recorder> recorder;
    uint32_t frames = 0; // the device received during the run
    sim::SimFirmwareUpdate::Outcome update;
};

/// Runs one update of `file` and destroys the request before the link sends again, so an
/// observer left behind on the link would be touched after it is freed.
Run runUpdate(FirmwareUpdateFile& file, Connection& connection)
{
    Run run;
    const uint32_t before = device().framesReceived();
    {
        KVPUpdateFirmwareRequest request;
        request.setUpdateFile(&file);
        run.recorder = std::make_unique<Recorder>(request);
        run.recorder->on(&request, &KVPUpdateFirmwareRequest::progress, run.recorder->current);
        request.work(&connection.params);
    }
    run.frames = device().framesReceived() - before;
    run.update = device().lastFirmwareUpdate();
    const uint8_t probe[4] = {};
    if (connection.link) {
        connection.link->sendData(probe, sizeof(probe), Command::FirmwareHeader, 0);
    }
    return run;
}

} // namespace

class TestKVPUpdateFirmwareRequest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useShortReplyTimeout(); }
    void cleanup() { dropSimDevices(); }

    // A fault with "=" goes to the device as written. "silentBeforeLast" silences the frame before
    // the last of a clean update (still inside the last sector), "refuseLast" refuses the last,
    // counted on a first device; "no link" leaves the device closed.
    void updateEndsAsTheDeviceAnswers_data()
    {
        QTest::addColumn<QByteArray>("fileModel");
        QTest::addColumn<Sizes>("sizes");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("frames"); // after the identity exchange of the request; -1: not checked
        QTest::addColumn<int>("imageBytes"); // sector bytes the device received; -1: not checked
        QTest::addColumn<bool>("deviceUpdated");
        QTest::addColumn<QString>("outcome");

        const QByteArray ours = "QRD-540B";
        const Sizes two {256, 1024};
        QTest::newRow("complete") << ours << two << "" << -1 << 1280 << true << "workDone";
        QTest::newRow("no link") << ours << two << "no link" << -1 << 0 << false << "FailGeneral";
        QTest::newRow("file for another model sends nothing")
            << QByteArray("QRD-780") << two << "" << 0 << 0 << false << "FailGeneral";
        QTest::newRow("no sectors sends the header only") << ours << Sizes {} << "" << 1 << 0 << true << "workDone";
        // Frame 1 is the identity of the selection, frame 2 that of the request.
        QTest::newRow("header refused sends no sector")
            << ours << two << "refuse=3" << 1 << 0 << false << "FailGeneral";
        QTest::newRow("final frame unacknowledged") << ours << two << "nolastack=1" << -1 << 1280 << true << "workDone";
        QTest::newRow("earlier frame of last sector unacknowledged")
            << ours << two << "silentBeforeLast" << -1 << -1 << false << "FailGeneral";
        QTest::newRow("final frame refused") << ours << two << "refuseLast" << -1 << -1 << false << "FailGeneral";
        QTest::newRow("zero-size sector fails when reached")
            << ours << Sizes {256, 0} << "" << -1 << 256 << false << "FailGeneral";
    }
    void updateEndsAsTheDeviceAnswers()
    {
        QFETCH(QByteArray, fileModel);
        QFETCH(Sizes, sizes);
        QFETCH(QString, fault);
        QFETCH(QString, outcome);
        QFETCH(int, frames);
        QFETCH(int, imageBytes);
        QFETCH(bool, deviceUpdated);
        FirmwareUpdateFile file;
        QVERIFY(file.load(makeFile(fileModel, sizes)));
        QByteArray devices = "model=QRD-540B";
        if (fault.contains('=')) {
            devices += ',' + fault.toLatin1();
        } else if (fault.endsWith("Last")) {
            Connection clean(devices.constData());
            QCOMPARE(runUpdate(file, clean).recorder->outcomes, QStringList {"workDone"});
            const uint32_t last = device().framesReceived() - 1; // less the probe after the run
            devices += fault == "refuseLast" ? ",refuse=" + QByteArray::number(last)
                                             : ",silentfrom=" + QByteArray::number(last - 1);
        }
        Connection connection(devices.constData(), fault != "no link");
        const Run run = runUpdate(file, connection);
        const QList<int>& percents = run.recorder->current;
        QCOMPARE(run.recorder->outcomes, QStringList {outcome});
        QCOMPARE(run.recorder->progressAfterOutcome, 0);
        QVERIFY(std::is_sorted(percents.cbegin(), percents.cend()));
        QVERIFY(outcome != "workDone" || (!percents.isEmpty() && percents.last() == 100));
        QVERIFY(frames < 0 || run.frames == uint32_t(1 + frames));
        QVERIFY(frames != 0 || !run.update.started);
        QVERIFY(fault != "no link" || run.frames == 0);
        QVERIFY(imageBytes < 0 || int(run.update.image.size()) == imageBytes);
        QCOMPARE(run.update.succeeded(), deviceUpdated);
    }
};

QTEST_GUILESS_MAIN(TestKVPUpdateFirmwareRequest)
#include "TestKVPUpdateFirmwareRequest.moc"
