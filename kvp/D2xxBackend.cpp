#include "D2xxBackend.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

namespace korvane::KVP {

namespace {

/// A bus without devices, for a program that has no backend of the chosen name.
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

/// What the D2XX functions are served by, and who hears of their failures. Reached through
/// a function, not a global object: backends register from static initialisers of other
/// files, which may run before this file's own.
struct BackendState
{
    std::mutex mutex;
    std::map<std::string, D2xxBackendFactory> factories;
    std::shared_ptr<D2xxBackend> current;
    D2xxDiagnosticSink sink;
};

BackendState& state()
{
    static BackendState instance;
    return instance;
}

} // namespace

bool registerD2xxBackend(const char* name, D2xxBackendFactory factory)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().factories.emplace(name, factory).second;
}

std::unique_ptr<D2xxBackend> makeD2xxBackend(const std::string& name)
{
    D2xxBackendFactory factory = nullptr;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        const auto found = state().factories.find(name);
        factory = found == state().factories.end() ? nullptr : found->second;
    }
    return factory ? factory() : nullptr;
}

std::shared_ptr<D2xxBackend> d2xxBackend()
{
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (state().current) {
            return state().current;
        }
    }
    // Made without the lock: a backend may tell the diagnostics something as it starts.
    const char* name = std::getenv(BackendVariable);
    std::shared_ptr<D2xxBackend> made = name ? makeD2xxBackend(name) : nullptr;
    if (!made) {
        made = makeD2xxBackend(DefaultBackendName);
    }
    if (!made) {
        made = std::make_shared<NoDevicesBackend>();
    }
    std::lock_guard<std::mutex> lock(state().mutex);
    // Another thread may have been quicker; the one made here then goes unused.
    if (!state().current) {
        state().current = std::move(made);
    }
    return state().current;
}

void setD2xxBackend(std::shared_ptr<D2xxBackend> backend)
{
    // The old one may hold the last share: it goes after the lock is released, as its
    // destructor may take a while (USB handles to close).
    std::shared_ptr<D2xxBackend> previous;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        previous = std::exchange(state().current, std::move(backend));
    }
}

void setD2xxDiagnosticSink(D2xxDiagnosticSink sink)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().sink = std::move(sink);
}

void reportD2xxDiagnostic(const std::string& text)
{
    D2xxDiagnosticSink sink;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        sink = state().sink;
    }
    if (sink) {
        sink(text);
    }
}

} // namespace korvane::KVP
