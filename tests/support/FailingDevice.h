#pragma once

#include <QIODevice>

#include <cstring>
#include <limits>

/// A device that delivers `content`, or accepts writes, up to `limit` bytes and then
/// fails, like a medium that goes away or a full disk. taken() is how far it got.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(const QByteArray& content = {}, qint64 limit = std::numeric_limits<qint64>::max())
        : m_content(content), m_limit(limit)
    {
    }
    qint64 taken() const { return m_position; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMax<qint64>(0, qMin(maxSize, qMin<qint64>(m_limit, m_content.size()) - m_position));
        std::memcpy(data, m_content.constData() + m_position, static_cast<size_t>(n));
        m_position += n;
        return n > 0 || m_position < m_limit ? n : -1;
    }
    qint64 writeData(const char*, qint64 size) override { return (m_position += size) > m_limit ? -1 : size; }

private:
    QByteArray m_content;
    qint64 m_limit;
    qint64 m_position = 0;
};
