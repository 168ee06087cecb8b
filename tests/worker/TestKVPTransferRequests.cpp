// Read, write, delete and clear patch against a simulated device, on the test thread or
// through the worker thread.

#include "DeviceRecord.h"
#include "KVPClearPatchRequest.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureReadRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"
#include "WorkerRig.h"

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

using Counts = QList<int>;
using Definitions = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

/// Records every report of a transfer request, after handing it `items`, and runs it on
/// `connection` if there is one.
template <class R, class Items = std::nullptr_t>
std::unique_ptr<Recorder> run(R& request, Connection* connection, const Items& items = nullptr)
{
    auto recorder = std::make_unique<Recorder>(request);
    if constexpr (std::is_same_v<R, KVPFixtureWriteRequest>) {
        recorder->on(&request, &R::failedNotEnoughMemory, "failedNotEnoughMemory");
        recorder->on(&request, &R::failedPatchNeedsToBeCleared, "failedPatchNeedsToBeCleared");
        recorder->on(&request, &R::failedChannelRequirements, "failedChannelRequirements");
    }
    if constexpr (!std::is_same_v<R, KVPClearPatchRequest>) {
        recorder->on(&request, &R::progressTotal, recorder->total);
    }
    if constexpr (!std::is_same_v<R, KVPClearPatchRequest> && !std::is_same_v<R, KVPFixtureDeleteRequest>) {
        recorder->on(&request, &R::progressCurrent, recorder->current);
    }
    if constexpr (!std::is_null_pointer_v<Items>) {
        for (const auto& item : items) {
            request.addDefinition(&*item);
        }
    }
    if (connection) {
        request.work(&connection->params);
    }
    return recorder;
}

std::unique_ptr<Recorder> write(Connection& connection, const Definitions& definitions)
{
    KVPFixtureWriteRequest request;
    return run(request, &connection, definitions);
}

/// Definitions named "Fixture 1", "Fixture 2"... with the given channel counts.
Definitions makeDefinitions(const Counts& channelCounts)
{
    Definitions definitions;
    for (int i = 0; i < channelCounts.size(); ++i) {
        auto definition = std::make_unique<QKVFixtureDefinition>();
        const QString name = QStringLiteral("Fixture %1").arg(i + 1);
        definition->setName(name);
        definition->setManufacturer(QStringLiteral("Korvane"));
        definition->setType(1);
        for (int n = 1; n <= channelCounts.at(i); ++n) {
            definition->appendChannel(makeChannel(n, QStringLiteral("%1 channel %2").arg(name).arg(n)));
        }
        definitions.push_back(std::move(definition));
    }
    return definitions;
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
    void initTestCase() { useShortReplyTimeout(); }
    void cleanup() { dropSimDevices(); }

    void writeChecksRunInOrderBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<Counts>("channelCounts");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("frames"); // frames the device saw in all; -1: neither they nor the store checked

        QTest::newRow("3 definitions, 2 free slots") << "free=2" << Counts {1, 1, 1} << "failedNotEnoughMemory" << 3;
        QTest::newRow("patch list not empty") << "patch=1" << Counts {1} << "failedPatchNeedsToBeCleared" << 3;
        QTest::newRow("memory before patch") << "free=1,patch=1" << Counts {1, 1} << "failedNotEnoughMemory" << 3;
        QTest::newRow("0 channels") << "model=QRD-780" << Counts {3, 0} << "failedChannelRequirements" << 3;
        QTest::newRow("46 channels") << "model=QRD-780" << Counts {46} << "failedChannelRequirements" << 3;
        QTest::newRow("patch before channels") << "patch=1" << Counts {0} << "failedPatchNeedsToBeCleared" << 3;
        QTest::newRow("1 and 45 channels") << "free=2" << Counts {1, 45} << "workDone" << 25;
        QTest::newRow("QRD-540B at 0x0101") << "model=QRD-540B,fw=0x0101" << Counts {1} << "FailGeneral" << 2;
        QTest::newRow("nothing to write") << "free=0" << Counts {} << "workDone" << 3;
        // No answer says nothing about the slots: a plain failure, not "not enough memory".
        QTest::newRow("memory state refused") << "refuse=3" << Counts {1} << "FailGeneral" << 3;
        // A large frame sends the record in two chunks: frame 2 is the identity, 3 the
        // memory state, 4 and 5 the chunks. Every frame of every fault: TestDeviceFaults.
        for (const char* fault : {"silentfrom=2", "vanish=3", "corrupt=4", "refuse=5", "drop=5"}) {
            QTest::newRow(fault) << QStringLiteral("frame=2700,%1").arg(QLatin1String(fault)) << Counts {1}
                                 << "FailGeneral" << -1;
        }
    }
    void writeChecksRunInOrderBeforeAnythingIsWritten()
    {
        QFETCH(QString, devices);
        QFETCH(Counts, channelCounts);
        QFETCH(QString, outcome);
        QFETCH(int, frames);
        Connection connection(qPrintable(devices));
        const auto recorder = write(connection, makeDefinitions(channelCounts));
        QCOMPARE(recorder->outcomes, QStringList {outcome});
        QCOMPARE(recorder->progressAfterOutcome, 0);
        if (frames >= 0) { // else a fault may strike after the device stored the record
            QCOMPARE(device().store().count(), outcome == "workDone" ? unsigned(channelCounts.size()) : 0u);
            QCOMPARE(device().framesReceived(), uint32_t(frames));
        }
    }

    void writeReportsProgressPerRecordAndOverall()
    {
        Connection connection("model=QRD-780");
        const auto recorder = write(connection, makeDefinitions({2, 3}));
        QCOMPARE(recorder->outcomes, QStringList {"workDone"});
        QCOMPARE(recorder->total, QList<int>({50, 100}));
        // Each record climbs from its first chunk to 100, then the next starts over.
        QCOMPARE(recorder->current.count(100), 2);
        QCOMPARE(recorder->current.last(), 100);
        QVERIFY(recorder->current.first() < 100);
        QCOMPARE(recorder->progressAfterOutcome, 0);
    }

    void abortDuringWriteStopsAfterTheCurrentDefinition()
    {
        Connection connection("model=QRD-780");
        const Definitions definitions = makeDefinitions({2, 2, 2});
        auto request = std::make_unique<KVPFixtureWriteRequest>();
        // The user cancels while the first record is on its way.
        connect(
            request.get(), &KVPFixtureWriteRequest::progressCurrent, request.get(), [&request] { request->abort(); });
        const auto recorder = run(*request, &connection, definitions);
        request.reset();
        QCOMPARE(recorder->outcomes, QStringList {"FailAborted"});
        QCOMPARE(recorder->total, QList<int> {33});
        const DeviceRecord::RemoteList stored = listDevice(*connection.link);
        QCOMPARE(stored.size(), size_t(1));
        QCOMPARE(stored.front()->name(), QStringLiteral("Fixture 1"));
        // The request is gone; a link that still called it would fail under the sanitizers.
        QCOMPARE(write(connection, makeDefinitions({1}))->outcomes, QStringList {"workDone"});
    }

    void readThroughTheWorkerReportsProgressAndHandsOverResults()
    {
        DeviceRecord::RemoteList entries = listDevice(*Connection("records=4").link);
        KVPFixtureReadRequest request;
        auto recorder = run(request, nullptr, entries);
        WorkerRig rig;
        QVERIFY(rig.select());
        rig.worker.submitRequest(&request);
        QVERIFY(recorder->wait());
        QCOMPARE(recorder->outcomes, QStringList {"workDone"});
        QCOMPARE(recorder->total, QList<int>({25, 50, 75, 100}));
        QCOMPARE(recorder->current.count(100), 4);
        QCOMPARE(request.results().size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(request.results().at(i)->name(), entries.at(i)->name());
            QCOMPARE(request.results().at(i)->channelCount(), entries.at(i)->channelCount());
            QCOMPARE(request.results().at(i)->thread(), QThread::currentThread());
        }
    }

    void readOfARecordShorterThanDeclaredFails_data()
    {
        QTest::addColumn<int>("recordChannels"); // the count byte of the stored record
        QTest::addColumn<int>("listedChannels"); // the count the list entry gives
        // The device sends at most the header and 45 slots, whatever its count byte says.
        QTest::newRow("record declares more than it holds") << 200 << 200;
        QTest::newRow("list promises more than arrives") << 3 << 5;
    }
    void readOfARecordShorterThanDeclaredFails()
    {
        QFETCH(int, recordChannels);
        QFETCH(int, listedChannels);
        Connection connection("model=QRD-780");
        std::vector<uint8_t> bytes(DeviceRecord::RecordLength, 'x');
        bytes[DeviceRecord::ChannelCountOffset] = static_cast<uint8_t>(recordChannels);
        const auto number = device().store().store(bytes);
        QVERIFY(number.has_value());
        QKVRemoteFixtureDefinition entry;
        entry.setRecordNumber(*number);
        entry.setChannelCount(listedChannels);
        KVPFixtureReadRequest request;
        const auto recorder = run(request, &connection, QList<QKVRemoteFixtureDefinition*> {&entry});
        QCOMPARE(recorder->outcomes, QStringList {"FailGeneral"});
        QVERIFY(request.results().isEmpty());
        QCOMPARE(recorder->progressAfterOutcome, 0);
    }

    void deleteRemovesTheGivenRecords_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<Counts>("listPositions"); // -1: a record number the device never gave
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<Counts>("total");
        QTest::addColumn<int>("remaining");
        QTest::newRow("first and last of three") << "records=3" << Counts {0, 2} << "workDone" << Counts {50, 100} << 1;
        QTest::newRow("nothing to delete") << "records=3" << Counts {} << "workDone" << Counts {} << 3;
        QTest::newRow("unknown record stops the run")
            << "records=2" << Counts {0, -1, 1} << "FailGeneral" << Counts {33} << 1;
        QTest::newRow("QRD-540B at 0x0101")
            << "model=QRD-540B,fw=0x0101,records=1" << Counts {0} << "FailGeneral" << Counts {} << 1;
    }
    void deleteRemovesTheGivenRecords()
    {
        QFETCH(QString, devices);
        QFETCH(Counts, listPositions);
        QFETCH(QString, outcome);
        QFETCH(Counts, total);
        QFETCH(int, remaining);
        Connection connection(qPrintable(devices));
        DeviceRecord::RemoteList entries = listDevice(*connection.link);
        QKVRemoteFixtureDefinition stranger;
        stranger.setRecordNumber(250);
        QList<QKVRemoteFixtureDefinition*> chosen;
        for (int position : listPositions) {
            chosen << (position < 0 ? &stranger : entries.at(size_t(position)).get());
        }
        KVPFixtureDeleteRequest request;
        const auto recorder = run(request, &connection, chosen);
        QCOMPARE(recorder->outcomes, QStringList {outcome});
        QCOMPARE(recorder->total, total);
        QCOMPARE(device().store().count(), unsigned(remaining));
    }

    void clearPatchReportsHowTheDeviceAnswered_data()
    {
        QTest::addColumn<QString>("devices"); // the row's name is the outcome
        QTest::newRow("workDone") << "patch=1";
        QTest::newRow("FailNoReply") << "patch=1,silentfrom=2";
        QTest::newRow("FailGeneral") << "patch=1,refuse=2";
    }
    void clearPatchReportsHowTheDeviceAnswered()
    {
        QFETCH(QString, devices);
        const QString outcome = QTest::currentDataTag();
        Connection connection(qPrintable(devices));
        KVPClearPatchRequest request;
        QCOMPARE(run(request, &connection)->outcomes, QStringList {outcome});
        QCOMPARE(device().patchEmpty(), outcome == "workDone");
    }

    void everyRequestFailsWithoutConnection()
    {
        Connection none;
        QKVRemoteFixtureDefinition entry;
        const QList<QKVRemoteFixtureDefinition*> entries {&entry};
        KVPFixtureReadRequest read;
        KVPFixtureWriteRequest write;
        KVPFixtureDeleteRequest remove;
        KVPClearPatchRequest clear;
        const QStringList failed {"FailGeneral"};
        QCOMPARE(run(read, &none, entries)->outcomes, failed);
        QCOMPARE(run(write, &none, makeDefinitions({1}))->outcomes, failed);
        QCOMPARE(run(remove, &none, entries)->outcomes, failed);
        QCOMPARE(run(clear, &none)->outcomes, failed);
    }
};

QTEST_GUILESS_MAIN(TestKVPTransferRequests)
#include "TestKVPTransferRequests.moc"
