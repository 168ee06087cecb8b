// The settings language of KVP_SIM_DEVICES and kvp-device-sim --device.

#include "SimDeviceConfig.h"

#include <QTest>

using namespace korvane::KVP::sim;

namespace {

/// The fields a row looks at, on one line, so that a failure names the difference.
QString describe(const SimDeviceConfig& c)
{
    const SimFaults& f = c.faults;
    return QStringLiteral("%1 hw=%2 fw=%3 '%4' frame=%5 slots=%6 records=%7 patchEmpty=%8 wire=%9 latency=%10us "
                          "| silent=%11 refuse=%12:%13 corrupt=%14 drop=%15:%16 late=%17:%18 vanish=%19 nolastack=%20")
        .arg(QString::fromStdString(c.model))
        .arg(c.hardwareVersion)
        .arg(c.firmwareVersion)
        .arg(QString::fromStdString(c.description))
        .arg(c.frameSize)
        .arg(c.slotCount)
        .arg(c.records)
        .arg(c.patchEmpty)
        .arg(c.wire)
        .arg(c.latency.count())
        .arg(f.silentFrom)
        .arg(f.refuseAt)
        .arg(f.refuseCode)
        .arg(f.corruptAt)
        .arg(f.dropAt)
        .arg(f.dropCount)
        .arg(f.lateAt)
        .arg(f.lateBy.count())
        .arg(f.vanishAt)
        .arg(f.dropLastFirmwareAck);
}

} // namespace

class TestSimDeviceConfig : public QObject
{
    Q_OBJECT

private slots:
    void settingsAreRead_data();
    void settingsAreRead();
    void badSettingsAreRejected_data();
    void badSettingsAreRejected();
    void deviceListSplitsAtSemicolonsOutsideQuotes();
};

void TestSimDeviceConfig::settingsAreRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto with = [](auto change) {
        SimDeviceConfig config;
        change(config);
        return describe(config);
    };
    QTest::newRow("nothing: a healthy QRD-780") << "" << describe(SimDeviceConfig());
    QTest::newRow("identity") << "model=QRD-540B, fw=0x0101 ,hw=3,frame=100" << with([](SimDeviceConfig& c) {
        c.model = "QRD-540B";
        c.firmwareVersion = 0x0101;
        c.hardwareVersion = 3;
        c.frameSize = 100;
    });
    QTest::newRow("quoted description with separators")
        << R"(desc="KORVANE KVP-DGL, spare; 2")"
        << with([](SimDeviceConfig& c) { c.description = "KORVANE KVP-DGL, spare; 2"; });
    QTest::newRow("memory and patch") << "slots=50,records=12,patch=1" << with([](SimDeviceConfig& c) {
        c.slotCount = 50;
        c.records = 12;
        c.patchEmpty = false;
    });
    QTest::newRow("free slots on top of the records, in any order")
        << "free=3,records=12" << with([](SimDeviceConfig& c) {
               c.slotCount = 15;
               c.records = 12;
           });
    QTest::newRow("wire model") << "wire=1,latency=2" << with([](SimDeviceConfig& c) {
        c.wire = true;
        c.latency = std::chrono::milliseconds(2);
    });
    QTest::newRow("every fault") << "silentfrom=9,refuse=2:0x41,corrupt=3,drop=4:6,late=5:250,vanish=20,nolastack=1"
                                 << with([](SimDeviceConfig& c) {
                                        c.faults.silentFrom = 9;
                                        c.faults.refuseAt = 2;
                                        c.faults.refuseCode = 0x41;
                                        c.faults.corruptAt = 3;
                                        c.faults.dropAt = 4;
                                        c.faults.dropCount = 6;
                                        c.faults.lateAt = 5;
                                        c.faults.lateBy = std::chrono::milliseconds(250);
                                        c.faults.vanishAt = 20;
                                        c.faults.dropLastFirmwareAck = true;
                                    });
    QTest::newRow("silent device, default counts") << "silent=yes,refuse=7,drop=8" << with([](SimDeviceConfig& c) {
        c.faults.silentFrom = 1;
        c.faults.refuseAt = 7;
        c.faults.dropAt = 8;
    });
}

void TestSimDeviceConfig::settingsAreRead()
{
    QFETCH(QString, text);
    SimDeviceConfig config;
    std::string error;
    QVERIFY2(parseSimDeviceConfig(text.toStdString(), config, error), error.c_str());
    QTEST(describe(config), "expected");
}

void TestSimDeviceConfig::badSettingsAreRejected_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("unknown key") << "colour=red";
    QTest::newRow("no value") << "model";
    QTest::newRow("empty model") << "model=";
    QTest::newRow("model too long for the identity") << "model=" + QString(40, 'M');
    QTest::newRow("description too long for the node") << "desc=" + QString(64, 'D');
    QTest::newRow("version beyond 16 bits") << "fw=0x10000";
    QTest::newRow("negative number") << "slots=-1";
    QTest::newRow("number with trailing text") << "slots=12x";
    QTest::newRow("more than 255 slots") << "slots=256";
    QTest::newRow("more records than slots") << "slots=5,records=6";
    QTest::newRow("records and free beyond 255") << "records=200,free=56";
    QTest::newRow("flag that is no flag") << "patch=maybe";
    QTest::newRow("frame 0 does not exist") << "refuse=0";
    QTest::newRow("refusal code 0 is no refusal") << "refuse=3:0";
    QTest::newRow("late without a delay") << "late=3";
    QTest::newRow("corrupt takes no second value") << "corrupt=3:1";
}

void TestSimDeviceConfig::badSettingsAreRejected()
{
    QFETCH(QString, text);
    SimDeviceConfig config;
    std::string error;
    QVERIFY(!parseSimDeviceConfig(text.toStdString(), config, error));
    QVERIFY(!error.empty());
}

void TestSimDeviceConfig::deviceListSplitsAtSemicolonsOutsideQuotes()
{
    std::vector<SimDeviceConfig> devices;
    std::string error;
    QVERIFY(parseSimDeviceList(R"(model=QRD-780;;desc="A;B",model=QRD-540B; )", devices, error));
    QCOMPARE(devices.size(), size_t(2));
    QCOMPARE(devices[1].description, std::string("A;B"));
    QCOMPARE(devices[1].model, std::string("QRD-540B"));

    QVERIFY(parseSimDeviceList("", devices, error));
    QVERIFY(devices.empty());

    QVERIFY(!parseSimDeviceList("model=QRD-780;slots=300", devices, error));
    QVERIFY(QString::fromStdString(error).startsWith("device 1:"));
}

QTEST_GUILESS_MAIN(TestSimDeviceConfig)
#include "TestSimDeviceConfig.moc"
