#include "DeviceForm.h"

#include "BusyIndicatorOverlay.h"
#include "DeviceRecord.h"
#include "FixturesCounterForm.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

using namespace DeviceRecord;

namespace {

/// One device list entry, made the way the device stores a definition: the header of its
/// record, with the device's record number in it.
QByteArray listEntry(const QString& name, const QString& manufacturer, int channels, int recordNumber)
{
    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setManufacturer(manufacturer);
    for (int number = 1; number <= channels; ++number) {
        auto* channel = new QKVFixtureChannel;
        channel->setNumber(number);
        channel->setName(QStringLiteral("Channel %1").arg(number));
        definition.appendChannel(channel);
    }
    QByteArray entry = buildRecord(definition).left(HeaderLength);
    entry[RecordNumberOffset] = char(recordNumber);
    return entry;
}

/// Entries named "Fixture 0".."Fixture n-1", record number i for entry i.
QByteArray listRecords(int count)
{
    QByteArray records;
    for (int i = 0; i < count; ++i) {
        records += listEntry(QStringLiteral("Fixture %1").arg(i), QStringLiteral("ACME"), 1 + i % 12, i);
    }
    return records;
}

QList<int> recordNumbers(const QList<QKVRemoteFixtureDefinition*>& definitions)
{
    QList<int> numbers;
    for (const QKVRemoteFixtureDefinition* definition : definitions) {
        numbers << definition->recordNumber();
    }
    return numbers;
}

/// The record numbers of the rows as the view shows them.
QList<int> displayedRecordNumbers(const DeviceForm& form)
{
    QList<int> numbers;
    const QAbstractItemModel* shown = form.fixtureListView()->model();
    for (int row = 0; row < shown->rowCount(); ++row) {
        numbers << RemoteFixtureDefinitionListModel::definitionFromVariant(
                       shown->index(row, 0).data(RemoteFixtureDefinitionListModel::DefinitionRole))
                       ->recordNumber();
    }
    return numbers;
}

QList<QVariant> counts(int visible, int total, int selected)
{
    return {visible, total, selected};
}

QString labelText(const DeviceForm& form, const char* name)
{
    auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QString::fromLatin1(name));
}

void clickRow(QTableView* view, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
}

void selectRow(QTableView* view, int row)
{
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList entryTexts(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        texts << (action->isSeparator() ? QStringLiteral("--") : action->text());
    }
    return texts;
}

QAction* entry(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

template <typename T>
T* child(const DeviceForm& form, const char* name)
{
    return form.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

/// The device panel: its controls, list, counter and context menu.
class TestDeviceForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsEmptyIdleAndUnlocked()
    {
        DeviceForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.fixtureListView()->model()->rowCount(), 0);
        QVERIFY(form.selectedRemoteDefinitions().isEmpty());
        // The counter's design-time texts are gone.
        QCOMPARE(labelText(form, "visibleTotalLabel"), QString());
        QCOMPARE(labelText(form, "selectionLabel"), QString());
        QVERIFY(!form.busyIndicator()->label()->isVisible());
        for (const char* name : {"discoverDevicesBttn", "devicesComboBox", "removeFixtureDefinitionFromDevice"}) {
            QVERIFY2(child<QWidget>(form, name)->isEnabled(), name);
        }
    }

    void counterFollowsListAndSelection()
    {
        DeviceForm form;
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        form.setFixtureList(listRecords(5), 5);
        QVERIFY(!spy.isEmpty());
        QCOMPARE(spy.last(), counts(5, 5, 0));
        QCOMPARE(labelText(form, "visibleTotalLabel"), "5 Fixture Definitions");
        QCOMPARE(labelText(form, "selectionLabel"), QString());

        selectRow(form.fixtureListView(), 1);
        selectRow(form.fixtureListView(), 3);
        QCOMPARE(spy.last(), counts(5, 5, 2));
        QCOMPARE(labelText(form, "visibleTotalLabel"), "5 Fixture Definitions");
        QCOMPARE(labelText(form, "selectionLabel"), " (2 Selected)");
    }

    void listShowsEntriesInDeviceOrder()
    {
        DeviceForm form;
        // The view's model lives as long as the form; refills and clears must keep it consistent.
        QAbstractItemModelTester tester(form.fixtureListView()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        form.setFixtureList(listRecords(2), 2);
        form.clearFixtureList();
        form.setFixtureList(listRecords(4), 4);
        QCOMPARE(displayedRecordNumbers(form), QList<int>({0, 1, 2, 3}));
        const QAbstractItemModel* shown = form.fixtureListView()->model();
        QCOMPARE(shown->index(2, 0).data().toString(), "Fixture 2");
        QCOMPARE(shown->index(2, 1).data().toInt(), 3);
        QCOMPARE(shown->index(2, 2).data().toString(), "ACME");
    }

    void emptyListsCountZero_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::newRow("count 0") << false;
        QTest::newRow("cleared") << true;
    }

    void emptyListsCountZero()
    {
        QFETCH(bool, clear);
        DeviceForm form;
        form.setFixtureList(listRecords(3), 3);
        selectRow(form.fixtureListView(), 0);
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        if (clear) {
            form.clearFixtureList();
        } else {
            form.setFixtureList(listRecords(3), 0);
        }
        QVERIFY(!spy.isEmpty());
        QCOMPARE(spy.last(), counts(0, 0, 0));
        QCOMPARE(form.fixtureListView()->model()->rowCount(), 0);
        QVERIFY(form.selectedRemoteDefinitions().isEmpty());
        QCOMPARE(labelText(form, "visibleTotalLabel"), QString());
        QCOMPARE(labelText(form, "selectionLabel"), QString());
    }

    void onlyCompleteEntriesAreRead_data()
    {
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("shown");

        const QByteArray three = listRecords(3);
        QTest::newRow("count as given") << three << 3 << QList<int>({0, 1, 2});
        QTest::newRow("fewer than the bytes hold") << three << 2 << QList<int>({0, 1});
        QTest::newRow("payload short of whole entries") << three << 5 << QList<int>({0, 1, 2});
        QTest::newRow("last entry cut") << three.left(3 * HeaderLength - 1) << 3 << QList<int>({0, 1});
        QTest::newRow("less than one entry") << three.left(HeaderLength - 1) << 1 << QList<int>();
        QTest::newRow("no bytes") << QByteArray() << 4 << QList<int>();
        QTest::newRow("negative count") << three << -1 << QList<int>();
    }

    void onlyCompleteEntriesAreRead()
    {
        QFETCH(QByteArray, records);
        QFETCH(int, count);
        QFETCH(QList<int>, shown);

        // Exactly the bytes given, so that a read past their end shows up under the sanitizer.
        std::vector<char> block(records.cbegin(), records.cend());
        const QByteArray exact = QByteArray::fromRawData(block.data(), static_cast<qsizetype>(block.size()));

        DeviceForm form;
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        form.setFixtureList(exact, count);
        QCOMPARE(displayedRecordNumbers(form), shown);
        const int n = static_cast<int>(shown.size());
        QCOMPARE(spy.last(), counts(n, n, 0));
    }

    void selectionKeepsTheOrderOfSelecting()
    {
        DeviceForm form;
        form.resize(360, 600);
        form.setFixtureList(listRecords(4), 4);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        clickRow(form.fixtureListView(), 2);
        clickRow(form.fixtureListView(), 0, Qt::ControlModifier);
        QCOMPARE(recordNumbers(form.selectedRemoteDefinitions()), QList<int>({2, 0}));
    }

    void selectionAfterSortingNamesTheClickedRows()
    {
        DeviceForm form;
        form.resize(360, 600);
        QByteArray records;
        records += listEntry("Bravo", "ACME", 2, 10);
        records += listEntry("Delta", "ACME", 4, 11);
        records += listEntry("Alpha", "ACME", 1, 12);
        records += listEntry("Charlie", "ACME", 3, 13);
        form.setFixtureList(records, 4);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        form.fixtureListView()->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(displayedRecordNumbers(form), QList<int>({11, 13, 10, 12})); // Delta Charlie Bravo Alpha

        clickRow(form.fixtureListView(), 2); // Bravo
        clickRow(form.fixtureListView(), 0, Qt::ControlModifier); // Delta
        clickRow(form.fixtureListView(), 3, Qt::ControlModifier); // Alpha
        QCOMPARE(recordNumbers(form.selectedRemoteDefinitions()), QList<int>({10, 11, 12}));

        // A refill keeps the chosen sort and clears the selection.
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        form.setFixtureList(records, 4);
        QCOMPARE(displayedRecordNumbers(form), QList<int>({11, 13, 10, 12}));
        QVERIFY(form.selectedRemoteDefinitions().isEmpty());
        QCOMPARE(spy.last(), counts(4, 4, 0));
    }

    void lockingLeavesTableAndMenuUsable()
    {
        DeviceForm form;
        form.setFixtureList(listRecords(3), 3);
        form.setLocked(true);
        QVERIFY(!child<QWidget>(form, "discoverDevicesBttn")->isEnabled());
        QVERIFY(!form.devicesCombo()->isEnabled());
        QVERIFY(!child<QWidget>(form, "removeFixtureDefinitionFromDevice")->isEnabled());
        QVERIFY(form.fixtureListView()->isEnabled());
        QVERIFY(child<QWidget>(form, "fixturesCounter")->isEnabled());

        selectRow(form.fixtureListView(), 1);
        QSignalSpy copy(&form, &DeviceForm::copyToComputerRequested);
        QSignalSpy remove(&form, &DeviceForm::deleteRequested);
        std::unique_ptr<QMenu> menu = form.buildContextMenu();
        QCOMPARE(menu->actions().size(), 5);
        entry(*menu, "Copy selected to computer")->trigger();
        QCOMPARE(copy.count(), 1);
        entry(*menu, "Delete selected")->trigger();
        QCOMPARE(remove.count(), 1);

        form.setLocked(false);
        for (const char* name : {"discoverDevicesBttn", "devicesComboBox", "removeFixtureDefinitionFromDevice"}) {
            QVERIFY2(child<QWidget>(form, name)->isEnabled(), name);
        }
    }

    void buttonsEmitTheirRequests()
    {
        DeviceForm form;
        form.setFixtureList(listRecords(3), 3);
        QSignalSpy discover(&form, &DeviceForm::discoverDevicesClicked);
        QSignalSpy remove(&form, &DeviceForm::deleteRequested);
        QSignalSpy copy(&form, &DeviceForm::copyToComputerRequested);

        QTest::mouseClick(child<QPushButton>(form, "discoverDevicesBttn"), Qt::LeftButton);
        QCOMPARE(discover.count(), 1);
        QCOMPARE(remove.count(), 0);

        // The main window decides what an empty selection means.
        QTest::mouseClick(child<QPushButton>(form, "removeFixtureDefinitionFromDevice"), Qt::LeftButton);
        QCOMPARE(remove.count(), 1);
        selectRow(form.fixtureListView(), 0);
        QTest::mouseClick(child<QPushButton>(form, "removeFixtureDefinitionFromDevice"), Qt::LeftButton);
        QCOMPARE(remove.count(), 2);
        QCOMPARE(discover.count(), 1);
        QCOMPARE(copy.count(), 0);
    }

    void contextMenuOffersOnlySelectAllWithoutSelection()
    {
        DeviceForm form;
        form.setFixtureList(listRecords(3), 3);
        std::unique_ptr<QMenu> menu = form.buildContextMenu();
        QCOMPARE(entryTexts(*menu), QStringList({"Select all"}));
        QAction* selectAll = menu->actions().at(0);
        QVERIFY(!selectAll->icon().isNull());
        QVERIFY(selectAll->shortcut().isEmpty());

        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        selectAll->trigger();
        QCOMPARE(recordNumbers(form.selectedRemoteDefinitions()).size(), 3);
        QCOMPARE(spy.last(), counts(3, 3, 3));
    }

    void contextMenuWithSelectionOffersEveryEntry()
    {
        DeviceForm form;
        form.setFixtureList(listRecords(3), 3);
        selectRow(form.fixtureListView(), 2);
        std::unique_ptr<QMenu> menu = form.buildContextMenu();
        QCOMPARE(entryTexts(*menu),
                 QStringList({"Select all", "Clear selection", "--", "Copy selected to computer", "Delete selected"}));
        for (QAction* action : menu->actions()) {
            QVERIFY(action->isEnabled());
            QVERIFY(action->shortcut().isEmpty());
            if (!action->isSeparator()) {
                QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
            }
        }

        QSignalSpy copy(&form, &DeviceForm::copyToComputerRequested);
        QSignalSpy remove(&form, &DeviceForm::deleteRequested);
        entry(*menu, "Copy selected to computer")->trigger();
        entry(*menu, "Delete selected")->trigger();
        QCOMPARE(copy.count(), 1);
        QCOMPARE(remove.count(), 1);

        entry(*menu, "Select all")->trigger();
        QCOMPARE(form.selectedRemoteDefinitions().size(), 3);
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        entry(*menu, "Clear selection")->trigger();
        QVERIFY(form.selectedRemoteDefinitions().isEmpty());
        QCOMPARE(spy.last(), counts(3, 3, 0));
    }

    void rightClickRunsTheMenu()
    {
        DeviceForm form;
        form.resize(360, 600);
        form.setFixtureList(listRecords(3), 3);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        selectRow(form.fixtureListView(), 1);

        QStringList shown;
        QTimer::singleShot(0, this, [&shown]() {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) {
                return;
            }
            shown = entryTexts(*menu);
            entry(*menu, "Copy selected to computer")->trigger();
            menu->close();
        });
        QSignalSpy copy(&form, &DeviceForm::copyToComputerRequested);
        Q_EMIT form.fixtureListView()->customContextMenuRequested(QPoint(10, 10));
        QCOMPARE(shown.size(), 5);
        QCOMPARE(copy.count(), 1);
    }

    void busyIndicatorSitsInTheCornerOutsideTheLayout()
    {
        DeviceForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        BusyIndicatorOverlay* overlay = form.busyIndicator();
        QCOMPARE(overlay->parentWidget(), &form);
        QCOMPARE(overlay->pos(), QPoint(0, 0));
        QCOMPARE(form.layout()->indexOf(overlay), -1);
        QVERIFY(!overlay->label()->isVisible());

        form.setBusy(true);
        QVERIFY(overlay->label()->isVisible());
        form.setBusy(false);
        QVERIFY(!overlay->label()->isVisible());
    }

    void headerTextsOnlyForHorizontalDisplayRole()
    {
        DeviceForm form;
        const QAbstractItemModel* shown = form.fixtureListView()->model();
        QCOMPARE(shown->headerData(0, Qt::Horizontal).toString(), "Fixture Name");
        QCOMPARE(shown->headerData(1, Qt::Horizontal).toString(), "#Channels");
        QCOMPARE(shown->headerData(2, Qt::Horizontal).toString(), "Manufacturer");
        QVERIFY(!form.model()->headerData(0, Qt::Vertical).isValid());
        QVERIFY(!shown->headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
        QVERIFY(form.fixtureListView()->verticalHeader()->isHidden());
    }

    void screenshot()
    {
        const QString folder = qEnvironmentVariable("QRD_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            QSKIP("QRD_SCREENSHOT_DIR is not set");
        }
        DeviceForm form;
        form.resize(360, 600);
        const QStringList names = {"Spot 575",
                                   "Wash 1200",
                                   "Beam 230",
                                   "Par 64 LED",
                                   "Strobe 3000",
                                   "Fog 900",
                                   "Scanner 250",
                                   "Blinder 2x",
                                   "Bar RGBW",
                                   "Profile 800"};
        const QStringList makers = {"Lumen Works", "ACME", "Stagecraft", "Northlight"};
        QByteArray records;
        for (int i = 0; i < 30; ++i) {
            records += listEntry(QStringLiteral("%1 #%2").arg(names.at(i % names.size())).arg(i / names.size() + 1),
                                 makers.at(i % makers.size()),
                                 1 + (i * 7) % 24,
                                 i);
        }
        form.setFixtureList(records, 30);
        form.devicesCombo()->addItem("QRD-780 (usb:ftdi/0)");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        selectRow(form.fixtureListView(), 1);
        selectRow(form.fixtureListView(), 4);
        // The counter's new texts reach the form's layout through two posted layout requests.
        QTest::qWait(100);
        const QString path = QDir(folder).filePath("device-form.png");
        QVERIFY(form.grab().save(path));
    }
};

QTEST_MAIN(TestDeviceForm)
#include "TestDeviceForm.moc"
