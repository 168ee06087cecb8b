#include "FirmwareImageWriter.h"
#include "FirmwareUpdateFile.h"

#include <QBuffer>
#include <QTest>

using korvane::KVP::FirmwareImageWriter;
using korvane::KVP::FirmwareUpdateFile;

/// What the writer makes is what the reader accepts; what cannot fit is refused.
class TestFirmwareImageWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writtenFileLoadsWithPaddedSectors();
    void fieldsThatDoNotFitAreRefused_data();
    void fieldsThatDoNotFitAreRefused();
};

void TestFirmwareImageWriter::writtenFileLoadsWithPaddedSectors()
{
    FirmwareImageWriter writer;
    writer.setModel("QRD-540B");
    writer.setOpaque(QByteArray::fromHex("0102030405"));
    writer.setNote("note");
    writer.addSector(QByteArray(1, '\x07'));
    writer.addSector(QByteArray(256, '\x01'));
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(writer.write(buffer));

    FirmwareUpdateFile file;
    QVERIFY(file.load(buffer.data(), QStringLiteral("buffer")));
    QCOMPARE(file.modelName(), QByteArray("QRD-540B"));
    QCOMPARE(file.sectorCount(), 2);
    QCOMPARE(file.sector(0).length, 256u);
    QCOMPARE(file.sector(1).length, 256u);
    QCOMPARE(file.checksum(), 7u + 256u);
    QCOMPARE(file.transferSize(), 256 + 512);
    QVERIFY(file.containsUpdateFor(QStringLiteral("QRD-540B")));
}

void TestFirmwareImageWriter::fieldsThatDoNotFitAreRefused_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("opaque");
    QTest::addColumn<int>("sectors");
    QTest::newRow("empty model") << QByteArray() << QByteArray() << 1;
    QTest::newRow("model fills its field") << QByteArray(41, 'M') << QByteArray() << 1;
    QTest::newRow("opaque past byte 67") << QByteArray("QRD-780") << QByteArray(22, '\x01') << 1;
    QTest::newRow("nine sectors") << QByteArray("QRD-780") << QByteArray() << 9;
}

void TestFirmwareImageWriter::fieldsThatDoNotFitAreRefused()
{
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, opaque);
    QFETCH(int, sectors);
    FirmwareImageWriter writer;
    writer.setModel(model);
    writer.setOpaque(opaque);
    for (int i = 0; i < sectors; ++i) {
        writer.addSector(QByteArray(256, '\x01'));
    }
    QVERIFY(writer.build().isEmpty());
    QVERIFY(!writer.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(TestFirmwareImageWriter)
#include "TestFirmwareImageWriter.moc"
