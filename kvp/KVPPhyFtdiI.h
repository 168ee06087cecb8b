#pragma once

#include "KVPPhy.h"

namespace korvane::KVP {

/// A link through an FTDI USB-serial chip. Devices are found by a scan and opened by
/// their position among the matching devices (the number in a "usb:ftdi/N" address).
class KVPPhyFtdiI : public KVPPhy
{
public:
    void open(const std::string& address) override = 0;
    void close() override = 0;
    KVPPhyByte readByte() override = 0;
    void write(const uint8_t* data, uint32_t length) override = 0;

    /// Lists the attached devices that are ours; returns how many there are.
    virtual int scan() = 0;
    /// Opens the device at `index` in the list of the last scan; an index outside the
    /// list leaves the link closed.
    virtual void openIndex(int index) = 0;
};

} // namespace korvane::KVP
