#include "DeviceRecordLayout.h"
#include "TestSupport.h"

#include <QTest>

/// The device's record sizes and its fixed-width Latin-1 text fields.
class TestDeviceRecordLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordSizesMatchTheDevice();
    void readingStopsAtZeroOrWidthOrEndOfData_data();
    void readingStopsAtZeroOrWidthOrEndOfData();
    void writingFillsTheFieldAndTerminatesOnlyShortTexts_data();
    void writingFillsTheFieldAndTerminatesOnlyShortTexts();
};

void TestDeviceRecordLayout::recordSizesMatchTheDevice()
{
    QCOMPARE(DeviceRecord::usedLength(0), 244);
    QCOMPARE(DeviceRecord::slotOffset(2), 244 + 112);
    QCOMPARE(DeviceRecord::RecordLength, 5284);
    QCOMPARE(DeviceRecord::slotOffset(45) + DeviceRecord::SlotLength, DeviceRecord::RecordLength);
}

void TestDeviceRecordLayout::readingStopsAtZeroOrWidthOrEndOfData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("text");

    QTest::newRow("terminated") << QByteArray("xxPan\0yy", 8) << 2 << 6 << "Pan";
    QTest::newRow("full width, next field follows") << QByteArray("PanTilt") << 0 << 3 << "Pan";
    QTest::newRow("Latin-1 bytes") << QByteArray("Caf\xe9 \xff", 6) << 0 << 6 << QString::fromUtf8("Café ÿ");
    QTest::newRow("field cut by the end of the data") << QByteArray("xxxxLong") << 4 << 100 << "Long";
    QTest::newRow("field starts past the end") << QByteArray("abc") << 50 << 10 << "";
    QTest::newRow("negative offset") << QByteArray("abc") << -1 << 2 << "";
    QTest::newRow("empty data") << QByteArray() << 0 << 20 << "";
}

void TestDeviceRecordLayout::readingStopsAtZeroOrWidthOrEndOfData()
{
    QFETCH(QByteArray, data);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(QString, text);

    std::vector<char> block;
    QCOMPARE(DeviceRecord::readTextField(exactBytes(data, block), offset, width), text);
}

void TestDeviceRecordLayout::writingFillsTheFieldAndTerminatesOnlyShortTexts_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field"); // the field's bytes and the guard byte after it

    // The field sits at offset 2 of a buffer of 0xAA; untouched bytes keep 0xAA.
    QTest::newRow("exact width, no terminator") << 4 << "Pan1" << QByteArray("Pan1\xaa");
    QTest::newRow("shorter, one zero then untouched") << 6 << "Pan" << QByteArray("Pan\0\xaa\xaa\xaa", 7);
    QTest::newRow("longer is cut") << 4 << "Pan fine" << QByteArray("Pan \xaa");
    QTest::newRow("empty is one zero") << 3 << "" << QByteArray("\0\xaa\xaa\xaa", 4);
    QTest::newRow("Latin-1 characters") << 4 << QString::fromUtf8("Café") << QByteArray("Caf\xe9\xaa");
    QTest::newRow("outside Latin-1 becomes ?") << 5 << QString::fromUtf8("ΩmĀ") << QByteArray("?m?\0\xaa\xaa", 6);
}

void TestDeviceRecordLayout::writingFillsTheFieldAndTerminatesOnlyShortTexts()
{
    QFETCH(int, width);
    QFETCH(QString, text);
    QFETCH(QByteArray, field);

    constexpr char Fill = char(0xAA);
    QByteArray data(2 + width + 8, Fill);
    DeviceRecord::writeTextField(data, 2, width, text);
    QCOMPARE(data.left(2), QByteArray(2, Fill));
    QCOMPARE(data.mid(2, field.size()), field);
    QCOMPARE(data.mid(2 + width), QByteArray(8, Fill));
}

QTEST_GUILESS_MAIN(TestDeviceRecordLayout)
#include "TestDeviceRecordLayout.moc"
