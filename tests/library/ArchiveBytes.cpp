#include "ArchiveBytes.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

template <typename T, auto Free>
struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
using Reader = std::unique_ptr<archive, Deleter<archive, archive_read_free>>;
using Writer = std::unique_ptr<archive, Deleter<archive, archive_write_free>>;
using Entry = std::unique_ptr<archive_entry, Deleter<archive_entry, archive_entry_free>>;

la_ssize_t appendToArray(archive*, void* clientData, const void* buffer, size_t length)
{
    static_cast<QByteArray*>(clientData)->append(static_cast<const char*>(buffer), static_cast<qsizetype>(length));
    return static_cast<la_ssize_t>(length);
}

/// A writer into `out` with gzip; `format` sets the archive format on it.
Writer openWriter(QByteArray& out, bool compressed, int (*format)(archive*))
{
    Writer writer(archive_write_new());
    if (compressed) {
        archive_write_add_filter_gzip(writer.get());
    }
    format(writer.get());
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    archive_write_open(writer.get(), &out, nullptr, appendToArray, nullptr);
    return writer;
}

void writeEntry(archive* writer, const QByteArray& name, const QByteArray& data)
{
    const Entry entry(archive_entry_new());
    if (!name.isNull()) {
        archive_entry_set_pathname(entry.get(), name.constData());
        archive_entry_set_perm(entry.get(), 0644);
    }
    archive_entry_set_size(entry.get(), data.size());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_write_header(writer, entry.get());
    archive_write_data(writer, data.constData(), static_cast<size_t>(data.size()));
}

} // namespace

QList<Member> listMembers(const QByteArray& bytes, int* format)
{
    QList<Member> members;
    const Reader reader(archive_read_new());
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.constData(), static_cast<size_t>(bytes.size())) != ARCHIVE_OK) {
        return members;
    }
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        Member member {archive_entry_pathname(entry),
                       QByteArray(archive_entry_size(entry), '\0'),
                       archive_entry_filetype(entry),
                       archive_entry_perm(entry),
                       archive_entry_mtime(entry),
                       archive_entry_uid(entry),
                       archive_entry_gid(entry)};
        if (archive_read_data(reader.get(), member.data.data(), static_cast<size_t>(member.data.size()))
            != member.data.size()) {
            break;
        }
        members.append(member);
        if (format) {
            *format = archive_format(reader.get());
        }
    }
    return members;
}

QByteArray makeArchive(const QByteArrayList& namesAndData, bool compressed)
{
    QByteArray out;
    const Writer writer = openWriter(out, compressed, archive_write_set_format_pax_restricted);
    for (int i = 0; i + 1 < namesAndData.size(); i += 2) {
        writeEntry(writer.get(), namesAndData.at(i), namesAndData.at(i + 1));
    }
    archive_write_close(writer.get());
    return out;
}

QByteArray gzip(const QByteArray& raw)
{
    QByteArray out;
    const Writer writer = openWriter(out, true, archive_write_set_format_raw);
    writeEntry(writer.get(), QByteArray(), raw);
    archive_write_close(writer.get());
    return out;
}

QByteArray tarHeader(const QByteArray& name, qint64 size)
{
    QByteArray header(512, '\0');
    const auto put = [&header](int offset, const QByteArray& field) { header.replace(offset, field.size(), field); };
    put(0, name.left(100));
    put(100, "0000644 0000000 0000000 "); // mode, owner and group, each ended by a space
    put(124, QByteArray::number(size, 8).rightJustified(11, '0'));
    put(136, "00000000000");
    put(148, "        ");
    put(156, "0");
    put(257, QByteArray("ustar\00000", 8));
    unsigned sum = 0;
    for (const char c : std::as_const(header)) {
        sum += static_cast<unsigned char>(c);
    }
    put(148, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
    return header;
}

QByteArray tarMember(const QByteArray& name, const QByteArray& data)
{
    return tarHeader(name, data.size()) + data + QByteArray((512 - data.size() % 512) % 512, '\0');
}

QByteArray endOfTar()
{
    return QByteArray(1024, '\0');
}
