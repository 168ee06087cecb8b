#pragma once

#include "ChiplessBackend.h"
#include "UniqueFd.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::KVP {

/// Environment variable listing the socket devices: `DESCRIPTION=PATH` entries
/// separated by `;`.
inline constexpr const char* SocketDevicesVariable = "KVP_FTDI_SOCKETS";

/// The `socket` backend: each device is a Unix stream socket served by another process
/// (kvp-device-sim, a test peer). Entry i is D2XX device i with its description; every
/// FT_Open connects anew. A socket that cannot be reached, or whose peer has gone,
/// behaves as a dead device behind a working chip: writes vanish, reads time out.
class SocketBackend : public ChiplessBackend
{
public:
    /// The name KVP_FTDI_BACKEND knows this backend by.
    static constexpr const char* Name = "socket";

    struct Entry
    {
        std::string description;
        std::string path;
    };

    explicit SocketBackend(std::vector<Entry> entries);
    ~SocketBackend() override;

    FT_STATUS createDeviceInfoList(DWORD* numDevices) override;
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices) override;
    FT_STATUS open(int deviceNumber, FT_HANDLE* handle) override;
    FT_STATUS close(FT_HANDLE handle) override;
    FT_STATUS setTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) override;
    FT_STATUS getQueueStatus(FT_HANDLE handle, DWORD* rxBytes) override;
    FT_STATUS read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read) override;
    FT_STATUS write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written) override;

protected:
    bool isOpen(FT_HANDLE handle) override;

private:
    struct Connection;

    std::shared_ptr<Connection> find(FT_HANDLE handle);

    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::map<FT_HANDLE, std::shared_ptr<Connection>> m_connections;
};

/// Reads `DESCRIPTION=PATH;...` (split at the first `=`; empty entries skipped).
/// Returns false and names the first entry without `=`.
bool parseSocketList(std::string_view text, std::vector<SocketBackend::Entry>& entries, std::string& error);

/// A backend with the devices of KVP_FTDI_SOCKETS.
std::unique_ptr<D2xxBackend> makeSocketBackend();

} // namespace korvane::KVP
