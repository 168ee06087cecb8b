#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class QIODevice;

/// Compresses a byte stream into one gzip member on a thread of its own and writes it
/// to a device, so that deflate (most of a library save) runs beside whatever produces
/// the stream instead of after it.
///
/// The member is the one libarchive's gzip filter writes at its default level: the same
/// header (time stamp, no name, Unix), the same raw deflate stream and trailer, so files
/// come out as before. write() and finish() belong to one thread; the device is touched
/// only by the compressor until finish() returns.
class GzipWriter
{
public:
    /// Starts the compressor; nothing is written before the first write().
    explicit GzipWriter(QIODevice* device);
    /// Stops the compressor; a member not finished stays incomplete on the device.
    ~GzipWriter();

    GzipWriter(const GzipWriter&) = delete;
    GzipWriter& operator=(const GzipWriter&) = delete;

    /// Queues `size` bytes for compression. False once the compressor has failed (the
    /// device refused a write); the bytes are then dropped.
    bool write(const char* data, qsizetype size);
    /// Compresses what is queued, writes the trailer and waits for the compressor.
    /// True when every byte reached the device.
    bool finish();

    /// Why the compressor failed; empty while it has not.
    QString errorString() const;

private:
    /// Hands the filled chunk to the compressor, waiting for room; `closing` marks it last.
    bool queueChunk(bool closing);
    void compress();
    bool deflateChunk(const QByteArray& chunk, bool last);
    bool writeOut(const char* data, qsizetype size);

    QIODevice* m_device;
    QByteArray m_filling;
    quint32 m_crc;
    quint32 m_length = 0;
    struct Stream;
    std::unique_ptr<Stream> m_stream;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_queue; // guarded by m_mutex, as are the three below
    bool m_closing = false;
    bool m_abandoned = false;
    QString m_error;
    std::thread m_thread;
};
