#include "GzipWriter.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>
#include <new>
#include <system_error>

namespace {

// Deflate reaches back at most 32 KiB; a block primed with as much loses no match.
constexpr qsizetype DictionarySize = 32 * 1024;
// CRC and deflate take a block in slices that stay in the cache between the two.
constexpr qsizetype SliceSize = 64 * 1024;
// Output grows by this much while a block is deflated.
constexpr qsizetype OutputStep = 64 * 1024;
// Room for the output of a block of library content (it shrinks about 25 times), taken
// before a thread deflates it: see deflateBlocks().
constexpr qsizetype OutputRoom = GzipWriter::BlockSize / 8;
// More threads than this only hold more blocks in memory: a large library has a few dozen.
constexpr unsigned MaxThreads = 8;
// Blocks queued beyond one per thread, so a thread that finishes finds the next one ready.
constexpr size_t SpareBlocks = 1;
// As libarchive sets them up: zlib's default level, a raw stream (gzip frames it), the
// widest window and the default strategy. A stream of one block keeps libarchive's memory
// level, so small libraries come out as they always did; blocks use the largest, whose
// longer Huffman blocks win back what each cut between blocks costs.
constexpr int WindowBits = -15;
constexpr int OneBlockMemoryLevel = 8;
constexpr int BlocksMemoryLevel = 9;
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

QString outOfMemory()
{
    return QStringLiteral("Out of memory.");
}

} // namespace

/// A raw deflate stream at the default level, released with its owner.
struct GzipWriter::Deflater
{
    explicit Deflater(int memoryLevel)
    {
        ready
            = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WindowBits, memoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater()
    {
        if (ready) {
            deflateEnd(&z);
        }
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    /// Appends `input`, deflated as if `dictionary` came right before it, to `output` and
    /// sets `crc` to the input's CRC-32. The last block ends the stream; any other ends on
    /// a byte boundary with an empty stored block that does not end it, so the next
    /// block's output can follow it.
    bool
    deflateBlock(const QByteArray& dictionary, const QByteArray& input, bool last, QByteArray& output, quint32& crc)
    {
        if (!ready || deflateReset(&z) != Z_OK
            || (!dictionary.isEmpty()
                && deflateSetDictionary(
                       &z, reinterpret_cast<const Bytef*>(dictionary.constData()), static_cast<uInt>(dictionary.size()))
                    != Z_OK)) {
            return false;
        }
        uLong sum = crc32(0, nullptr, 0);
        const auto* data = reinterpret_cast<const Bytef*>(input.constData());
        qsizetype done = 0;
        bool deflated = true;
        // Slice by slice, so that deflate reads what the CRC has just brought into the cache.
        do {
            const qsizetype slice = std::min(SliceSize, input.size() - done);
            sum = crc32_z(sum, data + done, static_cast<size_t>(slice));
            z.next_in = const_cast<Bytef*>(data + done);
            z.avail_in = static_cast<uInt>(slice);
            done += slice;
            const bool final = done == input.size();
            deflated = deflateSlice(final ? (last ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH, output);
        } while (deflated && done < input.size());
        crc = static_cast<quint32>(sum);
        return deflated;
    }

    bool deflateSlice(int flush, QByteArray& output)
    {
        int result = Z_OK;
        // zlib has taken the whole slice, and done the flush, once it leaves room in the output.
        do {
            const qsizetype used = output.size();
            output.resize(used + OutputStep);
            z.next_out = reinterpret_cast<Bytef*>(output.data() + used);
            z.avail_out = static_cast<uInt>(OutputStep);
            result = deflate(&z, flush);
            output.resize(output.size() - static_cast<qsizetype>(z.avail_out));
        } while (z.avail_out == 0 && result != Z_STREAM_ERROR);
        return flush == Z_FINISH ? result == Z_STREAM_END : result != Z_STREAM_ERROR && z.avail_in == 0;
    }

    z_stream z {};
    bool ready = false;
};

struct GzipWriter::Block
{
    QByteArray dictionary; // the end of the block before, empty for the first
    QByteArray input; // filled again once written
    qsizetype length = 0;
    bool last = false;
    quint32 crc = 0;
    QByteArray output;
    bool deflated = false; // guarded by m_mutex
};

GzipWriter::GzipWriter(QIODevice* device) : m_device(device), m_crc(static_cast<quint32>(crc32(0, nullptr, 0)))
{
    m_filling.reserve(BlockSize);
}

GzipWriter::~GzipWriter()
{
    stopThreads();
}

bool GzipWriter::write(const char* data, qsizetype size)
{
    // The trailer holds the length modulo 2^32, as gzip defines it.
    m_length += static_cast<quint32>(size);
    while (size > 0) {
        // A full block waits for more data, so that the last block is never empty.
        if (m_filling.size() == BlockSize && !queueBlock(false)) {
            return false;
        }
        const qsizetype taken = std::min(size, BlockSize - m_filling.size());
        m_filling.append(data, taken);
        data += taken;
        size -= taken;
    }
    return true;
}

bool GzipWriter::finish()
{
    if (m_threads.empty()) {
        return finishAlone();
    }
    if (!queueBlock(true)) {
        return false;
    }
    // Nothing is left to produce: rather than wait, this thread deflates what still waits,
    // so that no core idles while one thread deflates the last block.
    Deflater deflater(BlocksMemoryLevel);
    while (deflateNext(&deflater, false)) { }
    if (!writeDeflated(0)) {
        return false;
    }
    stopThreads();
    return writeTrailer();
}

QString GzipWriter::errorString() const
{
    const std::lock_guard lock(m_mutex);
    return m_error;
}

bool GzipWriter::finishAlone()
{
    Deflater deflater(OneBlockMemoryLevel);
    QByteArray output;
    if (!deflater.deflateBlock({}, m_filling, true, output, m_crc)) {
        return fail(outOfMemory());
    }
    return writeHeader() && writeOut(output) && writeTrailer();
}

bool GzipWriter::queueBlock(bool last)
{
    if (m_threads.empty() && !startThreads()) {
        return false;
    }
    if (!writeDeflated(m_threads.size() + SpareBlocks - 1)) {
        return false;
    }
    auto block = std::make_unique<Block>();
    block->dictionary = m_previousEnd;
    block->length = m_filling.size();
    block->last = last;
    if (!last) {
        m_previousEnd = m_filling.right(DictionarySize);
    }
    block->input = std::move(m_filling);
    m_filling = std::move(m_spareInput);
    m_spareInput = QByteArray();
    block->output = std::move(m_spareOutput);
    m_spareOutput = QByteArray();
    block->output.resize(0);
    block->output.reserve(OutputRoom);
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.push_back(block.get());
        m_blocks.push_back(std::move(block));
    }
    m_changed.notify_all();
    if (!last) {
        m_filling.resize(0);
        m_filling.reserve(BlockSize);
    }
    return true;
}

bool GzipWriter::startThreads()
{
    if (!writeHeader()) {
        return false;
    }
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1U, MaxThreads);
    try {
        while (m_threads.size() < count) {
            m_deflaters.push_back(std::make_unique<Deflater>(BlocksMemoryLevel));
            m_threads.emplace_back(&GzipWriter::deflateBlocks, this, m_deflaters.back().get());
        }
    } catch (const std::system_error&) {
        // Fewer threads only take longer.
    }
    return !m_threads.empty() || fail(QStringLiteral("The compressor could not start."));
}

void GzipWriter::stopThreads()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_waiting.clear();
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
    m_deflaters.clear();
}

void GzipWriter::deflateBlocks(Deflater* deflater)
{
    // The deflate state and the room for the output come from the saving thread: memory
    // taken here would come from a heap of this thread's own, which glibc may first tidy
    // of whatever others freed into it (a library closed before, say).
    while (deflateNext(deflater, true)) { }
}

bool GzipWriter::deflateNext(Deflater* deflater, bool wait)
{
    Block* block = nullptr;
    {
        std::unique_lock lock(m_mutex);
        if (wait) {
            m_changed.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
        }
        if (m_stopping || m_waiting.empty()) {
            return false;
        }
        block = m_waiting.front();
        m_waiting.pop_front();
    }
    bool deflated = false;
    try {
        deflated = deflater->deflateBlock(block->dictionary, block->input, block->last, block->output, block->crc);
    } catch (const std::bad_alloc&) {
        deflated = false;
    }
    if (!deflated) {
        return fail(outOfMemory());
    }
    {
        const std::lock_guard lock(m_mutex);
        block->deflated = true;
    }
    m_changed.notify_all();
    return true;
}

bool GzipWriter::writeDeflated(size_t keep)
{
    for (;;) {
        std::unique_ptr<Block> block;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock,
                           [&] { return !m_error.isEmpty() || m_blocks.size() <= keep || m_blocks.front()->deflated; });
            if (!m_error.isEmpty()) {
                return false;
            }
            if (m_blocks.empty() || !m_blocks.front()->deflated) {
                return true;
            }
            block = std::move(m_blocks.front());
            m_blocks.pop_front();
        }
        m_crc = static_cast<quint32>(crc32_combine(m_crc, block->crc, static_cast<z_off_t>(block->length)));
        if (!writeOut(block->output)) {
            return false;
        }
        // Fresh memory for every block would cost a page fault every 4 KiB.
        m_spareInput = std::move(block->input);
        m_spareOutput = std::move(block->output);
    }
}

bool GzipWriter::writeHeader()
{
    // libarchive's header: no flags, the time of writing, no extra flags (default level).
    std::array<unsigned char, HeaderSize> header {GzipMagic1, GzipMagic2, DeflateMethod, 0};
    putLittleEndian(header.data() + TimeOffset, static_cast<quint32>(std::time(nullptr)));
    header[SystemOffset] = UnixSystem;
    return writeOut(QByteArray(reinterpret_cast<const char*>(header.data()), HeaderSize));
}

bool GzipWriter::writeTrailer()
{
    std::array<unsigned char, TrailerSize> trailer;
    putLittleEndian(trailer.data(), m_crc);
    putLittleEndian(trailer.data() + sizeof(m_crc), m_length);
    return writeOut(QByteArray(reinterpret_cast<const char*>(trailer.data()), TrailerSize));
}

bool GzipWriter::writeOut(const QByteArray& bytes)
{
    if (m_device->write(bytes) == bytes.size()) {
        return true;
    }
    const QString error = m_device->errorString();
    return fail(error.isEmpty() ? QStringLiteral("Write error.") : error);
}

bool GzipWriter::fail(const QString& error)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_error.isEmpty()) {
            m_error = error;
        }
    }
    m_changed.notify_all();
    return false;
}
