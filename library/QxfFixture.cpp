#include "QxfFixture.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "ShortNames.h"

QString QxfChannel::shownShortName() const
{
    return autoShortName ? ShortNames::firstCharacters(name, ShortNames::ChannelLength) : shortName;
}

QString QxfMode::shownShortName() const
{
    return autoShortName ? ShortNames::firstCharacters(name, ShortNames::FixtureLength) : shortName;
}

std::unique_ptr<QKVFixtureDefinition> QxfMode::toDefinition() const
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName(name);
    definition->setManufacturer(manufacturer);
    definition->setShortName(shortName);
    definition->setAutoShortName(autoShortName);
    definition->setAutoManufacturerShort(true);
    definition->setType(type);
    int number = 0;
    for (const QxfChannel& source : channels) {
        auto* channel = new QKVFixtureChannel;
        channel->setNumber(++number);
        channel->setName(source.name);
        channel->setShortName(source.shortName);
        channel->setAutoShortName(source.autoShortName);
        channel->applyAutoShortName();
        definition->appendChannel(channel);
    }
    definition->applyAutoShortNames();
    return definition;
}
