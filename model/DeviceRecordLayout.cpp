#include "DeviceRecordLayout.h"

#include <algorithm>
#include <cstring>

namespace DeviceRecord {

QString readTextField(const QByteArray& data, int offset, int width)
{
    if (offset < 0 || offset >= data.size() || width <= 0) {
        return {};
    }
    const int available = std::min(width, static_cast<int>(data.size()) - offset);
    const char* begin = data.constData() + offset;
    const void* zero = std::memchr(begin, 0, static_cast<size_t>(available));
    const int length = zero ? static_cast<int>(static_cast<const char*>(zero) - begin) : available;
    return QString::fromLatin1(begin, length);
}

void writeTextField(QByteArray& data, int offset, int width, const QString& text)
{
    Q_ASSERT(offset >= 0 && offset + width <= data.size());
    // Characters, not bytes, are cut: Latin-1 has one byte per character, and a
    // character outside Latin-1 becomes one "?".
    const QString cut = text.left(width);
    QByteArray bytes(cut.size(), '?');
    for (int i = 0; i < cut.size(); ++i) {
        const char16_t c = cut.at(i).unicode();
        if (c <= 0xFF) {
            bytes[i] = static_cast<char>(c);
        }
    }
    std::memcpy(data.data() + offset, bytes.constData(), static_cast<size_t>(bytes.size()));
    if (bytes.size() < width) {
        data[offset + bytes.size()] = '\0';
    }
}

} // namespace DeviceRecord
