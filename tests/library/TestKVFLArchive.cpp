#include "ArchiveBytes.h"
#include "KVFLArchive.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                                         void (*freeHook)(const volatile void*));
#define QRD_TRACK_ALLOCATIONS 1
#endif

namespace {

// The largest single allocation while a load runs (AddressSanitizer builds only): a member
// header that claims a huge size must be refused before anything of that size exists.
std::atomic<bool> trackingAllocations {false};
std::atomic<size_t> largestAllocation {0};

#if QRD_TRACK_ALLOCATIONS
void onMalloc(const volatile void*, size_t size)
{
    if (!trackingAllocations.load(std::memory_order_relaxed)) {
        return;
    }
    size_t seen = largestAllocation.load(std::memory_order_relaxed);
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) { }
}
void onFree(const volatile void*) { }
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

/// Generated definitions a test saves, children of the library; the first ones take
/// `names` when given.
class Library : public QObject
{
public:
    explicit Library(int count, quint64 start, const QStringList& names = {})
    {
        Random random(start);
        QStringList earlier;
        for (int i = 0; i < count; ++i) {
            list << randomDefinition(random, earlier).release();
            list.last()->setParent(this);
            list.last()->setName(names.value(i, list.last()->name()));
            earlier << list.last()->name();
        }
    }
    /// What a load of the saved file must give, all or the first `count`.
    QStringList saved(int count = -1) const { return describe(list, true).mid(0, count); }
    QByteArray save() const
    {
        QBuffer buffer;
        KVFLArchive archive;
        archive.setDefinitionsToSave(list);
        return buffer.open(QIODevice::WriteOnly) && archive.save(&buffer) ? buffer.data() : QByteArray();
    }

    QList<QKVFixtureDefinition*> list;
};

/// A device that accepts or delivers `limit` bytes and then fails, like a full disk or
/// a medium that goes away.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(const QByteArray& content, qint64 limit) : m_content(content.left(limit)), m_limit(limit) { }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMax<qint64>(0, qMin(maxSize, m_content.size() - m_position));
        std::memcpy(data, m_content.constData() + m_position, static_cast<size_t>(n));
        m_position += n;
        return n > 0 ? n : -1;
    }
    qint64 writeData(const char*, qint64 size) override { return (m_position += size) > m_limit ? -1 : size; }

private:
    QByteArray m_content;
    qint64 m_limit;
    qint64 m_position = 0;
};

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

/// The library file: a gzip-compressed tar of a version member and one fixture
/// document per definition.
class TestKVFLArchive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void memberNamesAreUniqueAndReadBack_data();
    void memberNamesAreUniqueAndReadBack();
    void versionRules_data();
    void versionRules();
    void unsupportedContentFlagAndLoadersFollowTheLastLoad();

    void generatedLibraryRoundTripsThroughNonLatin1PathAndBuffer();
    void failedSaveLeavesTheOldFile_data();
    void failedSaveLeavesTheOldFile();

    void cutOrFailingStreamsLoadAPrefixOrFail();
    void garbageAfterTheArchiveIsIgnored();
    void damagedArchivesNeverCrash();
    void oversizedMembersAreRefusedBeforeAllocating_data();
    void oversizedMembersAreRefusedBeforeAllocating();

private:
    /// 400 generated definitions, made once.
    const Library& largeLibrary();

    std::unique_ptr<Library> m_largeLibrary;
    QByteArray m_largeLibraryBytes;
};

const Library& TestKVFLArchive::largeLibrary()
{
    if (!m_largeLibrary) {
        m_largeLibrary = std::make_unique<Library>(400, 11);
        m_largeLibraryBytes = m_largeLibrary->save();
    }
    return *m_largeLibrary;
}

void TestKVFLArchive::initTestCase()
{
#if QRD_TRACK_ALLOCATIONS
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
#endif
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
    QTest::newRow("dots stay") << QStringList {"Spot 2.5", "Spot 2.5"}
                               << QStringList {"spot-2.5.xml", "spot-2.5_1.xml"};
    QTest::newRow("non-ASCII, one dash per character")
        << QStringList {QString::fromUtf8("Ünïcode Ωmega"), QString::fromUtf8("A\U0001F39BB")}
        << QStringList {"-n-code--mega.xml", "a-b.xml"};
    QTest::newRow("path separators and line ends")
        << QStringList {"../../etc/passwd", "a\r\n\tb"} << QStringList {"..-..-etc-passwd.xml", "a---b.xml"};
}

void TestKVFLArchive::memberNamesAreUniqueAndReadBack()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, members);

    const Library library(static_cast<int>(names.size()), 5, names);
    const QByteArray bytes = library.save();
    QStringList paths;
    for (const Member& member : listMembers(bytes)) {
        paths << QString::fromLatin1(member.path);
    }
    QCOMPARE(paths, QStringList {"kvfl.version"} + members);
    KVFLArchive archive;
    QVERIFY(loadBytes(archive, bytes));
    QCOMPARE(describe(archive.definitions()), library.saved());
}

void TestKVFLArchive::versionRules_data()
{
    QTest::addColumn<QByteArrayList>("members");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("loaders");

    const QByteArray xml = readTestData("Spot250.xml");
    QTest::newRow("01.00") << QByteArrayList {"kvfl.version", "01.00", "a.xml", xml} << true << 1;
    QTest::newRow("version member only") << QByteArrayList {"kvfl.version", "01.00"} << true << 0;
    QTest::newRow("line end after the version")
        << QByteArrayList {"kvfl.version", "01.00\n", "a.xml", xml} << false << 1;
    QTest::newRow("more in front is accepted") << QByteArrayList {"kvfl.version", "101.00", "a.xml", xml} << true << 1;
    QTest::newRow("another version") << QByteArrayList {"kvfl.version", "02.00", "a.xml", xml, "b.xml", xml} << false
                                     << 2;
    QTest::newRow("no version member") << QByteArrayList {"a.xml", xml} << false << 1;
    QTest::newRow("member name in capitals") << QByteArrayList {"KVFL.VERSION", "01.00", "a.xml", xml} << true << 1;
    QTest::newRow("name anchored at the end") << QByteArrayList {"kvfl.version.bak", "01.00"} << false << 0;
    QTest::newRow("an accepted version stays accepted")
        << QByteArrayList {"kvfl.version", "01.00", "kvfl.version", "02.00"} << true << 0;
    QTest::newRow("other members are skipped")
        << QByteArrayList {"readme.txt", "Read me first", "kvfl.version", "01.00", "A.XML", xml, "b.xml.txt", xml}
        << true << 1;
}

void TestKVFLArchive::versionRules()
{
    QFETCH(QByteArrayList, members);
    QFETCH(bool, loads);
    QFETCH(int, loaders);

    KVFLArchive archive;
    QCOMPARE(loadBytes(archive, makeArchive(members)), loads);
    QCOMPARE(archive.loaders().size(), loaders);
    QCOMPARE(archive.errorString().isEmpty(), loads);
    for (const QKVFixtureDefinitionLoader* loader : archive.loaders()) {
        QCOMPARE(loader->definitions().size(), 1);
    }
}

void TestKVFLArchive::unsupportedContentFlagAndLoadersFollowTheLastLoad()
{
    const QByteArrayList clean {"kvfl.version", "01.00", "a.xml", readTestData("Spot250.xml")};
    const QByteArray flagged = makeArchive(
        clean
        + QByteArrayList {
            "b.xml", readTestData("UnsupportedComment.xml"), "c.xml", readTestData("TwoPersonalities.xml")});
    KVFLArchive archive;
    QVERIFY(loadBytes(archive, flagged) && archive.hasUnsupportedFeatures());
    QCOMPARE(archive.loaders().size(), 3);
    QCOMPARE(archive.definitions().size(), 4);
    QVERIFY(loadBytes(archive, makeArchive(clean)) && !archive.hasUnsupportedFeatures());
    QCOMPARE(archive.loaders().size(), 1);
    QVERIFY(loadBytes(archive, flagged));
    QVERIFY(!loadBytes(archive, "not a library") && !archive.hasUnsupportedFeatures());
    QVERIFY(archive.loaders().isEmpty());
}

void TestKVFLArchive::generatedLibraryRoundTripsThroughNonLatin1PathAndBuffer()
{
    const Library library(300, 0x4b56464c);
    QTemporaryDir root;
    const QString folder = QString::fromUtf8("Bibliothèque Ωμέγα 照明 \xF0\x9F\x8E\x9B");
    QVERIFY(QDir(root.path()).mkdir(folder));
    const QString path = root.filePath(folder + QString::fromUtf8("/Lümière ÿ Ω.kvfl"));
    KVFLArchive saving(path);
    saving.setDefinitionsToSave(library.list);
    QVERIFY2(saving.save(), qPrintable(saving.errorString()));
    QVERIFY(saving.errorString().isEmpty());
    QCOMPARE(QDir(root.filePath(folder)).entryList(QDir::Files), QStringList {QString::fromUtf8("Lümière ÿ Ω.kvfl")});

    // The gzip header carries a time stamp; the members of file and buffer are the same.
    const QByteArray fromFile = readFile(path);
    const QByteArray fromBuffer = library.save();
    QVERIFY(fromFile.startsWith("\x1f\x8b"));
    int format = 0;
    const QList<Member> members = listMembers(fromFile, &format);
    QCOMPARE(format & ARCHIVE_FORMAT_BASE_MASK, ARCHIVE_FORMAT_TAR);
    QCOMPARE(members, listMembers(fromBuffer));
    QCOMPARE(members.size(), library.list.size() + 1);
    QCOMPARE(members.first().path, QByteArray("kvfl.version"));
    QCOMPARE(members.first().data, QByteArray("01.00"));
    QSet<QByteArray> paths;
    for (int i = 0; i < members.size(); ++i) {
        const Member& member = members.at(i);
        QCOMPARE(QList<qint64>({member.fileType, member.permissions, member.mtime, member.uid, member.gid}),
                 QList<qint64>({AE_IFREG, 0644, 0, 0, 0}));
        QVERIFY(i == 0 || member.data == QKVFixtureDefinitionXMLExporter::toXml(*library.list.at(i - 1)));
        paths.insert(member.path);
    }
    QCOMPARE(paths.size(), members.size());

    KVFLArchive loading(path);
    QVERIFY2(loading.load(), qPrintable(loading.errorString()));
    QVERIFY(!loading.hasUnsupportedFeatures());
    QCOMPARE(loading.versionString(), QStringLiteral("01.00"));
    QCOMPARE(loading.loaders().size(), library.list.size());
    QCOMPARE(describe(loading.definitions()), library.saved());
    KVFLArchive buffered;
    QVERIFY(loadBytes(buffered, fromBuffer));
    QCOMPARE(describe(buffered.definitions()), library.saved());
}

void TestKVFLArchive::failedSaveLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("target"); // in the library's folder, which also holds a folder "taken.kvfl"
    QTest::addColumn<bool>("sizeLimit");

    QTest::newRow("file size limit, as on a full disk") << "library.kvfl" << true;
    QTest::newRow("folder is a regular file") << "library.kvfl/inner.kvfl" << false;
    QTest::newRow("name longer than the file system allows") << QString(300, 'x') + ".kvfl" << false;
    QTest::newRow("a folder where the file should be") << "taken.kvfl" << false;
    QTest::newRow("no file name") << "" << false;
}

void TestKVFLArchive::failedSaveLeavesTheOldFile()
{
    QFETCH(QString, target);
    QFETCH(bool, sizeLimit);

    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir("taken.kvfl"));
    const QByteArray oldBytes = Library(5, 3).save();
    QFile old(folder.filePath("library.kvfl"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(oldBytes) == oldBytes.size());
    old.close();

    // The large library is well over the size limit, even compressed.
    KVFLArchive archive(target.isEmpty() ? QString() : folder.filePath(target));
    archive.setDefinitionsToSave(largeLibrary().list);
    auto limit = sizeLimit ? std::make_unique<FileSizeLimit>(4096) : nullptr;
    QVERIFY(!limit || limit->active);
    const bool saved = archive.save();
    limit.reset();

    QVERIFY(!saved);
    QVERIFY(!archive.errorString().isEmpty());
    QCOMPARE(readFile(folder.filePath("library.kvfl")), oldBytes);
    // No half-written or temporary file is left behind.
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
             QStringList({"library.kvfl", "taken.kvfl"}));
    QVERIFY(QDir(folder.filePath("taken.kvfl")).isEmpty());

    // The same archive saves once the obstacle is gone.
    if (sizeLimit) {
        QVERIFY2(archive.save(), qPrintable(archive.errorString()));
        KVFLArchive loading(archive.fileName());
        QVERIFY(loading.load());
        QCOMPARE(describe(loading.definitions()), m_largeLibrary->saved());
    }
}

void TestKVFLArchive::cutOrFailingStreamsLoadAPrefixOrFail()
{
    // A small library fits in one read block: every cut fails the whole load. A large
    // one is read block by block: a cut after the version member may leave the members
    // read before it, whole and unchanged. A read error is a cut too; a write error at
    // any place, a member header's included, fails the save.
    const Library small(5, 3);
    const QByteArray smallBytes = small.save();
    const Library& large = largeLibrary();
    QVERIFY(smallBytes.size() < 16384 && m_largeLibraryBytes.size() > 4 * 16384);

    int partial = 0;
    for (const auto& [library, bytes, step] :
         {std::tuple<const Library&, const QByteArray&, qsizetype>(small, smallBytes, 1),
          {large, m_largeLibraryBytes, m_largeLibraryBytes.size() / 50 + 1}}) {
        for (qsizetype length = 0; length < bytes.size(); length += step) {
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
        }
    }
    QVERIFY(partial > 0);
}

void TestKVFLArchive::garbageAfterTheArchiveIsIgnored()
{
    const Library library(5, 3);
    const QByteArray bytes = library.save();
    QByteArray noise;
    for (Random random(3); noise.size() < 4096;) {
        noise.append(static_cast<char>(random.next()));
    }
    // The tar archive has ended before the tail: nothing of it is read.
    for (const QByteArray& tail :
         {QByteArray("\n"), QByteArray(10240, '\0'), noise, gzip("more"), Library(1, 4).save()}) {
        KVFLArchive archive;
        QVERIFY(loadBytes(archive, bytes + tail));
        QCOMPARE(describe(archive.definitions()), library.saved());
    }
}

void TestKVFLArchive::damagedArchivesNeverCrash()
{
    // Every bit of the gzip header and the first blocks, then every 13th bit.
    const Library library(5, 3);
    const QByteArray bytes = library.save();
    for (qint64 bit = 0; bit < bytes.size() * 8; bit += (bit < 4096 ? 1 : 13)) {
        QByteArray damaged = bytes;
        damaged[bit / 8] = static_cast<char>(damaged.at(bit / 8) ^ (1 << (bit % 8)));
        KVFLArchive archive;
        loadBytes(archive, damaged);
        QVERIFY(archive.definitions().size() <= library.list.size() + 1);
    }

    // Every byte of every tar header, uncompressed so that it reaches the tar reader as it is.
    const QByteArray xml = readTestData("TwoPersonalities.xml");
    const QByteArray tar = makeArchive({"kvfl.version", "01.00", "a.xml", xml, "b.xml", xml}, false);
    int headers = 0;
    for (int block = 0; block + 512 <= tar.size(); block += 512) {
        headers += tar.mid(block + 257, 5) == "ustar" ? 1 : 0;
        for (int offset = 0; offset < 512 && tar.mid(block + 257, 5) == "ustar"; ++offset) {
            for (const char value : {'\0', '\x7f', '\x80', '\xff', '7', ' '}) {
                QByteArray damaged = tar;
                damaged[block + offset] = value;
                KVFLArchive archive;
                loadBytes(archive, damaged);
                QVERIFY(archive.definitions().size() <= 4);
            }
        }
    }
    QVERIFY(headers >= 3);
}

void TestKVFLArchive::oversizedMembersAreRefusedBeforeAllocating_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("loaders");

    const QByteArray version = tarMember("kvfl.version", "01.00");
    const QByteArray document = readTestData("Spot250.xml");
    constexpr qint64 GiB = qint64(1) << 30;
    QTest::newRow("document claiming 1 GiB") << gzip(version + tarHeader("big.xml", GiB) + document) << false << 0;
    QTest::newRow("document one byte over the cap")
        << gzip(version + tarHeader("big.xml", KVFLArchive::MaxXmlMemberSize + 1) + document) << false << 0;
    QTest::newRow("version claiming 1 KiB")
        << gzip(tarHeader("kvfl.version", 1024) + QByteArray(1024, '0')) << false << 0;
    QTest::newRow("version of 65 bytes") << makeArchive({"kvfl.version", QByteArray(60, '1') + "01.00"}) << false << 0;
    QTest::newRow("version of 64 bytes") << makeArchive({"kvfl.version", QByteArray(59, '1') + "01.00"}) << true << 0;
    QTest::newRow("documents before the damaged one stay")
        << gzip(version + tarMember("a.xml", document) + tarHeader("big.xml", GiB) + document) << false << 1;
    // A document of exactly the cap is read; white space keeps it well-formed.
    QByteArray capped = document;
    capped.insert(capped.indexOf("</KorvaneFixtureDefinition>"),
                  QByteArray(KVFLArchive::MaxXmlMemberSize - document.size(), ' '));
    QTest::newRow("document of exactly 16 MiB")
        << gzip(version + tarMember("capped.xml", capped) + endOfTar()) << true << 1;
}

void TestKVFLArchive::oversizedMembersAreRefusedBeforeAllocating()
{
    QFETCH(QByteArray, archive);
    QFETCH(bool, loads);
    QFETCH(int, loaders);

    KVFLArchive reader;
    largestAllocation = 0;
    trackingAllocations = true;
    const bool loaded = loadBytes(reader, archive);
    trackingAllocations = false;

    QCOMPARE(loaded, loads);
    QCOMPARE(reader.errorString().isEmpty(), loads);
    QCOMPARE(reader.loaders().size(), loaders);
    for (const QKVFixtureDefinitionLoader* loader : reader.loaders()) {
        QCOMPARE(loader->definitions().size(), 1);
    }
#if QRD_TRACK_ALLOCATIONS
    // The document of exactly the cap is held once as bytes and once as text.
    const size_t bound = size_t(loads ? 3 * KVFLArchive::MaxXmlMemberSize : KVFLArchive::MaxXmlMemberSize - 1);
    QVERIFY2(largestAllocation <= bound, qPrintable(QString::number(largestAllocation.load())));
#endif
}

QTEST_GUILESS_MAIN(TestKVFLArchive)
#include "TestKVFLArchive.moc"
