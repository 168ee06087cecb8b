#pragma once

#include <cstdint>

namespace korvane::KVP {

/// Told how far a multi-frame transfer has come. Called on the link's thread in the
/// middle of a transfer; an observer must not call back into the link.
class KVPProgressObserverI
{
public:
    virtual ~KVPProgressObserverI() = default;
    /// After each data reply of a multi-frame read: payload bytes collected so far.
    virtual void bytesReceived(uint32_t total) = 0;
    /// After each data-out chunk: payload bytes handed over so far.
    virtual void bytesSent(uint32_t total) = 0;
};

} // namespace korvane::KVP
