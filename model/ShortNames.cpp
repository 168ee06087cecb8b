#include "ShortNames.h"

namespace ShortNames {

QString firstCharacters(const QString& text, int length)
{
    const QStringView cut = firstCharactersView(text, length);
    // An uncut text keeps sharing its data instead of being copied.
    return cut.size() == text.size() ? text : cut.toString();
}

QStringView firstCharactersView(QStringView text, int length)
{
    if (length <= 0) {
        return {};
    }
    if (text.size() <= length) {
        return text;
    }
    if (text.at(length - 1).isHighSurrogate()) {
        return text.left(length - 1);
    }
    return text.left(length);
}

} // namespace ShortNames
