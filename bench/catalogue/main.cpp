// bench-catalogue: indexes every QLC+ fixture file of a folder the way the fixture browser
// does, against Python's xml.etree.ElementTree parsing the same files in the same run.
// ElementTree is expat underneath, and parsing is all it does; the catalogue also walks
// the folders, keeps the modes and sorts them. Cold figures start from an empty page
// cache (for both), which needs root; warm ones are the best of several rounds. Prints
// one JSON line per figure, times in milliseconds.

#include "Figure.h"

#include "FixtureCatalogue.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

constexpr int DefaultRounds = 5;
constexpr int PythonTimeoutMs = 300000;
const char* const DefaultFolder = "/usr/share/qlcplus/fixtures";

/// Parses each file named on standard input, `rounds` times, and prints the best round.
const char* const PythonParse = R"(import sys, time, xml.etree.ElementTree as ET
files = sys.stdin.read().splitlines()
best = float('inf')
for _ in range(int(sys.argv[1])):
    start = time.perf_counter()
    for f in files:
        ET.parse(f)
    best = min(best, (time.perf_counter() - start) * 1000)
print(best))";

/// Empties the page, dentry and inode caches, so the next read comes from the disk.
bool dropCaches()
{
    ::sync();
    QFile control(QStringLiteral("/proc/sys/vm/drop_caches"));
    return control.open(QIODevice::WriteOnly) && control.write("3\n") == 2;
}

double indexMs(const QString& folder, int expectedFiles)
{
    FixtureCatalogue catalogue;
    QElapsedTimer timer;
    timer.start();
    catalogue.index({folder});
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (catalogue.fileCount() != expectedFiles || catalogue.fixtureCount() == 0) {
        std::fprintf(stderr, "indexed %d of %d files\n", catalogue.fileCount(), expectedFiles);
        std::exit(1);
    }
    return ms;
}

double pythonMs(const QStringList& files, int rounds)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QLatin1String(PythonParse), QString::number(rounds)});
    if (!python.waitForStarted()) {
        std::fprintf(stderr, "python3 does not start: %s\n", qPrintable(python.errorString()));
        std::exit(1);
    }
    python.write(files.join('\n').toUtf8());
    python.closeWriteChannel();
    bool ok = python.waitForFinished(PythonTimeoutMs) && python.exitCode() == 0;
    const double ms = python.readAllStandardOutput().trimmed().toDouble(&ok);
    if (!ok) {
        std::fprintf(stderr, "python3 failed: %s\n", python.readAllStandardError().constData());
        std::exit(1);
    }
    return ms;
}

void print(const char* what, int files, double ms, double reference)
{
    const QByteArray name
        = QByteArray("catalogue_index_") + what + '_' + QByteArray::number(files) + "_files_vs_python_etree";
    Figure::print(name.constData(), ms, "ms", reference);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times indexing QLC+ fixture files against ElementTree."));
    parser.addHelpOption();
    const QCommandLineOption folderOption(
        QStringLiteral("folder"), QStringLiteral("The fixture folder (default %1).").arg(DefaultFolder), "DIR");
    const QCommandLineOption roundsOption(
        QStringLiteral("rounds"), QStringLiteral("Warm rounds; the best is kept."), "R");
    parser.addOptions({folderOption, roundsOption});
    parser.process(application);
    const QString folder = parser.isSet(folderOption) ? parser.value(folderOption) : QString::fromLatin1(DefaultFolder);
    const int rounds = parser.isSet(roundsOption) ? std::max(1, parser.value(roundsOption).toInt()) : DefaultRounds;

    QStringList files;
    for (QDirIterator it(folder, {QStringLiteral("*.qxf")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        files << it.next();
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no fixture files in %s (the qlcplus-data package installs them)\n", qPrintable(folder));
        return 1;
    }
    const int count = static_cast<int>(files.size());

    if (dropCaches()) {
        const double cold = indexMs(folder, count);
        if (!dropCaches()) {
            return 1;
        }
        print("cold", count, cold, pythonMs(files, 1));
    } else {
        std::fprintf(stderr, "cannot drop the page cache (needs root): no cold figures\n");
    }

    double warm = std::numeric_limits<double>::max();
    for (int round = 0; round < rounds; ++round) {
        warm = std::min(warm, indexMs(folder, count));
    }
    print("warm", count, warm, pythonMs(files, rounds));
    return 0;
}
