#include "DeviceForm.h"

#include "BusyIndicatorOverlay.h"
#include "DeviceRecord.h"
#include "QKVRemoteFixtureDefinition.h"
#include "WidgetTestSupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace DeviceRecord;

namespace {

/// One device list entry as the device stores it: the header of its record, with its record number.
QByteArray listEntry(const QString& name, int channels, int recordNumber)
{
    QByteArray entry = buildRecord(*numberedDefinition(name, channels)).left(HeaderLength);
    entry[RecordNumberOffset] = char(recordNumber);
    return entry;
}

/// Entries named "0".."n-1", with record number i for entry i.
QByteArray listRecords(int count)
{
    QByteArray records;
    for (int i = 0; i < count; ++i) {
        records += listEntry(QString::number(i), 1 + i % 12, i);
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

using Counts = QList<QVariant>;

QString labels(const DeviceForm& form)
{
    return form.findChild<QLabel*>("visibleTotalLabel")->text() + form.findChild<QLabel*>("selectionLabel")->text();
}

QString enabledControls(const DeviceForm& form)
{
    QString result;
    const auto names = QStringLiteral("discoverDevicesBttn devicesComboBox removeFixtureDefinitionFromDevice "
                                      "fixtureListView fixturesCounter");
    for (const QString& name : names.split(u' ')) {
        result += form.findChild<QWidget*>(name)->isEnabled() ? 'E' : '-';
    }
    return result;
}

} // namespace

/// The device panel: its controls, list, counter and context menu.
class TestDeviceForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void counterFollowsListSelectionAndClearing()
    {
        DeviceForm form;
        // The view's model lives as long as the form; refills and clears must keep it consistent.
        QAbstractItemModelTester tester(form.fixtureListView()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        form.setFixtureList(listRecords(5), 5);
        selectRow(form.fixtureListView(), 1);
        selectRow(form.fixtureListView(), 3);
        QCOMPARE(spy.last(), (Counts {5, 5, 2}));
        QCOMPARE(labels(form), QStringLiteral("5 Fixture Definitions (2 Selected)"));
        form.clearFixtureList();
        QCOMPARE(spy.last(), (Counts {0, 0, 0}));
        QVERIFY(form.selectedRemoteDefinitions().isEmpty() && labels(form).isEmpty());
    }

    void onlyCompleteEntriesAreRead_data()
    {
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("shown");
        const QByteArray three = listRecords(3);
        QTest::newRow("fewer than the bytes hold") << three << 2 << QStringList {"0", "1"};
        QTest::newRow("payload short of whole entries") << three << 5 << QStringList {"0", "1", "2"};
        QTest::newRow("last entry cut") << three.left(3 * HeaderLength - 1) << 3 << QStringList {"0", "1"};
        QTest::newRow("less than one entry") << three.left(HeaderLength - 1) << 1 << QStringList();
        QTest::newRow("negative count") << three << -1 << QStringList();
    }

    void onlyCompleteEntriesAreRead()
    {
        QFETCH(QByteArray, records);
        QFETCH(int, count);
        QFETCH(QStringList, shown);
        // Exactly the bytes given, so that a read past their end shows up under the sanitizer.
        std::vector<char> block(records.cbegin(), records.cend());
        DeviceForm form;
        form.setFixtureList(listRecords(2), 2);
        selectRow(form.fixtureListView(), 0);
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        form.setFixtureList(QByteArray::fromRawData(block.data(), qsizetype(block.size())), count);
        QCOMPARE(columnTexts(form.fixtureListView()->model()), shown);
        QCOMPARE(spy.last(), (Counts {int(shown.size()), int(shown.size()), 0}));
    }

    void selectionNamesTheClickedRowsInOrderAfterSorting()
    {
        DeviceForm form;
        const QByteArray records = listEntry("Bravo", 2, 10) + listEntry("Delta", 4, 11) + listEntry("Alpha", 1, 12)
            + listEntry("Charlie", 3, 13);
        form.setFixtureList(records, 4);
        form.fixtureListView()->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(columnTexts(form.fixtureListView()->model()), QStringList({"Delta", "Charlie", "Bravo", "Alpha"}));

        for (int row : {2, 0, 3}) { // Bravo, Delta, Alpha
            selectRow(form.fixtureListView(), row);
        }
        QCOMPARE(recordNumbers(form.selectedRemoteDefinitions()), QList<int>({10, 11, 12}));

        // A refill keeps the chosen sort and clears the selection.
        form.setFixtureList(records, 4);
        QCOMPARE(columnTexts(form.fixtureListView()->model()), QStringList({"Delta", "Charlie", "Bravo", "Alpha"}));
        QVERIFY(form.selectedRemoteDefinitions().isEmpty());
    }

    void narrowPanelStretchesNameAndTellsCutTextsAndFreeSlots()
    {
        DeviceForm form;
        form.setFixtureList(listEntry("A rather long fixture", 2, 1) + listEntry("Dim", 1, 2), 2);
        form.resize(260, 300);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTableView* view = form.fixtureListView();
        const auto tipAt = [view](int row) {
            const QPoint pos = view->visualRect(view->model()->index(row, 0)).center();
            QHelpEvent event(QEvent::ToolTip, pos, view->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(view->viewport(), &event);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipAt(1), QString());
        QCOMPARE(tipAt(0), QStringLiteral("A rather long fixture"));
        // The name takes what the panel gives; #Channels keeps its narrow width.
        const int nameWidth = view->columnWidth(0), channelsWidth = view->columnWidth(1);
        form.resize(360, 300);
        QTRY_VERIFY(view->columnWidth(0) == nameWidth + 100 && view->columnWidth(1) == channelsWidth);
        form.setFreeSlots(5);
        form.setFixtureList(listEntry("Dim", 1, 2), 1);
        QVERIFY(form.freeSlots() == 6 && form.deviceInfoLabel()->text() == "6 free slots");
    }

    void lockingDisablesOnlyTheDeviceControlsWhichEmitTheirRequests()
    {
        DeviceForm form;
        form.setFixtureList(listRecords(3), 3);
        form.setLocked(true);
        QCOMPARE(enabledControls(form), QStringLiteral("---EE"));
        form.setLocked(false);
        QSignalSpy discover(&form, &DeviceForm::discoverDevicesClicked);
        QSignalSpy remove(&form, &DeviceForm::deleteRequested);
        QTest::mouseClick(form.findChild<QPushButton*>("discoverDevicesBttn"), Qt::LeftButton);
        // The main window decides what an empty selection means.
        QTest::mouseClick(form.findChild<QPushButton*>("removeFixtureDefinitionFromDevice"), Qt::LeftButton);
        QVERIFY(discover.count() == 1 && remove.count() == 1 && enabledControls(form) == "EEEEE");
        form.setBusy(true);
        QVERIFY(!form.busyIndicator()->label()->isHidden());
        form.setBusy(false);
        QVERIFY(form.busyIndicator()->label()->isHidden());
    }

    void contextMenuFollowsSelection()
    {
        DeviceForm form;
        form.setFixtureList(listRecords(3), 3);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        std::unique_ptr<QMenu> menu = form.buildContextMenu();
        QCOMPARE(menuEntries(*menu), QStringLiteral("Select all"));
        QSignalSpy spy(&form, &DeviceForm::signalUpdateCounters);
        triggerEntry(*menu, "Select all");
        QCOMPARE(spy.last(), (Counts {3, 3, 3}));

        // Locked, the menu still works: the main window refuses what it cannot do.
        form.setLocked(true);
        menu = form.buildContextMenu();
        QCOMPARE(menuEntries(*menu),
                 QStringLiteral("Select all|Clear selection|-|Copy selected to computer|Delete selected"));
        QSignalSpy copy(&form, &DeviceForm::copyToComputerRequested);
        QSignalSpy remove(&form, &DeviceForm::deleteRequested);
        triggerEntry(*menu, "Copy selected to computer");
        triggerEntry(*menu, "Delete selected");
        triggerEntry(*menu, "Clear selection");
        QVERIFY(copy.count() == 1 && remove.count() == 1 && form.selectedRemoteDefinitions().isEmpty());
        QCOMPARE(spy.last(), (Counts {3, 3, 0}));

        // A right click on the list runs the menu.
        selectRow(form.fixtureListView(), 1);
        QTimer::singleShot(0, this, []() {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                triggerEntry(*popup, "Copy selected to computer");
                popup->close();
            }
        });
        Q_EMIT form.fixtureListView()->customContextMenuRequested(QPoint(10, 10));
        QCOMPARE(copy.count(), 2);
    }
};

QTEST_MAIN(TestDeviceForm)
#include "TestDeviceForm.moc"
