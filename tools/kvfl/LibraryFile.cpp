#include "LibraryFile.h"

#include "LibraryContent.h"

#include "KVFLArchive.h"
#include "QKVFixtureDefinition.h"

namespace LibraryFile {

bool load(const QString& path, LibraryContent& content, QString& message, QStringList* unreadableMembers)
{
    Q_ASSERT(content.definitions.empty());
    KVFLArchive archive(path);
    const bool ok = archive.load();
    message = archive.errorString();
    if (!ok) {
        return false;
    }
    content.version = archive.versionString();
    content.unsupportedContent = archive.hasUnsupportedFeatures();
    if (unreadableMembers) {
        *unreadableMembers = archive.unreadableMembers();
    }
    // The loaders' definitions die with the archive; like the editor, keep copies.
    const QList<QKVFixtureDefinition*> loaded = archive.definitions();
    content.definitions.reserve(static_cast<size_t>(loaded.size()));
    for (const QKVFixtureDefinition* definition : loaded) {
        auto copy = std::make_unique<QKVFixtureDefinition>();
        *copy = *definition;
        content.definitions.push_back(std::move(copy));
    }
    return true;
}

bool loadWhole(const QString& path, LibraryContent& content, QString& message)
{
    QStringList unreadable;
    if (!load(path, content, message, &unreadable)) {
        return false;
    }
    if (message.isEmpty() && !unreadable.isEmpty()) {
        message = QStringLiteral("The member %1 could not be read").arg(unreadable.first());
    }
    if (message.isEmpty() && content.unsupportedContent) {
        message = QStringLiteral("It holds content the editor does not keep");
    }
    if (message.isEmpty()) {
        return true;
    }
    message += QStringLiteral("; saving it would lose that part, so nothing was written.");
    return false;
}

bool save(const QString& path, const LibraryContent& content, QString& message)
{
    KVFLArchive archive(path);
    archive.setDefinitionsToSave(content.definitionList());
    const bool saved = archive.save();
    message = archive.errorString();
    return saved;
}

} // namespace LibraryFile
