#include "TransferCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceSession.h"
#include "LibraryContent.h"
#include "LibraryFile.h"

#include "KVPClearPatchRequest.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureReadRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

using korvane::KVP::KVPClearPatchRequest;
using korvane::KVP::KVPFixtureDeleteRequest;
using korvane::KVP::KVPFixtureReadRequest;
using korvane::KVP::KVPFixtureWriteRequest;
using korvane::KVP::KVPWorkerRequestI;

namespace {

// The editor's messages for the same outcomes.
const char* const UploadFailedMessage = "Upload of fixture definition(s) failed.";
const char* const NotEnoughMemoryMessage = "The device seems not to have enough free memory slots to store\n"
                                           "all of the selected fixtures.";
const char* const ChannelRequirementsMessage = "Make sure that no fixture definition has less than 1 channel or more\n"
                                               "than %1 channels.";
const char* const DownloadFailedMessage = "Downloading of fixture definition(s) failed.";
const char* const DeletionFailedMessage = "Deletion of fixture definition(s) failed.";
const char* const PatchClearFailedMessage = "Deletion of patch list has failed.";
const char* const LoadFailedMessage = "Failed to open the library.";
const char* const SaveFailedMessage = "Failed to save the library.";

const QLatin1String ClearPatchOption("--clear-patch");
const QLatin1String NameOption("--name");
constexpr int MaxRecordNumber = 255;

/// How one run of the write request ended: it emits exactly one of these.
enum class WriteOutcome { Done, Failed, PatchListNotEmpty, ChannelRequirements, NotEnoughMemory };

WriteOutcome write(DeviceSession& session, const QList<QKVFixtureDefinition*>& definitions)
{
    KVPFixtureWriteRequest request;
    for (QKVFixtureDefinition* definition : definitions) {
        request.addDefinition(definition);
    }
    WriteOutcome outcome = WriteOutcome::Failed;
    const auto endWith = [&](WriteOutcome result) {
        return [&, result] {
            outcome = result;
            session.finish();
        };
    };
    QObject::connect(&request, &KVPWorkerRequestI::workDone, &session, endWith(WriteOutcome::Done));
    QObject::connect(&request, &KVPWorkerRequestI::failed, &session, endWith(WriteOutcome::Failed));
    QObject::connect(&request,
                     &KVPFixtureWriteRequest::failedPatchNeedsToBeCleared,
                     &session,
                     endWith(WriteOutcome::PatchListNotEmpty));
    QObject::connect(&request,
                     &KVPFixtureWriteRequest::failedChannelRequirements,
                     &session,
                     endWith(WriteOutcome::ChannelRequirements));
    QObject::connect(
        &request, &KVPFixtureWriteRequest::failedNotEnoughMemory, &session, endWith(WriteOutcome::NotEnoughMemory));
    QObject::connect(&request, &KVPFixtureWriteRequest::progressTotal, &session, [&](uint percent) {
        session.showProgress(QStringLiteral("Uploading"), percent);
    });
    session.run(&request);
    session.endProgress();
    return outcome;
}

/// Record numbers as given on the command line; false, with the reason on standard
/// error, for a word that is not one.
bool parseRecordNumbers(const QStringList& words, QList<int>& numbers, Console& console)
{
    for (const QString& word : words) {
        bool ok = false;
        const int number = word.toInt(&ok);
        if (!ok || number < 0 || number > MaxRecordNumber) {
            console.err() << "Not a record number: " << word << '\n';
            return false;
        }
        numbers.append(number);
    }
    return true;
}

/// The entries of `list` with the given record numbers, in the order given (all of them
/// when none are given). False, naming it, when a number is not on the device.
bool pickRecords(const DeviceRecord::RemoteList& list,
                 const QList<int>& numbers,
                 QList<QKVRemoteFixtureDefinition*>& picked,
                 Console& console)
{
    if (numbers.isEmpty()) {
        for (const auto& entry : list) {
            picked.append(entry.get());
        }
        return true;
    }
    for (const int number : numbers) {
        const auto it
            = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e->recordNumber() == number; });
        if (it == list.end()) {
            console.err() << "The device holds no record " << number << ".\n";
            return false;
        }
        picked.append(it->get());
    }
    return true;
}

/// Opens the device and reads its list, then picks the records named by `words`.
bool openAndPick(DeviceSession& session,
                 const CommandOptions& options,
                 const QStringList& words,
                 DeviceRecord::RemoteList& list,
                 QList<QKVRemoteFixtureDefinition*>& picked,
                 Console& console)
{
    QList<int> numbers;
    return parseRecordNumbers(words, numbers, console) && session.open(DeviceSession::deviceAddress(options))
        && session.readList(list) && pickRecords(list, numbers, picked, console);
}

bool clearPatchList(DeviceSession& session, Console& console)
{
    KVPClearPatchRequest request;
    if (!session.runRequest(&request)) {
        console.err() << PatchClearFailedMessage << '\n';
        return false;
    }
    return true;
}

} // namespace

namespace TransferCommands {

void addTo(CommandDispatcher& dispatcher)
{
    const CommandOption device = DeviceSession::deviceOption();
    dispatcher.addCommand({QStringLiteral("upload"),
                           QStringLiteral("LIBRARY [--device A] [--clear-patch] [--name NAME]..."),
                           QStringLiteral("Write a library's definitions (or those named) to a device. Exit 2: the "
                                          "patch list must be erased; 3: too few free slots; 4: a definition "
                                          "has 0 or more than 45 channels."),
                           1,
                           1,
                           upload,
                           {device, {ClearPatchOption, false}, {NameOption, true}}});
    dispatcher.addCommand({QStringLiteral("download"),
                           QStringLiteral("LIBRARY [--device A] [RECORD]..."),
                           QStringLiteral("Append definitions of a device (default: all) to a library."),
                           1,
                           1 + MaxRecordNumber + 1,
                           download,
                           {device}});
    dispatcher.addCommand({QStringLiteral("delete"),
                           QStringLiteral("[--device A] RECORD..."),
                           QStringLiteral("Delete definitions on a device."),
                           1,
                           MaxRecordNumber + 1,
                           remove,
                           {device}});
    dispatcher.addCommand({QStringLiteral("clear-patch"),
                           QStringLiteral("[--device A]"),
                           QStringLiteral("Erase the patch list of a device."),
                           0,
                           0,
                           clearPatch,
                           {device}});
}

int upload(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    LibraryContent library;
    QString message;
    if (!LibraryFile::load(arguments.at(0), library, message)) {
        console.err() << LoadFailedMessage << '\n' << message << '\n';
        return ExitCode::Failure;
    }
    const QStringList names = options.value(NameOption);
    QList<QKVFixtureDefinition*> definitions;
    for (QKVFixtureDefinition* definition : library.definitionList()) {
        if (names.isEmpty() || names.contains(definition->name())) {
            definitions.append(definition);
        }
    }
    for (const QString& name : names) {
        if (std::none_of(definitions.begin(), definitions.end(), [&](auto* d) { return d->name() == name; })) {
            console.err() << "The library holds no definition named \"" << name << "\".\n";
            return ExitCode::Failure;
        }
    }

    DeviceSession session(console);
    if (!session.open(DeviceSession::deviceAddress(options))) {
        return ExitCode::Failure;
    }
    WriteOutcome outcome = write(session, definitions);
    if (outcome == WriteOutcome::PatchListNotEmpty && options.contains(ClearPatchOption)) {
        // What the editor does when the user agrees to lose the patch list.
        if (!clearPatchList(session, console)) {
            return ExitCode::Failure;
        }
        outcome = write(session, definitions);
    }

    switch (outcome) {
        case WriteOutcome::Done:
            return ExitCode::Success;
        case WriteOutcome::Failed:
            console.err() << UploadFailedMessage << '\n';
            return ExitCode::Failure;
        case WriteOutcome::PatchListNotEmpty:
            console.err() << "The device's patch list must be erased before definitions can be written; "
                             "run again with --clear-patch to erase it.\n";
            return UploadExit::PatchListNotEmpty;
        case WriteOutcome::NotEnoughMemory:
            console.err() << NotEnoughMemoryMessage << '\n';
            return UploadExit::NotEnoughMemory;
        case WriteOutcome::ChannelRequirements:
            console.err() << QString::fromLatin1(ChannelRequirementsMessage).arg(QKVFixtureDefinition::MaxChannels)
                          << '\n';
            for (const QKVFixtureDefinition* definition : definitions) {
                const int count = definition->channelCount();
                if (count < 1 || count > QKVFixtureDefinition::MaxChannels) {
                    console.err() << "  \"" << definition->name() << "\": " << count << " channels\n";
                }
            }
            return UploadExit::ChannelRequirements;
    }
    return ExitCode::Failure;
}

int download(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const QString path = arguments.at(0);
    LibraryContent library;
    QString message;
    // A library that cannot be read is never replaced by a new one.
    if (QFileInfo::exists(path) && !LibraryFile::load(path, library, message)) {
        console.err() << LoadFailedMessage << '\n' << message << '\n';
        return ExitCode::Failure;
    }

    DeviceSession session(console);
    DeviceRecord::RemoteList list;
    QList<QKVRemoteFixtureDefinition*> picked;
    if (!openAndPick(session, options, arguments.mid(1), list, picked, console)) {
        return ExitCode::Failure;
    }
    KVPFixtureReadRequest request;
    for (QKVRemoteFixtureDefinition* entry : picked) {
        request.addDefinition(entry);
    }
    QObject::connect(&request, &KVPFixtureReadRequest::progressTotal, &session, [&](uint percent) {
        session.showProgress(QStringLiteral("Downloading"), percent);
    });
    const bool read = session.runRequest(&request);
    session.endProgress();
    if (!read) {
        console.err() << DownloadFailedMessage << '\n';
        return ExitCode::Failure;
    }
    for (const QKVFixtureDefinition* definition : request.results()) {
        auto copy = std::make_unique<QKVFixtureDefinition>();
        *copy = *definition;
        library.definitions.push_back(std::move(copy));
    }
    if (!LibraryFile::save(path, library, message)) {
        console.err() << SaveFailedMessage << '\n' << message << '\n';
        return ExitCode::Failure;
    }
    return ExitCode::Success;
}

int remove(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    DeviceSession session(console);
    DeviceRecord::RemoteList list;
    QList<QKVRemoteFixtureDefinition*> picked;
    if (!openAndPick(session, options, arguments, list, picked, console)) {
        return ExitCode::Failure;
    }
    KVPFixtureDeleteRequest request;
    for (QKVRemoteFixtureDefinition* entry : picked) {
        request.addDefinition(entry);
    }
    QObject::connect(&request, &KVPFixtureDeleteRequest::progressTotal, &session, [&](uint percent) {
        session.showProgress(QStringLiteral("Deleting"), percent);
    });
    const bool deleted = session.runRequest(&request);
    session.endProgress();
    if (!deleted) {
        console.err() << DeletionFailedMessage << '\n';
        return ExitCode::Failure;
    }
    return ExitCode::Success;
}

int clearPatch(const QStringList&, const CommandOptions& options, Console& console)
{
    DeviceSession session(console);
    if (!session.open(DeviceSession::deviceAddress(options))) {
        return ExitCode::Failure;
    }
    return clearPatchList(session, console) ? ExitCode::Success : ExitCode::Failure;
}

} // namespace TransferCommands
