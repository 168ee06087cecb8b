#include "DeviceCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceSession.h"

#include "DeviceRecord.h"
#include "QKVRemoteFixtureDefinition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

using korvane::KVP::KVPDiscoverRequest;

namespace {

void printJson(Console& console, const QJsonArray& array)
{
    // Qt spreads an empty array over two lines; "[]" is what a script compares with.
    console.out() << (array.isEmpty() ? QByteArray("[]\n") : QJsonDocument(array).toJson(QJsonDocument::Indented));
}

QJsonObject toJson(const QKVRemoteFixtureDefinition& definition)
{
    return QJsonObject {
        {"recordNumber", definition.recordNumber()},
        {"name", definition.name()},
        {"shortName", definition.shortName()},
        {"manufacturer", definition.manufacturer()},
        {"manufacturerShort", definition.manufacturerShort()},
        {"type", definition.type()},
        {"channelCount", definition.channelCount()},
    };
}

} // namespace

namespace DeviceCommands {

void addTo(CommandDispatcher& dispatcher)
{
    Command devicesCommand;
    devicesCommand.name = QStringLiteral("devices");
    devicesCommand.summary = QStringLiteral("List the attached devices as JSON.");
    devicesCommand.run = devices;
    devicesCommand.output = QStringLiteral("A JSON array in discovery order, \"[]\" when there is none:\n"
                                           "[{\"model\": \"QRD-780\", \"address\": \"usb:ftdi/0\"}]");
    devicesCommand.exitStatuses = {{QString::number(ExitCode::Failure),
                                    QStringLiteral("A device did not answer; the devices that did are printed.")}};
    dispatcher.addCommand(std::move(devicesCommand));

    Command listCommand;
    listCommand.name = QStringLiteral("list");
    listCommand.arguments = QStringLiteral("[--device ADDRESS]");
    listCommand.summary = QStringLiteral("Print the definitions stored on a device as JSON.");
    listCommand.run = list;
    listCommand.options = {DeviceSession::deviceOption()};
    listCommand.output = QStringLiteral("A JSON array in device order, \"[]\" for an empty device:\n"
                                        "[{\"recordNumber\": 0, \"name\": \"Spot 250\", \"shortName\": \"SPOT\",\n"
                                        "  \"manufacturer\": \"Acme\", \"manufacturerShort\": \"ACME\",\n"
                                        "  \"type\": 0, \"channelCount\": 16}]\n"
                                        "\"recordNumber\" is what download and delete take.");
    listCommand.exitStatuses = {{QString::number(ExitCode::Failure),
                                 QStringLiteral("No device found, the device does not answer, or its list is "
                                                "malformed.")}};
    dispatcher.addCommand(std::move(listCommand));
}

int devices(const QStringList&, const CommandOptions&, Console& console)
{
    DeviceSession session(console);
    KVPDiscoverRequest::DeviceList found;
    const bool succeeded = session.discover(found);
    QJsonArray array;
    for (const auto& [model, address] : found) {
        array.append(QJsonObject {{"model", model}, {"address", address}});
    }
    printJson(console, array);
    if (!succeeded) {
        console.err() << "A device did not answer the discovery.\n";
    }
    return succeeded ? ExitCode::Success : ExitCode::Failure;
}

int list(const QStringList&, const CommandOptions& options, Console& console)
{
    DeviceSession session(console);
    DeviceRecord::RemoteList definitions;
    if (!session.open(DeviceSession::deviceAddress(options)) || !session.readList(definitions)) {
        return ExitCode::Failure;
    }
    QJsonArray array;
    for (const auto& definition : definitions) {
        array.append(toJson(*definition));
    }
    printJson(console, array);
    return ExitCode::Success;
}

} // namespace DeviceCommands
