#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int ProcessTimeoutMs = 60000;

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QJsonArray parseArray(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).array();
}

/// The names of a list or a dump's definitions, in order.
QStringList names(const QJsonArray& definitions)
{
    QStringList result;
    for (const QJsonValue& definition : definitions) {
        result.append(definition.toObject().value("name").toString());
    }
    return result;
}

QJsonObject device(const QString& model, int index)
{
    return {{"model", model}, {"address", QStringLiteral("usb:ftdi/%1").arg(index)}};
}

// The first samples the simulated device is filled with.
const QStringList Samples {"Dimmer Pack 1ch", "LED PAR 64 RGB", "LED PAR 64 RGBW", "Fog Machine 1500W"};

// "Zero" has no channel, which the device refuses.
const QByteArray LibraryJson = R"({"definitions": [
    {"name": "Par A", "type": 2, "channels": [{"name": "Red"}, {"name": "Green"}]},
    {"name": "Par B", "channels": [{"name": "Dimmer"}]},
    {"name": "Zero"}]})";

QProcessEnvironment backend(const QString& name, const QString& variable, const QString& value)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KVP_FTDI_BACKEND", name);
    environment.insert(variable, value);
    return environment;
}

} // namespace

/// Runs the real kvfl binary against simulated devices, in process (`sim` backend) and
/// behind a socket (`socket` backend and kvp-device-sim), as scripts would.
class TestKvflDevice : public QObject
{
    Q_OBJECT

    QString m_kvfl = QStringLiteral(QRD_BIN_DIR "/kvfl");
    QString m_library;
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    Run kvfl(const QStringList& arguments, const QString& simDevices)
    {
        return kvfl(arguments, backend("sim", "KVP_SIM_DEVICES", simDevices));
    }
    Run kvfl(const QStringList& arguments, const QProcessEnvironment& environment)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_dir.path());
        process.start(m_kvfl, arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(ProcessTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
            qWarning("kvfl did not finish normally: %s", qPrintable(process.errorString()));
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(m_kvfl).isExecutable(), qPrintable(m_kvfl));
        QVERIFY(m_dir.isValid());
        QFile json(path("library.json"));
        QVERIFY(json.open(QIODevice::WriteOnly) && json.write(LibraryJson) == LibraryJson.size());
        json.close();
        m_library = path("library.kvfl");
        QCOMPARE(kvfl({"create", m_library, json.fileName()}, QString()).exitCode, 0);
    }

    void devicesListsThoseThatAnswered_data()
    {
        QTest::addColumn<QString>("simDevices");
        QTest::addColumn<QJsonArray>("expected");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("two devices") << "model=QRD-780;model=QRD-540B"
                                     << QJsonArray {device("QRD-780", 0), device("QRD-540B", 1)} << 0;
        QTest::newRow("no device") << "" << QJsonArray() << 0;
        QTest::newRow("first silent") << "silent=1;model=QRD-540B" << QJsonArray {device("QRD-540B", 1)} << 1;
    }
    void devicesListsThoseThatAnswered()
    {
        QFETCH(QString, simDevices);
        QFETCH(QJsonArray, expected);
        QFETCH(int, exitCode);
        const Run run = kvfl({"devices"}, simDevices);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(parseArray(run.out), expected);
        QCOMPARE(run.err.isEmpty(), exitCode == 0);
    }

    void listShowsTheChosenDeviceDefinitions_data()
    {
        QTest::addColumn<QString>("simDevices");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("records") << "records=3" << QStringList() << Samples.mid(0, 3);
        QTest::newRow("empty device") << "records=0" << QStringList() << QStringList();
        QTest::newRow("--device picks the second")
            << "records=1;records=2" << QStringList {"--device", "usb:ftdi/1"} << Samples.mid(0, 2);
    }
    void listShowsTheChosenDeviceDefinitions()
    {
        QFETCH(QString, simDevices);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        const Run run = kvfl(QStringList {"list"} + arguments, simDevices);
        QCOMPARE(run.exitCode, 0);
        const QJsonArray list = parseArray(run.out);
        QCOMPARE(names(list), expected);
        const QJsonObject first {{"recordNumber", 0},
                                 {"name", "Dimmer Pack 1ch"},
                                 {"shortName", "Dimmer 1ch"},
                                 {"manufacturer", "Generic"},
                                 {"manufacturerShort", "Generic"},
                                 {"type", 4},
                                 {"channelCount", 1}};
        QVERIFY(list.isEmpty() || list.first().toObject() == first);
    }

    void commandsExitWithTheirOutcome_data()
    {
        QTest::addColumn<QString>("simDevices");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error"); // empty: nothing on stderr
        // Bad options exit with 64 (EX_USAGE) before any device work: the silent device never fails them.
        QTest::newRow("--device without value")
            << "silent=1" << QStringList {"list", "--device"} << 64 << QByteArray("needs a value");
        QTest::newRow("option of another command")
            << "silent=1" << QStringList {"devices", "--device", "x"} << 64 << QByteArray("unknown option");
        QTest::newRow("flag with a value")
            << "silent=1" << QStringList {"upload", "x.kvfl", "--clear-patch=1"} << 64 << QByteArray("takes no value");
        QTest::newRow("delete without record")
            << "silent=1" << QStringList {"delete"} << 64 << QByteArray("missing argument");
        QTest::newRow("list, no device") << "" << QStringList {"list"} << 1 << QByteArray("No device found");
        QTest::newRow("list, silent device")
            << "silent=1" << QStringList {"list", "--device=usb:ftdi/0"} << 1 << QByteArray("does not answer");
        const QStringList both {"upload", m_library, "--name", "Par A", "--name", "Par B"};
        QTest::newRow("written") << "records=1" << both << 0 << QByteArray();
        QTest::newRow("patch list not empty") << "patch=1" << both << 2 << QByteArray("--clear-patch");
        QTest::newRow("patch list cleared") << "patch=1" << both + QStringList {"--clear-patch"} << 0 << QByteArray();
        QTest::newRow("not enough slots") << "free=1" << both << 3 << QByteArray("free memory slots");
        QTest::newRow("no channel") << "records=1" << QStringList {"upload", m_library} << 4
                                    << QByteArray("\"Zero\": 0 channels");
        QTest::newRow("old firmware") << "model=QRD-540B,fw=0x0101" << both << 1 << QByteArray("Upload of fixture");
        QTest::newRow("unknown name") << "records=1" << QStringList {"upload", m_library, "--name", "Nope"} << 1
                                      << QByteArray("\"Nope\"");
        QTest::newRow("download, no such record")
            << "records=2" << QStringList {"download", path("missing.kvfl"), "9"} << 1 << QByteArray("no record 9");
    }
    void commandsExitWithTheirOutcome()
    {
        QFETCH(QString, simDevices);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        const Run run = kvfl(arguments, simDevices);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(error.isEmpty() ? run.err.isEmpty() : run.err.contains(error), run.err.constData());
        QVERIFY(exitCode == 0 || run.out.isEmpty());
    }

    void downloadAppendsToTheLibrary()
    {
        const QString library = path("download.kvfl");
        QCOMPARE(kvfl({"download", library, "2", "0"}, "records=4").exitCode, 0);
        QCOMPARE(kvfl({"download", library}, "records=2").exitCode, 0);
        const QJsonObject dump = QJsonDocument::fromJson(kvfl({"dump", library}, QString()).out).object();
        QCOMPARE(names(dump.value("definitions").toArray()),
                 (QStringList {Samples.at(2), Samples.at(0), Samples.at(0), Samples.at(1)}));
    }

    void transfersChangeTheDeviceBehindASocket()
    {
        // Unlike the in-process device, this one keeps its memory from one command to the next.
        const QString socket = path("qrd.sock");
        QProcess server;
        server.start(QStringLiteral(QRD_BIN_DIR "/kvp-device-sim"),
                     {"--socket", socket, "--device", "model=QRD-780,records=3,patch=1"});
        QVERIFY(server.waitForReadyRead(ProcessTimeoutMs));
        QVERIFY(server.readAllStandardOutput().contains("listening on"));
        const QProcessEnvironment environment = backend("socket", "KVP_FTDI_SOCKETS", "KORVANE KVP-DEV=" + socket);
        const auto listed = [&] { return names(parseArray(kvfl({"list"}, environment).out)); };

        QCOMPARE(parseArray(kvfl({"devices"}, environment).out), QJsonArray {device("QRD-780", 0)});
        QCOMPARE(kvfl({"upload", m_library, "--name", "Par B"}, environment).exitCode, 2);
        QCOMPARE(kvfl({"clear-patch"}, environment).exitCode, 0);
        QCOMPARE(kvfl({"upload", m_library, "--name", "Par B"}, environment).exitCode, 0);
        QCOMPARE(listed(), Samples.mid(0, 3) + QStringList {"Par B"});
        QCOMPARE(kvfl({"delete", "0", "2"}, environment).exitCode, 0);
        QCOMPARE(listed(), (QStringList {Samples.at(1), "Par B"}));
        server.terminate();
        QVERIFY(server.waitForFinished(ProcessTimeoutMs));
    }
};

QTEST_GUILESS_MAIN(TestKvflDevice)
#include "TestKvflDevice.moc"
