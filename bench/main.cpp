// bench-library: saves and loads a large generated library the way the editor does and
// compares both with plain gunzip of the same file, which no library reader can beat.
// Prints one JSON line per figure, the gunzip time as reference; times are the best of
// several rounds, in milliseconds.

#include "Figure.h"
#include "Gunzip.h"
#include "SyntheticLibrary.h"

#include "KVFLArchive.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureDefinition.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int DefaultDefinitions = 10000;
constexpr int DefaultChannels = 24;
constexpr int DefaultRounds = 3;

struct Options
{
    int definitions = DefaultDefinitions;
    int channels = DefaultChannels;
    int rounds = DefaultRounds;
    QString file; ///< where the library is written; a temporary folder when empty
};

bool parseOptions(const QGuiApplication& application, Options& options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times library save and load against gunzip."));
    parser.addHelpOption();
    const QCommandLineOption definitions(QStringLiteral("definitions"), QStringLiteral("Definitions."), "N");
    const QCommandLineOption channels(QStringLiteral("channels"), QStringLiteral("Channels per definition."), "M");
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("Rounds; the best is kept."), "R");
    const QCommandLineOption file(
        QStringLiteral("file"), QStringLiteral("Write the library here and keep it (for profiling)."), "PATH");
    parser.addOptions({definitions, channels, rounds, file});
    parser.process(application);
    options.file = parser.value(file);

    auto read = [&](const QCommandLineOption& option, int minimum, int& target) {
        if (!parser.isSet(option)) {
            return true;
        }
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        if (!ok || value < minimum) {
            std::fprintf(stderr, "--%s needs a number of at least %d\n", qPrintable(option.names().first()), minimum);
            return false;
        }
        target = value;
        return true;
    };
    return read(definitions, 0, options.definitions) && read(channels, 0, options.channels)
        && read(rounds, 1, options.rounds);
}

double milliseconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    // The panel's rows carry icons, which need a GUI application; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    Options options;
    if (!parseOptions(application, options)) {
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder: %s\n", qPrintable(dir.errorString()));
        return 1;
    }
    const QString path = options.file.isEmpty() ? dir.filePath(QStringLiteral("bench.kvfl")) : options.file;

    const auto library = SyntheticLibrary::make(options.definitions, options.channels);
    QList<QKVFixtureDefinition*> toSave;
    for (const auto& definition : library) {
        toSave.append(definition.get());
    }

    constexpr double Unmeasured = std::numeric_limits<double>::max();
    double saveMs = Unmeasured;
    double loadMs = Unmeasured;
    double gunzipMs = Unmeasured;
    for (int round = 0; round < options.rounds; ++round) {
        QElapsedTimer timer;
        {
            KVFLArchive archive(path);
            archive.setDefinitionsToSave(toSave);
            timer.start();
            if (!archive.save()) {
                std::fprintf(stderr, "save failed: %s\n", qPrintable(archive.errorString()));
                return 1;
            }
            saveMs = std::min(saveMs, milliseconds(timer));
        }
        {
            // As the editor opens a library: load, then the panel's rows take the definitions.
            auto archive = std::make_unique<KVFLArchive>(path);
            LocalFixtureDefinitionListModel rows;
            timer.start();
            if (!archive->load()) {
                std::fprintf(stderr, "load failed: %s\n", qPrintable(archive->errorString()));
                return 1;
            }
            rows.appendTaken(archive->takeDefinitions());
            loadMs = std::min(loadMs, milliseconds(timer));
            const QList<QKVFixtureDefinition*> loaded = rows.definitions();
            const bool complete = loaded.size() == static_cast<qsizetype>(library.size())
                && std::all_of(loaded.begin(), loaded.end(), [&](const QKVFixtureDefinition* d) {
                                      return d->channelCount() == options.channels;
                                  });
            if (!complete) {
                std::fprintf(stderr, "the library read back is not the one saved\n");
                return 1;
            }
        }
        {
            QByteArray data;
            QString error;
            timer.start();
            if (!Gunzip::readFile(path, data, error)) {
                std::fprintf(stderr, "gunzip failed: %s\n", qPrintable(error));
                return 1;
            }
            gunzipMs = std::min(gunzipMs, milliseconds(timer));
        }
    }

    const qint64 fileBytes = QFileInfo(path).size();
    std::fprintf(stderr,
                 "%d definitions of %d channels, %lld bytes\n",
                 options.definitions,
                 options.channels,
                 static_cast<long long>(fileBytes));
    auto print = [&](const char* what, double ms) {
        const QByteArray name
            = QByteArray("library_") + what + '_' + QByteArray::number(options.definitions) + "_vs_gunzip";
        Figure::print(name.constData(), ms, "ms", gunzipMs, 2);
    };
    print("save", saveMs);
    print("load", loadMs);
    return 0;
}
