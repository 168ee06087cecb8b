// The discover, ping and list requests and the identity queries, each run on the test
// thread against simulated devices or, for a list that lies about its count, a scripted link.

#include "../kvp/TestKVPScriptedPhy.h"
#include "DeviceCapabilities.h"
#include "DeviceRecord.h"
#include "KVPDiscoverRequest.h"
#include "KVPFixtureDefinitionListRequest.h"
#include "KVPPingRequest.h"
#include "WorkerRig.h"

#include <QSignalSpy>

using namespace korvane::KVP;
using namespace korvane::KVP::test;
using DeviceList = KVPDiscoverRequest::DeviceList;

namespace {

/// Runs `request` and tells how it ended: its reports, or "quiet".
QString run(KVPWorkerRequestI& request, void* params)
{
    Recorder recorder(request);
    request.work(params);
    return recorder.outcomes.isEmpty() ? "quiet" : recorder.outcomes.join(", ");
}

} // namespace

class TestKVPDeviceRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useShortReplyTimeout(); }
    void cleanup() { dropSimDevices(); }

    void discoveryListsEveryDeviceThatAnswered_data()
    {
        QTest::addColumn<QByteArray>("devices");
        QTest::addColumn<DeviceList>("expected");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("no device") << QByteArray("") << DeviceList() << "workDone";
        QTest::newRow("first of two silent")
            << QByteArray("silent=1;model=QRD-540B") << DeviceList {{"QRD-540B", "usb:ftdi/1"}} << "FailGeneral";
    }
    void discoveryListsEveryDeviceThatAnswered()
    {
        QFETCH(QByteArray, devices);
        QFETCH(DeviceList, expected);
        QFETCH(QString, outcome);
        Connection connection(devices.constData(), false);
        KVPDiscoverRequest request;
        // A second run starts from an empty list.
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(run(request, &connection.connectionParams), outcome);
            QCOMPARE(request.devices(), expected);
        }
    }

    void pingReportsHowTheExchangeEnded_data()
    {
        QTest::addColumn<QByteArray>("device"); // the row's name is the outcome
        // Frame 1 is the selection's own ping; frame 2 is the one under test.
        QTest::newRow("quiet") << QByteArray("");
        QTest::newRow("workDone") << QByteArray("model=QRD-780");
        QTest::newRow("FailNoReply") << QByteArray("silentfrom=2");
        QTest::newRow("FailGeneral") << QByteArray("refuse=2:0x21");
    }
    void pingReportsHowTheExchangeEnded()
    {
        QFETCH(QByteArray, device);
        Connection connection(device.constData());
        KVPPingRequest request;
        QCOMPARE(run(request, &connection.params), QTest::currentDataTag());
    }

    void libraryAccessDependsOnModelAndFirmware_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QString>("modelName");
        QTest::addColumn<bool>("supported");
        QTest::newRow("QRD-780") << QByteArray("model=QRD-780,fw=0x0001") << "QRD-780" << true;
        QTest::newRow("QRD-540B 0x0101") << QByteArray("model=QRD-540B,fw=0x0101") << "QRD-540B" << false;
        QTest::newRow("QRD-540B 0x0102") << QByteArray("model=QRD-540B,fw=0x0102") << "QRD-540B" << true;
        QTest::newRow("unknown model") << QByteArray("model=QRD-999,fw=0x0200") << "QRD-999" << false;
        QTest::newRow("no identity") << QByteArray("silentfrom=2") << "" << false;
    }
    void libraryAccessDependsOnModelAndFirmware()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, modelName);
        QFETCH(bool, supported);
        Connection connection(device.constData());
        QCOMPARE(queryModelName(*connection.link), modelName);
        QCOMPARE(supportsLibraryAccess(connection.link.get()), supported);
        QVERIFY(!supportsLibraryAccess(nullptr));
    }

    void listHandsOnTheDeviceListUnread_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<int>("count"); // -1: fails
        QTest::addColumn<int>("status");
        QTest::newRow("empty") << QByteArray("records=0") << 0 << int(StatusOk);
        // More entries than one reply frame holds: the list comes in several replies.
        QTest::newRow("many, small frames") << QByteArray("records=12,frame=200") << 12 << int(StatusOk);
        QTest::newRow("no connection") << QByteArray("") << -1 << int(StatusNotEvaluated);
        QTest::newRow("silent") << QByteArray("records=2,silentfrom=2") << -1 << int(StatusNoValidReply);
    }
    void listHandsOnTheDeviceListUnread()
    {
        QFETCH(QByteArray, device);
        QFETCH(int, count);
        QFETCH(int, status);
        Connection connection(device.constData());
        KVPFixtureDefinitionListRequest request;
        QSignalSpy received(&request, &KVPFixtureDefinitionListRequest::receivedData);
        // Success is told by the data alone.
        QCOMPARE(run(request, &connection.params), count < 0 ? "FailGeneral" : "quiet");
        QCOMPARE(int(request.result().status), status);
        QCOMPARE(received.count(), count < 0 ? 0 : 1);
        if (count >= 0) {
            QCOMPARE(received.at(0).at(1).toInt(), 2 + 244 * count);
            const auto* data = static_cast<const uint8_t*>(received.at(0).at(0).value<void*>());
            QCOMPARE(data, request.result().data.data());
            QCOMPARE(data[0] | (data[1] << 8), count);
        }
    }

    void listWhoseCountExceedsItsEntriesFails()
    {
        Test::LinkRig rig;
        Test::Bytes payload(size_t(DeviceRecord::ListCountLength + DeviceRecord::HeaderLength), 0);
        payload[0] = 2;
        rig.phy.replies = {Test::dataReply(Command::FixtureList, 0, payload, Test::BothFlags)};
        KVPLinkParams params {&rig.link};
        KVPFixtureDefinitionListRequest request;
        QCOMPARE(run(request, &params), "FailGeneral");
    }
};

QTEST_GUILESS_MAIN(TestKVPDeviceRequests)
#include "TestKVPDeviceRequests.moc"
