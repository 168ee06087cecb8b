#pragma once

class CommandDispatcher;

/// The commands that read QLC+ fixture files (.qxf): the catalogue of those installed,
/// and importing their modes into a library.
namespace CatalogueCommands {

/// Adds the catalogue commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

} // namespace CatalogueCommands
