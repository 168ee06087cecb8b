#pragma once

#include <cstddef>
#include <string>

namespace korvane::KVP {

/// Devices are named "usb:ftdi/N", N being the device's position among the matching
/// devices of the last scan (0 for the first).
inline constexpr char FtdiAddressPrefix[] = "usb:ftdi/";
inline constexpr size_t FtdiAddressPrefixLength = sizeof(FtdiAddressPrefix) - 1;

/// The address of the device at `index`: the prefix and the index in decimal.
std::string ftdiAddress(int index);

/// The number after the first nine characters, read as C's atoi reads it (leading
/// digits, 0 when there are none; clamped to the int range instead of overflowing).
/// The prefix itself is not looked at.
int ftdiAddressIndex(const std::string& address);

/// Whether the address begins with the prefix.
bool isFtdiAddress(const std::string& address);

/// The index of a well-formed address: the prefix followed by decimal digits only,
/// within the int range. Returns false for anything else.
bool parseFtdiAddress(const std::string& address, int& index);

} // namespace korvane::KVP
