#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

struct archive;
class QIODevice;
class QKVFixtureDefinition;
class QKVFixtureDefinitionLoader;

/// A fixture library file (.kvfl): a gzip-compressed tar archive (pax restricted)
/// with the version member "kvfl.version" and one fixture XML document per definition.
///
/// Loading collects every XML member into a parsed loader, in archive order; the
/// caller reads the definitions or takes them over. Saving writes the whole file anew,
/// through a temporary file that replaces the library only once it is complete.
class KVFLArchive : public QObject
{
    Q_OBJECT

public:
    /// The only version this program reads and writes.
    static constexpr const char* Version = "01.00";
    /// Fixture documents are a few kilobytes; a member claiming more is damage or an
    /// attack, and is refused before anything is allocated for it.
    static constexpr qint64 MaxXmlMemberSize = 16 * 1024 * 1024;
    static constexpr qint64 MaxVersionMemberSize = 64;
    /// All fixture documents of a library together. A library of 10,000 definitions of
    /// 24 channels holds about 34 MiB; without a total, a small file of many members just
    /// under the member limit would inflate to gigabytes.
    static constexpr qint64 MaxLibraryXmlSize = 64 * 1024 * 1024;
    /// Documents read ahead of the parsers, at most; keeps a hostile library's memory low.
    static constexpr qint64 MaxUnparsedXmlSize = 16 * 1024 * 1024;

    explicit KVFLArchive(const QString& fileName = QString(), QObject* parent = nullptr);
    ~KVFLArchive() override;

    QString fileName() const { return m_fileName; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }

    /// Reads the file named by fileName(). True when the archive could be read to its
    /// end (or to a damaged header after the members read so far), every XML member
    /// arrived whole, and an accepted version member was met.
    bool load();
    /// The same, from an open device.
    bool load(QIODevice* device);

    /// The loaders of the last load, in archive order, already parsed.
    const QList<QKVFixtureDefinitionLoader*>& loaders() const { return m_loaders; }
    /// Every definition of the last load, in archive order (owned by the loaders).
    QList<QKVFixtureDefinition*> definitions() const;
    /// Hands every definition of the last load, in archive order, to the caller, who
    /// then owns them; the loaders go, so definitions() and loaders() are empty after.
    /// A library of 10,000 definitions is then held once, by whoever shows it.
    QList<QKVFixtureDefinition*> takeDefinitions();
    /// The content of the version member last read.
    QString versionString() const { return m_versionString; }
    /// Whether the documents of the last load held content this program drops.
    bool hasUnsupportedFeatures() const { return m_hasUnsupportedFeatures; }

    /// The XML members of the last load that could not be read (broken XML, content the
    /// reader refuses), by member name, in archive order. Their definitions are missing
    /// from definitions(), so a save leaves them out.
    const QStringList& unreadableMembers() const { return m_unreadableMembers; }

    /// What save() writes; the definitions stay owned by the caller.
    void setDefinitionsToSave(const QList<QKVFixtureDefinition*>& definitions);

    /// Writes the library to fileName(). On any failure the previous file stays as it
    /// was, byte for byte, and false is returned.
    bool save();
    /// Writes the library to an open device.
    bool save(QIODevice* device);

    /// Why the last load or save failed, for messages. After a load that succeeded with
    /// the members before a damaged part, what was damaged; otherwise empty on success.
    QString errorString() const { return m_errorString; }

    /// Steps 1 to 3 of the member name rule: "_" for an empty name, every character
    /// but ASCII letters, digits and "." replaced by "-", lower case.
    static QString memberBaseName(const QString& definitionName);

public Q_SLOTS:
    void setHasUnsupportedFeatures();

private:
    class Writer;
    class Parsing;

    void clearLoaders();
    void resetLoad();
    bool fail(const QString& reason);
    /// Reads every member up to the end or the first damage; false when the load fails.
    bool readMembers(archive* reader, bool& versionAccepted);
    bool readVersionMember(archive* reader, qint64 size, bool& versionAccepted);
    /// `xmlTotal` counts this member's bytes already.
    bool readDocumentMember(archive* reader, const QString& path, qint64 size, qint64 xmlTotal, Parsing& parsing);
    bool writeMembers(archive* writer) const;

    QString m_fileName;
    QString m_versionString;
    QList<QKVFixtureDefinitionLoader*> m_loaders;
    QStringList m_loaderMembers; // the member name of each loader
    QStringList m_unreadableMembers;
    QList<QKVFixtureDefinition*> m_definitionsToSave;
    bool m_hasUnsupportedFeatures = false;
    QString m_errorString;
};
