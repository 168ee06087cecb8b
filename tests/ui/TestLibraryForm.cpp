#include "ClearableLineEdit.h"
#include "KVFLArchive.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionEditForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "TwoColumnsSortFilterProxyModel.h"
#include "WidgetTestSupport.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QLabel>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <vector>

namespace {

/// An archive loaded from the bytes it saved, as the main window hands one over, of
/// definitions "name/manufacturer/channels;..." with channels "Channel 1".."Channel n".
std::unique_ptr<KVFLArchive> loadedArchive(const QString& entries)
{
    std::vector<std::unique_ptr<QKVFixtureDefinition>> definitions;
    QList<QKVFixtureDefinition*> list;
    for (const QString& entry : entries.split(u';')) {
        const QStringList fields = entry.split(u'/');
        list.append(
            definitions.emplace_back(numberedDefinition(fields.at(0), fields.at(2).toInt(), fields.at(1))).get());
    }
    KVFLArchive writer;
    writer.setDefinitionsToSave(list);
    QBuffer out;
    auto archive = std::make_unique<KVFLArchive>();
    QBuffer in(&out.buffer());
    const bool ok
        = out.open(QIODevice::WriteOnly) && writer.save(&out) && in.open(QIODevice::ReadOnly) && archive->load(&in);
    return ok ? std::move(archive) : nullptr;
}

/// Selects the shown rows with these names, one by one as control-clicks do.
void selectNames(LibraryForm& form, const QStringList& names)
{
    form.clearSelection();
    for (const QString& name : names) {
        selectRow(form.tableView(), int(columnTexts(form.tableView()->model()).indexOf(name)));
    }
}

struct Fixture
{
    Fixture() { form.setArchive(archive.get()); }
    void ticks(int n)
    {
        while (n-- > 0) {
            form.slotTimer();
        }
    }
    QKVFixtureDefinition* current() const
    {
        return form.listModel()->definitionAt(form.proxyModel()->mapToSource(form.tableView()->currentIndex()).row());
    }
    std::unique_ptr<KVFLArchive> archive
        = loadedArchive("Wash 19/Acme/14;Beam 5R/Mark/16;Par 64/Generic/1;Strobe 3000/Flash/2;Spot 575/Acme/20;"
                        "Hazer 2/Fog Works/2;Dimmer 6/Generic/6;Scanner X/Omar/8");
    LibraryForm form;
};

} // namespace

/// The library panel: deferred updates, the table's edits, the context menu, libraries.
class TestLibraryForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typingCollapsesIntoOneFilterUpdateThenOneCounterUpdate()
    {
        Fixture f;
        QAbstractItemModelTester tester(f.form.proxyModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        f.ticks(3);
        QSignalSpy counters(&f.form, &LibraryForm::signalUpdateCounters);
        auto* field = f.form.findChild<ClearableLineEdit*>("filterLineEdit");
        QTest::keyClicks(field, QStringLiteral("acme "));
        QCOMPARE(f.form.proxyModel()->acceptedRowCount(), 8);
        f.ticks(1);
        QCOMPARE(f.form.proxyModel()->filterRegularExpression().pattern(), QStringLiteral("acme\\ "));
        QVERIFY(f.form.proxyModel()->acceptedRowCount() == 0 && counters.isEmpty());
        f.ticks(2);
        QCOMPARE(counters, (QList<QList<QVariant>> {{0, 8, 0}}));

        // The clear button empties the field; the next tick shows every row again.
        QTest::keyClick(field, Qt::Key_Backspace);
        f.ticks(1);
        QCOMPARE(columnTexts(f.form.tableView()->model()).size(), 2);
        QTest::mouseClick(field->clearButton(), Qt::LeftButton);
        f.ticks(2);
        QCOMPARE(f.form.findChild<QLabel*>("visibleTotalLabel")->text(), QStringLiteral("8 Fixture Definitions"));
    }

    void columnTogglesRefilterTheTypedTextAndTheCompletionFollows()
    {
        Fixture f;
        f.ticks(2); // the filter of the new library, then its completion list
        const QStringList both = f.form.completionModel()->stringList();
        QVERIFY(both.size() == 8 + 6 && both.contains("Acme") && both.contains("Wash 19")
                && std::is_sorted(both.cbegin(), both.cend()));

        f.form.findChild<QLineEdit*>("filterLineEdit")->setText(QStringLiteral("ar"));
        f.ticks(1);
        QCOMPARE(columnTexts(f.form.tableView()->model()), (QStringList {"Beam 5R", "Par 64", "Scanner X"}));
        QTest::mouseClick(f.form.findChild<QAbstractButton*>("fixtureNameBttn"), Qt::LeftButton);
        f.ticks(1);
        QCOMPARE(columnTexts(f.form.tableView()->model()), (QStringList {"Beam 5R", "Scanner X"}));
        f.ticks(1);
        QCOMPARE(f.form.completionModel()->stringList(),
                 (QStringList {"Acme", "Flash", "Fog Works", "Generic", "Mark", "Omar"}));

        QTest::mouseClick(f.form.findChild<QAbstractButton*>("manufacturerBttn"), Qt::LeftButton);
        f.ticks(2);
        QVERIFY(f.form.completionModel()->stringList().isEmpty() && f.form.proxyModel()->acceptedRowCount() == 8);
    }

    void removingSelectedRowsRemovesExactlyThose()
    {
        Fixture f;
        f.form.tableView()->sortByColumn(2, Qt::DescendingOrder);
        f.ticks(1);
        QSignalSpy modified(&f.form, &LibraryForm::archiveModified);
        // The editor shows one of the rows that go.
        selectNames(f.form, {"Par 64", "Wash 19", "Hazer 2"});
        f.form.editForm()->setFixtureDefinition(f.form.listModel()->definitionAt(0));
        QTest::mouseClick(f.form.findChild<QAbstractButton*>("removeFixtureDefinition"), Qt::LeftButton);
        QCOMPARE(columnTexts(f.form.listModel()),
                 (QStringList {"Beam 5R", "Strobe 3000", "Spot 575", "Dimmer 6", "Scanner X"}));
        QVERIFY(modified.size() == 1 && f.current() && f.form.editForm()->fixtureDefinition() == f.current());
        f.form.deleteSelected(); // nothing selected: nothing modified
        QCOMPARE(modified.size(), 1);
        // A single row, the last of its run, goes alone.
        selectNames(f.form, {"Beam 5R"});
        f.form.deleteSelected();
        QCOMPARE(columnTexts(f.form.listModel()), (QStringList {"Strobe 3000", "Spot 575", "Dimmer 6", "Scanner X"}));
    }

    void contextMenuFollowsSelectionAndLockAndItsEntriesWork()
    {
        Fixture f;
        f.form.clearSelection();
        std::unique_ptr<QMenu> menu = f.form.buildContextMenu();
        QCOMPARE(menuEntries(*menu), "Select all|-|Add new fixture definition");
        selectNames(f.form, {"Par 64"});
        f.form.setLocked(true);
        menu = f.form.buildContextMenu();
        QCOMPARE(menuEntries(*menu),
                 "Select all|Clear selection|-|Copy selected to device (off)|Add new fixture definition|"
                 "Duplicate selected fixture definitions|Delete selected fixture definitions (off)");
        // A locked panel keeps its definitions.
        f.form.deleteSelected();
        QCOMPARE(f.form.listModel()->rowCount(), 8);
        f.form.setLocked(false);
        QSignalSpy copy(&f.form, &LibraryForm::copyToDeviceRequested);
        menu = f.form.buildContextMenu();
        triggerEntry(*menu, "Copy selected to device");
        triggerEntry(*menu, "Select all");
        QVERIFY(copy.size() == 1 && f.form.selectedFixtureDefinitions().size() == 8);
        triggerEntry(*menu, "Clear selection");
        QCOMPARE(f.form.selectedFixtureDefinitions().size(), 0);
        for (const char* button : {"duplicateFixtureDefinition", "removeFixtureDefinition"}) {
            QVERIFY(!f.form.findChild<QAbstractButton*>(button)->isEnabled());
        }
        triggerEntry(*menu, "Add new fixture definition");
        QCOMPARE(columnTexts(f.form.listModel()).last(), QStringLiteral("New Fixture"));
        QCOMPARE(f.form.editForm()->fixtureDefinition(), f.form.listModel()->definitionAt(8));

        // Duplicates are selected copies "... (copy)", each with its own channels, in selection order.
        QSignalSpy modified(&f.form, &LibraryForm::archiveModified);
        selectNames(f.form, {"Spot 575", "Beam 5R"});
        triggerEntry(*f.form.buildContextMenu(), "Duplicate selected fixture definitions");
        QCOMPARE(columnTexts(f.form.listModel()).mid(9), (QStringList {"Spot 575 (copy)", "Beam 5R (copy)"}));
        QCOMPARE(modified.size(), 1);
        QKVFixtureDefinition* duplicate = f.form.listModel()->definitionAt(9);
        QKVFixtureDefinition* original = f.form.listModel()->definitionAt(4);
        QVERIFY(f.form.selectedFixtureDefinitions().contains(duplicate));
        QCOMPARE(describe(*duplicate, true), describe(*original, true).replace("Spot 575", "Spot 575 (copy)"));
        QVERIFY(duplicate != original && duplicate->channels().at(0) != original->channels().at(0));
    }

    void keysTabAndFilterKeepTheEditorOnTheCurrentRow()
    {
        Fixture f;
        f.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        // A library opens on the first row of its sorted list.
        QVERIFY(f.current()->name() == "Beam 5R" && f.form.editForm()->fixtureDefinition() == f.current());
        auto* filter = f.form.findChild<QLineEdit*>("filterLineEdit");
        auto filterBy = [&](const char* text) { filter->setText(QString::fromUtf8(text)), f.ticks(1); };
        // A filter that hides the edited row moves the editor to the first shown one, or empties it.
        filterBy("Generic");
        QVERIFY(f.form.editForm()->fixtureDefinition() == f.current() && f.current()->name() == "Dimmer 6");
        filterBy("zz");
        QVERIFY(!f.form.editForm()->fixtureDefinition() && !f.form.editForm()->isEnabled());
        filterBy("Par");
        QVERIFY(f.form.editForm()->fixtureDefinition() == f.current() && f.current()->name() == "Par 64");
        // Insert clears such a filter and gives the new definition's name to the keyboard.
        QTest::keyClick(&f.form, Qt::Key_Insert);
        auto* name = f.form.editForm()->findChild<QLineEdit*>("fixtureName");
        QVERIFY(filter->text().isEmpty() && f.form.editForm()->fixtureDefinition() == f.current());
        QVERIFY(name->hasFocus() && name->selectedText() == "New Fixture");
        // A name the filter hides keeps its editor while the user types it.
        filterBy("New");
        QTest::keyClicks(name, QStringLiteral("Wash"));
        QVERIFY(f.form.editForm()->fixtureDefinition() && f.form.editForm()->fixtureDefinition()->name() == "Wash");
        QTest::keyClick(name, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(filter, Qt::Key_Escape);
        f.ticks(1);
        QTest::keyClick(filter, Qt::Key_Tab);
        QVERIFY(f.form.tableView()->hasFocus() && f.current()->name() == "Beam 5R");
        QTest::keyClick(f.form.tableView(), Qt::Key_Delete);
        QCOMPARE(f.form.listModel()->rowCount(), 8);
        QTest::keyClick(f.form.tableView(), Qt::Key_Tab);
        QVERIFY(name->hasFocus() && f.form.editForm()->fixtureDefinition() == f.current());
        selectNames(f.form, {"Par 64"});
        QTest::mouseClick(f.form.findChild<QAbstractButton*>("duplicateFixtureDefinition"), Qt::LeftButton);
        QCOMPARE(f.form.editForm()->fixtureDefinition()->name(), QStringLiteral("Par 64 (copy)"));
    }

    void openingALibraryOfOneMakesItCurrent()
    {
        std::unique_ptr<KVFLArchive> archive = loadedArchive("Only One/Acme/3");
        QVERIFY(archive);
        LibraryForm form;
        QSignalSpy modified(&form, &LibraryForm::archiveModified);
        QSignalSpy counters(&form, &LibraryForm::signalUpdateCounters);
        QVERIFY(form.setArchive(archive.get()) && form.archive() == archive.get());
        QVERIFY(modified.size() == 1 && form.tableView()->currentIndex().row() == 0);
        // The panel took the archive's definition over: the library is held once.
        QCOMPARE(form.editForm()->fixtureDefinition(), form.listModel()->definitionAt(0));
        QVERIFY(archive->definitions().isEmpty());
        // Filter, completion list, then counters: one kind of update per tick.
        for (int tick = 0; tick < 3; ++tick) {
            QCOMPARE(counters.last(), (QList<QVariant> {0, 0, 0}));
            form.slotTimer();
        }
        QCOMPARE(counters.last(), (QList<QVariant> {1, 1, 1}));

        form.clearArchive();
        QVERIFY(!form.archive() && !form.editForm()->fixtureDefinition() && form.listModel()->rowCount() == 0);
        QCOMPARE(counters.last(), (QList<QVariant> {0, 0, 0}));
        KVFLArchive empty; // modifies nothing
        QVERIFY(form.setArchive(&empty) && modified.size() == 1);
    }

    void savingAndImporting()
    {
        LibraryForm form;
        QVERIFY(!form.saveArchive());
        QVERIFY(!form.importArchive(nullptr));

        Fixture f;
        QTemporaryDir folder;
        f.archive->setFileName(folder.filePath(QStringLiteral("library.kvfl")));
        // An edit in the editor marks the library modified and reaches the file.
        QSignalSpy modified(&f.form, &LibraryForm::archiveModified);
        QTest::keyClicks(f.form.editForm()->findChild<QLineEdit*>("fixtureName"), QStringLiteral("X"));
        QVERIFY(modified.size() == 1 && f.form.listModel()->index(1, 0).data() == "Beam 5RX");
        KVFLArchive reread(f.archive->fileName());
        QVERIFY(f.form.saveArchive() && reread.load());
        QCOMPARE(describe(reread.definitions(), true), describe(f.form.listModel()->definitions(), true));

        QVERIFY(f.form.importArchive(&reread) && f.form.listModel()->rowCount() == 16 && modified.size() == 2);
        QCOMPARE(f.form.editForm()->fixtureDefinition(), f.form.listModel()->definitionAt(15));
        QCOMPARE(f.form.archive(), f.archive.get());
    }

    void timerAdaptsButNeverRunsFasterThanTheFloor()
    {
        LibraryForm form;
        QCOMPARE(form.tickInterval(), int(LibraryForm::InitialTickMs));
        for (int tick = 0; tick < LibraryForm::TicksPerMeasurement + 1; ++tick) {
            form.slotTimer();
        }
        QVERIFY(form.tickInterval() >= LibraryForm::MinimumTickMs);
    }
};

QTEST_MAIN(TestLibraryForm)
#include "TestLibraryForm.moc"
