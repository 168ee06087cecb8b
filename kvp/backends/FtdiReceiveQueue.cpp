#include "FtdiReceiveQueue.h"

#include <libusb.h>

#include <algorithm>
#include <utility>

namespace korvane::KVP {

int retryInterrupted(const std::function<int()>& transfer)
{
    int result = transfer();
    for (int retry = 0; retry < UsbInterruptedRetries && result == LIBUSB_ERROR_INTERRUPTED; ++retry) {
        result = transfer();
    }
    return result;
}

FtdiReceiveQueue::FtdiReceiveQueue(BulkRead read) : m_read(std::move(read)) { }

size_t FtdiReceiveQueue::take(uint8_t* out, size_t n)
{
    const size_t count = std::min(n, m_bytes.size());
    const auto end = m_bytes.begin() + static_cast<std::ptrdiff_t>(count);
    std::copy(m_bytes.begin(), end, out);
    m_bytes.erase(m_bytes.begin(), end);
    return count;
}

int FtdiReceiveQueue::pull()
{
    uint8_t chunk[PullChunk];
    const int got = retryInterrupted([&] { return m_read(chunk, PullChunk); });
    // A bulk read that timed out is a chip with nothing to say, not a lost one: libftdi
    // passes libusb's code through.
    if (got == LIBUSB_ERROR_TIMEOUT) {
        return 0;
    }
    if (got > 0) {
        m_bytes.insert(m_bytes.end(), chunk, chunk + got);
    }
    return got;
}

} // namespace korvane::KVP
