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
    dispatcher.addCommand({QStringLiteral("firmware-info"),
                           QStringLiteral("FILE"),
                           QStringLiteral("Check a KVU2 firmware update file and print its layout as JSON."),
                           1,
                           1,
                           info,
                           {}});
    dispatcher.addCommand(
        {QStringLiteral("firmware-make"),
         QStringLiteral("OUT --model MODEL [--opaque HEX] [--note TEXT] SECTOR-FILE..."),
         QStringLiteral("Write a KVU2 firmware update file from sector images (each padded to 256 bytes)."),
         2,
         1 + FirmwareImageWriter::MaxSectors,
         make,
         {{ModelOption, true}, {OpaqueOption, true}, {NoteOption, true}}});
    dispatcher.addCommand({QStringLiteral("firmware-update"),
                           QStringLiteral("FILE [--device A]"),
                           QStringLiteral("Write a KVU2 firmware update into a device."),
                           1,
                           1,
                           update,
                           {DeviceSession::deviceOption()}});
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
        console.err() << "firmware-make needs --model MODEL.\n";
        return ExitCode::Usage;
    }
    writer.setModel(model.toLatin1());
    const QString opaque = lastValue(options, OpaqueOption);
    const QByteArray opaqueBytes = QByteArray::fromHex(opaque.toLatin1());
    if (opaqueBytes.toHex() != opaque.toLatin1().toLower()) {
        console.err() << "--opaque takes an even number of hexadecimal digits.\n";
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
