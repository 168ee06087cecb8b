#include "LibraryCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "LibraryContent.h"
#include "LibraryFile.h"
#include "LibraryJson.h"

#include "DeviceFit.h"
#include "QKVFixtureDefinition.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

namespace {

// The editor's words for a library it cannot read; scripts may look for them.
const char* const LoadFailedMessage = "Failed to open the library.";
const char* const SaveFailedMessage = "Failed to save the library.";
const QLatin1String StandardInput("-");
const QLatin1String NameOption("--name");

/// Loads the library named by `path`, reporting on the console; false when it failed.
/// Returns the number of members that could not be read in `unreadable`.
bool loadLibrary(const QString& path, LibraryContent& content, Console& console, qsizetype* unreadable = nullptr)
{
    QString message;
    QStringList unreadableMembers;
    if (!LibraryFile::load(path, content, message, &unreadableMembers)) {
        console.err() << LoadFailedMessage << '\n';
        if (!message.isEmpty()) {
            console.err() << message << '\n';
        }
        return false;
    }
    // The editor opens such a library without a word; a script deserves to know that
    // the definitions after the damage are missing.
    if (!message.isEmpty()) {
        console.err() << "Warning: " << message << '\n';
    }
    // Nor are the definitions of broken members there; saving the library would lose them.
    for (const QString& member : std::as_const(unreadableMembers)) {
        console.err() << "Warning: the member " << member << " could not be read; its definition is left out.\n";
    }
    if (unreadable) {
        *unreadable = unreadableMembers.size();
    }
    return true;
}

QString severityWord(DeviceFit::Severity severity)
{
    return severity == DeviceFit::Severity::Refused ? QStringLiteral("refused") : QStringLiteral("changed");
}

/// The library commands take no options of their own.
Command::Handler withoutOptions(int (*handler)(const QStringList&, Console&))
{
    return [handler](const QStringList& arguments, const CommandOptions&, Console& console) {
        return handler(arguments, console);
    };
}

} // namespace

namespace LibraryCommands {

void addTo(CommandDispatcher& dispatcher)
{
    const HelpEntry library {QStringLiteral("LIBRARY"), QStringLiteral("A fixture library file (.kvfl).")};
    const HelpEntry unreadable {QString::number(ExitCode::Failure),
                                QStringLiteral("The library cannot be read (\"Failed to open the library.\" and the "
                                               "reason on standard error).")};

    Command dumpCommand;
    dumpCommand.name = QStringLiteral("dump");
    dumpCommand.arguments = QStringLiteral("LIBRARY");
    dumpCommand.summary = QStringLiteral("Print the definitions of a library as JSON.");
    dumpCommand.minArguments = 1;
    dumpCommand.maxArguments = 1;
    dumpCommand.run = withoutOptions(dump);
    dumpCommand.argumentHelp = {library};
    dumpCommand.output = QStringLiteral("The library as one JSON object, the form create reads:\n"
                                        "{\"version\": \"01.00\", \"unsupportedContent\": false, \"definitions\": [\n"
                                        "  {\"name\": \"Spot 250\", \"shortName\": \"\", \"autoShortName\": true,\n"
                                        "   \"manufacturer\": \"Acme\", \"manufacturerShort\": \"\",\n"
                                        "   \"autoManufacturerShort\": true, \"type\": 0,\n"
                                        "   \"channels\": [{\"number\": 1, \"name\": \"Pan\", \"shortName\": \"\",\n"
                                        "                 \"autoShortName\": true}]}]}\n"
                                        "\"type\" is a fixture type code from 0 to 10, or -1 for none. A library the\n"
                                        "editor opened with a warning is dumped all the same; the warning goes to\n"
                                        "standard error, as does one line for each member that could not be read\n"
                                        "(its definition is missing from the dump).");
    dumpCommand.exitStatuses = {unreadable};
    dispatcher.addCommand(std::move(dumpCommand));

    Command createCommand;
    createCommand.name = QStringLiteral("create");
    createCommand.arguments = QStringLiteral("LIBRARY [JSON-FILE]");
    createCommand.summary = QStringLiteral("Write a library from JSON as dump prints it (default: standard input).");
    createCommand.minArguments = 1;
    createCommand.maxArguments = 2;
    createCommand.run = withoutOptions(create);
    createCommand.argumentHelp
        = {{QStringLiteral("LIBRARY"), QStringLiteral("The library file to write; an existing one is replaced.")},
           {QStringLiteral("JSON-FILE"),
            QStringLiteral("The definitions as dump prints them; absent or \"-\": standard input. "
                           "\"version\" and \"unsupportedContent\" are ignored, an absent field takes its "
                           "default, an unknown field or one of the wrong type is refused.")}};
    createCommand.exitStatuses
        = {{QString::number(ExitCode::Failure),
            QStringLiteral("The JSON cannot be read or is refused (its place is named), or the library cannot be "
                           "written; no library is left behind.")}};
    dispatcher.addCommand(std::move(createCommand));

    Command infoCommand;
    infoCommand.name = QStringLiteral("info");
    infoCommand.arguments = QStringLiteral("LIBRARY");
    infoCommand.summary = QStringLiteral("Print the version and the number of definitions of a library.");
    infoCommand.minArguments = 1;
    infoCommand.maxArguments = 1;
    infoCommand.run = withoutOptions(info);
    infoCommand.argumentHelp = {library};
    infoCommand.output = QStringLiteral("One line, for example:\n"
                                        "version 01.00, 3 definitions, unsupported content: no, unreadable: 0\n"
                                        "\"unsupported content: yes\" when saving the file again would lose "
                                        "part of it.\n"
                                        "\"unreadable\" counts the members that could not be read (broken XML);\n"
                                        "each is named on standard error, and saving the file again loses them.");
    infoCommand.exitStatuses = {unreadable};
    dispatcher.addCommand(std::move(infoCommand));

    Command checkCommand;
    checkCommand.name = QStringLiteral("check");
    checkCommand.arguments = QStringLiteral("LIBRARY [--name NAME]...");
    checkCommand.summary = QStringLiteral("Print what the devices would refuse or change of each definition, as JSON.");
    checkCommand.minArguments = 1;
    checkCommand.maxArguments = 1;
    checkCommand.run = check;
    checkCommand.options = {{NameOption,
                             true,
                             QStringLiteral("NAME"),
                             QStringLiteral("Check only the definitions of this name, as upload picks them; may be "
                                            "given more than once. Default: all.")}};
    checkCommand.argumentHelp = {library};
    checkCommand.output
        = QStringLiteral("A JSON array of the definitions checked, in library order, with an empty\n"
                         "\"findings\" for one the devices hold exactly:\n"
                         "[{\"name\": \"Spot 中\", \"manufacturer\": \"Acme\", \"findings\": [\n"
                         "   {\"severity\": \"changed\", \"field\": \"Fixture Name\",\n"
                         "    \"text\": \"Fixture Name: “中” will show as “?”\"}]}]\n"
                         "\"refused\": upload refuses the library for it; \"changed\": the device will\n"
                         "hold it otherwise than the library does, as \"text\" says. \"field\" is the\n"
                         "editor's label of the field concerned.");
    checkCommand.exitStatuses
        = {{QString::number(ExitCode::Failure),
            QStringLiteral("A definition would be refused, the library cannot be read (\"Failed to open the "
                           "library.\" on standard error), or it holds no definition of a name given.")}};
    dispatcher.addCommand(std::move(checkCommand));
}

int dump(const QStringList& arguments, Console& console)
{
    LibraryContent content;
    if (!loadLibrary(arguments.at(0), content, console)) {
        return ExitCode::Failure;
    }
    console.out() << QJsonDocument(LibraryJson::toJson(content)).toJson(QJsonDocument::Indented);
    return ExitCode::Success;
}

int create(const QStringList& arguments, Console& console)
{
    const QString libraryPath = arguments.at(0);
    const QString jsonPath = arguments.value(1, StandardInput);
    const bool fromInput = jsonPath == StandardInput;
    const QString source = fromInput ? QStringLiteral("standard input") : jsonPath;

    QByteArray text;
    if (fromInput) {
        text = console.readAllInput();
    } else {
        QFile file(jsonPath);
        if (!file.open(QIODevice::ReadOnly)) {
            console.err() << "Failed to read " << source << ": " << file.errorString() << '\n';
            return ExitCode::Failure;
        }
        text = file.readAll();
    }

    LibraryContent content;
    LibraryJson reader;
    if (!reader.read(text, content)) {
        console.err() << "Invalid library JSON in " << source << ": " << reader.errorString() << '\n';
        return ExitCode::Failure;
    }

    QString message;
    if (!LibraryFile::save(libraryPath, content, message)) {
        console.err() << SaveFailedMessage << '\n';
        if (!message.isEmpty()) {
            console.err() << message << '\n';
        }
        return ExitCode::Failure;
    }
    return ExitCode::Success;
}

int info(const QStringList& arguments, Console& console)
{
    LibraryContent content;
    qsizetype unreadable = 0;
    if (!loadLibrary(arguments.at(0), content, console, &unreadable)) {
        return ExitCode::Failure;
    }
    const auto count = static_cast<qulonglong>(content.definitions.size());
    console.out() << "version " << content.version << ", " << count << (count == 1 ? " definition" : " definitions")
                  << ", unsupported content: " << (content.unsupportedContent ? "yes" : "no")
                  << ", unreadable: " << static_cast<qulonglong>(unreadable) << '\n';
    return ExitCode::Success;
}

int check(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    LibraryContent content;
    if (!loadLibrary(arguments.at(0), content, console)) {
        return ExitCode::Failure;
    }
    QStringList unknown;
    const QList<QKVFixtureDefinition*> definitions = content.named(options.value(NameOption), unknown);
    for (const QString& name : std::as_const(unknown)) {
        console.err() << "The library holds no definition named \"" << name << "\".\n";
    }
    if (!unknown.isEmpty()) {
        return ExitCode::Failure;
    }
    QJsonArray checked;
    bool refused = false;
    for (const QKVFixtureDefinition* definition : definitions) {
        QJsonArray findings;
        for (const DeviceFit::Finding& finding : DeviceFit::check(*definition)) {
            refused = refused || finding.severity == DeviceFit::Severity::Refused;
            findings.append(QJsonObject {{QStringLiteral("severity"), severityWord(finding.severity)},
                                         {QStringLiteral("field"), finding.field},
                                         {QStringLiteral("text"), finding.text}});
        }
        checked.append(QJsonObject {{QStringLiteral("name"), definition->name()},
                                    {QStringLiteral("manufacturer"), definition->manufacturer()},
                                    {QStringLiteral("findings"), findings}});
    }
    // Qt spreads an empty array over two lines; "[]" is what a script compares with.
    console.out() << (checked.isEmpty() ? QByteArray("[]\n") : QJsonDocument(checked).toJson(QJsonDocument::Indented));
    return refused ? ExitCode::Failure : ExitCode::Success;
}

} // namespace LibraryCommands
