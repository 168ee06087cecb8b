#pragma once

#include "KVPPhyByte.h"

#include <cstdint>
#include <string>

namespace korvane::KVP {

/// The raw byte link to one device. The protocol core reads and writes through this
/// class only, so any byte stream (USB-serial chip, socket, test double) can carry KVP.
/// Every operation does nothing by default; a link overrides what it supports.
class KVPPhy
{
public:
    virtual ~KVPPhy();

    /// Opens the device named by `address`; a link that cannot open stays closed.
    virtual void open(const std::string& address);
    virtual void close();
    /// The next received byte, waiting at most the link's read timeout for it.
    virtual KVPPhyByte readByte();
    /// Sends the bytes; a short write is not reported (the missing reply shows it).
    virtual void write(const uint8_t* data, uint32_t length);
    virtual int errorCode() const;
    virtual std::string errorString(int code) const;
};

} // namespace korvane::KVP
