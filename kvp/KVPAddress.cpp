#include "KVPAddress.h"

#include <cctype>
#include <climits>
#include <cstdlib>

namespace korvane::KVP {

std::string ftdiAddress(int index)
{
    return FtdiAddressPrefix + std::to_string(index);
}

int ftdiAddressIndex(const std::string& address)
{
    if (address.size() <= FtdiAddressPrefixLength) {
        return 0;
    }
    // strtol reads what atoi reads, but reports overflow instead of being undefined.
    const long value = std::strtol(address.c_str() + FtdiAddressPrefixLength, nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

bool isFtdiAddress(const std::string& address)
{
    return address.compare(0, FtdiAddressPrefixLength, FtdiAddressPrefix) == 0;
}

bool parseFtdiAddress(const std::string& address, int& index)
{
    if (!isFtdiAddress(address) || address.size() == FtdiAddressPrefixLength) {
        return false;
    }
    long long value = 0;
    for (size_t i = FtdiAddressPrefixLength; i < address.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(address[i]);
        if (!std::isdigit(c)) {
            return false;
        }
        value = value * 10 + (c - '0');
        if (value > INT_MAX) {
            return false;
        }
    }
    index = static_cast<int>(value);
    return true;
}

} // namespace korvane::KVP
