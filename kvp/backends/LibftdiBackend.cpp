#include "LibftdiBackend.h"

#include "FtdiReceiveQueue.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace korvane::KVP {

namespace {

using Clock = std::chrono::steady_clock;

/// How long a read sleeps when the chip had nothing, before it asks again.
constexpr auto PollPause = std::chrono::milliseconds(1);
/// The most a single USB transfer may block, so a wedged chip cannot hold a read past
/// its own timeout by much. A healthy chip answers every latency period (2 to 16 ms).
constexpr int UsbReadTimeoutCapMs = 100;

struct FtdiFree
{
    void operator()(ftdi_context* ftdi) const { ftdi_free(ftdi); }
};
using FtdiPtr = std::unique_ptr<ftdi_context, FtdiFree>;

struct DeviceListFree
{
    // The list holds a reference to each device; the devices kept from a scan took
    // their own before the list goes.
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceListPtr = std::unique_ptr<libusb_device*, DeviceListFree>;

void copyString(char* field, size_t fieldSize, const std::string& text)
{
    const size_t n = std::min(text.size(), fieldSize - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

/// Passes a failed libusb call on to the diagnostics, by libusb's name for the code.
void reportUsbFailure(const char* call, int code)
{
    reportD2xxDiagnostic(std::string("libusb: ") + call + " failed: " + libusb_error_name(code));
}

/// Passes a libftdi call that returned `result` on to the diagnostics when it failed, in
/// libftdi's own words; bulk transfers carry libusb's code, which is named as well.
/// Returns `result`.
int checked(ftdi_context* ftdi, const char* call, int result, bool usbCode = false)
{
    if (result < 0) {
        std::string text = std::string("libftdi: ") + call + " failed (" + std::to_string(result)
            + "): " + ftdi_get_error_string(ftdi);
        if (usbCode) {
            text += std::string(" [") + libusb_error_name(result) + "]";
        }
        reportD2xxDiagnostic(text);
    }
    return result;
}

} // namespace

/// An opened chip, with the bytes read from it but not yet handed out.
class LibftdiBackend::OpenDevice
{
public:
    OpenDevice(std::shared_ptr<ftdi_context> bus, FtdiPtr ftdi)
        : m_bus(std::move(bus))
        , m_ftdi(std::move(ftdi))
        , m_received([this](uint8_t* data, int size) { return bulkRead(data, size); })
    {
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;
    ~OpenDevice() { checked(ftdi(), "ftdi_usb_close", ftdi_usb_close(ftdi())); }

    ftdi_context* ftdi() const { return m_ftdi.get(); }
    FtdiReceiveQueue& received() { return m_received; }
    ULONG readTimeoutMs() const { return m_readTimeoutMs; }
    void setReadTimeoutMs(ULONG timeoutMs) { m_readTimeoutMs = timeoutMs; }

private:
    int bulkRead(uint8_t* data, int size)
    {
        const int got = ftdi_read_data(ftdi(), data, size);
        // A read that timed out found the chip with nothing to say: no failure.
        return got == LIBUSB_ERROR_TIMEOUT ? got : checked(ftdi(), "ftdi_read_data", got, true);
    }

    // Destroyed after the chip is closed: its handle lives in this libusb context.
    std::shared_ptr<ftdi_context> m_bus;
    FtdiPtr m_ftdi;
    FtdiReceiveQueue m_received;
    ULONG m_readTimeoutMs = DefaultReadTimeoutMs;
};

void LibftdiBackend::DeviceUnref::operator()(libusb_device* device) const
{
    libusb_unref_device(device);
}

LibftdiBackend::LibftdiBackend() = default;

LibftdiBackend::~LibftdiBackend() = default;

bool LibftdiBackend::ensureBus()
{
    if (!m_bus) {
        // ftdi_new fails when libusb cannot start (no USB file system, as in a
        // container); that is a machine without devices, and the next scan tries again.
        ftdi_context* bus = ftdi_new();
        if (!bus) {
            reportD2xxDiagnostic("libftdi: ftdi_new failed: libusb could not start");
            return false;
        }
        m_bus.reset(bus, FtdiFree());
    }
    return true;
}

LibftdiBackend::OpenDevice* LibftdiBackend::find(FT_HANDLE handle) const
{
    for (const auto& device : m_open) {
        if (device.get() == handle) {
            return device.get();
        }
    }
    return nullptr;
}

FT_STATUS LibftdiBackend::createDeviceInfoList(DWORD* numDevices)
{
    m_listed.clear();
    *numDevices = 0;
    if (!ensureBus()) {
        return FT_OK;
    }
    // ftdi_usb_find_all matches one exact product id (0 meaning a fixed set of common
    // ones), so the bus is walked here to take every product id of the vendor.
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(m_bus->usb_ctx, &raw);
    DeviceListPtr list(raw);
    if (count < 0) {
        reportUsbFailure("libusb_get_device_list", static_cast<int>(count));
        return FT_OK;
    }
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = raw[i];
        libusb_device_descriptor descriptor {};
        if (const int result = libusb_get_device_descriptor(device, &descriptor); result < 0) {
            reportUsbFailure("libusb_get_device_descriptor", result);
            continue;
        }
        if (descriptor.idVendor != FtdiVendorId) {
            continue;
        }
        Listed listed;
        listed.device.reset(libusb_ref_device(device));
        // A chip we may not open (permissions) is still listed, with no description,
        // so that the positions of the others do not depend on it.
        char description[sizeof(FT_DEVICE_LIST_INFO_NODE::Description)] = {};
        char serial[sizeof(FT_DEVICE_LIST_INFO_NODE::SerialNumber)] = {};
        const int strings = ftdi_usb_get_strings(
            m_bus.get(), device, nullptr, 0, description, sizeof(description), serial, sizeof(serial));
        if (checked(m_bus.get(), "ftdi_usb_get_strings", strings) == 0) {
            listed.description.assign(description, strnlen(description, sizeof(description)));
            listed.serial.assign(serial, strnlen(serial, sizeof(serial)));
        }
        m_listed.push_back(std::move(listed));
    }
    *numDevices = static_cast<DWORD>(m_listed.size());
    return FT_OK;
}

FT_STATUS LibftdiBackend::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices)
{
    const size_t filled = std::min<size_t>(*numDevices, m_listed.size());
    for (size_t i = 0; i < filled; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        std::memset(&node, 0, sizeof(node));
        copyString(node.Description, sizeof(node.Description), m_listed[i].description);
        copyString(node.SerialNumber, sizeof(node.SerialNumber), m_listed[i].serial);
    }
    *numDevices = static_cast<DWORD>(filled);
    return FT_OK;
}

FT_STATUS LibftdiBackend::open(int deviceNumber, FT_HANDLE* handle)
{
    *handle = nullptr;
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= m_listed.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    FtdiPtr ftdi(ftdi_new());
    if (!ftdi) {
        reportD2xxDiagnostic("libftdi: ftdi_new failed: libusb could not start");
        return FT_INSUFFICIENT_RESOURCES;
    }
    // The device belongs to the scan's libusb context; the open device keeps that
    // context alive for as long as it holds the handle.
    libusb_device* device = m_listed[static_cast<size_t>(deviceNumber)].device.get();
    if (checked(ftdi.get(), "ftdi_usb_open_dev", ftdi_usb_open_dev(ftdi.get(), device)) < 0) {
        return FT_DEVICE_NOT_OPENED;
    }
    ftdi->usb_read_timeout = UsbReadTimeoutCapMs;
    m_open.push_back(std::make_unique<OpenDevice>(m_bus, std::move(ftdi)));
    *handle = m_open.back().get();
    return FT_OK;
}

FT_STATUS LibftdiBackend::close(FT_HANDLE handle)
{
    const auto it = std::find_if(
        m_open.begin(), m_open.end(), [handle](const std::unique_ptr<OpenDevice>& d) { return d.get() == handle; });
    if (it == m_open.end()) {
        return FT_INVALID_HANDLE;
    }
    m_open.erase(it);
    return FT_OK;
}

FT_STATUS LibftdiBackend::resetDevice(FT_HANDLE handle)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    return checked(device->ftdi(), "ftdi_usb_reset", ftdi_usb_reset(device->ftdi())) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibftdiBackend::setDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != FT_STOP_BITS_2) || parity > SPACE) {
        return FT_INVALID_PARAMETER;
    }
    // D2XX says 0 for one stop bit and 2 for two; libftdi's values differ.
    const ftdi_stopbits_type stop = stopBits == FT_STOP_BITS_2 ? STOP_BIT_2 : STOP_BIT_1;
    const int result = checked(
        device->ftdi(),
        "ftdi_set_line_property",
        ftdi_set_line_property(
            device->ftdi(), static_cast<ftdi_bits_type>(wordLength), stop, static_cast<ftdi_parity_type>(parity)));
    return result == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibftdiBackend::setTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    device->setReadTimeoutMs(readTimeoutMs);
    device->ftdi()->usb_write_timeout = static_cast<int>(std::min<ULONG>(writeTimeoutMs, INT32_MAX));
    return FT_OK;
}

FT_STATUS LibftdiBackend::setBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    if (baudRate == 0 || baudRate > INT32_MAX) {
        return FT_INVALID_BAUD_RATE;
    }
    const int result
        = checked(device->ftdi(), "ftdi_set_baudrate", ftdi_set_baudrate(device->ftdi(), static_cast<int>(baudRate)));
    if (result == -1) {
        return FT_INVALID_BAUD_RATE;
    }
    return result == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibftdiBackend::setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    if (latencyMs == 0) {
        return FT_INVALID_PARAMETER;
    }
    const int result = ftdi_set_latency_timer(device->ftdi(), latencyMs);
    return checked(device->ftdi(), "ftdi_set_latency_timer", result) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibftdiBackend::getQueueStatus(FT_HANDLE handle, DWORD* rxBytes)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    // The chip tells what it holds only by sending it: fetch it into our own buffer
    // and count that.
    const int pulled = device->received().pull();
    *rxBytes = static_cast<DWORD>(device->received().waiting());
    return pulled < 0 ? FT_IO_ERROR : FT_OK;
}

FT_STATUS LibftdiBackend::read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(device->readTimeoutMs());
    FT_STATUS status = FT_OK;
    for (;;) {
        got += device->received().take(out + got, toRead - got);
        if (got >= toRead) {
            break;
        }
        const int pulled = device->received().pull();
        if (pulled < 0) {
            status = FT_IO_ERROR;
            break;
        }
        if (pulled > 0) {
            continue;
        }
        if (Clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(PollPause);
    }
    *read = static_cast<DWORD>(got);
    return status;
}

FT_STATUS LibftdiBackend::write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written)
{
    OpenDevice* device = find(handle);
    if (!device) {
        return FT_INVALID_HANDLE;
    }
    const uint8_t* data = static_cast<const uint8_t*>(buffer);
    DWORD sent = 0;
    FT_STATUS status = FT_OK;
    while (sent < toWrite) {
        const int chunk = static_cast<int>(std::min<DWORD>(toWrite - sent, INT32_MAX));
        // An interrupted write is made again whole, as libftdi does not say how much of it
        // went out. A repeated head costs at most this exchange, which the protocol core
        // sees as a missing reply, where giving up would lose the device.
        const int result = retryInterrupted([&] {
            return checked(
                device->ftdi(), "ftdi_write_data", ftdi_write_data(device->ftdi(), data + sent, chunk), true);
        });
        if (result < 0) {
            status = FT_IO_ERROR;
            break;
        }
        if (result == 0) {
            break;
        }
        sent += static_cast<DWORD>(result);
    }
    *written = sent;
    return status;
}

std::unique_ptr<D2xxBackend> makeLibftdiBackend()
{
    return std::make_unique<LibftdiBackend>();
}

// Known to KVP_FTDI_BACKEND by this name; backends/CMakeLists.txt links this file in whole.
[[maybe_unused]] const bool LibftdiBackendRegistered = registerD2xxBackend(LibftdiBackend::Name, makeLibftdiBackend);

} // namespace korvane::KVP
