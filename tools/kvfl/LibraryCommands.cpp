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

namespace {

const QLatin1String StandardInput("-");

const char* const DumpOutput = "The library as one JSON object, the form create reads:\n"
                               "{\"version\": \"01.00\", \"unsupportedContent\": false, \"definitions\": [\n"
                               "  {\"name\": \"Spot 250\", \"shortName\": \"\", \"autoShortName\": true,\n"
                               "   \"manufacturer\": \"Acme\", \"manufacturerShort\": \"\",\n"
                               "   \"autoManufacturerShort\": true, \"type\": 0,\n"
                               "   \"channels\": [{\"number\": 1, \"name\": \"Pan\", \"shortName\": \"\",\n"
                               "                 \"autoShortName\": true}]}]}\n"
                               "\"type\" is a fixture type code from 0 to 10, or -1 for none. A library the\n"
                               "editor opened with a warning is dumped all the same; the warning goes to\n"
                               "standard error, as does one line for each member that could not be read\n"
                               "(its definition is missing from the dump).";
const char* const InfoOutput = "One line, for example:\n"
                               "version 01.00, 3 definitions, unsupported content: no, unreadable: 0\n"
                               "\"unsupported content: yes\" when saving the file again would lose part of it.\n"
                               "\"unreadable\" counts the members that could not be read (broken XML);\n"
                               "each is named on standard error, and saving the file again loses them.";
const char* const CheckOutput = "A JSON array of the definitions checked, in library order, with an empty\n"
                                "\"findings\" for one the devices hold exactly:\n"
                                "[{\"name\": \"Spot 中\", \"manufacturer\": \"Acme\", \"findings\": [\n"
                                "   {\"severity\": \"changed\", \"field\": \"Fixture Name\",\n"
                                "    \"text\": \"Fixture Name: “中” will show as “?”\"}]}]\n"
                                "\"refused\": upload refuses the library for it; \"changed\": the device will\n"
                                "hold it otherwise than the library does, as \"text\" says. \"field\" is the\n"
                                "editor's label of the field concerned.";

QString severityWord(DeviceFit::Severity severity)
{
    return severity == DeviceFit::Severity::Refused ? QStringLiteral("refused") : QStringLiteral("changed");
}

/// dump LIBRARY: the library as JSON (LibraryJson) on standard output.
int dump(const QStringList& arguments, const CommandOptions&, Console& console)
{
    LibraryContent content;
    if (!LibraryFile::read(arguments.at(0), content, console)) {
        return ExitCode::Failure;
    }
    console.printJson(QJsonDocument(LibraryJson::toJson(content)));
    return ExitCode::Success;
}

/// create LIBRARY [JSON-FILE]: writes a library from JSON read from the file, or from
/// standard input when no file (or "-") is given.
int create(const QStringList& arguments, const CommandOptions&, Console& console)
{
    const QString jsonPath = arguments.value(1, StandardInput);
    const bool fromInput = jsonPath == StandardInput;
    const QString source = fromInput ? QStringLiteral("standard input") : jsonPath;
    QByteArray text;
    if (fromInput) {
        text = console.readAllInput();
    } else {
        QFile file(jsonPath);
        if (!file.open(QIODevice::ReadOnly)) {
            return console.fail(QStringLiteral("Failed to read %1: %2").arg(source, file.errorString()));
        }
        text = file.readAll();
    }
    LibraryContent content;
    LibraryJson reader;
    if (!reader.read(text, content)) {
        return console.fail(QStringLiteral("Invalid library JSON in %1: %2").arg(source, reader.errorString()));
    }
    return LibraryFile::write(arguments.at(0), content, console) ? ExitCode::Success : ExitCode::Failure;
}

/// info LIBRARY: one line with the version, the number of definitions and whether the
/// file holds content that saving it again would lose.
int info(const QStringList& arguments, const CommandOptions&, Console& console)
{
    LibraryContent content;
    qsizetype unreadable = 0;
    if (!LibraryFile::read(arguments.at(0), content, console, &unreadable)) {
        return ExitCode::Failure;
    }
    const auto count = static_cast<qulonglong>(content.definitions.size());
    console.out() << "version " << content.version << ", " << count << (count == 1 ? " definition" : " definitions")
                  << ", unsupported content: " << (content.unsupportedContent ? "yes" : "no")
                  << ", unreadable: " << static_cast<qulonglong>(unreadable) << '\n';
    return ExitCode::Success;
}

/// check LIBRARY [--name NAME]...: what the devices would refuse or change of each
/// definition (DeviceFit) as JSON; ExitCode::Failure when one would be refused.
int check(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    LibraryContent content;
    QList<QKVFixtureDefinition*> definitions;
    if (!LibraryFile::readNamed(arguments.at(0), options, content, definitions, console)) {
        return ExitCode::Failure;
    }
    QJsonArray checked;
    bool refused = false;
    for (const QKVFixtureDefinition* definition : std::as_const(definitions)) {
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
    console.printJson(QJsonDocument(checked));
    return refused ? ExitCode::Failure : ExitCode::Success;
}

} // namespace

namespace LibraryCommands {

void addTo(CommandDispatcher& dispatcher)
{
    const CommandArgument library {QStringLiteral("LIBRARY"), QStringLiteral("A fixture library file (.kvfl).")};
    // dump and info only read the library, and fail only when it cannot be read.
    const auto reading = [&library](const char* name, const char* summary, Command::Handler run, const char* output) {
        const HelpEntry unreadable {QString::number(ExitCode::Failure),
                                    QStringLiteral("The library cannot be read (\"Failed to open the library.\" and "
                                                   "the reason on standard error).")};
        return Command {QString::fromLatin1(name),
                        QString::fromLatin1(summary),
                        std::move(run),
                        {library},
                        {},
                        QString::fromUtf8(output),
                        {unreadable}};
    };
    dispatcher.addCommand(reading("dump", "Print the definitions of a library as JSON.", dump, DumpOutput));
    dispatcher.addCommand(
        {QStringLiteral("create"),
         QStringLiteral("Write a library from JSON as dump prints it (default: standard input)."),
         create,
         {{QStringLiteral("LIBRARY"), QStringLiteral("The library file to write; an existing one is replaced.")},
          {QStringLiteral("JSON-FILE"),
           QStringLiteral("The definitions as dump prints them; absent or \"-\": standard input. \"version\" and "
                          "\"unsupportedContent\" are ignored, an absent field takes its default, an unknown field or "
                          "one of the wrong type is refused."),
           0}},
         {},
         QString(),
         {{QString::number(ExitCode::Failure),
           QStringLiteral("The JSON cannot be read or is refused (its place is named), or the library cannot be "
                          "written; no library is left behind.")}}});
    dispatcher.addCommand(
        reading("info", "Print the version and the number of definitions of a library.", info, InfoOutput));
    dispatcher.addCommand(
        {QStringLiteral("check"),
         QStringLiteral("Print what the devices would refuse or change of each definition, as JSON."),
         check,
         {library},
         {{LibraryFile::NameOption,
           QStringLiteral("NAME"),
           QStringLiteral("Check only the definitions of this name, as upload picks them; may be given more than "
                          "once. Default: all."),
           CommandOption::Repeated}},
         QString::fromUtf8(CheckOutput),
         {{QString::number(ExitCode::Failure),
           QStringLiteral("A definition would be refused, the library cannot be read (\"Failed to open the "
                          "library.\" on standard error), or it holds no definition of a name given.")}}});
}

} // namespace LibraryCommands
