// The read, write, delete and clear-patch requests against a simulated device: most run
// on the test thread over a connection opened as the worker opens it, cancelling and the
// hand-over of results run through the worker thread. The list check needs a device that
// lies about its count, so it talks to a scripted byte link.

#include "../kvp/TestKVPScriptedPhy.h"
#include "DeviceMemoryStatus.h"
#include "DeviceRecord.h"
#include "KVPClearPatchRequest.h"
#include "KVPFixtureDefinitionListRequest.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureReadRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "KVPFrame.h"
#include "KVPLink.h"
#include "KVPPhy.h"
#include "KVPSelectDeviceRequest.h"
#include "KVPWorkerParams.h"
#include "KVPWorkerTestSupport.h"
#include "KVPWorkerThread.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

using Counts = QList<int>;
using Percents = QList<uint>;

/// A connection as the worker holds it, opened on the first simulated device. The
/// selection's identity ping is the device's frame 1.
struct Connection
{
    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPLinkParams params {&link};

    void select()
    {
        KVPSelectDeviceRequest request;
        KVPSelectParams selectParams {&link, &phy, QStringLiteral("usb:ftdi/0")};
        request.work(&selectParams);
    }
};

sim::SimDevice& device()
{
    return *simBackend().device(0);
}

/// Every outcome and progress signal of one request, in arrival order. Progress that
/// arrives after the outcome means the request still listened to the link.
struct Recorder
{
    QStringList outcomes;
    Percents total;
    Percents current;
    int progressAfterOutcome = 0;

    void outcome(const QString& name) { outcomes << name; }
    void progress(Percents& list, uint percent)
    {
        progressAfterOutcome += outcomes.isEmpty() ? 0 : 1;
        list << percent;
    }

    template <class R>
    void on(R* request, void (R::*signal)(), const char* name)
    {
        QObject::connect(request, signal, request, [this, name] { outcome(name); });
    }
    template <class R>
    void on(R* request, void (R::*signal)(uint), Percents& list)
    {
        QObject::connect(request, signal, request, [this, &list](uint p) { progress(list, p); });
    }

    void watch(KVPWorkerRequestI* request)
    {
        on(request, &KVPWorkerRequestI::workDone, "workDone");
        QObject::connect(request, &KVPWorkerRequestI::failed, request, [this](KVPWorkerRequestI::failReason r) {
            outcome(QStringLiteral("failed:%1").arg(int(r)));
        });
    }
    void watch(KVPFixtureWriteRequest* request)
    {
        watch(static_cast<KVPWorkerRequestI*>(request));
        on(request, &KVPFixtureWriteRequest::failedNotEnoughMemory, "failedNotEnoughMemory");
        on(request, &KVPFixtureWriteRequest::failedPatchNeedsToBeCleared, "failedPatchNeedsToBeCleared");
        on(request, &KVPFixtureWriteRequest::failedChannelRequirements, "failedChannelRequirements");
        on(request, &KVPFixtureWriteRequest::progressTotal, total);
        on(request, &KVPFixtureWriteRequest::progressCurrent, current);
    }
    void watch(KVPFixtureReadRequest* request)
    {
        watch(static_cast<KVPWorkerRequestI*>(request));
        on(request, &KVPFixtureReadRequest::progressTotal, total);
        on(request, &KVPFixtureReadRequest::progressCurrent, current);
    }
    void watch(KVPFixtureDeleteRequest* request)
    {
        watch(static_cast<KVPWorkerRequestI*>(request));
        on(request, &KVPFixtureDeleteRequest::progressTotal, total);
    }
};

/// Hands every item of `items` (pointers or unique_ptrs) to `request`.
template <class R, class Items>
void addAll(R& request, const Items& items)
{
    for (const auto& item : items) {
        request.addDefinition(&*item);
    }
}

/// A worker thread with the first simulated device selected; stopped when it goes.
/// Its signals reach `relay`, which lives on the test thread, as queued calls.
struct WorkerRig
{
    KVPWorkerThread worker;
    QObject relay;

    bool select()
    {
        bool selected = false;
        QObject::connect(&worker, &KVPWorkerThread::deviceSelectionFinished, &relay, [&selected] { selected = true; });
        worker.start();
        worker.selectDevice(QStringLiteral("usb:ftdi/0"));
        return QTest::qWaitFor([&selected] { return selected; }, 30000);
    }
    ~WorkerRig()
    {
        worker.stopWorker();
        worker.wait();
    }
};

/// A definition with `channels` channels numbered in order; `tag` keeps names apart.
std::unique_ptr<QKVFixtureDefinition> makeDefinition(int channels, const QString& tag = QStringLiteral("Spot"))
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName(tag);
    definition->setManufacturer(QStringLiteral("Korvane"));
    definition->setType(1);
    for (int n = 1; n <= channels; ++n) {
        definition->appendChannel(makeChannel(n, QStringLiteral("%1 channel %2").arg(tag).arg(n)));
    }
    return definition;
}

using Definitions = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

Definitions makeDefinitions(const Counts& channelCounts)
{
    Definitions definitions;
    for (int i = 0; i < channelCounts.size(); ++i) {
        definitions.push_back(makeDefinition(channelCounts.at(i), QStringLiteral("Fixture %1").arg(i + 1)));
    }
    return definitions;
}

/// Runs one write of `definitions` and returns what it reported.
Recorder write(Connection& connection, const Definitions& definitions)
{
    KVPFixtureWriteRequest request;
    Recorder recorder;
    recorder.watch(&request);
    addAll(request, definitions);
    request.work(&connection.params);
    return recorder;
}

/// The device's list, fetched outside any request.
DeviceRecord::RemoteList listDevice(KVPLink& link)
{
    const KVPReply reply = link.requestMulti(Command::FixtureList, 0);
    return DeviceRecord::decodeList(
        QByteArray(reinterpret_cast<const char*>(reply.data.data()), static_cast<qsizetype>(reply.data.size())));
}

} // namespace

class TestKVPTransferRequests : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void writeChecksRunInOrderBeforeAnythingIsWritten_data();
    void writeChecksRunInOrderBeforeAnythingIsWritten();
    void writeReportsProgressPerRecordAndOverall();
    void abortDuringWriteStopsAfterTheCurrentDefinition();
    void cancelThroughTheWorkerKeepsWhatWasWritten_data();
    void cancelThroughTheWorkerKeepsWhatWasWritten();
    void faultAtAnyFrameOfAWriteEndsInOneOutcome_data();
    void faultAtAnyFrameOfAWriteEndsInOneOutcome();

    void readReportsProgressPerRecordAndOverall();
    void readThroughTheWorkerHandsResultsToTheCallersThread();
    void readOfARecordShorterThanDeclaredFails_data();
    void readOfARecordShorterThanDeclaredFails();
    void roundTripKeepsEveryFieldTheRecordHolds();
    void listWhoseCountDoesNotMatchItsLengthFails_data();
    void listWhoseCountDoesNotMatchItsLengthFails();

    void deleteRemovesTheGivenRecords_data();
    void deleteRemovesTheGivenRecords();
    void clearPatchReportsHowTheDeviceAnswered_data();
    void clearPatchReportsHowTheDeviceAnswered();
    void everyRequestFailsWithoutConnection();
    void memoryStatusReadsSlotsAndPatchFlag();
};

void TestKVPTransferRequests::cleanup()
{
    dropSimDevices();
}

void TestKVPTransferRequests::writeChecksRunInOrderBeforeAnythingIsWritten_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<Counts>("channelCounts");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("frames"); // frames the device saw in all, -1: not checked

    QTest::newRow("3 definitions, 2 free slots")
        << QByteArray("free=2") << Counts {1, 1, 1} << "failedNotEnoughMemory" << 3;
    QTest::newRow("patch list not empty") << QByteArray("patch=1") << Counts {1} << "failedPatchNeedsToBeCleared" << 3;
    QTest::newRow("memory and patch both fail")
        << QByteArray("free=1,patch=1") << Counts {1, 1} << "failedNotEnoughMemory" << 3;
    QTest::newRow("0 channels") << QByteArray("model=QRD-780") << Counts {3, 0} << "failedChannelRequirements" << 3;
    QTest::newRow("46 channels") << QByteArray("model=QRD-780") << Counts {46} << "failedChannelRequirements" << 3;
    QTest::newRow("patch before channels") << QByteArray("patch=1") << Counts {0} << "failedPatchNeedsToBeCleared" << 3;
    QTest::newRow("1 and 45 channels") << QByteArray("free=2") << Counts {1, 45} << "workDone" << -1;
    QTest::newRow("QRD-540B at 0x0101") << QByteArray("model=QRD-540B,fw=0x0101") << Counts {1} << "failed:0" << 2;
    QTest::newRow("QRD-540B at 0x0102") << QByteArray("model=QRD-540B,fw=0x0102") << Counts {1} << "workDone" << -1;
    QTest::newRow("unknown model") << QByteArray("model=QRD-999") << Counts {1} << "failed:0" << 2;
    QTest::newRow("nothing to write") << QByteArray("free=0") << Counts {} << "workDone" << 3;
    QTest::newRow("nothing to write, patch")
        << QByteArray("patch=1") << Counts {} << "failedPatchNeedsToBeCleared" << 3;
    QTest::newRow("memory state refused") << QByteArray("refuse=3") << Counts {1} << "failedNotEnoughMemory" << 3;
}

void TestKVPTransferRequests::writeChecksRunInOrderBeforeAnythingIsWritten()
{
    QFETCH(QByteArray, devices);
    QFETCH(Counts, channelCounts);
    QFETCH(QString, outcome);
    QFETCH(int, frames);
    useSimDevices(devices.constData());
    Connection connection;
    connection.select();
    const Definitions definitions = makeDefinitions(channelCounts);

    const Recorder recorder = write(connection, definitions);
    QCOMPARE(recorder.outcomes, QStringList {outcome});
    const bool written = outcome == QLatin1String("workDone");
    QCOMPARE(device().store().count(), written ? unsigned(channelCounts.size()) : 0u);
    if (frames >= 0) {
        QCOMPARE(device().framesReceived(), uint32_t(frames));
    }
}

void TestKVPTransferRequests::writeReportsProgressPerRecordAndOverall()
{
    useSimDevices("model=QRD-780");
    Connection connection;
    connection.select();
    const Recorder recorder = write(connection, makeDefinitions({2, 3}));

    QCOMPARE(recorder.outcomes, QStringList {"workDone"});
    QCOMPARE(recorder.total, Percents({50, 100}));
    // Each record climbs from its first chunk to 100, then the next starts over.
    QCOMPARE(recorder.current.count(100u), 2);
    QCOMPARE(recorder.current.last(), 100u);
    QVERIFY(recorder.current.first() < 100u);
    QCOMPARE(recorder.progressAfterOutcome, 0);
}

void TestKVPTransferRequests::abortDuringWriteStopsAfterTheCurrentDefinition()
{
    useSimDevices("model=QRD-780");
    Connection connection;
    connection.select();
    const Definitions definitions = makeDefinitions({2, 2, 2});

    Recorder recorder;
    {
        KVPFixtureWriteRequest request;
        recorder.watch(&request);
        addAll(request, definitions);
        // The user cancels while the first record is on its way.
        connect(&request, &KVPFixtureWriteRequest::progressCurrent, &request, [&request] { request.abort(); });
        request.work(&connection.params);
    }
    QCOMPARE(recorder.outcomes, QStringList {"failed:1"});
    QCOMPARE(recorder.total, Percents {33});
    const DeviceRecord::RemoteList stored = listDevice(*connection.link);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored.front()->name(), QStringLiteral("Fixture 1"));
    // The request is gone; a link that still called it would fail under the sanitizers.
    QCOMPARE(write(connection, makeDefinitions({1})).outcomes, QStringList {"workDone"});
}

void TestKVPTransferRequests::cancelThroughTheWorkerKeepsWhatWasWritten_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("abort") << false;
    QTest::newRow("stop the worker") << true;
}

void TestKVPTransferRequests::cancelThroughTheWorkerKeepsWhatWasWritten()
{
    QFETCH(bool, stop);
    useSimDevices("model=QRD-780");
    const Definitions definitions = makeDefinitions({1, 1, 1, 1});
    KVPFixtureWriteRequest request;
    Recorder recorder;
    recorder.watch(&request);
    addAll(request, definitions);
    WorkerRig rig;
    QVERIFY(rig.select());
    KVPWorkerThread& worker = rig.worker;
    // The user cancels once the first record is through. Direct, on the worker thread,
    // so the cancel surely lands before the second record has gone out.
    connect(
        &request,
        &KVPFixtureWriteRequest::progressTotal,
        &rig.relay,
        [&worker, stop] { stop ? worker.stopWorker() : worker.abortCurrentRequest(); },
        Qt::DirectConnection);
    worker.submitRequest(&request);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.outcomes.size(), 1, 30000);
    QCOMPARE(recorder.outcomes, QStringList {"failed:1"});
    worker.stopWorker();
    QVERIFY(worker.wait(30000));

    QCOMPARE(recorder.total, Percents {25});
    QCOMPARE(device().store().count(), 1u);
}

void TestKVPTransferRequests::faultAtAnyFrameOfAWriteEndsInOneOutcome_data()
{
    QTest::addColumn<QByteArray>("devices");

    // A large frame sends the record in two chunks: frame 2 is the identity, 3 the
    // memory state, 4 and 5 the chunks. Silence costs one reply timeout per row.
    const QList<const char*> faults {"refuse=%1", "corrupt=%1", "drop=%1", "silentfrom=%1", "vanish=%1"};
    for (int frame = 2; frame <= 5; ++frame) {
        for (const char* fault : faults) {
            const QByteArray setting = "frame=2700," + QByteArray(fault).replace("%1", QByteArray::number(frame));
            QTest::newRow(setting.constData()) << setting;
        }
    }
}

void TestKVPTransferRequests::faultAtAnyFrameOfAWriteEndsInOneOutcome()
{
    QFETCH(QByteArray, devices);
    useSimDevices(devices.constData());
    Connection connection;
    connection.select();

    const Recorder recorder = write(connection, makeDefinitions({1}));
    QCOMPARE(recorder.outcomes.size(), 1);
    QVERIFY2(recorder.outcomes.first() != QLatin1String("workDone"), qPrintable(recorder.outcomes.first()));
    QCOMPARE(recorder.progressAfterOutcome, 0);
}

void TestKVPTransferRequests::readReportsProgressPerRecordAndOverall()
{
    useSimDevices("records=4");
    Connection connection;
    connection.select();
    DeviceRecord::RemoteList entries = listDevice(*connection.link);
    QCOMPARE(entries.size(), size_t(4));

    KVPFixtureReadRequest request;
    Recorder recorder;
    recorder.watch(&request);
    addAll(request, entries);
    request.work(&connection.params);

    QCOMPARE(recorder.outcomes, QStringList {"workDone"});
    QCOMPARE(recorder.total, Percents({25, 50, 75, 100}));
    QCOMPARE(recorder.current.count(100u), 4);
    QCOMPARE(request.results().size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(request.results().at(i)->name(), entries.at(i)->name());
        QCOMPARE(request.results().at(i)->channelCount(), entries.at(i)->channelCount());
    }
}

void TestKVPTransferRequests::readThroughTheWorkerHandsResultsToTheCallersThread()
{
    useSimDevices("records=2");
    QKVRemoteFixtureDefinition first;
    first.setRecordNumber(0);
    first.setChannelCount(int(device().store().readPayload(0)->size() - DeviceRecord::HeaderLength)
                          / DeviceRecord::SlotLength);
    KVPFixtureReadRequest request;
    Recorder recorder;
    recorder.watch(&request);
    request.addDefinition(&first);
    WorkerRig rig;
    QVERIFY(rig.select());
    rig.worker.submitRequest(&request);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.outcomes.size(), 1, 30000);
    QCOMPARE(recorder.outcomes, QStringList {"workDone"});
    QCOMPARE(request.results().size(), 1);
    QCOMPARE(request.results().first()->thread(), QThread::currentThread());
}

void TestKVPTransferRequests::readOfARecordShorterThanDeclaredFails_data()
{
    QTest::addColumn<int>("recordChannels"); // the count byte of the stored record
    QTest::addColumn<int>("listedChannels"); // the count the list entry gives
    QTest::addColumn<QString>("outcome");

    // The device sends at most the header and 45 slots, whatever its count byte says.
    QTest::newRow("record declares more than it holds") << 200 << 200 << "failed:0";
    QTest::newRow("record declares more, list says 45") << 46 << 45 << "failed:0";
    QTest::newRow("list promises more than arrives") << 3 << 5 << "failed:0";
    QTest::newRow("whole record") << 3 << 3 << "workDone";
}

void TestKVPTransferRequests::readOfARecordShorterThanDeclaredFails()
{
    QFETCH(int, recordChannels);
    QFETCH(int, listedChannels);
    QFETCH(QString, outcome);
    useSimDevices("model=QRD-780");
    std::vector<uint8_t> record(DeviceRecord::RecordLength, 'x');
    record[DeviceRecord::ChannelCountOffset] = static_cast<uint8_t>(recordChannels);
    const auto number = device().store().store(record);
    QVERIFY(number.has_value());
    Connection connection;
    connection.select();

    QKVRemoteFixtureDefinition entry;
    entry.setRecordNumber(*number);
    entry.setChannelCount(listedChannels);
    KVPFixtureReadRequest request;
    Recorder recorder;
    recorder.watch(&request);
    request.addDefinition(&entry);
    request.work(&connection.params);

    QCOMPARE(recorder.outcomes, QStringList {outcome});
    QCOMPARE(request.results().size(), outcome == QLatin1String("workDone") ? 1 : 0);
    QCOMPARE(recorder.progressAfterOutcome, 0);
}

void TestKVPTransferRequests::roundTripKeepsEveryFieldTheRecordHolds()
{
    useSimDevices("model=QRD-780");
    Connection connection;
    connection.select();

    Definitions library;
    // Full-width fields without terminator, Latin-1 beyond ASCII, own short names.
    auto full = std::make_unique<QKVFixtureDefinition>();
    full->setName(QString(100, QChar(0xE9)));
    full->setShortName(QStringLiteral("Twenty characters!!!"));
    full->setAutoShortName(false);
    full->setManufacturer(QString(99, QLatin1Char('M')) + QLatin1Char('Z'));
    full->setManufacturerShort(QStringLiteral("Mfr"));
    full->setAutoManufacturerShort(false);
    full->setType(10);
    for (int n = 1; n <= QKVFixtureDefinition::MaxChannels; ++n) {
        full->appendChannel(
            makeChannel(n, QString(100, QLatin1Char('a' + n % 26)), QStringLiteral("Twelve chars"), false));
    }
    library.push_back(std::move(full));
    // Automatic short names derived from the long ones, empty fields, type 0.
    auto plain = makeDefinition(2, QStringLiteral("A name longer than twenty characters"));
    plain->setManufacturer(QString());
    plain->setType(0);
    library.push_back(std::move(plain));

    QCOMPARE(write(connection, library).outcomes, QStringList {"workDone"});
    DeviceRecord::RemoteList entries = listDevice(*connection.link);
    QCOMPARE(entries.size(), library.size());

    KVPFixtureReadRequest request;
    Recorder recorder;
    recorder.watch(&request);
    addAll(request, entries);
    request.work(&connection.params);
    QCOMPARE(recorder.outcomes, QStringList {"workDone"});

    QList<QKVFixtureDefinition*> written;
    for (const auto& definition : library) {
        written << definition.get();
    }
    // The write applied the automatic short names to the library's definitions.
    QCOMPARE(describe(request.results()), describe(written));
}

void TestKVPTransferRequests::listWhoseCountDoesNotMatchItsLengthFails_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("outcome");

    QTest::newRow("empty device") << 0 << 0 << "receivedData";
    QTest::newRow("two entries") << 2 << 2 << "receivedData";
    QTest::newRow("count above entries") << 2 << 1 << "failed:0";
    QTest::newRow("count below entries") << 0 << 1 << "failed:0";
}

void TestKVPTransferRequests::listWhoseCountDoesNotMatchItsLengthFails()
{
    QFETCH(int, count);
    QFETCH(int, entries);
    QFETCH(QString, outcome);
    // The simulated device always lists correctly; a scripted one can lie.
    Test::LinkRig rig;
    Test::Bytes payload(size_t(DeviceRecord::ListCountLength + entries * DeviceRecord::HeaderLength), 0);
    payload[0] = uint8_t(count);
    rig.phy.replies = {Test::dataReply(Command::FixtureList, 0, payload, Test::BothFlags)};
    KVPLinkParams params {&rig.link};

    KVPFixtureDefinitionListRequest request;
    Recorder recorder;
    recorder.watch(&request);
    connect(&request, &KVPFixtureDefinitionListRequest::receivedData, &request, [&recorder] {
        recorder.outcome("receivedData");
    });
    request.work(&params);
    QCOMPARE(recorder.outcomes, QStringList {outcome});
}

void TestKVPTransferRequests::deleteRemovesTheGivenRecords_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<Counts>("listPositions"); // -1: a record number the device never gave
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<Percents>("total");
    QTest::addColumn<int>("remaining");

    QTest::newRow("first and last of three")
        << QByteArray("records=3") << Counts {0, 2} << "workDone" << Percents {50, 100} << 1;
    QTest::newRow("all three") << QByteArray("records=3") << Counts {2, 0, 1} << "workDone" << Percents {33, 66, 100}
                               << 0;
    QTest::newRow("nothing to delete") << QByteArray("records=3") << Counts {} << "workDone" << Percents {} << 3;
    QTest::newRow("patch list does not matter")
        << QByteArray("records=1,patch=1") << Counts {0} << "workDone" << Percents {100} << 0;
    QTest::newRow("unknown record stops the run")
        << QByteArray("records=2") << Counts {0, -1, 1} << "failed:0" << Percents {33} << 1;
    QTest::newRow("QRD-540B at 0x0101") << QByteArray("model=QRD-540B,fw=0x0101,records=1") << Counts {0} << "failed:0"
                                        << Percents {} << 1;
}

void TestKVPTransferRequests::deleteRemovesTheGivenRecords()
{
    QFETCH(QByteArray, devices);
    QFETCH(Counts, listPositions);
    QFETCH(QString, outcome);
    QFETCH(Percents, total);
    QFETCH(int, remaining);
    useSimDevices(devices.constData());
    Connection connection;
    connection.select();
    DeviceRecord::RemoteList entries = listDevice(*connection.link);
    QKVRemoteFixtureDefinition stranger;
    stranger.setRecordNumber(250);

    KVPFixtureDeleteRequest request;
    Recorder recorder;
    recorder.watch(&request);
    for (int position : listPositions) {
        request.addDefinition(position < 0 ? &stranger : entries.at(size_t(position)).get());
    }
    request.work(&connection.params);

    QCOMPARE(recorder.outcomes, QStringList {outcome});
    QCOMPARE(recorder.total, total);
    QCOMPARE(device().store().count(), unsigned(remaining));
}

void TestKVPTransferRequests::clearPatchReportsHowTheDeviceAnswered_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("patchEmpty");

    QTest::newRow("cleared") << QByteArray("patch=1") << "workDone" << true;
    QTest::newRow("already empty") << QByteArray("model=QRD-780") << "workDone" << true;
    QTest::newRow("no reply") << QByteArray("patch=1,silentfrom=2") << "failed:2" << false;
    QTest::newRow("refused") << QByteArray("patch=1,refuse=2") << "failed:0" << false;
}

void TestKVPTransferRequests::clearPatchReportsHowTheDeviceAnswered()
{
    QFETCH(QByteArray, devices);
    QFETCH(QString, outcome);
    QFETCH(bool, patchEmpty);
    useSimDevices(devices.constData());
    Connection connection;
    connection.select();

    KVPClearPatchRequest request;
    Recorder recorder;
    recorder.watch(&request);
    request.work(&connection.params);
    QCOMPARE(recorder.outcomes, QStringList {outcome});
    QCOMPARE(device().patchEmpty(), patchEmpty);
}

void TestKVPTransferRequests::everyRequestFailsWithoutConnection()
{
    Connection connection;
    QKVRemoteFixtureDefinition entry;
    const auto definition = makeDefinition(1);
    KVPFixtureReadRequest read;
    read.addDefinition(&entry);
    KVPFixtureWriteRequest write;
    write.addDefinition(definition.get());
    KVPFixtureDeleteRequest remove;
    remove.addDefinition(&entry);
    KVPClearPatchRequest clear;

    for (KVPWorkerRequestI* request : QList<KVPWorkerRequestI*> {&read, &write, &remove, &clear}) {
        Recorder recorder;
        recorder.watch(request);
        request->work(&connection.params);
        QCOMPARE(recorder.outcomes, QStringList {"failed:0"});
    }
}

void TestKVPTransferRequests::memoryStatusReadsSlotsAndPatchFlag()
{
    useSimDevices("free=2,patch=1");
    Connection connection;
    connection.select();
    bool patchNotEmpty = false;
    QVERIFY(queryMemoryStatus(*connection.link, 2, patchNotEmpty));
    QVERIFY(patchNotEmpty);
    patchNotEmpty = false;
    // Too few slots, but the patch flag still comes from the same answer.
    QVERIFY(!queryMemoryStatus(*connection.link, 3, patchNotEmpty));
    QVERIFY(patchNotEmpty);
}

QTEST_GUILESS_MAIN(TestKVPTransferRequests)
#include "TestKVPTransferRequests.moc"
