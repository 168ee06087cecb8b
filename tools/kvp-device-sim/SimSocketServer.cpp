#include "SimSocketServer.h"

#include "SimConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvane::KVP::sim {

namespace {

constexpr int Backlog = 4;
constexpr size_t ChunkLength = 4096;

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

SimSocketServer::SimSocketServer(SimDevice& device, std::string path) : m_device(device), m_path(std::move(path)) { }

SimSocketServer::~SimSocketServer()
{
    m_listener.reset();
    if (m_bound) {
        ::unlink(m_path.c_str());
    }
}

bool SimSocketServer::listen(std::string& error)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (m_path.empty() || m_path.size() >= sizeof address.sun_path) {
        error = "socket path is empty or longer than " + std::to_string(sizeof address.sun_path - 1) + " bytes";
        return false;
    }
    std::memcpy(address.sun_path, m_path.data(), m_path.size());
    struct stat status = {};
    if (::lstat(m_path.c_str(), &status) == 0) {
        if (!S_ISSOCK(status.st_mode)) {
            error = m_path + " exists and is not a socket";
            return false;
        }
        ::unlink(m_path.c_str());
    }
    m_listener.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!m_listener.valid()
        || ::bind(m_listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = m_path + ": " + std::strerror(errno);
        return false;
    }
    m_bound = true;
    if (::listen(m_listener.get(), Backlog) != 0) {
        error = m_path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SimSocketServer::run(int stopFd)
{
    for (;;) {
        pollfd entries[2] = {{m_listener.get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (entries[1].revents != 0) {
            return;
        }
        UniqueFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (client.valid() && !serve(std::move(client), stopFd)) {
            return;
        }
    }
}

bool SimSocketServer::flush(int client)
{
    size_t sent = 0;
    while (sent < m_outgoing.size()) {
        const ssize_t count = ::send(client, m_outgoing.data() + sent, m_outgoing.size() - sent, MSG_NOSIGNAL);
        if (count > 0) {
            sent += static_cast<size_t>(count);
        } else if (count < 0 && wouldBlock(errno)) {
            break;
        } else {
            return false;
        }
    }
    m_outgoing.erase(m_outgoing.begin(), m_outgoing.begin() + static_cast<std::ptrdiff_t>(sent));
    return true;
}

bool SimSocketServer::serve(UniqueFd client, int stopFd)
{
    SimConnection connection(m_device);
    m_outgoing.clear();
    uint8_t chunk[ChunkLength];
    for (;;) {
        const TimePoint now = Clock::now();
        for (size_t count; (count = connection.read(chunk, sizeof chunk, now)) > 0;) {
            m_outgoing.insert(m_outgoing.end(), chunk, chunk + count);
        }
        if (!flush(client.get())) {
            return true;
        }
        // Sleep until the next reply byte is due, a host byte arrives or we are stopped.
        timespec timeout {};
        const timespec* wait = nullptr;
        if (const auto next = connection.readyAt(1)) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*next - now).count();
            timeout.tv_sec = static_cast<time_t>(left > 0 ? left / 1000000000 : 0);
            timeout.tv_nsec = static_cast<long>(left > 0 ? left % 1000000000 : 0);
            wait = &timeout;
        }
        const short events = static_cast<short>(POLLIN | (m_outgoing.empty() ? 0 : POLLOUT));
        pollfd entries[2] = {{client.get(), events, 0}, {stopFd, POLLIN, 0}};
        if (::ppoll(entries, 2, wait, nullptr) < 0 && errno != EINTR) {
            return true;
        }
        if (entries[1].revents != 0) {
            return false;
        }
        if (entries[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t count = ::recv(client.get(), chunk, sizeof chunk, 0);
            if (count == 0 || (count < 0 && !wouldBlock(errno))) {
                return true; // the host closed: ready for the next connection
            }
            if (count > 0) {
                connection.receive(chunk, static_cast<size_t>(count), Clock::now());
            }
        }
    }
}

} // namespace korvane::KVP::sim
