#pragma once

#include "D2xx.h"

#include <functional>
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

/// Environment variable naming the backend, by the name it registered itself under.
inline constexpr const char* BackendVariable = "KVP_FTDI_BACKEND";
/// The backend for real chips: used when the variable is unset or names no known backend.
inline constexpr const char* DefaultBackendName = "libftdi";

/// Makes one backend.
using D2xxBackendFactory = std::unique_ptr<D2xxBackend> (*)();

/// Makes a backend known by `name` to KVP_FTDI_BACKEND. Each backend registers itself
/// from a static initialiser in its own file, so this layer names none of them; the
/// result only lets that initialiser be a constant.
bool registerD2xxBackend(const char* name, D2xxBackendFactory factory);

/// A new backend of the registered `name`, or null when no backend has that name.
std::unique_ptr<D2xxBackend> makeD2xxBackend(const std::string& name);

/// The backend the D2XX functions use. Made at the first call from KVP_FTDI_BACKEND; an
/// unknown name falls back to libftdi, and a program without it has no devices. Every
/// D2XX call holds its own share, so a backend replaced meanwhile stays alive until the
/// calls still running in it have returned.
std::shared_ptr<D2xxBackend> d2xxBackend();

/// Replaces the backend (tests use a scripted one); the previous one goes with its last
/// share. Passing null returns to the choice by environment at the next call.
void setD2xxBackend(std::shared_ptr<D2xxBackend> backend);

/// Told in one line of text what failed whenever a backend's call into a USB library
/// fails. Called on the thread that made the D2XX call.
using D2xxDiagnosticSink = std::function<void(const std::string& text)>;

/// Sets where backends send their diagnostics; null sends them nowhere (the default).
void setD2xxDiagnosticSink(D2xxDiagnosticSink sink);

/// Hands `text` to the diagnostic sink, if there is one.
void reportD2xxDiagnostic(const std::string& text);

} // namespace korvane::KVP
