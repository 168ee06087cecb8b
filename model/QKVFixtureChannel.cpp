#include "QKVFixtureChannel.h"

#include "ShortNames.h"

namespace {
// What the device leaves in an erased (never written) field.
constexpr char16_t ErasedCharacter = 0x00FF;
} // namespace

QKVFixtureChannel::QKVFixtureChannel(const QKVFixtureChannel& other)
    : m_number(other.m_number)
    , m_name(other.m_name)
    , m_shortName(other.m_shortName)
    , m_autoShortName(other.m_autoShortName)
{
}

QKVFixtureChannel& QKVFixtureChannel::operator=(const QKVFixtureChannel& other)
{
    if (this != &other) {
        m_number = other.m_number;
        m_name = other.m_name;
        m_shortName = other.m_shortName;
        m_autoShortName = other.m_autoShortName;
    }
    return *this;
}

void QKVFixtureChannel::setShortName(const QString& shortName)
{
    m_shortName = ShortNames::firstCharacters(shortName, ShortNames::ChannelLength);
}

QString QKVFixtureChannel::displayName() const
{
    return m_name.isEmpty() ? shortName() : m_name;
}

void QKVFixtureChannel::applyAutoShortName()
{
    if (m_autoShortName) {
        setShortName(m_name);
    }
}

void QKVFixtureChannel::deriveAutoFlag()
{
    if (shortName() == ShortNames::firstCharacters(m_name, ShortNames::ChannelLength)) {
        m_autoShortName = true;
    }
}

void QKVFixtureChannel::clearErasedName()
{
    if (!m_name.isEmpty() && m_name.at(0).unicode() == ErasedCharacter) {
        m_name.clear();
    }
}
