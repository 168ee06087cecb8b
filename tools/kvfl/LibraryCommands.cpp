#include "LibraryCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "LibraryContent.h"
#include "LibraryFile.h"
#include "LibraryJson.h"

#include <QFile>
#include <QJsonDocument>

namespace {

// The editor's words for a library it cannot read; scripts may look for them.
const char* const LoadFailedMessage = "Failed to open the library.";
const char* const SaveFailedMessage = "Failed to save the library.";
const QLatin1String StandardInput("-");

/// Loads the library named by `path`, reporting on the console; false when it failed.
bool loadLibrary(const QString& path, LibraryContent& content, Console& console)
{
    QString message;
    if (!LibraryFile::load(path, content, message)) {
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
    return true;
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
    dispatcher.addCommand({QStringLiteral("dump"),
                           QStringLiteral("LIBRARY"),
                           QStringLiteral("Print the definitions of a library as JSON."),
                           1,
                           1,
                           withoutOptions(dump),
                           {}});
    dispatcher.addCommand({QStringLiteral("create"),
                           QStringLiteral("LIBRARY [JSON-FILE]"),
                           QStringLiteral("Write a library from JSON as dump prints it (default: standard input)."),
                           1,
                           2,
                           withoutOptions(create),
                           {}});
    dispatcher.addCommand({QStringLiteral("info"),
                           QStringLiteral("LIBRARY"),
                           QStringLiteral("Print the version and the number of definitions of a library."),
                           1,
                           1,
                           withoutOptions(info),
                           {}});
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
    if (!loadLibrary(arguments.at(0), content, console)) {
        return ExitCode::Failure;
    }
    const auto count = static_cast<qulonglong>(content.definitions.size());
    console.out() << "version " << content.version << ", " << count << (count == 1 ? " definition" : " definitions")
                  << ", unsupported content: " << (content.unsupportedContent ? "yes" : "no") << '\n';
    return ExitCode::Success;
}

} // namespace LibraryCommands
