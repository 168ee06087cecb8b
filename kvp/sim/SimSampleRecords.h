#pragma once

#include <cstdint>
#include <vector>

namespace korvane::KVP::sim {

/// A plausible fixture record for filling a simulated device: generic fixtures (a PAR,
/// a moving head, a scanner, ...) with 1 to 24 channels, names and short names set as
/// the editor would write them. `index` picks the fixture; the same index always gives
/// the same bytes, and indices past the catalogue get a running suffix.
std::vector<uint8_t> makeSampleRecord(unsigned index);

} // namespace korvane::KVP::sim
