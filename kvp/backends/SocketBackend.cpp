// The `socket` backend: devices behind Unix stream sockets.
//
// KVP_FTDI_SOCKETS lists them as `DESCRIPTION=PATH` entries separated by `;`, for
// example `KORVANE KVP-DEV=/tmp/qrd780.sock;KORVANE KVP-DGL=/tmp/qrd540.sock`. Entry i
// is D2XX device i; its node carries the description and nothing else. Every FT_Open
// connects to the path anew and FT_Close disconnects, so the peer (kvp-device-sim) sees
// one connection per open. Line, baud, latency and reset calls succeed and send nothing.
//
// A path nobody listens on, or a peer that hung up, is a dead device behind a working
// chip: FT_Open succeeds, writes report their bytes as sent, reads wait out their
// timeout and bring nothing. The protocol core then sees what it sees with a real dead
// device, a reply timeout, and never a fast failure loop.

#include "SocketBackend.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace korvane::KVP {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds DefaultReadTimeout {100};
constexpr std::chrono::milliseconds DefaultWriteTimeout {2000};

/// Connects without blocking; a server that is absent or too busy to queue us gives
/// an empty owner, the dead device.
UniqueFd connectTo(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return UniqueFd();
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid() || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return UniqueFd();
    }
    return fd;
}

/// Waits for `events` on `fd` until `deadline`; a signal only cuts the wait short.
void waitFor(int fd, short events, Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return;
    }
    const timespec timeout {static_cast<time_t>(left.count() / 1000000000),
                            static_cast<long>(left.count() % 1000000000)};
    pollfd entry {fd, events, 0};
    ::ppoll(&entry, 1, &timeout, nullptr);
}

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

struct SocketBackend::Connection
{
    UniqueFd fd;
    std::chrono::milliseconds readTimeout = DefaultReadTimeout;
    std::chrono::milliseconds writeTimeout = DefaultWriteTimeout;
};

SocketBackend::SocketBackend(std::vector<Entry> entries) : m_entries(std::move(entries)) { }

SocketBackend::~SocketBackend() = default;

std::shared_ptr<SocketBackend::Connection> SocketBackend::find(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_connections.find(handle);
    return it == m_connections.end() ? nullptr : it->second;
}

FT_STATUS SocketBackend::createDeviceInfoList(DWORD* numDevices)
{
    *numDevices = static_cast<DWORD>(m_entries.size());
    return FT_OK;
}

FT_STATUS SocketBackend::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* numDevices)
{
    const size_t count = std::min<size_t>(*numDevices, m_entries.size());
    for (size_t i = 0; i < count; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        std::memset(&node, 0, sizeof node);
        const std::string& description = m_entries[i].description;
        std::memcpy(node.Description, description.data(), std::min(description.size(), sizeof node.Description - 1));
    }
    *numDevices = static_cast<DWORD>(count);
    return FT_OK;
}

FT_STATUS SocketBackend::open(int deviceNumber, FT_HANDLE* handle)
{
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= m_entries.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = connectTo(m_entries[static_cast<size_t>(deviceNumber)].path);
    std::lock_guard<std::mutex> lock(m_mutex);
    *handle = connection.get();
    m_connections.emplace(*handle, std::move(connection));
    return FT_OK;
}

FT_STATUS SocketBackend::close(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections.erase(handle) == 1 ? FT_OK : FT_INVALID_HANDLE;
}

bool SocketBackend::isOpen(FT_HANDLE handle)
{
    return find(handle) != nullptr;
}

FT_STATUS SocketBackend::setTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    const auto connection = find(handle);
    if (!connection) {
        return FT_INVALID_HANDLE;
    }
    connection->readTimeout = std::chrono::milliseconds(readTimeoutMs);
    connection->writeTimeout = std::chrono::milliseconds(writeTimeoutMs);
    return FT_OK;
}

FT_STATUS SocketBackend::getQueueStatus(FT_HANDLE handle, DWORD* rxBytes)
{
    *rxBytes = 0;
    const auto connection = find(handle);
    if (!connection) {
        return FT_INVALID_HANDLE;
    }
    int waiting = 0;
    if (connection->fd.valid() && ::ioctl(connection->fd.get(), FIONREAD, &waiting) == 0 && waiting > 0) {
        *rxBytes = static_cast<DWORD>(waiting);
    }
    return FT_OK;
}

FT_STATUS SocketBackend::read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* read)
{
    const auto connection = find(handle);
    if (!connection) {
        return FT_INVALID_HANDLE;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    const auto deadline = Clock::now() + connection->readTimeout;
    DWORD got = 0;
    while (got < toRead) {
        UniqueFd& fd = connection->fd;
        if (fd.valid()) {
            const ssize_t count = ::recv(fd.get(), out + got, toRead - got, MSG_DONTWAIT);
            if (count > 0) {
                got += static_cast<DWORD>(count);
                continue;
            }
            if (count == 0 || !wouldBlock(errno)) {
                fd.reset(); // the peer hung up: a dead device from now on
            }
        }
        if (Clock::now() >= deadline) {
            break;
        }
        if (fd.valid()) {
            waitFor(fd.get(), POLLIN, deadline);
        } else {
            std::this_thread::sleep_until(deadline);
        }
    }
    *read = got;
    return FT_OK;
}

FT_STATUS SocketBackend::write(FT_HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written)
{
    const auto connection = find(handle);
    if (!connection) {
        return FT_INVALID_HANDLE;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    const auto deadline = Clock::now() + connection->writeTimeout;
    UniqueFd& fd = connection->fd;
    DWORD sent = 0;
    while (sent < toWrite && fd.valid()) {
        const ssize_t count = ::send(fd.get(), in + sent, toWrite - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count > 0) {
            sent += static_cast<DWORD>(count);
        } else if (count < 0 && wouldBlock(errno)) {
            if (Clock::now() >= deadline) {
                break; // the peer does not read: a write timeout, as the chip would report
            }
            waitFor(fd.get(), POLLOUT, deadline);
        } else {
            fd.reset();
        }
    }
    *written = fd.valid() ? sent : toWrite;
    return FT_OK;
}

bool parseSocketList(std::string_view text, std::vector<SocketBackend::Entry>& entries, std::string& error)
{
    entries.clear();
    while (!text.empty()) {
        const size_t end = std::min(text.find(';'), text.size());
        const std::string_view entry = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (entry.empty()) {
            continue;
        }
        const size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            error = "expected DESCRIPTION=PATH: '" + std::string(entry) + "'";
            return false;
        }
        entries.push_back({std::string(entry.substr(0, equals)), std::string(entry.substr(equals + 1))});
    }
    return true;
}

std::unique_ptr<D2xxBackend> makeSocketBackend()
{
    std::vector<SocketBackend::Entry> entries;
    std::string error;
    const char* text = std::getenv(SocketDevicesVariable);
    if (text && !parseSocketList(text, entries, error)) {
        // Only developers and tests set this variable; silence would hide their typo.
        std::fprintf(stderr, "%s: %s; no socket devices\n", SocketDevicesVariable, error.c_str());
        entries.clear();
    }
    return std::make_unique<SocketBackend>(std::move(entries));
}

// Known to KVP_FTDI_BACKEND by this name; backends/CMakeLists.txt links this file in whole.
[[maybe_unused]] const bool SocketBackendRegistered = registerD2xxBackend(SocketBackend::Name, makeSocketBackend);

} // namespace korvane::KVP
