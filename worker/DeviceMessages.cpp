#include "DeviceMessages.h"

#include "DeviceFit.h"
#include "DeviceRecordLayout.h"

#include <QCoreApplication>

// One context, "DeviceMessages", for every message, so that a translation made for the
// window reaches kvfl unchanged. Spelled out at each call, where lupdate finds it.

namespace DeviceMessages {

QString uploadFailed()
{
    return QCoreApplication::translate("DeviceMessages", "Upload of fixture definition(s) failed.");
}

QString notEnoughMemory()
{
    return QCoreApplication::translate("DeviceMessages",
                                       "The device seems not to have enough free memory slots to store\n"
                                       "all of the selected fixtures.");
}

QString channelRequirements()
{
    return QCoreApplication::translate("DeviceMessages",
                                       "Make sure that no fixture definition has less than %1 channel or more\n"
                                       "than %2 channels.")
        .arg(DeviceFit::MinChannels)
        .arg(DeviceRecord::MaxChannels);
}

QString downloadFailed()
{
    return QCoreApplication::translate("DeviceMessages", "Downloading of fixture definition(s) failed.");
}

QString deletionFailed()
{
    return QCoreApplication::translate("DeviceMessages", "Deletion of fixture definition(s) failed.");
}

QString patchListClearFailed()
{
    return QCoreApplication::translate("DeviceMessages", "Deletion of patch list has failed.");
}

QString firmwareUpdateFailed()
{
    return QCoreApplication::translate("DeviceMessages", "The firmware update could not be completed");
}

} // namespace DeviceMessages
