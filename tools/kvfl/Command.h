#pragma once

#include <QString>
#include <QStringList>

#include <QMap>

#include <functional>
#include <vector>

class Console;

/// Exit statuses of the tool, all in one place; scripts tell a refused command line
/// from a failed operation by them. A refused command line takes EX_USAGE of
/// <sysexits.h> so that it never collides with the statuses upload gives the device's
/// refusals.
namespace ExitCode {
constexpr int Success = 0;
constexpr int Failure = 1;
/// upload: the device's patch list must be erased before definitions can be written.
constexpr int PatchListNotEmpty = 2;
/// upload: the device has too few free slots for the definitions.
constexpr int NotEnoughMemory = 3;
/// upload: a definition has a channel count the devices refuse (DeviceFit::channelCountAccepted).
constexpr int ChannelRequirements = 4;
/// Unknown command or option, missing or extra arguments, a bad option value.
constexpr int Usage = 64;
} // namespace ExitCode

/// An option a command accepts besides the help options every command has.
struct CommandOption
{
    QString name; ///< with its dashes, e.g. "--device"
    bool takesValue = false; ///< "--device A" or "--device=A"; otherwise a flag
    QString valueName; ///< the value's placeholder in the help, e.g. "ADDRESS"
    QString description; ///< one or two sentences for the help
};

/// The options given to a command, by name: one value per use, in command-line order;
/// a flag gets an empty value per use.
using CommandOptions = QMap<QString, QStringList>;

/// A term of the help and what it means: an argument, or an exit status.
struct HelpEntry
{
    QString term;
    QString description;
};

/// One entry of the tool's command table. The dispatcher checks the argument count
/// against the bounds before the handler runs, so handlers can index their arguments.
/// The help is built from the same entry, so it cannot tell of an option the command
/// does not take.
struct Command
{
    /// Receives the operands after the command name and the options given; returns an
    /// ExitCode. A handler that finds its command line wrong after all (a bad value)
    /// prints one line saying why and returns ExitCode::Usage, before it prints
    /// anything else; the dispatcher adds the usage.
    using Handler = std::function<int(const QStringList& arguments, const CommandOptions& options, Console& console)>;

    QString name; ///< word on the command line, e.g. "dump"
    QString arguments; ///< the rest of the usage line, e.g. "LIBRARY [JSON-FILE]"
    QString summary; ///< one sentence for the help text
    int minArguments = 0;
    int maxArguments = 0;
    Handler run;
    std::vector<CommandOption> options;
    std::vector<HelpEntry> argumentHelp; ///< each operand of the usage line
    QString output; ///< what it prints on standard output, laid out as printed
    /// Statuses besides 0 and the usage error, with their meaning for this command.
    std::vector<HelpEntry> exitStatuses;
};
