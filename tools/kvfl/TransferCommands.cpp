#include "TransferCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceSession.h"
#include "LibraryContent.h"
#include "LibraryFile.h"

#include "DeviceFit.h"
#include "DeviceMessages.h"
#include "DeviceRecord.h"
#include "KVPClearPatchRequest.h"
#include "KVPFixtureDeleteRequest.h"
#include "KVPFixtureReadRequest.h"
#include "KVPFixtureWriteRequest.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"

#include <QSet>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

using korvane::KVP::KVPClearPatchRequest;
using korvane::KVP::KVPFixtureDeleteRequest;
using korvane::KVP::KVPFixtureReadRequest;
using korvane::KVP::KVPFixtureWriteRequest;
using korvane::KVP::KVPWorkerRequestI;

namespace {

// The highest record number a device's list can hold.
constexpr int MaxRecordNumber = 255;
const QString ClearPatchOption = QStringLiteral("--clear-patch");
const QString SkipPresentOption = QStringLiteral("--skip-present");

const char* const UploadOutput = "Nothing on standard output. Before writing, a line on standard error for\n"
                                 "each change the device will make to a definition written, as check finds:\n"
                                 "warning: Spot 中: Fixture Name: “中” will show as “?”\n"
                                 "With --skip-present, first \"Skipped 2 definitions the device already\n"
                                 "holds.\", and \"Nothing to upload.\" (status 0) when that leaves none.";

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

/// Runs a read or delete request on the records with the given numbers (all for none)
/// of the device the options pick, showing its progress under `label`; `failed` is the
/// message for a request that failed. `done` sees the request before the device's list,
/// which its definitions point into, goes.
template <typename Request>
bool runOnRecords(const QList<int>& numbers,
                  const CommandOptions& options,
                  Console& console,
                  const QString& label,
                  const QString& failed,
                  const std::function<void(const Request&)>& done = {})
{
    DeviceSession session(console);
    DeviceRecord::RemoteList list;
    QList<QKVRemoteFixtureDefinition*> picked;
    if (!session.open(options) || !session.readList(list) || !pickRecords(list, numbers, picked, console)) {
        return false;
    }
    Request request;
    for (QKVRemoteFixtureDefinition* entry : std::as_const(picked)) {
        request.addDefinition(entry);
    }
    if (!session.runRequest(&request, &Request::progressTotal, label)) {
        console.fail(failed);
        return false;
    }
    if (done) {
        done(request);
    }
    return true;
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

/// Says on standard error each finding of `severity` of the definitions, one a line,
/// the definition's name between `before` and `after`.
void printFindings(const QList<QKVFixtureDefinition*>& definitions,
                   DeviceFit::Severity severity,
                   const char* before,
                   const char* after,
                   Console& console)
{
    for (const QKVFixtureDefinition* definition : definitions) {
        for (const DeviceFit::Finding& finding : DeviceFit::check(*definition)) {
            if (finding.severity == severity) {
                console.err() << before << definition->name() << after << finding.text << '\n';
            }
        }
    }
}

bool clearPatchList(DeviceSession& session, Console& console)
{
    KVPClearPatchRequest request;
    if (!session.runRequest(&request)) {
        console.fail(DeviceMessages::patchListClearFailed());
        return false;
    }
    return true;
}

/// The exit status of an upload that ended with `outcome`, saying why it failed.
int report(WriteOutcome outcome, const QList<QKVFixtureDefinition*>& definitions, Console& console)
{
    switch (outcome) {
        case WriteOutcome::Done:
            return ExitCode::Success;
        case WriteOutcome::Failed:
            return console.fail(DeviceMessages::uploadFailed());
        case WriteOutcome::PatchListNotEmpty:
            return console.fail(QStringLiteral("The device's patch list must be erased before definitions can be "
                                               "written; run again with --clear-patch to erase it."),
                                ExitCode::PatchListNotEmpty);
        case WriteOutcome::NotEnoughMemory:
            return console.fail(DeviceMessages::notEnoughMemory(), ExitCode::NotEnoughMemory);
        case WriteOutcome::ChannelRequirements:
            console.err() << DeviceMessages::channelRequirements() << '\n';
            printFindings(definitions, DeviceFit::Severity::Refused, "  \"", "\": ", console);
            return ExitCode::ChannelRequirements;
    }
    return ExitCode::Failure;
}

/// upload LIBRARY [--device A] [--clear-patch] [--skip-present] [--name NAME]...: writes
/// the library's definitions (or those named), in library order, with one write request.
int upload(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    LibraryContent library;
    QList<QKVFixtureDefinition*> definitions;
    if (!LibraryFile::readNamed(arguments.at(0), options, library, definitions, console)) {
        return ExitCode::Failure;
    }
    DeviceSession session(console);
    if (!session.open(options)) {
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
        // What the editor would have marked, so that a script's log shows it.
        printFindings(definitions, DeviceFit::Severity::Changed, "warning: ", ": ", console);
    }
    WriteOutcome outcome = write(session, definitions);
    if (outcome == WriteOutcome::PatchListNotEmpty && options.contains(ClearPatchOption)) {
        // What the editor does when the user agrees to lose the patch list.
        if (!clearPatchList(session, console)) {
            return ExitCode::Failure;
        }
        outcome = write(session, definitions);
    }
    return report(outcome, definitions, console);
}

/// download LIBRARY [--device A] [RECORD]...: reads the given records (all when none are
/// given) and appends them to the library, which is created when missing.
int download(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const QString path = arguments.at(0);
    const std::optional<QList<int>> numbers = parseRecordNumbers(arguments.mid(1), console);
    if (!numbers) {
        return ExitCode::Usage;
    }
    LibraryContent library;
    if (!LibraryFile::readForAdding(path, library, console)) {
        return ExitCode::Failure;
    }
    const auto keep = [&library](const KVPFixtureReadRequest& request) {
        for (const QKVFixtureDefinition* definition : request.results()) {
            auto copy = std::make_unique<QKVFixtureDefinition>();
            *copy = *definition;
            library.definitions.push_back(std::move(copy));
        }
    };
    const bool read = runOnRecords<KVPFixtureReadRequest>(
        *numbers, options, console, QStringLiteral("Downloading"), DeviceMessages::downloadFailed(), keep);
    return read && LibraryFile::write(path, library, console) ? ExitCode::Success : ExitCode::Failure;
}

/// delete [--device A] RECORD...: deletes the given records on the device.
int deleteRecords(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    const std::optional<QList<int>> numbers = parseRecordNumbers(arguments, console);
    if (!numbers) {
        return ExitCode::Usage;
    }
    const bool deleted = runOnRecords<KVPFixtureDeleteRequest>(
        *numbers, options, console, QStringLiteral("Deleting"), DeviceMessages::deletionFailed());
    return deleted ? ExitCode::Success : ExitCode::Failure;
}

/// clear-patch [--device A]: empties the device's patch list.
int clearPatch(const QStringList&, const CommandOptions& options, Console& console)
{
    DeviceSession session(console);
    return session.open(options) && clearPatchList(session, console) ? ExitCode::Success : ExitCode::Failure;
}

} // namespace

namespace TransferCommands {

void addTo(CommandDispatcher& dispatcher)
{
    const CommandOption device = DeviceSession::deviceOption();
    const QString record = QStringLiteral("RECORD");
    const QString recordNumber
        = QStringLiteral("A record number on the device (0 to %1), as list prints it.").arg(MaxRecordNumber);
    // Each command fails when the device is missing or silent, and for reasons of its own.
    const auto failure = [](const char* reasons) {
        return std::vector<HelpEntry> {
            {QString::number(ExitCode::Failure),
             QStringLiteral("No device found, the device does not answer") + QLatin1String(reasons)}};
    };
    std::vector<HelpEntry> uploadStatuses
        = failure(", the library cannot be read or holds no definition of a name given, or the write failed.");
    uploadStatuses.insert(
        uploadStatuses.end(),
        {{QString::number(ExitCode::PatchListNotEmpty),
          QStringLiteral("The device's patch list must be erased first (see --clear-patch); nothing was written.")},
         {QString::number(ExitCode::NotEnoughMemory),
          QStringLiteral("The device has too few free slots for the definitions.")},
         {QString::number(ExitCode::ChannelRequirements),
          QStringLiteral("A definition has fewer than %1 or more than %2 channels; each is named on standard error.")
              .arg(DeviceFit::MinChannels)
              .arg(DeviceRecord::MaxChannels)}});
    dispatcher.addCommand(
        {QStringLiteral("upload"),
         QStringLiteral("Write a library's definitions (or those named) to a device."),
         upload,
         {{QStringLiteral("LIBRARY"), QStringLiteral("The library whose definitions are written, in its order.")}},
         {device,
          {ClearPatchOption,
           QString(),
           QStringLiteral("When the device's patch list must be erased first, erase it and write, as the editor "
                          "does after asking.")},
          {SkipPresentOption,
           QString(),
           QStringLiteral("Leave out the definitions the device holds already: those of a manufacturer, name and "
                          "channel count it lists. How many were left out goes to standard error.")},
          {LibraryFile::NameOption,
           QStringLiteral("NAME"),
           QStringLiteral("Write only the definition of this name; may be given more than once. Default: all."),
           CommandOption::Repeated}},
         QString::fromUtf8(UploadOutput),
         uploadStatuses});
    dispatcher.addCommand(
        {QStringLiteral("download"),
         QStringLiteral("Append definitions of a device (default: all) to a library."),
         download,
         {{QStringLiteral("LIBRARY"),
           QStringLiteral("The library the definitions are appended to; made when missing, never replaced when it "
                          "cannot be read.")},
          {record, recordNumber + QStringLiteral(" Read in the order given; default: all."), 0, MaxRecordNumber + 1}},
         {device},
         QString(),
         failure(", it holds no such record, the read failed, or the library cannot be read or written.")});
    dispatcher.addCommand({QStringLiteral("delete"),
                           QStringLiteral("Delete definitions on a device."),
                           deleteRecords,
                           {{record, recordNumber, 1, MaxRecordNumber + 1}},
                           {device},
                           QString(),
                           failure(", it holds no such record, or the deletion failed.")});
    dispatcher.addCommand({QStringLiteral("clear-patch"),
                           QStringLiteral("Erase the patch list of a device."),
                           clearPatch,
                           {},
                           {device},
                           QString(),
                           failure(", or the erasing failed.")});
}

} // namespace TransferCommands
