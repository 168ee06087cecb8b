#pragma once

#include "SimDevice.h"
#include "backends/UniqueFd.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::KVP::sim {

/// Serves one simulated device on a Unix stream socket, one connection after another:
/// each connection starts with a fresh decoder, the device keeps its memory. Reply
/// bytes are sent when their time has come, so the wire model holds across the socket.
class SimSocketServer
{
public:
    SimSocketServer(SimDevice& device, std::string path);
    /// Removes the socket file if this server made it.
    ~SimSocketServer();
    SimSocketServer(const SimSocketServer&) = delete;
    SimSocketServer& operator=(const SimSocketServer&) = delete;

    /// Binds and listens. A stale socket file from an earlier run is replaced; any other
    /// file at the path is left alone and the call fails.
    bool listen(std::string& error);
    /// Serves until `stopFd` becomes readable.
    void run(int stopFd);

private:
    /// Serves one client; returns false when told to stop.
    bool serve(UniqueFd client, int stopFd);
    /// Sends what it can of `m_outgoing`; false when the client has gone.
    bool flush(int client);

    SimDevice& m_device;
    std::string m_path;
    UniqueFd m_listener;
    bool m_bound = false;
    std::vector<uint8_t> m_outgoing;
};

} // namespace korvane::KVP::sim
