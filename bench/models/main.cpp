// bench-list-model: fills the library list model one row at a time, the way the library
// panel fills it when a library opens, with the filter proxy attached and sorted as the
// table shows it. The reference is copying the same definitions into a plain list, which
// the fill has to do anyway. Prints one JSON line per figure; times are the best of
// several rounds, in milliseconds.

#include "Figure.h"
#include "SyntheticLibrary.h"

#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureDefinition.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Definitions = 10000;
constexpr int Channels = 24;
constexpr int Rounds = 3;

using Library = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

double copyIntoList(const Library& library)
{
    QElapsedTimer timer;
    timer.start();
    QList<QKVFixtureDefinition*> copies;
    for (const auto& definition : library) {
        auto* copy = new QKVFixtureDefinition();
        *copy = *definition;
        copies.append(copy);
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    qDeleteAll(copies);
    return ms;
}

double appendRows(const Library& library, bool withProxy)
{
    LocalFixtureDefinitionListModel model;
    TwoColumnsSortFilterProxyModel proxy;
    if (withProxy) {
        proxy.setSourceModel(&model);
        proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
        proxy.setFilterFixtureName(true);
        proxy.setFilterManufacturer(true);
        proxy.sort(0);
    }
    QElapsedTimer timer;
    timer.start();
    for (const auto& definition : library) {
        const int row = model.rowCount();
        model.insertRows(row, 1);
        model.setData(model.index(row, 0),
                      LocalFixtureDefinitionListModel::definitionVariant(definition.get()),
                      LocalFixtureDefinitionListModel::DefinitionRole);
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    // No window is shown; the model needs only the Gui module's types, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const Library library = SyntheticLibrary::make(Definitions, Channels);
    const double reference = Figure::best(Rounds, [&] { return copyIntoList(library); });
    Figure::print(
        "list_model_append_10000", Figure::best(Rounds, [&] { return appendRows(library, false); }), "ms", reference);
    Figure::print("list_model_append_10000_sorted_proxy",
                  Figure::best(Rounds, [&] { return appendRows(library, true); }),
                  "ms",
                  reference);
    return 0;
}
