#include "LocalFixtureDefinitionEditForm.h"
#include "ui_LocalFixtureDefinitionEditForm.h"

#include "DeviceFit.h"
#include "LocalChannelListModel.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "ResourcePaths.h"
#include "ShortNames.h"

#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>

namespace {

/// Puts `text` into a field the user is not typing into, without moving the cursor of
/// one that already shows it.
void showText(QLineEdit* field, const QString& text)
{
    if (field->text() != text) {
        field->setText(text);
    }
}

} // namespace

LocalFixtureDefinitionEditForm::LocalFixtureDefinitionEditForm(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::LocalFixtureDefinitionEditForm())
    , m_channelModel(new LocalChannelListModel())
    , m_channelProxy(new QSortFilterProxyModel(this))
{
    m_ui->setupUi(this);
    // The designed order, read before any other form moves a widget of this one.
    for (QWidget* stop = m_ui->fixtureName; stop && (m_tabStops.isEmpty() || stop != m_ui->fixtureName);
         stop = stop->nextInFocusChain()) {
        if (isAncestorOf(stop) && (stop->focusPolicy() & Qt::TabFocus)) {
            m_tabStops.append(stop);
        }
    }

    m_channelProxy->setSortLocaleAware(true);
    m_channelProxy->setSourceModel(m_channelModel.get());
    m_ui->channelListView->setModel(m_channelProxy);
    m_ui->channelListView->sortByColumn(LocalChannelListModel::NumberColumn, Qt::AscendingOrder);
    m_ui->channelListView->header()->setSectionResizeMode(LocalChannelListModel::NumberColumn,
                                                          QHeaderView::ResizeToContents);
    m_ui->channelListView->header()->setStretchLastSection(true);
    connect(m_ui->channelListView->selectionModel(),
            &QItemSelectionModel::currentChanged,
            this,
            &LocalFixtureDefinitionEditForm::currentChanged);

    // Wide enough for the most the device shows of a short name, in the widest letter.
    const auto fitWidest = [](QLineEdit* field, int length) {
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QString(length, QLatin1Char('W')))
                               + 2 * field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);
    };
    fitWidest(m_ui->fixtureNameShort, ShortNames::FixtureLength);
    fitWidest(m_ui->manufacturerNameShort, ShortNames::FixtureLength);
    fitWidest(m_ui->channelNameShort, ShortNames::ChannelLength);

    // The device keeps no channel descriptions.
    m_ui->textEdit->hide();
    m_ui->label_channelDescription->hide();

    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        field->installEventFilter(this);
    }

    // What the devices would refuse or change, under the fields, as the user types.
    m_findings = new QLabel(this);
    m_findings->setObjectName(QStringLiteral("fitFindings"));
    m_findings->setWordWrap(true);
    m_findings->setTextFormat(Qt::RichText);
    placeGroups(false);
    connect(this, &LocalFixtureDefinitionEditForm::contentEdited, this, &LocalFixtureDefinitionEditForm::showFindings);

    clearForm();
    setEnabled(false);
}

bool LocalFixtureDefinitionEditForm::event(QEvent* event)
{
    if (event->type() == QEvent::ParentAboutToChange && parentWidget()) {
        parentWidget()->removeEventFilter(this);
    } else if (event->type() == QEvent::ParentChange && parentWidget()) {
        parentWidget()->installEventFilter(this);
    } else if (event->type() == QEvent::Resize) {
        placeShortNameGroup();
    }
    return QWidget::event(event);
}

bool LocalFixtureDefinitionEditForm::eventFilter(QObject* watched, QEvent* event)
{
    // The library's undo covers every edit; a field's own undo would only add a step.
    if (event->type() == QEvent::ShortcutOverride && qobject_cast<QLineEdit*>(watched)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)
            || key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)) {
            return true;
        }
    }
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        placeShortNameGroup();
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

/// Moves every label of column 0 into a row of its own above its field, or back. The
/// fields keep their columns, so column 0 empties and the fields take the label's width.
void setLabelsAbove(QGridLayout* grid, bool above)
{
    struct Cell
    {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
    };
    QList<Cell> cells;
    int columns = grid->columnCount();
    for (int i = grid->count() - 1; i >= 0; --i) {
        Cell cell {nullptr, 0, 0, 0, 0};
        grid->getItemPosition(i, &cell.row, &cell.column, &cell.rowSpan, &cell.columnSpan);
        cell.item = grid->takeAt(i);
        cells.prepend(cell);
    }
    for (Cell& cell : cells) {
        const bool label = qobject_cast<QLabel*>(cell.item->widget()) != nullptr;
        if (above) {
            cell.row = 2 * cell.row + (label ? 0 : 1);
            cell.columnSpan = label ? columns : cell.columnSpan;
        } else {
            cell.row /= 2;
            cell.columnSpan = label ? 1 : cell.columnSpan;
        }
        grid->addItem(cell.item, cell.row, cell.column, cell.rowSpan, cell.columnSpan);
    }
}

} // namespace

void LocalFixtureDefinitionEditForm::placeGroups(bool stacked)
{
    // The findings come right under the names they are about, above the channels.
    QGridLayout* grid = m_ui->formLayout;
    grid->removeWidget(m_ui->generalShortGroup);
    grid->removeWidget(m_ui->channelsGroup);
    grid->removeWidget(m_findings);
    const int row = stacked ? 2 : 1;
    grid->addWidget(m_ui->generalShortGroup, stacked ? 1 : 0, stacked ? 0 : 1);
    grid->addWidget(m_findings, row, 0, 1, 2);
    grid->addWidget(m_ui->channelsGroup, row + 1, 0, 1, 2);
}

void LocalFixtureDefinitionEditForm::placeShortNameGroup()
{
    auto* grid = m_ui->formLayout;
    const int margins = grid->contentsMargins().left() + grid->contentsMargins().right();
    if (m_sideBySideWidth == 0) {
        // Measured once, in the arrangement of the form file, so the thresholds do not
        // move with the arrangement they choose.
        m_sideBySideWidth = m_ui->generalGroup->minimumSizeHint().width()
            + m_ui->generalShortGroup->minimumSizeHint().width() + grid->horizontalSpacing() + margins;
        m_stackedWidth = std::max({m_ui->generalGroup->minimumSizeHint().width(),
                                   m_ui->generalShortGroup->minimumSizeHint().width(),
                                   m_ui->channelsGroup->minimumSizeHint().width()})
            + margins;
    }
    const int room = parentWidget() ? qMin(width(), parentWidget()->width()) : width();
    const Arrangement wanted = room >= m_sideBySideWidth ? Arrangement::SideBySide
        : room >= m_stackedWidth                         ? Arrangement::Stacked
                                                         : Arrangement::Narrow;
    if (wanted == m_arrangement) {
        return;
    }
    const bool stacked = wanted != Arrangement::SideBySide;
    if (stacked != (m_arrangement != Arrangement::SideBySide)) {
        placeGroups(stacked);
    }
    const bool narrow = wanted == Arrangement::Narrow;
    if (narrow != (m_arrangement == Arrangement::Narrow)) {
        setLabelsAbove(m_ui->generalShortLayout, narrow);
        setLabelsAbove(m_ui->channelEditLayout, narrow);
        m_ui->channelSplitter->setOrientation(narrow ? Qt::Vertical : Qt::Horizontal);
    }
    m_arrangement = wanted;
}

void LocalFixtureDefinitionEditForm::announceEdit()
{
    // Called from the slots the form's widgets are connected to by name: the sender is
    // the field (or button) the user changed.
    const QObject* field = sender();
    Q_EMIT fieldEdited(field ? field->objectName() : QString(), qobject_cast<const QLineEdit*>(field) != nullptr);
    Q_EMIT contentEdited();
}

void LocalFixtureDefinitionEditForm::showField(const QString& field)
{
    if (QWidget* widget = findChild<QWidget*>(field);
        widget && widget->isEnabled() && widget->focusPolicy() != Qt::NoFocus) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

void LocalFixtureDefinitionEditForm::showFindings()
{
    const QList<DeviceFit::Finding> findings
        = m_definition ? DeviceFit::check(*m_definition) : QList<DeviceFit::Finding>();
    QStringList lines;
    for (const DeviceFit::Finding& finding : findings) {
        const QString icon = finding.severity == DeviceFit::Severity::Refused ? ResourcePaths::FitRefusedIcon
                                                                              : ResourcePaths::FitChangedIcon;
        lines
            << QStringLiteral("<img src=\"%1\" width=\"16\" height=\"16\"> %2").arg(icon, finding.text.toHtmlEscaped());
    }
    m_findings->setText(lines.join(QStringLiteral("<br>")));
    m_findings->setVisible(!lines.isEmpty());
}

LocalFixtureDefinitionEditForm::~LocalFixtureDefinitionEditForm()
{
    // The view must let go of the proxy before the channel model goes.
    m_ui->channelListView->setModel(nullptr);
}

void LocalFixtureDefinitionEditForm::clearForm()
{
    m_findings->clear();
    m_findings->hide();
    {
        const QSignalBlocker blockName(m_ui->autoFixtureNameShort);
        const QSignalBlocker blockManufacturer(m_ui->autoManufacturerNameShort);
        const QSignalBlocker blockChannel(m_ui->autoChannelNameShort);
        const QSignalBlocker blockType(m_ui->fixtureType);
        m_ui->fixtureName->clear();
        m_ui->manufacturerName->clear();
        m_ui->fixtureNameShort->clear();
        m_ui->manufacturerNameShort->clear();
        m_ui->autoFixtureNameShort->setChecked(false);
        m_ui->autoManufacturerNameShort->setChecked(false);
        m_ui->fixtureType->setCurrentIndex(-1);
        m_channelModel->setDefinition(nullptr);
    }
    showCurrentChannel();
    updateChannelButtons();
}

void LocalFixtureDefinitionEditForm::setFixtureDefinition(QKVFixtureDefinition* definition)
{
    clearForm();
    m_definition = definition;
    if (!definition) {
        setEnabled(false);
        return;
    }
    definition->applyAutoShortNames();
    m_ui->fixtureName->setText(definition->name());
    m_ui->manufacturerName->setText(definition->manufacturer());
    {
        // Showing a type the table has no entry for (a code from a device) leaves the box
        // empty and the code untouched: only the user's choice writes a type.
        const QSignalBlocker blockType(m_ui->fixtureType);
        const int type = definition->type();
        m_ui->fixtureType->setCurrentIndex(type >= 0 && type < m_ui->fixtureType->count() ? type : -1);
    }
    {
        const QSignalBlocker blockName(m_ui->autoFixtureNameShort);
        const QSignalBlocker blockManufacturer(m_ui->autoManufacturerNameShort);
        m_ui->autoFixtureNameShort->setChecked(definition->autoShortName());
        m_ui->autoManufacturerNameShort->setChecked(definition->autoManufacturerShort());
    }
    showFixtureShortNames();
    showFindings();
    m_channelModel->setDefinition(definition);
    m_ui->textEdit->clear();
    showCurrentChannel();
    updateChannelButtons();
    setEnabled(true);
}

void LocalFixtureDefinitionEditForm::editName()
{
    m_ui->fixtureName->setFocus(Qt::OtherFocusReason);
    m_ui->fixtureName->selectAll();
}

void LocalFixtureDefinitionEditForm::setTabOrderAfter(QWidget* previous)
{
    for (QWidget* stop : std::as_const(m_tabStops)) {
        QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
}

void LocalFixtureDefinitionEditForm::fixtureDefinitionToBeRemoved(QModelIndex index)
{
    if (m_definition && m_definition->listIndex().row() == index.row()) {
        setFixtureDefinition(nullptr);
    }
}

void LocalFixtureDefinitionEditForm::showFixtureShortNames()
{
    if (!m_definition) {
        return;
    }
    showText(m_ui->fixtureNameShort, m_definition->shortName());
    showText(m_ui->manufacturerNameShort, m_definition->manufacturerShort());
    m_ui->fixtureNameShort->setReadOnly(m_definition->autoShortName());
    m_ui->manufacturerNameShort->setReadOnly(m_definition->autoManufacturerShort());
}

void LocalFixtureDefinitionEditForm::on_fixtureName_textEdited(const QString& text)
{
    changeNames([&](QKVFixtureDefinition& definition) {
        definition.setName(text);
        definition.applyAutoShortNames();
    });
}

void LocalFixtureDefinitionEditForm::on_manufacturerName_textEdited(const QString& text)
{
    changeNames([&](QKVFixtureDefinition& definition) {
        definition.setManufacturer(text);
        definition.applyAutoShortNames();
    });
}

void LocalFixtureDefinitionEditForm::on_fixtureNameShort_textEdited(const QString& text)
{
    // The device's display has room for 20 characters; the field shows what is kept.
    changeNames([&](QKVFixtureDefinition& definition) {
        definition.setShortName(ShortNames::firstCharacters(text, ShortNames::FixtureLength));
    });
}

void LocalFixtureDefinitionEditForm::on_manufacturerNameShort_textEdited(const QString& text)
{
    changeNames([&](QKVFixtureDefinition& definition) {
        definition.setManufacturerShort(ShortNames::firstCharacters(text, ShortNames::FixtureLength));
    });
}

void LocalFixtureDefinitionEditForm::on_autoFixtureNameShort_toggled(bool checked)
{
    changeNames(
        [&](QKVFixtureDefinition& definition) {
            definition.setAutoShortName(checked);
            definition.applyAutoShortNames();
        },
        false);
}

void LocalFixtureDefinitionEditForm::on_autoManufacturerNameShort_toggled(bool checked)
{
    changeNames(
        [&](QKVFixtureDefinition& definition) {
            definition.setAutoManufacturerShort(checked);
            definition.applyAutoShortNames();
        },
        false);
}

void LocalFixtureDefinitionEditForm::changeNames(const std::function<void(QKVFixtureDefinition&)>& change,
                                                 bool announce)
{
    if (!m_definition) {
        return;
    }
    change(*m_definition);
    showFixtureShortNames();
    if (announce) {
        announceEdit();
    }
}

// A click is the user's own change of a flag (the form sets the boxes without one); it
// changes what the library file keeps, so the library becomes modified.
void LocalFixtureDefinitionEditForm::on_autoFixtureNameShort_clicked()
{
    announceEdit();
}

void LocalFixtureDefinitionEditForm::on_autoManufacturerNameShort_clicked()
{
    announceEdit();
}

void LocalFixtureDefinitionEditForm::on_fixtureType_activated(int index)
{
    if (!m_definition || index < 0) {
        return;
    }
    if (m_definition->type() != index) {
        m_definition->setType(index);
        announceEdit();
    }
}

int LocalFixtureDefinitionEditForm::currentChannelRow() const
{
    const QModelIndex current = m_ui->channelListView->currentIndex();
    return current.isValid() ? m_channelProxy->mapToSource(current).row() : -1;
}

QKVFixtureChannel* LocalFixtureDefinitionEditForm::currentChannel() const
{
    return m_channelModel->channelAt(currentChannelRow());
}

void LocalFixtureDefinitionEditForm::announceCurrentChannel()
{
    const int row = currentChannelRow();
    if (row >= 0) {
        m_channelModel->setData(
            m_channelModel->index(row, LocalChannelListModel::NameColumn), QVariant(), Qt::EditRole);
    }
}

void LocalFixtureDefinitionEditForm::showCurrentChannel()
{
    QKVFixtureChannel* channel = currentChannel();
    const QSignalBlocker blockAuto(m_ui->autoChannelNameShort);
    if (!channel) {
        m_ui->channelName->clear();
        m_ui->channelNameShort->clear();
        m_ui->autoChannelNameShort->setChecked(false);
        m_ui->channelEditFrame->setEnabled(false);
        return;
    }
    channel->applyAutoShortName();
    showText(m_ui->channelName, channel->name());
    showText(m_ui->channelNameShort, channel->shortName());
    m_ui->autoChannelNameShort->setChecked(channel->autoShortName());
    m_ui->channelNameShort->setReadOnly(channel->autoShortName());
    m_ui->channelEditFrame->setEnabled(true);
}

void LocalFixtureDefinitionEditForm::updateChannelButtons()
{
    QKVFixtureChannel* channel = currentChannel();
    m_ui->pushButton->setEnabled(channel != nullptr);
    m_ui->channelUp->setEnabled(channel && channel->number() != 1);
    m_ui->channelDown->setEnabled(channel && channel->number() != m_channelModel->rowCount());
    m_ui->addChannel->setEnabled(m_definition != nullptr);
}

void LocalFixtureDefinitionEditForm::currentChanged(const QModelIndex&, const QModelIndex&)
{
    updateChannelButtons();
    showCurrentChannel();
}

void LocalFixtureDefinitionEditForm::makeChannelCurrent(int modelRow)
{
    const QModelIndex number
        = m_channelProxy->mapFromSource(m_channelModel->index(modelRow, LocalChannelListModel::NumberColumn));
    const QModelIndex name
        = m_channelProxy->mapFromSource(m_channelModel->index(modelRow, LocalChannelListModel::NameColumn));
    QItemSelectionModel* selection = m_ui->channelListView->selectionModel();
    selection->setCurrentIndex(number, QItemSelectionModel::ClearAndSelect);
    selection->select(name, QItemSelectionModel::Select);
    m_ui->channelListView->scrollTo(number);
}

void LocalFixtureDefinitionEditForm::on_addChannel_clicked()
{
    if (!m_definition) {
        return;
    }
    const int number = m_channelModel->rowCount() + 1;
    QKVFixtureChannel channel;
    channel.setNumber(number);
    channel.setName(tr("Channel %1").arg(number));
    channel.applyAutoShortName();
    const int row = m_channelModel->rowCount();
    if (!m_channelModel->insertRows(row, 1)) {
        return;
    }
    m_channelModel->setData(m_channelModel->index(row, LocalChannelListModel::NumberColumn),
                            LocalChannelListModel::channelVariant(&channel),
                            LocalChannelListModel::ChannelRole);
    m_channelModel->channelAt(row)->setRenumberMark(true);
    makeChannelCurrent(row);
    announceEdit();
    updateChannelButtons();
    // Typing right away replaces the default name.
    m_ui->channelName->setFocus(Qt::OtherFocusReason);
    m_ui->channelName->selectAll();
}

void LocalFixtureDefinitionEditForm::on_pushButton_clicked()
{
    const int row = currentChannelRow();
    if (row < 0) {
        return;
    }
    m_channelModel->removeRows(row, 1);
    announceEdit();
    updateChannelButtons();
    showCurrentChannel();
}

void LocalFixtureDefinitionEditForm::on_channelUp_clicked()
{
    moveCurrentChannel(-1);
}

void LocalFixtureDefinitionEditForm::on_channelDown_clicked()
{
    moveCurrentChannel(+1);
}

void LocalFixtureDefinitionEditForm::moveCurrentChannel(int step)
{
    const int row = currentChannelRow();
    if (row < 0) {
        return;
    }
    if (step < 0) {
        m_channelModel->moveChannelUp(row);
    } else {
        m_channelModel->moveChannelDown(row);
    }
    m_channelProxy->sort(LocalChannelListModel::NumberColumn, Qt::AscendingOrder);
    m_ui->channelListView->scrollTo(m_ui->channelListView->currentIndex());
    announceEdit();
    updateChannelButtons();
}

void LocalFixtureDefinitionEditForm::on_channelName_textEdited(const QString& text)
{
    QKVFixtureChannel* channel = currentChannel();
    if (channel) {
        channel->setName(text);
        channel->applyAutoShortName();
        showText(m_ui->channelNameShort, channel->shortName());
        announceCurrentChannel();
    } else {
        showCurrentChannel();
    }
    announceEdit();
}

void LocalFixtureDefinitionEditForm::on_channelNameShort_textEdited(const QString& text)
{
    QKVFixtureChannel* channel = currentChannel();
    if (channel) {
        channel->setShortName(text);
        announceCurrentChannel();
    }
    showCurrentChannel();
    announceEdit();
}

void LocalFixtureDefinitionEditForm::on_autoChannelNameShort_toggled(bool checked)
{
    m_ui->channelNameShort->setReadOnly(checked);
    if (QKVFixtureChannel* channel = currentChannel()) {
        channel->setAutoShortName(checked);
        announceCurrentChannel();
    }
    showCurrentChannel();
}

void LocalFixtureDefinitionEditForm::on_autoChannelNameShort_clicked()
{
    if (currentChannel()) {
        announceEdit();
    }
}
