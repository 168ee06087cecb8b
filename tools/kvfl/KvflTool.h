#pragma once

class CommandDispatcher;

/// The whole tool as one command table, shared by main() and the tests that hold the
/// help to the table.
namespace KvflTool {

/// The program name in messages and in the help.
inline constexpr const char* ProgramName = "kvfl";

/// Adds every command, the description and the help sections about the environment.
void setUp(CommandDispatcher& dispatcher);

} // namespace KvflTool
