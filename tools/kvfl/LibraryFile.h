#pragma once

#include "Command.h"

#include <QList>
#include <QString>
#include <QStringList>

class Console;
class QKVFixtureDefinition;
struct LibraryContent;

/// Reads and writes .kvfl files the way the editor does, so that what the tool shows
/// is what the editor would open, and what it writes the editor opens unchanged.
namespace LibraryFile {

/// The option by which a command picks definitions by name (readNamed()).
inline const QString NameOption = QStringLiteral("--name");

/// Reads `path` into `content` (which must be empty): KVFLArchive::load(), then a copy
/// of each definition the archive's loaders produced, in archive order.
///
/// Returns false when the archive refuses the file; `message` then holds its reason.
/// A library damaged after some members still loads; `message` then says so, and
/// `content` holds the definitions read before the damage. Otherwise it is emptied.
/// `unreadableMembers`, when given, receives the names of the members that could not be
/// read (broken XML); their definitions are missing from `content`.
bool load(const QString& path, LibraryContent& content, QString& message, QStringList* unreadableMembers = nullptr);

/// load() for a library that will be written back with more in it: a library read only in
/// part (damaged, a member unreadable, content the editor does not keep) is refused as
/// well, since saving would lose the rest; `message` then says why.
bool loadWhole(const QString& path, LibraryContent& content, QString& message);

/// Writes `content`'s definitions, in order, as a new library file at `path`
/// (KVFLArchive::setDefinitionsToSave() and save()). On failure `message` holds the
/// archive's reason, and a file already at `path` is left as it was.
bool save(const QString& path, const LibraryContent& content, QString& message);

/// load() for a command that reads a library: when it fails, says so on the console in
/// the editor's words ("Failed to open the library.") with the reason. A library read
/// only in part is read all the same, with a warning for the damage and for each member
/// left out; `unreadable`, when given, receives how many members could not be read.
bool read(const QString& path, LibraryContent& content, Console& console, qsizetype* unreadable = nullptr);
/// read(), then the definitions the --name options pick (LibraryContent::named()).
/// Fails, naming each, when a name given is held by no definition.
bool readNamed(const QString& path,
               const CommandOptions& options,
               LibraryContent& content,
               QList<QKVFixtureDefinition*>& picked,
               Console& console);
/// loadWhole() for a command that adds to a library: a missing library is an empty one,
/// one that cannot be read whole is refused as read() refuses it.
bool readForAdding(const QString& path, LibraryContent& content, Console& console);
/// save(), saying on the console when it fails ("Failed to save the library.").
bool write(const QString& path, const LibraryContent& content, Console& console);

} // namespace LibraryFile
