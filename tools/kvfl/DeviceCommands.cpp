#include "DeviceCommands.h"

#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceSession.h"

#include "DeviceRecord.h"
#include "QKVRemoteFixtureDefinition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using korvane::KVP::KVPDiscoverRequest;

namespace {

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

/// devices: the discovered devices as a JSON array of {"model", "address"}. Fails when
/// some device did not answer; the devices that did are printed all the same.
int devices(const QStringList&, const CommandOptions&, Console& console)
{
    DeviceSession session(console);
    KVPDiscoverRequest::DeviceList found;
    const bool succeeded = session.discover(found);
    QJsonArray array;
    for (const auto& [model, address] : found) {
        array.append(QJsonObject {{"model", model}, {"address", address}});
    }
    console.printJson(QJsonDocument(array));
    return succeeded ? ExitCode::Success : console.fail(QStringLiteral("A device did not answer the discovery."));
}

/// list [--device ADDRESS]: the device's definitions as a JSON array, in device order.
int list(const QStringList&, const CommandOptions& options, Console& console)
{
    DeviceSession session(console);
    DeviceRecord::RemoteList definitions;
    if (!session.open(options) || !session.readList(definitions)) {
        return ExitCode::Failure;
    }
    QJsonArray array;
    for (const auto& definition : definitions) {
        array.append(toJson(*definition));
    }
    console.printJson(QJsonDocument(array));
    return ExitCode::Success;
}

} // namespace

namespace DeviceCommands {

void addTo(CommandDispatcher& dispatcher)
{
    dispatcher.addCommand({QStringLiteral("devices"),
                           QStringLiteral("List the attached devices as JSON."),
                           devices,
                           {},
                           {},
                           QStringLiteral("A JSON array in discovery order, \"[]\" when there is none:\n"
                                          "[{\"model\": \"QRD-780\", \"address\": \"usb:ftdi/0\"}]"),
                           {{QString::number(ExitCode::Failure),
                             QStringLiteral("A device did not answer; the devices that did are printed.")}}});
    dispatcher.addCommand(
        {QStringLiteral("list"),
         QStringLiteral("Print the definitions stored on a device as JSON."),
         list,
         {},
         {DeviceSession::deviceOption()},
         QStringLiteral("A JSON array in device order, \"[]\" for an empty device:\n"
                        "[{\"recordNumber\": 0, \"name\": \"Spot 250\", \"shortName\": \"SPOT\",\n"
                        "  \"manufacturer\": \"Acme\", \"manufacturerShort\": \"ACME\",\n"
                        "  \"type\": 0, \"channelCount\": 16}]\n"
                        "\"recordNumber\" is what download and delete take."),
         {{QString::number(ExitCode::Failure),
           QStringLiteral("No device found, the device does not answer, or its list is malformed.")}}});
}

} // namespace DeviceCommands
