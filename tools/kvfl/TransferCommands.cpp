#include "TransferCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceSession.h"
#include "LibraryContent.h"
#include "LibraryFile.h"

#include "DeviceFit.h"
#include "DeviceRecord.h"
#include "KVPClearPatchRequest.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureReadRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

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
const char* const ChannelRequirementsMessage = "Make sure that no fixture definition has less than %1 channel or more\n"
                                               "than %2 channels.";
const char* const DownloadFailedMessage = "Downloading of fixture definition(s) failed.";
const char* const DeletionFailedMessage = "Deletion of fixture definition(s) failed.";
const char* const PatchClearFailedMessage = "Deletion of patch list has failed.";
const char* const LoadFailedMessage = "Failed to open the library.";
const char* const SaveFailedMessage = "Failed to save the library.";

const QLatin1String ClearPatchOption("--clear-patch");
const QLatin1String NameOption("--name");
const QLatin1String SkipPresentOption("--skip-present");
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

/// Record numbers as given on the command line; none, with the reason on standard
/// error, for a word that is not one. That is a mistake in the command line, found
/// before the device is touched.
std::optional<QList<int>> parseRecordNumbers(const QStringList& words, Console& console)
{
    QList<int> numbers;
    for (const QString& word : words) {
        bool ok = false;
        const int number = word.toInt(&ok);
        if (!ok || number < 0 || number > MaxRecordNumber) {
            console.err() << "kvfl: not a record number (0 to " << MaxRecordNumber << "): " << word << '\n';
            return std::nullopt;
        }
        numbers.append(number);
    }
    return numbers;
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

/// Opens the device and reads its list, then picks the records with the given numbers.
bool openAndPick(DeviceSession& session,
                 const CommandOptions& options,
                 const QList<int>& numbers,
                 DeviceRecord::RemoteList& list,
                 QList<QKVRemoteFixtureDefinition*>& picked,
                 Console& console)
{
    return session.open(DeviceSession::deviceAddress(options)) && session.readList(list)
        && pickRecords(list, numbers, picked, console);
}

/// A text as the device's record holds it and its list shows it: cut to the field and
/// with "?" for what Latin-1 lacks, so that a definition the device changed on upload
/// is still found there.
QString heldText(const QString& text, int width)
{
    QByteArray field(width, '\0');
    DeviceRecord::writeTextField(field, 0, width, text);
    return DeviceRecord::readTextField(field, 0, width);
}

/// What tells a definition on the device from another: its manufacturer, its name and
/// its number of channels, the fields of a list entry a user recognises it by.
QString presenceKey(const QString& manufacturer, const QString& name, int channelCount)
{
    return manufacturer + QChar(0) + name + QChar(0) + QString::number(channelCount);
}

/// Leaves out of `definitions` those the device lists already, saying how many.
bool skipPresent(DeviceSession& session, QList<QKVFixtureDefinition*>& definitions, Console& console)
{
    DeviceRecord::RemoteList list;
    if (!session.readList(list)) {
        return false;
    }
    QSet<QString> present;
    for (const auto& entry : list) {
        present.insert(presenceKey(entry->manufacturer(), entry->name(), entry->channelCount()));
    }
    const qsizetype before = definitions.size();
    definitions.removeIf([&](const QKVFixtureDefinition* definition) {
        return present.contains(presenceKey(heldText(definition->manufacturer(), DeviceRecord::ManufacturerWidth),
                                            heldText(definition->name(), DeviceRecord::NameWidth),
                                            definition->channelCount()));
    });
    const auto skipped = static_cast<qulonglong>(before - definitions.size());
    console.err() << "Skipped " << skipped << (skipped == 1 ? " definition" : " definitions")
                  << " the device already holds.\n";
    return true;
}

/// The changes the device will make to the definitions about to be written, one line each,
/// so that a script's log shows what the editor would have marked.
void warnOfChanges(const QList<QKVFixtureDefinition*>& definitions, Console& console)
{
    for (const QKVFixtureDefinition* definition : definitions) {
        for (const DeviceFit::Finding& finding : DeviceFit::check(*definition)) {
            if (finding.severity == DeviceFit::Severity::Changed) {
                console.err() << "warning: " << definition->name() << ": " << finding.text << '\n';
            }
        }
    }
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
    const HelpEntry record {
        QStringLiteral("RECORD"),
        QStringLiteral("A record number on the device (0 to %1), as list prints it.").arg(MaxRecordNumber)};
    const QString deviceFailed = QStringLiteral("No device found, the device does not answer");

    Command uploadCommand;
    uploadCommand.name = QStringLiteral("upload");
    uploadCommand.arguments
        = QStringLiteral("LIBRARY [--device ADDRESS] [--clear-patch] [--skip-present] [--name NAME]...");
    uploadCommand.summary = QStringLiteral("Write a library's definitions (or those named) to a device.");
    uploadCommand.minArguments = 1;
    uploadCommand.maxArguments = 1;
    uploadCommand.run = upload;
    uploadCommand.options
        = {device,
           {ClearPatchOption,
            false,
            QString(),
            QStringLiteral("When the device's patch list must be erased first, erase it and write, as the editor "
                           "does after asking.")},
           {SkipPresentOption,
            false,
            QString(),
            QStringLiteral("Leave out the definitions the device holds already: those of a manufacturer, name and "
                           "channel count it lists. How many were left out goes to standard error.")},
           {NameOption,
            true,
            QStringLiteral("NAME"),
            QStringLiteral("Write only the definition of this name; may be given more than once. Default: all.")}};
    uploadCommand.argumentHelp
        = {{QStringLiteral("LIBRARY"), QStringLiteral("The library whose definitions are written, in its order.")}};
    uploadCommand.output = QStringLiteral("Nothing on standard output. Before writing, a line on standard error for\n"
                                          "each change the device will make to a definition written, as check finds:\n"
                                          "warning: Spot 中: Fixture Name: “中” will show as “?”\n"
                                          "With --skip-present, first \"Skipped 2 definitions the device already\n"
                                          "holds.\", and \"Nothing to upload.\" (status 0) when that leaves none.");
    uploadCommand.exitStatuses
        = {{QString::number(ExitCode::Failure),
            deviceFailed
                + QStringLiteral(", the library cannot be read or holds no definition of a name given, "
                                 "or the write failed.")},
           {QString::number(ExitCode::PatchListNotEmpty),
            QStringLiteral("The device's patch list must be erased first (see --clear-patch); nothing was "
                           "written.")},
           {QString::number(ExitCode::NotEnoughMemory),
            QStringLiteral("The device has too few free slots for the definitions.")},
           {QString::number(ExitCode::ChannelRequirements),
            QStringLiteral("A definition has fewer than %1 or more than %2 channels; each is named on standard "
                           "error.")
                .arg(DeviceFit::MinChannels)
                .arg(DeviceRecord::MaxChannels)}};
    dispatcher.addCommand(std::move(uploadCommand));

    Command downloadCommand;
    downloadCommand.name = QStringLiteral("download");
    downloadCommand.arguments = QStringLiteral("LIBRARY [--device ADDRESS] [RECORD]...");
    downloadCommand.summary = QStringLiteral("Append definitions of a device (default: all) to a library.");
    downloadCommand.minArguments = 1;
    downloadCommand.maxArguments = 1 + MaxRecordNumber + 1;
    downloadCommand.run = download;
    downloadCommand.options = {device};
    downloadCommand.argumentHelp
        = {{QStringLiteral("LIBRARY"),
            QStringLiteral("The library the definitions are appended to; made when missing, never replaced when "
                           "it cannot be read.")},
           {record.term, record.description + QStringLiteral(" Read in the order given; default: all.")}};
    downloadCommand.exitStatuses
        = {{QString::number(ExitCode::Failure),
            deviceFailed
                + QStringLiteral(", it holds no such record, the read failed, or the library cannot be "
                                 "read or written.")}};
    dispatcher.addCommand(std::move(downloadCommand));

    Command deleteCommand;
    deleteCommand.name = QStringLiteral("delete");
    deleteCommand.arguments = QStringLiteral("[--device ADDRESS] RECORD...");
    deleteCommand.summary = QStringLiteral("Delete definitions on a device.");
    deleteCommand.minArguments = 1;
    deleteCommand.maxArguments = MaxRecordNumber + 1;
    deleteCommand.run = remove;
    deleteCommand.options = {device};
    deleteCommand.argumentHelp = {record};
    deleteCommand.exitStatuses
        = {{QString::number(ExitCode::Failure),
            deviceFailed + QStringLiteral(", it holds no such record, or the deletion failed.")}};
    dispatcher.addCommand(std::move(deleteCommand));

    Command clearPatchCommand;
    clearPatchCommand.name = QStringLiteral("clear-patch");
    clearPatchCommand.arguments = QStringLiteral("[--device ADDRESS]");
    clearPatchCommand.summary = QStringLiteral("Erase the patch list of a device.");
    clearPatchCommand.run = clearPatch;
    clearPatchCommand.options = {device};
    clearPatchCommand.exitStatuses
        = {{QString::number(ExitCode::Failure), deviceFailed + QStringLiteral(", or the erasing failed.")}};
    dispatcher.addCommand(std::move(clearPatchCommand));
}

int upload(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    LibraryContent library;
    QString message;
    if (!LibraryFile::load(arguments.at(0), library, message)) {
        console.err() << LoadFailedMessage << '\n' << message << '\n';
        return ExitCode::Failure;
    }
    QStringList unknown;
    QList<QKVFixtureDefinition*> definitions = library.named(options.value(NameOption), unknown);
    for (const QString& name : std::as_const(unknown)) {
        console.err() << "The library holds no definition named \"" << name << "\".\n";
    }
    if (!unknown.isEmpty()) {
        return ExitCode::Failure;
    }

    DeviceSession session(console);
    if (!session.open(DeviceSession::deviceAddress(options))) {
        return ExitCode::Failure;
    }
    if (options.contains(SkipPresentOption)) {
        if (!skipPresent(session, definitions, console)) {
            return ExitCode::Failure;
        }
        if (definitions.isEmpty()) {
            console.err() << "Nothing to upload.\n";
            return ExitCode::Success;
        }
    }
    // A library the device refuses gets only the refusal: no change it would have made matters.
    if (std::all_of(definitions.begin(), definitions.end(), [](const QKVFixtureDefinition* d) {
            return DeviceFit::channelCountAccepted(d->channelCount());
        })) {
        warnOfChanges(definitions, console);
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
            return ExitCode::PatchListNotEmpty;
        case WriteOutcome::NotEnoughMemory:
            console.err() << NotEnoughMemoryMessage << '\n';
            return ExitCode::NotEnoughMemory;
        case WriteOutcome::ChannelRequirements:
            console.err() << QString::fromLatin1(ChannelRequirementsMessage)
                                 .arg(DeviceFit::MinChannels)
                                 .arg(DeviceRecord::MaxChannels)
                          << '\n';
            for (const QKVFixtureDefinition* definition : definitions) {
                for (const DeviceFit::Finding& finding : DeviceFit::check(*definition)) {
                    if (finding.severity == DeviceFit::Severity::Refused) {
                        console.err() << "  \"" << definition->name() << "\": " << finding.text << '\n';
                    }
                }
            }
            return ExitCode::ChannelRequirements;
    }
    return ExitCode::Failure;
}

int download(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const QString path = arguments.at(0);
    const std::optional<QList<int>> given = parseRecordNumbers(arguments.mid(1), console);
    if (!given) {
        return ExitCode::Usage;
    }
    const QList<int>& numbers = *given;
    LibraryContent library;
    QString message;
    // A library that cannot be read is never replaced by a new one, nor one read in part
    // by what was read of it.
    if (QFileInfo::exists(path) && !LibraryFile::loadWhole(path, library, message)) {
        console.err() << LoadFailedMessage << '\n' << message << '\n';
        return ExitCode::Failure;
    }

    DeviceSession session(console);
    DeviceRecord::RemoteList list;
    QList<QKVRemoteFixtureDefinition*> picked;
    if (!openAndPick(session, options, numbers, list, picked, console)) {
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
    const std::optional<QList<int>> given = parseRecordNumbers(arguments, console);
    if (!given) {
        return ExitCode::Usage;
    }
    const QList<int>& numbers = *given;
    DeviceSession session(console);
    DeviceRecord::RemoteList list;
    QList<QKVRemoteFixtureDefinition*> picked;
    if (!openAndPick(session, options, numbers, list, picked, console)) {
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
