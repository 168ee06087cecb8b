#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QIODevice;

/// Compresses a byte stream into one gzip member and writes it to a device, deflating on
/// every core beside whatever produces the stream (deflate is most of a library save).
///
/// A thread of its own deflates the stream as it arrives, as one zlib stream at the
/// default level and memory level: a stream of at most two blocks (BlockSize each) comes
/// out as the member libarchive's gzip filter writes. A longer one is cut after its first
/// block, which ends on a byte boundary, and the rest into blocks of BlockSize that threads
/// deflate at the same level, each primed with the 32 KiB before it and ended on a byte
/// boundary, so that their output joins into one deflate stream that any reader inflates
/// in one pass; the blocks and hence the bytes do not depend on the number of threads or
/// their timing. write() and finish() belong to one thread, the only one that touches the
/// device.
class GzipWriter
{
public:
    /// The uncompressed bytes each thread deflates at a time. Every cut costs a few dozen
    /// bytes of output; blocks this long win them back through the larger memory level.
    static constexpr qsizetype BlockSize = 4 * 1024 * 1024;

    /// Nothing is written before the stream grows past two blocks or finish() is called.
    explicit GzipWriter(QIODevice* device);
    /// Stops the threads; a member not finished stays incomplete on the device.
    ~GzipWriter();

    GzipWriter(const GzipWriter&) = delete;
    GzipWriter& operator=(const GzipWriter&) = delete;

    /// Queues `size` bytes for compression, writing the blocks deflated so far. False once
    /// compressing or writing has failed; the bytes are then dropped.
    bool write(const char* data, qsizetype size);
    /// Compresses what is left, writes it and the trailer and stops the threads. True when
    /// every byte reached the device.
    bool finish();

    /// Why compressing or writing failed; empty while neither has.
    QString errorString() const;

private:
    struct Block;
    struct Deflater;
    enum class FirstBlockEnd { Open, Last, Cut };

    /// Starts the thread that deflates the first block while it fills.
    bool startStream();
    /// Hands the bytes of the first block written so far to its thread.
    bool publish();
    void streamFirstBlock(Block* block, Deflater* first, Deflater* next);
    /// Goes on from a full block to the next.
    bool nextBlock();
    /// Ends the first block on a byte boundary after the header, and starts the threads
    /// for the blocks after it.
    bool cutFirstBlock();
    /// Ends the stream of at most two blocks, after the header.
    bool finishFirstBlock();
    /// Hands the filled block to the threads.
    bool queueBlock(bool last);
    bool startThreads();
    void stopThreads();
    void deflateBlocks(Deflater* deflater);
    /// Deflates the block waiting longest, `wait`ing for one if told. False once there is
    /// none to deflate or deflating failed.
    bool deflateNext(Deflater* deflater, bool wait);
    /// Writes the deflated blocks at the front in order, waiting until at most `keep`
    /// blocks are still being deflated or waiting for it.
    bool writeDeflated(size_t keep);
    bool writeHeader();
    bool writeTrailer();
    bool writeOut(const QByteArray& bytes);
    /// Keeps the first error and wakes whoever waits; always false.
    bool fail(const QString& error);

    QIODevice* m_device;
    QByteArray m_filling; // BlockSize long, of which m_filled bytes are the stream's
    qsizetype m_filled = 0;
    Block* m_first = nullptr; // while its thread deflates it as it fills
    bool m_held = false; // the first block is full, the stream not yet long enough to cut it
    bool m_cut = false; // the first block has been cut from the rest
    const char* m_firstData = nullptr; // the first block's bytes, set before its thread starts
    QByteArray m_previousEnd; // the dictionary of the next block
    QByteArray m_spareInput; // a written block's, to fill again
    QByteArray m_spareOutput; // a written block's, to deflate into again
    quint32 m_crc;
    quint32 m_length = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Block>> m_blocks; // in stream order; guarded by m_mutex, as are the seven below
    std::deque<Block*> m_waiting; // not yet taken by a thread
    qsizetype m_published = 0; // bytes of the first block its thread may read
    FirstBlockEnd m_firstEnd = FirstBlockEnd::Open;
    const char* m_tail = nullptr; // of a stream of two blocks at most, deflated with the first
    qsizetype m_tailLength = 0;
    bool m_stopping = false;
    QString m_error;
    std::vector<std::unique_ptr<Deflater>> m_deflaters; // the threads', two for the first block's
    std::vector<std::thread> m_threads; // the first block's first
};
