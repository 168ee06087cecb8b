#pragma once

#include "KVPDiscoverRequest.h"

#include <QString>
#include <QStringList>

#include <optional>

/// The names under which discovered devices are offered for selection, in the main
/// window's device panel and in the firmware update dialog alike: the model name, and
/// where two devices of one model are attached a running number, "QRD-780 (1)",
/// "QRD-780 (2)", in discovery order.
QStringList deviceLabels(const korvane::KVP::KVPDiscoverRequest::DeviceList& devices);

/// A device's firmware version as the user reads it: 0x0102 is "1.02"; empty when the
/// device gave no identity.
QString firmwareVersionText(uint16_t version);

/// The tooltip of a device entry: its address and, once the device has been asked, its
/// firmware version.
QString deviceToolTip(const QString& address, std::optional<uint16_t> firmwareVersion = std::nullopt);
