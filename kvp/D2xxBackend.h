#pragma once

#include "D2xx.h"

#include <memory>
#include <string>

namespace korvane::KVP {

/// What serves the D2XX functions: real FTDI chips through libftdi1, simulated
/// devices in this process, or devices behind Unix sockets. Every backend keeps the
/// contract the physical link relies on: FT_Read returns when the requested bytes have
/// arrived or the read timeout has run out; FT_GetQueueStatus tells how many bytes are
/// waiting; line and baud settings succeed on the simulated backends.
///
/// A backend is used from one thread at a time (the worker thread); handles it gives
/// out stay valid until FT_Close.
class D2xxBackend
{
public:
    virtual ~D2xxBackend() = default;

    virtual FT_STATUS createDeviceInfoList(DWORD* numDevices) = 0;
    virtual FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices) = 0;
    virtual FT_STATUS open(int deviceNumber, FT_HANDLE* handle) = 0;
    virtual FT_STATUS close(FT_HANDLE handle) = 0;
    virtual FT_STATUS resetDevice(FT_HANDLE handle) = 0;
    virtual FT_STATUS setDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) = 0;
    virtual FT_STATUS setTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) = 0;
    virtual FT_STATUS setBaudRate(FT_HANDLE handle, ULONG baudRate) = 0;
    virtual FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) = 0;
    virtual FT_STATUS getQueueStatus(FT_HANDLE handle, DWORD* rxBytes) = 0;
    virtual FT_STATUS read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read) = 0;
    virtual FT_STATUS write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written) = 0;
};

/// Environment variable naming the backend: "libftdi" (default), "sim" or "socket".
inline constexpr const char* BackendVariable = "KVP_FTDI_BACKEND";

/// The backend the D2XX functions use. Made at the first call from KVP_FTDI_BACKEND;
/// an unknown name falls back to libftdi.
D2xxBackend& d2xxBackend();

/// Replaces the backend (tests use a scripted one). The previous one is destroyed.
/// Passing null returns to the choice by environment at the next call.
void setD2xxBackend(std::unique_ptr<D2xxBackend> backend);

/// Backend factories, one per file.
std::unique_ptr<D2xxBackend> makeLibftdiBackend();
std::unique_ptr<D2xxBackend> makeSimBackend(); ///< devices from KVP_SIM_DEVICES
std::unique_ptr<D2xxBackend> makeSocketBackend(); ///< devices from KVP_FTDI_SOCKETS

} // namespace korvane::KVP
