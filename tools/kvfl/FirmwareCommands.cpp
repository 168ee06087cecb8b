#include "FirmwareCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceMessages.h"
#include "DeviceSession.h"
#include "FirmwareImageWriter.h"
#include "FirmwareUpdateFile.h"
#include "KVPUpdateFirmwareRequest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

using korvane::KVP::FirmwareImageWriter;
using korvane::KVP::FirmwareUpdateFile;
using korvane::KVP::KVPUpdateFirmwareRequest;

namespace {

const QString ModelOption = QStringLiteral("--model");
const QString OpaqueOption = QStringLiteral("--opaque");
const QString NoteOption = QStringLiteral("--note");

/// firmware-update FILE [--device A]: writes the update into a device on the worker thread.
int update(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    // The file is checked whole before anything reaches the device.
    FirmwareUpdateFile file;
    if (!file.load(arguments.at(0))) {
        console.err() << "Not a valid KV2 file: " << arguments.at(0) << '\n';
        return console.fail(DeviceMessages::firmwareUpdateFailed());
    }
    DeviceSession session(console);
    if (!session.open(options)) {
        return ExitCode::Failure;
    }
    KVPUpdateFirmwareRequest request;
    request.setUpdateFile(&file);
    if (!session.runRequest(&request, &KVPUpdateFirmwareRequest::progress, QStringLiteral("Updating"))) {
        return console.fail(DeviceMessages::firmwareUpdateFailed());
    }
    return ExitCode::Success;
}

/// firmware-info FILE: the file's checks and layout as JSON; exits 1 when it is not valid.
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
        {"status", file.statusHtml(model)},
    };
    console.printJson(QJsonDocument(json));
    return valid ? ExitCode::Success : ExitCode::Failure;
}

/// firmware-make OUT --model MODEL [--opaque HEX] [--note TEXT] SECTOR-FILE...: writes a
/// valid update file from sector images.
int make(const QStringList& arguments, const CommandOptions& options, Console& console)
{
    FirmwareImageWriter writer;
    writer.setModel(lastValue(options, ModelOption).toLatin1());
    const QByteArray opaque = lastValue(options, OpaqueOption).toLatin1();
    const QByteArray opaqueBytes = QByteArray::fromHex(opaque);
    if (opaqueBytes.toHex() != opaque.toLower()) {
        return console.fail(QStringLiteral("kvfl: --opaque takes an even number of hexadecimal digits"),
                            ExitCode::Usage);
    }
    writer.setOpaque(opaqueBytes);
    writer.setNote(lastValue(options, NoteOption).toUtf8());

    for (const QString& path : arguments.mid(1)) {
        QFile sector(path);
        if (!sector.open(QIODevice::ReadOnly)) {
            return console.fail(QStringLiteral("Failed to read %1: %2").arg(path, sector.errorString()));
        }
        writer.addSector(sector.readAll());
    }

    // A half-written update file must never replace a good one: a device flashed from it
    // would be left without firmware.
    QSaveFile out(arguments.at(0));
    if (!out.open(QIODevice::WriteOnly) || !writer.write(out) || !out.commit()) {
        const QString reason
            = writer.errorString().isEmpty() ? out.errorString() : QString::fromUtf8(writer.errorString());
        return console.fail(QStringLiteral("Failed to write %1: %2").arg(arguments.at(0), reason));
    }
    return ExitCode::Success;
}

} // namespace

namespace FirmwareCommands {

void addTo(CommandDispatcher& dispatcher)
{
    const QString failure = QString::number(ExitCode::Failure);
    dispatcher.addCommand({QStringLiteral("firmware-info"),
                           QStringLiteral("Check a KVU2 firmware update file and print its layout as JSON."),
                           info,
                           {{QStringLiteral("FILE"), QStringLiteral("A firmware update file (.kv2).")}},
                           {},
                           QStringLiteral("One JSON object, printed for an invalid file too:\n"
                                          "{\"valid\": true, \"model\": \"QRD-780\", \"sectorCount\": 2,\n"
                                          " \"sectorSizes\": [256, 1024], \"checksum\": 305419896,\n"
                                          " \"transferSize\": 1280, \"status\": \"...\"}\n"
                                          "\"status\" is the update dialog's verdict on the file, as HTML."),
                           {{failure, QStringLiteral("The file is missing or not a valid update file.")}}});
    dispatcher.addCommand(
        {QStringLiteral("firmware-make"),
         QStringLiteral("Write a KVU2 firmware update file from sector images."),
         make,
         {{QStringLiteral("OUT"),
           QStringLiteral("The update file to write; replaced only once the new one is complete.")},
          {QStringLiteral("SECTOR-FILE"),
           QStringLiteral("1 to %1 sector images, in flash order; each is padded with zeros to a multiple of %2 bytes.")
               .arg(FirmwareImageWriter::MaxSectors)
               .arg(FirmwareImageWriter::SectorAlignment),
           1,
           FirmwareImageWriter::MaxSectors}},
         {{ModelOption,
           QStringLiteral("MODEL"),
           QStringLiteral("Required: the model name the device reports, e.g. QRD-780; at most %1 bytes.")
               .arg(FirmwareImageWriter::ModelFieldSize - 1),
           CommandOption::Required},
          {OpaqueOption,
           QStringLiteral("HEX"),
           QStringLiteral("Header bytes from offset %1 on, passed to the device uninterpreted: an even number of "
                          "hexadecimal digits, at most %2 bytes.")
               .arg(FirmwareImageWriter::OpaqueOffset)
               .arg(FirmwareImageWriter::OpaqueSize)},
          {NoteOption,
           QStringLiteral("TEXT"),
           QStringLiteral("A build note kept in the file, never sent to the device; at most %1 bytes.")
               .arg(FirmwareImageWriter::MaxNoteSize)}},
         QString(),
         {{failure,
           QStringLiteral("A sector file cannot be read or is empty, a field does not fit, or OUT cannot be "
                          "written; OUT is left as it was.")}}});
    dispatcher.addCommand(
        {QStringLiteral("firmware-update"),
         QStringLiteral("Write a KVU2 firmware update into a device."),
         update,
         {{QStringLiteral("FILE"),
           QStringLiteral("A firmware update file (.kv2); checked whole before the device is touched.")}},
         {DeviceSession::deviceOption()},
         QString(),
         {{failure,
           QStringLiteral("The file is not valid, no device was found, the device does not answer, or the update "
                          "failed.")}}});
}

} // namespace FirmwareCommands
