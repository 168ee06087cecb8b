// A fixture XML document as it comes out of a library member, through the fast scanner,
// the stream reader, or both (the first byte chooses), and every field of the result read.
// When both run they must agree: the fast path is only a shortcut for documents in the
// form this program writes, and hands anything else to the stream reader.

#include "FuzzQt.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"

#include <QStringList>

#include <cstdlib>

namespace {

enum Path : uint8_t { FastScanner = 0, StreamReader = 1 };

/// Every field of every definition, and how the parse went, as one list to compare.
QStringList describe(const QKVFixtureDefinitionLoader& loader)
{
    QStringList lines {QString::number(loader.wellFormed()), QString::number(loader.unsupportedCount())};
    for (const QKVFixtureDefinition* definition : loader.definitions()) {
        lines << definition->name() << definition->shortName() << definition->manufacturer()
              << definition->manufacturerShort()
              << QString::number(definition->type() + 2 * definition->autoShortName()
                                 + 4 * definition->autoManufacturerShort());
        for (const QKVFixtureChannel* channel : definition->channels()) {
            lines << channel->name() << channel->shortName()
                  << QString::number(channel->number() * 2 + channel->autoShortName());
        }
    }
    return lines;
}

QStringList parseAndTouch(const QByteArray& document, bool fastScanning)
{
    QKVFixtureDefinitionLoader loader;
    loader.setFastScanning(fastScanning);
    loader.setDocument(document);
    loader.load();
    fuzz::touch(loader.wellFormed() + 2 * loader.fastScanned() + 4LL * loader.unsupportedCount());
    const QStringList description = describe(loader);
    for (QKVFixtureDefinition* definition : loader.definitions()) {
        fuzz::touch(definition->name());
        fuzz::touch(definition->shortName());
        fuzz::touch(definition->manufacturer());
        fuzz::touch(definition->manufacturerShort());
        fuzz::touch(definition->displayName());
        fuzz::touch(definition->type() + 2LL * definition->autoShortName() + 4LL * definition->autoManufacturerShort());
        for (const QKVFixtureChannel* channel : definition->channels()) {
            fuzz::touch(channel->name());
            fuzz::touch(channel->shortName());
            fuzz::touch(channel->displayName());
            fuzz::touch(channel->number() + 2LL * channel->autoShortName());
        }
        // What the editor does with every definition it shows.
        definition->applyAutoShortNames();
        QKVFixtureDefinition copy(*definition);
        fuzz::touch(copy.channelCount());
    }
    return description;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const uint8_t path = data[0] % 3;
    const QByteArray document(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    if (path == FastScanner || path == StreamReader) {
        parseAndTouch(document, path == FastScanner);
    } else if (parseAndTouch(document, true) != parseAndTouch(document, false)) {
        std::abort();
    }
    return 0;
}
