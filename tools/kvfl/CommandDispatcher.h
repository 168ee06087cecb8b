#pragma once

#include "Command.h"

#include <QString>
#include <QStringList>

#include <vector>

class Console;

/// Picks the command named on the command line from a table and runs it. A new
/// command is one more addCommand() call; the help text is built from the table.
///
/// Rules shared by every command: "-h", "--help" or "help" alone prints the whole help
/// on standard output, and with a command name that command's help, as does "COMMAND
/// --help". The rest of a command line goes through QCommandLineParser with the
/// command's options: a lone "-" is an ordinary argument (by convention standard
/// input); "--" ends the options; an option the command lists is taken with its value
/// ("--device A" or "--device=A"); any other argument starting with "-" is refused, so
/// a mistyped option never ends up read as a file name. A refused command line exits
/// with ExitCode::Usage, one line saying why and the usage on standard error, and
/// nothing on standard output.
class CommandDispatcher
{
public:
    explicit CommandDispatcher(const QString& programName);

    void addCommand(Command command);
    /// The paragraph under the synopsis of the whole help.
    void setDescription(const QString& description);
    /// A section of the whole help after the output formats, e.g. the environment.
    void addHelpSection(const QString& title, const std::vector<HelpEntry>& entries);
    /// What "--version" alone prints after the program name. Without a version the
    /// option is refused like any unknown command.
    void setVersion(const QString& version);

    /// The command table, in the order of the help.
    const std::vector<Command>& commands() const { return m_commands; }

    /// Runs the command line (`arguments` as QCoreApplication::arguments() gives
    /// them, the program path first) and returns the exit status.
    int run(const QStringList& arguments, Console& console) const;

    /// The whole help: every command with its options, the output formats, the extra
    /// sections and every exit status. Ends with a line end.
    QString help() const;
    /// One command's help: usage, arguments, options, output and exit statuses.
    QString help(const Command& command) const;
    /// The short usage shown with a refused command line: the synopsis and the
    /// commands.
    QString usage() const;
    /// "Usage: PROGRAM NAME ARGUMENTS" for one command and where to find more, ending
    /// with a line end.
    QString usage(const Command& command) const;
    /// The command's arguments and options as its usage line shows them: the options
    /// before an argument that repeats at the end, after the arguments otherwise.
    static QString synopsis(const Command& command);

private:
    struct HelpSection
    {
        QString title;
        std::vector<HelpEntry> entries;
    };

    const Command* find(const QString& name) const;
    int refuse(Console& console, const QString& reason, const QString& usageText) const;
    int runHelp(const QStringList& words, Console& console) const;
    int runCommand(const Command& command, const QStringList& words, Console& console) const;
    QString usageLine(const Command& command) const;
    std::vector<HelpEntry> optionEntries(const Command& command) const;
    std::vector<HelpEntry> exitEntries(const Command& command) const;

    QString m_programName;
    QString m_description;
    QString m_version;
    std::vector<Command> m_commands;
    std::vector<HelpSection> m_sections;
};
