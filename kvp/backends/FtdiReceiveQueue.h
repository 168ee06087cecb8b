#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

namespace korvane::KVP {

/// How often a USB transfer that a signal interrupted (LIBUSB_ERROR_INTERRUPTED) is made
/// again before it counts as failed. The chip is still there; only the wait was cut short.
inline constexpr int UsbInterruptedRetries = 3;

/// Makes `transfer` (a libusb code or a byte count) and makes it again while it comes back
/// interrupted, up to UsbInterruptedRetries more times. Returns the last result.
int retryInterrupted(const std::function<int()>& transfer);

/// The bytes an FTDI chip has sent that the reader has not taken yet. The chip tells how
/// much it holds only by sending it, so counting the waiting bytes means fetching them
/// first. A byte is handed out once: what one exchange did not take is the start of what
/// the next one reads, never a repeat of what it already had.
class FtdiReceiveQueue
{
public:
    /// One bulk read from the chip: stores up to `size` bytes at `data` and returns how
    /// many, or a negative libusb code.
    using BulkRead = std::function<int(uint8_t* data, int size)>;

    /// Bytes asked of the chip per pull.
    static constexpr int PullChunk = 512;

    explicit FtdiReceiveQueue(BulkRead read);

    size_t waiting() const { return m_bytes.size(); }
    /// Moves up to `n` waiting bytes to `out`, oldest first; returns how many.
    size_t take(uint8_t* out, size_t n);
    /// Asks the chip once for what it has received. Returns the bytes added, 0 when the
    /// chip had none in time, or the negative libusb code when it is gone.
    int pull();

private:
    BulkRead m_read;
    std::deque<uint8_t> m_bytes;
};

} // namespace korvane::KVP
