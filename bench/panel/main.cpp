// bench-library-panel: opens a loaded library of 10,000 definitions into the library
// panel (offscreen) and times one filter tick over it, the two things a user waits for.
// The references, measured in the same run: copying the definitions (what opening did
// before the panel took the loaded ones over) and one case-insensitive search through
// every name and manufacturer (what any filter must do). Prints one JSON line per
// figure; times are the best of several rounds, in milliseconds.

#include "Figure.h"
#include "SyntheticLibrary.h"

#include "KVFLArchive.h"
#include "LibraryForm.h"
#include "QKVFixtureDefinition.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int Definitions = 10000;
constexpr int Channels = 24;
constexpr int Rounds = 5;

QByteArray savedLibrary()
{
    const auto generated = SyntheticLibrary::make(Definitions, Channels);
    QList<QKVFixtureDefinition*> list;
    for (const auto& definition : generated) {
        list.append(definition.get());
    }
    KVFLArchive writer;
    writer.setDefinitionsToSave(list);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    return writer.save(&out) ? out.buffer() : QByteArray();
}

std::unique_ptr<KVFLArchive> loadedLibrary(QByteArray bytes)
{
    auto archive = std::make_unique<KVFLArchive>();
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    return archive->load(&in) ? std::move(archive) : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QByteArray saved = savedLibrary();
    // The references read this archive's definitions; the panel takes over those of a
    // fresh load in every round, as the editor does.
    const std::unique_ptr<KVFLArchive> archive = loadedLibrary(saved);
    if (!archive) {
        std::fprintf(stderr, "could not build the library\n");
        return 1;
    }
    const QList<QKVFixtureDefinition*> definitions = archive->definitions();

    const double copying = Figure::best(Rounds, [&] {
        QElapsedTimer timer;
        timer.start();
        QList<QKVFixtureDefinition*> copies;
        for (const QKVFixtureDefinition* definition : definitions) {
            auto* copy = new QKVFixtureDefinition();
            *copy = *definition;
            copies.append(copy);
        }
        const double ms = timer.nsecsElapsed() / 1e6;
        qDeleteAll(copies);
        return ms;
    });

    LibraryForm form;
    form.resize(640, 760);
    form.show();
    std::unique_ptr<KVFLArchive> shown;
    const double opening = Figure::best(Rounds, [&] {
        std::unique_ptr<KVFLArchive> opened = loadedLibrary(saved);
        QElapsedTimer timer;
        timer.start();
        form.setArchive(opened.get());
        shown = std::move(opened);
        // Until the table has drawn the new rows.
        form.repaint();
        QCoreApplication::processEvents();
        return timer.nsecsElapsed() / 1e6;
    });
    Figure::print("library_panel_open_10000", opening, "ms", copying);

    const QRegularExpression pattern(QStringLiteral("wash"), QRegularExpression::CaseInsensitiveOption);
    const double searching = Figure::best(Rounds, [&] {
        QElapsedTimer timer;
        timer.start();
        int found = 0;
        for (const QKVFixtureDefinition* definition : definitions) {
            found += pattern.match(definition->displayName()).hasMatch()
                || pattern.match(definition->manufacturer()).hasMatch();
        }
        const double ms = timer.nsecsElapsed() / 1e6;
        return found < 0 ? 0.0 : ms;
    });

    auto* field = form.findChild<QLineEdit*>(QStringLiteral("filterLineEdit"));
    const QStringList texts {QStringLiteral("wash"), QStringLiteral("w"), QStringLiteral("zzz"), QString()};
    int next = 0;
    const auto tickTime = [&] {
        field->setText(texts.at(next++ % texts.size()));
        QElapsedTimer timer;
        timer.start();
        form.slotTimer();
        form.repaint();
        return timer.nsecsElapsed() / 1e6;
    };
    const double tick = Figure::best(Rounds, tickTime);
    Figure::print("library_panel_filter_tick_10000", tick, "ms", searching);

    // The same ticks with the table showing only definitions with device-fit findings:
    // every row's fit is asked on every tick.
    form.findingsButton()->setChecked(true);
    const double fitTick = Figure::best(Rounds, tickTime);
    Figure::print("library_panel_filter_tick_with_fit_10000", fitTick, "ms", tick);
    return 0;
}
