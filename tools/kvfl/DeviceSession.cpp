#include "DeviceSession.h"

#include "Console.h"

#include "KVPFixtureDefinitionListRequest.h"

#include <unistd.h>

using korvane::KVP::KVPDiscoverRequest;
using korvane::KVP::KVPFixtureDefinitionListRequest;
using korvane::KVP::KVPWorkerRequestI;
using korvane::KVP::KVPWorkerThread;

namespace {

/// What a failed selection reports for both versions.
constexpr uint16_t NoVersion = 0xFFFF;
const QString DeviceOptionName = QStringLiteral("--device");
const char* const ListFailedMessage = "Reading the list of fixture definitions from the device failed.";

} // namespace

DeviceSession::DeviceSession(Console& console, QObject* parent)
    : QObject(parent), m_console(console), m_terminal(::isatty(STDERR_FILENO) == 1)
{
    m_worker.start();
}

DeviceSession::~DeviceSession()
{
    endProgress();
    m_worker.stopWorker();
    m_worker.wait();
}

void DeviceSession::finish()
{
    m_finished = true;
    m_loop.quit();
}

void DeviceSession::waitForFinish()
{
    // Every report arrives as a queued call, so none can come before the loop runs.
    if (!m_finished) {
        m_loop.exec();
    }
}

bool DeviceSession::discover(KVPDiscoverRequest::DeviceList& devices)
{
    // The worker announces the end of a discovery the same way whether it succeeded or
    // not; only its own discover request tells which. The worker's slot publishes the
    // list and emits deviceDiscoverFinsihed() before the request's outcome reaches us
    // (queued calls keep their order), so the outcome is the last word.
    auto* request = m_worker.findChild<KVPDiscoverRequest*>();
    Q_ASSERT(request);
    bool succeeded = false;
    m_finished = false;
    const auto done = connect(request, &KVPWorkerRequestI::workDone, this, [&] {
        succeeded = true;
        finish();
    });
    const auto failed = connect(request, &KVPWorkerRequestI::failed, this, [&] { finish(); });
    m_worker.discoverDevices();
    waitForFinish();
    disconnect(done);
    disconnect(failed);
    devices = m_worker.discoveredDevices();
    return succeeded;
}

bool DeviceSession::open(const CommandOptions& options)
{
    QString target = lastValue(options, DeviceOptionName);
    if (target.isEmpty()) {
        KVPDiscoverRequest::DeviceList devices;
        discover(devices);
        if (devices.isEmpty()) {
            m_console.err() << "No device found. Connect a QRD-540B or QRD-780 and switch it on.\n";
            return false;
        }
        target = devices.first().second;
    }

    uint16_t firmware = NoVersion;
    uint16_t hardware = NoVersion;
    m_finished = false;
    const auto selected
        = connect(&m_worker, &KVPWorkerThread::deviceSelectionFinished, this, [&](uint16_t fw, uint16_t hw) {
              firmware = fw;
              hardware = hw;
              finish();
          });
    m_worker.selectDevice(target);
    waitForFinish();
    disconnect(selected);
    if (firmware == NoVersion && hardware == NoVersion) {
        m_console.err() << "The device at " << target << " does not answer.\n";
        return false;
    }
    return true;
}

CommandOption DeviceSession::deviceOption()
{
    return {DeviceOptionName,
            QStringLiteral("ADDRESS"),
            QStringLiteral("The device to work on, by the address devices prints (usb:ftdi/N). "
                           "Default: the first device a discovery finds.")};
}

bool DeviceSession::readList(DeviceRecord::RemoteList& list)
{
    KVPFixtureDefinitionListRequest request;
    QByteArray payload;
    bool received = false;
    connect(&request, &KVPFixtureDefinitionListRequest::receivedData, this, [&](void* data, int length) {
        // The bytes belong to the request; keep a copy.
        payload = QByteArray(static_cast<const char*>(data), length);
        received = true;
        finish();
    });
    connect(&request, &KVPWorkerRequestI::failed, this, &DeviceSession::finish);
    run(&request);

    if (!received || DeviceRecord::listEntryCount(payload) < 0) {
        m_console.err() << ListFailedMessage << '\n';
        return false;
    }
    list = DeviceRecord::decodeList(payload);
    return true;
}

bool DeviceSession::runRequest(KVPWorkerRequestI* request)
{
    bool succeeded = false;
    const auto done = connect(request, &KVPWorkerRequestI::workDone, this, [&] {
        succeeded = true;
        finish();
    });
    const auto failed = connect(request, &KVPWorkerRequestI::failed, this, &DeviceSession::finish);
    run(request);
    disconnect(done);
    disconnect(failed);
    return succeeded;
}

void DeviceSession::run(KVPWorkerRequestI* request)
{
    m_finished = false;
    m_worker.submitRequest(request);
    waitForFinish();
}

void DeviceSession::showProgress(const QString& label, uint percent)
{
    if (!m_terminal) {
        return;
    }
    m_console.err() << '\r' << label << ' ' << percent << '%';
    m_console.err().flush();
    m_progressShown = true;
}

void DeviceSession::endProgress()
{
    if (m_progressShown) {
        m_console.err() << '\n';
        m_console.err().flush();
        m_progressShown = false;
    }
}
