// The firmware update request against a simulated device, run directly on the test thread
// with a link opened as the worker opens it.

#include "FirmwareUpdateFile.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPPhy.h"
#include "KVPSelectDeviceRequest.h"
#include "KVPUpdateFirmwareRequest.h"
#include "KVPWorkerParams.h"

#include <QByteArray>
#include <QTest>

// After QByteArray: its qputenv overload takes one.
#include "KVPWorkerTestSupport.h"

#include <algorithm>
#include <memory>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

using Sizes = QList<int>;

// KVU2 head layout, little-endian.
constexpr int ModelOffset = 5;
constexpr int SectorCountOffset = 46;
constexpr int SectorSizesOffset = 68;
constexpr int ChecksumOffset = 100;

void putU32(QByteArray& file, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        file[offset + i] = char(value >> (8 * i));
    }
}

/// A valid update file for `model` with sectors of the given sizes, filled with a pattern.
QByteArray makeFile(const QByteArray& model, const Sizes& sizes)
{
    QByteArray file(FirmwareUpdateFile::HeadSize, '\0');
    file.replace(0, 5, QByteArray("KVU2\0", 5));
    file.replace(ModelOffset, model.size(), model);
    file[SectorCountOffset] = char(sizes.size());
    uint32_t sum = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        putU32(file, SectorSizesOffset + 4 * i, uint32_t(sizes[i]));
        for (int b = 0; b < sizes[i]; ++b) {
            const auto byte = uint8_t(i * 31 + b * 7);
            file += char(byte);
            sum += byte;
        }
    }
    putU32(file, ChecksumOffset, sum);
    return file;
}

sim::SimDevice& device()
{
    return *simBackend().device(0);
}

/// The first simulated device opened as the worker opens it; the identity ping is frame 1.
struct Connection
{
    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPLinkParams params {&link};

    explicit Connection(const QByteArray& devices)
    {
        useSimDevices(devices.constData());
        KVPSelectParams selectParams {&link, &phy, QStringLiteral("usb:ftdi/0")};
        KVPSelectDeviceRequest().work(&selectParams);
    }
    ~Connection()
    {
        link.reset();
        phy.reset();
        dropSimDevices();
    }
};

struct Run
{
    QStringList outcomes;
    QList<int> percents;
    int progressAfterOutcome = 0;
    /// Frames the device received during the run, and its firmware side right after it.
    uint32_t frames = 0;
    sim::SimFirmwareUpdate::Outcome update;
};

/// Runs one update of `file` and then destroys the request, so an observer left behind
/// on the link would be touched after it is freed by the transfer that follows.
Run runUpdate(FirmwareUpdateFile* file, KVPLinkParams& params)
{
    Run run;
    auto request = std::make_unique<KVPUpdateFirmwareRequest>();
    request->setUpdateFile(file);
    QObject::connect(request.get(), &KVPWorkerRequestI::workDone, [&run] { run.outcomes << "workDone"; });
    QObject::connect(request.get(), &KVPWorkerRequestI::failed, [&run](KVPWorkerRequestI::failReason reason) {
        run.outcomes << QStringLiteral("failed:%1").arg(int(reason));
    });
    QObject::connect(request.get(), &KVPUpdateFirmwareRequest::progress, [&run](int percent) {
        run.progressAfterOutcome += run.outcomes.isEmpty() ? 0 : 1;
        run.percents << percent;
    });
    const uint32_t before = device().framesReceived();
    request->work(&params);
    run.frames = device().framesReceived() - before;
    run.update = device().lastFirmwareUpdate();
    request.reset();
    if (KVPLink* link = params.link->get()) {
        const uint8_t probe[4] = {};
        link->sendData(probe, sizeof(probe), Command::FirmwareHeader, 0);
    }
    return run;
}

void row(const char* name,
         const QByteArray& model,
         const Sizes& sizes,
         const QString& fault,
         const QString& outcome,
         int framesAfterIdentity,
         int imageBytes,
         bool deviceUpdated)
{
    QTest::newRow(name) << model << sizes << fault << outcome << framesAfterIdentity << imageBytes << deviceUpdated;
}

bool neverDecreases(const QList<int>& percents)
{
    return std::is_sorted(percents.cbegin(), percents.cend());
}

} // namespace

class TestKVPUpdateFirmwareRequest : public QObject
{
    Q_OBJECT

private slots:
    void failsAtOnceWithoutLink();
    void updateEndsAsTheDeviceAnswers_data();
    void updateEndsAsTheDeviceAnswers();
};

void TestKVPUpdateFirmwareRequest::failsAtOnceWithoutLink()
{
    useSimDevices("model=QRD-540B");
    FirmwareUpdateFile file;
    QVERIFY(file.load(makeFile("QRD-540B", {512})));
    std::unique_ptr<KVPLink> none;
    KVPLinkParams params {&none};
    const Run run = runUpdate(&file, params);
    QCOMPARE(run.outcomes, QStringList {"failed:0"});
    QVERIFY(run.percents.isEmpty());
    QCOMPARE(run.frames, 0u);
    dropSimDevices();
}

// A fault with "=" goes to the device as written. The other two are placed relative to the last
// frame of a clean update, counted on a first device: "silentBeforeLast" silences the frame
// before it (still inside the last sector), "refuseLast" refuses the final frame.
void TestKVPUpdateFirmwareRequest::updateEndsAsTheDeviceAnswers_data()
{
    QTest::addColumn<QByteArray>("fileModel");
    QTest::addColumn<Sizes>("sizes");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("outcome");
    // Frames after the identity exchange of the request; -1 when the count depends on the frame size.
    QTest::addColumn<int>("framesAfterIdentity");
    // Sector bytes the device received; -1: not checked.
    QTest::addColumn<int>("imageBytes");
    QTest::addColumn<bool>("deviceUpdated");

    const QByteArray ours = "QRD-540B";
    const Sizes two {512, 1024};
    row("complete", ours, two, "", "workDone", -1, 1536, true);
    row("file for another model sends nothing", "QRD-780", two, "", "failed:0", 0, 0, false);
    row("no sectors sends the header only", ours, {}, "", "workDone", 1, 0, true);
    // Frame 1 is the identity of the selection, frame 2 that of the request.
    row("header refused sends no sector", ours, two, "refuse=3", "failed:0", 1, 0, false);
    row("final frame unacknowledged", ours, two, "nolastack=1", "workDone", -1, 1536, true);
    row("earlier frame of last sector unacknowledged", ours, two, "silentBeforeLast", "failed:0", -1, -1, false);
    row("final frame refused", ours, two, "refuseLast", "failed:0", -1, -1, false);
    row("zero-size sector fails when reached", ours, {512, 0}, "", "failed:0", -1, 512, false);
}

void TestKVPUpdateFirmwareRequest::updateEndsAsTheDeviceAnswers()
{
    QFETCH(QByteArray, fileModel);
    QFETCH(Sizes, sizes);
    QFETCH(QString, fault);
    QFETCH(QString, outcome);
    QFETCH(int, framesAfterIdentity);
    QFETCH(int, imageBytes);
    QFETCH(bool, deviceUpdated);

    FirmwareUpdateFile file;
    QVERIFY(file.load(makeFile(fileModel, sizes)));

    QByteArray devices = "model=QRD-540B";
    if (fault.contains('=')) {
        devices += ',' + fault.toLatin1();
    } else if (!fault.isEmpty()) {
        uint32_t lastFrame = 0;
        {
            Connection clean(devices);
            QCOMPARE(runUpdate(&file, clean.params).outcomes, QStringList {"workDone"});
            lastFrame = device().framesReceived() - 1; // less the probe after the run
        }
        devices += fault == "refuseLast" ? ",refuse=" + QByteArray::number(lastFrame)
                                         : ",silentfrom=" + QByteArray::number(lastFrame - 1);
    }

    Connection connection(devices);
    const Run run = runUpdate(&file, connection.params);

    QCOMPARE(run.outcomes, QStringList {outcome});
    QCOMPARE(run.progressAfterOutcome, 0);
    QVERIFY2(neverDecreases(run.percents), qPrintable(QString::number(run.percents.size())));
    if (outcome == "workDone") {
        QVERIFY(!run.percents.isEmpty());
        QCOMPARE(run.percents.last(), 100);
    }
    if (framesAfterIdentity >= 0) {
        QCOMPARE(run.frames, uint32_t(1 + framesAfterIdentity));
    }
    if (framesAfterIdentity == 0) {
        QVERIFY(!run.update.started);
    }
    if (imageBytes >= 0) {
        QCOMPARE(int(run.update.image.size()), imageBytes);
    }
    QCOMPARE(run.update.succeeded(), deviceUpdated);
}

QTEST_GUILESS_MAIN(TestKVPUpdateFirmwareRequest)
#include "TestKVPUpdateFirmwareRequest.moc"
