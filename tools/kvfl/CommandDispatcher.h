#pragma once

#include "Command.h"

#include <QString>
#include <QStringList>

#include <vector>

class Console;

/// Picks the command named on the command line from a table and runs it. A new
/// command is one more addCommand() call; the help text is built from the table.
///
/// Rules shared by every command: "-h" or "--help" alone prints the whole help on
/// standard output; "COMMAND --help" prints that command's usage; a lone "-" is an
/// ordinary argument (by convention standard input); "--" ends the options; an
/// option the command lists is taken with its value ("--device A" or "--device=A");
/// any other argument starting with "-" is refused, so a mistyped option never ends
/// up read as a file name.
class CommandDispatcher
{
public:
    explicit CommandDispatcher(const QString& programName);

    void addCommand(Command command);

    /// Runs the command line (`arguments` as QCoreApplication::arguments() gives
    /// them, the program path first) and returns the exit status.
    int run(const QStringList& arguments, Console& console) const;

    /// The whole help text, ending with a line end.
    QString usage() const;
    /// "Usage: PROGRAM NAME ARGUMENTS" for one command, ending with a line end.
    QString usage(const Command& command) const;

private:
    const Command* find(const QString& name) const;
    int refuse(Console& console, const QString& reason, const QString& usageText) const;

    QString m_programName;
    std::vector<Command> m_commands;
};
