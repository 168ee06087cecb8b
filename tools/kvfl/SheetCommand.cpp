#include "SheetCommand.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "LibraryContent.h"
#include "LibraryFile.h"

#include "ChannelSheets.h"
#include "QKVFixtureDefinition.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>

#include <utility>

namespace {

const QLatin1String NameOption("--name");
// The editor's words for a library it cannot read; scripts may look for them.
const char* const LoadFailedMessage = "Failed to open the library.";

} // namespace

namespace SheetCommand {

void addTo(CommandDispatcher& dispatcher)
{
    Command command;
    command.name = QString::fromLatin1(Name);
    command.arguments = QStringLiteral("LIBRARY OUT.pdf [--name NAME]...");
    command.summary = QStringLiteral("Write the channel sheets of a library's definitions as a PDF.");
    command.minArguments = 2;
    command.maxArguments = 2;
    command.run = sheet;
    command.options = {{NameOption,
                        true,
                        QStringLiteral("NAME"),
                        QStringLiteral("Only the definitions of this name, as upload picks them; may be given more "
                                       "than once. Default: all.")}};
    command.argumentHelp
        = {{QStringLiteral("LIBRARY"), QStringLiteral("A fixture library file (.kvfl).")},
           {QStringLiteral("OUT.pdf"),
            QStringLiteral("The PDF to write; a file already there is replaced only by a whole PDF.")}};
    command.output = QStringLiteral("Nothing on standard output. The PDF holds a sheet per definition,\n"
                                    "in library order and several to a page: names, short names as the\n"
                                    "device shows them, type, the channel table and the findings of\n"
                                    "check. A4, or Letter where the locale's country uses it (LANG,\n"
                                    "LC_ALL); the text can be searched and copied.");
    command.exitStatuses
        = {{QString::number(ExitCode::Failure),
            QStringLiteral("The library cannot be read (\"Failed to open the library.\" on standard error), it "
                           "holds no definition of a name given, or the PDF cannot be written.")}};
    dispatcher.addCommand(std::move(command));
}

int sheet(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const QString libraryPath = arguments.at(0);
    const QString pdfPath = arguments.at(1);
    LibraryContent content;
    QString message;
    if (!LibraryFile::load(libraryPath, content, message)) {
        console.err() << LoadFailedMessage << '\n';
        if (!message.isEmpty()) {
            console.err() << message << '\n';
        }
        return ExitCode::Failure;
    }
    if (!message.isEmpty()) {
        console.err() << "Warning: " << message << '\n';
    }
    QStringList unknown;
    const QList<QKVFixtureDefinition*> named = content.named(options.value(NameOption), unknown);
    for (const QString& name : std::as_const(unknown)) {
        console.err() << "The library holds no definition named \"" << name << "\".\n";
    }
    if (!unknown.isEmpty()) {
        return ExitCode::Failure;
    }
    const QList<const QKVFixtureDefinition*> definitions(named.cbegin(), named.cend());
    const SheetHeading heading {QFileInfo(libraryPath).fileName(), QDate::currentDate()};
    if (ChannelSheets::writePdf(pdfPath, definitions, heading, ChannelSheets::pageLayoutFor(QLocale()), message) == 0) {
        console.err() << "Failed to write " << pdfPath << ": " << message << '\n';
        return ExitCode::Failure;
    }
    return ExitCode::Success;
}

} // namespace SheetCommand
