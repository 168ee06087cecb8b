#pragma once

#include "KVPPhyFtdiD2xx.h"

namespace korvane::KVP {

/// The FTDI link the device requests create: it lists only the chips whose USB
/// description names one of the maker's two interfaces.
class KVPPhyFtdi : public KVPPhyFtdiD2xx
{
public:
    /// The USB descriptions of our devices. Both are treated alike.
    static constexpr const char* DeviceDescription = "KORVANE KVP-DEV";
    static constexpr const char* DongleDescription = "KORVANE KVP-DGL";

    /// Lists the attached chips whose description is exactly one of ours, in driver
    /// order, and returns how many there are.
    int scan() override;
};

} // namespace korvane::KVP
