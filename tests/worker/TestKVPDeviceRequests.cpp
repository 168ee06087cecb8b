// The discover, ping and list requests and the identity queries, each run on the test
// thread against simulated devices, with parameter blocks of their own.

#include "DeviceCapabilities.h"
#include "KVPDiscoverRequest.h"
#include "KVPFixtureDefinitionListRequest.h"
#include "KVPLink.h"
#include "KVPPhyFtdi.h"
#include "KVPPingRequest.h"
#include "KVPSelectDeviceRequest.h"
#include "KVPWorkerParams.h"
#include "KVPWorkerTestSupport.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::test;
using DeviceList = KVPDiscoverRequest::DeviceList;

namespace {

/// A connection as the worker holds it, with the blocks pointing into it. Opens the first
/// of `devices`, if any, through the select request as the worker does.
struct Connection
{
    explicit Connection(const QByteArray& devices, bool open = true)
    {
        useSimDevices(devices.constData());
        if (open && !devices.isEmpty()) {
            KVPSelectDeviceRequest request;
            KVPSelectParams params {&link, &phy, "usb:ftdi/0"};
            request.work(&params);
        }
    }

    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPLinkParams linkParams {&link};
    KVPConnectionParams connectionParams {&link, &phy};
};

/// Runs `request` and tells how it ended: its reports ("done" or a failure's name), or "quiet".
QString run(KVPWorkerRequestI& request, void* params)
{
    QSignalSpy done(&request, &KVPWorkerRequestI::workDone);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    request.work(params);
    QStringList reports(done.count(), "done");
    for (const QList<QVariant>& report : failed) {
        const auto reason = report.at(0).value<KVPWorkerRequestI::failReason>();
        reports << QMetaEnum::fromType<KVPWorkerRequestI::failReason>().valueToKey(reason);
    }
    return reports.isEmpty() ? "quiet" : reports.join(", ");
}

} // namespace

class TestKVPDeviceRequests : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { dropSimDevices(); }

    void discoveryListsEveryDeviceThatAnswered_data()
    {
        QTest::addColumn<QByteArray>("devices");
        QTest::addColumn<DeviceList>("expected");
        QTest::addColumn<QString>("outcome");

        QTest::newRow("no device") << QByteArray("") << DeviceList() << "done";
        QTest::newRow("first of two silent")
            << QByteArray("silent=1;model=QRD-540B") << DeviceList {{"QRD-540B", "usb:ftdi/1"}} << "FailGeneral";
        QTest::newRow("unknown model is listed")
            << QByteArray("model=QRD-999;model=QRD-540B")
            << DeviceList {{"QRD-999", "usb:ftdi/0"}, {"QRD-540B", "usb:ftdi/1"}} << "done";
        // Only chips with our USB description count, so the stranger takes no address.
        QTest::newRow("foreign chip skipped")
            << QByteArray("desc=\"FT232R USB UART\";model=QRD-780") << DeviceList {{"QRD-780", "usb:ftdi/0"}} << "done";
        QTest::newRow("dongle description") << QByteArray("desc=\"KORVANE KVP-DGL\",model=QRD-540B")
                                            << DeviceList {{"QRD-540B", "usb:ftdi/0"}} << "done";
    }

    void discoveryListsEveryDeviceThatAnswered()
    {
        QFETCH(QByteArray, devices);
        QFETCH(DeviceList, expected);
        QFETCH(QString, outcome);
        Connection connection(devices, false);
        KVPDiscoverRequest request;
        QCOMPARE(run(request, &connection.connectionParams), outcome);
        QCOMPARE(request.devices(), expected);
        // A second run starts from an empty list.
        QCOMPARE(run(request, &connection.connectionParams), outcome);
        QCOMPARE(request.devices(), expected);
    }

    void pingReportsHowTheExchangeEnded_data()
    {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QString>("outcome");
        // Frame 1 is the selection's own ping; frame 2 is the one under test.
        QTest::newRow("no connection") << QByteArray() << "quiet";
        QTest::newRow("answers") << QByteArray("model=QRD-780") << "done";
        QTest::newRow("falls silent") << QByteArray("silentfrom=2") << "FailNoReply";
        QTest::newRow("corrupt reply") << QByteArray("corrupt=2") << "FailNoReply";
        QTest::newRow("refuses") << QByteArray("refuse=2:0x21") << "FailGeneral";
    }

    void pingReportsHowTheExchangeEnded()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, outcome);
        Connection connection(device);
        KVPPingRequest request;
        QCOMPARE(run(request, &connection.linkParams), outcome);
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
        QTest::newRow("name differs in case") << QByteArray("model=qrd-780") << "qrd-780" << false;
        QTest::newRow("no identity") << QByteArray("silentfrom=2") << "" << false;
    }

    void libraryAccessDependsOnModelAndFirmware()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, modelName);
        QFETCH(bool, supported);
        Connection connection(device);
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
        QTest::newRow("three") << QByteArray("records=3") << 3 << int(StatusOk);
        // More entries than one reply frame holds: the list comes in several replies.
        QTest::newRow("many, small frames") << QByteArray("records=12,frame=200") << 12 << int(StatusOk);
        QTest::newRow("no connection") << QByteArray() << -1 << int(StatusNotEvaluated);
        QTest::newRow("silent") << QByteArray("records=2,silentfrom=2") << -1 << int(StatusNoValidReply);
    }

    void listHandsOnTheDeviceListUnread()
    {
        QFETCH(QByteArray, device);
        QFETCH(int, count);
        QFETCH(int, status);
        Connection connection(device);
        KVPFixtureDefinitionListRequest request;
        QSignalSpy received(&request, &KVPFixtureDefinitionListRequest::receivedData);
        // Success is told by the data alone.
        QCOMPARE(run(request, &connection.linkParams), count < 0 ? "FailGeneral" : "quiet");
        QCOMPARE(int(request.result().status), status);
        QCOMPARE(received.count(), count < 0 ? 0 : 1);
        if (count >= 0) {
            QCOMPARE(received.at(0).at(1).toInt(), 2 + 244 * count);
            const auto* data = static_cast<const uint8_t*>(received.at(0).at(0).value<void*>());
            QCOMPARE(data, request.result().data.data());
            QCOMPARE(data[0] | (data[1] << 8), count);
        }
    }
};

QTEST_GUILESS_MAIN(TestKVPDeviceRequests)
#include "TestKVPDeviceRequests.moc"
