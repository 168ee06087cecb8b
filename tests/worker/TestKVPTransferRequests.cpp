// Read, write, delete and clear patch against a simulated device, on the test thread or
// through the worker thread; the list check uses a scripted link that lies about its count.

#include "../kvp/TestKVPScriptedPhy.h"
#include "DeviceMemoryStatus.h"
#include "DeviceRecord.h"
#include "KVPClearPatchRequest.h"
#include "KVPFixtureDefinitionListRequest.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureReadRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "KVPSelectDeviceRequest.h"
#include "KVPWorkerTestSupport.h"
#include "KVPWorkerThread.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

using Counts = QList<int>;
using Percents = QList<uint>;
using Definitions = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

/// A connection as the worker holds it; given devices, opened on the first of them (the
/// identity ping is the device's frame 1).
struct Connection
{
    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPLinkParams params {&link};

    Connection() = default;
    explicit Connection(const char* devices)
    {
        useSimDevices(devices);
        open();
    }
    void open()
    {
        KVPSelectParams selectParams {&link, &phy, QStringLiteral("usb:ftdi/0")};
        KVPSelectDeviceRequest().work(&selectParams);
    }
};

sim::SimDevice& device()
{
    return *simBackend().device(0);
}

/// Every outcome and progress signal of one request, in arrival order; hands `items`
/// (pointers or unique_ptrs) to the request first.
struct Recorder
{
    QStringList outcomes;
    Percents total;
    Percents current;
    int progressAfterOutcome = 0; // the request still listened to the link

    template <class R, class Items = std::nullptr_t>
    explicit Recorder(R& request, const Items& items = nullptr)
    {
        KVPWorkerRequestI* base = &request;
        on(base, &KVPWorkerRequestI::workDone, "workDone");
        QObject::connect(base, &KVPWorkerRequestI::failed, base, [this](KVPWorkerRequestI::failReason r) {
            outcomes << QStringLiteral("failed:%1").arg(int(r));
        });
        constexpr bool write = std::is_same_v<R, KVPFixtureWriteRequest>;
        constexpr bool read = std::is_same_v<R, KVPFixtureReadRequest>;
        if constexpr (write) {
            on(&request, &R::failedNotEnoughMemory, "failedNotEnoughMemory");
            on(&request, &R::failedPatchNeedsToBeCleared, "failedPatchNeedsToBeCleared");
            on(&request, &R::failedChannelRequirements, "failedChannelRequirements");
        }
        if constexpr (write || read || std::is_same_v<R, KVPFixtureDeleteRequest>) {
            on(&request, &R::progressTotal, total);
        }
        if constexpr (write || read) {
            on(&request, &R::progressCurrent, current);
        }
        if constexpr (!std::is_null_pointer_v<Items>) {
            for (const auto& item : items) {
                request.addDefinition(&*item);
            }
        }
    }
    template <class R, class... Args>
    void on(R* request, void (R::*signal)(Args...), const char* name)
    {
        QObject::connect(request, signal, request, [this, name] { outcomes << name; });
    }
    template <class R>
    void on(R* request, void (R::*signal)(uint), Percents& list)
    {
        QObject::connect(request, signal, request, [this, &list](uint percent) {
            progressAfterOutcome += outcomes.isEmpty() ? 0 : 1;
            list << percent;
        });
    }
};

template <class R, class Items = std::nullptr_t>
Recorder run(R& request, Connection& connection, const Items& items = nullptr)
{
    Recorder recorder(request, items);
    request.work(&connection.params);
    return recorder;
}

Recorder write(Connection& connection, const Definitions& definitions)
{
    KVPFixtureWriteRequest request;
    return run(request, connection, definitions);
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

/// Definitions named "Fixture 1", "Fixture 2"... with the given channel counts.
Definitions makeDefinitions(const Counts& channelCounts, const QString& tag = QString())
{
    Definitions definitions;
    for (int i = 0; i < channelCounts.size(); ++i) {
        auto definition = std::make_unique<QKVFixtureDefinition>();
        const QString name = tag.isEmpty() ? QStringLiteral("Fixture %1").arg(i + 1) : tag;
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
    void cleanup() { dropSimDevices(); }

    void writeChecksRunInOrderBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<Counts>("channelCounts");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("frames"); // frames the device saw in all, -1: not checked

        QTest::newRow("3 definitions, 2 free slots") << "free=2" << Counts {1, 1, 1} << "failedNotEnoughMemory" << 3;
        QTest::newRow("patch list not empty") << "patch=1" << Counts {1} << "failedPatchNeedsToBeCleared" << 3;
        QTest::newRow("memory and patch both fail")
            << "free=1,patch=1" << Counts {1, 1} << "failedNotEnoughMemory" << 3;
        QTest::newRow("0 channels") << "model=QRD-780" << Counts {3, 0} << "failedChannelRequirements" << 3;
        QTest::newRow("46 channels") << "model=QRD-780" << Counts {46} << "failedChannelRequirements" << 3;
        QTest::newRow("patch before channels") << "patch=1" << Counts {0} << "failedPatchNeedsToBeCleared" << 3;
        QTest::newRow("1 and 45 channels") << "free=2" << Counts {1, 45} << "workDone" << -1;
        QTest::newRow("QRD-540B at 0x0101") << "model=QRD-540B,fw=0x0101" << Counts {1} << "failed:0" << 2;
        QTest::newRow("QRD-540B at 0x0102") << "model=QRD-540B,fw=0x0102" << Counts {1} << "workDone" << -1;
        QTest::newRow("unknown model") << "model=QRD-999" << Counts {1} << "failed:0" << 2;
        QTest::newRow("nothing to write") << "free=0" << Counts {} << "workDone" << 3;
        QTest::newRow("nothing to write, patch") << "patch=1" << Counts {} << "failedPatchNeedsToBeCleared" << 3;
        // No answer says nothing about the slots: a plain failure, not "not enough memory".
        QTest::newRow("memory state refused") << "refuse=3" << Counts {1} << "failed:0" << 3;
    }
    void writeChecksRunInOrderBeforeAnythingIsWritten()
    {
        QFETCH(QString, devices);
        QFETCH(Counts, channelCounts);
        QFETCH(QString, outcome);
        QFETCH(int, frames);
        Connection connection(qPrintable(devices));

        QCOMPARE(write(connection, makeDefinitions(channelCounts)).outcomes, QStringList {outcome});
        const bool written = outcome == QLatin1String("workDone");
        QCOMPARE(device().store().count(), written ? unsigned(channelCounts.size()) : 0u);
        QVERIFY(frames < 0 || device().framesReceived() == uint32_t(frames));
    }

    void writeReportsProgressPerRecordAndOverall()
    {
        Connection connection("model=QRD-780");
        const Recorder recorder = write(connection, makeDefinitions({2, 3}));
        QCOMPARE(recorder.outcomes, QStringList {"workDone"});
        QCOMPARE(recorder.total, Percents({50, 100}));
        // Each record climbs from its first chunk to 100, then the next starts over.
        QCOMPARE(recorder.current.count(100u), 2);
        QCOMPARE(recorder.current.last(), 100u);
        QVERIFY(recorder.current.first() < 100u);
        QCOMPARE(recorder.progressAfterOutcome, 0);
    }

    void abortDuringWriteStopsAfterTheCurrentDefinition()
    {
        Connection connection("model=QRD-780");
        const Definitions definitions = makeDefinitions({2, 2, 2});
        auto request = std::make_unique<KVPFixtureWriteRequest>();
        // The user cancels while the first record is on its way.
        connect(
            request.get(), &KVPFixtureWriteRequest::progressCurrent, request.get(), [&request] { request->abort(); });
        const Recorder recorder = run(*request, connection, definitions);
        request.reset();
        QCOMPARE(recorder.outcomes, QStringList {"failed:1"});
        QCOMPARE(recorder.total, Percents {33});
        const DeviceRecord::RemoteList stored = listDevice(*connection.link);
        QCOMPARE(stored.size(), size_t(1));
        QCOMPARE(stored.front()->name(), QStringLiteral("Fixture 1"));
        // The request is gone; a link that still called it would fail under the sanitizers.
        QCOMPARE(write(connection, makeDefinitions({1})).outcomes, QStringList {"workDone"});
    }

    void cancelThroughTheWorkerKeepsWhatWasWritten_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("abort") << false;
        QTest::newRow("stop the worker") << true;
    }
    void cancelThroughTheWorkerKeepsWhatWasWritten()
    {
        QFETCH(bool, stop);
        useSimDevices("model=QRD-780");
        const Definitions definitions = makeDefinitions({1, 1, 1, 1});
        KVPFixtureWriteRequest request;
        const Recorder recorder(request, definitions);
        WorkerRig rig;
        QVERIFY(rig.select());
        // Cancel once the first record is through: direct, on the worker thread, so it
        // surely lands before the second record has gone out.
        const auto cancel = [&rig, stop] { stop ? rig.worker.stopWorker() : rig.worker.abortCurrentRequest(); };
        connect(&request, &KVPFixtureWriteRequest::progressTotal, &rig.relay, cancel, Qt::DirectConnection);
        rig.worker.submitRequest(&request);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.outcomes.size(), 1, 30000);
        QCOMPARE(recorder.outcomes, QStringList {"failed:1"});
        rig.worker.stopWorker();
        QVERIFY(rig.worker.wait(30000));
        QCOMPARE(recorder.total, Percents {25});
        QCOMPARE(device().store().count(), 1u);
    }

    void faultAtAnyFrameOfAWriteEndsInOneOutcome_data()
    {
        QTest::addColumn<QString>("devices");
        // A large frame sends the record in two chunks: frame 2 is the identity, 3 the
        // memory state, 4 and 5 the chunks. Silence costs one reply timeout per row.
        for (int frame = 2; frame <= 5; ++frame) {
            for (const char* fault : {"refuse", "corrupt", "drop", "silentfrom", "vanish"}) {
                const QString setting = QStringLiteral("frame=2700,%1=%2").arg(QLatin1String(fault)).arg(frame);
                QTest::newRow(qPrintable(setting)) << setting;
            }
        }
    }
    void faultAtAnyFrameOfAWriteEndsInOneOutcome()
    {
        QFETCH(QString, devices);
        Connection connection(qPrintable(devices));
        const Recorder recorder = write(connection, makeDefinitions({1}));
        QCOMPARE(recorder.outcomes.size(), 1);
        QVERIFY2(recorder.outcomes.first() != QLatin1String("workDone"), qPrintable(recorder.outcomes.first()));
        QCOMPARE(recorder.progressAfterOutcome, 0);
    }

    void readThroughTheWorkerReportsProgressAndHandsOverResults()
    {
        DeviceRecord::RemoteList entries = listDevice(*Connection("records=4").link);
        QCOMPARE(entries.size(), size_t(4));
        KVPFixtureReadRequest request;
        const Recorder recorder(request, entries);
        WorkerRig rig;
        QVERIFY(rig.select());
        rig.worker.submitRequest(&request);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.outcomes.size(), 1, 30000);
        QCOMPARE(recorder.outcomes, QStringList {"workDone"});
        QCOMPARE(recorder.total, Percents({25, 50, 75, 100}));
        QCOMPARE(recorder.current.count(100u), 4);
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
        QTest::addColumn<QString>("outcome");
        // The device sends at most the header and 45 slots, whatever its count byte says.
        QTest::newRow("record declares more than it holds") << 200 << 200 << "failed:0";
        QTest::newRow("record declares more, list says 45") << 46 << 45 << "failed:0";
        QTest::newRow("list promises more than arrives") << 3 << 5 << "failed:0";
        QTest::newRow("whole record") << 3 << 3 << "workDone";
    }
    void readOfARecordShorterThanDeclaredFails()
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
        connection.open();

        QKVRemoteFixtureDefinition entry;
        entry.setRecordNumber(*number);
        entry.setChannelCount(listedChannels);
        KVPFixtureReadRequest request;
        const Recorder recorder = run(request, connection, QList<QKVRemoteFixtureDefinition*> {&entry});
        QCOMPARE(recorder.outcomes, QStringList {outcome});
        QCOMPARE(request.results().size(), outcome == QLatin1String("workDone") ? 1 : 0);
        QCOMPARE(recorder.progressAfterOutcome, 0);
    }

    void roundTripKeepsEveryFieldTheRecordHolds()
    {
        Connection connection("model=QRD-780");
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
        // Automatic short names derived from the long ones, empty fields, type 0.
        Definitions library = makeDefinitions({2}, QStringLiteral("A name longer than twenty characters"));
        library.front()->setManufacturer(QString());
        library.front()->setType(0);
        library.insert(library.begin(), std::move(full));

        QCOMPARE(write(connection, library).outcomes, QStringList {"workDone"});
        DeviceRecord::RemoteList entries = listDevice(*connection.link);
        QCOMPARE(entries.size(), library.size());
        KVPFixtureReadRequest request;
        QCOMPARE(run(request, connection, entries).outcomes, QStringList {"workDone"});
        // The write applied the automatic short names to the library's definitions.
        QCOMPARE(describe(request.results()), describe({library.at(0).get(), library.at(1).get()}));
    }

    void listWhoseCountDoesNotMatchItsLengthFails_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("empty device") << 0 << 0 << "receivedData";
        QTest::newRow("two entries") << 2 << 2 << "receivedData";
        QTest::newRow("count above entries") << 2 << 1 << "failed:0";
        QTest::newRow("count below entries") << 0 << 1 << "failed:0";
    }
    void listWhoseCountDoesNotMatchItsLengthFails()
    {
        QFETCH(int, count);
        QFETCH(int, entries);
        QFETCH(QString, outcome);
        Test::LinkRig rig;
        Test::Bytes payload(size_t(DeviceRecord::ListCountLength + entries * DeviceRecord::HeaderLength), 0);
        payload[0] = uint8_t(count);
        rig.phy.replies = {Test::dataReply(Command::FixtureList, 0, payload, Test::BothFlags)};
        KVPLinkParams params {&rig.link};
        KVPFixtureDefinitionListRequest request;
        Recorder recorder(request);
        recorder.on(&request, &KVPFixtureDefinitionListRequest::receivedData, "receivedData");
        request.work(&params);
        QCOMPARE(recorder.outcomes, QStringList {outcome});
    }

    void deleteRemovesTheGivenRecords_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<Counts>("listPositions"); // -1: a record number the device never gave
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<Percents>("total");
        QTest::addColumn<int>("remaining");
        QTest::newRow("first and last of three")
            << "records=3" << Counts {0, 2} << "workDone" << Percents {50, 100} << 1;
        QTest::newRow("nothing to delete") << "records=3" << Counts {} << "workDone" << Percents {} << 3;
        QTest::newRow("patch list does not matter")
            << "records=1,patch=1" << Counts {0} << "workDone" << Percents {100} << 0;
        QTest::newRow("unknown record stops the run")
            << "records=2" << Counts {0, -1, 1} << "failed:0" << Percents {33} << 1;
        QTest::newRow("QRD-540B at 0x0101")
            << "model=QRD-540B,fw=0x0101,records=1" << Counts {0} << "failed:0" << Percents {} << 1;
    }
    void deleteRemovesTheGivenRecords()
    {
        QFETCH(QString, devices);
        QFETCH(Counts, listPositions);
        QFETCH(QString, outcome);
        QFETCH(Percents, total);
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
        const Recorder recorder = run(request, connection, chosen);
        QCOMPARE(recorder.outcomes, QStringList {outcome});
        QCOMPARE(recorder.total, total);
        QCOMPARE(device().store().count(), unsigned(remaining));
    }

    void clearPatchReportsHowTheDeviceAnswered_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("patchEmpty");
        QTest::newRow("cleared") << "patch=1"
                                 << "workDone" << true;
        QTest::newRow("no reply") << "patch=1,silentfrom=2"
                                  << "failed:2" << false;
        QTest::newRow("refused") << "patch=1,refuse=2"
                                 << "failed:0" << false;
    }
    void clearPatchReportsHowTheDeviceAnswered()
    {
        QFETCH(QString, devices);
        QFETCH(QString, outcome);
        QFETCH(bool, patchEmpty);
        Connection connection(qPrintable(devices));
        KVPClearPatchRequest request;
        QCOMPARE(run(request, connection).outcomes, QStringList {outcome});
        QCOMPARE(device().patchEmpty(), patchEmpty);
    }

    void everyRequestFailsWithoutConnection()
    {
        Connection none;
        QKVRemoteFixtureDefinition entry;
        const QList<QKVRemoteFixtureDefinition*> entries {&entry};
        const Definitions definitions = makeDefinitions({1});
        const QStringList failed {"failed:0"};
        KVPFixtureReadRequest read;
        QCOMPARE(run(read, none, entries).outcomes, failed);
        KVPFixtureWriteRequest write;
        QCOMPARE(run(write, none, definitions).outcomes, failed);
        KVPFixtureDeleteRequest remove;
        QCOMPARE(run(remove, none, entries).outcomes, failed);
        KVPClearPatchRequest clear;
        QCOMPARE(run(clear, none).outcomes, failed);
    }

    void memoryStatusReadsSlotsAndPatchFlag()
    {
        Connection connection("free=2,patch=1");
        bool patchNotEmpty = false;
        QCOMPARE(queryMemoryStatus(*connection.link, 2, patchNotEmpty), MemoryStatus::Enough);
        QVERIFY(patchNotEmpty);
        patchNotEmpty = false;
        // Too few slots, but the patch flag still comes from the same answer.
        QCOMPARE(queryMemoryStatus(*connection.link, 3, patchNotEmpty), MemoryStatus::TooFewSlots);
        QVERIFY(patchNotEmpty);
    }
};

QTEST_GUILESS_MAIN(TestKVPTransferRequests)
#include "TestKVPTransferRequests.moc"
