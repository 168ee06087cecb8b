#pragma once

class CommandDispatcher;

/// The command that draws a library's channel sheets into a PDF, the same pages as the
/// editor's File > Export Channel Sheets as PDF.
namespace SheetCommand {

/// The word on the command line. Drawing needs fonts, so main() starts the GUI side of Qt
/// (without a display) for this command alone.
constexpr const char* Name = "sheet";

/// Adds the command to the tool's command table.
void addTo(CommandDispatcher& dispatcher);

} // namespace SheetCommand
