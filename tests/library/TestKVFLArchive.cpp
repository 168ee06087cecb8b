#include "ArchiveBytes.h"
#include "FailingDevice.h"
#include "GzipWriter.h"
#include "QKVFixtureDefinitionXMLExporter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/resource.h>

#include <zlib.h>

#include <atomic>
#include <csignal>
#include <ctime>

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                                         void (*freeHook)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* p);
#define QRD_TRACK_ALLOCATIONS 1
#endif

namespace {

constexpr qint64 MiB = qint64(1) << 20;
constexpr qint64 Cap = KVFLArchive::MaxXmlMemberSize;
const QString OldName = QString::fromUtf8("Lümière ÿ Ω.kvfl");
// Not a speed check: a load this long has stopped making progress or inflates without bound.
constexpr qint64 HangBoundMs = 30000;
constexpr qint64 MemoryBound = 200 * MiB; // what a hostile load may add to the peak of the heap

// The peak of the live heap and the largest single block, counted in sanitizer builds.
std::atomic<qint64> liveBytes {0}, peakLiveBytes {0}, largestBlock {0};

#if QRD_TRACK_ALLOCATIONS
void onMalloc(const volatile void*, size_t size)
{
    const qint64 live = liveBytes.fetch_add(qint64(size), std::memory_order_relaxed) + qint64(size);
    for (qint64 seen = peakLiveBytes; live > seen && !peakLiveBytes.compare_exchange_weak(seen, live);) { }
    for (qint64 seen = largestBlock; qint64(size) > seen && !largestBlock.compare_exchange_weak(seen, size);) { }
}
void onFree(const volatile void* p)
{
    liveBytes.fetch_sub(qint64(__sanitizer_get_allocated_size(p)), std::memory_order_relaxed);
}
#endif

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool loadBytes(KVFLArchive& archive, QByteArray bytes)
{
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::ReadOnly) && archive.load(&buffer);
}

/// Lowers the largest file this process may write, the way a full disk stops a write;
/// unlike permissions it also stops a process running as root.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limited {bytes, old.rlim_max};
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0 && std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, SIG_DFL);
    }
    rlimit old {};
    bool active = false;
};

} // namespace

/// The library file, a gzip-compressed tar of a version member and a document per definition.
/// Hostile files fail in bounded time and memory, oversized members refused before they exist.
class TestKVFLArchive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void memberNamesAreUniqueAndReadBack_data();
    void memberNamesAreUniqueAndReadBack();
    void compressedStreamIsTheTarAndNoLarger_data();
    void compressedStreamIsTheTarAndNoLarger();
    void libraryOfSeveralBlocksLoadsBack();
    void archivesLoad_data();
    void archivesLoad();

    void failedSaveLeavesTheOldFile_data();
    void failedSaveLeavesTheOldFile();

    void cutOrFailingStreamsLoadAPrefixOrFail();

private:
    const Library m_largeLibrary {400, 11};
    QByteArray m_largeLibraryBytes;
    const Library m_smallLibrary {5, 3};
    QByteArray m_smallLibraryBytes = m_smallLibrary.save();
    const QByteArray m_flagged = [] { // two of its documents hold what the editor cannot show
        QByteArrayList members {"kvfl.version", "01.00"};
        for (const char* name : {"Spot250.xml", "UnsupportedComment.xml", "TwoPersonalities.xml"}) {
            members << name << readTestData(name);
        }
        return writeArchive(members);
    }();
};

void TestKVFLArchive::initTestCase()
{
#if QRD_TRACK_ALLOCATIONS
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
#endif
    m_largeLibraryBytes = m_largeLibrary.save();
}

void TestKVFLArchive::memberNamesAreUniqueAndReadBack_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("members");

    QTest::newRow("same name three times")
        << QStringList {"Spot 700 Profile", "Spot 700 Profile", "spot_700 profile"}
        << QStringList {"spot-700-profile.xml", "spot-700-profile_1.xml", "spot-700-profile_2.xml"};
    QTest::newRow("the version member's base name is taken")
        << QStringList {"KVFL", "kvfl"} << QStringList {"kvfl_1.xml", "kvfl_2.xml"};
    QTest::newRow("empty names and underscores")
        << QStringList {"", "_", ""} << QStringList {"-.xml", "-_1.xml", "-_2.xml"};
    QTest::newRow("a counter never meets a name")
        << QStringList {"Spot", "Spot", "Spot_1", "Spot 1"}
        << QStringList {"spot.xml", "spot_1.xml", "spot-1.xml", "spot-1_1.xml"};
    QTest::newRow("dots and digits stay; other characters, paths and line ends a dash each")
        << QStringList {"Zy 2.09", QString::fromUtf8("Ünïcode Ωmega"), QString::fromUtf8("A\U0001F39BB"), "../a\r\n\tb"}
        << QStringList {"zy-2.09.xml", "-n-code--mega.xml", "a-b.xml", "..-a---b.xml"};
}

void TestKVFLArchive::memberNamesAreUniqueAndReadBack()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, members);

    const Library library(static_cast<int>(names.size()), 5, names);
    const QByteArray bytes = library.save();
    const QList<QByteArrayList> listed = listMembers(bytes);
    QStringList paths;
    for (int i = 0; i < listed.size(); ++i) {
        paths << QString::fromLatin1(listed.at(i).at(0));
        QCOMPARE(listed.at(i).at(2), "100644 0 0 0");
        QCOMPARE(listed.at(i).at(1), i ? QKVFixtureDefinitionXMLExporter::toXml(*library.list.at(i - 1)) : "01.00");
    }
    QCOMPARE(paths, QStringList {"kvfl.version"} + members);
    KVFLArchive archive;
    QVERIFY(loadBytes(archive, bytes));
    QCOMPARE(describe(archive.definitions()), library.saved());
    // Whoever shows the library takes the definitions over; they live in its thread.
    const QList<QKVFixtureDefinition*> taken = archive.takeDefinitions();
    QCOMPARE(describe(taken), library.saved());
    QVERIFY(archive.definitions().isEmpty() && archive.loaders().isEmpty());
    for (const QKVFixtureDefinition* definition : taken) {
        QCOMPARE(definition->thread(), thread());
    }
    qDeleteAll(taken);
}

void TestKVFLArchive::compressedStreamIsTheTarAndNoLarger_data()
{
    QTest::addColumn<qsizetype>("size");
    constexpr qsizetype Block = GzipWriter::BlockSize;
    for (const qsizetype size :
         {qsizetype(0), qsizetype(1), Block - 1, Block, Block + 1, 2 * Block, 2 * Block + 1, 3 * Block + 12345}) {
        QTest::addRow("%lld bytes", static_cast<long long>(size)) << size;
    }
}

void TestKVFLArchive::compressedStreamIsTheTarAndNoLarger()
{
    QFETCH(qsizetype, size);

    // Library content: the tar of a saved library, over and over.
    const QByteArray tar = gunzip(m_largeLibraryBytes);
    QByteArray stream;
    while (stream.size() < size) {
        stream += tar;
    }
    stream.truncate(size);
    const quint32 start = static_cast<quint32>(std::time(nullptr));
    QByteArray written[2];
    for (const qsizetype piece : {qsizetype(10007), size}) {
        QBuffer buffer(&written[piece == size]);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        GzipWriter writer(&buffer);
        for (qsizetype at = 0; at < size; at += piece) {
            QVERIFY(writer.write(stream.constData() + at, std::min(piece, size - at)));
        }
        QVERIFY(writer.finish() && writer.errorString().isEmpty());
    }
    QByteArray bytes = written[0];
    const quint32 time = qFromLittleEndian<quint32>(bytes.constData() + 4);
    QVERIFY(time >= start && time <= static_cast<quint32>(std::time(nullptr)));
    // The bytes depend on the stream alone, not on how it came or the threads' timing.
    QCOMPARE(written[1].replace(4, 4, bytes.mid(4, 4)), bytes);

    // zlib checks the CRC-32 and length of the trailer, libarchive reads what a load reads.
    QByteArray inflated(size + 1, '\0');
    z_stream z {};
    QCOMPARE(inflateInit2(&z, 16 + MAX_WBITS), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(bytes.data());
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(inflated.data());
    z.avail_out = static_cast<uInt>(inflated.size());
    const int result = inflate(&z, Z_FINISH);
    const uInt left = z.avail_in;
    inflateEnd(&z);
    QCOMPARE(result, Z_STREAM_END);
    QCOMPARE(left, 0U);
    QCOMPARE(inflated.left(size), stream);
    QCOMPARE(gunzip(bytes), stream);

    // libarchive's gzip filter: its header, one stream at the same level; two blocks are exactly it.
    const QByteArray single = gzip(stream).replace(4, 4, bytes.mid(4, 4));
    QCOMPARE(bytes.left(10), single.left(10));
    QVERIFY2(bytes.size() <= single.size(), qPrintable(QString::number(bytes.size() - single.size())));
    if (size <= 2 * GzipWriter::BlockSize) {
        QCOMPARE(bytes, single);
    }
}

void TestKVFLArchive::libraryOfSeveralBlocksLoadsBack()
{
    // The same documents many times over (under other member names) make several blocks.
    QList<QKVFixtureDefinition*> many;
    QStringList expected;
    for (qsizetype tar = 0; tar < 3 * GzipWriter::BlockSize; tar += gunzip(m_largeLibraryBytes).size()) {
        many += m_largeLibrary.list;
        expected += m_largeLibrary.saved();
    }
    KVFLArchive saving;
    saving.setDefinitionsToSave(many);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly) && saving.save(&buffer));
    const QByteArray bytes = buffer.data();
    QVERIFY(gunzip(bytes).size() > 2 * GzipWriter::BlockSize);
    KVFLArchive loading;
    QVERIFY(loadBytes(loading, bytes) && loading.errorString().isEmpty());
    QCOMPARE(describe(loading.definitions()), expected);

    // A device failing in the header, at the first block, between blocks or at the trailer fails the save.
    for (const qint64 limit : {qint64(5), qint64(100), bytes.size() / 2, bytes.size() - 1}) {
        FailingDevice failing({}, limit);
        QVERIFY(failing.open(QIODevice::WriteOnly));
        QVERIFY(!saving.save(&failing) && !saving.errorString().isEmpty());
    }
}

void TestKVFLArchive::failedSaveLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("target"); // beside the old library and a folder "taken.kvfl"
    QTest::newRow("file size limit, as on a full disk") << OldName;
    QTest::newRow("a folder where the file should be") << "taken.kvfl";
    QTest::newRow("no file name") << "";
}

void TestKVFLArchive::failedSaveLeavesTheOldFile()
{
    QFETCH(QString, target);

    QTemporaryDir folder(QDir::tempPath() + QString::fromUtf8("/Bibliothèque Ωμέγα 照明 \xF0\x9F\x8E\x9B-XXXXXX"));
    QVERIFY(QDir(folder.path()).mkdir("taken.kvfl"));
    QFile old(folder.filePath(OldName));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(m_smallLibraryBytes) == m_smallLibraryBytes.size());
    old.close();

    // The large library is well over the size limit, even compressed.
    KVFLArchive archive(target.isEmpty() ? QString() : folder.filePath(target));
    archive.setDefinitionsToSave(m_largeLibrary.list);
    const bool limited = target == OldName;
    auto limit = limited ? std::make_unique<FileSizeLimit>(4096) : nullptr;
    QVERIFY(!limit || limit->active);
    const bool saved = archive.save();
    limit.reset();

    QVERIFY(!saved && !archive.errorString().isEmpty());
    QCOMPARE(readFile(old.fileName()), m_smallLibraryBytes);
    // No half-written or temporary file is left behind.
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
             QStringList({OldName, "taken.kvfl"}));
    QVERIFY(QDir(folder.filePath("taken.kvfl")).isEmpty());

    // The same archive saves once the obstacle is gone, the members as in a buffer.
    if (limited) {
        QVERIFY2(archive.save(), qPrintable(archive.errorString()));
        QCOMPARE(listMembers(readFile(old.fileName())), listMembers(m_largeLibraryBytes));
        KVFLArchive loading(archive.fileName());
        QVERIFY(loading.load() && loading.errorString().isEmpty() && loading.versionString() == QLatin1String("01.00"));
        QCOMPARE(describe(loading.definitions()), m_largeLibrary.saved());
    }
}

void TestKVFLArchive::cutOrFailingStreamsLoadAPrefixOrFail()
{
    // A cut (or read error) in a small library, one read block, fails the load; in a large one
    // it may leave the members before it, whole. A write error anywhere fails the save.
    QVERIFY(m_smallLibraryBytes.size() < 16384 && m_largeLibraryBytes.size() > 4 * 16384);

    int partial = 0;
    for (const auto& [library, bytes, step, fine] :
         {std::tuple<const Library&, const QByteArray&, qsizetype, qsizetype>(
              m_smallLibrary, m_smallLibraryBytes, 97, 24),
          {m_largeLibrary, m_largeLibraryBytes, m_largeLibraryBytes.size() / 8 + 1, 0}}) {
        // Cuts at every place of the gzip header and trailer, at some places between.
        for (qsizetype length = 0; length < bytes.size();
             length += length < fine || length >= bytes.size() - fine ? 1 : step) {
            FailingDevice reading(bytes, length);
            FailingDevice writing({}, length);
            QVERIFY(reading.open(QIODevice::ReadOnly) && writing.open(QIODevice::WriteOnly));
            KVFLArchive cut;
            KVFLArchive failing;
            const bool loaded[] {loadBytes(cut, bytes.left(length)), failing.load(&reading)};
            for (const int i : {0, 1}) {
                const KVFLArchive& archive = i == 0 ? cut : failing;
                const QStringList got = describe(archive.definitions());
                QVERIFY(loaded[i] || !archive.errorString().isEmpty());
                QVERIFY(got.size() < library.list.size());
                QCOMPARE(got, library.saved(static_cast<int>(got.size())));
                partial += got.isEmpty() ? 0 : 1;
            }
            KVFLArchive saving;
            saving.setDefinitionsToSave(library.list);
            QVERIFY(!saving.save(&writing) && !saving.errorString().isEmpty());
            // A bit flipped at the same place never crashes the reader.
            QByteArray flipped = bytes;
            flipped[length] = static_cast<char>(flipped.at(length) ^ (1 << (length % 8)));
            QVERIFY(!loadBytes(cut, flipped) || cut.definitions().size() <= library.list.size());
        }
    }
    QVERIFY(partial > 0);
}

void TestKVFLArchive::archivesLoad_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<int>("loads"); // 0: refused; 1: loaded; 2: loaded the members before damage, saying why
    QTest::addColumn<int>("definitions");
    QTest::addColumn<qint64>("blockBound"); // the largest allocation (sanitizer builds); under the
                                            // cap, the reader must also leave most of the file unread
    const auto row
        = [](const char* tag, const QByteArray& archive, int loads, int definitions, qint64 blockBound = MemoryBound) {
              QTest::newRow(tag) << archive << loads << definitions << blockBound;
          };

    const QByteArray xml = readTestData("Spot250.xml");
    const QByteArray good = writeArchive({"kvfl.version", "01.00", "a.xml", xml});
    row("01.00", good, 1, 1);
    row("unsupported content", m_flagged, 1, 4);
    row("line end after the version", writeArchive({"kvfl.version", "01.00\n", "a.xml", xml}), 0, 1);
    row("another version", writeArchive({"kvfl.version", "02.00", "a.xml", xml, "b.xml", xml}), 0, 2);
    row("no version member, the name anchored at its end",
        writeArchive({"kvfl.version.bak", "01.00", "a.xml", xml}),
        0,
        1);
    row("an accepted version stays accepted", writeArchive({"kvfl.version", "01.00", "kvfl.version", "02.00"}), 1, 0);
    row("other members are skipped, names in any case",
        writeArchive({"readme.txt", "Read me first", "KVFL.VERSION", "01.00", "A.XML", xml, "b.xml.txt", xml}),
        1,
        1);
    row("version of 64 bytes", writeArchive({"kvfl.version", QByteArray(59, '1') + "01.00"}), 1, 0);
    row("version of 65 bytes", writeArchive({"kvfl.version", QByteArray(60, '1') + "01.00"}), 0, 0);
    // The end of the file ends the archive as well as the two zero blocks do.
    const QByteArray open = openTar({"kvfl.version", "01.00", "a.xml", xml});
    row("no end-of-archive blocks", gzip(open), 1, 1);
    row("no end-of-archive blocks, uncompressed", open, 1, 1);
    // The tar archive has ended before the tail: nothing of it is read.
    row("line end after the archive", good + "\n", 1, 1);
    row("another library after the archive", good + good, 1, 1);

    // Behind a refused header: noise that a reader going on would take for more data.
    QByteArray noise;
    for (Random random(3); noise.size() < MiB;) {
        noise.append(static_cast<char>(random.next()));
    }
    row("document one byte over the cap", gzip(open + tarHeader("big.xml", Cap + 1) + noise), 0, 1, Cap - 1);
    // The header's size bounds the read; what follows is taken for the next header.
    row("document claiming 1 KiB, more behind it", gzip(open + tarHeader("lie.xml", 1024) + noise), 2, 1, Cap - 1);
    // A document of exactly the cap is read, held once as bytes and once as text; white
    // space keeps it well-formed.
    QByteArray capped = xml;
    capped.insert(capped.indexOf("</KorvaneFixtureDefinition>"), QByteArray(Cap - xml.size(), ' '));
    row("document of exactly the cap", writeArchive({"kvfl.version", "01.00", "capped.xml", capped}), 1, 1, 3 * Cap);
    // Documents of the cap fill the library's limit exactly; one byte more is refused
    // before it is read.
    QByteArrayList full {"kvfl.version", "01.00"};
    for (int i = 0; i < KVFLArchive::MaxLibraryXmlSize / Cap; ++i) {
        full << "blank" + QByteArray::number(i) + ".xml" << QByteArray(Cap, 'x');
    }
    row("documents together over the library limit", gzip(openTar(full) + tarHeader("last.xml", 1)), 0, 0);
    // A flood of members of every kind: skipped, unreadable and good documents.
    QByteArrayList flood {"kvfl.version", "01.00"};
    for (int i = 0; i < 5000; ++i) {
        const QByteArray n = QByteArray::number(i);
        flood << "e" + n << QByteArray() << n + "-1.xml"
              << "<" << n + ".xml" << xml;
    }
    row("15,000 members", writeArchive(flood), 1, 5000);
}

void TestKVFLArchive::archivesLoad()
{
    QFETCH(QByteArray, archive);
    QFETCH(int, loads);
    QFETCH(int, definitions);
    QFETCH(qint64, blockBound);

    KVFLArchive open;
    QVERIFY(loadBytes(open, m_flagged) && open.hasUnsupportedFeatures());
    const QStringList openBefore = describe(open.definitions());

    // The editor loads into a fresh archive and keeps the open one when that fails.
    KVFLArchive fresh;
    FailingDevice device(archive);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const qint64 before = liveBytes.load();
    peakLiveBytes = before;
    largestBlock = 0;
    QElapsedTimer timer;
    timer.start();
    const bool loaded = fresh.load(&device);
    const qint64 elapsedMs = timer.elapsed();
    const qint64 growth = peakLiveBytes.load() - before;
    QVERIFY2(largestBlock <= blockBound, qPrintable(QString::number(largestBlock.load())));
    QCOMPARE(loaded, loads > 0);
    QVERIFY2(fresh.errorString().isEmpty() == (loads == 1), qPrintable(fresh.errorString()));
    QCOMPARE(fresh.definitions().size(), definitions);
    QCOMPARE(fresh.hasUnsupportedFeatures(), archive == m_flagged);
    QVERIFY2(elapsedMs < HangBoundMs, qPrintable(QString::number(elapsedMs)));
    QVERIFY2(growth < MemoryBound, qPrintable(QString::number(growth)));
    QVERIFY2(blockBound >= Cap || device.taken() < archive.size() / 4, qPrintable(QString::number(device.taken())));
    QCOMPARE(describe(open.definitions()), openBefore);

    // An archive reused for another file drops what it held, the flag too, and says why it failed.
    QCOMPARE(loadBytes(open, archive), loads > 0);
    QCOMPARE(open.hasUnsupportedFeatures(), archive == m_flagged);
    QCOMPARE(open.errorString().isEmpty(), loads == 1);
    QCOMPARE(open.definitions().size(), definitions);
}

QTEST_GUILESS_MAIN(TestKVFLArchive)
#include "TestKVFLArchive.moc"
