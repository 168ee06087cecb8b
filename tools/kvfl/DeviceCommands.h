#pragma once

class CommandDispatcher;

/// The commands that read a device through the editor's worker thread and requests:
/// devices and list. Without --device they work on the first device a discovery finds.
namespace DeviceCommands {

/// Adds the device commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

} // namespace DeviceCommands
