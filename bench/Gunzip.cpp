#include "Gunzip.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

// The block size the library reader uses, so both read the file the same way.
constexpr size_t ReadBlockSize = 16384;
constexpr qsizetype OutputChunk = 1024 * 1024;

struct ReadDeleter
{
    void operator()(archive* a) const { archive_read_free(a); }
};
using ReadHandle = std::unique_ptr<archive, ReadDeleter>;

QString archiveError(archive* a)
{
    const char* text = archive_error_string(a);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

} // namespace

namespace Gunzip {

bool readFile(const QString& path, QByteArray& data, QString& error)
{
    data.clear();
    ReadHandle reader(archive_read_new());
    if (!reader) {
        error = QStringLiteral("out of memory");
        return false;
    }
    // The raw format hands out the decompressed stream as a single entry.
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_raw(reader.get());
    const QByteArray name = QFile::encodeName(path);
    if (archive_read_open_filename(reader.get(), name.constData(), ReadBlockSize) != ARCHIVE_OK) {
        error = archiveError(reader.get());
        return false;
    }
    archive_entry* entry = nullptr;
    if (archive_read_next_header(reader.get(), &entry) != ARCHIVE_OK) {
        error = archiveError(reader.get());
        return false;
    }
    qsizetype used = 0;
    for (;;) {
        if (data.size() - used < OutputChunk) {
            data.resize(data.size() + OutputChunk);
        }
        const la_ssize_t n
            = archive_read_data(reader.get(), data.data() + used, static_cast<size_t>(data.size() - used));
        if (n < 0) {
            error = archiveError(reader.get());
            return false;
        }
        if (n == 0) {
            break;
        }
        used += n;
    }
    data.truncate(used);
    return true;
}

} // namespace Gunzip
