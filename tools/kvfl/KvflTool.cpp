#include "KvflTool.h"

#include "CatalogueCommands.h"
#include "CommandDispatcher.h"
#include "DeviceCommands.h"
#include "FirmwareCommands.h"
#include "HelpText.h"
#include "LibraryCommands.h"
#include "SheetCommand.h"
#include "TransferCommands.h"

namespace KvflTool {

void setUp(CommandDispatcher& dispatcher)
{
    dispatcher.setDescription(QStringLiteral(
        "Works on the fixture libraries (.kvfl) of the QRD-540B / QRD-780 Fixture Library Editor, "
        "on the devices themselves, on firmware update files and on QLC+ fixture files, for scripts "
        "and bulk work. Results go to standard output, messages to standard error; on a terminal, device "
        "commands show their progress on standard error."));
    LibraryCommands::addTo(dispatcher);
    SheetCommand::addTo(dispatcher);
    CatalogueCommands::addTo(dispatcher);
    DeviceCommands::addTo(dispatcher);
    TransferCommands::addTo(dispatcher);
    FirmwareCommands::addTo(dispatcher);

    dispatcher.addHelpSection(
        QStringLiteral("Environment"),
        {{QStringLiteral("KVP_FTDI_BACKEND"),
          QStringLiteral("How devices are reached: \"libftdi\" (the default, also for an unknown value) for real "
                         "devices on USB, \"sim\" for simulated devices inside the process, \"socket\" for "
                         "devices behind Unix sockets.")},
         {QStringLiteral("KVP_SIM_DEVICES"),
          QStringLiteral("The devices of the sim backend, separated by \";\", each a comma-separated list of "
                         "key=value settings, e.g. \"model=QRD-540B,records=12,patch=1\". Unset: one QRD-780; "
                         "empty: no device. Each run of kvfl starts them afresh.")},
         {QStringLiteral("KVP_FTDI_SOCKETS"),
          QStringLiteral(
              "The devices of the socket backend as DESCRIPTION=PATH;..., e.g. \"KORVANE%1KVP-DEV=/tmp/qrd.sock\" for "
              "a device served by kvp-device-sim, which keeps what it "
              "was sent from one command to the next.")
              .arg(QChar(HelpText::NoBreakSpace))},
         {QStringLiteral("QT_LOGGING_RULES"),
          QStringLiteral("Turns on the libraries' debug messages on standard error, e.g. \"*.debug=true\"; "
                         "kvfl shows none by default.")}});
}

} // namespace KvflTool
