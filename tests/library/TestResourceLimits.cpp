#include "ArchiveBytes.h"
#include "KVFLArchive.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

#include <atomic>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                                         void (*freeHook)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* p);
#define QRD_TRACK_ALLOCATIONS 1
#endif

namespace {

constexpr qint64 MiB = qint64(1) << 20;
constexpr qint64 GiB = qint64(1) << 30;
constexpr int ManyMembers = 100000;
constexpr int DeepNesting = 100000;
// Not a speed check: a hostile file must not hang the editor, and anything that takes
// this long has stopped making progress or inflates without bound.
constexpr qint64 HangBoundMs = 30000;
// What a hostile load may add to the peak resident size of the process; sanitizer
// builds pay their own overhead on top of the program's.
constexpr qint64 MemoryBound = 200 * MiB;

// In sanitizer builds freed blocks stay resident in the quarantine and every block carries
// red zones, so the resident size says little about the program; there the peak of the
// live heap is counted instead.
std::atomic<qint64> liveBytes {0};
std::atomic<qint64> peakLiveBytes {0};

#if QRD_TRACK_ALLOCATIONS
void onMalloc(const volatile void*, size_t size)
{
    const qint64 live = liveBytes.fetch_add(static_cast<qint64>(size), std::memory_order_relaxed) + qint64(size);
    qint64 seen = peakLiveBytes.load(std::memory_order_relaxed);
    while (live > seen && !peakLiveBytes.compare_exchange_weak(seen, live)) { }
}
void onFree(const volatile void* p)
{
    liveBytes.fetch_sub(static_cast<qint64>(__sanitizer_get_allocated_size(p)), std::memory_order_relaxed);
}
#endif

#if !QRD_TRACK_ALLOCATIONS
/// A field of /proc/self/status in bytes.
qint64 statusField(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return -1;
    }
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(field)) {
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return -1;
}

void resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly)) {
        clearRefs.write("5");
    }
}
#endif

/// A gzip stream written piece by piece, so that a gigabyte of input never exists at once.
class GzipStream
{
public:
    GzipStream() : m_writer(archive_write_new(), archive_write_free)
    {
        archive_write_add_filter_gzip(m_writer.get());
        archive_write_set_format_raw(m_writer.get());
        archive_write_set_bytes_in_last_block(m_writer.get(), 1);
        archive_write_open(m_writer.get(), &m_out, nullptr, append, nullptr);
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                                  archive_entry_free);
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_write_header(m_writer.get(), entry.get());
    }
    GzipStream& operator<<(const QByteArray& bytes)
    {
        archive_write_data(m_writer.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
        return *this;
    }
    GzipStream& repeat(char byte, qint64 count)
    {
        const QByteArray chunk(MiB, byte);
        for (qint64 left = count; left > 0; left -= chunk.size()) {
            *this << (left >= chunk.size() ? chunk : chunk.left(left));
        }
        return *this;
    }
    QByteArray finish()
    {
        archive_write_close(m_writer.get());
        return m_out;
    }

private:
    static la_ssize_t append(archive*, void* out, const void* buffer, size_t length)
    {
        static_cast<QByteArray*>(out)->append(static_cast<const char*>(buffer), static_cast<qsizetype>(length));
        return static_cast<la_ssize_t>(length);
    }

    QByteArray m_out;
    std::unique_ptr<archive, decltype(&archive_write_free)> m_writer {nullptr, archive_write_free};
};

/// A read-only buffer that counts what the reader takes from it.
class CountingBuffer : public QBuffer
{
public:
    explicit CountingBuffer(const QByteArray& bytes) { setData(bytes); }
    qint64 taken = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = QBuffer::readData(data, maxSize);
        taken += qMax<qint64>(0, n);
        return n;
    }
};

QByteArray versionMember()
{
    return tarMember("kvfl.version", "01.00");
}

QByteArray tinyDocument(int i)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KorvaneFixtureDefinition><Model Name=\"F"
        + QByteArray::number(i)
        + "\"/><DMXChannel Name=\"D\"/><Personality><DMXChannelRef Number=\"1\">D</DMXChannelRef></Personality>"
          "</KorvaneFixtureDefinition>\n";
}

QByteArray nested(int depth)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KorvaneFixtureDefinition>"
        + QByteArray("<Personality>").repeated(depth) + QByteArray("</Personality>").repeated(depth)
        + "</KorvaneFixtureDefinition>\n";
}

/// `count` members made by `member`, after the version member.
template <typename Member>
QByteArray manyMembers(int count, Member member)
{
    GzipStream stream;
    stream << versionMember();
    for (int i = 0; i < count; ++i) {
        stream << member(i);
    }
    return stream.finish();
}

struct Outcome
{
    bool loaded = false;
    QString error;
    qsizetype definitions = 0;
    qint64 elapsedMs = 0;
    qint64 peakGrowth = 0;
    qint64 taken = 0;
};

Outcome loadMeasured(KVFLArchive& archive, const QByteArray& bytes)
{
    CountingBuffer buffer(bytes);
    buffer.open(QIODevice::ReadOnly);
#if QRD_TRACK_ALLOCATIONS
    const qint64 before = liveBytes.load();
    peakLiveBytes = before;
#else
    const qint64 before = statusField("VmRSS:");
    resetPeakMemory();
#endif
    QElapsedTimer timer;
    timer.start();
    Outcome outcome;
    outcome.loaded = archive.load(&buffer);
    outcome.elapsedMs = timer.elapsed();
#if QRD_TRACK_ALLOCATIONS
    outcome.peakGrowth = peakLiveBytes.load() - before;
#else
    outcome.peakGrowth = statusField("VmHWM:") - before;
#endif
    outcome.error = archive.errorString();
    outcome.definitions = archive.definitions().size();
    outcome.taken = buffer.taken;
    return outcome;
}

} // namespace

/// Hostile libraries and update files end in a clear failure, in bounded time and memory,
/// and leave the library that is open alone.
class TestResourceLimits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void hostileLibrariesFailWithinBounds_data();
    void hostileLibrariesFailWithinBounds();
    void deepNestingStopsBothReaders_data();
    void deepNestingStopsBothReaders();

private:
    std::unique_ptr<QObject> m_openDefinitions;
    QList<QKVFixtureDefinition*> m_openList;
    QByteArray m_openBytes;
};

void TestResourceLimits::initTestCase()
{
#if QRD_TRACK_ALLOCATIONS
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
#endif
    // The library the editor has open while the user tries the hostile file.
    m_openDefinitions = std::make_unique<QObject>();
    Random random(7);
    for (int i = 0; i < 20; ++i) {
        m_openList << randomDefinition(random).release();
        m_openList.last()->setParent(m_openDefinitions.get());
    }
    QBuffer buffer(&m_openBytes);
    KVFLArchive saving;
    saving.setDefinitionsToSave(m_openList);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && saving.save(&buffer));
}

void TestResourceLimits::hostileLibrariesFailWithinBounds_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<bool>("loads"); // with the members before the damage, and a reason in errorString
    QTest::addColumn<bool>("clean"); // no error at all: every member was acceptable
    QTest::addColumn<int>("definitions");
    QTest::addColumn<bool>("stopsEarly"); // the reader leaves most of the file unread

    const QByteArray document = readTestData("Spot250.xml");
    QTest::newRow("document claiming 16 MiB + 1")
        << (GzipStream() << versionMember() << tarHeader("big.xml", KVFLArchive::MaxXmlMemberSize + 1) << document)
               .finish()
        << false << false << 0 << false;
    QTest::newRow("1 GiB of zeros in a document (gzip bomb)")
        << (GzipStream() << versionMember() << tarMember("a.xml", document) << tarHeader("bomb.xml", GiB))
               .repeat('\0', GiB)
               .finish()
        << false << false << 1 << true;
    // The header's size bounds the read; what follows is taken for the next header.
    QTest::newRow("document claiming 1 KiB, 1 GiB behind it")
        << (GzipStream() << versionMember() << tarMember("a.xml", document) << tarHeader("lie.xml", 1024))
               .repeat('x', GiB)
               .finish()
        << true << false << 1 << true;
    // Each document under its own limit, together over the library's: refused before the
    // member that crosses it is read.
    GzipStream blanks;
    blanks << versionMember();
    const qint64 blankSize = KVFLArchive::MaxXmlMemberSize - 1024;
    for (int i = 0; i * blankSize <= KVFLArchive::MaxLibraryXmlSize; ++i) {
        blanks << tarHeader("blank" + QByteArray::number(i) + ".xml", blankSize);
        blanks.repeat(' ', blankSize);
        blanks << QByteArray(int((512 - blankSize % 512) % 512), '\0');
    }
    QTest::newRow("documents together over the library limit") << blanks.finish() << false << false << 0 << false;
    QTest::newRow("version member of 65 bytes")
        << makeArchive({"kvfl.version", QByteArray(60, '1') + "01.00"}) << false << false << 0 << false;
    QTest::newRow("version member claiming 1 GiB (gzip bomb)")
        << (GzipStream() << tarHeader("kvfl.version", GiB)).repeat('0', GiB).finish() << false << false << 0 << true;
    QTest::newRow("100,000 empty members")
        << manyMembers(ManyMembers, [](int i) { return tarMember("e" + QByteArray::number(i), QByteArray()); }) << true
        << true << 0 << false;
    QTest::newRow("100,000 one-byte documents")
        << manyMembers(ManyMembers, [](int i) { return tarMember(QByteArray::number(i) + ".xml", "<"); }) << true
        << true << 0 << false;
    QTest::newRow("100,000 small definitions")
        << manyMembers(ManyMembers, [](int i) { return tarMember(QByteArray::number(i) + ".xml", tinyDocument(i)); })
        << true << true << ManyMembers << false;
}

void TestResourceLimits::hostileLibrariesFailWithinBounds()
{
    QFETCH(QByteArray, archive);
    QFETCH(bool, loads);
    QFETCH(bool, clean);
    QFETCH(int, definitions);
    QFETCH(bool, stopsEarly);

    KVFLArchive open;
    QBuffer openBuffer(&m_openBytes);
    QVERIFY(openBuffer.open(QIODevice::ReadOnly) && open.load(&openBuffer));
    const QStringList openBefore = describe(open.definitions());

    // The editor loads into a fresh archive and keeps the open one when that fails.
    KVFLArchive hostile;
    const Outcome outcome = loadMeasured(hostile, archive);
    qInfo("%s: %lld ms, peak +%lld MiB, read %lld of %lld compressed bytes, %lld definitions; %s",
          QTest::currentDataTag(),
          outcome.elapsedMs,
          outcome.peakGrowth / MiB,
          outcome.taken,
          static_cast<long long>(archive.size()),
          static_cast<long long>(outcome.definitions),
          outcome.error.isEmpty() ? "no error" : qPrintable(outcome.error));
    QCOMPARE(outcome.loaded, loads);
    QCOMPARE(outcome.error.isEmpty(), clean);
    QCOMPARE(outcome.definitions, definitions);
    QVERIFY2(outcome.elapsedMs < HangBoundMs, qPrintable(QString::number(outcome.elapsedMs)));
    QVERIFY2(outcome.peakGrowth < MemoryBound, qPrintable(QString::number(outcome.peakGrowth)));
    if (stopsEarly) {
        QVERIFY2(outcome.taken < archive.size() / 4, qPrintable(QString::number(outcome.taken)));
    }
    QCOMPARE(describe(open.definitions()), openBefore);

    // An archive reused for the hostile file drops what it held and says why it failed.
    if (!clean) {
        KVFLArchive reused;
        QBuffer good(&m_openBytes);
        QVERIFY(good.open(QIODevice::ReadOnly) && reused.load(&good));
        QBuffer bad(&archive);
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(reused.load(&bad), loads);
        QVERIFY(!reused.errorString().isEmpty());
        QCOMPARE(reused.definitions().size(), definitions);
    }
}

void TestResourceLimits::deepNestingStopsBothReaders_data()
{
    QTest::addColumn<bool>("fastScanning");
    QTest::newRow("fast scanner") << true;
    QTest::newRow("full reader") << false;
}

void TestResourceLimits::deepNestingStopsBothReaders()
{
    QFETCH(bool, fastScanning);
    const QByteArray document = nested(DeepNesting);

    QKVFixtureDefinitionLoader loader;
    loader.setFastScanning(fastScanning);
    loader.setDocument(document);
    loader.parse();
    QVERIFY(!loader.wellFormed());
    QVERIFY(loader.definitions().isEmpty());

    // In a library the document is one bad member among good ones.
    KVFLArchive archive;
    const Outcome outcome = loadMeasured(
        archive, makeArchive({"kvfl.version", "01.00", "a.xml", readTestData("Spot250.xml"), "deep.xml", document}));
    qInfo("%d levels: %lld ms, peak +%lld MiB", DeepNesting, outcome.elapsedMs, outcome.peakGrowth / MiB);
    QVERIFY(outcome.loaded);
    QCOMPARE(outcome.definitions, 1);
    QCOMPARE(archive.loaders().size(), 2);
    QVERIFY(!archive.loaders().last()->wellFormed());
}

QTEST_GUILESS_MAIN(TestResourceLimits)
#include "TestResourceLimits.moc"
