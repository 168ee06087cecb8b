#pragma once

class CommandDispatcher;

/// The commands that work on library files: dump, create, info and check.
namespace LibraryCommands {

/// Adds the library commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

} // namespace LibraryCommands
