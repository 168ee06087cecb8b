#include "FirmwareUpdateFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <vector>

using korvane::KVP::FirmwareUpdateFile;

namespace {

void putU32(QByteArray& file, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        file[offset + i] = char(value >> (8 * i));
    }
}

void setChecksum(QByteArray& file)
{
    uint32_t sum = 0;
    for (int i = FirmwareUpdateFile::HeadSize; i < file.size(); ++i) {
        sum += uint8_t(file[i]);
    }
    putU32(file, 100, sum);
}

// A valid file: the sectors back to back after the head, a few opaque and free-area bytes set.
QByteArray makeFile(const std::vector<QByteArray>& sectors, const QByteArray& model = "QRD-540B")
{
    QByteArray file(FirmwareUpdateFile::HeadSize, '\0');
    file.replace(0, 5, QByteArray("KVU2\0", 5));
    file.replace(5, model.size(), model);
    file[46] = char(sectors.size());
    file.replace(47, 5, "\x11\x22\x33\x44\x55");
    file.replace(768, 10, "build note");
    for (size_t i = 0; i < sectors.size(); ++i) {
        putU32(file, 68 + 4 * int(i), uint32_t(sectors[i].size()));
        file += sectors[i];
    }
    setChecksum(file);
    return file;
}

QByteArray pattern(int size, int start = 0)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = char(start + i * 7);
    }
    return bytes;
}

} // namespace

class TestFirmwareUpdateFile : public QObject
{
    Q_OBJECT

private slots:
    void fifthMagicByteMustBeZero()
    {
        QByteArray file = makeFile({pattern(256)});
        file[4] = 'X';
        FirmwareUpdateFile update;
        QVERIFY(!update.load(file));
        QVERIFY(!update.isValid());
        QCOMPARE(update.sectorCount(), -1);
        QCOMPARE(update.transferSize(), -1);
        QVERIFY(!update.headerBlock().data);
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
        QByteArray file = makeFile({pattern(256), pattern(100, 3)});
        file[offset] = char(file[offset] ^ 0x5a);
        FirmwareUpdateFile update;
        QCOMPARE(update.load(file), valid);
        QCOMPARE(update.isValid(), valid);
        QCOMPARE(update.cannotOpen(), false);
    }

    void noSectorsMeansHeaderOnly()
    {
        FirmwareUpdateFile update;
        QVERIFY(update.load(makeFile({})));
        QCOMPARE(update.sectorCount(), 0);
        QCOMPARE(update.checksum(), 0u);
        QCOMPARE(update.transferSize(), 256);
        QCOMPARE(update.headerBlock().length, 256u);
        QVERIFY(!update.sector(0).data);
    }

    void sectorOfOnesWithChecksum256IsValid()
    {
        QByteArray file = makeFile({QByteArray(256, '\1')});
        QCOMPARE(file.size(), 1536);
        QCOMPARE(file.mid(100, 4), QByteArray("\0\1\0\0", 4));
        FirmwareUpdateFile update;
        QVERIFY(update.load(file));
        QCOMPARE(update.checksum(), 256u);
        QCOMPARE(update.transferSize(), 512);
        const auto header = update.headerBlock();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(header.data), header.length), file.left(256));
        QCOMPARE(update.sector(0).data, header.data + 1280);
        QCOMPARE(update.sector(0).length, 256u);
    }

    void sectorsLieBackToBackWithoutRounding()
    {
        FirmwareUpdateFile update;
        QVERIFY(update.load(makeFile({pattern(100), pattern(300, 1), pattern(512, 2)})));
        QCOMPARE(update.sector(1).data, update.sector(0).data + 100);
        QCOMPARE(update.sector(2).data, update.sector(1).data + 300);
        QCOMPARE(update.sector(2).length, 512u);
        QCOMPARE(update.transferSize(), 256 + 100 + 300 + 512);
    }

    void lookupStopsAtCountAndAtEight()
    {
        FirmwareUpdateFile two;
        QVERIFY(two.load(makeFile({pattern(256), pattern(256)})));
        QVERIFY(!two.sector(2).data);
        QVERIFY(!two.sector(-1).data);
        FirmwareUpdateFile eight;
        QVERIFY(eight.load(makeFile(std::vector<QByteArray>(8, pattern(16)))));
        QCOMPARE(eight.sector(7).length, 16u);
        QVERIFY(!eight.sector(8).data);
        QCOMPARE(eight.sector(8).length, 0u);
    }

    void oneSectorOf512Sends768()
    {
        FirmwareUpdateFile update;
        QVERIFY(update.load(makeFile({pattern(512)})));
        QCOMPARE(update.transferSize(), 768);
    }

    void modelMatchesExactly_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("matches");
        QTest::newRow("own") << "QRD-540B" << true;
        QTest::newRow("other") << "QRD-780" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("case") << "qrd-540b" << false;
        QTest::newRow("prefix") << "QRD-540" << false;
        QTest::newRow("longer") << "QRD-540B " << false;
    }

    void modelMatchesExactly()
    {
        QFETCH(QString, model);
        QFETCH(bool, matches);
        FirmwareUpdateFile update;
        QVERIFY(update.load(makeFile({pattern(256)})));
        QCOMPARE(update.containsUpdateFor(model), matches);
        QByteArray broken = makeFile({pattern(256)});
        broken[1280] = char(broken[1280] + 1);
        FirmwareUpdateFile failed;
        QVERIFY(!failed.load(broken));
        QVERIFY(!failed.containsUpdateFor(model));
    }

    void statusLines_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("corrupt");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("own model") << "a.kv2" << false << "QRD-540B"
                                   << QByteArray("<font color =\"green\">The file 'DIR/a.kv2' is OK.</font>");
        QTest::newRow("no model") << "a.kv2" << false << ""
                                  << QByteArray("<font color =\"grey\">The file 'DIR/a.kv2' is OK.</font>");
        QTest::newRow("other model") << "a.kv2" << false << "QRD-780"
                                     << QByteArray("<font color =\"grey\">The file 'DIR/a.kv2' does not contain a "
                                                   "firmware update for a supported device.</font>");
        QTest::newRow("invalid") << "a.kv2" << true << "QRD-540B"
                                 << QByteArray(
                                        "<font color =\"red\">The file 'DIR/a.kv2' is not a valid KV2 file.</font>");
        QTest::newRow("missing") << "missing.kv2" << false << "QRD-540B"
                                 << QByteArray(
                                        "<font color =\"red\">The file 'DIR/missing.kv2' is not readable.</font>");
        QTest::newRow("no name") << "" << false << "QRD-540B" << QByteArray();
    }

    void statusLines()
    {
        QFETCH(QString, path);
        QFETCH(bool, corrupt);
        QFETCH(QString, model);
        QFETCH(QByteArray, line);
        QTemporaryDir dir;
        QByteArray contents = makeFile({pattern(256)});
        if (corrupt) {
            contents[1300] = char(contents[1300] + 1);
        }
        QFile file(dir.filePath("a.kv2"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        const QString fileName = path.isEmpty() ? QString() : dir.filePath(path);
        FirmwareUpdateFile update;
        QCOMPARE(update.load(fileName), !corrupt && path == "a.kv2");
        QCOMPARE(update.cannotOpen(), path != "a.kv2");
        QCOMPARE(update.fileName(), QFile::encodeName(fileName));
        QCOMPARE(update.statusHtml(model), line.replace("DIR", QFile::encodeName(dir.path())));
    }

    void everyTruncationIsInvalid()
    {
        const QByteArray file = makeFile({pattern(256), pattern(100, 5)});
        for (int length = 0; length < file.size(); ++length) {
            FirmwareUpdateFile update;
            // A copy of exactly this length: nothing of the rest of the file stays readable.
            const QByteArray truncated(file.constData(), length);
            QVERIFY2(!update.load(truncated), qPrintable(QString::number(length)));
            QVERIFY(!update.isValid());
            QCOMPARE(update.sectorCount(), -1);
            QVERIFY(!update.sector(0).data);
            QCOMPARE(update.checksum(), 0u);
        }
        FirmwareUpdateFile whole;
        QVERIFY(whole.load(file));
    }

    void hostileHeadsAreInvalid_data()
    {
        QTest::addColumn<QByteArray>("file");
        QByteArray wraps = makeFile({QByteArray(1, '\x7f'), QByteArray(1, '\x01')});
        putU32(wraps, 68, 0xffffffffu); // with the second size 0 modulo 2^32
        QTest::newRow("sizes wrap in 32 bits") << wraps;
        QByteArray wrapsToZero = makeFile(std::vector<QByteArray>(8));
        for (int i = 0; i < 8; ++i) {
            putU32(wrapsToZero, 68 + 4 * i, 0x20000000u);
        }
        QTest::newRow("eight sizes sum to 2^32") << wrapsToZero;
        QByteArray negative = makeFile({QByteArray()});
        putU32(negative, 68, 0x80000000u);
        QTest::newRow("negative size") << negative;
        QByteArray nine = makeFile({});
        nine[46] = 9;
        QTest::newRow("sector count 9") << nine;
        QTest::newRow("model without terminator") << makeFile({pattern(256)}, QByteArray(41, 'A'));
        QByteArray huge = makeFile(std::vector<QByteArray>(8, pattern(16)));
        for (int i = 0; i < 8; ++i) {
            putU32(huge, 68 + 4 * i, 0xffffffffu);
        }
        QTest::newRow("eight sectors of 4 GiB") << huge;
        // The third sector would start at 2^32 + 256, that is at 256 in 32-bit arithmetic.
        QByteArray offsetWraps = makeFile({pattern(256), pattern(256), pattern(256)});
        putU32(offsetWraps, 68, 0xffffffffu);
        putU32(offsetWraps, 72, 257);
        QTest::newRow("sector offset beyond 4 GiB") << offsetWraps;
    }

    void hostileHeadsAreInvalid()
    {
        QFETCH(QByteArray, file);
        FirmwareUpdateFile update;
        QVERIFY(!update.load(file));
        QVERIFY(!update.isValid());
        QCOMPARE(update.transferSize(), -1);
        QVERIFY(!update.sector(8).data);
        QVERIFY(!update.containsUpdateFor("QRD-540B"));
    }

    void fileBeyondTheSizeLimitIsRefusedUnread()
    {
        // A sparse file: a head claiming eight sectors of 4 GiB, then 3 GiB of nothing.
        QTemporaryDir dir;
        const QString path = dir.filePath("huge.kv2");
        QByteArray head = makeFile({});
        head[46] = 8;
        for (int i = 0; i < 8; ++i) {
            putU32(head, 68 + 4 * i, 0xffffffffu);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(head) == head.size());
        QVERIFY(file.resize(qint64(3) << 30));
        file.close();

        rusage before {};
        getrusage(RUSAGE_SELF, &before);
        FirmwareUpdateFile update;
        QVERIFY(!update.load(path));
        rusage after {};
        getrusage(RUSAGE_SELF, &after);
        QVERIFY(!update.cannotOpen());
        QVERIFY(!update.isValid());
        QVERIFY(update.statusHtml("QRD-540B").contains("is not a valid KV2 file."));
        // Reading the file would have raised the peak resident size by gigabytes (kB here).
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 200 * 1024, qPrintable(QString::number(after.ru_maxrss)));

        // Just over the limit is refused as well; the built-in files are far below it.
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(FirmwareUpdateFile::MaxFileSize + 1));
        file.close();
        QVERIFY(!update.load(path));
        QVERIFY(!update.isValid());
    }

    void longestModelNameIsValid()
    {
        FirmwareUpdateFile update;
        QVERIFY(update.load(makeFile({pattern(256)}, QByteArray(40, 'A'))));
        QCOMPARE(update.modelName(), QByteArray(40, 'A'));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareUpdateFile)
#include "TestFirmwareUpdateFile.moc"
