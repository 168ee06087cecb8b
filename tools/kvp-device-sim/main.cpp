// kvp-device-sim: one simulated QRD-540B / QRD-780 on a Unix socket, for the `socket`
// backend (KVP_FTDI_BACKEND=socket, KVP_FTDI_SOCKETS="KORVANE KVP-DEV=PATH").

#include "SimDevice.h"
#include "SimDeviceConfig.h"
#include "SimSocketServer.h"
#include "backends/UniqueFd.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace korvane::KVP::sim;
using korvane::KVP::UniqueFd;

/// Write end of the pipe that tells the server to stop; the one thing the handler uses.
volatile sig_atomic_t g_stopWriteFd = -1;

extern "C" void requestStop(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe already says "stop".
    [[maybe_unused]] const ssize_t ignored = ::write(g_stopWriteFd, &byte, 1);
}

void printUsage(std::FILE* out)
{
    std::fprintf(
        out,
        "Usage: kvp-device-sim --socket PATH [--device SETTINGS]...\n"
        "Serves one simulated QRD-540B / QRD-780 on the Unix socket PATH, one connection\n"
        "after another (each a fresh link, the same device memory), until SIGTERM or\n"
        "SIGINT. Prints \"listening on PATH\" when ready.\n"
        "\n"
        "SETTINGS is a comma-separated list of key=value, as in KVP_SIM_DEVICES\n"
        "(desc is accepted and means nothing here):\n"
        "%s"
        "\n"
        "Example: kvp-device-sim --socket /tmp/qrd.sock --device \"model=QRD-780,slots=50,records=12,patch=1\"\n",
        simDeviceConfigUsage());
}

int run(const std::string& path, SimDevice& device)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("kvp-device-sim: pipe");
        return 1;
    }
    const UniqueFd stopRead(fds[0]);
    const UniqueFd stopWrite(fds[1]);
    g_stopWriteFd = fds[1];
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    SimSocketServer server(device, path);
    std::string error;
    if (!server.listen(error)) {
        std::fprintf(stderr, "kvp-device-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s\n", path.c_str());
    std::fflush(stdout);
    server.run(stopRead.get());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string path;
    SimDeviceConfig config;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            printUsage(stdout);
            return 0;
        }
        if ((option == "--socket" || option == "--device") && i + 1 < argc) {
            const char* value = argv[++i];
            std::string error;
            if (option == "--socket") {
                path = value;
            } else if (!parseSimDeviceConfig(value, config, error)) {
                std::fprintf(stderr, "kvp-device-sim: --device: %s\n", error.c_str());
                return 2;
            }
            continue;
        }
        std::fprintf(stderr, "kvp-device-sim: unexpected argument '%s'\n\n", option.c_str());
        printUsage(stderr);
        return 2;
    }
    if (path.empty()) {
        std::fprintf(stderr, "kvp-device-sim: --socket PATH is required\n\n");
        printUsage(stderr);
        return 2;
    }
    SimDevice device(config);
    return run(path, device);
}
