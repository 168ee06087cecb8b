#pragma once

#include <algorithm>
#include <cstdio>
#include <limits>

// What every benchmark shares: the one line per figure that bench/run.sh passes on, and
// the best of several rounds.
namespace Figure {

/// Prints one figure as a JSON line on standard output: value and reference with
/// `decimals` places, their ratio with two.
inline void print(const char* name, double value, const char* unit, double reference, int decimals = 1)
{
    std::printf("{\"name\": \"%s\", \"value\": %.*f, \"unit\": \"%s\", \"reference\": %.*f, \"ratio\": %.2f}\n",
                name,
                decimals,
                value,
                unit,
                decimals,
                reference,
                value / std::max(reference, 1e-3));
    std::fflush(stdout);
}

/// The smallest of `rounds` results of `measure`; a negative result is a failed round and
/// is returned at once.
template <typename Measure>
double best(int rounds, Measure measure)
{
    double result = std::numeric_limits<double>::max();
    for (int round = 0; round < rounds; ++round) {
        const double value = measure();
        if (value < 0) {
            return value;
        }
        result = std::min(result, value);
    }
    return result;
}

} // namespace Figure
