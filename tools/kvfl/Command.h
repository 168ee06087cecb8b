#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Console;

/// Exit statuses of the tool; scripts tell a refused command line from a failed
/// operation by them.
namespace ExitCode {
constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int Usage = 2;
} // namespace ExitCode

/// One entry of the tool's command table. The dispatcher checks the argument count
/// against the bounds before the handler runs, so handlers can index their arguments.
struct Command
{
    /// Receives the arguments after the command name; returns an ExitCode.
    using Handler = std::function<int(const QStringList& arguments, Console& console)>;

    QString name; ///< word on the command line, e.g. "dump"
    QString arguments; ///< the rest of the usage line, e.g. "LIBRARY [JSON-FILE]"
    QString summary; ///< one sentence for the help text
    int minArguments = 0;
    int maxArguments = 0;
    Handler run;
};
