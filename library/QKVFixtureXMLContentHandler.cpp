#include "QKVFixtureXMLContentHandler.h"

#include "FixtureDocument.h"
#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

using namespace FixtureDocument;

QKVFixtureXMLContentHandler::QKVFixtureXMLContentHandler(Reporter* reporter)
    : m_reporter(reporter), m_current(std::make_unique<QKVFixtureDefinition>())
{
}

QKVFixtureXMLContentHandler::~QKVFixtureXMLContentHandler()
{
    qDeleteAll(m_definitions);
}

void QKVFixtureXMLContentHandler::reportUnsupported()
{
    if (m_reporter) {
        m_reporter->slotUnsupportedContent();
    }
}

bool QKVFixtureXMLContentHandler::startDocument()
{
    m_state = State::BeforeRoot;
    m_lastNumber = 0;
    m_channelPool.clear();
    m_poolUsed.clear();
    // Room for a device record's channels at once: growing a step at a time costs a
    // handful of allocations per document, 10,000 documents per library.
    m_channelPool.reserve(static_cast<size_t>(QKVFixtureDefinition::MaxChannels));
    return true;
}

bool QKVFixtureXMLContentHandler::flushText()
{
    if (!m_hasText) {
        return true;
    }
    m_hasText = false;
    const bool accepted = characters(m_text);
    // Emptied, not released: every channel reference brings a text, and its room is
    // reused instead of allocated again.
    m_text.resize(0);
    return accepted;
}

bool QKVFixtureXMLContentHandler::endDocument()
{
    // Pool channels no reference took and the definition begun for a further
    // personality: a library of 10,000 documents should not keep them all until the end.
    m_channelPool.clear();
    m_channelPool.shrink_to_fit();
    m_poolUsed.clear();
    m_poolUsed.shrink_to_fit();
    m_current.reset();
    return true;
}

QKVFixtureChannel* QKVFixtureXMLContentHandler::channelFromAttributes(const FixtureAttributes& attributes)
{
    auto* channel = new QKVFixtureChannel;
    channel->setShortName(attributes.shortName.value_or(QString()));
    channel->setAutoShortName(!attributes.shortName.has_value());
    channel->setName(attributes.name.value_or(QString()));
    return channel;
}

bool QKVFixtureXMLContentHandler::startElement(QStringView localName, const FixtureAttributes& attributes)
{
    switch (m_state) {
        case State::BeforeRoot:
            if (localName != RootElement) {
                return false;
            }
            m_state = State::InRoot;
            return true;

        case State::InRoot:
            if (localName == ManufacturerElement) {
                m_current->storeManufacturer(attributes.name.value_or(QString()));
                m_current->setManufacturerShort(attributes.shortName.value_or(QString()));
                m_current->setAutoManufacturerShort(!attributes.shortName.has_value());
            } else if (localName == ModelElement) {
                m_current->storeName(attributes.name.value_or(QString()));
                m_current->setShortName(attributes.shortName.value_or(QString()));
                m_current->setAutoShortName(!attributes.shortName.has_value());
            } else if (localName == ChannelElement) {
                QKVFixtureChannel* channel = channelFromAttributes(attributes);
                channel->setNumber(static_cast<int>(m_channelPool.size()) + 1);
                m_channelPool.push_back({std::unique_ptr<QKVFixtureChannel>(channel), channel});
            } else if (localName == TypeElement) {
                m_state = State::InType;
            } else if (localName == PersonalityElement) {
                beginPersonality(attributes);
            } else if (localName == ChannelRefElement) {
                // A reference outside any personality cannot be placed: the document is
                // not one this reader understands.
                return false;
            } else {
                reportUnsupported();
            }
            return true;

        case State::InPersonality:
            if (localName == ChannelRefElement) {
                m_lastNumber = attributes.number.value_or(0);
                m_state = State::InChannelRef;
            } else if (localName == ChannelElement) {
                QKVFixtureChannel* channel = channelFromAttributes(attributes);
                m_lastNumber = attributes.number ? *attributes.number : m_lastNumber + 1;
                channel->setNumber(m_lastNumber);
                m_current->appendChannel(channel);
            } else {
                reportUnsupported();
            }
            return true;

        case State::AfterPersonality:
            if (localName != PersonalityElement) {
                return false;
            }
            beginPersonality(attributes);
            return true;

        case State::InType:
        case State::InChannelRef:
            return true;
    }
    return true;
}

void QKVFixtureXMLContentHandler::beginPersonality(const FixtureAttributes& attributes)
{
    m_personalityName = attributes.name.value_or(QString());
    m_poolUsed.assign(m_channelPool.size(), false);
    m_firstUnused = 0;
    // A personality usually refers to every channel declared before it.
    m_current->channels().reserve(static_cast<qsizetype>(m_channelPool.size()));
    m_state = State::InPersonality;
}

bool QKVFixtureXMLContentHandler::characters(const QString& text)
{
    if (m_state == State::InType) {
        m_current->setType(FixtureType::fromXmlText(text));
        m_state = State::InRoot;
    } else if (m_state == State::InChannelRef) {
        resolveChannelRef(text);
        m_state = State::InPersonality;
    }
    return true;
}

void QKVFixtureXMLContentHandler::resolveChannelRef(const QString& name)
{
    // The first unused pool channel of that name; when every one is used, the first
    // of that name, which is how a second personality may share the same channels.
    int match = -1;
    for (size_t i = m_firstUnused; i < m_channelPool.size(); ++i) {
        if (!m_poolUsed[i] && m_channelPool[i].channel->name() == name) {
            match = static_cast<int>(i);
            break;
        }
    }
    for (size_t i = 0; match < 0 && i < m_channelPool.size(); ++i) {
        if (m_channelPool[i].channel->name() == name) {
            match = static_cast<int>(i);
        }
    }
    if (match < 0) {
        return;
    }
    m_poolUsed[static_cast<size_t>(match)] = true;
    while (m_firstUnused < m_poolUsed.size() && m_poolUsed[m_firstUnused]) {
        ++m_firstUnused;
    }
    PoolChannel& pooled = m_channelPool[static_cast<size_t>(match)];
    // Only name, short name and auto flag are shared between references; the number is
    // each reference's own, so the object can go to the first one that needs it.
    QKVFixtureChannel* channel = pooled.owned ? pooled.owned.release() : new QKVFixtureChannel(*pooled.channel);
    channel->setNumber(m_lastNumber);
    m_current->appendChannel(channel);
}

bool QKVFixtureXMLContentHandler::endElement(QStringView localName)
{
    if (m_state == State::InChannelRef) {
        // No text arrived: the reference names a channel without a name.
        resolveChannelRef(QString());
        m_state = State::InPersonality;
    } else if (m_state == State::InPersonality && localName == PersonalityElement) {
        endPersonality();
    }
    return true;
}

void QKVFixtureXMLContentHandler::endPersonality()
{
    m_state = State::AfterPersonality;
    if (!m_definitions.isEmpty()) {
        // The library keeps one personality per definition; a further one becomes a
        // definition of its own, named after the personality.
        reportUnsupported();
        const QString suffix = QLatin1Char('@') + m_personalityName;
        m_current->storeName(m_current->name() + suffix);
        m_current->setShortName(m_current->shortName() + suffix);
    }
    // The next personality starts from this one's fields but none of its channels; set
    // aside while copying, they are not copied only to be deleted.
    QList<QKVFixtureChannel*> channels = std::exchange(m_current->channels(), {});
    auto next = std::make_unique<QKVFixtureDefinition>(*m_current);
    m_current->channels() = std::move(channels);
    m_definitions.append(m_current.release());
    m_current = std::move(next);
}
