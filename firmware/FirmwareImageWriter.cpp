#include "FirmwareImageWriter.h"

#include <QIODevice>

#include <cstdint>

namespace korvane::KVP {

namespace {

constexpr char Magic[] = {'K', 'V', 'U', '2', '\0'};
constexpr int MagicSize = 5;
constexpr int ModelOffset = 5;
constexpr int SectorCountOffset = 46;
constexpr int SizeTableOffset = 68;
constexpr int ChecksumOffset = 100;

void putU32(QByteArray& buffer, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        buffer[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

} // namespace

QByteArray FirmwareImageWriter::build()
{
    m_error.clear();
    if (m_model.isEmpty() || m_model.size() >= ModelFieldSize || m_model.contains('\0')) {
        m_error = "The model name must have 1 to 40 characters.";
        return {};
    }
    if (m_opaque.size() > OpaqueSize) {
        m_error = "At most 21 opaque header bytes fit.";
        return {};
    }
    if (m_note.size() > MaxNoteSize) {
        m_error = "The build note is too long.";
        return {};
    }
    if (m_sectors.size() > MaxSectors) {
        m_error = "An update file holds at most 8 sectors.";
        return {};
    }

    QByteArray file(HeadSize, '\0');
    file.replace(0, MagicSize, QByteArray(Magic, MagicSize));
    file.replace(ModelOffset, m_model.size(), m_model);
    file[SectorCountOffset] = static_cast<char>(m_sectors.size());
    file.replace(OpaqueOffset, m_opaque.size(), m_opaque);
    file.replace(NoteOffset, m_note.size(), m_note);

    uint32_t checksum = 0;
    for (int i = 0; i < m_sectors.size(); ++i) {
        QByteArray sector = m_sectors.at(i);
        const qsizetype padding = (SectorAlignment - sector.size() % SectorAlignment) % SectorAlignment;
        sector.append(padding, '\0');
        // The size field and the file's own length are signed 32-bit on the reading side.
        if (sector.isEmpty() || file.size() + sector.size() > INT32_MAX) {
            m_error = sector.isEmpty() ? "A sector image is empty." : "The sectors are too large.";
            return {};
        }
        for (const char byte : sector) {
            checksum += static_cast<uint8_t>(byte);
        }
        putU32(file, SizeTableOffset + 4 * i, static_cast<uint32_t>(sector.size()));
        file.append(sector);
    }
    putU32(file, ChecksumOffset, checksum);
    return file;
}

bool FirmwareImageWriter::write(QIODevice& device)
{
    const QByteArray file = build();
    if (file.isEmpty()) {
        return false;
    }
    if (device.write(file) != file.size()) {
        m_error = device.errorString().toUtf8();
        return false;
    }
    return true;
}

} // namespace korvane::KVP
