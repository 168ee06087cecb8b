// bench-device-fit: judges how 10,000 definitions of 24 channels fit the device, the way a
// fit column does on every filter tick of the library table: the severity alone (worstOf)
// and the full findings (check). The reference, measured in the same run, is a pass that
// reads every definition's names and channel names, which is what a tick touches anyway;
// a second pair of figures adds the severity to the case-insensitive search a filter tick
// runs over names and manufacturers. Prints one JSON line per figure; times are the best
// of several rounds, in milliseconds.

#include "Figure.h"
#include "SyntheticLibrary.h"

#include "DeviceFit.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Definitions = 10000;
constexpr int Channels = 24;
constexpr int Rounds = 7;

using Library = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

// Every pass returns a figure that depends on what it read, so that none can be dropped.
volatile qsizetype sink = 0;

template <typename Pass>
double best(Pass pass)
{
    return Figure::best(Rounds, [&] {
        QElapsedTimer timer;
        timer.start();
        sink = sink + pass();
        return timer.nsecsElapsed() / 1e6;
    });
}

void print(const char* name, double ms, double reference)
{
    Figure::print(name, ms, "ms", reference, 2);
}

qsizetype readNames(const Library& library)
{
    qsizetype characters = 0;
    for (const auto& definition : library) {
        characters += definition->name().size() + definition->manufacturer().size();
        for (const QKVFixtureChannel* channel : definition->channels()) {
            characters += channel->name().size() + channel->shortName().size();
        }
    }
    return characters;
}

qsizetype search(const Library& library, const QRegularExpression& pattern)
{
    qsizetype found = 0;
    for (const auto& definition : library) {
        found += pattern.match(definition->displayName()).hasMatch()
            || pattern.match(definition->manufacturer()).hasMatch();
    }
    return found;
}

qsizetype severities(const Library& library)
{
    qsizetype notFine = 0;
    for (const auto& definition : library) {
        notFine += DeviceFit::worstOf(*definition) != DeviceFit::Severity::Fine;
    }
    return notFine;
}

qsizetype findings(const Library& library)
{
    qsizetype count = 0;
    for (const auto& definition : library) {
        count += DeviceFit::check(*definition).size();
    }
    return count;
}

} // namespace

int main()
{
    const Library library = SyntheticLibrary::make(Definitions, Channels);
    // A library kept for the device is mostly fine, and fine is the path that reads every
    // field; the other is timed on the same library with every seventh definition given a
    // channel number twice and a name the device cannot show.
    Library mixed = SyntheticLibrary::make(Definitions, Channels);
    for (size_t i = 0; i < mixed.size(); i += 7) {
        mixed[i]->channels().at(Channels - 1)->setNumber(1);
        mixed[i]->setName(mixed[i]->name() + QString::fromUtf8(" 照明"));
    }
    std::fprintf(stderr,
                 "not fine: %lld of %d, %lld of %d\n",
                 static_cast<long long>(severities(library)),
                 Definitions,
                 static_cast<long long>(severities(mixed)),
                 Definitions);

    // Each library is its own reference: the two lie differently in memory, and reading
    // them is most of the cost.
    const double reading = best([&] { return readNames(library); });
    const double readingMixed = best([&] { return readNames(mixed); });
    print("device_fit_worst_of_10000", best([&] { return severities(library); }), reading);
    print("device_fit_worst_of_10000_mixed", best([&] { return severities(mixed); }), readingMixed);
    print("device_fit_check_10000", best([&] { return findings(library); }), reading);
    print("device_fit_check_10000_mixed", best([&] { return findings(mixed); }), readingMixed);

    const QRegularExpression pattern(QStringLiteral("wash"), QRegularExpression::CaseInsensitiveOption);
    const double searching = best([&] { return search(library, pattern); });
    print("device_fit_search_with_worst_of_10000",
          best([&] { return search(library, pattern) + severities(library); }),
          searching);
    return 0;
}
