#include "FirmwareImageWriter.h"
#include "FirmwareUpdateFile.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <numeric>

using korvane::KVP::FirmwareImageWriter;
using korvane::KVP::FirmwareUpdateFile;
using Sizes = QList<int>;

namespace {

void putU32(QByteArray& file, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        file[offset + i] = char(value >> (8 * i));
    }
}

/// A valid file: sectors of the given sizes back to back after the head, a few opaque and
/// free-area bytes set.
QByteArray makeFile(const Sizes& sizes, const QByteArray& model = "QRD-540B")
{
    QByteArray file(FirmwareUpdateFile::HeadSize, '\0');
    file.replace(0, 5, QByteArray("KVU2\0", 5));
    file.replace(5, model.size(), model);
    file[46] = char(sizes.size());
    file.replace(47, 5, "\x11\x22\x33\x44\x55");
    file.replace(768, 10, "build note");
    uint32_t sum = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        putU32(file, 68 + 4 * i, uint32_t(sizes[i]));
        for (int b = 0; b < sizes[i]; ++b) {
            file += char(i + b * 7);
            sum += uint8_t(i + b * 7);
        }
    }
    putU32(file, 100, sum);
    return file;
}

} // namespace

class TestFirmwareUpdateFile : public QObject
{
    Q_OBJECT

private slots:
    void validFileGivesItsSectorsBackToBack_data()
    {
        QTest::addColumn<Sizes>("sizes");
        QTest::addColumn<QByteArray>("model");
        QTest::newRow("no sectors: header only") << Sizes {} << QByteArray("QRD-540B");
        QTest::newRow("sizes not rounded") << Sizes {100, 300, 512} << QByteArray("QRD-780");
        QTest::newRow("eight") << Sizes(8, 16) << QByteArray("QRD-540B");
        QTest::newRow("longest model name") << Sizes {256} << QByteArray(40, 'A');
    }
    void validFileGivesItsSectorsBackToBack()
    {
        QFETCH(Sizes, sizes);
        QFETCH(QByteArray, model);
        const QByteArray file = makeFile(sizes, model);
        FirmwareUpdateFile update;
        QVERIFY(update.load(file));
        QVERIFY(update.isValid());
        QCOMPARE(update.modelName(), model);
        QVERIFY(update.containsUpdateFor(model));
        QVERIFY(!update.containsUpdateFor(model.chopped(1)));
        QVERIFY(!update.containsUpdateFor(model + ' '));
        QCOMPARE(update.sectorCount(), sizes.size());
        const auto header = update.headerBlock();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(header.data), header.length), file.left(256));
        int offset = FirmwareUpdateFile::HeadSize;
        for (int i = 0; i < sizes.size(); ++i) {
            QCOMPARE(update.sector(i).data, header.data + offset);
            QCOMPARE(int(update.sector(i).length), sizes[i]);
            offset += sizes[i];
        }
        const auto add = [](uint32_t sum, char byte) { return sum + uint8_t(byte); };
        QCOMPARE(update.checksum(), std::accumulate(file.begin() + FirmwareUpdateFile::HeadSize, file.end(), 0u, add));
        QCOMPARE(update.transferSize(), 256 + offset - FirmwareUpdateFile::HeadSize);
        for (int index : {-1, int(sizes.size()), 8}) {
            QVERIFY(!update.sector(index).data);
            QCOMPARE(update.sector(index).length, 0u);
        }
    }

    void onlySectorBytesAndChecksumAreChecked_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("valid");
        for (int offset : {47, 67, 104, 255, 256, 768, 1279}) {
            QTest::addRow("opaque or free %d", offset) << offset << true;
        }
        for (int offset : {100, 103, 1280, 1280 + 255, 1280 + 256, 1280 + 355}) {
            QTest::addRow("checked %d", offset) << offset << false;
        }
    }
    void onlySectorBytesAndChecksumAreChecked()
    {
        QFETCH(int, offset);
        QFETCH(bool, valid);
        QByteArray file = makeFile(Sizes {256, 100});
        file[offset] = char(file[offset] ^ 0x5a);
        FirmwareUpdateFile update;
        QCOMPARE(update.load(file), valid);
        QCOMPARE(update.isValid(), valid);
        QCOMPARE(update.cannotOpen(), false);
    }

    void statusLines_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("line"); // after "<font color =\"", FILE for the path
        QTest::newRow("own model") << "a.kv2"
                                   << "QRD-540B" << QByteArray("green\">The file 'FILE' is OK.</font>");
        QTest::newRow("no model") << "a.kv2"
                                  << "" << QByteArray("grey\">The file 'FILE' is OK.</font>");
        QTest::newRow("other model") << "a.kv2"
                                     << "QRD-780"
                                     << QByteArray("grey\">The file 'FILE' does not contain a firmware update for a "
                                                   "supported device.</font>");
        QTest::newRow("missing") << "missing.kv2"
                                 << "QRD-540B" << QByteArray("red\">The file 'FILE' is not readable.</font>");
        QTest::newRow("markup and umlauts in the name")
            << "Größe <b>&.kv2"
            << "QRD-540B" << QByteArray("red\">The file 'FILE' is not readable.</font>");
        QTest::newRow("no name") << ""
                                 << "QRD-540B" << QByteArray();
    }
    void statusLines()
    {
        QFETCH(QString, path);
        QFETCH(QString, model);
        QFETCH(QByteArray, line);
        QTemporaryDir dir;
        const QByteArray contents = makeFile(Sizes {256});
        QFile file(dir.filePath("a.kv2"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        file.close();
        const QString fileName = path.isEmpty() ? QString() : dir.filePath(path);
        FirmwareUpdateFile update;
        QCOMPARE(update.load(fileName), path == "a.kv2");
        QCOMPARE(update.cannotOpen(), path != "a.kv2");
        QCOMPARE(update.fileName(), QFile::encodeName(fileName));
        // The name shows as it is, not as markup, and keeps its non-ASCII letters.
        const QString expected = line.isEmpty()
            ? QString()
            : "<font color =\"" + QString::fromUtf8(line).replace("FILE", fileName.toHtmlEscaped());
        QCOMPARE(update.statusHtml(model), expected);
    }

    void hostileHeadsAreInvalid_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray whole = makeFile(Sizes {256, 100});
        for (int length = 0; length < whole.size(); ++length) {
            // A copy of exactly this length: nothing of the rest of the file stays readable.
            QTest::addRow("truncated to %d", length) << QByteArray(whole.constData(), length);
        }
        QByteArray magic = makeFile(Sizes {256});
        magic[4] = 'X';
        QTest::newRow("fifth magic byte not zero") << magic;
        QByteArray wraps = makeFile(Sizes {1, 1});
        putU32(wraps, 68, 0xffffffffu); // with the second size 0 modulo 2^32
        QTest::newRow("sizes wrap in 32 bits") << wraps;
        QByteArray negative = makeFile(Sizes {0});
        putU32(negative, 68, 0x80000000u);
        QTest::newRow("negative size") << negative;
        QByteArray nine = makeFile(Sizes {});
        nine[46] = 9;
        QTest::newRow("sector count 9") << nine;
        QTest::newRow("model without terminator") << makeFile(Sizes {256}, QByteArray(41, 'A'));
    }
    void hostileHeadsAreInvalid()
    {
        QFETCH(QByteArray, file);
        FirmwareUpdateFile update;
        QVERIFY(!update.load(file));
        QVERIFY(!update.isValid());
        QCOMPARE(update.sectorCount(), -1);
        QCOMPARE(update.transferSize(), -1);
        QVERIFY(!update.headerBlock().data);
        QVERIFY(!update.sector(0).data);
        QVERIFY(!update.containsUpdateFor("QRD-540B"));
        QVERIFY(update.statusHtml("QRD-540B").contains("is not a valid KV2 file."));
    }

    void fileBeyondTheSizeLimitIsRefusedUnread()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("huge.kv2"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(makeFile(Sizes {256})) > 0);
        QVERIFY(file.resize(FirmwareUpdateFile::MaxFileSize + 1)); // sparse
        file.close();
        rusage before {}, after {};
        getrusage(RUSAGE_SELF, &before);
        FirmwareUpdateFile update;
        QVERIFY(!update.load(file.fileName()));
        getrusage(RUSAGE_SELF, &after);
        QVERIFY(!update.cannotOpen());
        QVERIFY(update.statusHtml("QRD-540B").contains("is not a valid KV2 file."));
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 8 * 1024, qPrintable(QString::number(after.ru_maxrss)));
    }

    void writerRefusesFieldsThatDoNotFit()
    {
        const auto refused = [](const QByteArray& model, const QByteArray& opaque, int sectors) {
            FirmwareImageWriter writer;
            writer.setModel(model);
            writer.setOpaque(opaque);
            for (int i = 0; i < sectors; ++i) {
                writer.addSector(QByteArray(256, '\x01'));
            }
            return writer.build().isEmpty() && !writer.errorString().isEmpty();
        };
        QVERIFY(refused("", "", 1));
        QVERIFY(refused(QByteArray(41, 'M'), "", 1)); // the model fills its field
        QVERIFY(refused("QRD-780", QByteArray(22, '\x01'), 1)); // the opaque bytes go past byte 67
        QVERIFY(refused("QRD-780", "", 9));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareUpdateFile)
#include "TestFirmwareUpdateFile.moc"
