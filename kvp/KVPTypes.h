#pragma once

#include <cstdint>
#include <vector>

namespace korvane::KVP {

/// How an exchange with the device ended.
enum KVPStatus : uint8_t {
    StatusOk = 0, ///< the expected reply arrived and says success
    StatusAcknowledged = 1, ///< a request was answered by a status reply with code 0: accepted, no data
    StatusRefused = 2, ///< a status reply with a non-zero refusal code
    StatusNoValidReply = 3, ///< no reply in time, or one that does not match the request
    StatusNotEvaluated = 4, ///< no reply has been looked at yet
};

/// The outcome of ping, request and requestMulti. The data is the caller's.
struct KVPReply
{
    std::vector<uint8_t> data;
    /// Bytes in `data` (always data.size()).
    uint32_t length = 0;
    /// The device's refusal code when `status` is StatusRefused.
    uint8_t code = 0;
    KVPStatus status = StatusNotEvaluated;
};

/// The outcome of a chunked transfer to the device.
struct KVPSendResult
{
    KVPStatus status = StatusNotEvaluated;
    /// The device's refusal code when `status` is StatusRefused.
    uint8_t code = 0;
    /// Payload bytes handed to the device, including a chunk it refused.
    uint32_t bytesSent = 0;
};

} // namespace korvane::KVP
