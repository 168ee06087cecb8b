// bench-editor-memory: the peak memory of the editor's own window holding a library of
// 10,000 definitions of 24 channels, the largest libraries users keep. The library is
// generated and saved first, then freed, and the peak is reset, so that only what the
// window builds while it opens the file counts. The reference is the process's resident
// size just before the window exists (Qt loaded, file written); the growth is set
// against the library's uncompressed size, what the file holds once inflated.

#include "Figure.h"
#include "Gunzip.h"
#include "SyntheticLibrary.h"

#include "KVFLArchive.h"
#include "MainWindow.h"
#include "QKVFixtureDefinition.h"
#include "UserPrompts.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int Definitions = 10000;
constexpr int Channels = 24;
/// Opening the library takes about a second; this much means it never will.
constexpr int OpenTimeoutMs = 120000;
constexpr double BytesPerMiB = 1024.0 * 1024.0;

/// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long statusKilobytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

/// Makes the peak resident size start again from the current one (Linux 4.0 and later),
/// so the generation of the library does not count as the editor's peak.
bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

/// Writes the library and returns its uncompressed size; every definition is freed on return.
qint64 writeLibrary(const QString& path)
{
    const auto library = SyntheticLibrary::make(Definitions, Channels);
    QList<QKVFixtureDefinition*> toSave;
    for (const auto& definition : library) {
        toSave.append(definition.get());
    }
    KVFLArchive archive(path);
    archive.setDefinitionsToSave(toSave);
    if (!archive.save()) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(archive.errorString()));
        return -1;
    }
    QByteArray inflated;
    QString error;
    if (!Gunzip::readFile(path, inflated, error)) {
        std::fprintf(stderr, "gunzip failed: %s\n", qPrintable(error));
        return -1;
    }
    return inflated.size();
}

/// Says yes to every question (the large-file one above all), cancels every chooser and dialog.
class YesPrompts : public UserPrompts
{
public:
    QMessageBox::StandardButton message(QWidget*, const MessagePrompt& prompt) override
    {
        std::fprintf(stderr, "answered yes: %s\n", qPrintable(prompt.text.simplified()));
        return prompt.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    }
    QString fileName(QWidget*, const FilePrompt&) override { return {}; }
    QStringList openFileNames(QWidget*, const FilePrompt&) override { return {}; }
    int runDialog(QDialog&) override { return 0; }
};

} // namespace

int main(int argc, char* argv[])
{
    // Before the window's worker opens the D2XX layer: the simulated backend with no device.
    setenv("KVP_FTDI_BACKEND", "sim", 1);
    setenv("KVP_SIM_DEVICES", "", 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder: %s\n", qPrintable(dir.errorString()));
        return 1;
    }
    // The user's settings and recent library stay out of it.
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));

    const QString path = dir.filePath(QStringLiteral("bench.kvfl"));
    const qint64 inflatedBytes = writeLibrary(path);
    if (inflatedBytes < 0) {
        return 1;
    }
    // Hand the freed library back to the system, or it would still be resident.
    malloc_trim(0);
    if (!resetPeak()) {
        std::fprintf(stderr, "cannot reset the peak resident size (/proc/self/clear_refs)\n");
        return 1;
    }
    const long baselineKb = statusKilobytes("VmHWM");
    if (baselineKb <= 0) {
        std::fprintf(stderr, "cannot read /proc/self/status\n");
        return 1;
    }

    int rows = 0;
    {
        MainWindow window(path, std::make_shared<YesPrompts>());
        window.show();
        auto* table = window.findChild<QTableView*>(QStringLiteral("fixtureDefinitionsTableView"));
        if (!table) {
            std::fprintf(stderr, "the library panel has no table\n");
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < OpenTimeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            rows = table->model() ? table->model()->rowCount() : 0;
            if (rows >= Definitions) {
                break;
            }
        }
        // What the user sees once the rows are there.
        window.repaint();
        QCoreApplication::processEvents();
    }
    if (rows != Definitions) {
        std::fprintf(stderr, "the library panel shows %d rows, not %d\n", rows, Definitions);
        return 1;
    }
    const long peakKb = statusKilobytes("VmHWM");
    const double baseline = baselineKb / 1024.0;
    const double peak = peakKb / 1024.0;
    std::fprintf(stderr,
                 "file %lld bytes, %lld inflated; baseline %.1f MiB, peak %.1f MiB\n",
                 static_cast<long long>(QFileInfo(path).size()),
                 static_cast<long long>(inflatedBytes),
                 baseline,
                 peak);
    Figure::print("editor_peak_rss_10000_vs_baseline", peak, "MiB", baseline);
    Figure::print(
        "editor_memory_growth_10000_vs_uncompressed_library", peak - baseline, "MiB", inflatedBytes / BytesPerMiB);
    return 0;
}
