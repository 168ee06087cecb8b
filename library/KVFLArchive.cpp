#include "KVFLArchive.h"

#include "GzipWriter.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QThread>
#include <QThreadPool>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

namespace {

constexpr int ReadBlockSize = 16384;
constexpr int MemberPermissions = 0644;
const char* const VersionBaseName = "kvfl";
const char* const VersionSuffix = ".version";
// What every name versionMemberPattern() matches ends with, in any case.
const char* const VersionEnding = "version";
const char* const XmlSuffix = ".xml";

struct ReadDeleter
{
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteDeleter
{
    // After a fatal error (a failed write under a member header) archive_write_free
    // skips the close, and libarchive 3.6 then never releases its compressor and
    // output buffer; closing first releases them. Closing a closed writer does nothing.
    void operator()(archive* a) const
    {
        archive_write_close(a);
        archive_write_free(a);
    }
};
struct EntryDeleter
{
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using ReadHandle = std::unique_ptr<archive, ReadDeleter>;
using WriteHandle = std::unique_ptr<archive, WriteDeleter>;
using EntryHandle = std::unique_ptr<archive_entry, EntryDeleter>;

struct ReadSource
{
    QIODevice* device;
    QByteArray block;
};

la_ssize_t readFromDevice(archive* a, void* clientData, const void** buffer)
{
    auto* source = static_cast<ReadSource*>(clientData);
    const qint64 got = source->device->read(source->block.data(), source->block.size());
    if (got < 0) {
        archive_set_error(a, EIO, "%s", qPrintable(source->device->errorString()));
        return -1;
    }
    *buffer = source->block.constData();
    return static_cast<la_ssize_t>(got);
}

la_ssize_t writeToCompressor(archive* a, void* clientData, const void* buffer, size_t length)
{
    auto* compressor = static_cast<GzipWriter*>(clientData);
    if (!compressor->write(static_cast<const char*>(buffer), static_cast<qsizetype>(length))) {
        archive_set_error(a, EIO, "%s", qPrintable(compressor->errorString()));
        return -1;
    }
    return static_cast<la_ssize_t>(length);
}

QString archiveError(archive* a)
{
    const char* text = archive_error_string(a);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

/// Reads exactly `size` bytes of the current member.
bool readMemberData(archive* a, char* destination, qint64 size)
{
    qint64 got = 0;
    while (got < size) {
        const la_ssize_t n = archive_read_data(a, destination + got, static_cast<size_t>(size - got));
        if (n <= 0) {
            return false;
        }
        got += n;
    }
    return true;
}

QString memberPath(archive_entry* entry)
{
    if (const char* path = archive_entry_pathname(entry)) {
        return QString::fromLatin1(path);
    }
    if (const char* path = archive_entry_pathname_utf8(entry)) {
        return QString::fromUtf8(path);
    }
    return {};
}

// Both matches are anchored at the end only, and "." stands for any character: a
// member "backup/KVFL.VERSION" is a version member, and "101.00" an accepted version.
const QRegularExpression& versionMemberPattern()
{
    static const QRegularExpression pattern(QStringLiteral("kvfl.version\\z"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

const QRegularExpression& acceptedVersionPattern()
{
    static const QRegularExpression pattern(QStringLiteral("01.00\\z"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

} // namespace

/// Writes the members of one save and keeps their names unique.
class KVFLArchive::Writer
{
public:
    explicit Writer(archive* a) : m_archive(a) { }

    bool writeMember(const QString& baseName, const char* suffix, const QByteArray& data)
    {
        const QString name = uniqueName(memberBaseName(baseName));
        const QByteArray path = (name + QLatin1String(suffix)).toLatin1();

        EntryHandle entry(archive_entry_new());
        if (!entry) {
            return false;
        }
        archive_entry_set_pathname(entry.get(), path.constData());
        archive_entry_set_size(entry.get(), data.size());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), MemberPermissions);
        if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK) {
            return false;
        }
        const la_ssize_t written = archive_write_data(m_archive, data.constData(), static_cast<size_t>(data.size()));
        if (written != static_cast<la_ssize_t>(data.size())) {
            return false;
        }
        m_used.insert(name);
        return true;
    }

private:
    // Base names never contain "_" (the name rule replaces it), so the names taken for
    // a base are exactly base, base_1, ..., base_k: probing can start after the last
    // counter handed out for it, which keeps a library of equal names linear.
    QString uniqueName(const QString& base)
    {
        if (!m_used.contains(base)) {
            return base;
        }
        int& counter = m_lastSuffix[base];
        QString candidate;
        do {
            candidate = base + QLatin1Char('_') + QString::number(++counter);
        } while (m_used.contains(candidate));
        return candidate;
    }

    archive* m_archive;
    QSet<QString> m_used;
    QHash<QString, int> m_lastSuffix;
};

/// Parses documents on the other cores while the archive is still being read, and on
/// every way out of a load waits for them and lets the loaders report, in archive order.
class KVFLArchive::Parsing
{
public:
    explicit Parsing(KVFLArchive& archive) : m_archive(archive)
    {
        m_parsers.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    }
    ~Parsing()
    {
        m_parsers.waitForDone();
        for (qsizetype i = 0; i < m_archive.m_loaders.size(); ++i) {
            QKVFixtureDefinitionLoader* loader = m_archive.m_loaders.at(i);
            loader->load();
            // Asked, not connected: 10,000 connections cost more than the question.
            if (loader->unsupportedCount() > 0) {
                m_archive.setHasUnsupportedFeatures();
            }
            if (!loader->wellFormed()) {
                m_archive.m_unreadableMembers.append(m_archive.m_loaderMembers.at(i));
            }
        }
    }

    /// Parses `loader`, a document of `size` bytes, on one of the other cores.
    void start(QKVFixtureDefinitionLoader* loader, qint64 size)
    {
        // Reading outruns parsing; past a point the reader waits, so that documents
        // read but not yet parsed never pile up in memory.
        if (m_unparsed.fetch_add(size) + size > MaxUnparsedXmlSize) {
            m_parsers.waitForDone();
        }
        m_parsers.start([this, loader, size]() {
            loader->parse();
            m_unparsed.fetch_sub(size);
        });
    }

private:
    KVFLArchive& m_archive;
    // Before the pool, so that it outlives every parse task.
    std::atomic<qint64> m_unparsed {0};
    QThreadPool m_parsers;
};

KVFLArchive::KVFLArchive(const QString& fileName, QObject* parent) : QObject(parent), m_fileName(fileName) { }

KVFLArchive::~KVFLArchive()
{
    clearLoaders();
}

void KVFLArchive::clearLoaders()
{
    qDeleteAll(m_loaders);
    m_loaders.clear();
    m_loaderMembers.clear();
}

bool KVFLArchive::fail(const QString& reason)
{
    m_errorString = reason;
    return false;
}

void KVFLArchive::setHasUnsupportedFeatures()
{
    m_hasUnsupportedFeatures = true;
}

QList<QKVFixtureDefinition*> KVFLArchive::definitions() const
{
    QList<QKVFixtureDefinition*> all;
    for (const QKVFixtureDefinitionLoader* loader : m_loaders) {
        all += loader->definitions();
    }
    return all;
}

QList<QKVFixtureDefinition*> KVFLArchive::takeDefinitions()
{
    qsizetype count = 0;
    for (const QKVFixtureDefinitionLoader* loader : std::as_const(m_loaders)) {
        count += loader->definitions().size();
    }
    QList<QKVFixtureDefinition*> all;
    all.reserve(count);
    for (QKVFixtureDefinitionLoader* loader : std::as_const(m_loaders)) {
        all += loader->takeDefinitions();
    }
    clearLoaders();
    return all;
}

QString KVFLArchive::memberBaseName(const QString& definitionName)
{
    const QString source = definitionName.isEmpty() ? QStringLiteral("_") : definitionName;
    QString base;
    base.reserve(source.size());
    for (qsizetype i = 0; i < source.size(); ++i) {
        const QChar c = source.at(i);
        const char16_t u = c.unicode();
        const bool kept = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.';
        if (kept) {
            base.append(QChar(u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u));
        } else {
            base.append(QLatin1Char('-'));
            // One character outside the BMP is one "-", not two.
            if (c.isHighSurrogate() && i + 1 < source.size() && source.at(i + 1).isLowSurrogate()) {
                ++i;
            }
        }
    }
    return base;
}

void KVFLArchive::resetLoad()
{
    clearLoaders();
    m_unreadableMembers.clear();
    m_versionString.clear();
    m_hasUnsupportedFeatures = false;
    m_errorString.clear();
}

bool KVFLArchive::load()
{
    resetLoad();
    QFile file(m_fileName);
    if (m_fileName.isEmpty() || !file.exists()) {
        return fail(tr("The file does not exist."));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(file.errorString());
    }
    return load(&file);
}

bool KVFLArchive::load(QIODevice* device)
{
    resetLoad();
    ReadHandle reader(archive_read_new());
    if (!reader) {
        return fail(tr("Out of memory."));
    }
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());

    ReadSource source {device, QByteArray(ReadBlockSize, Qt::Uninitialized)};
    if (archive_read_open(reader.get(), &source, nullptr, readFromDevice, nullptr) != ARCHIVE_OK) {
        return fail(tr("The file is not a library: %1").arg(archiveError(reader.get())));
    }
    bool versionAccepted = false;
    if (!readMembers(reader.get(), versionAccepted)) {
        return false;
    }
    if (!versionAccepted) {
        if (m_versionString.isEmpty()) {
            return fail(m_errorString.isEmpty() ? tr("The file has no library version.") : m_errorString);
        }
        return fail(tr("The library version %1 is not supported.").arg(m_versionString));
    }
    return true;
}

bool KVFLArchive::readMembers(archive* reader, bool& versionAccepted)
{
    Parsing parsing(*this);
    qint64 xmlTotal = 0;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader, &entry);
        // A warning still comes with a usable header (a name in an odd encoding, say).
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            if (status != ARCHIVE_EOF) {
                // Damage after the members read so far ends the library there.
                m_errorString = tr("The library is damaged: %1").arg(archiveError(reader));
            }
            return true;
        }
        const QString path = memberPath(entry);
        const qint64 size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        // A cheap look at the name's end first: 10,000 regular expression matches are not.
        if (path.endsWith(QLatin1String(VersionEnding), Qt::CaseInsensitive)
            && versionMemberPattern().match(path).hasMatch()) {
            if (!readVersionMember(reader, size, versionAccepted)) {
                return false;
            }
        } else if (path.endsWith(QLatin1String(XmlSuffix), Qt::CaseInsensitive)) {
            xmlTotal += std::max<qint64>(size, 0);
            if (!readDocumentMember(reader, path, size, xmlTotal, parsing)) {
                return false;
            }
        }
    }
}

bool KVFLArchive::readVersionMember(archive* reader, qint64 size, bool& versionAccepted)
{
    if (size < 0 || size > MaxVersionMemberSize) {
        return fail(tr("The library is damaged: its version member is too large."));
    }
    QByteArray version(size, Qt::Uninitialized);
    if (!readMemberData(reader, version.data(), size)) {
        return fail(tr("The library is damaged: its version member is incomplete."));
    }
    // The version is a C string: anything after a zero byte is not part of it.
    const qsizetype zero = version.indexOf('\0');
    m_versionString = QString::fromLatin1(zero < 0 ? version : version.left(zero));
    if (acceptedVersionPattern().match(m_versionString).hasMatch()) {
        versionAccepted = true;
    }
    return true;
}

bool KVFLArchive::readDocumentMember(
    archive* reader, const QString& path, qint64 size, qint64 xmlTotal, Parsing& parsing)
{
    if (size < 0 || size > MaxXmlMemberSize) {
        return fail(tr("The library is damaged: the member %1 is too large.").arg(path));
    }
    if (xmlTotal > MaxLibraryXmlSize) {
        return fail(tr("The library is too large: its fixture documents exceed %1 MiB.")
                        .arg(MaxLibraryXmlSize / (1024 * 1024)));
    }
    auto loader = std::make_unique<QKVFixtureDefinitionLoader>();
    if (!readMemberData(reader, loader->buffer(size), size)) {
        return fail(tr("The library is damaged: the member %1 is incomplete.").arg(path));
    }
    m_loaders.append(loader.get());
    m_loaderMembers.append(path);
    parsing.start(loader.release(), size);
    return true;
}

void KVFLArchive::setDefinitionsToSave(const QList<QKVFixtureDefinition*>& definitions)
{
    m_definitionsToSave = definitions;
}

bool KVFLArchive::save()
{
    m_errorString.clear();
    if (m_fileName.isEmpty()) {
        return fail(tr("The library has no file name."));
    }
    // The library is written beside the target and takes its place only when complete,
    // so a failed save (full disk, a crash) leaves the previous file as it was.
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(file.errorString());
    }
    if (!save(&file)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        return fail(file.errorString());
    }
    return true;
}

bool KVFLArchive::save(QIODevice* device)
{
    m_errorString.clear();
    // libarchive writes the tar stream only; deflate, most of the work, runs on every core
    // behind it.
    GzipWriter compressor(device);
    WriteHandle writer(archive_write_new());
    if (!writer) {
        return fail(tr("Out of memory."));
    }
    archive_write_set_format_pax_restricted(writer.get());
    // Unblocked: the stream ends where the data ends, without zero padding after the tar's
    // end, and libarchive hands its data over without copying it into blocks first.
    archive_write_set_bytes_per_block(writer.get(), 0);
    if (archive_write_open(writer.get(), &compressor, nullptr, writeToCompressor, nullptr) != ARCHIVE_OK
        || !writeMembers(writer.get()) || archive_write_close(writer.get()) != ARCHIVE_OK) {
        return fail(tr("The library could not be written: %1").arg(archiveError(writer.get())));
    }
    if (archive_write_free(writer.release()) != ARCHIVE_OK) {
        return fail(tr("The library could not be written."));
    }
    if (!compressor.finish()) {
        return fail(tr("The library could not be written: %1").arg(compressor.errorString()));
    }
    return true;
}

bool KVFLArchive::writeMembers(archive* writer) const
{
    Writer members(writer);
    if (!members.writeMember(QLatin1String(VersionBaseName), VersionSuffix, QByteArray(Version))) {
        return false;
    }
    // Deflate takes longer than writing and packing the documents here and keeps every
    // core busy; threads of their own for them would only take turns with it.
    QKVFixtureDefinitionXMLExporter exporter;
    QByteArray document;
    for (const QKVFixtureDefinition* definition : m_definitionsToSave) {
        exporter.exportDefinition(*definition, document);
        if (!members.writeMember(definition->name(), XmlSuffix, document)) {
            return false;
        }
    }
    return true;
}
