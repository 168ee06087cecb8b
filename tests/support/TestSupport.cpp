#include "TestSupport.h"

#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QFile>

QByteArray readTestData(const QString& name)
{
    QFile file(QStringLiteral(QRD_TEST_DATA_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing test data file %s", qPrintable(name));
    }
    return file.readAll();
}

QKVFixtureChannel* makeChannel(int number, const QString& name, const QString& shortName, bool autoShortName)
{
    auto* channel = new QKVFixtureChannel;
    channel->setNumber(number);
    channel->setName(name);
    channel->setShortName(shortName);
    channel->setAutoShortName(autoShortName);
    return channel;
}

QString describe(const QKVFixtureDefinition& d, bool asSaved)
{
    const auto shortName
        = [asSaved](bool autoFlag, const QString& text) { return asSaved && autoFlag ? QString() : text; };
    const bool known = d.type() >= FixtureType::FirstCode && d.type() <= FixtureType::LastCode;
    QStringList fields {d.name(),
                        shortName(d.autoShortName(), d.shortName()),
                        QString::number(d.autoShortName()),
                        d.manufacturer(),
                        shortName(d.autoManufacturerShort(), d.manufacturerShort()),
                        QString::number(d.autoManufacturerShort()),
                        QString::number(asSaved && !known ? int(FixtureType::Undefined) : d.type())};
    for (const QKVFixtureChannel* c : d.channels()) {
        fields << QString::number(c->number()) << c->name() << shortName(c->autoShortName(), c->shortName())
               << QString::number(c->autoShortName());
    }
    return fields.join(QStringLiteral(" | "));
}

QStringList describe(const QList<QKVFixtureDefinition*>& definitions, bool asSaved)
{
    QStringList described;
    for (const QKVFixtureDefinition* definition : definitions) {
        described << describe(*definition, asSaved);
    }
    return described;
}

QByteArray exactBytes(const QByteArray& content, std::vector<char>& block)
{
    block.assign(content.cbegin(), content.cend());
    block.shrink_to_fit();
    return QByteArray::fromRawData(block.data(), content.size());
}

namespace {

QString randomName(Random& random, int maxPieces)
{
    // '|' separates the pieces; no piece holds one.
    static const QStringList pieces
        = QString::fromUtf8("Spot|Wash|Beam| | |250|Pro|MkII|.|-|_|/|Ä|ß|é|ÿ|Ωμέγα|照明|ムービング|"
                            "\xF0\x9F\x8E\x9B|\xF0\x9D\x84\x9E|😀|&|<|>|\"|'|]]>|&amp;|"
                            "\t|\n|\r|\r\n|  ")
              .split(QLatin1Char('|'));
    QString name;
    for (int i = random.below(maxPieces + 1); i > 0; --i) {
        name += pieces.at(random.below(static_cast<int>(pieces.size())));
    }
    return name;
}

} // namespace

std::unique_ptr<QKVFixtureDefinition> randomDefinition(Random& random, const QStringList& earlierNames)
{
    static const QStringList commonChannelNames {"Dimmer", "Pan", "", "Red", "Shutter"};
    static const QList<int> types {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 200, 255};
    static const QList<int> oddNumbers {0, -1, 46, 512, 1000};

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

    for (int i = 0, channels = random.below(61); i < channels; ++i) {
        const QString name = random.chance(40) ? commonChannelNames.at(random.below(5)) : randomName(random, 6);
        const int number = random.chance(5) ? oddNumbers.at(random.below(5)) : i + 1;
        definition->appendChannel(makeChannel(number, name, randomName(random, 4), random.chance(50)));
    }
    return definition;
}
