#pragma once

#include "D2xxBackend.h"

namespace korvane::KVP {

/// A backend with no chip between the host and its devices (simulated ones, sockets).
/// There is no serial line to set up: reset, line format, baud rate and latency timer
/// succeed on any open handle and change nothing, as a working chip would let them.
class ChiplessBackend : public D2xxBackend
{
public:
    FT_STATUS resetDevice(FT_HANDLE handle) override;
    FT_STATUS setDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override;
    FT_STATUS setBaudRate(FT_HANDLE handle, ULONG baudRate) override;
    FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) override;

protected:
    /// Whether `handle` is one this backend gave out and has not closed.
    virtual bool isOpen(FT_HANDLE handle) = 0;

private:
    FT_STATUS succeedIfOpen(FT_HANDLE handle);
};

} // namespace korvane::KVP
