#include "KVPPhyFtdiD2xx.h"

#include "KVPAddress.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace korvane::KVP {

namespace {

// DMX512 alternate START code for manufacturer data, the maker's identifier "Kv", and
// the end of the packet. The device listens for KVP frames only after it.
constexpr uint8_t ManufacturerPacket[] = {0x91, 0x4B, 0x76, 0x01};

} // namespace

KVPPhyFtdiD2xx::~KVPPhyFtdiD2xx()
{
    // close() is virtual, but a subclass is gone by now: this class's own close runs,
    // which is the one that holds the handle.
    KVPPhyFtdiD2xx::close();
}

void KVPPhyFtdiD2xx::open(const std::string& address)
{
    int index = 0;
    if (!parseFtdiAddress(address, index)) {
        // atoi would turn a garbled address into device 0 and open a device nobody chose.
        close();
        return;
    }
    openIndex(index);
}

void KVPPhyFtdiD2xx::openIndex(int index)
{
    if (!m_scanned) {
        scan();
    }
    close();
    if (index < 0 || static_cast<size_t>(index) >= m_deviceIndices.size()) {
        return;
    }
    FT_HANDLE opened = nullptr;
    if (FT_Open(m_deviceIndices[static_cast<size_t>(index)], &opened) != FT_OK) {
        return;
    }
    m_handle = opened;
    // The set-up results are not looked at: a device that does not take them will not
    // answer either, and the protocol core reports that as a reply timeout. The latency
    // timer goes right after the reset, which would put it back to the chip's default.
    FT_ResetDevice(m_handle);
    setLatencyTimer();
    setLineFormat();
    setTimeouts();
    sendBreakAndSetBaudRate();
    sendManufacturerPacket();
}

void KVPPhyFtdiD2xx::close()
{
    if (m_handle) {
        FT_Close(m_handle);
        m_handle = nullptr;
    }
    // Bytes of the device just closed must not show up as replies of the next one.
    m_rxCount = 0;
    m_rxPos = 0;
}

KVPPhyByte KVPPhyFtdiD2xx::readByte()
{
    if (m_rxCount == 0) {
        m_rxPos = 0;
        if (!m_handle) {
            // A closed link behaves like a silent device: the caller polls in a loop
            // and must not spin while it waits out its reply timeout.
            std::this_thread::sleep_for(std::chrono::milliseconds(ReadTimeoutMs));
            return {};
        }
        // Asking for a full chunk would wait out the read timeout at the end of every
        // reply whose length is not a multiple of the chunk. Take what is waiting; only
        // when nothing is, wait (up to the read timeout) for a single byte.
        DWORD waiting = 0;
        if (FT_GetQueueStatus(m_handle, &waiting) != FT_OK) {
            waiting = 0;
        }
        const DWORD wanted = waiting > 0 ? std::min(waiting, RxChunk) : 1;
        DWORD got = 0;
        const FT_STATUS status = FT_Read(m_handle, m_rxBuffer, wanted, &got);
        m_rxCount = std::min(got, wanted);
        if (m_rxCount == 0) {
            if (status != FT_OK) {
                // A vanished device fails at once; wait as a silent one would.
                std::this_thread::sleep_for(std::chrono::milliseconds(ReadTimeoutMs));
            }
            return {};
        }
    }
    KVPPhyByte byte;
    byte.value = m_rxBuffer[m_rxPos++];
    byte.empty = false;
    --m_rxCount;
    return byte;
}

void KVPPhyFtdiD2xx::write(const uint8_t* data, uint32_t length)
{
    if (length == 0 || !data || !m_handle) {
        return;
    }
    // A stalled chip may take a few bytes per call; one attempt per byte bounds the
    // loop even if it takes none at all.
    uint32_t remaining = length;
    uint32_t attempts = length;
    while (attempts > 0) {
        DWORD written = 0;
        const FT_STATUS status = FT_Write(m_handle, data, remaining, &written);
        if (written >= remaining) {
            return;
        }
        if (status != FT_OK) {
            // The driver has given up on the device; further attempts would each wait
            // out the write timeout for nothing.
            return;
        }
        data += written;
        remaining -= written;
        --attempts;
    }
}

bool KVPPhyFtdiD2xx::setLineFormat()
{
    return FT_SetDataCharacteristics(m_handle, FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_NONE) == FT_OK;
}

bool KVPPhyFtdiD2xx::sendManufacturerPacket()
{
    DWORD written = 0;
    return FT_Write(m_handle, ManufacturerPacket, sizeof(ManufacturerPacket), &written) == FT_OK;
}

bool KVPPhyFtdiD2xx::sendBreakAndSetBaudRate()
{
    // One 0x00 at 38400 baud holds the line low for nine bit times (about 234 us), which
    // the device takes as a DMX512 break before the line changes to the DMX rate.
    if (FT_SetBaudRate(m_handle, BreakBaudRate) != FT_OK) {
        return false;
    }
    const uint8_t breakByte = 0x00;
    DWORD written = 0;
    if (FT_Write(m_handle, &breakByte, 1, &written) != FT_OK) {
        return false;
    }
    return FT_SetBaudRate(m_handle, DmxBaudRate) == FT_OK;
}

bool KVPPhyFtdiD2xx::setTimeouts()
{
    return FT_SetTimeouts(m_handle, ReadTimeoutMs, WriteTimeoutMs) == FT_OK;
}

bool KVPPhyFtdiD2xx::setLatencyTimer()
{
    return FT_SetLatencyTimer(m_handle, LatencyTimerMs) == FT_OK;
}

} // namespace korvane::KVP
