#include "KVPPhy.h"

namespace korvane::KVP {

KVPPhy::~KVPPhy() = default;

void KVPPhy::open(const std::string&) { }

void KVPPhy::close() { }

KVPPhyByte KVPPhy::readByte()
{
    return {};
}

void KVPPhy::write(const uint8_t*, uint32_t) { }

int KVPPhy::errorCode() const
{
    return 0;
}

std::string KVPPhy::errorString(int code) const
{
    return code == 0 ? "OK" : "Unknown";
}

} // namespace korvane::KVP
