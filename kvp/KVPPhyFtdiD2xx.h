#pragma once

#include "D2xx.h"
#include "KVPPhyFtdiI.h"

#include <vector>

namespace korvane::KVP {

/// An FTDI link driven through the D2XX functions. Opening resets the chip, sets the
/// serial line up and sends the start sequence the device waits for (a DMX-style break
/// and a manufacturer packet); after that the link carries KVP frames at 250000 baud.
/// Which attached devices count as ours is left to `scan` in a subclass.
///
/// Used by one thread at a time.
class KVPPhyFtdiD2xx : public KVPPhyFtdiI
{
public:
    /// Bytes fetched from the driver at most per read.
    static constexpr DWORD RxChunk = 10;
    /// A read waits this long for a byte, so the protocol core can check its own
    /// reply timeout between bytes.
    static constexpr ULONG ReadTimeoutMs = 100;
    static constexpr ULONG WriteTimeoutMs = 2000;
    static constexpr ULONG BreakBaudRate = 38400;
    static constexpr ULONG DmxBaudRate = 250000;
    /// The chip holds a partly filled USB packet this long before sending it. The
    /// driver's default (16 ms) would add that much to every short reply.
    static constexpr UCHAR LatencyTimerMs = 2;

    KVPPhyFtdiD2xx() = default;
    KVPPhyFtdiD2xx(const KVPPhyFtdiD2xx&) = delete;
    KVPPhyFtdiD2xx& operator=(const KVPPhyFtdiD2xx&) = delete;
    ~KVPPhyFtdiD2xx() override;

    /// Opens a well-formed "usb:ftdi/N" address; any other address leaves the link closed.
    void open(const std::string& address) override;
    void close() override;
    KVPPhyByte readByte() override;
    void write(const uint8_t* data, uint32_t length) override;

    void openIndex(int index) override;

    virtual bool setLineFormat();
    virtual bool sendManufacturerPacket();
    virtual bool sendBreakAndSetBaudRate();
    virtual bool setTimeouts();

    bool isOpen() const { return m_handle != nullptr; }

protected:
    bool setLatencyTimer();

    /// A scan has been made since construction.
    bool m_scanned = false;
    /// D2XX indices of the matching devices; position n is the address "usb:ftdi/n".
    std::vector<int> m_deviceIndices;
    FT_HANDLE m_handle = nullptr;
    /// Bytes of `m_rxBuffer` not yet handed out, starting at `m_rxPos`.
    uint32_t m_rxCount = 0;
    uint32_t m_rxPos = 0;
    uint8_t m_rxBuffer[RxChunk] = {};
};

} // namespace korvane::KVP
