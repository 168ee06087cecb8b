#include "CommandDispatcher.h"

#include "Console.h"

#include <algorithm>
#include <utility>

namespace {

const QLatin1String LongHelpOption("--help");
const QLatin1String ShortHelpOption("-h");
const QLatin1String EndOfOptions("--");
const QLatin1String StandardStream("-");
constexpr int SummaryColumn = 32;

bool isHelpOption(const QString& argument)
{
    return argument == LongHelpOption || argument == ShortHelpOption;
}

const CommandOption* findOption(const Command& command, const QString& name)
{
    const auto it = std::find_if(
        command.options.begin(), command.options.end(), [&](const CommandOption& o) { return o.name == name; });
    return it == command.options.end() ? nullptr : &*it;
}

} // namespace

CommandDispatcher::CommandDispatcher(const QString& programName) : m_programName(programName) { }

void CommandDispatcher::addCommand(Command command)
{
    Q_ASSERT(command.run);
    Q_ASSERT(command.minArguments <= command.maxArguments);
    Q_ASSERT(!find(command.name));
    m_commands.push_back(std::move(command));
}

const Command* CommandDispatcher::find(const QString& name) const
{
    const auto it
        = std::find_if(m_commands.begin(), m_commands.end(), [&](const Command& c) { return c.name == name; });
    return it == m_commands.end() ? nullptr : &*it;
}

QString CommandDispatcher::usage(const Command& command) const
{
    QString line = QStringLiteral("Usage: %1 %2").arg(m_programName, command.name);
    if (!command.arguments.isEmpty()) {
        line += QLatin1Char(' ') + command.arguments;
    }
    return line + QLatin1Char('\n');
}

QString CommandDispatcher::usage() const
{
    QString text = QStringLiteral("Usage: %1 COMMAND [ARGUMENTS]\n\nCommands:\n").arg(m_programName);
    for (const Command& command : m_commands) {
        QString synopsis = QStringLiteral("  ") + command.name;
        if (!command.arguments.isEmpty()) {
            synopsis += QLatin1Char(' ') + command.arguments;
        }
        text += synopsis.leftJustified(SummaryColumn - 1) + QLatin1Char(' ') + command.summary + QLatin1Char('\n');
    }
    text += QStringLiteral("\nOptions:\n");
    text += QStringLiteral("  -h, --help").leftJustified(SummaryColumn - 1)
        + QStringLiteral(" Show this help, or with a command, its usage.\n");
    text += QStringLiteral("\nExit status: 0 on success, 1 when the operation failed, 2 for a bad command line.\n");
    return text;
}

int CommandDispatcher::refuse(Console& console, const QString& reason, const QString& usageText) const
{
    console.err() << m_programName << ": " << reason << '\n' << usageText;
    return ExitCode::Usage;
}

int CommandDispatcher::run(const QStringList& arguments, Console& console) const
{
    const QStringList words = arguments.mid(1);
    if (words.isEmpty()) {
        return refuse(console, QStringLiteral("no command given"), usage());
    }
    if (isHelpOption(words.first()) && words.size() == 1) {
        console.out() << usage();
        return ExitCode::Success;
    }

    const Command* command = find(words.first());
    if (!command) {
        return refuse(console, QStringLiteral("unknown command \"%1\"").arg(words.first()), usage());
    }

    QStringList operands;
    CommandOptions options;
    bool optionsEnded = false;
    const QStringList rest = words.mid(1);
    for (int i = 0; i < rest.size(); ++i) {
        const QString& word = rest.at(i);
        if (optionsEnded || word == StandardStream || !word.startsWith(QLatin1Char('-'))) {
            operands.append(word);
            continue;
        }
        if (word == EndOfOptions) {
            optionsEnded = true;
            continue;
        }
        if (isHelpOption(word)) {
            console.out() << usage(*command) << command->summary << '\n';
            return ExitCode::Success;
        }
        const QString name = word.section(QLatin1Char('='), 0, 0);
        const CommandOption* option = findOption(*command, name);
        if (!option) {
            return refuse(console, QStringLiteral("unknown option \"%1\"").arg(word), usage(*command));
        }
        const bool inlineValue = name.size() < word.size();
        if (!option->takesValue) {
            if (inlineValue) {
                return refuse(console, QStringLiteral("option %1 takes no value").arg(name), usage(*command));
            }
            options[name].append(QString());
        } else if (inlineValue) {
            options[name].append(word.mid(name.size() + 1));
        } else if (i + 1 < rest.size()) {
            // The next word is the value even when it starts with a dash.
            options[name].append(rest.at(++i));
        } else {
            return refuse(console, QStringLiteral("option %1 needs a value").arg(name), usage(*command));
        }
    }

    if (operands.size() < command->minArguments) {
        return refuse(console, QStringLiteral("%1: missing argument").arg(command->name), usage(*command));
    }
    if (operands.size() > command->maxArguments) {
        return refuse(console, QStringLiteral("%1: too many arguments").arg(command->name), usage(*command));
    }
    return command->run(operands, options, console);
}
