#pragma once

#include <QString>
#include <QStringList>

#include <QMap>

#include <functional>
#include <vector>

class Console;

/// Exit statuses of the tool; scripts tell a refused command line from a failed
/// operation by them.
namespace ExitCode {
constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int Usage = 2;
} // namespace ExitCode

/// An option a command accepts besides the help options every command has.
struct CommandOption
{
    QString name; ///< with its dashes, e.g. "--device"
    bool takesValue = false; ///< "--device A" or "--device=A"; otherwise a flag
};

/// The options given to a command, by name: one value per use, in command-line order;
/// a flag gets an empty value per use.
using CommandOptions = QMap<QString, QStringList>;

/// One entry of the tool's command table. The dispatcher checks the argument count
/// against the bounds before the handler runs, so handlers can index their arguments.
struct Command
{
    /// Receives the operands after the command name and the options given; returns an
    /// ExitCode.
    using Handler = std::function<int(const QStringList& arguments, const CommandOptions& options, Console& console)>;

    QString name; ///< word on the command line, e.g. "dump"
    QString arguments; ///< the rest of the usage line, e.g. "LIBRARY [JSON-FILE]"
    QString summary; ///< one sentence for the help text
    int minArguments = 0;
    int maxArguments = 0;
    Handler run;
    std::vector<CommandOption> options;
};
