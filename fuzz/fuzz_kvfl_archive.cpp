// A .kvfl library file as a user might open it: gzip, tar, the version member and the
// fixture documents, then everything read back out. A library that loads must also save
// and load again, as the editor's Save does with whatever it opened.

#include "FuzzQt.h"

#include "KVFLArchive.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QBuffer>

#include <cstdlib>

namespace {

void touchDefinitions(const QList<QKVFixtureDefinition*>& definitions)
{
    for (const QKVFixtureDefinition* definition : definitions) {
        fuzz::touch(definition->name());
        fuzz::touch(definition->shortName());
        fuzz::touch(definition->manufacturer());
        fuzz::touch(definition->manufacturerShort());
        fuzz::touch(definition->type());
        for (const QKVFixtureChannel* channel : definition->channels()) {
            fuzz::touch(channel->name());
            fuzz::touch(channel->shortName());
            fuzz::touch(channel->number());
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
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);

    KVFLArchive archive;
    const bool loaded = archive.load(&file);
    fuzz::touch(archive.errorString());
    fuzz::touch(archive.versionString());
    fuzz::touch(archive.hasUnsupportedFeatures());
    const QList<QKVFixtureDefinition*> definitions = archive.definitions();
    touchDefinitions(definitions);
    if (!loaded) {
        return 0;
    }

    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    KVFLArchive writer;
    writer.setDefinitionsToSave(definitions);
    if (!writer.save(&out)) {
        std::abort(); // writing to memory cannot fail
    }
    out.close();
    out.open(QIODevice::ReadOnly);
    KVFLArchive reread;
    if (!reread.load(&out) || reread.definitions().size() != definitions.size()) {
        std::abort(); // what this program wrote it must read back whole
    }
    return 0;
}
