#include "GzipWriter.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>

namespace {

// Large enough that handing a chunk over costs nothing next to deflating it, small
// enough that the queue holds little: at most MaxQueuedChunks wait.
constexpr qsizetype ChunkSize = 256 * 1024;
constexpr size_t MaxQueuedChunks = 8;
constexpr qsizetype OutputSize = 64 * 1024;
// As libarchive sets them up: zlib's default level, a raw stream (gzip frames it), the
// widest window and the default memory level and strategy.
constexpr int WindowBits = -15;
constexpr int MemoryLevel = 8;
constexpr unsigned char GzipMagic1 = 0x1f;
constexpr unsigned char GzipMagic2 = 0x8b;
constexpr unsigned char DeflateMethod = 8;
constexpr unsigned char UnixSystem = 3;
constexpr int HeaderSize = 10;
constexpr int TimeOffset = 4;
constexpr int SystemOffset = 9;
constexpr int TrailerSize = 8;

/// `value` as four bytes, least significant first, at `out`.
void putLittleEndian(unsigned char* out, quint32 value)
{
    for (size_t i = 0; i < sizeof(value); ++i) {
        out[i] = static_cast<unsigned char>(value >> (CHAR_BIT * i));
    }
}

} // namespace

struct GzipWriter::Stream
{
    Stream()
    {
        ready
            = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WindowBits, MemoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Stream()
    {
        if (ready) {
            deflateEnd(&z);
        }
    }
    z_stream z {};
    bool ready = false;
    QByteArray out = QByteArray(OutputSize, Qt::Uninitialized);
};

GzipWriter::GzipWriter(QIODevice* device)
    : m_device(device), m_crc(static_cast<quint32>(crc32(0, nullptr, 0))), m_stream(std::make_unique<Stream>())
{
    m_filling.reserve(ChunkSize);
    m_thread = std::thread(&GzipWriter::compress, this);
}

GzipWriter::~GzipWriter()
{
    if (!m_thread.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_queue.clear();
        m_closing = true;
        m_abandoned = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool GzipWriter::write(const char* data, qsizetype size)
{
    m_crc = static_cast<quint32>(crc32_z(m_crc, reinterpret_cast<const Bytef*>(data), static_cast<size_t>(size)));
    // The trailer holds the length modulo 2^32, as gzip defines it.
    m_length += static_cast<quint32>(size);
    while (size > 0) {
        const qsizetype taken = std::min(size, ChunkSize - m_filling.size());
        m_filling.append(data, taken);
        data += taken;
        size -= taken;
        if (m_filling.size() == ChunkSize && !queueChunk(false)) {
            return false;
        }
    }
    return true;
}

bool GzipWriter::queueChunk(bool closing)
{
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.size() < MaxQueuedChunks || !m_error.isEmpty(); });
        if (!m_error.isEmpty()) {
            return false;
        }
        m_queue.push_back(std::move(m_filling));
        m_closing = closing;
    }
    m_changed.notify_all();
    m_filling = QByteArray();
    m_filling.reserve(ChunkSize);
    return true;
}

bool GzipWriter::finish()
{
    const bool queued = queueChunk(true);
    m_thread.join();
    if (!queued || !errorString().isEmpty()) {
        return false;
    }
    std::array<unsigned char, TrailerSize> trailer;
    putLittleEndian(trailer.data(), m_crc);
    putLittleEndian(trailer.data() + sizeof(m_crc), m_length);
    if (!writeOut(reinterpret_cast<const char*>(trailer.data()), TrailerSize)) {
        m_error = m_device->errorString();
        return false;
    }
    return true;
}

QString GzipWriter::errorString() const
{
    const std::lock_guard lock(m_mutex);
    return m_error;
}

void GzipWriter::compress()
{
    // libarchive's header: no flags, the time of writing, no extra flags (default level).
    std::array<unsigned char, HeaderSize> header {GzipMagic1, GzipMagic2, DeflateMethod, 0};
    putLittleEndian(header.data() + TimeOffset, static_cast<quint32>(std::time(nullptr)));
    header[SystemOffset] = UnixSystem;
    bool ok = m_stream->ready && writeOut(reinterpret_cast<const char*>(header.data()), HeaderSize);
    bool last = false;
    while (ok && !last) {
        QByteArray chunk;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_closing; });
            if (m_abandoned) {
                return;
            }
            if (!m_queue.empty()) {
                chunk = std::move(m_queue.front());
                m_queue.pop_front();
            }
            last = m_closing && m_queue.empty();
        }
        m_changed.notify_all();
        ok = deflateChunk(chunk, last);
    }
    if (!ok) {
        const QString error = m_stream->ready ? m_device->errorString() : QStringLiteral("Out of memory.");
        {
            const std::lock_guard lock(m_mutex);
            m_error = error.isEmpty() ? QStringLiteral("Write error.") : error;
        }
        m_changed.notify_all();
    }
}

bool GzipWriter::deflateChunk(const QByteArray& chunk, bool last)
{
    z_stream& z = m_stream->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.constData()));
    z.avail_in = static_cast<uInt>(chunk.size());
    // zlib has taken all the input once it leaves room in the output.
    do {
        z.next_out = reinterpret_cast<Bytef*>(m_stream->out.data());
        z.avail_out = static_cast<uInt>(OutputSize);
        if (deflate(&z, last ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_ERROR) {
            return false;
        }
        const qsizetype produced = OutputSize - static_cast<qsizetype>(z.avail_out);
        if (produced > 0 && !writeOut(m_stream->out.constData(), produced)) {
            return false;
        }
    } while (z.avail_out == 0);
    return true;
}

bool GzipWriter::writeOut(const char* data, qsizetype size)
{
    return m_device->write(data, size) == size;
}
