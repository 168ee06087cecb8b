#include "ArchiveBytes.h"
#include "GeneratedLibrary.h"
#include "KVFLArchive.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

#include <sys/resource.h>
#include <unistd.h>

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

const QString DataDir = QStringLiteral(QRD_TEST_DATA_DIR);

QByteArray readData(const QString& name)
{
    QFile file(DataDir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing test data file %s", qPrintable(name));
    }
    return file.readAll();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// ---------------------------------------------------------------------------------
// Peak single allocation while a load runs (AddressSanitizer builds only): a member
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

void compareAfterRoundTrip(const QKVFixtureDefinition* got, const QKVFixtureDefinition* saved)
{
    const QString difference = roundTripDifference(got, saved);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

bool loadBytes(KVFLArchive& archive, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return archive.load(&buffer);
}

/// A device that accepts or delivers `limit` bytes and then fails, like a full disk or
/// a medium that goes away.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(const QByteArray& content, qint64 limit) : m_content(content), m_limit(limit) { }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_position >= m_limit) {
            setErrorString(QStringLiteral("read error"));
            return -1;
        }
        const qint64 n = qMin(maxSize, qMin(m_limit, qint64(m_content.size())) - m_position);
        if (n <= 0) {
            return m_position >= m_content.size() ? 0 : -1;
        }
        std::memcpy(data, m_content.constData() + m_position, static_cast<size_t>(n));
        m_position += n;
        return n;
    }
    qint64 writeData(const char*, qint64 size) override
    {
        if (m_position + size > m_limit) {
            setErrorString(QStringLiteral("no space left"));
            return -1;
        }
        m_position += size;
        return size;
    }

private:
    QByteArray m_content;
    qint64 m_limit;
    qint64 m_position = 0;
};

/// Lowers the largest file this process may write, the way a full disk stops a write;
/// unlike permissions it also stops a process running as root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited {bytes, m_old.rlim_max};
        m_active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace

/// The library file: a gzip-compressed tar of a version member and one fixture
/// document per definition.
class TestKVFLArchive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void memberBaseNames_data();
    void memberBaseNames();
    void memberNamesAreUniquePerFile_data();
    void memberNamesAreUniquePerFile();
    void layoutAsWritten();
    void nameWithDotReadsBack();

    void versionRules_data();
    void versionRules();
    void unsupportedContentFlagFollowsTheLastLoad();
    void loadReplacesTheLoadersOfTheLastLoad();
    void missingOrForeignFilesDoNotLoad_data();
    void missingOrForeignFilesDoNotLoad();

    void generatedLibraryRoundTrip();
    void deviceAndFileGiveTheSameLibrary();
    void libraryInFolderWithNonLatin1Name();

    void failedSaveLeavesTheOldFile_data();
    void failedSaveLeavesTheOldFile();
    void failingDeviceFailsTheSave_data();
    void failingDeviceFailsTheSave();
    void failingDeviceNeverCrashesTheLoad();

    void truncatedArchiveLoadsAPrefixOrFails();
    void garbageAfterTheArchiveIsIgnored_data();
    void garbageAfterTheArchiveIsIgnored();
    void bitFlipsNeverCrash();
    void damagedTarHeadersNeverCrash();
    void oversizedMembersAreRefused_data();
    void oversizedMembersAreRefused();

private:
    QByteArray smallLibrary(Library& library);

    const Library& largeLibrary();

    std::unique_ptr<Library> m_largeLibrary;
    QByteArray m_largeLibraryBytes;
};

const Library& TestKVFLArchive::largeLibrary()
{
    if (!m_largeLibrary) {
        Random random(11);
        m_largeLibrary = std::make_unique<Library>();
        for (int i = 0; i < 400; ++i) {
            m_largeLibrary->take(randomDefinition(random, {}).release());
        }
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

QByteArray TestKVFLArchive::smallLibrary(Library& library)
{
    library.add("Spot 250", 2);
    library.add(QString::fromUtf8("Wäsche 照明"), 0);
    library.add("", 3)->setType(4);
    library.add("Spot 250", 45);
    library.add("Scanner", 12)->channels().at(3)->setName(QString());
    return library.save();
}

void TestKVFLArchive::memberBaseNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("base");

    QTest::newRow("spaces") << "Spot 700 Profile"
                            << "spot-700-profile";
    QTest::newRow("dots stay") << "Spot 2.5"
                               << "spot-2.5";
    QTest::newRow("empty is an underscore, and that a dash") << ""
                                                             << "-";
    QTest::newRow("underscore") << "_"
                                << "-";
    QTest::newRow("upper case") << "KVFL"
                                << "kvfl";
    QTest::newRow("non-ASCII letters") << QString::fromUtf8("Ünïcode Ωmega") << "-n-code--mega";
    QTest::newRow("outside the BMP is one character") << QString::fromUtf8("A\xF0\x9F\x8E\x9B"
                                                                           "B")
                                                      << "a-b";
    QTest::newRow("path separators") << "../../etc/passwd"
                                     << "..-..-etc-passwd";
    QTest::newRow("line end and tab") << "a\r\n\tb"
                                      << "a---b";
}

void TestKVFLArchive::memberBaseNames()
{
    QFETCH(QString, name);
    QFETCH(QString, base);
    QCOMPARE(KVFLArchive::memberBaseName(name), base);
}

void TestKVFLArchive::memberNamesAreUniquePerFile_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("members");

    QTest::newRow("same name three times")
        << QStringList {"Spot 700 Profile", "Spot 700 Profile", "Spot 700 Profile"}
        << QStringList {"spot-700-profile.xml", "spot-700-profile_1.xml", "spot-700-profile_2.xml"};
    QTest::newRow("the version member's base name is taken")
        << QStringList {"KVFL", "kvfl"} << QStringList {"kvfl_1.xml", "kvfl_2.xml"};
    QTest::newRow("empty names") << QStringList {"", ""} << QStringList {"-.xml", "-_1.xml"};
    QTest::newRow("underscore meets empty") << QStringList {"_", ""} << QStringList {"-.xml", "-_1.xml"};
    QTest::newRow("case folds before the check")
        << QStringList {"SPOT", "spot", "Spot"} << QStringList {"spot.xml", "spot_1.xml", "spot_2.xml"};
    QTest::newRow("a counter never meets a name")
        << QStringList {"Spot", "Spot", "Spot_1", "Spot 1"}
        << QStringList {"spot.xml", "spot_1.xml", "spot-1.xml", "spot-1_1.xml"};
    QTest::newRow("counter is not cumulative")
        << QStringList {"a", "a", "a", "a"} << QStringList {"a.xml", "a_1.xml", "a_2.xml", "a_3.xml"};
    QTest::newRow("dots") << QStringList {"Spot 2.5", "Spot 2.5"} << QStringList {"spot-2.5.xml", "spot-2.5_1.xml"};
    QTest::newRow("list order") << QStringList {"Zeta", "Alpha", "Mu"}
                                << QStringList {"zeta.xml", "alpha.xml", "mu.xml"};
}

void TestKVFLArchive::memberNamesAreUniquePerFile()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, members);

    Library library;
    for (const QString& name : names) {
        library.add(name);
    }
    const QStringList paths = memberPaths(library.save());
    QCOMPARE(paths.value(0), QStringLiteral("kvfl.version"));
    QCOMPARE(paths.mid(1), members);
}

void TestKVFLArchive::layoutAsWritten()
{
    Library library;
    const QByteArray bytes = smallLibrary(library);
    QVERIFY(bytes.startsWith("\x1f\x8b"));

    int format = 0;
    const QList<Member> members = listMembers(bytes, &format);
    QCOMPARE(format & ARCHIVE_FORMAT_BASE_MASK, ARCHIVE_FORMAT_TAR);
    QCOMPARE(members.size(), library.size() + 1);

    const Member& version = members.first();
    QCOMPARE(version.path, QByteArray("kvfl.version"));
    QCOMPARE(version.data, QByteArray("01.00"));
    for (int i = 0; i < members.size(); ++i) {
        const Member& member = members.at(i);
        QCOMPARE(member.fileType, int(AE_IFREG));
        QCOMPARE(member.permissions, 0644);
        QCOMPARE(member.mtime, qint64(0));
        QCOMPARE(member.uid, qint64(0));
        QCOMPARE(member.gid, qint64(0));
        if (i > 0) {
            QCOMPARE(member.data, QKVFixtureDefinitionXMLExporter::toXml(*library.at(i - 1)));
        }
    }
}

void TestKVFLArchive::nameWithDotReadsBack()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    Library library;
    library.add("Spot 2.5", 3);
    const QString path = folder.filePath("dots.kvfl");
    KVFLArchive saving(path);
    saving.setDefinitionsToSave(library.list());
    QVERIFY(saving.save());
    QCOMPARE(memberPaths(readFile(path)), (QStringList {"kvfl.version", "spot-2.5.xml"}));

    KVFLArchive loading(path);
    QVERIFY(loading.load());
    QCOMPARE(loading.loaders().size(), 1);
    QCOMPARE(loading.definitions().size(), 1);
    compareAfterRoundTrip(loading.definitions().at(0), library.at(0));
}

void TestKVFLArchive::versionRules_data()
{
    QTest::addColumn<QByteArrayList>("members");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("loaders");

    const QByteArray xml = readData("Spot250.xml");
    QTest::newRow("01.00") << QByteArrayList {"kvfl.version", "01.00", "a.xml", xml} << true << 1;
    QTest::newRow("version member only") << QByteArrayList {"kvfl.version", "01.00"} << true << 0;
    QTest::newRow("line end after the version")
        << QByteArrayList {"kvfl.version", "01.00\n", "a.xml", xml} << false << 1;
    QTest::newRow("more in front is accepted") << QByteArrayList {"kvfl.version", "101.00", "a.xml", xml} << true << 1;
    QTest::newRow("the dot stands for any character") << QByteArrayList {"kvfl.version", "01-00"} << true << 0;
    QTest::newRow("text ends at a zero byte")
        << QByteArrayList {"kvfl.version", QByteArray("01.00\0junk", 10)} << true << 0;
    QTest::newRow("another version") << QByteArrayList {"kvfl.version", "02.00", "a.xml", xml, "b.xml", xml} << false
                                     << 2;
    QTest::newRow("shorter version") << QByteArrayList {"kvfl.version", "1.00"} << false << 0;
    QTest::newRow("empty version") << QByteArrayList {"kvfl.version", ""} << false << 0;
    QTest::newRow("no version member") << QByteArrayList {"a.xml", xml} << false << 1;
    QTest::newRow("no members at all") << QByteArrayList {} << false << 0;
    QTest::newRow("member name in capitals") << QByteArrayList {"KVFL.VERSION", "01.00", "a.xml", xml} << true << 1;
    QTest::newRow("version member in a folder") << QByteArrayList {"library/kvfl.version", "01.00"} << true << 0;
    QTest::newRow("any character for the dot") << QByteArrayList {"kvfl_version", "01.00"} << true << 0;
    QTest::newRow("name anchored at the end") << QByteArrayList {"kvfl.version.bak", "01.00"} << false << 0;
    QTest::newRow("version after the documents") << QByteArrayList {"a.xml", xml, "kvfl.version", "01.00"} << true << 1;
    QTest::newRow("an accepted version stays accepted")
        << QByteArrayList {"kvfl.version", "01.00", "kvfl.version", "02.00"} << true << 0;
    QTest::newRow("other members are skipped")
        << QByteArrayList {"readme.txt", "Read me first", "kvfl.version", "01.00", "a.xml", xml, "logo.png", "PNG"}
        << true << 1;
    QTest::newRow("document suffix in capitals") << QByteArrayList {"kvfl.version", "01.00", "A.XML", xml} << true << 1;
    QTest::newRow("no suffix is no document")
        << QByteArrayList {"kvfl.version", "01.00", "a.xml.txt", xml} << true << 0;
    QTest::newRow("an empty document still gets a loader")
        << QByteArrayList {"kvfl.version", "01.00", "empty.xml", ""} << true << 1;
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
        QVERIFY(loader->definitions().size() <= 1);
    }
}

void TestKVFLArchive::unsupportedContentFlagFollowsTheLastLoad()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString flagged = folder.filePath("flagged.kvfl");
    const QString clean = folder.filePath("clean.kvfl");
    QVERIFY(writeFile(flagged,
                      makeArchive({"kvfl.version",
                                   "01.00",
                                   "a.xml",
                                   readData("Spot250.xml"),
                                   "b.xml",
                                   readData("UnsupportedComment.xml"),
                                   "c.xml",
                                   readData("TwoPersonalities.xml")})));
    QVERIFY(writeFile(clean, makeArchive({"kvfl.version", "01.00", "a.xml", readData("Spot250.xml")})));

    KVFLArchive archive(flagged);
    QVERIFY(!archive.hasUnsupportedFeatures());
    QVERIFY(archive.load());
    QVERIFY(archive.hasUnsupportedFeatures());
    QCOMPARE(archive.definitions().size(), 4);

    archive.setFileName(clean);
    QVERIFY(archive.load());
    QVERIFY(!archive.hasUnsupportedFeatures());

    archive.setFileName(flagged);
    QVERIFY(archive.load());
    QVERIFY(archive.hasUnsupportedFeatures());
    archive.setFileName(folder.filePath("missing.kvfl"));
    QVERIFY(!archive.load());
    QVERIFY(!archive.hasUnsupportedFeatures());

    // The slot is what the loaders' reports reach.
    KVFLArchive direct;
    direct.setHasUnsupportedFeatures();
    QVERIFY(direct.hasUnsupportedFeatures());
}

void TestKVFLArchive::loadReplacesTheLoadersOfTheLastLoad()
{
    Library three;
    three.add("A");
    three.add("B");
    three.add("C");
    Library one;
    one.add("D");

    KVFLArchive archive;
    QVERIFY(loadBytes(archive, three.save()));
    QCOMPARE(archive.loaders().size(), 3);
    QVERIFY(loadBytes(archive, one.save()));
    QCOMPARE(archive.loaders().size(), 1);
    QCOMPARE(archive.definitions().at(0)->name(), QStringLiteral("D"));
    QCOMPARE(archive.versionString(), QStringLiteral("01.00"));
}

void TestKVFLArchive::missingOrForeignFilesDoNotLoad_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("kind");

    QTest::newRow("missing file") << QByteArray() << "missing";
    QTest::newRow("no file name") << QByteArray() << "unnamed";
    QTest::newRow("a folder") << QByteArray() << "folder";
    QTest::newRow("empty file") << QByteArray() << "file";
    QTest::newRow("text file") << QByteArray("01.00\n") << "file";
    QTest::newRow("bare fixture document") << readData("Spot250.xml") << "file";
    QTest::newRow("gzip of a document") << gzip(readData("Spot250.xml")) << "file";
    QTest::newRow("zip signature") << QByteArray("PK\x03\x04\x14\0\0\0", 8) + QByteArray(100, 'z') << "file";
    QTest::newRow("end of a tar only") << endOfTar() << "file";
}

void TestKVFLArchive::missingOrForeignFilesDoNotLoad()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, kind);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QString path = folder.filePath("library.kvfl");
    if (kind == "unnamed") {
        path.clear();
    } else if (kind == "folder") {
        QVERIFY(QDir(folder.path()).mkdir("library.kvfl"));
    } else if (kind == "file") {
        QVERIFY(writeFile(path, content));
    }

    KVFLArchive archive(path);
    QVERIFY(!archive.load());
    QVERIFY(!archive.errorString().isEmpty());
    QVERIFY(archive.loaders().isEmpty());
}

void TestKVFLArchive::generatedLibraryRoundTrip()
{
    Random random(0x4b56464cULL);
    Library library;
    QStringList names;
    for (int i = 0; i < 300; ++i) {
        std::unique_ptr<QKVFixtureDefinition> definition = randomDefinition(random, names);
        names.append(definition->name());
        library.take(definition.release());
    }

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath("generated.kvfl");
    KVFLArchive saving(path);
    saving.setDefinitionsToSave(library.list());
    QVERIFY2(saving.save(), qPrintable(saving.errorString()));
    QVERIFY(saving.errorString().isEmpty());

    const QStringList paths = memberPaths(readFile(path));
    QCOMPARE(paths.size(), library.size() + 1);
    QCOMPARE(QSet<QString>(paths.cbegin(), paths.cend()).size(), paths.size());

    KVFLArchive loading(path);
    QVERIFY2(loading.load(), qPrintable(loading.errorString()));
    QVERIFY(!loading.hasUnsupportedFeatures());
    QCOMPARE(loading.versionString(), QStringLiteral("01.00"));
    QCOMPARE(loading.loaders().size(), library.size());
    for (int i = 0; i < library.size(); ++i) {
        const QList<QKVFixtureDefinition*>& produced = loading.loaders().at(i)->definitions();
        QVERIFY2(produced.size() == 1, qPrintable(QString::number(i)));
        const QString difference = roundTripDifference(produced.at(0), library.at(i));
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("definition %1: %2").arg(i).arg(difference)));
    }
}

void TestKVFLArchive::deviceAndFileGiveTheSameLibrary()
{
    Library library;
    const QByteArray fromDevice = smallLibrary(library);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath("library.kvfl");
    KVFLArchive saving(path);
    saving.setDefinitionsToSave(library.list());
    QVERIFY(saving.save());
    const QByteArray fromFile = readFile(path);

    // The gzip header carries a time stamp; the members must be the same.
    const QList<Member> deviceMembers = listMembers(fromDevice);
    const QList<Member> fileMembers = listMembers(fromFile);
    QCOMPARE(deviceMembers.size(), fileMembers.size());
    for (int i = 0; i < deviceMembers.size(); ++i) {
        QCOMPARE(deviceMembers.at(i).path, fileMembers.at(i).path);
        QCOMPARE(deviceMembers.at(i).data, fileMembers.at(i).data);
    }

    KVFLArchive fileArchive(path);
    QVERIFY(fileArchive.load());
    KVFLArchive bufferArchive;
    QVERIFY(loadBytes(bufferArchive, fromFile));
    QCOMPARE(bufferArchive.versionString(), fileArchive.versionString());
    QCOMPARE(bufferArchive.definitions().size(), library.size());
    QCOMPARE(fileArchive.definitions().size(), library.size());
    for (int i = 0; i < library.size(); ++i) {
        compareAfterRoundTrip(bufferArchive.definitions().at(i), library.at(i));
        compareAfterRoundTrip(fileArchive.definitions().at(i), library.at(i));
    }
}

void TestKVFLArchive::libraryInFolderWithNonLatin1Name()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString folderName = QString::fromUtf8("Bibliothèque Ωμέγα 照明 \xF0\x9F\x8E\x9B");
    QVERIFY(QDir(root.path()).mkdir(folderName));
    const QString path = root.filePath(folderName + QString::fromUtf8("/Lümière ÿ Ω.kvfl"));

    Library library;
    library.add(QString::fromUtf8("Lümière"), 4);
    KVFLArchive saving(path);
    saving.setDefinitionsToSave(library.list());
    QVERIFY2(saving.save(), qPrintable(saving.errorString()));
    QVERIFY(QFile::exists(path));
    QCOMPARE(QDir(root.filePath(folderName)).entryList(QDir::Files),
             QStringList {QString::fromUtf8("Lümière ÿ Ω.kvfl")});

    KVFLArchive loading(path);
    QVERIFY2(loading.load(), qPrintable(loading.errorString()));
    QCOMPARE(loading.definitions().size(), 1);
    compareAfterRoundTrip(loading.definitions().at(0), library.at(0));
}

void TestKVFLArchive::failedSaveLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("failure");

    QTest::newRow("file size limit, as on a full disk") << "size-limit";
    QTest::newRow("read-only folder") << "read-only";
    QTest::newRow("folder is a regular file") << "parent-is-file";
    QTest::newRow("name longer than the file system allows") << "long-name";
    QTest::newRow("a folder where the file should be") << "folder";
    QTest::newRow("no file name") << "unnamed";
}

void TestKVFLArchive::failedSaveLeavesTheOldFile()
{
    QFETCH(QString, failure);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString folder = root.filePath("library");
    QVERIFY(QDir(root.path()).mkdir("library"));
    QString path = folder + "/library.kvfl";

    Library old;
    const QByteArray oldBytes = smallLibrary(old);
    QVERIFY(writeFile(path, oldBytes));

    // A library well over the size limit below, even compressed.
    Random random(7);
    Library library;
    for (int i = 0; i < 200; ++i) {
        library.take(randomDefinition(random, {}).release());
    }

    std::unique_ptr<FileSizeLimit> limit;
    if (failure == "size-limit") {
        limit = std::make_unique<FileSizeLimit>(4096);
        QVERIFY(limit->active());
    } else if (failure == "read-only") {
        if (geteuid() == 0) {
            QSKIP("Permissions do not stop root; the size-limit row covers this case.");
        }
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    } else if (failure == "parent-is-file") {
        path = path + "/inner.kvfl";
    } else if (failure == "long-name") {
        path = folder + "/" + QString(300, QLatin1Char('x')) + ".kvfl";
    } else if (failure == "folder") {
        path = folder + "/taken.kvfl";
        QVERIFY(QDir(folder).mkdir("taken.kvfl"));
        QVERIFY(writeFile(path + "/keep", "keep"));
    } else if (failure == "unnamed") {
        path.clear();
    }

    KVFLArchive archive(path);
    archive.setDefinitionsToSave(library.list());
    const bool saved = archive.save();
    limit.reset();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(!saved);
    QVERIFY(!archive.errorString().isEmpty());
    QCOMPARE(readFile(folder + "/library.kvfl"), oldBytes);
    // No half-written or temporary file is left behind.
    QStringList expected {"library.kvfl"};
    if (failure == "folder") {
        expected.append("taken.kvfl");
        QCOMPARE(readFile(path + "/keep"), QByteArray("keep"));
    }
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name), expected);

    // The same archive saves once the obstacle is gone.
    if (failure == "size-limit" || failure == "read-only") {
        QVERIFY2(archive.save(), qPrintable(archive.errorString()));
        KVFLArchive loading(path);
        QVERIFY(loading.load());
        QCOMPARE(loading.definitions().size(), library.size());
    }
}

void TestKVFLArchive::failingDeviceFailsTheSave_data()
{
    QTest::addColumn<qint64>("limit"); // bytes, or with percent: part of the whole file
    QTest::addColumn<bool>("percent");

    QTest::newRow("nothing") << qint64(0) << false;
    QTest::newRow("part of the gzip header") << qint64(5) << false;
    QTest::newRow("100 bytes") << qint64(100) << false;
    // All through the stream, so that some failures fall into a member header's write.
    for (qint64 part = 5; part < 100; part += 5) {
        QTest::addRow("%lld%%", part) << part << true;
    }
}

void TestKVFLArchive::failingDeviceFailsTheSave()
{
    QFETCH(qint64, limit);
    QFETCH(bool, percent);

    const Library& library = largeLibrary();
    if (percent) {
        limit = m_largeLibraryBytes.size() * limit / 100;
    }
    FailingDevice device({}, limit);
    QVERIFY(device.open(QIODevice::WriteOnly));
    KVFLArchive archive;
    archive.setDefinitionsToSave(library.list());
    QVERIFY(!archive.save(&device));
    QVERIFY(!archive.errorString().isEmpty());

    // A device that is not open for writing fails too.
    QBuffer closed;
    QVERIFY(!archive.save(&closed));
}

void TestKVFLArchive::failingDeviceNeverCrashesTheLoad()
{
    // A read error ends the archive there, like a damaged header: what was read before
    // it stays, unchanged, and a member cut by it fails the load.
    Library small;
    const QByteArray smallBytes = smallLibrary(small);
    const Library& large = largeLibrary();
    for (const auto& [library, bytes] : {std::pair<const Library&, const QByteArray&>(small, smallBytes),
                                         std::pair<const Library&, const QByteArray&>(large, m_largeLibraryBytes)}) {
        for (qint64 limit = 0; limit <= bytes.size(); limit += bytes.size() / 12 + 1) {
            FailingDevice device(bytes, limit);
            QVERIFY(device.open(QIODevice::ReadOnly));
            KVFLArchive archive;
            if (archive.load(&device)) {
                const QList<QKVFixtureDefinition*> definitions = archive.definitions();
                QVERIFY(definitions.size() <= library.size());
                for (int i = 0; i < definitions.size(); ++i) {
                    compareAfterRoundTrip(definitions.at(i), library.at(i));
                }
            } else {
                QVERIFY(!archive.errorString().isEmpty());
            }
        }
    }
}

void TestKVFLArchive::truncatedArchiveLoadsAPrefixOrFails()
{
    // A small library fits in one read block: every cut fails the whole load. A large
    // one is read block by block: a cut after the version member leaves the members
    // read before it.
    Library small;
    const QByteArray smallBytes = smallLibrary(small);
    const Library& large = largeLibrary();
    const QByteArray& largeBytes = m_largeLibraryBytes;
    QVERIFY(largeBytes.size() > 4 * 16384);
    const int largeStep = static_cast<int>(largeBytes.size() / 50) + 1;

    struct Case
    {
        const Library& library;
        const QByteArray& bytes;
        int step;
    };
    int partial = 0;
    for (const Case& c : {Case {small, smallBytes, 1}, Case {large, largeBytes, largeStep}}) {
        for (int length = 0; length < c.bytes.size(); length += c.step) {
            KVFLArchive archive;
            if (!loadBytes(archive, c.bytes.left(length))) {
                QVERIFY(!archive.errorString().isEmpty());
                continue;
            }
            // Whatever loads is a run of the saved definitions, from the start and unchanged.
            const QList<QKVFixtureDefinition*> definitions = archive.definitions();
            QVERIFY(definitions.size() < c.library.size());
            for (int i = 0; i < definitions.size(); ++i) {
                compareAfterRoundTrip(definitions.at(i), c.library.at(i));
            }
            partial += definitions.isEmpty() ? 0 : 1;
        }
    }
    QVERIFY(partial > 0);
}

void TestKVFLArchive::garbageAfterTheArchiveIsIgnored_data()
{
    QTest::addColumn<QByteArray>("tail");

    Random random(3);
    QByteArray noise(4096, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random.next());
    }
    Library other;
    other.add("Other");

    QTest::newRow("line feed") << QByteArray("\n");
    QTest::newRow("zero byte") << QByteArray(1, '\0');
    QTest::newRow("block padding") << QByteArray(10240, '\0');
    QTest::newRow("text") << QByteArray("garbage appended by a careless copy");
    QTest::newRow("noise") << noise;
    QTest::newRow("start of a gzip header") << QByteArray("\x1f\x8b");
    QTest::newRow("another gzip stream") << gzip("more");
    QTest::newRow("another library") << other.save();
}

void TestKVFLArchive::garbageAfterTheArchiveIsIgnored()
{
    QFETCH(QByteArray, tail);

    Library library;
    const QByteArray bytes = smallLibrary(library);
    KVFLArchive archive;
    // The tar archive has ended before the tail: nothing of it is read.
    QVERIFY(loadBytes(archive, bytes + tail));
    QCOMPARE(archive.definitions().size(), library.size());
    for (int i = 0; i < library.size(); ++i) {
        compareAfterRoundTrip(archive.definitions().at(i), library.at(i));
    }
}

void TestKVFLArchive::bitFlipsNeverCrash()
{
    Library library;
    const QByteArray bytes = smallLibrary(library);
    // Every bit of the gzip header and the first blocks, then every 13th bit.
    int loaded = 0;
    int tried = 0;
    for (qint64 bit = 0; bit < bytes.size() * 8; bit += (bit < 4096 ? 1 : 13)) {
        QByteArray damaged = bytes;
        damaged[bit / 8] = static_cast<char>(damaged.at(bit / 8) ^ (1 << (bit % 8)));
        KVFLArchive archive;
        loaded += loadBytes(archive, damaged) ? 1 : 0;
        ++tried;
        QVERIFY(archive.definitions().size() <= library.size() + 1);
    }
    qInfo("%d of %d bit flips loaded", loaded, tried);
}

void TestKVFLArchive::damagedTarHeadersNeverCrash()
{
    // Uncompressed, so that every damaged byte reaches the tar reader as it is.
    const QByteArray xml = readData("TwoPersonalities.xml");
    const QByteArray tar = makeArchive({"kvfl.version", "01.00", "a.xml", xml, "b.xml", xml}, false);
    const QList<char> values {'\0', '\x7f', '\x80', '\xff', '7', ' '};
    int tried = 0;
    for (int block = 0; block + 512 <= tar.size(); block += 512) {
        // Only the header blocks: those holding the magic.
        if (tar.mid(block + 257, 5) != "ustar") {
            continue;
        }
        for (int offset = 0; offset < 512; ++offset) {
            for (const char value : values) {
                QByteArray damaged = tar;
                damaged[block + offset] = value;
                KVFLArchive archive;
                loadBytes(archive, damaged);
                QVERIFY(archive.definitions().size() <= 4);
                ++tried;
            }
        }
    }
    QVERIFY(tried > 3 * 512);
}

void TestKVFLArchive::oversizedMembersAreRefused_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("loaders");

    const QByteArray version = tarMember("kvfl.version", "01.00");
    const QByteArray document = readData("Spot250.xml");
    constexpr qint64 GiB = qint64(1) << 30;

    QTest::newRow("document claiming 1 GiB") << gzip(version + tarHeader("big.xml", GiB) + document) << false << 0;
    QTest::newRow("document claiming 8 GiB - 1")
        << gzip(version + tarHeader("big.xml", 8 * GiB - 1) + document) << false << 0;
    QTest::newRow("document one byte over the cap")
        << gzip(version + tarHeader("big.xml", KVFLArchive::MaxXmlMemberSize + 1) + document) << false << 0;
    QTest::newRow("version claiming 1 KiB")
        << gzip(tarHeader("kvfl.version", 1024) + QByteArray(1024, '0')) << false << 0;
    QTest::newRow("version of 65 bytes") << makeArchive({"kvfl.version", QByteArray(60, '1') + "01.00"}) << false << 0;
    QTest::newRow("version of 64 bytes") << makeArchive({"kvfl.version", QByteArray(59, '1') + "01.00"}) << true << 0;
    QTest::newRow("document cut short") << gzip(version + tarHeader("cut.xml", 4096) + document) << false << 0;
    QTest::newRow("documents before the damaged one stay")
        << gzip(version + tarMember("a.xml", document) + tarHeader("big.xml", GiB) + document) << false << 1;

    // A document of exactly the cap is read; white space keeps it well-formed.
    QByteArray capped = document;
    capped.insert(capped.indexOf("</KorvaneFixtureDefinition>"),
                  QByteArray(KVFLArchive::MaxXmlMemberSize - document.size(), ' '));
    QTest::newRow("document of exactly 16 MiB")
        << gzip(version + tarMember("capped.xml", capped) + endOfTar()) << true << 1;
}

void TestKVFLArchive::oversizedMembersAreRefused()
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
    // Nothing larger than the largest member that may be read is ever allocated (the
    // document of exactly the cap is held once as bytes and once as text).
    QVERIFY2(largestAllocation <= size_t(3 * KVFLArchive::MaxXmlMemberSize),
             qPrintable(QString::number(largestAllocation.load())));
    if (!loads) {
        QVERIFY2(largestAllocation < size_t(KVFLArchive::MaxXmlMemberSize),
                 qPrintable(QString::number(largestAllocation.load())));
    }
#endif
}

QTEST_GUILESS_MAIN(TestKVFLArchive)
#include "TestKVFLArchive.moc"
