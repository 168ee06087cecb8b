#include "CommandDispatcher.h"

#include "Console.h"
#include "HelpText.h"

#include <QCommandLineParser>

#include <algorithm>
#include <map>
#include <utility>

namespace {

const QLatin1String LongHelpOption("--help");
const QLatin1String ShortHelpOption("-h");
const QLatin1String HelpWord("help");
const QLatin1String VersionOption("--version");

// Where the columns of the help start: commands and sections at 2, a command's
// details at 6, descriptions of terms at 24 (26 under a command).
constexpr int SectionIndent = 2;
constexpr int DetailIndent = 6;
constexpr int TermColumn = 24;
constexpr int DetailTermColumn = 26;
constexpr int ExitStatusColumn = 8;

const char* const SuccessMeaning = "Success.";
const char* const UsageMeaning = "The command line was refused: unknown command or option, missing or extra "
                                 "arguments, a bad value. Nothing was done.";

bool isHelpOption(const QString& argument)
{
    return argument == LongHelpOption || argument == ShortHelpOption;
}

HelpEntry helpOptionEntry()
{
    return {QStringLiteral("-h, --help"), QStringLiteral("Show this help and exit.")};
}

/// The option as QCommandLineParser knows it: its name without the dashes.
QString parserName(const CommandOption& option)
{
    return option.name.mid(2);
}

QString optionWord(const CommandOption& option)
{
    return option.valueName.isEmpty() ? option.name : option.name + QLatin1Char(' ') + option.valueName;
}

/// The option as the usage line shows it: "--model MODEL", "[--note TEXT]" or
/// "[--name NAME]...".
QString optionSynopsis(const CommandOption& option)
{
    switch (option.use) {
        case CommandOption::Required:
            return optionWord(option);
        case CommandOption::Repeated:
            return QLatin1Char('[') + optionWord(option) + QStringLiteral("]...");
        case CommandOption::Once:
            break;
    }
    return QLatin1Char('[') + optionWord(option) + QLatin1Char(']');
}

/// Why QCommandLineParser refused the command line, in the words of the rest of the tool.
QString parseError(const Command& command, const QCommandLineParser& parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString dashes = unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
        return QStringLiteral("unknown option \"%1%2\"").arg(dashes, unknown.first());
    }
    // The parser's message quotes the option it stumbled on; whether a value was missing
    // or one too many follows from the option's declaration.
    std::vector<CommandOption> options = command.options;
    options.push_back({LongHelpOption, QString(), QString()});
    for (const CommandOption& option : options) {
        if (parser.errorText().contains(QLatin1Char('\'') + option.name + QLatin1Char('\''))) {
            const QString reason = option.valueName.isEmpty() ? QStringLiteral("option %1 takes no value")
                                                              : QStringLiteral("option %1 needs a value");
            return reason.arg(option.name);
        }
    }
    return parser.errorText();
}

} // namespace

CommandDispatcher::CommandDispatcher(const QString& programName) : m_programName(programName) { }

void CommandDispatcher::addCommand(Command command)
{
    Q_ASSERT(command.run);
    Q_ASSERT(!find(command.name));
    Q_ASSERT(command.name != HelpWord);
    m_commands.push_back(std::move(command));
}

void CommandDispatcher::setDescription(const QString& description)
{
    m_description = description;
}

void CommandDispatcher::setVersion(const QString& version)
{
    m_version = version;
}

void CommandDispatcher::addHelpSection(const QString& title, const std::vector<HelpEntry>& entries)
{
    m_sections.push_back({title, entries});
}

const Command* CommandDispatcher::find(const QString& name) const
{
    const auto it
        = std::find_if(m_commands.begin(), m_commands.end(), [&](const Command& c) { return c.name == name; });
    return it == m_commands.end() ? nullptr : &*it;
}

QString CommandDispatcher::synopsis(const Command& command)
{
    QStringList words {command.name};
    for (const CommandArgument& argument : command.arguments) {
        const QString word = argument.least == 0 ? QLatin1Char('[') + argument.term + QLatin1Char(']') : argument.term;
        words.append(argument.most > 1 ? word + QStringLiteral("...") : word);
    }
    QStringList options;
    for (const CommandOption& option : command.options) {
        options.append(optionSynopsis(option));
    }
    if (!options.isEmpty()) {
        const bool repeatsAtEnd = !command.arguments.empty() && command.arguments.back().most > 1;
        words.insert(repeatsAtEnd ? words.size() - 1 : words.size(), options.join(QLatin1Char(' ')));
    }
    return words.join(QLatin1Char(' '));
}

QString CommandDispatcher::usageLine(const Command& command) const
{
    const QString usage = QStringLiteral("Usage: ");
    // A long synopsis goes on under the program name, as man pages lay it out.
    return HelpText::wrap(usage + m_programName + QLatin1Char(' ') + synopsis(command), 0, usage.size());
}

std::vector<HelpEntry> CommandDispatcher::optionEntries(const Command& command) const
{
    std::vector<HelpEntry> entries;
    for (const CommandOption& option : command.options) {
        entries.push_back({optionWord(option), option.description});
    }
    return entries;
}

std::vector<HelpEntry> CommandDispatcher::exitEntries(const Command& command) const
{
    std::vector<HelpEntry> entries {{QStringLiteral("0"), QString::fromLatin1(SuccessMeaning)}};
    entries.insert(entries.end(), command.exitStatuses.begin(), command.exitStatuses.end());
    entries.push_back({QString::number(ExitCode::Usage), QString::fromLatin1(UsageMeaning)});
    return entries;
}

QString CommandDispatcher::usage(const Command& command) const
{
    return usageLine(command)
        + QStringLiteral("Run \"%1 %2 --help\" for its arguments, options and output.\n")
              .arg(m_programName, command.name);
}

QString CommandDispatcher::usage() const
{
    QString text = QStringLiteral("Usage: %1 COMMAND [ARGUMENTS]\n\nCommands:\n").arg(m_programName);
    std::vector<HelpEntry> entries;
    for (const Command& command : m_commands) {
        entries.push_back({command.name, command.summary});
    }
    text += HelpText::entries(entries, SectionIndent, TermColumn);
    text += QStringLiteral("\nRun \"%1 --help\" for the whole help, \"%1 COMMAND --help\" for one command's.\n")
                .arg(m_programName);
    return text;
}

QString CommandDispatcher::help(const Command& command) const
{
    QString text = usageLine(command) + QLatin1Char('\n');
    text += HelpText::wrap(command.summary, 0);
    if (!command.arguments.empty()) {
        std::vector<HelpEntry> arguments;
        for (const CommandArgument& argument : command.arguments) {
            arguments.push_back({argument.term, argument.description});
        }
        text += QStringLiteral("\nArguments:\n") + HelpText::entries(arguments, SectionIndent, TermColumn);
    }
    std::vector<HelpEntry> options = optionEntries(command);
    options.push_back(helpOptionEntry());
    text += QStringLiteral("\nOptions:\n") + HelpText::entries(options, SectionIndent, TermColumn);
    if (!command.output.isEmpty()) {
        text += QStringLiteral("\nOutput:\n") + HelpText::indented(command.output, SectionIndent);
    }
    text += QStringLiteral("\nExit status:\n")
        + HelpText::entries(exitEntries(command), SectionIndent, ExitStatusColumn);
    return text;
}

QString CommandDispatcher::help() const
{
    QString text = QStringLiteral("Usage: %1 COMMAND [ARGUMENTS]\n"
                                  "       %1 COMMAND --help\n"
                                  "       %1 --help | -h | help [COMMAND]\n")
                       .arg(m_programName);
    if (!m_version.isEmpty()) {
        text += QStringLiteral("       %1 %2\n").arg(m_programName, VersionOption);
    }
    if (!m_description.isEmpty()) {
        text += QLatin1Char('\n') + HelpText::wrap(m_description, 0);
    }

    text += QStringLiteral("\nCommands:\n");
    for (const Command& command : m_commands) {
        text += HelpText::wrap(synopsis(command), SectionIndent, SectionIndent);
        text += HelpText::wrap(command.summary, DetailIndent);
        text += HelpText::entries(optionEntries(command), DetailIndent, DetailTermColumn);
    }
    text += QStringLiteral("\nOptions of every command:\n");
    text += HelpText::entries(
        {{QStringLiteral("-h, --help"), QStringLiteral("Show the command's help and exit.")},
         {QStringLiteral("--"), QStringLiteral("The words after it are arguments, even with a dash.")}},
        SectionIndent,
        TermColumn);

    text += QStringLiteral("\nOutput:\n");
    for (const Command& command : m_commands) {
        if (!command.output.isEmpty()) {
            text += HelpText::wrap(command.name, SectionIndent)
                + HelpText::indented(command.output, SectionIndent + SectionIndent);
        }
    }

    for (const HelpSection& section : m_sections) {
        text += QLatin1Char('\n') + section.title + QStringLiteral(":\n")
            + HelpText::entries(section.entries, SectionIndent, TermColumn);
    }

    // The statuses some commands give beyond success and failure, by number, with the
    // commands that give them.
    std::map<int, std::vector<HelpEntry>> special;
    for (const Command& command : m_commands) {
        for (const HelpEntry& status : command.exitStatuses) {
            const int code = status.term.toInt();
            if (code != ExitCode::Failure) {
                special[code].push_back({command.name, status.description});
            }
        }
    }
    std::vector<HelpEntry> statuses {
        {QStringLiteral("0"), QString::fromLatin1(SuccessMeaning)},
        {QString::number(ExitCode::Failure), QStringLiteral("The operation failed; the reason is on standard error.")}};
    for (const auto& [code, meanings] : special) {
        QString description;
        for (const HelpEntry& meaning : meanings) {
            // "upload: the device's patch list ...", the sentence continued after the name.
            QString sentence = meaning.description;
            sentence[0] = sentence.at(0).toLower();
            description += (description.isEmpty() ? QString() : QStringLiteral("\n")) + meaning.term
                + QStringLiteral(": ") + sentence;
        }
        statuses.push_back({QString::number(code), description});
    }
    statuses.push_back({QString::number(ExitCode::Usage), QString::fromLatin1(UsageMeaning)});
    text += QStringLiteral("\nExit status:\n") + HelpText::entries(statuses, SectionIndent, ExitStatusColumn);
    return text;
}

int CommandDispatcher::refuse(Console& console, const QString& reason, const QString& usageText) const
{
    console.err() << m_programName << ": " << reason << '\n' << usageText;
    return ExitCode::Usage;
}

int CommandDispatcher::runHelp(const QStringList& words, Console& console) const
{
    if (words.size() == 1 || (words.size() == 2 && isHelpOption(words.at(1)))) {
        console.out() << help();
        return ExitCode::Success;
    }
    if (words.size() > 2) {
        return refuse(console, QStringLiteral("%1: too many arguments").arg(words.first()), usage());
    }
    const Command* command = find(words.at(1));
    if (!command) {
        return refuse(console, QStringLiteral("unknown command \"%1\"").arg(words.at(1)), usage());
    }
    console.out() << help(*command);
    return ExitCode::Success;
}

int CommandDispatcher::run(const QStringList& arguments, Console& console) const
{
    const QStringList words = arguments.mid(1);
    if (words.isEmpty()) {
        return refuse(console, QStringLiteral("no command given"), usage());
    }
    if (isHelpOption(words.first()) || words.first() == HelpWord) {
        return runHelp(words, console);
    }
    if (!m_version.isEmpty() && words == QStringList {VersionOption}) {
        console.out() << m_programName << ' ' << m_version << '\n';
        return ExitCode::Success;
    }

    const Command* command = find(words.first());
    if (!command) {
        return refuse(console, QStringLiteral("unknown command \"%1\"").arg(words.first()), usage());
    }
    return runCommand(*command, words, console);
}

int CommandDispatcher::runCommand(const Command& command, const QStringList& words, Console& console) const
{
    QCommandLineParser parser;
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(helpOption);
    for (const CommandOption& option : command.options) {
        parser.addOption(QCommandLineOption(parserName(option), option.description, option.valueName));
    }
    // The command name stands where the parser expects the program.
    if (!parser.parse(words)) {
        return refuse(console, parseError(command, parser), usage(command));
    }
    if (parser.isSet(helpOption)) {
        console.out() << help(command);
        return ExitCode::Success;
    }

    const QStringList operands = parser.positionalArguments();
    qint64 least = 0;
    qint64 most = 0;
    for (const CommandArgument& argument : command.arguments) {
        least += argument.least;
        most += argument.most;
    }
    if (operands.size() < least) {
        return refuse(console, QStringLiteral("%1: missing argument").arg(command.name), usage(command));
    }
    if (operands.size() > most) {
        return refuse(console, QStringLiteral("%1: too many arguments").arg(command.name), usage(command));
    }
    CommandOptions options;
    for (const CommandOption& option : command.options) {
        const QStringList values = parser.values(parserName(option));
        if (option.use == CommandOption::Required && (values.isEmpty() || values.last().isEmpty())) {
            return refuse(console, QStringLiteral("%1 needs %2").arg(command.name, optionWord(option)), usage(command));
        }
        if (parser.isSet(parserName(option))) {
            options.insert(option.name, values);
        }
    }
    const int status = command.run(operands, options, console);
    if (status == ExitCode::Usage) {
        // The handler has said what it found wrong; the usage follows as for any other
        // refused command line.
        console.err() << usage(command);
    }
    return status;
}
