// The discover, select, ping and list requests and the identity queries, each run on
// the test thread against simulated devices, with parameter blocks of their own.

#include "DeviceCapabilities.h"
#include "KVPDiscoverRequest.h"
#include "KVPFixtureDefinitionListRequest.h"
#include "KVPLink.h"
#include "KVPPhyFtdi.h"
#include "KVPPingRequest.h"
#include "KVPSelectDeviceRequest.h"
#include "KVPWorkerParams.h"
#include "KVPWorkerTestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace korvane::KVP;
using namespace korvane::KVP::test;

namespace {

using DeviceList = KVPDiscoverRequest::DeviceList;

/// A connection as the worker holds it, with the blocks pointing into it.
struct Connection
{
    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPLinkParams linkParams {&link};
    KVPConnectionParams connectionParams {&link, &phy};

    /// Opens `address` through the select request, as the worker does.
    uint16_t select(const QString& address)
    {
        KVPSelectDeviceRequest request;
        KVPSelectParams params {&link, &phy, address};
        request.work(&params);
        return request.firmwareVersion();
    }
};

constexpr int ListEntryLength = 244;

} // namespace

class TestKVPDeviceRequests : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void discoveryListsEveryDeviceThatAnswered_data();
    void discoveryListsEveryDeviceThatAnswered();
    void discoveryDropsTheOpenConnection();

    void selectionReportsTheVersions();
    void selectionOfASilentDeviceKeepsTheConnectionWithUnknownVersions();

    void pingWithoutConnectionStaysQuiet();
    void pingReportsHowTheExchangeEnded_data();
    void pingReportsHowTheExchangeEnded();

    void libraryAccessDependsOnModelAndFirmware_data();
    void libraryAccessDependsOnModelAndFirmware();
    void modelNameIsEmptyWithoutIdentity();

    void listHandsOnTheDeviceListUnread_data();
    void listHandsOnTheDeviceListUnread();
    void listWithoutConnectionFails();
    void listOfASilentDeviceFails();
};

void TestKVPDeviceRequests::cleanup()
{
    dropSimDevices();
}

void TestKVPDeviceRequests::discoveryListsEveryDeviceThatAnswered_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<DeviceList>("expected");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("no device") << QByteArray("") << DeviceList() << true;
    QTest::newRow("one QRD-780") << QByteArray("model=QRD-780") << DeviceList {{"QRD-780", "usb:ftdi/0"}} << true;
    QTest::newRow("first of two silent") << QByteArray("silent=1;model=QRD-540B")
                                         << DeviceList {{"QRD-540B", "usb:ftdi/1"}} << false;
    QTest::newRow("unknown model is listed")
        << QByteArray("model=QRD-999;model=QRD-540B")
        << DeviceList {{"QRD-999", "usb:ftdi/0"}, {"QRD-540B", "usb:ftdi/1"}} << true;
    // Only chips with our USB description count, so the stranger takes no address.
    QTest::newRow("foreign chip skipped")
        << QByteArray("desc=\"FT232R USB UART\";model=QRD-780") << DeviceList {{"QRD-780", "usb:ftdi/0"}} << true;
    QTest::newRow("dongle description") << QByteArray("desc=\"KORVANE KVP-DGL\",model=QRD-540B")
                                        << DeviceList {{"QRD-540B", "usb:ftdi/0"}} << true;
}

void TestKVPDeviceRequests::discoveryListsEveryDeviceThatAnswered()
{
    QFETCH(QByteArray, devices);
    QFETCH(DeviceList, expected);
    QFETCH(bool, succeeds);
    useSimDevices(devices.constData());

    Connection connection;
    KVPDiscoverRequest request;
    QSignalSpy done(&request, &KVPWorkerRequestI::workDone);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    request.work(&connection.connectionParams);

    QCOMPARE(request.devices(), expected);
    QCOMPARE(done.count(), succeeds ? 1 : 0);
    QCOMPARE(failed.count(), succeeds ? 0 : 1);
    if (!succeeds) {
        QCOMPARE(failed.at(0).at(0).value<KVPWorkerRequestI::failReason>(), KVPWorkerRequestI::FailGeneral);
    }
}

void TestKVPDeviceRequests::discoveryDropsTheOpenConnection()
{
    useSimDevices("model=QRD-780");
    Connection connection;
    connection.select("usb:ftdi/0");
    QVERIFY(connection.link && connection.phy);

    KVPDiscoverRequest request;
    request.work(&connection.connectionParams);
    QVERIFY(!connection.link);
    QVERIFY(!connection.phy);
    QCOMPARE(request.devices().size(), 1);

    // A second run starts from an empty list.
    request.work(&connection.connectionParams);
    QCOMPARE(request.devices().size(), 1);
}

void TestKVPDeviceRequests::selectionReportsTheVersions()
{
    useSimDevices("model=QRD-540B,fw=0x0203,hw=0x0004");
    KVPSelectDeviceRequest request;
    QSignalSpy done(&request, &KVPWorkerRequestI::workDone);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPSelectParams params {&link, &phy, "usb:ftdi/0"};

    request.work(&params);
    QCOMPARE(done.count(), 1);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(request.firmwareVersion(), uint16_t(0x0203));
    QCOMPARE(request.hardwareVersion(), uint16_t(0x0004));
    QVERIFY(link && phy);
    QCOMPARE(link->ping().status, StatusOk);
}

void TestKVPDeviceRequests::selectionOfASilentDeviceKeepsTheConnectionWithUnknownVersions()
{
    useSimDevices("silent=1");
    KVPSelectDeviceRequest request;
    QSignalSpy done(&request, &KVPWorkerRequestI::workDone);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    std::unique_ptr<KVPLink> link;
    std::unique_ptr<KVPPhy> phy;
    KVPSelectParams params {&link, &phy, "usb:ftdi/0"};

    request.work(&params);
    QCOMPARE(done.count(), 1);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(request.firmwareVersion(), KVPSelectDeviceRequest::UnknownVersion);
    QCOMPARE(request.hardwareVersion(), KVPSelectDeviceRequest::UnknownVersion);
    // The supervision ping, not the selection, finds out that the device is gone.
    QVERIFY(link && phy);
}

void TestKVPDeviceRequests::pingWithoutConnectionStaysQuiet()
{
    Connection connection;
    KVPPingRequest request;
    QSignalSpy done(&request, &KVPWorkerRequestI::workDone);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    request.work(&connection.linkParams);
    QCOMPARE(done.count(), 0);
    QCOMPARE(failed.count(), 0);
}

void TestKVPDeviceRequests::pingReportsHowTheExchangeEnded_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<int>("reason"); // -1: success

    // Frame 1 is the selection's own ping; frame 2 is the one under test.
    QTest::newRow("answers") << QByteArray("model=QRD-780") << -1;
    QTest::newRow("falls silent") << QByteArray("silentfrom=2") << int(KVPWorkerRequestI::FailNoReply);
    QTest::newRow("corrupt reply") << QByteArray("corrupt=2") << int(KVPWorkerRequestI::FailNoReply);
    QTest::newRow("refuses") << QByteArray("refuse=2:0x21") << int(KVPWorkerRequestI::FailGeneral);
}

void TestKVPDeviceRequests::pingReportsHowTheExchangeEnded()
{
    QFETCH(QByteArray, device);
    QFETCH(int, reason);
    useSimDevices(device.constData());
    Connection connection;
    connection.select("usb:ftdi/0");

    KVPPingRequest request;
    QSignalSpy done(&request, &KVPWorkerRequestI::workDone);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    request.work(&connection.linkParams);
    QCOMPARE(done.count(), reason < 0 ? 1 : 0);
    QCOMPARE(failed.count(), reason < 0 ? 0 : 1);
    if (reason >= 0) {
        QCOMPARE(int(failed.at(0).at(0).value<KVPWorkerRequestI::failReason>()), reason);
    }
}

void TestKVPDeviceRequests::libraryAccessDependsOnModelAndFirmware_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QString>("modelName");
    QTest::addColumn<bool>("supported");

    QTest::newRow("QRD-780") << QByteArray("model=QRD-780,fw=0x0001") << "QRD-780" << true;
    QTest::newRow("QRD-540B 0x0101") << QByteArray("model=QRD-540B,fw=0x0101") << "QRD-540B" << false;
    QTest::newRow("QRD-540B 0x0102") << QByteArray("model=QRD-540B,fw=0x0102") << "QRD-540B" << true;
    QTest::newRow("unknown model") << QByteArray("model=QRD-999,fw=0x0200") << "QRD-999" << false;
    QTest::newRow("name differs in case") << QByteArray("model=qrd-780") << "qrd-780" << false;
}

void TestKVPDeviceRequests::libraryAccessDependsOnModelAndFirmware()
{
    QFETCH(QByteArray, device);
    QFETCH(QString, modelName);
    QFETCH(bool, supported);
    useSimDevices(device.constData());
    Connection connection;
    connection.select("usb:ftdi/0");

    QCOMPARE(queryModelName(*connection.link), modelName);
    QCOMPARE(supportsLibraryAccess(connection.link.get()), supported);
}

void TestKVPDeviceRequests::modelNameIsEmptyWithoutIdentity()
{
    useSimDevices("silentfrom=2");
    Connection connection;
    connection.select("usb:ftdi/0");
    QCOMPARE(queryModelName(*connection.link), QString());
    QVERIFY(!supportsLibraryAccess(connection.link.get()));
    QVERIFY(!supportsLibraryAccess(nullptr));
}

void TestKVPDeviceRequests::listHandsOnTheDeviceListUnread_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<int>("count");

    QTest::newRow("empty") << QByteArray("records=0") << 0;
    QTest::newRow("three") << QByteArray("records=3") << 3;
    // More entries than one reply frame holds: the list comes in several replies.
    QTest::newRow("many, small frames") << QByteArray("records=12,frame=200") << 12;
}

void TestKVPDeviceRequests::listHandsOnTheDeviceListUnread()
{
    QFETCH(QByteArray, device);
    QFETCH(int, count);
    useSimDevices(device.constData());
    Connection connection;
    connection.select("usb:ftdi/0");

    KVPFixtureDefinitionListRequest request;
    QSignalSpy received(&request, &KVPFixtureDefinitionListRequest::receivedData);
    QSignalSpy done(&request, &KVPWorkerRequestI::workDone);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    request.work(&connection.linkParams);

    QCOMPARE(received.count(), 1);
    QCOMPARE(done.count(), 0);
    QCOMPARE(failed.count(), 0);
    const int length = received.at(0).at(1).toInt();
    QCOMPARE(length, 2 + ListEntryLength * count);
    const auto* data = static_cast<const uint8_t*>(received.at(0).at(0).value<void*>());
    QCOMPARE(data, request.result().data.data());
    QCOMPARE(data[0] | (data[1] << 8), count);
}

void TestKVPDeviceRequests::listWithoutConnectionFails()
{
    Connection connection;
    KVPFixtureDefinitionListRequest request;
    QSignalSpy received(&request, &KVPFixtureDefinitionListRequest::receivedData);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    request.work(&connection.linkParams);
    QCOMPARE(received.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).value<KVPWorkerRequestI::failReason>(), KVPWorkerRequestI::FailGeneral);
}

void TestKVPDeviceRequests::listOfASilentDeviceFails()
{
    // A timeout is reported like any other failure of the list.
    useSimDevices("records=2,silentfrom=2");
    Connection connection;
    connection.select("usb:ftdi/0");
    KVPFixtureDefinitionListRequest request;
    QSignalSpy received(&request, &KVPFixtureDefinitionListRequest::receivedData);
    QSignalSpy failed(&request, &KVPWorkerRequestI::failed);
    request.work(&connection.linkParams);
    QCOMPARE(received.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).value<KVPWorkerRequestI::failReason>(), KVPWorkerRequestI::FailGeneral);
    QCOMPARE(request.result().status, StatusNoValidReply);
}

QTEST_GUILESS_MAIN(TestKVPDeviceRequests)
#include "TestKVPDeviceRequests.moc"
