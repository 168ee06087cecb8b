#pragma once

#include <QString>

/// The editor's words for device operations that failed, in one place for the window,
/// the firmware dialog and kvfl, so that a script's log says what the user would have
/// read. All of them share the translation context "DeviceMessages".
namespace DeviceMessages {

/// A write request failed (the device refused or stopped answering part way).
QString uploadFailed();
/// The device has fewer free slots than definitions to write.
QString notEnoughMemory();
/// A definition's channel count is outside what a device record holds.
QString channelRequirements();
/// A read request failed.
QString downloadFailed();
/// A delete request failed.
QString deletionFailed();
/// Clearing the patch list before a write failed.
QString patchListClearFailed();
/// A firmware update failed, or its file was refused.
QString firmwareUpdateFailed();

} // namespace DeviceMessages
