// A QLC+ fixture file as a user's folder may hold it, through the reader and into
// definitions. Beyond memory faults, the promises the fixture browser relies on abort:
// a file that fails gives no modes, a usable mode fits the device, the short names of a
// mode's channels and of a fixture's modes read apart, all text is Latin-1, and skimming
// the capability lists changes nothing for a file that strict reading takes.

#include "FuzzQt.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QxfReader.h"

#include <QSet>
#include <QStringList>

#include <cstdlib>

namespace {

void require(bool promise)
{
    if (!promise) {
        std::abort();
    }
}

bool latin1(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF) {
            return false;
        }
    }
    return true;
}

/// Every field of every mode, to compare two readings.
QStringList describe(const QxfFile& file)
{
    QStringList lines {file.error.isEmpty() ? QStringLiteral("ok") : QStringLiteral("failed")};
    for (const QxfMode& mode : file.modes) {
        lines << mode.name << mode.shortName << mode.manufacturer << mode.model << mode.mode << mode.reason
              << QString::number(mode.type * 2 + mode.autoShortName);
        for (const QxfChannel& channel : mode.channels) {
            lines << channel.name << channel.shortName << QString::number(channel.autoShortName);
        }
    }
    return lines;
}

void checkMode(const QxfMode& mode)
{
    require(latin1(mode.name) && latin1(mode.manufacturer) && latin1(mode.shortName));
    fuzz::touch(mode.file);
    fuzz::touch(mode.model);
    fuzz::touch(mode.mode);
    fuzz::touch(mode.reason);
    QHash<QString, QString> longNameOf;
    for (const QxfChannel& channel : mode.channels) {
        const QString shown = channel.shownShortName();
        require(latin1(channel.name) && shown.size() <= 12);
        require(longNameOf.value(shown, channel.name) == channel.name);
        longNameOf.insert(shown, channel.name);
    }
    if (mode.usable()) {
        const auto definition = mode.toDefinition();
        require(definition->channelCount() >= 1 && definition->channelCount() <= QKVFixtureDefinition::MaxChannels);
        for (const QKVFixtureChannel* channel : definition->channels()) {
            fuzz::touch(channel->shortName());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QxfFile file = QxfReader::readBytes(bytes);
    require(file.ok() || file.modes.isEmpty());
    QSet<QString> fixtureShortNames;
    for (const QxfMode& mode : file.modes) {
        checkMode(mode);
        require(!fixtureShortNames.contains(mode.shownShortName()));
        fixtureShortNames.insert(mode.shownShortName());
    }
    const QxfFile strict = QxfReader::readBytesStrictly(bytes);
    require(!strict.ok() || describe(strict) == describe(file));
    require(latin1(QxfReader::deviceText(QString::fromUtf8(bytes))));
    return 0;
}
