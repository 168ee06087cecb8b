#include "GeneratedLibrary.h"

#include "KVFLArchive.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QBuffer>
#include <QVariant>

QKVFixtureChannel* makeChannel(int number, const QString& name, const QString& shortName, bool autoShortName)
{
    auto* channel = new QKVFixtureChannel;
    channel->setNumber(number);
    channel->setName(name);
    channel->setShortName(shortName);
    channel->setAutoShortName(autoShortName);
    return channel;
}

Library::Library() = default;
Library::~Library() = default;

QKVFixtureDefinition* Library::add(const QString& name, int channels)
{
    auto* definition = new QKVFixtureDefinition;
    definition->setName(name);
    definition->setManufacturer(QStringLiteral("Acme Lighting"));
    for (int i = 1; i <= channels; ++i) {
        definition->appendChannel(makeChannel(i, QStringLiteral("Channel %1").arg(i), QString(), true));
    }
    m_definitions.emplace_back(definition);
    return definition;
}

void Library::take(QKVFixtureDefinition* definition)
{
    m_definitions.emplace_back(definition);
}

QList<QKVFixtureDefinition*> Library::list() const
{
    QList<QKVFixtureDefinition*> all;
    for (const auto& definition : m_definitions) {
        all.append(definition.get());
    }
    return all;
}

QByteArray Library::save() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    KVFLArchive archive;
    archive.setDefinitionsToSave(list());
    if (!archive.save(&buffer)) {
        return {};
    }
    return buffer.data();
}

QString randomName(Random& random, int maxPieces)
{
    static const QStringList pieces {
        "Spot",
        "Wash",
        "Beam",
        " ",
        " ",
        "250",
        "Pro",
        "MkII",
        ".",
        "-",
        "_",
        "/",
        QString::fromUtf8("Ä"),
        QString::fromUtf8("ß"),
        QString::fromUtf8("é"),
        QString::fromUtf8("ÿ"),
        QString::fromUtf8("Ωμέγα"),
        QString::fromUtf8("照明"),
        QString::fromUtf8("ムービング"),
        QString::fromUtf8("\xF0\x9F\x8E\x9B"),
        QString::fromUtf8("\xF0\x9D\x84\x9E"),
        QString::fromUtf8("😀"),
        "&",
        "<",
        ">",
        "\"",
        "'",
        "]]>",
        "&amp;",
        "\t",
        "\n",
        "\r",
        "\r\n",
        "  ",
    };
    QString name;
    const int count = random.below(maxPieces + 1);
    for (int i = 0; i < count; ++i) {
        name += pieces.at(random.below(static_cast<int>(pieces.size())));
    }
    return name;
}

std::unique_ptr<QKVFixtureDefinition> randomDefinition(Random& random, const QStringList& earlierNames)
{
    static const QStringList commonChannelNames {"Dimmer", "Pan", "", "Red", "Shutter"};
    static const QList<int> types {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 200, 255};

    auto definition = std::make_unique<QKVFixtureDefinition>();
    if (!earlierNames.isEmpty() && random.chance(10)) {
        definition->setName(earlierNames.at(random.below(static_cast<int>(earlierNames.size()))));
    } else {
        definition->setName(random.chance(8) ? QString() : randomName(random, random.chance(5) ? 60 : 8));
    }
    definition->setAutoShortName(random.chance(50));
    definition->setShortName(randomName(random, 6));
    definition->setManufacturer(random.chance(8) ? QString() : randomName(random, 5));
    definition->setAutoManufacturerShort(random.chance(50));
    definition->setManufacturerShort(randomName(random, 4));
    definition->setType(types.at(random.below(static_cast<int>(types.size()))));

    const int channels = random.below(61);
    for (int i = 0; i < channels; ++i) {
        const QString name = random.chance(40) ? commonChannelNames.at(random.below(5)) : randomName(random, 6);
        int number = i + 1;
        if (random.chance(5)) {
            static const QList<int> odd {0, -1, 46, 512, 1000};
            number = odd.at(random.below(5));
        }
        definition->appendChannel(makeChannel(number, name, randomName(random, 4), random.chance(50)));
    }
    return definition;
}

QString roundTripDifference(const QKVFixtureDefinition* got, const QKVFixtureDefinition* saved)
{
    auto differs = [](const char* field, const auto& have, const auto& want) {
        return QStringLiteral("%1: got \"%2\", saved \"%3\"")
            .arg(QLatin1String(field), QVariant::fromValue(have).toString(), QVariant::fromValue(want).toString());
    };
    const QString shortName = saved->autoShortName() ? QString() : saved->shortName();
    const QString manufacturerShort = saved->autoManufacturerShort() ? QString() : saved->manufacturerShort();
    const int type = saved->type() >= 0 && saved->type() <= 10 ? saved->type() : -1;
    if (got->name() != saved->name()) {
        return differs("name", got->name(), saved->name());
    }
    if (got->autoShortName() != saved->autoShortName() || got->shortName() != shortName) {
        return differs("short name", got->shortName(), shortName);
    }
    if (got->manufacturer() != saved->manufacturer()) {
        return differs("manufacturer", got->manufacturer(), saved->manufacturer());
    }
    if (got->autoManufacturerShort() != saved->autoManufacturerShort()
        || got->manufacturerShort() != manufacturerShort) {
        return differs("manufacturer short name", got->manufacturerShort(), manufacturerShort);
    }
    if (got->type() != type) {
        return differs("type", got->type(), type);
    }
    if (got->channelCount() != saved->channelCount()) {
        return differs("channel count", got->channelCount(), saved->channelCount());
    }
    for (int i = 0; i < saved->channelCount(); ++i) {
        const QKVFixtureChannel* channel = got->channels().at(i);
        const QKVFixtureChannel* original = saved->channels().at(i);
        const QString channelShort = original->autoShortName() ? QString() : original->shortName();
        if (channel->number() != original->number()) {
            return differs("channel number", channel->number(), original->number());
        }
        if (channel->name() != original->name()) {
            return differs("channel name", channel->name(), original->name());
        }
        if (channel->autoShortName() != original->autoShortName() || channel->shortName() != channelShort) {
            return differs("channel short name", channel->shortName(), channelShort);
        }
    }
    return {};
}
