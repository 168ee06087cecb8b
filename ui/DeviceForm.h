#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <memory>

class BusyIndicatorOverlay;
class QByteArray;
class QComboBox;
class QLabel;
class QKVRemoteFixtureDefinition;
class QMenu;
class QSortFilterProxyModel;
class QTableView;
class RemoteFixtureDefinitionListModel;

namespace Ui {
class DeviceForm;
}

/// The device panel of the main window: device discovery and selection, and the table of
/// the fixture definitions stored on the selected device.
///
/// The panel talks to no device itself. It announces what the user asks for with signals;
/// the main window turns them into device requests, fills and clears the list, locks the
/// controls while a request runs and switches the busy indicator.
class DeviceForm : public QWidget
{
    Q_OBJECT

public:
    /// Starts with an empty list, the busy indicator off and every control enabled.
    explicit DeviceForm(QWidget* parent = nullptr);
    ~DeviceForm() override;

    /// The device selection; the main window fills it and follows its current index.
    QComboBox* devicesCombo() const;
    /// Disables Find Devices, the device selection and the delete button while `locked`.
    /// The table and its context menu stay usable.
    void setLocked(bool locked);
    /// Shows or hides the busy indicator in the panel's top-left corner.
    void setBusy(bool busy);
    /// Empties the list.
    void clearFixtureList();
    /// Forgets the details of the selected device; `note` takes their place under the
    /// device selection (empty: nothing is shown there).
    void clearDeviceInfo(const QString& note = QString());
    /// The selected device's firmware version, shown under the device selection.
    void setFirmwareVersion(uint16_t version);
    /// The selected device's answer to the memory-state query, -1 when it gave none. The
    /// panel keeps the count true as later lists of the same device grow and shrink.
    void setFreeSlots(int freeSlots);
    /// Whether the device has been asked for its free slots since clearDeviceInfo().
    bool freeSlotsAsked() const { return m_slotsAsked; }
    /// The selected device's free slots, or -1 while they are not known.
    int freeSlots() const;
    /// The line under the device selection.
    QLabel* deviceInfoLabel() const;
    /// Replaces the list with the definitions of the first `count` list entries in
    /// `records` (consecutive device list entries, without the list's leading count).
    /// Only entries that `records` holds completely are used; a negative count is none.
    void setFixtureList(const QByteArray& records, int count);
    /// The definitions of the selected rows, in the order the rows were selected. They are
    /// owned by the list and stay valid until the next clearFixtureList() or setFixtureList().
    QList<QKVRemoteFixtureDefinition*> selectedRemoteDefinitions() const;
    /// The table's context menu for the current selection; showContextMenu() runs it.
    std::unique_ptr<QMenu> buildContextMenu();

    /// The list model currently shown (owned by the panel; replaced on every refill).
    RemoteFixtureDefinitionListModel* model() const { return m_model.get(); }
    /// The table of definitions.
    QTableView* fixtureListView() const;
    /// The busy indicator overlay.
    BusyIndicatorOverlay* busyIndicator() const { return m_busyIndicator; }

Q_SIGNALS:
    /// The user asked to look for devices.
    void discoverDevicesClicked();
    /// The user asked to delete the selected definitions from the device.
    void deleteRequested();
    /// The user asked to copy the selected definitions into the library.
    void copyToComputerRequested();
    /// Rows of the library's table were dropped on the device's.
    void libraryRowsDropped();
    /// The list was read again, or emptied.
    void fixtureListChanged();
    /// The counts for the counter under the device selection.
    void signalUpdateCounters(int nVisible, int nTotal, int nSelected);

public Q_SLOTS:
    /// Delete button (connected by name).
    void on_removeFixtureDefinitionFromDevice_clicked();
    /// Find Devices button (connected by name).
    void on_discoverDevicesBttn_clicked();
    /// Runs the context menu at `pos`, a position in the table's viewport.
    void showContextMenu(QPoint pos);
    /// Emits deleteRequested().
    void slotDeleteRequest();
    /// Emits copyToComputerRequested().
    void slotCopyToComputer();
    /// Selects every row of the table.
    void selectAll();
    /// Clears the table's selection.
    void clearSelection();
    /// Recounts and emits signalUpdateCounters().
    void updateCounter();

private:
    void attachProxy();
    void replaceModel(std::unique_ptr<RemoteFixtureDefinitionListModel> model);
    void showDeviceInfo();

    std::unique_ptr<Ui::DeviceForm> m_ui;
    std::unique_ptr<RemoteFixtureDefinitionListModel> m_model;
    QSortFilterProxyModel* m_proxy;
    BusyIndicatorOverlay* m_busyIndicator;
    QIcon m_selectAllIcon;
    QIcon m_clearSelectionIcon;
    QIcon m_copyToComputerIcon;
    QIcon m_deleteIcon;
    QString m_firmwareText;
    /// Used plus free slots, from the one memory-state answer; the list gives the used.
    int m_slotCount = -1;
    bool m_slotsAsked = false;
};
