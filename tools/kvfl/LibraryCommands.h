#pragma once

#include "Command.h"

#include <QStringList>

class CommandDispatcher;
class Console;

/// The commands that work on library files: dump, create, info and check.
namespace LibraryCommands {

/// Adds the library commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

/// dump LIBRARY: the library as JSON (LibraryJson) on standard output.
int dump(const QStringList& arguments, Console& console);
/// create LIBRARY [JSON-FILE]: writes a library from JSON read from the file, or from
/// standard input when no file (or "-") is given.
int create(const QStringList& arguments, Console& console);
/// info LIBRARY: one line with the version, the number of definitions and whether the
/// file holds content that saving it again would lose.
int info(const QStringList& arguments, Console& console);
/// check LIBRARY [--name NAME]...: what the devices would refuse or change of each
/// definition (DeviceFit) as JSON; ExitCode::Failure when one would be refused.
int check(const QStringList& arguments, const CommandOptions& options, Console& console);

} // namespace LibraryCommands
