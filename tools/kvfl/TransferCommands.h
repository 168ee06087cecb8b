#pragma once

#include "Command.h"

class CommandDispatcher;
class Console;

/// The commands that change a device or copy definitions between it and a library:
/// upload, download, delete and clear-patch. Messages are the editor's own.
namespace TransferCommands {

/// Adds the transfer commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

/// upload LIBRARY [--device A] [--clear-patch] [--name NAME]...: writes the library's
/// definitions (or those named), in library order, with one write request. The write
/// request's own refusals exit with ExitCode::PatchListNotEmpty, NotEnoughMemory and
/// ChannelRequirements.
int upload(const QStringList& arguments, const CommandOptions& options, Console& console);
/// download LIBRARY [--device A] [RECORD]...: reads the given records (all when none are
/// given) and appends them to the library, which is created when missing. A word that
/// is no record number is a usage error.
int download(const QStringList& arguments, const CommandOptions& options, Console& console);
/// delete [--device A] RECORD...: deletes the given records on the device.
int remove(const QStringList& arguments, const CommandOptions& options, Console& console);
/// clear-patch [--device A]: empties the device's patch list.
int clearPatch(const QStringList& arguments, const CommandOptions& options, Console& console);

} // namespace TransferCommands
