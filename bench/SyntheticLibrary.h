#pragma once

#include <memory>
#include <vector>

class QKVFixtureDefinition;

/// Builds libraries that look like real ones (fixture, manufacturer and channel names
/// of the usual lengths, some hand-made short names), the same every run, so that
/// timings can be compared between builds.
namespace SyntheticLibrary {

std::vector<std::unique_ptr<QKVFixtureDefinition>> make(int definitionCount, int channelCount);

} // namespace SyntheticLibrary
