#pragma once

#include "Command.h"

#include "DeviceRecord.h"
#include "KVPDiscoverRequest.h"
#include "KVPWorkerThread.h"

#include <QEventLoop>
#include <QObject>
#include <QString>

class Console;

/// One run of the tool against a device, on the editor's worker thread and requests.
/// The tool has nothing else to do while the device works, so each step waits in the
/// session's own event loop for the worker's report: the queued signals of the worker
/// and of the requests are delivered there, exactly as in the editor's main loop.
///
/// The worker thread starts with the session and is stopped and joined when it ends.
class DeviceSession : public QObject
{
    Q_OBJECT

public:
    explicit DeviceSession(Console& console, QObject* parent = nullptr);
    ~DeviceSession() override;

    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    /// Runs a discovery. `devices` gets every device that identified itself, in scan
    /// order; the result is false when some device did not answer.
    bool discover(korvane::KVP::KVPDiscoverRequest::DeviceList& devices);

    /// Connects to the device at the address given with --device (the last one counts),
    /// or, without one, to the first device a discovery finds. False, with the reason on
    /// standard error, when there is no device or it does not answer.
    bool open(const CommandOptions& options);

    /// The --device option of the device commands.
    static CommandOption deviceOption();

    /// Reads the device's list of definitions. False, with the reason on standard
    /// error, when the request failed or the list is malformed.
    bool readList(DeviceRecord::RemoteList& list);
    /// Runs a request whose outcome is `workDone()` or `failed(...)`; true on the first.
    bool runRequest(korvane::KVP::KVPWorkerRequestI* request);
    /// runRequest(), showing the percentages the request's `progress` signal reports
    /// under `label` (see showProgress()).
    template <typename Request, typename Sender, typename Percent>
    bool runRequest(Request* request, void (Sender::*progress)(Percent), const QString& label)
    {
        connect(request, progress, this, [this, label](Percent percent) {
            showProgress(label, static_cast<uint>(percent));
        });
        const bool succeeded = runRequest(request);
        endProgress();
        return succeeded;
    }

    /// Hands `request` to the worker and waits until a slot connected to one of its
    /// outcome signals calls finish(). The request stays the caller's.
    void run(korvane::KVP::KVPWorkerRequestI* request);
    /// Ends the wait of run(); called from the slots of a request's outcome signals.
    void finish();

    /// Shows `label` and a percentage on standard error when it is a terminal; scripts
    /// reading a pipe get no progress noise.
    void showProgress(const QString& label, uint percent);
    /// Ends the progress line, if one was shown.
    void endProgress();

private:
    /// Waits in the event loop until finish() was called.
    void waitForFinish();

    Console& m_console;
    korvane::KVP::KVPWorkerThread m_worker;
    QEventLoop m_loop;
    bool m_finished = false;
    bool m_progressShown = false;
    bool m_terminal;
};
