#pragma once

#include <QByteArray>
#include <QList>

class QIODevice;

namespace korvane::KVP {

/// Builds KVU2 update files (.kv2) that `FirmwareUpdateFile` accepts: the tool that makes
/// the default update files and the tests use it, the editor itself never writes one.
///
/// Every sector is padded with zeros to a multiple of 256, so the checksum walk (which rounds
/// each extent up) and the sector lookup (which does not) agree on where each sector lies.
class FirmwareImageWriter
{
public:
    /// The head: 256-byte header block plus the free area; sector data follows.
    static constexpr int HeadSize = 1280;
    /// The device flashes whole 256-byte pages.
    static constexpr int SectorAlignment = 256;
    static constexpr int MaxSectors = 8;
    /// The model name field holds 40 characters and its terminating zero.
    static constexpr int ModelFieldSize = 41;
    /// Bytes 47 to 67 travel to the device uninterpreted.
    static constexpr int OpaqueOffset = 47;
    static constexpr int OpaqueSize = 21;
    /// The build note sits in the free area, which never leaves the file.
    static constexpr int NoteOffset = 768;
    static constexpr int MaxNoteSize = HeadSize - NoteOffset - 1;

    /// The model name the device reports, e.g. "QRD-540B"; at most 40 bytes.
    void setModel(const QByteArray& model) { m_model = model; }
    /// Opaque header bytes 47..; at most 21.
    void setOpaque(const QByteArray& opaque) { m_opaque = opaque; }
    /// Text build note at offset 768; at most 511 bytes.
    void setNote(const QByteArray& note) { m_note = note; }
    /// Appends a sector image; it is padded to a multiple of 256 when written.
    void addSector(const QByteArray& image) { m_sectors.append(image); }

    /// The whole file; empty when a field does not fit (see errorString()).
    QByteArray build();
    /// Writes the whole file to an open device; false on a field that does not fit or a write error.
    bool write(QIODevice& device);
    /// Why the last build or write failed.
    QByteArray errorString() const { return m_error; }

private:
    QByteArray m_model;
    QByteArray m_opaque;
    QByteArray m_note;
    QList<QByteArray> m_sectors;
    QByteArray m_error;
};

} // namespace korvane::KVP
