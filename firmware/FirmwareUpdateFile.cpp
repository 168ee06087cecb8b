#include "FirmwareUpdateFile.h"

#include <QDebug>
#include <QFile>
#include <QObject>

#include <cstring>
#include <limits>

namespace korvane::KVP {

namespace {

// Head layout; all integers little-endian.
constexpr char Magic[] = {'K', 'V', 'U', '2', '\0'};
constexpr int MagicSize = sizeof(Magic);
constexpr int ModelNameOffset = 5;
constexpr int ModelNameSize = 41;
constexpr int SectorCountOffset = 46;
constexpr int SectorSizesOffset = 68;
constexpr int ChecksumOffset = 100;

constexpr char Red[] = "<font color =\"red\">";
constexpr char Grey[] = "<font color =\"grey\">";
constexpr char Green[] = "<font color =\"green\">";

} // namespace

bool FirmwareUpdateFile::load(const QString& fileName)
{
    m_fileName = QFile::encodeName(fileName);
    m_loaded = false; // a second load must not leave the accessors reading a new, unchecked buffer
    m_cannotOpen = false;
    m_invalid = false;
    QFile file(fileName);
    // QFile warns about an empty name; it cannot be opened either way.
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << "Could not open the file" << m_fileName;
        m_cannotOpen = true;
        return false;
    }
    if (file.size() > MaxFileSize) {
        qDebug() << "File too large";
        m_invalid = true;
        return false;
    }
    m_buffer = file.readAll();
    return verify();
}

bool FirmwareUpdateFile::load(const QByteArray& contents, const QString& fileName)
{
    m_fileName = QFile::encodeName(fileName);
    m_loaded = false; // a second load must not leave the accessors reading a new, unchecked buffer
    m_cannotOpen = false;
    m_invalid = false;
    m_buffer = contents;
    return verify();
}

bool FirmwareUpdateFile::verify()
{
    if (m_buffer.size() < MagicSize || std::memcmp(m_buffer.constData(), Magic, MagicSize) != 0) {
        qDebug() << "Not an KVU2 file";
        m_invalid = true;
        return false;
    }
    if (const char* problem = layoutProblem()) {
        qDebug() << problem;
        m_invalid = true;
        return false;
    }
    const uint32_t stored = readU32(ChecksumOffset);
    const uint32_t computed = checksum();
    if (stored != computed) {
        qDebug() << "Checksum error";
        qDebug().nospace() << "Expected Checksum " << stored;
        qDebug().nospace() << "Received Checksum " << computed;
        m_invalid = true;
        return false;
    }
    m_loaded = true;
    return true;
}

const char* FirmwareUpdateFile::layoutProblem() const
{
    if (m_buffer.size() < HeadSize) {
        return "File shorter than its head";
    }
    const int count = bytes()[SectorCountOffset];
    if (count > MaxSectors) {
        return "Sector count above 8";
    }
    if (!std::memchr(bytes() + ModelNameOffset, 0, ModelNameSize)) {
        return "Model name not terminated";
    }
    // Eight 32-bit sizes cannot overflow a 64-bit sum.
    uint64_t declared = 0;
    for (int i = 0; i < count; ++i) {
        declared += sectorSize(i);
    }
    if (declared > static_cast<uint64_t>(m_buffer.size() - HeadSize)) {
        return "Sector data beyond the end of the file";
    }
    return nullptr;
}

bool FirmwareUpdateFile::isValid() const
{
    return m_loaded && !m_invalid;
}

bool FirmwareUpdateFile::cannotOpen() const
{
    return m_cannotOpen;
}

int FirmwareUpdateFile::sectorCount() const
{
    return m_loaded ? bytes()[SectorCountOffset] : -1;
}

FirmwareUpdateFile::Block FirmwareUpdateFile::headerBlock() const
{
    if (!m_loaded || m_buffer.size() <= HeaderBlockSize) {
        return {};
    }
    return {bytes(), HeaderBlockSize};
}

FirmwareUpdateFile::Block FirmwareUpdateFile::sector(int index) const
{
    if (!m_loaded || index < 0 || index >= sectorCount() || index >= MaxSectors) {
        return {};
    }
    const uint8_t* position = bytes() + HeadSize;
    for (int i = 0; i < index; ++i) {
        qDebug() << "Incrementing sector";
        position += sectorSize(i);
    }
    return {position, sectorSize(index)};
}

uint32_t FirmwareUpdateFile::checksum() const
{
    if (layoutProblem()) {
        return 0;
    }
    // The same back-to-back placement as sector(); see the class comment.
    const int count = bytes()[SectorCountOffset];
    const uint8_t* position = bytes() + HeadSize;
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t* end = position + sectorSize(i);
        for (; position != end; ++position) {
            sum += *position;
        }
    }
    return sum;
}

int32_t FirmwareUpdateFile::transferSize() const
{
    if (!m_loaded || m_invalid) {
        return -1;
    }
    // The layout check bounds the sum by the file size, itself below 2^31.
    int64_t total = HeaderBlockSize;
    for (int i = 0; i < sectorCount(); ++i) {
        total += sectorSize(i);
    }
    return static_cast<int32_t>(total);
}

QByteArray FirmwareUpdateFile::modelName() const
{
    if (!m_loaded) {
        return {};
    }
    const char* name = m_buffer.constData() + ModelNameOffset;
    return QByteArray(name, static_cast<qsizetype>(qstrnlen(name, ModelNameSize)));
}

bool FirmwareUpdateFile::containsUpdateFor(const QString& model) const
{
    if (m_cannotOpen || m_invalid || !m_loaded || model.isEmpty()) {
        return false;
    }
    // Model names come from the device as bytes read as Latin-1; this gives those bytes back.
    return modelName() == model.toLatin1();
}

QString FirmwareUpdateFile::statusHtml(const QString& model) const
{
    if (m_cannotOpen && m_fileName.isEmpty()) {
        return {};
    }
    const char* colour = Green;
    QString message = QObject::tr(" is OK.");
    if (m_cannotOpen) {
        colour = Red;
        message = QObject::tr(" is not readable.");
    } else if (m_invalid) {
        colour = Red;
        message = QObject::tr(" is not a valid KV2 file.");
    } else if (model.isEmpty()) {
        colour = Grey;
    } else if (!containsUpdateFor(model)) {
        colour = Grey;
        message = QObject::tr(" does not contain a firmware update for a supported device.");
    }
    // The translated words and the file name keep every character; a name is text, not markup.
    const QString name = QFile::decodeName(m_fileName).toHtmlEscaped();
    return QLatin1String(colour) + QObject::tr("The file ") + QLatin1Char('\'') + name + QLatin1Char('\'') + message
        + QLatin1String("</font>");
}

QByteArray FirmwareUpdateFile::fileName() const
{
    return m_fileName;
}

uint32_t FirmwareUpdateFile::readU32(int offset) const
{
    const uint8_t* p = bytes() + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t FirmwareUpdateFile::sectorSize(int index) const
{
    return readU32(SectorSizesOffset + 4 * index);
}

const uint8_t* FirmwareUpdateFile::bytes() const
{
    return reinterpret_cast<const uint8_t*>(m_buffer.constData());
}

} // namespace korvane::KVP
