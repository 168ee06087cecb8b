#pragma once

#include "Command.h"

class CommandDispatcher;
class Console;

/// The commands that talk to a device through the editor's worker thread and requests.
/// Without --device they work on the first device a discovery finds.
namespace DeviceCommands {

/// Adds the device commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

/// devices: the discovered devices as a JSON array of {"model", "address"}. Fails when
/// some device did not answer; the devices that did are printed all the same.
int devices(const QStringList& arguments, const CommandOptions& options, Console& console);
/// list [--device ADDRESS]: the device's definitions as a JSON array, in device order.
int list(const QStringList& arguments, const CommandOptions& options, Console& console);

} // namespace DeviceCommands
