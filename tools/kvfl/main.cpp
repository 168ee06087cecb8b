#include "CommandDispatcher.h"
#include "Console.h"
#include "DeviceCommands.h"
#include "FirmwareCommands.h"
#include "LibraryCommands.h"
#include "TransferCommands.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvfl"));

    QFile input;
    QFile output;
    QFile error;
    input.open(stdin, QIODevice::ReadOnly);
    output.open(stdout, QIODevice::WriteOnly);
    error.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);

    // The libraries' debug lines belong in the editor's log, not among a script's
    // messages; QT_LOGGING_RULES still turns them on.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    CommandDispatcher dispatcher(QStringLiteral("kvfl"));
    LibraryCommands::addTo(dispatcher);
    DeviceCommands::addTo(dispatcher);
    TransferCommands::addTo(dispatcher);
    FirmwareCommands::addTo(dispatcher);

    Console console(&input, &output, &error);
    // Decoded with the local 8-bit encoding, so library paths with any characters the
    // file system holds arrive intact.
    return dispatcher.run(QCoreApplication::arguments(), console);
}
