#include "DeviceForm.h"
#include "ui_DeviceForm.h"

#include "BusyIndicatorOverlay.h"
#include "DeviceLabels.h"
#include "DeviceRecord.h"
#include "FixtureTableColumns.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVRemoteFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "ResourcePaths.h"
#include "RowDropTarget.h"

#include <QHeaderView>
#include <QMenu>
#include <QSortFilterProxyModel>

#include <algorithm>

namespace {

/// The device lists each stored definition by the header of its record.
constexpr int ListEntryLength = DeviceRecord::HeaderLength;
} // namespace

DeviceForm::DeviceForm(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::DeviceForm>())
    , m_model(std::make_unique<RemoteFixtureDefinitionListModel>())
    , m_proxy(new QSortFilterProxyModel(this))
    , m_selectAllIcon(ResourcePaths::AllSelectedIcon)
    , m_clearSelectionIcon(ResourcePaths::NothingSelectedIcon)
    , m_copyToComputerIcon(ResourcePaths::DownloadIcon)
    , m_deleteIcon(ResourcePaths::FixtureDeleteIcon)
{
    m_ui->setupUi(this);

    // No filter text is ever set: the proxy is there for sorting by header click only.
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setDynamicSortFilter(false);
    m_proxy->setSortRole(Qt::DisplayRole);
    m_proxy->setSourceModel(m_model.get());

    // Until the user picks a column the rows stay in the device's own order; without this
    // the view would sort by the first column the moment sorting is switched on.
    m_ui->fixtureListView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    attachProxy();
    clearDeviceInfo();

    // Outside the layouts, so it covers the corner without pushing anything aside.
    m_busyIndicator = new BusyIndicatorOverlay(this);
    m_busyIndicator->setGeometry(QRect(QPoint(0, 0), m_busyIndicator->sizeHint()));
    m_busyIndicator->setBusy(false);

    connect(m_ui->fixtureListView->selectionModel(),
            &QItemSelectionModel::selectionChanged,
            this,
            &DeviceForm::updateCounter);
    connect(this, &DeviceForm::signalUpdateCounters, m_ui->fixturesCounter, &FixturesCounterForm::updateCounts);

    // Replaces the counter's design-time texts.
    updateCounter();
    new RowDropTarget(
        m_ui->fixtureListView, LocalFixtureDefinitionListModel::RowsMimeType, [this] { Q_EMIT libraryRowsDropped(); });
}

DeviceForm::~DeviceForm()
{
    // The proxy (a child, deleted later) must not outlive its source unnoticed.
    m_proxy->setSourceModel(nullptr);
}

QComboBox* DeviceForm::devicesCombo() const
{
    return m_ui->devicesComboBox;
}

QTableView* DeviceForm::fixtureListView() const
{
    return m_ui->fixtureListView;
}

void DeviceForm::setLocked(bool locked)
{
    m_ui->discoverDevicesBttn->setEnabled(!locked);
    m_ui->devicesComboBox->setEnabled(!locked);
    m_ui->removeFixtureDefinitionFromDevice->setEnabled(!locked);
}

void DeviceForm::setBusy(bool busy)
{
    m_busyIndicator->setBusy(busy);
}

void DeviceForm::clearFixtureList()
{
    replaceModel(std::make_unique<RemoteFixtureDefinitionListModel>());
    Q_EMIT fixtureListChanged();
}

void DeviceForm::clearDeviceInfo(const QString& note)
{
    m_firmwareText.clear();
    m_slotCount = -1;
    m_slotsAsked = false;
    m_ui->deviceInfoLabel->setText(note);
    m_ui->deviceInfoLabel->setVisible(!note.isEmpty());
}

void DeviceForm::setFirmwareVersion(uint16_t version)
{
    m_firmwareText = firmwareVersionText(version);
    showDeviceInfo();
}

void DeviceForm::setFreeSlots(int freeSlots)
{
    m_slotsAsked = true;
    m_slotCount = freeSlots < 0 ? -1 : freeSlots + m_model->rowCount();
    showDeviceInfo();
}

int DeviceForm::freeSlots() const
{
    return m_slotCount < 0 ? -1 : std::max(m_slotCount - m_model->rowCount(), 0);
}

QLabel* DeviceForm::deviceInfoLabel() const
{
    return m_ui->deviceInfoLabel;
}

void DeviceForm::showDeviceInfo()
{
    QStringList parts;
    if (!m_firmwareText.isEmpty()) {
        parts << tr("Firmware %1").arg(m_firmwareText);
    }
    if (const int free = freeSlots(); free >= 0) {
        parts << (free == 1 ? tr("1 free slot") : tr("%1 free slots").arg(free));
    }
    m_ui->deviceInfoLabel->setText(parts.join(QStringLiteral(", ")));
    m_ui->deviceInfoLabel->setVisible(!parts.isEmpty());
}

void DeviceForm::setFixtureList(const QByteArray& records, int count)
{
    // The main window passes only whole lists, but a short payload must still never be
    // read past its end.
    const int entries = std::min(std::max(count, 0), static_cast<int>(records.size() / ListEntryLength));

    replaceModel(std::make_unique<RemoteFixtureDefinitionListModel>());
    for (int i = 0; i < entries; ++i) {
        const int row = m_model->rowCount();
        if (!m_model->insertRows(row, 1)) {
            break;
        }
        QKVRemoteFixtureDefinition definition;
        definition.fromListEntry(QByteArray::fromRawData(
            records.constData() + static_cast<qsizetype>(i) * ListEntryLength, ListEntryLength));
        m_model->setData(m_model->index(row, RemoteFixtureDefinitionListModel::NameColumn),
                         RemoteFixtureDefinitionListModel::definitionVariant(&definition),
                         RemoteFixtureDefinitionListModel::DefinitionRole);
    }

    // Sorts the new rows the way the header says.
    attachProxy();
    updateCounter();
    if (m_slotCount >= 0) {
        showDeviceInfo();
    }
    Q_EMIT fixtureListChanged();
}

QList<QKVRemoteFixtureDefinition*> DeviceForm::selectedRemoteDefinitions() const
{
    QList<QKVRemoteFixtureDefinition*> definitions;
    const QItemSelectionModel* selection = m_ui->fixtureListView->selectionModel();
    if (!selection) {
        return definitions;
    }
    const QModelIndexList rows = selection->selectedRows(RemoteFixtureDefinitionListModel::NameColumn);
    definitions.reserve(rows.size());
    for (const QModelIndex& proxyIndex : rows) {
        const QModelIndex sourceIndex = m_proxy->mapToSource(proxyIndex);
        QKVRemoteFixtureDefinition* definition = RemoteFixtureDefinitionListModel::definitionFromVariant(
            m_model->data(sourceIndex, RemoteFixtureDefinitionListModel::DefinitionRole));
        if (definition) {
            definitions.append(definition);
        }
    }
    return definitions;
}

std::unique_ptr<QMenu> DeviceForm::buildContextMenu()
{
    const bool anySelected = !selectedRemoteDefinitions().isEmpty();

    auto menu = std::make_unique<QMenu>(this);
    QAction* selectAllAction = menu->addAction(m_selectAllIcon, tr("Select all"));
    connect(selectAllAction, &QAction::triggered, this, &DeviceForm::selectAll);
    if (!anySelected) {
        return menu;
    }

    QAction* clearAction = menu->addAction(m_clearSelectionIcon, tr("Clear selection"));
    connect(clearAction, &QAction::triggered, this, &DeviceForm::clearSelection);
    menu->addSeparator();
    QAction* copyAction = menu->addAction(m_copyToComputerIcon, tr("Copy selected to computer"));
    copyAction->setEnabled(true);
    connect(copyAction, &QAction::triggered, this, &DeviceForm::slotCopyToComputer);
    QAction* deleteAction = menu->addAction(m_deleteIcon, tr("Delete selected"));
    deleteAction->setEnabled(true);
    connect(deleteAction, &QAction::triggered, this, &DeviceForm::slotDeleteRequest);
    return menu;
}

void DeviceForm::on_removeFixtureDefinitionFromDevice_clicked()
{
    // Whatever the selection: the main window ignores a request with nothing selected.
    Q_EMIT deleteRequested();
}

void DeviceForm::on_discoverDevicesBttn_clicked()
{
    Q_EMIT discoverDevicesClicked();
}

void DeviceForm::showContextMenu(QPoint pos)
{
    std::unique_ptr<QMenu> menu = buildContextMenu();
    menu->exec(m_ui->fixtureListView->viewport()->mapToGlobal(pos));
    // Deleted once control is back in the event loop, after the chosen entry has run.
    menu.release()->deleteLater();
}

void DeviceForm::slotDeleteRequest()
{
    Q_EMIT deleteRequested();
}

void DeviceForm::slotCopyToComputer()
{
    Q_EMIT copyToComputerRequested();
}

void DeviceForm::selectAll()
{
    m_ui->fixtureListView->selectAll();
}

void DeviceForm::clearSelection()
{
    m_ui->fixtureListView->clearSelection();
}

void DeviceForm::updateCounter()
{
    // No filter is ever set, so every definition is visible.
    const int total = m_model->rowCount();
    const int selected = static_cast<int>(selectedRemoteDefinitions().size());
    Q_EMIT signalUpdateCounters(total, total, selected);
}

void DeviceForm::attachProxy()
{
    QTableView* view = m_ui->fixtureListView;
    view->setModel(m_proxy);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setSortingEnabled(true);
    // Attached again after every refill: the connections must not pile up.
    connect(m_proxy, &QAbstractItemModel::dataChanged, this, &DeviceForm::updateCounter, Qt::UniqueConnection);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &DeviceForm::updateCounter, Qt::UniqueConnection);
    connect(view, &QWidget::customContextMenuRequested, this, &DeviceForm::showContextMenu, Qt::UniqueConnection);
    // Only once the sections exist, and not again on refills: the user may have widened one.
    if (view->horizontalHeader()->count() == RemoteFixtureDefinitionListModel::ColumnCount
        && view->horizontalHeader()->sectionResizeMode(RemoteFixtureDefinitionListModel::NameColumn)
            != QHeaderView::Stretch) {
        sizeFixtureTableColumns(view, RemoteFixtureDefinitionListModel::NameColumn);
    }
}

void DeviceForm::replaceModel(std::unique_ptr<RemoteFixtureDefinitionListModel> model)
{
    m_proxy->setSourceModel(model.get());
    // The proxy has let go of the previous model; its definitions go with it.
    m_model = std::move(model);
    updateCounter();
}
