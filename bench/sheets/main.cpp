// bench-channel-sheets: draws the channel sheets of a generated library of 1,000 definitions
// of 24 channels into a PDF, as File > Export Channel Sheets as PDF and kvfl sheet do, and
// compares it with saving the same library as a .kvfl (its XML documents, tarred and
// gzipped), measured in the same run. Prints one JSON line; times are the best of several
// rounds, in milliseconds. Runs on the offscreen platform unless another is set.

#include "Figure.h"
#include "SyntheticLibrary.h"

#include "ChannelSheets.h"
#include "KVFLArchive.h"
#include "QKVFixtureDefinition.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Definitions = 1000;
constexpr int Channels = 24;
constexpr int Rounds = 3;

/// The best of the rounds of `pass`, in milliseconds; -1 when a round failed.
template <typename Pass>
double best(Pass pass)
{
    return Figure::best(Rounds, [&] {
        QElapsedTimer timer;
        timer.start();
        return pass() ? timer.nsecsElapsed() / 1e6 : -1.0;
    });
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    const std::vector<std::unique_ptr<QKVFixtureDefinition>> library = SyntheticLibrary::make(Definitions, Channels);
    QList<QKVFixtureDefinition*> definitions;
    for (const auto& definition : library) {
        definitions.append(definition.get());
    }
    const QList<const QKVFixtureDefinition*> sheets(definitions.cbegin(), definitions.cend());

    const QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("sheets.pdf"));
    const QString kvfl = folder.filePath(QStringLiteral("library.kvfl"));
    int pages = 0;
    const double drawing = best([&] {
        QString error;
        pages = ChannelSheets::writePdf(pdf,
                                        sheets,
                                        {QStringLiteral("library.kvfl"), QDate::currentDate()},
                                        ChannelSheets::pageLayoutFor(QLocale::c()),
                                        error);
        return pages > 0;
    });
    const double saving = best([&] {
        KVFLArchive archive(kvfl);
        archive.setDefinitionsToSave(definitions);
        return archive.save();
    });
    if (drawing < 0 || saving < 0) {
        std::fprintf(stderr, "writing failed\n");
        return 1;
    }
    std::fprintf(stderr,
                 "%d pages, PDF %lld bytes, library %lld bytes\n",
                 pages,
                 static_cast<long long>(QFileInfo(pdf).size()),
                 static_cast<long long>(QFileInfo(kvfl).size()));
    Figure::print("channel_sheets_pdf_1000_vs_library_save", drawing, "ms", saving, 2);
    return 0;
}
