#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace korvane::KVP {

/// One KVU2 firmware update file (.kv2), read whole into memory and checked before anything
/// of it is sent to a device.
///
/// A file is a 1280-byte head (the 256-byte header block that travels to the device, then a
/// free area that never leaves the file) followed by the sectors. The sectors lie back to back
/// from offset 1280 without rounding, both for the checksum and for `sector()`, so the checksum
/// covers exactly the bytes that an update sends. Writers keep sector sizes at multiples of 256,
/// where rounding would change nothing.
///
/// A file shorter than its head or than the sector data its size table declares, with more than
/// eight sectors, or with a model name that fills its field without a terminating zero is
/// invalid; no read goes beyond the buffer. An object is loaded once and not changed afterwards,
/// so the worker thread may read it while the GUI thread keeps it alive.
class FirmwareUpdateFile
{
public:
    /// A block of the file to send: a pointer into the buffer and its length, or null and 0.
    struct Block
    {
        const uint8_t* data = nullptr;
        uint32_t length = 0;
    };

    /// The device takes the first 256 bytes of the head as the update's header.
    static constexpr int HeaderBlockSize = 256;
    /// Header block plus free area; the sector data starts here.
    static constexpr int HeadSize = 1280;
    /// The size table has eight entries.
    static constexpr int MaxSectors = 8;
    /// Update files for these devices are a few hundred kilobytes; anything far beyond
    /// that is not one, and is refused before it is read into memory.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    FirmwareUpdateFile() = default;
    FirmwareUpdateFile(const FirmwareUpdateFile&) = delete;
    FirmwareUpdateFile& operator=(const FirmwareUpdateFile&) = delete;

    /// Reads and checks a file from disk or from a ":/" resource path; true when it is valid.
    bool load(const QString& fileName);
    bool load(const char* fileName) { return load(QString::fromLocal8Bit(fileName)); }
    /// Checks file contents that are already in memory; `fileName` only names them in the status line.
    bool load(const QByteArray& contents, const QString& fileName = QString());

    /// Magic, layout and checksum passed.
    bool isValid() const;
    /// The file could not be opened.
    bool cannotOpen() const;
    /// The sector count, or -1 when not loaded.
    int sectorCount() const;
    /// The first 256 bytes, sent to the device before the sectors; empty when not loaded.
    Block headerBlock() const;
    /// Sector `index`; empty when not loaded or `index` is not below the sector count.
    Block sector(int index) const;
    /// Sum of all sector bytes now in the buffer, modulo 2^32; 0 when the layout is broken.
    uint32_t checksum() const;
    /// Bytes an update sends: header block plus all sectors; -1 when not valid.
    int32_t transferSize() const;
    /// The model the update is for (the device's own model name); empty when not loaded.
    QByteArray modelName() const;
    /// True when the file is valid and meant for `model`, compared exactly.
    bool containsUpdateFor(const QString& model) const;
    /// One line of HTML for the file label of the update dialog, the file name escaped.
    QString statusHtml(const QString& model) const;
    /// The name exactly as passed to `load`, 8-bit.
    QByteArray fileName() const;

private:
    bool verify();
    const char* layoutProblem() const;
    uint32_t readU32(int offset) const;
    uint32_t sectorSize(int index) const;
    const uint8_t* bytes() const;

    QByteArray m_fileName;
    QByteArray m_buffer;
    bool m_loaded = false;
    bool m_cannotOpen = false;
    bool m_invalid = true;
};

} // namespace korvane::KVP
