#pragma once

#include "D2xxBackend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ftdi_context;
struct libusb_device;

namespace korvane::KVP {

/// Serves the D2XX functions with real FTDI chips through libftdi1 (over libusb).
/// Every chip of FTDI's vendor id is listed, whatever its product id, with the product
/// description from its USB string descriptor. Opening a chip detaches the kernel's
/// serial driver from it. A machine where libusb cannot start, or that has no USB bus,
/// simply has no devices. Every failed libftdi or libusb call is told to the D2XX
/// diagnostics with libftdi's or libusb's own words for it.
class LibftdiBackend : public D2xxBackend
{
public:
    /// The name KVP_FTDI_BACKEND knows this backend by.
    static constexpr const char* Name = DefaultBackendName;
    static constexpr int FtdiVendorId = 0x0403;
    /// Reads wait this long until FT_SetTimeouts says otherwise (libftdi's own default).
    static constexpr ULONG DefaultReadTimeoutMs = 5000;

    LibftdiBackend();
    ~LibftdiBackend() override;

    FT_STATUS createDeviceInfoList(DWORD* numDevices) override;
    /// `*numDevices` holds the room in `nodes` on entry and the nodes filled on return.
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices) override;
    FT_STATUS open(int deviceNumber, FT_HANDLE* handle) override;
    FT_STATUS close(FT_HANDLE handle) override;
    FT_STATUS resetDevice(FT_HANDLE handle) override;
    FT_STATUS setDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override;
    FT_STATUS setTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) override;
    FT_STATUS setBaudRate(FT_HANDLE handle, ULONG baudRate) override;
    FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) override;
    FT_STATUS getQueueStatus(FT_HANDLE handle, DWORD* rxBytes) override;
    FT_STATUS read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read) override;
    FT_STATUS write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written) override;

private:
    struct DeviceUnref
    {
        void operator()(libusb_device* device) const;
    };
    using DevicePtr = std::unique_ptr<libusb_device, DeviceUnref>;

    /// One chip of the last scan.
    struct Listed
    {
        DevicePtr device;
        std::string description;
        std::string serial;
    };

    class OpenDevice;

    OpenDevice* find(FT_HANDLE handle) const;
    bool ensureBus();

    // Declared in this order so the devices of a scan are released before the libusb
    // context they belong to. Open devices hold the context too.
    std::shared_ptr<ftdi_context> m_bus;
    std::vector<Listed> m_listed;
    std::vector<std::unique_ptr<OpenDevice>> m_open;
};

/// A backend on the machine's USB buses.
std::unique_ptr<D2xxBackend> makeLibftdiBackend();

} // namespace korvane::KVP
