#include "ProcessRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

/// What a list or a dump shows of its definitions (their names), or devices of its devices.
QStringList summary(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    QStringList result;
    for (const QJsonValue& value : document.isObject() ? document["definitions"].toArray() : document.array()) {
        const QJsonObject entry = value.toObject();
        result << (entry.contains("name") ? entry["name"].toString()
                                          : entry["model"].toString() + ' ' + entry["address"].toString());
    }
    return result;
}

// The first samples the simulated device is filled with, and what list shows of the first.
const QStringList Samples {"Dimmer Pack 1ch", "LED PAR 64 RGB", "LED PAR 64 RGBW", "Fog Machine 1500W"};
const QByteArray FirstListed = R"({"recordNumber": 0, "name": "Dimmer Pack 1ch", "shortName": "Dimmer 1ch",
    "manufacturer": "Generic", "manufacturerShort": "Generic", "type": 4, "channelCount": 1})";

// "Zero" has no channel, which the device refuses; the device shows "中" as "?". The
// first "Dimmer Pack 1ch" is the device's first sample, the second is not: its channel
// count differs.
const QByteArray LibraryJson = R"({"definitions": [
    {"name": "Par A", "type": 2, "channels": [{"name": "Red"}, {"name": "Green"}]},
    {"name": "Par B", "channels": [{"name": "Dimmer"}]},
    {"name": "Par 中", "channels": [{"name": "Dimmer"}]},
    {"name": "Dimmer Pack 1ch", "manufacturer": "Generic", "channels": [{"name": "Dimmer"}]},
    {"name": "Dimmer Pack 1ch", "manufacturer": "Generic", "channels": [{"name": "Dimmer"}, {"name": "Strobe"}]},
    {"name": "Zero"}]})";

ProcessRun kvfl(const QStringList& arguments, const QString& devices)
{
    return runKvfl(arguments, simDevices(devices));
}

} // namespace

/// Runs the real kvfl binary against simulated devices, in process (`sim` backend) and
/// behind a socket (`socket` backend and kvp-device-sim), as scripts would.
class TestKvflDevice : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
        QCOMPARE(runKvfl({"create", "library.kvfl"}, {}, LibraryJson).exitCode, 0);
    }

    void commandsPrintAndExitWithTheirOutcome_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("printed"); // see summary()
        QTest::addColumn<QByteArray>("error"); // empty: nothing on stderr; ending in a newline: all of it
        const auto row
            = [](const char* name, const char* devices, const QStringList& arguments, int exitCode) -> QTestData& {
            return QTest::newRow(name) << devices << arguments << exitCode;
        };
        const QStringList none;
        row("devices", "model=QRD-780;model=QRD-540B", {"devices"}, 0)
            << QStringList {"QRD-780 usb:ftdi/0", "QRD-540B usb:ftdi/1"} << QByteArray();
        row("devices, none", "", {"devices"}, 0) << none << QByteArray();
        row("devices, first silent", "silent=1;model=QRD-540B", {"devices"}, 1)
            << QStringList {"QRD-540B usb:ftdi/1"} << QByteArray("did not answer");
        row("list", "records=3", {"list"}, 0) << Samples.mid(0, 3) << QByteArray();
        row("list, empty device", "records=0", {"list"}, 0) << none << QByteArray();
        row("list --device picks the second", "records=1;records=2", {"list", "--device", "usb:ftdi/1"}, 0)
            << Samples.mid(0, 2) << QByteArray();
        row("list, no device", "", {"list"}, 1) << none << QByteArray("No device found");
        // Nothing more is asked of a device that did not answer its selection.
        row("list, silent device", "silent=1", {"list", "--device=usb:ftdi/0"}, 1)
            << none << QByteArray("The device at usb:ftdi/0 does not answer.\n");
        const QStringList both {"upload", "library.kvfl", "--name", "Par A", "--name", "Par B"};
        row("written", "records=1", both, 0) << none << QByteArray();
        row("patch list not empty", "patch=1", both, 2) << none << QByteArray("--clear-patch");
        row("patch list cleared", "patch=1", both + QStringList {"--clear-patch"}, 0) << none << QByteArray();
        row("not enough slots", "free=1", both, 3) << none << QByteArray("free memory slots");
        // Only the refusal: the changes the device would have made are no longer worth a word.
        row("no channel", "records=1", {"upload", "library.kvfl"}, 4)
            << none
            << QByteArray("Make sure that no fixture definition has less than 1 channel or more\nthan 45 channels.\n"
                          "  \"Zero\": 0 channels; the devices hold 1 to 45\n");
        row("changed name warned of", "records=1", {"upload", "library.kvfl", "--name", "Par 中"}, 0)
            << none << QByteArray("warning: Par 中: Fixture Name: “中” will show as “?”\n");
        row("present one skipped",
            "records=1",
            {"upload", "library.kvfl", "--skip-present", "--name=Dimmer Pack 1ch"},
            0)
            << none << QByteArray("Skipped 1 definition the device already holds.\n");
        row("old firmware", "model=QRD-540B,fw=0x0101", both, 1) << none << QByteArray("Upload of fixture");
        row("unknown name", "records=1", {"upload", "library.kvfl", "--name", "Nope"}, 1)
            << none << QByteArray("\"Nope\"");
        row("download, no such record", "records=2", {"download", "missing.kvfl", "9"}, 1)
            << none << QByteArray("no record 9");
    }
    void commandsPrintAndExitWithTheirOutcome()
    {
        QFETCH(QString, devices);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, printed);
        QFETCH(QByteArray, error);
        const ProcessRun run = kvfl(arguments, devices);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(summary(run.out), printed);
        QVERIFY(exitCode == 0 || !printed.isEmpty() || run.out.isEmpty());
        QVERIFY2(error.endsWith('\n') ? run.err == error : run.err.contains(error), run.err.constData());
        QVERIFY2(error.isEmpty() == run.err.isEmpty(), run.err.constData());
        const QJsonValue first = QJsonDocument::fromJson(run.out)[0];
        QVERIFY(printed.value(0) != Samples.at(0) || first == QJsonDocument::fromJson(FirstListed).object());
    }

    void downloadAppendsToTheLibraryShowingProgressOnATerminal()
    {
        const ProcessRun first = kvfl({"download", "download.kvfl", "2", "0"}, "records=4");
        QVERIFY2(first.exitCode == 0 && first.err.isEmpty(), first.err.constData());
        // Progress goes to standard error only when that is a terminal; script(1) gives kvfl one.
        const QString command = QStringLiteral("'" QRD_BIN_DIR "/kvfl' download download.kvfl");
        const ProcessRun run = runProcess("script", {"-qfec", command, "/dev/null"}, simDevices("records=2"));
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("\rDownloading 100%"), run.out.constData());
        QCOMPARE(summary(runKvfl({"dump", "download.kvfl"}).out),
                 (QStringList {Samples.at(2), Samples.at(0), Samples.at(0), Samples.at(1)}));
    }

    void transfersChangeTheDeviceBehindASocket()
    {
        // Unlike the in-process device, this one keeps its memory from one command to the next.
        QProcess server;
        server.start(QStringLiteral(QRD_BIN_DIR "/kvp-device-sim"),
                     {"--socket", "qrd.sock", "--device", "model=QRD-780,records=3,patch=1"});
        QVERIFY(server.waitForReadyRead(60000));
        QVERIFY(server.readAllStandardOutput().contains("listening on"));
        const QStringList socket {"KVP_FTDI_BACKEND=socket",
                                  "KVP_FTDI_SOCKETS=KORVANE KVP-DEV=" + m_dir.filePath("qrd.sock")};
        const QStringList upload {"upload", "library.kvfl", "--name", "Par B", "--name", "Par 中"};
        QCOMPARE(summary(runKvfl({"devices"}, socket).out), QStringList {"QRD-780 usb:ftdi/0"});
        QCOMPARE(runKvfl(upload, socket).exitCode, 2);
        QCOMPARE(runKvfl({"clear-patch"}, socket).exitCode, 0);
        QCOMPARE(runKvfl(upload, socket).exitCode, 0);
        QCOMPARE(summary(runKvfl({"list"}, socket).out), Samples.mid(0, 3) + QStringList({"Par B", "Par ?"}));
        const ProcessRun again = runKvfl(upload + QStringList {"--skip-present"}, socket);
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.err, QByteArray("Skipped 2 definitions the device already holds.\nNothing to upload.\n"));
        QCOMPARE(runKvfl({"delete", "0", "2"}, socket).exitCode, 0);
        QCOMPARE(summary(runKvfl({"list"}, socket).out), (QStringList {Samples.at(1), "Par B", "Par ?"}));
        server.terminate();
        QVERIFY(server.waitForFinished(60000));
    }

    void deviceServerRefusesBadArgumentsAndLeavesOtherFilesAlone_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("help") << QStringList {"--help"} << 0;
        QTest::newRow("no socket") << QStringList {"--device", "model=QRD-780"} << 2;
        QTest::newRow("unknown option") << QStringList {"--socket", "x.sock", "--speed"} << 2;
        QTest::newRow("bad device settings") << QStringList {"--socket", "x.sock", "--device", "slots=900"} << 2;
        QTest::newRow("path is another file") << QStringList {"--socket", "plain-file"} << 1;
    }

    void deviceServerRefusesBadArgumentsAndLeavesOtherFilesAlone()
    {
        QFETCH(QStringList, arguments);
        QVERIFY(writeFile("plain-file", "keep"));
        const ProcessRun run = runProcess(QStringLiteral(QRD_BIN_DIR "/kvp-device-sim"), arguments);
        QTEST(run.exitCode, "exitCode");
        QVERIFY(!(run.out + run.err).isEmpty());
        QFile plain("plain-file");
        QVERIFY(plain.open(QIODevice::ReadOnly) && plain.readAll() == "keep");
    }
};

QTEST_GUILESS_MAIN(TestKvflDevice)
#include "TestKvflDevice.moc"
