#pragma once

// The main window and the firmware update dialog over simulated devices and a real worker.

#include "DeviceForm.h"
#include "FirmwareUpdateDlg.h"
#include "KVPWorkerThread.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "MainWindow.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "ScriptedPrompts.h"
#include "WidgetTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

// After QByteArray: its qputenv overload takes one.
#include "KVPWorkerTestSupport.h"

#include <memory>
#include <optional>

namespace korvane::KVP::test {

/// Generous for the sanitizers; waits end as soon as their condition holds.
constexpr int RigTimeoutMs = 20000;

/// The simulated devices outlive the window or the worker.
struct SimDevices
{
    explicit SimDevices(const char* devices) { useSimDevices(devices); }
    ~SimDevices() { dropSimDevices(); }
};

/// What `read` returns for the simulated device at `index`, read while no connection talks to it.
template <typename Read>
auto onSimDevice(Read read, size_t index = 0)
{
    std::optional<decltype(read(std::declval<sim::SimDevice&>()))> result;
    simBackend().withDevice(index, [&](sim::SimDevice& device) { result = read(device); });
    return result.value();
}

/// A main window over simulated devices; declared in this order so the window goes first.
struct WindowRig
{
    explicit WindowRig(const char* devices) : sim(devices) { }
    WindowRig(const char* devices, std::shared_ptr<ScriptedPrompts> own) : sim(devices), prompts(std::move(own)) { }

    template <typename T>
    T* widget(const char* name) const
    {
        return window.findChild<T*>(QLatin1String(name));
    }
    DeviceForm* remoteForm() const { return widget<DeviceForm>("remoteForm"); }
    LibraryForm* libraryForm() const { return widget<LibraryForm>("libraryForm"); }
    QComboBox* combo() const { return remoteForm()->devicesCombo(); }
    bool shown(const char* name) const { return widget<QWidget>(name)->isVisibleTo(&window); }
    int deviceRows() const { return remoteForm()->model()->rowCount(); }
    int libraryRows() const { return libraryForm()->listModel()->rowCount(); }
    sim::SimDevice& device(size_t index = 0) const { return *simBackend().device(index); }

    /// No request in flight and unlocked: each step of a chain locks before the last unlocks.
    bool idle() const { return !window.currentRequest() && window.uploadAction()->isEnabled(); }
    bool waitIdle() const
    {
        return QTest::qWaitFor([this] { return idle(); }, RigTimeoutMs);
    }
    /// No request in flight and discovery enabled: idle also when there is no device to work on.
    bool waitSettled() const
    {
        const auto settled
            = [this] { return !window.currentRequest() && widget<QAction>("actionDiscoverDevices")->isEnabled(); };
        return QTest::qWaitFor(settled, RigTimeoutMs);
    }
    bool unlocked() const
    {
        return idle() && window.downloadAction()->isEnabled() && widget<QAction>("actionDiscoverDevices")->isEnabled()
            && widget<QWidget>("discoverDevicesBttn")->isEnabled() && combo()->isEnabled() && !libraryForm()->isLocked()
            && !shown("progressBars") && window.workerThread()->isRunning();
    }

    /// Appends a definition with `channels` numbered channels to the library.
    void addDefinition(const QString& name, int channels)
    {
        libraryForm()->addFixtureDefinition(numberedDefinition(name, channels).get());
    }
    /// Selects the library rows of the definitions called `names`.
    void selectLibrary(const QStringList& names)
    {
        QTableView* view = libraryForm()->tableView();
        view->clearSelection();
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            if (names.contains(view->model()->index(row, 0).data().toString())) {
                selectRow(view, row);
            }
        }
    }
    void selectDeviceRows(const QList<int>& rows)
    {
        remoteForm()->fixtureListView()->clearSelection();
        for (int row : rows) {
            selectRow(remoteForm()->fixtureListView(), row);
        }
    }

    SimDevices sim;
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    MainWindow window {nullptr, prompts};
};

/// A worker that tells how many receivers its discovery signal has.
class ListenedWorker : public KVPWorkerThread
{
public:
    int discoveryListeners() const { return receivers(SIGNAL(deviceDiscoverFinsihed())); }
};

/// The firmware update dialog over a started worker; the dialog goes before the worker stops.
struct DialogRig
{
    explicit DialogRig(const char* devices) : sim(devices) { worker.start(); }
    ~DialogRig()
    {
        worker.stopWorker();
        worker.wait();
    }

    QPushButton* button(const char* name) const { return dialog.findChild<QPushButton*>(QLatin1String(name)); }
    QComboBox* combo() const { return dialog.findChild<QComboBox*>(QStringLiteral("devicesCombo")); }
    QLabel* label(const char* name) const { return dialog.findChild<QLabel*>(QLatin1String(name)); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    /// Whether the Update, Discover and Quit buttons are all `enabled`.
    bool controls(bool enabled) const
    {
        return button("bttn_update")->isEnabled() == enabled && button("bttnDiscover")->isEnabled() == enabled
            && button("bttn_quit")->isEnabled() == enabled;
    }
    void clickLink(const QString& link) { Q_EMIT label("lbl_fileOpenMode")->linkActivated(link); }

    /// Runs a discovery as the main window does before it opens the dialog.
    bool discover()
    {
        bool finished = false;
        QObject context; // on the test thread: the flag is set by a queued call
        QObject::connect(&worker, &KVPWorkerThread::deviceDiscoverFinsihed, &context, [&finished] { finished = true; });
        worker.discoverDevices();
        return QTest::qWaitFor([&finished] { return finished; }, RigTimeoutMs);
    }
    /// Discovers, shows the dialog and waits until it has selected the first device.
    bool open() { return discover() && (dialog.setWorkerThread(&worker), dialog.show(), waitReady()); }
    bool waitReady()
    {
        return QTest::qWaitFor([this] { return !dialog.isBusy() && dialog.hasDevice(); }, RigTimeoutMs);
    }
    bool waitIdle()
    {
        return QTest::qWaitFor([this] { return !dialog.isBusy(); }, RigTimeoutMs);
    }

    SimDevices sim;
    ListenedWorker worker;
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    FirmwareUpdateDlg dialog {nullptr, prompts};
};

} // namespace korvane::KVP::test
