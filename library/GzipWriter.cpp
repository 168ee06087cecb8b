#include "GzipWriter.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
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

    /// Starts a stream deflated as if `dictionary` came right before it.
    bool begin(const QByteArray& dictionary)
    {
        sum = crc32(0, nullptr, 0);
        return ready && deflateReset(&z) == Z_OK
            && (dictionary.isEmpty()
                || deflateSetDictionary(
                       &z, reinterpret_cast<const Bytef*>(dictionary.constData()), static_cast<uInt>(dictionary.size()))
                    == Z_OK);
    }

    /// Appends `size` bytes at `input`, deflated, to `output`, ending with `flush`, and
    /// adds them to the CRC-32 of the stream.
    bool take(const char* input, qsizetype size, int flush, QByteArray& output)
    {
        qsizetype done = 0;
        bool deflated = true;
        // Slice by slice, so that deflate reads what the CRC has just brought into the cache.
        do {
            const qsizetype slice = std::min(SliceSize, size - done);
            const auto* data = reinterpret_cast<const Bytef*>(input + done);
            sum = crc32_z(sum, data, static_cast<size_t>(slice));
            z.next_in = const_cast<Bytef*>(data);
            z.avail_in = static_cast<uInt>(slice);
            done += slice;
            deflated = deflateSlice(done == size ? flush : Z_NO_FLUSH, output);
        } while (deflated && done < size);
        return deflated;
    }

    /// Appends the first `length` bytes of `input`, deflated as if `dictionary` came right
    /// before them, to `output`. The last block ends the stream; any other ends on a byte
    /// boundary with an empty stored block that does not end it, so the next block's
    /// output can follow it.
    bool
    deflateBlock(const QByteArray& dictionary, const QByteArray& input, qsizetype length, bool last, QByteArray& output)
    {
        return begin(dictionary) && take(input.constData(), length, last ? Z_FINISH : Z_SYNC_FLUSH, output);
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
    uLong sum = 0; // the CRC-32 of what was taken since begin()
    bool ready = false;
};

struct GzipWriter::Block
{
    QByteArray dictionary; // the end of the block before, empty for the first
    QByteArray input; // BlockSize long, filled again once written
    qsizetype length = 0;
    bool last = false;
    quint32 crc = 0;
    QByteArray output;
    bool deflated = false; // guarded by m_mutex
};

GzipWriter::GzipWriter(QIODevice* device)
    : m_device(device), m_filling(BlockSize, Qt::Uninitialized), m_crc(static_cast<quint32>(crc32(0, nullptr, 0)))
{
}

GzipWriter::~GzipWriter()
{
    stopThreads();
}

bool GzipWriter::write(const char* data, qsizetype size)
{
    if (!m_firstData && !startStream()) {
        return false;
    }
    // The trailer holds the length modulo 2^32, as gzip defines it.
    m_length += static_cast<quint32>(size);
    while (size > 0) {
        // A full block waits for more data, so that the last block is never empty.
        if (m_filled == BlockSize && !nextBlock()) {
            return false;
        }
        const qsizetype taken = std::min(size, BlockSize - m_filled);
        std::memcpy(m_filling.data() + m_filled, data, static_cast<size_t>(taken));
        m_filled += taken;
        data += taken;
        size -= taken;
    }
    // Handed over a slice at a time: waking the thread for every tar header costs more.
    return !m_first || m_held || m_filled - m_published < SliceSize || publish();
}

bool GzipWriter::finish()
{
    if (!m_firstData && !startStream()) {
        return false;
    }
    if (!(m_first ? finishFirstBlock() : queueBlock(true))) {
        return false;
    }
    if (m_cut) {
        // Nothing is left to produce: rather than wait, this thread deflates what still
        // waits, so that no core idles while one thread deflates the last block.
        Deflater deflater(BlocksMemoryLevel);
        while (deflateNext(&deflater, false)) { }
    }
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

bool GzipWriter::startStream()
{
    auto first = std::make_unique<Block>();
    first->output.reserve(OutputRoom);
    m_first = first.get();
    m_blocks.push_back(std::move(first));
    m_firstData = m_filling.constData();
    // The blocks' memory level for the thread once the first block is done, should it go on.
    m_deflaters.push_back(std::make_unique<Deflater>(OneBlockMemoryLevel));
    m_deflaters.push_back(std::make_unique<Deflater>(BlocksMemoryLevel));
    try {
        m_threads.emplace_back(
            &GzipWriter::streamFirstBlock, this, m_first, m_deflaters.at(0).get(), m_deflaters.at(1).get());
    } catch (const std::system_error&) {
        return fail(QStringLiteral("The compressor could not start."));
    }
    return true;
}

bool GzipWriter::publish()
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_error.isEmpty()) {
            return false;
        }
        m_published = m_filled;
    }
    m_changed.notify_all();
    return true;
}

void GzipWriter::streamFirstBlock(Block* block, Deflater* first, Deflater* next)
{
    if (!first->begin({})) {
        fail(outOfMemory());
        return;
    }
    qsizetype done = 0;
    FirstBlockEnd end = FirstBlockEnd::Open;
    while (end == FirstBlockEnd::Open) {
        qsizetype ready = 0;
        const char* tail = nullptr;
        qsizetype tailLength = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping || m_published > done || m_firstEnd != FirstBlockEnd::Open; });
            if (m_stopping) {
                return;
            }
            ready = m_published;
            end = m_firstEnd;
            tail = m_tail;
            tailLength = m_tailLength;
        }
        // No flush before the end: the bytes are those of one pass over the whole stream,
        // however its pieces arrived.
        const int flush = end == FirstBlockEnd::Open || tailLength > 0
            ? Z_NO_FLUSH
            : (end == FirstBlockEnd::Last ? Z_FINISH : Z_SYNC_FLUSH);
        bool deflated = false;
        try {
            deflated = (ready == done && flush == Z_NO_FLUSH)
                || first->take(m_firstData + done, ready - done, flush, block->output);
            deflated = deflated && (tailLength == 0 || first->take(tail, tailLength, Z_FINISH, block->output));
        } catch (const std::bad_alloc&) {
            deflated = false;
        }
        if (!deflated) {
            fail(outOfMemory());
            return;
        }
        done = ready;
    }
    {
        const std::lock_guard lock(m_mutex);
        block->crc = static_cast<quint32>(first->sum);
        block->deflated = true;
    }
    m_changed.notify_all();
    if (end == FirstBlockEnd::Cut) {
        deflateBlocks(next);
    }
}

bool GzipWriter::nextBlock()
{
    if (!m_first) {
        return queueBlock(false);
    }
    if (m_held) {
        return cutFirstBlock() && queueBlock(false);
    }
    // The first block is all with its thread; the next is held back until the stream is
    // long enough to cut after the first.
    if (!publish()) {
        return false;
    }
    m_held = true;
    m_previousEnd = m_filling.right(DictionarySize);
    // Its thread reads the bytes where they are; the array only takes them over.
    m_first->input = std::move(m_filling);
    m_filling = QByteArray(BlockSize, Qt::Uninitialized);
    m_filled = 0;
    return true;
}

bool GzipWriter::cutFirstBlock()
{
    Block* first = m_first;
    m_first = nullptr;
    m_cut = true;
    first->length = BlockSize;
    if (!writeHeader()) {
        return false;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_firstEnd = FirstBlockEnd::Cut;
    }
    m_changed.notify_all();
    return startThreads();
}

bool GzipWriter::finishFirstBlock()
{
    Block* first = m_first;
    m_first = nullptr;
    first->length = (m_held ? BlockSize : 0) + m_filled;
    first->last = true;
    if (!writeHeader()) {
        return false;
    }
    {
        const std::lock_guard lock(m_mutex);
        if (m_held) {
            m_tail = m_filling.constData();
            m_tailLength = m_filled;
        } else {
            m_published = m_filled;
        }
        m_firstEnd = FirstBlockEnd::Last;
    }
    m_changed.notify_all();
    return true;
}

bool GzipWriter::queueBlock(bool last)
{
    if (!writeDeflated(m_threads.size() + SpareBlocks - 1)) {
        return false;
    }
    auto block = std::make_unique<Block>();
    block->dictionary = m_previousEnd;
    block->length = m_filled;
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
        m_filling.resize(BlockSize);
        m_filled = 0;
    }
    return true;
}

bool GzipWriter::startThreads()
{
    // The first block's thread is one of them.
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
        deflated = deflater->deflateBlock(block->dictionary, block->input, block->length, block->last, block->output);
    } catch (const std::bad_alloc&) {
        deflated = false;
    }
    if (!deflated) {
        return fail(outOfMemory());
    }
    {
        const std::lock_guard lock(m_mutex);
        block->crc = static_cast<quint32>(deflater->sum);
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
