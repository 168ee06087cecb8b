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
    dispatcher.addCommand({QStringLiteral("devices"),
                           QString(),
                           QStringLiteral("List the attached devices as JSON."),
                           0,
                           0,
                           devices,
                           {}});
    dispatcher.addCommand({QStringLiteral("list"),
                           QStringLiteral("[--device A]"),
                           QStringLiteral("Print the definitions stored on a device as JSON."),
                           0,
                           0,
                           list,
                           {DeviceSession::deviceOption()}});
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
