#include "D2xx.h"

#include "D2xxBackend.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace korvane::KVP {

namespace {

std::mutex g_backendMutex;
std::unique_ptr<D2xxBackend> g_backend;

/// A bus without devices, for a backend that could not be made.
class NoDevicesBackend : public D2xxBackend
{
public:
    FT_STATUS createDeviceInfoList(DWORD* numDevices) override
    {
        *numDevices = 0;
        return FT_OK;
    }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE*, DWORD* numDevices) override
    {
        *numDevices = 0;
        return FT_OK;
    }
    FT_STATUS open(int, FT_HANDLE*) override { return FT_DEVICE_NOT_FOUND; }
    FT_STATUS close(FT_HANDLE) override { return FT_INVALID_HANDLE; }
    FT_STATUS resetDevice(FT_HANDLE) override { return FT_INVALID_HANDLE; }
    FT_STATUS setDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return FT_INVALID_HANDLE; }
    FT_STATUS setTimeouts(FT_HANDLE, ULONG, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS setBaudRate(FT_HANDLE, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS setLatencyTimer(FT_HANDLE, UCHAR) override { return FT_INVALID_HANDLE; }
    FT_STATUS getQueueStatus(FT_HANDLE, DWORD*) override { return FT_INVALID_HANDLE; }
    FT_STATUS read(FT_HANDLE, void*, DWORD, DWORD*) override { return FT_INVALID_HANDLE; }
    FT_STATUS write(FT_HANDLE, const void*, DWORD, DWORD*) override { return FT_INVALID_HANDLE; }
};

std::unique_ptr<D2xxBackend> backendFromEnvironment()
{
    const char* name = std::getenv(BackendVariable);
    std::unique_ptr<D2xxBackend> backend;
    if (name && std::strcmp(name, "sim") == 0) {
        backend = makeSimBackend();
    } else if (name && std::strcmp(name, "socket") == 0) {
        backend = makeSocketBackend();
    } else {
        backend = makeLibftdiBackend();
    }
    return backend ? std::move(backend) : std::make_unique<NoDevicesBackend>();
}

} // namespace

D2xxBackend& d2xxBackend()
{
    std::lock_guard<std::mutex> lock(g_backendMutex);
    if (!g_backend) {
        g_backend = backendFromEnvironment();
    }
    return *g_backend;
}

void setD2xxBackend(std::unique_ptr<D2xxBackend> backend)
{
    std::lock_guard<std::mutex> lock(g_backendMutex);
    g_backend = std::move(backend);
}

} // namespace korvane::KVP

using korvane::KVP::d2xxBackend;

FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices)
{
    return numDevices ? d2xxBackend().createDeviceInfoList(numDevices) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices)
{
    return nodes && numDevices ? d2xxBackend().getDeviceInfoList(nodes, numDevices) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* handle)
{
    return handle ? d2xxBackend().open(deviceNumber, handle) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    return handle ? d2xxBackend().close(handle) : FT_INVALID_HANDLE;
}

FT_STATUS FT_ResetDevice(FT_HANDLE handle)
{
    return handle ? d2xxBackend().resetDevice(handle) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return handle ? d2xxBackend().setDataCharacteristics(handle, wordLength, stopBits, parity) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout)
{
    return handle ? d2xxBackend().setTimeouts(handle, readTimeout, writeTimeout) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return handle ? d2xxBackend().setBaudRate(handle, baudRate) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    return handle ? d2xxBackend().setLatencyTimer(handle, latencyMs) : FT_INVALID_HANDLE;
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes)
{
    if (!handle) {
        return FT_INVALID_HANDLE;
    }
    return rxBytes ? d2xxBackend().getQueueStatus(handle, rxBytes) : FT_INVALID_PARAMETER;
}

FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read)
{
    if (!handle) {
        return FT_INVALID_HANDLE;
    }
    if (!read || (!buffer && toRead > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *read = 0;
    return d2xxBackend().read(handle, buffer, toRead, read);
}

FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written)
{
    if (!handle) {
        return FT_INVALID_HANDLE;
    }
    if (!written || (!buffer && toWrite > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *written = 0;
    return d2xxBackend().write(handle, buffer, toWrite, written);
}
