#pragma once

#include "ChiplessBackend.h"
#include "SimConnection.h"
#include "SimDevice.h"
#include "SimDeviceConfig.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvane::KVP {

/// Environment variable listing the simulated devices (format in SimBackend.cpp).
inline constexpr const char* SimDevicesVariable = "KVP_SIM_DEVICES";

/// The `sim` backend: simulated devices in this process. Each device keeps its memory
/// for the backend's life; each FT_Open makes a fresh connection to it. FT_Read sleeps
/// until the bytes it waits for are due or its read timeout has run out.
class SimBackend : public ChiplessBackend
{
public:
    /// The name KVP_FTDI_BACKEND knows this backend by.
    static constexpr const char* Name = "sim";

    explicit SimBackend(std::vector<sim::SimDeviceConfig> devices);
    ~SimBackend() override;

    FT_STATUS createDeviceInfoList(DWORD* numDevices) override;
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices) override;
    FT_STATUS open(int deviceNumber, FT_HANDLE* handle) override;
    FT_STATUS close(FT_HANDLE handle) override;
    FT_STATUS setTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) override;
    FT_STATUS getQueueStatus(FT_HANDLE handle, DWORD* rxBytes) override;
    FT_STATUS read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read) override;
    FT_STATUS write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written) override;

    /// The device configured at this position, also after it vanished; null beyond the
    /// list. For tests that look at what a device stored.
    sim::SimDevice* device(size_t index);
    /// Runs `action` on the device at this position while no connection talks to it, so
    /// a test may arm or clear faults while the worker thread is busy. False beyond the list.
    bool withDevice(size_t index, const std::function<void(sim::SimDevice&)>& action);

protected:
    bool isOpen(FT_HANDLE handle) override;

private:
    struct Connection;

    Connection* find(FT_HANDLE handle);
    /// FT_OK for a connection that carries bytes; what the driver says of one that does not.
    static FT_STATUS carrying(const Connection* connection);
    std::vector<sim::SimDevice*> presentDevices() const;

    std::mutex m_mutex;
    std::vector<std::unique_ptr<sim::SimDevice>> m_devices;
    std::vector<sim::SimDevice*> m_snapshot;
    std::map<FT_HANDLE, std::unique_ptr<Connection>> m_connections;
};

/// The devices of KVP_SIM_DEVICES: one default QRD-780 when the variable is not set.
bool simDevicesFromEnvironment(std::vector<sim::SimDeviceConfig>& devices, std::string& error);

/// A backend with the devices of KVP_SIM_DEVICES.
std::unique_ptr<D2xxBackend> makeSimBackend();

} // namespace korvane::KVP
