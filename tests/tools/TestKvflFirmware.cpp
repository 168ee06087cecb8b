#include "ProcessRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The default update files live beside the sources, not in the build tree.
const QString ResourceDir = QStringLiteral(QRD_TEST_DATA_DIR "/../../resources/firmware");

} // namespace

/// firmware-make and firmware-info of the real kvfl binary, and the two default update files.
class TestKvflFirmware : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path())); }

    void madeFileReadsBackPaddedAndValid()
    {
        QVERIFY(writeFile("a.img", QByteArray(300, '\x02')) && writeFile("b.img", QByteArray(512, '\x01')));
        const QString make = "firmware-make made.kv2 --model QRD-780 --opaque 0a0b0c0d0e --note test a.img b.img";
        QCOMPARE(runKvfl(make.split(' ')).exitCode, 0);
        const ProcessRun info = runKvfl({"firmware-info", "made.kv2"});
        QCOMPARE(info.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(info.out).object();
        // Both sectors padded to 512 bytes; the checksum adds the bytes of the images (300 * 2 + 512 * 1),
        // the transfer is a 256-byte head and the sectors.
        QJsonObject expected = QJsonDocument::fromJson(R"({"valid": true, "model": "QRD-780", "sectorCount": 2,
            "sectorSizes": [512, 512], "checksum": 1112, "transferSize": 1280})")
                                   .object();
        expected.insert("status", json.value("status"));
        QCOMPARE(json, expected);
        QVERIFY(json.value("status").toString().startsWith(QStringLiteral("<font color =\"green\">")));

        QFile file("made.kv2");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 1280 + 1024);
        QCOMPARE(bytes.mid(47, 5), QByteArray::fromHex("0a0b0c0d0e"));
        QCOMPARE(bytes.mid(768, 5), QByteArray("test\0", 5));

        // One byte of the checksum changed: the file is reported, and refused.
        QVERIFY(writeFile("damaged.kv2", QByteArray(bytes).replace(100, 1, "\xff")));
        const ProcessRun damagedInfo = runKvfl({"firmware-info", "damaged.kv2"});
        QCOMPARE(damagedInfo.exitCode, 1);
        QCOMPARE(QJsonDocument::fromJson(damagedInfo.out)["valid"], false);
    }

    void refusedMakeLeavesNoFile_data()
    {
        QTest::addColumn<QString>("rest"); // of the command line
        QTest::newRow("opaque past byte 67") << "--opaque " + QString(44, '1') + " d.img";
        QTest::newRow("missing sector file") << "none.img";
        QTest::newRow("empty sector file") << "empty.img";
    }
    void refusedMakeLeavesNoFile()
    {
        QFETCH(QString, rest);
        QVERIFY(writeFile("d.img", QByteArray(256, '\x03')) && writeFile("empty.img", QByteArray()));
        const ProcessRun run = runKvfl(("firmware-make refused.kv2 --model QRD-780 " + rest).split(' '));
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("Failed to "), run.err.constData());
        QVERIFY(!QFileInfo::exists("refused.kv2"));
    }

    void defaultUpdateFilesUpdateSimulatedDevices_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("exitCode");
        const auto row = [](const char* name, const char* file, const char* device, int exitCode) {
            QTest::newRow(name) << file << device << exitCode;
        };
        row("QRD-540B", "QRD-540B", "model=QRD-540B,fw=0x0101", 0);
        row("QRD-780", "QRD-780", "model=QRD-780", 0);
        row("last frame unacknowledged", "QRD-780", "model=QRD-780,nolastack=1", 0);
        row("file for another model", "QRD-540B", "model=QRD-780", 1);
    }
    void defaultUpdateFilesUpdateSimulatedDevices()
    {
        QFETCH(QString, file);
        QFETCH(QString, device);
        QFETCH(int, exitCode);
        // The simulated device checks the sector checksum against the header it was sent.
        const QString path = QStringLiteral("%1/%2/%2.kv2").arg(ResourceDir, file);
        QCOMPARE(runKvfl({"firmware-update", path}, simDevices(device)).exitCode, exitCode);
    }
};

QTEST_GUILESS_MAIN(TestKvflFirmware)
#include "TestKvflFirmware.moc"
