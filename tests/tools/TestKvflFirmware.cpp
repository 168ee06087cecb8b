#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int ProcessTimeoutMs = 60000;
constexpr int HeadSize = 1280;
constexpr int ChecksumOffset = 100;
// The default update files live beside the sources, not in the build tree.
const QString ResourceDir = QStringLiteral(QRD_TEST_DATA_DIR "/../../resources/firmware");

struct Run
{
    int exitCode = -1;
    QJsonObject json;
};

} // namespace

/// firmware-make and firmware-info of the real kvfl binary, and the two default update files.
class TestKvflFirmware : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void madeFileReadsBackPaddedAndValid();
    void damagedFileIsReportedInvalid();
    void refusedMakeLeavesNoFile_data();
    void refusedMakeLeavesNoFile();
    void defaultUpdateFilesAreValid_data();
    void defaultUpdateFilesAreValid();
    void defaultUpdateFilesUpdateSimulatedDevices_data();
    void defaultUpdateFilesUpdateSimulatedDevices();

private:
    Run kvfl(const QStringList& arguments, const QString& simDevices = QString());
    QString writeFile(const QString& name, const QByteArray& content);

    QString m_kvfl;
    QTemporaryDir m_dir;
};

void TestKvflFirmware::initTestCase()
{
    m_kvfl = QStringLiteral(QRD_BIN_DIR "/kvfl");
    QVERIFY2(QFileInfo(m_kvfl).isExecutable(), qPrintable(m_kvfl));
    QVERIFY(m_dir.isValid());
}

Run TestKvflFirmware::kvfl(const QStringList& arguments, const QString& simDevices)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    if (!simDevices.isNull()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KVP_FTDI_BACKEND"), QStringLiteral("sim"));
        environment.insert(QStringLiteral("KVP_SIM_DEVICES"), simDevices);
        process.setProcessEnvironment(environment);
    }
    process.start(m_kvfl, arguments);
    if (!process.waitForFinished(ProcessTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), QJsonDocument::fromJson(process.readAllStandardOutput()).object()};
}

QString TestKvflFirmware::writeFile(const QString& name, const QByteArray& content)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        qWarning("cannot write %s", qPrintable(name));
    }
    return file.fileName();
}

void TestKvflFirmware::madeFileReadsBackPaddedAndValid()
{
    const QString first = writeFile("a.img", QByteArray(300, '\x02'));
    const QString second = writeFile("b.img", QByteArray(512, '\x01'));
    const QString out = m_dir.filePath("made.kv2");
    const Run made
        = kvfl({"firmware-make", out, "--model", "QRD-780", "--opaque", "0a0b0c0d0e", "--note", "test", first, second});
    QCOMPARE(made.exitCode, 0);

    const Run info = kvfl({"firmware-info", out});
    QCOMPARE(info.exitCode, 0);
    QCOMPARE(info.json.value("valid").toBool(), true);
    QCOMPARE(info.json.value("model").toString(), QStringLiteral("QRD-780"));
    QCOMPARE(info.json.value("sectorCount").toInt(), 2);
    QCOMPARE(info.json.value("sectorSizes").toArray(), (QJsonArray {512, 512}));
    QCOMPARE(info.json.value("checksum").toInteger(), 300 * 2 + 512 * 1);
    QCOMPARE(info.json.value("transferSize").toInt(), 256 + 1024);
    QVERIFY(info.json.value("status").toString().startsWith(QStringLiteral("<font color =\"green\">")));

    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), HeadSize + 1024);
    QCOMPARE(bytes.mid(47, 5), QByteArray::fromHex("0a0b0c0d0e"));
    QCOMPARE(bytes.mid(768, 5), QByteArray("test\0", 5));
}

void TestKvflFirmware::damagedFileIsReportedInvalid()
{
    const QString out = m_dir.filePath("damaged.kv2");
    QCOMPARE(kvfl({"firmware-make", out, "--model", "QRD-540B", writeFile("c.img", QByteArray(256, '\x05'))}).exitCode,
             0);
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(ChecksumOffset));
    QCOMPARE(file.write("\xff", 1), 1);
    file.close();

    const Run info = kvfl({"firmware-info", out});
    QCOMPARE(info.exitCode, 1);
    QCOMPARE(info.json.value("valid").toBool(), false);
    QVERIFY(info.json.value("status").toString().endsWith(QStringLiteral(" is not a valid KV2 file.</font>")));
}

void TestKvflFirmware::refusedMakeLeavesNoFile_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("sector");
    QTest::addColumn<int>("exitCode");
    const QString image = QStringLiteral("d.img");
    QTest::newRow("no model") << QStringList() << image << 64;
    QTest::newRow("odd hex digits") << QStringList {"--model", "QRD-780", "--opaque", "010"} << image << 64;
    QTest::newRow("opaque past byte 67")
        << QStringList {"--model", "QRD-780", "--opaque", QString(44, QLatin1Char('1'))} << image << 1;
    QTest::newRow("missing sector file") << QStringList {"--model", "QRD-780"} << QStringLiteral("none.img") << 1;
    QTest::newRow("empty sector file") << QStringList {"--model", "QRD-780"} << QStringLiteral("empty.img") << 1;
}

void TestKvflFirmware::refusedMakeLeavesNoFile()
{
    QFETCH(QStringList, options);
    QFETCH(QString, sector);
    QFETCH(int, exitCode);
    writeFile("d.img", QByteArray(256, '\x03'));
    writeFile("empty.img", QByteArray());
    const QString out = m_dir.filePath("refused.kv2");
    QCOMPARE(kvfl(QStringList {"firmware-make", out} + options + QStringList {m_dir.filePath(sector)}).exitCode,
             exitCode);
    QVERIFY(!QFileInfo::exists(out));
}

void TestKvflFirmware::defaultUpdateFilesAreValid_data()
{
    QTest::addColumn<QString>("model");
    QTest::newRow("QRD-540B") << QStringLiteral("QRD-540B");
    QTest::newRow("QRD-780") << QStringLiteral("QRD-780");
}

void TestKvflFirmware::defaultUpdateFilesAreValid()
{
    QFETCH(QString, model);
    const QString path = QStringLiteral("%1/%2/%2.kv2").arg(ResourceDir, model);
    const Run info = kvfl({"firmware-info", path});
    QCOMPARE(info.exitCode, 0);
    QCOMPARE(info.json.value("valid").toBool(), true);
    QCOMPARE(info.json.value("model").toString(), model);
    QCOMPARE(info.json.value("sectorCount").toInt(), 1);
    const int size = info.json.value("sectorSizes").toArray().at(0).toInt();
    QVERIFY(size > 0 && size % 256 == 0);
    QCOMPARE(QFileInfo(path).size(), HeadSize + size);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray opaque = file.read(52).mid(47);
    QVERIFY2(!opaque.contains('\0'), "opaque bytes 47 to 51 are non-zero");
}

void TestKvflFirmware::defaultUpdateFilesUpdateSimulatedDevices_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("QRD-540B") << "QRD-540B"
                              << "model=QRD-540B,fw=0x0101" << 0;
    QTest::newRow("QRD-780") << "QRD-780"
                             << "model=QRD-780" << 0;
    QTest::newRow("last frame unacknowledged") << "QRD-780"
                                               << "model=QRD-780,nolastack=1" << 0;
    QTest::newRow("file for another model") << "QRD-540B"
                                            << "model=QRD-780" << 1;
    QTest::newRow("no device") << "QRD-780"
                               << "" << 1;
}

void TestKvflFirmware::defaultUpdateFilesUpdateSimulatedDevices()
{
    QFETCH(QString, file);
    QFETCH(QString, device);
    QFETCH(int, exitCode);
    // The simulated device checks the sector checksum against the header it was sent.
    const QString path = QStringLiteral("%1/%2/%2.kv2").arg(ResourceDir, file);
    QCOMPARE(kvfl({"firmware-update", path}, device).exitCode, exitCode);
}

QTEST_GUILESS_MAIN(TestKvflFirmware)
#include "TestKvflFirmware.moc"
