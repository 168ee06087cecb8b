#include "ArchiveBytes.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstring>
#include <memory>

namespace {

struct ReadFree
{
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree
{
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree
{
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

la_ssize_t appendToArray(archive*, void* clientData, const void* buffer, size_t length)
{
    static_cast<QByteArray*>(clientData)->append(static_cast<const char*>(buffer), static_cast<qsizetype>(length));
    return static_cast<la_ssize_t>(length);
}

} // namespace

QList<Member> listMembers(const QByteArray& bytes, int* format)
{
    QList<Member> members;
    std::unique_ptr<archive, ReadFree> reader(archive_read_new());
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.constData(), static_cast<size_t>(bytes.size())) != ARCHIVE_OK) {
        return members;
    }
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        Member member;
        member.path = archive_entry_pathname(entry);
        member.fileType = static_cast<int>(archive_entry_filetype(entry));
        member.permissions = static_cast<int>(archive_entry_perm(entry));
        member.mtime = archive_entry_mtime(entry);
        member.uid = archive_entry_uid(entry);
        member.gid = archive_entry_gid(entry);
        member.data.resize(archive_entry_size(entry));
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

QStringList memberPaths(const QByteArray& bytes)
{
    QStringList paths;
    for (const Member& member : listMembers(bytes)) {
        paths.append(QString::fromLatin1(member.path));
    }
    return paths;
}

QByteArray makeArchive(const QByteArrayList& namesAndData, bool compressed)
{
    QByteArray out;
    std::unique_ptr<archive, WriteFree> writer(archive_write_new());
    if (compressed) {
        archive_write_add_filter_gzip(writer.get());
    }
    archive_write_set_format_pax_restricted(writer.get());
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    archive_write_open(writer.get(), &out, nullptr, appendToArray, nullptr);
    for (int i = 0; i + 1 < namesAndData.size(); i += 2) {
        std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), namesAndData.at(i).constData());
        archive_entry_set_size(entry.get(), namesAndData.at(i + 1).size());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_write_header(writer.get(), entry.get());
        archive_write_data(writer.get(), namesAndData.at(i + 1).constData(), namesAndData.at(i + 1).size());
    }
    archive_write_close(writer.get());
    return out;
}

QByteArray gzip(const QByteArray& raw)
{
    QByteArray out;
    std::unique_ptr<archive, WriteFree> writer(archive_write_new());
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_format_raw(writer.get());
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    archive_write_open(writer.get(), &out, nullptr, appendToArray, nullptr);
    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_size(entry.get(), raw.size());
    archive_write_header(writer.get(), entry.get());
    archive_write_data(writer.get(), raw.constData(), static_cast<size_t>(raw.size()));
    archive_write_close(writer.get());
    return out;
}

QByteArray tarHeader(const QByteArray& name, qint64 size)
{
    QByteArray header(512, '\0');
    auto put = [&header](int offset, const QByteArray& field) {
        std::memcpy(header.data() + offset, field.constData(), static_cast<size_t>(field.size()));
    };
    put(0, name.left(100));
    put(100, "0000644");
    put(108, "0000000");
    put(116, "0000000");
    put(124, QByteArray::number(size, 8).rightJustified(11, '0'));
    put(136, "00000000000");
    put(148, "        ");
    header[156] = '0';
    put(257,
        QByteArray("ustar\0"
                   "00",
                   8));
    unsigned sum = 0;
    for (const char c : std::as_const(header)) {
        sum += static_cast<unsigned char>(c);
    }
    put(148, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
    return header;
}

QByteArray tarMember(const QByteArray& name, const QByteArray& data)
{
    QByteArray member = tarHeader(name, data.size()) + data;
    member.append(QByteArray((512 - data.size() % 512) % 512, '\0'));
    return member;
}

QByteArray endOfTar()
{
    return QByteArray(1024, '\0');
}
