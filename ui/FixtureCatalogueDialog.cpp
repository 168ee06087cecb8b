#include "FixtureCatalogueDialog.h"

#include "BusyIndicatorOverlay.h"
#include "FixtureCatalogue.h"
#include "FixtureType.h"
#include "QKVFixtureDefinition.h"
#include "ShortNames.h"
#include "UserPrompts.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

/// The catalogue row a mode item stands for; fixtures and manufacturers have none.
constexpr int ModeRowRole = Qt::UserRole + 1;
/// Below this many modes a search result opens every branch; above, the tree would
/// turn into a wall of lines.
constexpr int ExpandAllBelow = 300;
constexpr int InitialWidth = 900;
constexpr int InitialHeight = 600;

QList<QStandardItem*> treeRow(const QString& name, const QString& channels = QString(), const QString& type = QString())
{
    QList<QStandardItem*> row {new QStandardItem(name), new QStandardItem(channels), new QStandardItem(type)};
    for (QStandardItem* item : row) {
        item->setEditable(false);
    }
    return row;
}

} // namespace

FixtureCatalogueDialog::FixtureCatalogueDialog(const QStringList& standardFolders,
                                               const QStringList& userFolders,
                                               std::shared_ptr<UserPrompts> prompts,
                                               QWidget* parent)
    : QDialog(parent)
    , m_prompts(std::move(prompts))
    , m_standardFolders(standardFolders)
    , m_userFolders(userFolders)
    , m_catalogue(std::make_shared<FixtureCatalogue>())
    , m_search(new QLineEdit(this))
    , m_tree(new QTreeView(this))
    , m_model(new QStandardItemModel(this))
    , m_previewTitle(new QLabel(this))
    , m_preview(new QTreeWidget(this))
    , m_status(new QLabel(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Close, this))
{
    setWindowTitle(tr("Fixture Catalogue"));
    resize(InitialWidth, InitialHeight);

    m_search->setPlaceholderText(tr("Search manufacturer, fixture and mode"));
    m_search->setClearButtonEnabled(true);
    m_searchTimer.setSingleShot(true);
    m_searchTimer.setInterval(SearchDelayMs);
    connect(m_search, &QLineEdit::textChanged, &m_searchTimer, qOverload<>(&QTimer::start));
    connect(&m_searchTimer, &QTimer::timeout, this, &FixtureCatalogueDialog::fillTree);

    setUpViews();

    auto* previewSide = new QWidget(this);
    auto* previewLayout = new QVBoxLayout(previewSide);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(m_previewTitle);
    previewLayout->addWidget(m_preview, 1);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_tree);
    splitter->addWidget(previewSide);
    splitter->setSizes({InitialWidth * 3 / 5, InitialWidth * 2 / 5});

    m_addButton = m_buttons->addButton(tr("Add to Library"), QDialogButtonBox::AcceptRole);
    m_addButton->setDefault(true);
    QPushButton* folderButton = m_buttons->addButton(tr("Add Folder..."), QDialogButtonBox::ActionRole);
    connect(folderButton, &QPushButton::clicked, this, &FixtureCatalogueDialog::addFolder);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(splitter, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_buttons);
    layout->addLayout(bottom);

    m_busy = new BusyIndicatorOverlay(m_tree);
    connect(&m_watcher,
            &QFutureWatcher<std::shared_ptr<FixtureCatalogue>>::finished,
            this,
            &FixtureCatalogueDialog::indexFinished);
    updateAddButton();
    showPreview();
    startIndexing();
}

void FixtureCatalogueDialog::setUpViews()
{
    m_model->setHorizontalHeaderLabels({tr("Name"), tr("Channels"), tr("Type")});
    m_tree->setModel(m_model);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setUniformRowHeights(true);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(ChannelsColumn, QHeaderView::ResizeToContents);
    m_tree->header()->setSectionResizeMode(TypeColumn, QHeaderView::ResizeToContents);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        showPreview();
        updateAddButton();
    });
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &FixtureCatalogueDialog::showPreview);
    connect(m_tree, &QTreeView::activated, this, [this](const QModelIndex& index) {
        if (index.siblingAtColumn(NameColumn).data(ModeRowRole).isValid() && m_addButton->isEnabled()) {
            accept();
        }
    });

    m_previewTitle->setWordWrap(true);
    m_previewTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_preview->setHeaderLabels({tr("Channel#"), tr("Channel Name"), tr("On the Device")});
    m_preview->setRootIsDecorated(false);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setFocusPolicy(Qt::NoFocus);
    m_preview->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

FixtureCatalogueDialog::~FixtureCatalogueDialog()
{
    if (m_cancel) {
        *m_cancel = true;
    }
    m_watcher.waitForFinished();
}

void FixtureCatalogueDialog::startIndexing()
{
    if (m_cancel) {
        *m_cancel = true;
    }
    m_watcher.waitForFinished();
    m_cancel = std::make_shared<std::atomic_bool>(false);
    m_busy->setBusy(true);
    m_status->setText(tr("Reading fixture files..."));
    const QStringList folders = m_standardFolders + m_userFolders;
    m_watcher.setFuture(QtConcurrent::run([folders, cancel = m_cancel] {
        auto catalogue = std::make_shared<FixtureCatalogue>();
        catalogue->index(folders, cancel.get());
        return catalogue;
    }));
}

void FixtureCatalogueDialog::indexFinished()
{
    if (m_watcher.future().resultCount() == 0 || *m_cancel) {
        return;
    }
    m_catalogue = m_watcher.result();
    m_busy->setBusy(false);
    const QLocale locale;
    const auto count = [&locale](qsizetype n, const QString& one, const QString& many) {
        return (n == 1 ? one : many).arg(locale.toString(n));
    };
    QString status = tr("%1 in %2 from %3")
                         .arg(count(m_catalogue->modes().size(), tr("%1 mode"), tr("%1 modes")),
                              count(m_catalogue->fixtureCount(), tr("%1 fixture"), tr("%1 fixtures")),
                              count(m_catalogue->folders().size(), tr("%1 folder"), tr("%1 folders")));
    if (!m_catalogue->failedFiles().isEmpty()) {
        status += tr("; %1 files could not be read").arg(locale.toString(m_catalogue->failedFiles().size()));
        QStringList failures;
        for (const QxfFile& file : m_catalogue->failedFiles()) {
            failures << file.path + QStringLiteral(": ") + file.error;
        }
        m_status->setToolTip(failures.join(QLatin1Char('\n')));
    }
    if (m_catalogue->modes().isEmpty()) {
        status = tr("No QLC+ fixture files found. Install QLC+'s fixtures (Debian: qlcplus-data) "
                    "or add a folder of .qxf files.");
    }
    m_status->setText(status);
    fillTree();
    Q_EMIT indexed();
}

void FixtureCatalogueDialog::fillTree()
{
    m_model->removeRows(0, m_model->rowCount());
    const QList<int> found = m_catalogue->search(m_search->text());
    const QList<QxfMode>& modes = m_catalogue->modes();
    QStandardItem* manufacturer = nullptr;
    QStandardItem* fixture = nullptr;
    const QxfMode* previous = nullptr;
    for (int row : found) {
        const QxfMode& mode = modes.at(row);
        if (!previous || previous->manufacturer != mode.manufacturer) {
            const QList<QStandardItem*> items = treeRow(mode.manufacturer);
            m_model->appendRow(items);
            manufacturer = items.first();
            fixture = nullptr;
        }
        if (!fixture || previous->file != mode.file || previous->model != mode.model) {
            const QList<QStandardItem*> items = treeRow(mode.model);
            manufacturer->appendRow(items);
            fixture = items.first();
            fixture->setToolTip(mode.file);
        }
        const QList<QStandardItem*> items = treeRow(mode.mode.isEmpty() ? mode.name : mode.mode,
                                                    QString::number(mode.channels.size()),
                                                    FixtureType::displayName(mode.type));
        items.first()->setData(row, ModeRowRole);
        if (!mode.usable()) {
            for (QStandardItem* item : items) {
                item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(mode.reason);
            }
        }
        fixture->appendRow(items);
        previous = &mode;
    }
    if (!m_search->text().trimmed().isEmpty() && found.size() < ExpandAllBelow) {
        m_tree->expandAll();
    }
    // The first mode becomes current, so its channels show at once.
    if (m_model->rowCount() > 0) {
        const QModelIndex manufacturer = m_model->index(0, 0);
        const QModelIndex mode = m_model->index(0, 0, m_model->index(0, 0, manufacturer));
        m_tree->scrollTo(mode);
        m_tree->setCurrentIndex(mode);
    }
    showPreview();
    updateAddButton();
}

QList<QxfMode> FixtureCatalogueDialog::chosenModes() const
{
    // In the tree's order; a manufacturer would stand for hundreds of modes, so only a
    // selected fixture or mode counts.
    QList<QxfMode> chosen;
    const QItemSelectionModel* selection = m_tree->selectionModel();
    for (int m = 0; m < m_model->rowCount(); ++m) {
        const QStandardItem* manufacturer = m_model->item(m);
        for (int f = 0; f < manufacturer->rowCount(); ++f) {
            const QStandardItem* fixture = manufacturer->child(f);
            const bool wholeFixture = selection->isSelected(fixture->index());
            for (int r = 0; r < fixture->rowCount(); ++r) {
                const QStandardItem* item = fixture->child(r);
                const QxfMode& mode = m_catalogue->modes().at(item->data(ModeRowRole).toInt());
                if ((wholeFixture || selection->isSelected(item->index())) && mode.usable()) {
                    chosen << mode;
                }
            }
        }
    }
    return chosen;
}

void FixtureCatalogueDialog::showPreview()
{
    m_preview->clear();
    const QModelIndex current = m_tree->currentIndex().siblingAtColumn(NameColumn);
    const QVariant row = current.data(ModeRowRole);
    if (!row.isValid()) {
        m_previewTitle->setText(current.isValid() ? tr("Select a mode to see its channels.") : QString());
        return;
    }
    const QxfMode& mode = m_catalogue->modes().at(row.toInt());
    const std::unique_ptr<QKVFixtureDefinition> definition = mode.toDefinition();
    QString title = tr("<b>%1</b> by %2<br>On the device: %3 / %4")
                        .arg(mode.name.toHtmlEscaped(),
                             mode.manufacturer.toHtmlEscaped(),
                             definition->shortName().toHtmlEscaped(),
                             definition->manufacturerShort().toHtmlEscaped());
    if (!mode.usable()) {
        title += QStringLiteral("<br>") + tr("Not for the device: %1").arg(mode.reason.toHtmlEscaped());
    }
    m_previewTitle->setText(title);
    int number = 0;
    for (const QxfChannel& channel : mode.channels) {
        ++number;
        const QString shown = channel.autoShortName
            ? ShortNames::firstCharacters(channel.name, ShortNames::ChannelLength)
            : channel.shortName;
        new QTreeWidgetItem(m_preview, {QString::number(number), channel.name, shown});
    }
}

void FixtureCatalogueDialog::updateAddButton()
{
    m_addButton->setEnabled(!isIndexing() && !chosenModes().isEmpty());
}

void FixtureCatalogueDialog::addFolder()
{
    FilePrompt prompt;
    prompt.kind = FilePrompt::Folder;
    prompt.caption = tr("Add a Folder of QLC+ Fixture Files");
    const QString folder = m_prompts->fileName(this, prompt);
    if (folder.isEmpty() || m_userFolders.contains(folder) || m_standardFolders.contains(folder)) {
        return;
    }
    m_userFolders << folder;
    startIndexing();
}
