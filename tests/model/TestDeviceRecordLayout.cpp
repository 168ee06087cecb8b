#include "DeviceRecordLayout.h"

#include <QTest>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr char Fill = char(0xAA);

// Bytes in a heap block of exactly their own size, without the terminating zero a
// QByteArray keeps after its data: a read past the end hits AddressSanitizer's red zone.
struct ExactBytes
{
    explicit ExactBytes(const QByteArray& content)
        : block(static_cast<char*>(std::malloc(static_cast<size_t>(content.size()) + (content.isEmpty() ? 1 : 0))))
    {
        std::memcpy(block.get(), content.constData(), static_cast<size_t>(content.size()));
        bytes = QByteArray::fromRawData(block.get(), content.size());
    }
    struct Free
    {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> block;
    QByteArray bytes;
};

} // namespace

/// The device's fixed-width Latin-1 text fields.
class TestDeviceRecordLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordSizesMatchTheDevice();
    void readingStopsAtZeroOrWidthOrEndOfData_data();
    void readingStopsAtZeroOrWidthOrEndOfData();
    void writingFillsTheFieldAndTerminatesOnlyShortTexts_data();
    void writingFillsTheFieldAndTerminatesOnlyShortTexts();
    void writtenFieldReadsBack();
};

void TestDeviceRecordLayout::recordSizesMatchTheDevice()
{
    QCOMPARE(DeviceRecord::HeaderLength, 244);
    QCOMPARE(DeviceRecord::SlotLength, 112);
    QCOMPARE(DeviceRecord::RecordLength, 5284);
    QCOMPARE(DeviceRecord::slotOffset(1), 244);
    QCOMPARE(DeviceRecord::slotOffset(45) + DeviceRecord::SlotLength, 5284);
    QCOMPARE(DeviceRecord::usedLength(0), 244);
    QCOMPARE(DeviceRecord::usedLength(3), 244 + 3 * 112);
}

void TestDeviceRecordLayout::readingStopsAtZeroOrWidthOrEndOfData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("text");

    QTest::newRow("terminated") << QByteArray("Pan\0Tilt", 8) << 0 << 8 << "Pan";
    QTest::newRow("zero at the start") << QByteArray("\0Pan", 4) << 0 << 4 << "";
    QTest::newRow("full width, no terminator, next field follows") << QByteArray("PanTilt") << 0 << 3 << "Pan";
    QTest::newRow("field in the middle") << QByteArray("xxPan\0yy", 8) << 2 << 6 << "Pan";
    QTest::newRow("Latin-1 bytes") << QByteArray("Caf\xe9 \xff", 6) << 0 << 6 << QString::fromUtf8("Café ÿ");
    QTest::newRow("field cut by the end of the data") << QByteArray("xxxxLong") << 4 << 100 << "Long";
    QTest::newRow("field starts at the end") << QByteArray("abc") << 3 << 10 << "";
    QTest::newRow("field starts past the end") << QByteArray("abc") << 50 << 10 << "";
    QTest::newRow("negative offset") << QByteArray("abc") << -1 << 2 << "";
    QTest::newRow("zero width") << QByteArray("abc") << 0 << 0 << "";
    QTest::newRow("negative width") << QByteArray("abc") << 0 << -5 << "";
    QTest::newRow("empty data") << QByteArray() << 0 << 20 << "";
}

void TestDeviceRecordLayout::readingStopsAtZeroOrWidthOrEndOfData()
{
    QFETCH(QByteArray, data);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(QString, text);

    const ExactBytes exact(data);
    QCOMPARE(DeviceRecord::readTextField(exact.bytes, offset, width), text);
}

void TestDeviceRecordLayout::writingFillsTheFieldAndTerminatesOnlyShortTexts_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field"); // the bytes from the field's start to the guard byte after it

    // The field sits at offset 2 of a buffer filled with 0xAA; untouched bytes keep 0xAA.
    QTest::newRow("exact width, no terminator") << 4 << "Pan1" << QByteArray("Pan1\xaa");
    QTest::newRow("shorter, one zero then untouched") << 6 << "Pan" << QByteArray("Pan\0\xaa\xaa\xaa", 7);
    QTest::newRow("longer is cut") << 4 << "Pan fine" << QByteArray("Pan \xaa");
    QTest::newRow("empty is one zero") << 3 << "" << QByteArray("\0\xaa\xaa\xaa", 4);
    QTest::newRow("Latin-1 characters") << 4 << QString::fromUtf8("Café") << QByteArray("Caf\xe9\xaa");
    QTest::newRow("outside Latin-1 becomes ?") << 5 << QString::fromUtf8("ΩmΣ") << QByteArray("?m?\0\xaa\xaa", 6);
    QTest::newRow("one past Latin-1") << 2 << QString(QChar(0x0100)) << QByteArray("?\0\xaa", 3);
}

void TestDeviceRecordLayout::writingFillsTheFieldAndTerminatesOnlyShortTexts()
{
    QFETCH(int, width);
    QFETCH(QString, text);
    QFETCH(QByteArray, field);

    constexpr int Offset = 2;
    QByteArray data(Offset + width + 8, Fill);
    DeviceRecord::writeTextField(data, Offset, width, text);

    QCOMPARE(data.left(Offset), QByteArray(Offset, Fill));
    QCOMPARE(data.mid(Offset, field.size()), field);
    QCOMPARE(data.mid(Offset + width), QByteArray(8, Fill));
}

void TestDeviceRecordLayout::writtenFieldReadsBack()
{
    const QString hundred = QString::fromUtf8("Ä") + QString(99, QLatin1Char('n'));
    QByteArray record(DeviceRecord::RecordLength, Fill);
    DeviceRecord::writeTextField(record, DeviceRecord::NameOffset, DeviceRecord::NameWidth, hundred);
    DeviceRecord::writeTextField(record, DeviceRecord::ShortNameOffset, DeviceRecord::ShortNameWidth, "Short");

    QCOMPARE(DeviceRecord::readTextField(record, DeviceRecord::NameOffset, DeviceRecord::NameWidth), hundred);
    QCOMPARE(DeviceRecord::readTextField(record, DeviceRecord::ShortNameOffset, DeviceRecord::ShortNameWidth),
             QStringLiteral("Short"));
}

QTEST_GUILESS_MAIN(TestDeviceRecordLayout)
#include "TestDeviceRecordLayout.moc"
