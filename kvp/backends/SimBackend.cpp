// The `sim` backend: simulated QRD-540B / QRD-780 devices inside this process.
//
// KVP_SIM_DEVICES lists the devices, separated by `;`; each device is a
// comma-separated list of key=value settings, for example
//
//   KVP_SIM_DEVICES='model=QRD-780,records=12,patch=1;model=QRD-540B,fw=0x0101,desc="KORVANE KVP-DGL"'
//
// Keys (defaults in brackets):
//   model=NAME      model name in the identity [QRD-780]; QRD-540B is the other one
//   fw=N, hw=N      firmware and hardware versions [0x0102, 0x0001]
//   desc=TEXT       USB description [KORVANE KVP-DEV]; double quotes allow , and ;
//   frame=N         largest frame in bytes, header and trailer included [522]
//   slots=N         storage slots in all, at most 255 [100]
//   records=N       slots filled with sample definitions at start [0]
//   free=N          free slots instead of slots: slots = records + N
//   patch=1         the patch list holds entries, so uploads ask for a clear [0]
//   wire=1          every byte takes 44 us each way (250000 baud, 11 bits) [0]
//   latency=MS      USB latency added to every reply [0]
//   silent=1        the device never replies; silentfrom=N: no reply from frame N on
//   refuse=N[:C]    frame N is refused with code C [0x20] instead of being done
//   corrupt=N       one byte in the middle of the reply to frame N is flipped
//   drop=N[:K]      the reply to frame N loses its last K bytes [1]
//   late=N:MS       the reply to frame N comes MS milliseconds late
//   vanish=N        the device is unplugged when frame N arrives: no more replies,
//                   reads time out, writes fail, and it leaves the device list
//   nolastack=1     no reply to the final frame of a firmware update
// Numbers are decimal or 0x-hex. Frames are counted from 1 over the device's life,
// across opens. Without the variable there is one default device (a QRD-780 named
// "KORVANE KVP-DEV"); an empty variable means no device; a bad one is reported on
// standard error and also means no device.
//
// Each device keeps its memory while the backend lives; every FT_Open makes a fresh
// connection (decoder and transfers start clean). Line, baud, latency and reset calls
// succeed and change nothing. Until FT_SetTimeouts the read timeout is 100 ms; a read
// timeout of 0 returns at once with what is waiting.

#include "SimBackend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace korvane::KVP {

using sim::Clock;
using sim::TimePoint;

namespace {

constexpr std::chrono::milliseconds DefaultReadTimeout {100};

} // namespace

struct SimBackend::Connection
{
    explicit Connection(sim::SimDevice& device) : link(device) { }

    sim::SimConnection link;
    std::chrono::milliseconds readTimeout = DefaultReadTimeout;
};

SimBackend::SimBackend(std::vector<sim::SimDeviceConfig> devices)
{
    for (auto& config : devices) {
        m_devices.push_back(std::make_unique<sim::SimDevice>(std::move(config)));
    }
}

SimBackend::~SimBackend() = default;

sim::SimDevice* SimBackend::device(size_t index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return index < m_devices.size() ? m_devices[index].get() : nullptr;
}

bool SimBackend::withDevice(size_t index, const std::function<void(sim::SimDevice&)>& action)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_devices.size()) {
        return false;
    }
    action(*m_devices[index]);
    return true;
}

std::vector<sim::SimDevice*> SimBackend::presentDevices() const
{
    // An unplugged device is gone from the bus, as a real one is.
    std::vector<sim::SimDevice*> present;
    for (const auto& device : m_devices) {
        if (!device->gone()) {
            present.push_back(device.get());
        }
    }
    return present;
}

SimBackend::Connection* SimBackend::find(FT_HANDLE handle)
{
    const auto it = m_connections.find(handle);
    return it == m_connections.end() ? nullptr : it->second.get();
}

FT_STATUS SimBackend::carrying(const Connection* connection)
{
    if (!connection) {
        return FT_INVALID_HANDLE;
    }
    return connection->link.deviceGone() ? FT_IO_ERROR : FT_OK;
}

FT_STATUS SimBackend::createDeviceInfoList(DWORD* numDevices)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_snapshot = presentDevices();
    *numDevices = static_cast<DWORD>(m_snapshot.size());
    return FT_OK;
}

FT_STATUS SimBackend::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const size_t count = std::min<size_t>(*numDevices, m_snapshot.size());
    for (size_t i = 0; i < count; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        std::memset(&node, 0, sizeof node);
        const std::string& description = m_snapshot[i]->config().description;
        std::memcpy(node.Description, description.data(), std::min(description.size(), sizeof node.Description - 1));
    }
    *numDevices = static_cast<DWORD>(count);
    return FT_OK;
}

FT_STATUS SimBackend::open(int deviceNumber, FT_HANDLE* handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::vector<sim::SimDevice*> present = presentDevices();
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= present.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    auto connection = std::make_unique<Connection>(*present[static_cast<size_t>(deviceNumber)]);
    *handle = connection.get();
    m_connections.emplace(*handle, std::move(connection));
    return FT_OK;
}

FT_STATUS SimBackend::close(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections.erase(handle) == 1 ? FT_OK : FT_INVALID_HANDLE;
}

bool SimBackend::isOpen(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return find(handle) != nullptr;
}

FT_STATUS SimBackend::setTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Connection* connection = find(handle);
    if (!connection) {
        return FT_INVALID_HANDLE;
    }
    connection->readTimeout = std::chrono::milliseconds(readTimeoutMs);
    return FT_OK;
}

FT_STATUS SimBackend::getQueueStatus(FT_HANDLE handle, DWORD* rxBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *rxBytes = 0;
    const Connection* connection = find(handle);
    if (const FT_STATUS status = carrying(connection); status != FT_OK) {
        return status;
    }
    *rxBytes = static_cast<DWORD>(connection->link.available(Clock::now()));
    return FT_OK;
}

FT_STATUS SimBackend::read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read)
{
    auto* out = static_cast<uint8_t*>(buffer);
    std::unique_lock<std::mutex> lock(m_mutex);
    Connection* connection = find(handle);
    if (!connection) {
        return FT_INVALID_HANDLE;
    }
    const TimePoint deadline = Clock::now() + connection->readTimeout;
    DWORD got = 0;
    for (;;) {
        const TimePoint now = Clock::now();
        got += static_cast<DWORD>(connection->link.read(out + got, toRead - got, now));
        if (got == toRead || now >= deadline) {
            break;
        }
        // Nothing reaches the device while this read waits, so the bytes it waits for
        // are either on their way already or will not come before the deadline.
        const TimePoint wake = std::min(deadline, connection->link.readyAt(toRead - got).value_or(deadline));
        lock.unlock();
        std::this_thread::sleep_until(wake);
        lock.lock();
        connection = find(handle);
        if (!connection) {
            break;
        }
    }
    *read = got;
    return connection && connection->link.deviceGone() ? FT_IO_ERROR : FT_OK;
}

FT_STATUS SimBackend::write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Connection* connection = find(handle);
    if (const FT_STATUS status = carrying(connection); status != FT_OK) {
        return status;
    }
    connection->link.receive(static_cast<const uint8_t*>(buffer), toWrite, Clock::now());
    *written = toWrite;
    return FT_OK;
}

bool simDevicesFromEnvironment(std::vector<sim::SimDeviceConfig>& devices, std::string& error)
{
    const char* text = std::getenv(SimDevicesVariable);
    if (!text) {
        devices.assign(1, sim::SimDeviceConfig());
        return true;
    }
    return sim::parseSimDeviceList(text, devices, error);
}

std::unique_ptr<D2xxBackend> makeSimBackend()
{
    std::vector<sim::SimDeviceConfig> devices;
    std::string error;
    if (!simDevicesFromEnvironment(devices, error)) {
        // Only developers and tests set this variable; silence would hide their typo.
        std::fprintf(stderr, "%s: %s; no simulated devices\n", SimDevicesVariable, error.c_str());
        devices.clear();
    }
    return std::make_unique<SimBackend>(std::move(devices));
}

// Known to KVP_FTDI_BACKEND by this name; backends/CMakeLists.txt links this file in whole.
[[maybe_unused]] const bool SimBackendRegistered = registerD2xxBackend(SimBackend::Name, makeSimBackend);

} // namespace korvane::KVP
