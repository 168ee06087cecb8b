#pragma once

#include <QString>

#include <cstdint>

namespace korvane::KVP {

class KVPLink;
struct KVPDeviceIdentity;

/// The model names our devices report in their identity. Spelled here only: whatever
/// compares or shows a model name takes it from here.
inline constexpr char ModelQrd540b[] = "QRD-540B";
inline constexpr char ModelQrd780[] = "QRD-780";
/// The QRD-540B reads and writes its fixture library only with firmware newer than this.
inline constexpr uint16_t Qrd540bLastFirmwareWithoutLibrary = 0x0101;

/// The identity's model name as text. The device sends ASCII; reading it as Latin-1
/// keeps any other byte visible instead of dropping it.
QString modelNameOf(const KVPDeviceIdentity& identity);

/// Asks the device who it is (one identify exchange) and returns its model name, or an
/// empty string when it gave no full identity.
QString queryModelName(KVPLink& link);

/// One identify exchange: whether the device can read and write its fixture library.
/// Unknown models are refused; names are compared exactly.
bool supportsLibraryAccess(KVPLink* link);

} // namespace korvane::KVP
