#include "CatalogueCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "LibraryContent.h"
#include "LibraryFile.h"

#include "FixtureCatalogue.h"
#include "QKVFixtureDefinition.h"
#include "QxfReader.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <limits>
#include <utility>

namespace {

const QString SearchOption = QStringLiteral("--search");
const QString FolderOption = QStringLiteral("--folder");
const QString ModeOption = QStringLiteral("--mode");
const QString FixtureFilePattern = QStringLiteral("*.qxf");

// The editor's words for a library it cannot read or write; scripts may look for them.
const char* const LoadFailedMessage = "Failed to open the library.";
const char* const SaveFailedMessage = "Failed to save the library.";
const char* const AlreadyInLibrary = "the library already holds a definition of this manufacturer and name";

/// As the editor tells definitions apart when it adds from the catalogue.
QString libraryKey(const QString& manufacturer, const QString& name)
{
    return manufacturer + QChar(0) + name;
}

void reportUnreadable(const QString& path, const QString& reason, Console& console)
{
    console.err() << "Failed to read " << path << ": " << reason << '\n';
}

QJsonObject modeJson(const QxfMode& mode)
{
    QJsonObject object {{QStringLiteral("manufacturer"), mode.manufacturer},
                        {QStringLiteral("model"), mode.model},
                        {QStringLiteral("mode"), mode.mode},
                        {QStringLiteral("name"), mode.name},
                        {QStringLiteral("type"), mode.type},
                        {QStringLiteral("channels"), static_cast<int>(mode.channels.size())},
                        {QStringLiteral("file"), mode.file}};
    if (!mode.usable()) {
        object.insert(QStringLiteral("reason"), mode.reason);
    }
    return object;
}

/// The operands' fixture files: a file as given (whatever its name), a folder's .qxf
/// files at any depth in path order, so that a library fills the same way on every run.
QStringList fixtureFiles(const QStringList& operands)
{
    QStringList files;
    for (const QString& operand : operands) {
        if (!QFileInfo(operand).isDir()) {
            files.append(operand);
            continue;
        }
        QStringList found;
        QDirIterator it(operand, {FixtureFilePattern}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            found.append(it.next());
        }
        found.sort();
        files += found;
    }
    return files;
}

} // namespace

namespace CatalogueCommands {

void addTo(CommandDispatcher& dispatcher)
{
    const QString failure = QString::number(ExitCode::Failure);

    Command catalogueCommand;
    catalogueCommand.name = QStringLiteral("catalogue");
    catalogueCommand.arguments = QStringLiteral("[--search WORDS] [--folder DIR]...");
    catalogueCommand.summary = QStringLiteral("Print the modes of the QLC+ fixture files installed, as JSON.");
    catalogueCommand.run = catalogue;
    catalogueCommand.options
        = {{SearchOption,
            true,
            QStringLiteral("WORDS"),
            QStringLiteral("Only the modes whose manufacturer, model and mode hold every word, in any order, "
                           "ignoring case and accents.")},
           {FolderOption,
            true,
            QStringLiteral("DIR"),
            QStringLiteral("Read the fixture files below DIR too, at any depth; QLC+'s own folders and the "
                           "user's (~/.qlcplus/fixtures) are always read. May be given more than once.")}};
    catalogueCommand.output
        = QStringLiteral("A JSON array of the modes, ordered by manufacturer, model and mode:\n"
                         "[{\"manufacturer\": \"Generic\", \"model\": \"Generic Smoke\", \"mode\": \"Normal\",\n"
                         "  \"name\": \"Generic Smoke (Normal)\", \"type\": 8, \"channels\": 2,\n"
                         "  \"file\": \"/usr/share/qlcplus/fixtures/Generic/Generic-Generic-Smoke.qxf\"}]\n"
                         "\"name\" is the definition's name: the model, or \"Model (Mode)\" for a fixture\n"
                         "of several modes; \"type\" a type code as in dump; \"channels\" their number.\n"
                         "\"reason\" is there only when the devices cannot take the mode, and says why.\n"
                         "Each file that could not be read is named on standard error with the reason.");
    catalogueCommand.exitStatuses = {{failure, QStringLiteral("A --folder is not a folder.")}};
    dispatcher.addCommand(std::move(catalogueCommand));

    Command importCommand;
    importCommand.name = QStringLiteral("import-qxf");
    importCommand.arguments = QStringLiteral("LIBRARY FILE-OR-FOLDER... [--mode NAME]...");
    importCommand.summary = QStringLiteral("Append the modes of QLC+ fixture files to a library.");
    importCommand.minArguments = 2;
    importCommand.maxArguments = std::numeric_limits<int>::max();
    importCommand.run = importQxf;
    importCommand.options
        = {{ModeOption,
            true,
            QStringLiteral("NAME"),
            QStringLiteral("Only the modes of this name, or whose definition is named NAME (\"Model (Mode)\"). "
                           "May be given more than once; default: every mode.")}};
    importCommand.argumentHelp
        = {{QStringLiteral("LIBRARY"),
            QStringLiteral("The library the definitions are appended to; made when missing, never written when it "
                           "cannot be read whole.")},
           {QStringLiteral("FILE-OR-FOLDER"),
            QStringLiteral("A QLC+ fixture file, or a folder whose .qxf files are read at any depth, in path "
                           "order.")}};
    importCommand.output = QStringLiteral("One JSON object, also when a file could not be read:\n"
                                          "{\"added\": [\"Smoke 900\", \"Spot 250 (Basic)\"],\n"
                                          " \"failed\": [{\"file\": \"broken.qxf\", \"reason\": \"line 3: ...\"}],\n"
                                          " \"skipped\": [{\"name\": \"Spot 250 (Extended)\",\n"
                                          "              \"reason\": \"52 channels; the devices hold at most 45\"}]}\n"
                                          "A mode is skipped when the devices cannot take it, or when the library\n"
                                          "already holds a definition of its manufacturer and name, so importing the\n"
                                          "same files again adds nothing. The library is written once, at the end.\n"
                                          "Each failed file is named on standard error too.");
    importCommand.exitStatuses
        = {{failure,
            QStringLiteral("A file could not be read (the modes of the others are added), or the library cannot "
                           "be read whole or written (then nothing is written).")}};
    dispatcher.addCommand(std::move(importCommand));
}

int catalogue(const QStringList&, const CommandOptions& options, Console& console)
{
    QStringList folders = FixtureCatalogue::standardFolders();
    for (const QString& folder : options.value(FolderOption)) {
        if (!QFileInfo(folder).isDir()) {
            console.err() << "Not a folder: " << folder << '\n';
            return ExitCode::Failure;
        }
        folders.append(folder);
    }
    FixtureCatalogue catalogue;
    catalogue.index(folders);
    for (const QxfFile& file : catalogue.failedFiles()) {
        reportUnreadable(file.path, file.error, console);
    }
    QJsonArray modes;
    for (int index : catalogue.search(options.value(SearchOption).join(QLatin1Char(' ')))) {
        modes.append(modeJson(catalogue.modes().at(index)));
    }
    console.out() << QJsonDocument(modes).toJson(QJsonDocument::Indented);
    return ExitCode::Success;
}

int importQxf(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const QString path = arguments.at(0);
    const bool existed = QFileInfo::exists(path);
    LibraryContent library;
    QString message;
    if (existed && !LibraryFile::loadWhole(path, library, message)) {
        console.err() << LoadFailedMessage << '\n' << message << '\n';
        return ExitCode::Failure;
    }
    QSet<QString> present;
    for (const auto& definition : library.definitions) {
        present.insert(libraryKey(definition->manufacturer(), definition->name()));
    }
    // Names are compared as the device shows them, so a name typed as the file spells it
    // finds its mode too.
    QStringList wanted;
    for (const QString& name : options.value(ModeOption)) {
        wanted.append(QxfReader::deviceText(name));
    }
    QSet<QString> found;

    QJsonArray added;
    QJsonArray skipped;
    QJsonArray failed;
    for (const QString& file : fixtureFiles(arguments.mid(1))) {
        const QxfFile read = QxfReader::readFile(file);
        if (!read.ok()) {
            reportUnreadable(file, read.error, console);
            failed.append(QJsonObject {{QStringLiteral("file"), file}, {QStringLiteral("reason"), read.error}});
            continue;
        }
        for (const QxfMode& mode : read.modes) {
            if (!wanted.isEmpty()) {
                const bool byMode = wanted.contains(mode.mode);
                const bool byName = wanted.contains(mode.name);
                if (!byMode && !byName) {
                    continue;
                }
                if (byMode) {
                    found.insert(mode.mode);
                }
                if (byName) {
                    found.insert(mode.name);
                }
            }
            const QString key = libraryKey(mode.manufacturer, mode.name);
            const QString reason = !mode.usable() ? mode.reason
                : present.contains(key)           ? QString::fromLatin1(AlreadyInLibrary)
                                                  : QString();
            if (!reason.isEmpty()) {
                skipped.append(QJsonObject {{QStringLiteral("name"), mode.name}, {QStringLiteral("reason"), reason}});
                continue;
            }
            present.insert(key);
            library.definitions.push_back(mode.toDefinition());
            added.append(mode.name);
        }
    }
    for (const QString& name : std::as_const(wanted)) {
        if (!found.contains(name)) {
            console.err() << "Warning: no mode or definition is named \"" << name << "\".\n";
        }
    }

    // Written once, so a failure part way leaves the library as it was; a missing one is
    // made even when empty, so a script can go on with it.
    if ((!added.isEmpty() || !existed) && !LibraryFile::save(path, library, message)) {
        console.err() << SaveFailedMessage << '\n' << message << '\n';
        return ExitCode::Failure;
    }
    const QJsonObject summary {
        {QStringLiteral("added"), added}, {QStringLiteral("skipped"), skipped}, {QStringLiteral("failed"), failed}};
    console.out() << QJsonDocument(summary).toJson(QJsonDocument::Indented);
    return failed.isEmpty() ? ExitCode::Success : ExitCode::Failure;
}

} // namespace CatalogueCommands
