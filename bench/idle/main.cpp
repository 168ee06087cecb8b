// bench-worker-idle: connects the worker thread to a simulated device on a modelled wire
// and measures the CPU the process uses while nothing happens but the worker's
// supervision pings, every PingInterval. An idle editor left open all day must not keep
// a core busy, so the figure is the process's CPU time over wall time, in percent of one
// core, against the goal of 2 %. The GUI thread has next to nothing to do meanwhile, so
// what is counted is the worker's.

#include "Figure.h"

#include "KVPWorkerThread.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

using korvane::KVP::KVPWorkerThread;

namespace {

constexpr int DefaultSeconds = 10;
/// A discovery or selection that takes longer has failed; the sim answers in milliseconds.
constexpr int StepTimeoutMs = 10000;
/// Percent of one core the idle worker may use.
constexpr double GoalPercent = 2.0;
constexpr const char* DeviceAddress = "usb:ftdi/0";

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

/// Runs the event loop until `signal` of `sender` arrives; false after StepTimeoutMs.
template <typename Signal>
bool waitFor(const KVPWorkerThread* sender, Signal signal)
{
    QEventLoop loop;
    bool arrived = false;
    QObject::connect(sender, signal, &loop, [&] {
        arrived = true;
        loop.quit();
    });
    QTimer::singleShot(StepTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return arrived;
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything opens the D2XX layer, which reads these once.
    setenv("KVP_FTDI_BACKEND", "sim", 0);
    setenv("KVP_SIM_DEVICES", "model=QRD-780,wire=1", 0);

    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("CPU used by the idle, connected worker thread."));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(
        QStringLiteral("seconds"), QStringLiteral("Wall time to measure (default 10)."), QStringLiteral("N"));
    parser.addOption(secondsOption);
    parser.process(application);
    int seconds = DefaultSeconds;
    if (parser.isSet(secondsOption)) {
        bool ok = false;
        seconds = parser.value(secondsOption).toInt(&ok);
        if (!ok || seconds < 1) {
            std::fprintf(stderr, "--seconds needs a number of at least 1\n");
            return 2;
        }
    }

    KVPWorkerThread worker;
    worker.start();
    worker.discoverDevices();
    if (!waitFor(&worker, &KVPWorkerThread::deviceDiscoverFinsihed) || worker.discoveredDevices().isEmpty()) {
        std::fprintf(stderr, "no simulated device was discovered\n");
        return 1;
    }
    bool lost = false;
    QObject::connect(&worker, &KVPWorkerThread::lostConnection, &application, [&] { lost = true; });
    worker.selectDevice(QString::fromLatin1(DeviceAddress));
    if (!waitFor(&worker, &KVPWorkerThread::deviceSelectionFinished)) {
        std::fprintf(stderr, "the simulated device was not selected\n");
        return 1;
    }

    QElapsedTimer wall;
    const double cpuBefore = processCpuSeconds();
    wall.start();
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &application, &QCoreApplication::quit);
    application.exec();
    const double cpu = processCpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;

    worker.stopWorker();
    worker.wait();
    if (lost) {
        std::fprintf(stderr, "the connection was lost while idle\n");
        return 1;
    }
    const double percent = 100.0 * cpu / elapsed;
    std::fprintf(stderr, "cpu %.3f s over %.2f s\n", cpu, elapsed);
    Figure::print("worker_idle_cpu_percent_vs_goal", percent, "%", GoalPercent, 2);
    return 0;
}
