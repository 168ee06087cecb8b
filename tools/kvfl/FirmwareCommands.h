#pragma once

#include "Command.h"

class CommandDispatcher;
class Console;

/// The commands that read and make KVU2 firmware update files.
namespace FirmwareCommands {

/// Adds the firmware file commands to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

/// firmware-info FILE: the file's checks and layout as JSON; exits 1 when it is not valid.
int info(const QStringList& arguments, const CommandOptions& options, Console& console);
/// firmware-make OUT --model MODEL [--opaque HEX] [--note TEXT] SECTOR-FILE...: writes a
/// valid update file from sector images.
int make(const QStringList& arguments, const CommandOptions& options, Console& console);

/// firmware-update FILE [--device A]: writes the update into a device on the worker thread.
int update(const QStringList& arguments, const CommandOptions& options, Console& console);

} // namespace FirmwareCommands
