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

namespace {

/// sheet LIBRARY OUT.pdf [--name NAME]...: writes the sheets of the definitions named, or
/// of all, in library order, on A4 or Letter by the locale.
int sheet(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const QString libraryPath = arguments.at(0);
    const QString pdfPath = arguments.at(1);
    LibraryContent content;
    QList<QKVFixtureDefinition*> named;
    if (!LibraryFile::readNamed(libraryPath, options, content, named, console)) {
        return ExitCode::Failure;
    }
    const QList<const QKVFixtureDefinition*> definitions(named.cbegin(), named.cend());
    const SheetHeading heading {QFileInfo(libraryPath).fileName(), QDate::currentDate()};
    QString message;
    if (ChannelSheets::writePdf(pdfPath, definitions, heading, ChannelSheets::pageLayoutFor(QLocale()), message) == 0) {
        return console.fail(QStringLiteral("Failed to write %1: %2").arg(pdfPath, message));
    }
    return ExitCode::Success;
}

} // namespace

namespace SheetCommand {

void addTo(CommandDispatcher& dispatcher)
{
    dispatcher.addCommand(
        {QString::fromLatin1(Name),
         QStringLiteral("Write the channel sheets of a library's definitions as a PDF."),
         sheet,
         {{QStringLiteral("LIBRARY"), QStringLiteral("A fixture library file (.kvfl).")},
          {QStringLiteral("OUT.pdf"),
           QStringLiteral("The PDF to write; a file already there is replaced only by a whole PDF.")}},
         {{LibraryFile::NameOption,
           QStringLiteral("NAME"),
           QStringLiteral("Only the definitions of this name, as upload picks them; may be given more than once. "
                          "Default: all."),
           CommandOption::Repeated}},
         QStringLiteral("Nothing on standard output. The PDF holds a sheet per definition,\n"
                        "in library order and several to a page: names, short names as the\n"
                        "device shows them, type, the channel table and the findings of\n"
                        "check. A4, or Letter where the locale's country uses it (LANG,\n"
                        "LC_ALL); the text can be searched and copied."),
         {{QString::number(ExitCode::Failure),
           QStringLiteral("The library cannot be read (\"Failed to open the library.\" on standard error), it "
                          "holds no definition of a name given, or the PDF cannot be written.")}}});
}

} // namespace SheetCommand
