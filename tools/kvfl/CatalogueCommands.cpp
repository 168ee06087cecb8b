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

namespace {

const QString SearchOption = QStringLiteral("--search");
const QString FolderOption = QStringLiteral("--folder");
const QString ModeOption = QStringLiteral("--mode");
const QString FixtureFilePattern = QStringLiteral("*.qxf");
const char* const AlreadyInLibrary = "the library already holds a definition of this manufacturer and name";

const char* const CatalogueOutput
    = "A JSON array of the modes, ordered by manufacturer, model and mode:\n"
      "[{\"manufacturer\": \"Generic\", \"model\": \"Generic Smoke\", \"mode\": \"Normal\",\n"
      "  \"name\": \"Generic Smoke (Normal)\", \"type\": 8, \"channels\": 2,\n"
      "  \"file\": \"/usr/share/qlcplus/fixtures/Generic/Generic-Generic-Smoke.qxf\"}]\n"
      "\"name\" is the definition's name: the model, or \"Model (Mode)\" for a fixture\n"
      "of several modes; \"type\" a type code as in dump; \"channels\" their number.\n"
      "\"reason\" is there only when the devices cannot take the mode, and says why.\n"
      "Each file that could not be read is named on standard error with the reason.";
const char* const ImportOutput = "One JSON object, also when a file could not be read:\n"
                                 "{\"added\": [\"Smoke 900\", \"Spot 250 (Basic)\"],\n"
                                 " \"failed\": [{\"file\": \"broken.qxf\", \"reason\": \"line 3: ...\"}],\n"
                                 " \"skipped\": [{\"name\": \"Spot 250 (Extended)\",\n"
                                 "              \"reason\": \"52 channels; the devices hold at most 45\"}]}\n"
                                 "A mode is skipped when the devices cannot take it, or when the library\n"
                                 "already holds a definition of its manufacturer and name, so importing the\n"
                                 "same files again adds nothing. The library is written once, at the end.\n"
                                 "Each failed file is named on standard error too.";

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

/// The modes the --mode options ask for, by mode or by definition name, and which of the
/// names given were found.
class ModeFilter
{
public:
    explicit ModeFilter(const QStringList& names)
    {
        // Names are compared as the device shows them, so a name typed as the file spells
        // it finds its mode too.
        for (const QString& name : names) {
            m_wanted.append(QxfReader::deviceText(name));
        }
    }

    bool wants(const QxfMode& mode)
    {
        if (m_wanted.isEmpty()) {
            return true;
        }
        bool wanted = false;
        for (const QString& name : {mode.mode, mode.name}) {
            if (m_wanted.contains(name)) {
                m_found.insert(name);
                wanted = true;
            }
        }
        return wanted;
    }

    void warnOfUnfound(Console& console) const
    {
        for (const QString& name : m_wanted) {
            if (!m_found.contains(name)) {
                console.err() << "Warning: no mode or definition is named \"" << name << "\".\n";
            }
        }
    }

private:
    QStringList m_wanted;
    QSet<QString> m_found;
};

/// What an import did, as it prints it.
struct ImportSummary
{
    QJsonArray added;
    QJsonArray skipped;
    QJsonArray failed;
};

/// Appends the modes of `file` that `filter` wants to `library`, unless the devices cannot
/// take them or `present` holds their manufacturer and name already.
void importFile(const QString& file,
                ModeFilter& filter,
                LibraryContent& library,
                QSet<QString>& present,
                ImportSummary& summary,
                Console& console)
{
    const QxfFile read = QxfReader::readFile(file);
    if (!read.ok()) {
        reportUnreadable(file, read.error, console);
        summary.failed.append(QJsonObject {{QStringLiteral("file"), file}, {QStringLiteral("reason"), read.error}});
        return;
    }
    for (const QxfMode& mode : read.modes) {
        if (!filter.wants(mode)) {
            continue;
        }
        const QString key = libraryKey(mode.manufacturer, mode.name);
        const QString reason = !mode.usable() ? mode.reason
            : present.contains(key)           ? QString::fromLatin1(AlreadyInLibrary)
                                              : QString();
        if (!reason.isEmpty()) {
            summary.skipped.append(
                QJsonObject {{QStringLiteral("name"), mode.name}, {QStringLiteral("reason"), reason}});
            continue;
        }
        present.insert(key);
        library.definitions.push_back(mode.toDefinition());
        summary.added.append(mode.name);
    }
}

/// catalogue [--search WORDS] [--folder DIR]...: the modes of the fixture files in QLC+'s
/// folders and the folders given, as JSON; unreadable files are named on standard error.
int catalogue(const QStringList&, const CommandOptions& options, Console& console)
{
    QStringList folders = FixtureCatalogue::standardFolders();
    for (const QString& folder : options.value(FolderOption)) {
        if (!QFileInfo(folder).isDir()) {
            return console.fail(QStringLiteral("Not a folder: %1").arg(folder));
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

/// import-qxf LIBRARY FILE-OR-FOLDER... [--mode NAME]...: appends the modes of fixture
/// files to a library, made when missing, and prints what was added, skipped and failed.
int importQxf(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const QString path = arguments.at(0);
    const bool existed = QFileInfo::exists(path);
    LibraryContent library;
    if (!LibraryFile::readForAdding(path, library, console)) {
        return ExitCode::Failure;
    }
    QSet<QString> present;
    for (const auto& definition : library.definitions) {
        present.insert(libraryKey(definition->manufacturer(), definition->name()));
    }
    ModeFilter filter(options.value(ModeOption));
    ImportSummary summary;
    for (const QString& file : fixtureFiles(arguments.mid(1))) {
        importFile(file, filter, library, present, summary, console);
    }
    filter.warnOfUnfound(console);

    // Written once, so a failure part way leaves the library as it was; a missing one is
    // made even when empty, so a script can go on with it.
    if ((!summary.added.isEmpty() || !existed) && !LibraryFile::write(path, library, console)) {
        return ExitCode::Failure;
    }
    console.printJson(QJsonDocument(QJsonObject {{QStringLiteral("added"), summary.added},
                                                 {QStringLiteral("skipped"), summary.skipped},
                                                 {QStringLiteral("failed"), summary.failed}}));
    return summary.failed.isEmpty() ? ExitCode::Success : ExitCode::Failure;
}

} // namespace

namespace CatalogueCommands {

void addTo(CommandDispatcher& dispatcher)
{
    dispatcher.addCommand(
        {QStringLiteral("catalogue"),
         QStringLiteral("Print the modes of the QLC+ fixture files installed, as JSON."),
         catalogue,
         {},
         {{SearchOption,
           QStringLiteral("WORDS"),
           QStringLiteral("Only the modes whose manufacturer, model and mode hold every word, in any order, "
                          "ignoring case and accents.")},
          {FolderOption,
           QStringLiteral("DIR"),
           QStringLiteral("Read the fixture files below DIR too, at any depth; QLC+'s own folders and the user's "
                          "(~/.qlcplus/fixtures) are always read. May be given more than once."),
           CommandOption::Repeated}},
         QString::fromUtf8(CatalogueOutput),
         {{QString::number(ExitCode::Failure), QStringLiteral("A --folder is not a folder.")}}});
    dispatcher.addCommand(
        {QStringLiteral("import-qxf"),
         QStringLiteral("Append the modes of QLC+ fixture files to a library."),
         importQxf,
         {{QStringLiteral("LIBRARY"),
           QStringLiteral("The library the definitions are appended to; made when missing, never written when it "
                          "cannot be read whole.")},
          {QStringLiteral("FILE-OR-FOLDER"),
           QStringLiteral("A QLC+ fixture file, or a folder whose .qxf files are read at any depth, in path order."),
           1,
           CommandArgument::Unlimited}},
         {{ModeOption,
           QStringLiteral("NAME"),
           QStringLiteral("Only the modes of this name, or whose definition is named NAME (\"Model (Mode)\"). May be "
                          "given more than once; default: every mode."),
           CommandOption::Repeated}},
         QString::fromUtf8(ImportOutput),
         {{QString::number(ExitCode::Failure),
           QStringLiteral("A file could not be read (the modes of the others are added), or the library cannot be "
                          "read whole or written (then nothing is written).")}}});
}

} // namespace CatalogueCommands
