#pragma once

#include "ExitCode.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <limits>
#include <vector>

class Console;

/// An option a command accepts besides the help options every command has. The
/// dispatcher hands it to QCommandLineParser, and the help and the usage line are
/// written from it.
struct CommandOption
{
    /// How often the option may stand on a command line.
    enum Use {
        Once, ///< at most once that counts: the last value given wins
        Repeated, ///< any number of times, each value counts
        Required, ///< at least once, with a value that is not empty
    };

    QString name; ///< with its dashes, e.g. "--device"
    QString valueName; ///< the value's placeholder, e.g. "ADDRESS"; empty for a flag
    QString description; ///< one or two sentences for the help
    Use use = Once;
};

/// The options given to a command, by name with its dashes: the values in command-line
/// order (none for a flag).
using CommandOptions = QMap<QString, QStringList>;

/// The value given last for `name`, or empty; the last use of an option wins, as with
/// most command-line tools.
inline QString lastValue(const CommandOptions& options, const QString& name)
{
    const QStringList values = options.value(name);
    return values.isEmpty() ? QString() : values.last();
}

/// A term of the help and what it means: an exit status, or an environment variable.
struct HelpEntry
{
    QString term;
    QString description;
};

/// A command's operand: its placeholder and meaning in the help, and how many words of
/// the command line it takes.
struct CommandArgument
{
    static constexpr int Unlimited = std::numeric_limits<int>::max();

    QString term; ///< e.g. "LIBRARY"
    QString description;
    int least = 1;
    int most = 1;
};

/// One entry of the tool's command table. The dispatcher checks the command line
/// against the arguments and options before the handler runs, so handlers can index
/// their arguments. The help and the usage are built from the same entry, so they
/// cannot tell of an option the command does not take.
struct Command
{
    /// Receives the operands after the command name and the options given; returns an
    /// ExitCode. A handler that finds its command line wrong after all (a bad value)
    /// prints one line saying why and returns ExitCode::Usage, before it prints
    /// anything else; the dispatcher adds the usage.
    using Handler = std::function<int(const QStringList& arguments, const CommandOptions& options, Console& console)>;

    QString name; ///< word on the command line, e.g. "dump"
    QString summary; ///< one sentence for the help text
    Handler run;
    std::vector<CommandArgument> arguments; ///< in command-line order
    std::vector<CommandOption> options;
    QString output; ///< what it prints on standard output, laid out as printed
    /// Statuses besides 0 and the usage error, with their meaning for this command.
    std::vector<HelpEntry> exitStatuses;
};
