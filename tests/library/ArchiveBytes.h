#pragma once

// Generated libraries, and libarchive listing files and writing archives the program never would.

#include "KVFLArchive.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QByteArrayList>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

/// The members of a (gzip-compressed) tar archive up to the first damage, each as path,
/// data, and mode (octal), mtime, uid and gid.
inline QList<QByteArrayList> listMembers(const QByteArray& bytes)
{
    QList<QByteArrayList> members;
    const std::unique_ptr<archive, int (*)(archive*)> reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    archive_read_open_memory(reader.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
    for (archive_entry* e = nullptr; archive_read_next_header(reader.get(), &e) == ARCHIVE_OK;) {
        QByteArray data(archive_entry_size(e), '\0');
        if (archive_read_data(reader.get(), data.data(), size_t(data.size())) != data.size()) {
            break;
        }
        members.append({archive_entry_pathname(e),
                        data,
                        QStringLiteral("%1 %2 %3 %4")
                            .arg(archive_entry_mode(e), 0, 8)
                            .arg(archive_entry_mtime(e))
                            .arg(archive_entry_uid(e))
                            .arg(archive_entry_gid(e))
                            .toLatin1()});
    }
    return members;
}

/// Archives written by libarchive: a tar (ustar) of (name, data, name, data, ...) ended
/// by its two zero blocks, or the data of one member alone; gzip-compressed if told so.
inline QByteArray writeArchive(const QByteArrayList& namesAndData, bool tar = true, bool compressed = true)
{
    QByteArray out;
    const std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
    archive_write_add_filter(writer.get(), compressed ? ARCHIVE_FILTER_GZIP : ARCHIVE_FILTER_NONE);
    tar ? archive_write_set_format_ustar(writer.get()) : archive_write_set_format_raw(writer.get());
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    const auto append = [](archive*, void* out, const void* data, size_t size) -> la_ssize_t {
        static_cast<QByteArray*>(out)->append(static_cast<const char*>(data), qsizetype(size));
        return la_ssize_t(size);
    };
    archive_write_open(writer.get(), &out, nullptr, append, nullptr);
    for (int i = 0; i + 1 < namesAndData.size(); i += 2) {
        const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), namesAndData.at(i).constData());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), namesAndData.at(i + 1).size());
        archive_write_header(writer.get(), entry.get());
        archive_write_data(writer.get(), namesAndData.at(i + 1).constData(), size_t(namesAndData.at(i + 1).size()));
    }
    archive_write_close(writer.get());
    return out;
}

inline QByteArray gzip(const QByteArray& raw)
{
    return writeArchive({"raw", raw}, false);
}

/// The decompressed stream of a gzip file.
inline QByteArray gunzip(const QByteArray& bytes)
{
    const std::unique_ptr<archive, int (*)(archive*)> reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_raw(reader.get());
    archive_read_open_memory(reader.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
    archive_entry* e = nullptr;
    QByteArray out;
    char block[16384];
    if (archive_read_next_header(reader.get(), &e) == ARCHIVE_OK) {
        for (la_ssize_t n; (n = archive_read_data(reader.get(), block, sizeof block)) > 0;) {
            out.append(block, n);
        }
    }
    return out;
}

/// An uncompressed tar without the end-of-archive blocks, to which a test can add more.
inline QByteArray openTar(const QByteArrayList& namesAndData)
{
    return writeArchive(namesAndData, true, false).chopped(1024);
}

/// A ustar header block for a regular file that claims `size` bytes of data.
inline QByteArray tarHeader(const QByteArray& name, qint64 size)
{
    return openTar({name, QByteArray(size, '\0')}).left(512);
}

/// Generated definitions to save, children of the library; the first take `names` if given.
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
