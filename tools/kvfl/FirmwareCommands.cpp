#include "FirmwareCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceSession.h"
#include "FirmwareImageWriter.h"
#include "FirmwareUpdateFile.h"
#include "KVPUpdateFirmwareRequest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <utility>

using korvane::KVP::FirmwareImageWriter;
using korvane::KVP::FirmwareUpdateFile;
using korvane::KVP::KVPUpdateFirmwareRequest;

namespace {

const QString ModelOption = QStringLiteral("--model");
const QString OpaqueOption = QStringLiteral("--opaque");
const QString NoteOption = QStringLiteral("--note");
// The update dialog's words for a failed update.
const char* const UpdateFailedMessage = "The firmware update could not be completed";

/// The last use of a value option wins, as with most command-line tools.
QString lastValue(const CommandOptions& options, const QString& name)
{
    const QStringList values = options.value(name);
    return values.isEmpty() ? QString() : values.last();
}

} // namespace

namespace FirmwareCommands {

void addTo(CommandDispatcher& dispatcher)
{
    const QString failure = QString::number(ExitCode::Failure);

    Command infoCommand;
    infoCommand.name = QStringLiteral("firmware-info");
    infoCommand.arguments = QStringLiteral("FILE");
    infoCommand.summary = QStringLiteral("Check a KVU2 firmware update file and print its layout as JSON.");
    infoCommand.minArguments = 1;
    infoCommand.maxArguments = 1;
    infoCommand.run = info;
    infoCommand.argumentHelp = {{QStringLiteral("FILE"), QStringLiteral("A firmware update file (.kv2).")}};
    infoCommand.output = QStringLiteral("One JSON object, printed for an invalid file too:\n"
                                        "{\"valid\": true, \"model\": \"QRD-780\", \"sectorCount\": 2,\n"
                                        " \"sectorSizes\": [256, 1024], \"checksum\": 305419896,\n"
                                        " \"transferSize\": 1280, \"status\": \"...\"}\n"
                                        "\"status\" is the update dialog's verdict on the file, as HTML.");
    infoCommand.exitStatuses = {{failure, QStringLiteral("The file is missing or not a valid update file.")}};
    dispatcher.addCommand(std::move(infoCommand));

    Command makeCommand;
    makeCommand.name = QStringLiteral("firmware-make");
    makeCommand.arguments = QStringLiteral("OUT --model MODEL [--opaque HEX] [--note TEXT] SECTOR-FILE...");
    makeCommand.summary = QStringLiteral("Write a KVU2 firmware update file from sector images.");
    makeCommand.minArguments = 2;
    makeCommand.maxArguments = 1 + FirmwareImageWriter::MaxSectors;
    makeCommand.run = make;
    makeCommand.options
        = {{ModelOption,
            true,
            QStringLiteral("MODEL"),
            QStringLiteral("Required: the model name the device reports, e.g. QRD-780; at most %1 bytes.")
                .arg(FirmwareImageWriter::ModelFieldSize - 1)},
           {OpaqueOption,
            true,
            QStringLiteral("HEX"),
            QStringLiteral("Header bytes from offset %1 on, passed to the device uninterpreted: an even number of "
                           "hexadecimal digits, at most %2 bytes.")
                .arg(FirmwareImageWriter::OpaqueOffset)
                .arg(FirmwareImageWriter::OpaqueSize)},
           {NoteOption,
            true,
            QStringLiteral("TEXT"),
            QStringLiteral("A build note kept in the file, never sent to the device; at most %1 bytes.")
                .arg(FirmwareImageWriter::MaxNoteSize)}};
    makeCommand.argumentHelp
        = {{QStringLiteral("OUT"),
            QStringLiteral("The update file to write; replaced only once the new one is complete.")},
           {QStringLiteral("SECTOR-FILE"),
            QStringLiteral("1 to %1 sector images, in flash order; each is padded with zeros to a multiple of %2 "
                           "bytes.")
                .arg(FirmwareImageWriter::MaxSectors)
                .arg(FirmwareImageWriter::SectorAlignment)}};
    makeCommand.exitStatuses
        = {{failure,
            QStringLiteral("A sector file cannot be read or is empty, a field does not fit, or OUT cannot be "
                           "written; OUT is left as it was.")}};
    dispatcher.addCommand(std::move(makeCommand));

    Command updateCommand;
    updateCommand.name = QStringLiteral("firmware-update");
    updateCommand.arguments = QStringLiteral("FILE [--device ADDRESS]");
    updateCommand.summary = QStringLiteral("Write a KVU2 firmware update into a device.");
    updateCommand.minArguments = 1;
    updateCommand.maxArguments = 1;
    updateCommand.run = update;
    updateCommand.options = {DeviceSession::deviceOption()};
    updateCommand.argumentHelp
        = {{QStringLiteral("FILE"),
            QStringLiteral("A firmware update file (.kv2); checked whole before the device is touched.")}};
    updateCommand.exitStatuses
        = {{failure,
            QStringLiteral("The file is not valid, no device was found, the device does not answer, or the update "
                           "failed.")}};
    dispatcher.addCommand(std::move(updateCommand));
}

int update(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    // The file is checked whole before anything reaches the device.
    FirmwareUpdateFile file;
    if (!file.load(arguments.at(0))) {
        console.err() << "Not a valid KV2 file: " << arguments.at(0) << '\n' << UpdateFailedMessage << '\n';
        return ExitCode::Failure;
    }
    DeviceSession session(console);
    if (!session.open(DeviceSession::deviceAddress(options))) {
        return ExitCode::Failure;
    }
    KVPUpdateFirmwareRequest request;
    request.setUpdateFile(&file);
    QObject::connect(&request, &KVPUpdateFirmwareRequest::progress, &session, [&](int percent) {
        session.showProgress(QStringLiteral("Updating"), static_cast<uint>(percent));
    });
    const bool updated = session.runRequest(&request);
    session.endProgress();
    if (!updated) {
        console.err() << UpdateFailedMessage << '\n';
        return ExitCode::Failure;
    }
    return ExitCode::Success;
}

int info(const QStringList& arguments, const CommandOptions&, Console& console)
{
    FirmwareUpdateFile file;
    file.load(arguments.at(0));
    const bool valid = file.isValid();
    QJsonArray sizes;
    for (int i = 0; i < file.sectorCount(); ++i) {
        sizes.append(static_cast<qint64>(file.sector(i).length));
    }
    const QString model = QString::fromLatin1(file.modelName());
    const QJsonObject json {
        {"valid", valid},
        {"model", model},
        {"sectorCount", file.sectorCount()},
        {"sectorSizes", sizes},
        {"checksum", static_cast<qint64>(file.checksum())},
        {"transferSize", file.transferSize()},
        {"status", QString::fromLatin1(file.statusHtml(model))},
    };
    console.out() << QJsonDocument(json).toJson(QJsonDocument::Indented);
    return valid ? ExitCode::Success : ExitCode::Failure;
}

int make(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    FirmwareImageWriter writer;
    const QString model = lastValue(options, ModelOption);
    if (model.isEmpty()) {
        console.err() << "kvfl: firmware-make needs --model MODEL\n";
        return ExitCode::Usage;
    }
    writer.setModel(model.toLatin1());
    const QString opaque = lastValue(options, OpaqueOption);
    const QByteArray opaqueBytes = QByteArray::fromHex(opaque.toLatin1());
    if (opaqueBytes.toHex() != opaque.toLatin1().toLower()) {
        console.err() << "kvfl: --opaque takes an even number of hexadecimal digits\n";
        return ExitCode::Usage;
    }
    writer.setOpaque(opaqueBytes);
    writer.setNote(lastValue(options, NoteOption).toUtf8());

    for (int i = 1; i < arguments.size(); ++i) {
        QFile sector(arguments.at(i));
        if (!sector.open(QIODevice::ReadOnly)) {
            console.err() << "Failed to read " << arguments.at(i) << ": " << sector.errorString() << '\n';
            return ExitCode::Failure;
        }
        writer.addSector(sector.readAll());
    }

    // A half-written update file must never replace a good one: a device flashed from it
    // would be left without firmware.
    QSaveFile out(arguments.at(0));
    if (!out.open(QIODevice::WriteOnly) || !writer.write(out) || !out.commit()) {
        const QString reason
            = writer.errorString().isEmpty() ? out.errorString() : QString::fromUtf8(writer.errorString());
        console.err() << "Failed to write " << arguments.at(0) << ": " << reason << '\n';
        return ExitCode::Failure;
    }
    return ExitCode::Success;
}

} // namespace FirmwareCommands
