#include "LibraryFile.h"

#include "Console.h"
#include "LibraryContent.h"

#include "KVFLArchive.h"
#include "QKVFixtureDefinition.h"

#include <QFileInfo>

namespace {

// The editor's words for a library it cannot read or write; scripts may look for them.
const char* const LoadFailedMessage = "Failed to open the library.";
const char* const SaveFailedMessage = "Failed to save the library.";

/// Says that `what` failed, with the archive's reason when it gave one.
bool report(const char* what, const QString& reason, Console& console)
{
    console.err() << what << '\n';
    if (!reason.isEmpty()) {
        console.err() << reason << '\n';
    }
    return false;
}

} // namespace

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

bool read(const QString& path, LibraryContent& content, Console& console, qsizetype* unreadable)
{
    QString message;
    QStringList unreadableMembers;
    if (!load(path, content, message, &unreadableMembers)) {
        return report(LoadFailedMessage, message, console);
    }
    // The editor opens such a library without a word; a script deserves to know that
    // the definitions after the damage are missing.
    if (!message.isEmpty()) {
        console.err() << "Warning: " << message << '\n';
    }
    // Nor are the definitions of broken members there; saving the library would lose them.
    for (const QString& member : std::as_const(unreadableMembers)) {
        console.err() << "Warning: the member " << member << " could not be read; its definition is left out.\n";
    }
    if (unreadable) {
        *unreadable = unreadableMembers.size();
    }
    return true;
}

bool readNamed(const QString& path,
               const CommandOptions& options,
               LibraryContent& content,
               QList<QKVFixtureDefinition*>& picked,
               Console& console)
{
    if (!read(path, content, console)) {
        return false;
    }
    QStringList unknown;
    picked = content.named(options.value(NameOption), unknown);
    for (const QString& name : std::as_const(unknown)) {
        console.err() << "The library holds no definition named \"" << name << "\".\n";
    }
    return unknown.isEmpty();
}

bool readForAdding(const QString& path, LibraryContent& content, Console& console)
{
    QString message;
    // A library that cannot be read is never replaced by a new one, nor one read in part
    // by what was read of it.
    return !QFileInfo::exists(path) || loadWhole(path, content, message) || report(LoadFailedMessage, message, console);
}

bool write(const QString& path, const LibraryContent& content, Console& console)
{
    QString message;
    return save(path, content, message) || report(SaveFailedMessage, message, console);
}

} // namespace LibraryFile
