#pragma once

#include "Command.h"

class CommandDispatcher;
class Console;

/// The commands that read QLC+ fixture files (.qxf): the catalogue of those installed,
/// and importing their modes into a library.
namespace CatalogueCommands {

/// Adds the catalogue commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

/// catalogue [--search WORDS] [--folder DIR]...: the modes of the fixture files in QLC+'s
/// folders and the folders given, as JSON; unreadable files are named on standard error.
int catalogue(const QStringList& arguments, const CommandOptions& options, Console& console);
/// import-qxf LIBRARY FILE-OR-FOLDER... [--mode NAME]...: appends the modes of fixture
/// files to a library, made when missing, and prints what was added, skipped and failed.
int importQxf(const QStringList& arguments, const CommandOptions& options, Console& console);

} // namespace CatalogueCommands
