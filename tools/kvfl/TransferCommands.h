#pragma once

class CommandDispatcher;

/// The commands that change a device or copy definitions between it and a library:
/// upload, download, delete and clear-patch. Messages are the editor's own.
namespace TransferCommands {

/// Adds the transfer commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

} // namespace TransferCommands
