#pragma once

class CommandDispatcher;

/// The commands that read, make and write KVU2 firmware update files.
namespace FirmwareCommands {

/// Adds the firmware file commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

} // namespace FirmwareCommands
