#pragma once

#include "Command.h"

class CommandDispatcher;
class Console;

/// The command that draws a library's channel sheets into a PDF, the same pages as the
/// editor's File > Export Channel Sheets as PDF.
namespace SheetCommand {

/// The word on the command line. Drawing needs fonts, so main() starts the GUI side of Qt
/// (without a display) for this command alone.
constexpr const char* Name = "sheet";

/// Adds the command to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

/// sheet LIBRARY OUT.pdf [--name NAME]...: writes the sheets of the definitions named, or
/// of all, in library order, on A4 or Letter by the locale.
int sheet(const QStringList& arguments, const CommandOptions& options, Console& console);

} // namespace SheetCommand
