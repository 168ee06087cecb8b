#include "ClearableLineEdit.h"
#include "KVFLArchive.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionEditForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <vector>

namespace {

struct Entry
{
    const char* name;
    const char* manufacturer;
    int channels;
};

using Definitions = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

Definitions makeDefinitions(const QList<Entry>& entries)
{
    Definitions definitions;
    for (const Entry& entry : entries) {
        auto definition = std::make_unique<QKVFixtureDefinition>();
        definition->setName(QString::fromUtf8(entry.name));
        definition->setManufacturer(QString::fromUtf8(entry.manufacturer));
        for (int i = 1; i <= entry.channels; ++i) {
            definition->appendChannel(makeChannel(i, QStringLiteral("Channel %1").arg(i)));
        }
        definitions.push_back(std::move(definition));
    }
    return definitions;
}

const QList<Entry> Eight {{"Wash 19", "Acme", 14},
                          {"Beam 5R", "Mark", 16},
                          {"Par 64", "Generic", 1},
                          {"Strobe 3000", "Flash", 2},
                          {"Spot 575", "Acme", 20},
                          {"Hazer 2", "Fog Works", 2},
                          {"Dimmer 6", "Generic", 6},
                          {"Scanner X", "Omar", 8}};

/// An archive loaded from the bytes it saved, as the main window hands one over.
std::unique_ptr<KVFLArchive> loadedArchive(const Definitions& definitions)
{
    QList<QKVFixtureDefinition*> list;
    for (const auto& definition : definitions) {
        list.append(definition.get());
    }
    KVFLArchive writer;
    writer.setDefinitionsToSave(list);
    QBuffer out;
    if (!out.open(QIODevice::WriteOnly) || !writer.save(&out)) {
        return nullptr;
    }
    auto archive = std::make_unique<KVFLArchive>();
    QBuffer in(&out.buffer());
    if (!in.open(QIODevice::ReadOnly) || !archive->load(&in)) {
        return nullptr;
    }
    return archive;
}

QStringList shownNames(const LibraryForm& form)
{
    QStringList names;
    QAbstractItemModel* model = form.tableView()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        names << model->index(row, 0).data().toString();
    }
    return names;
}

QStringList modelNames(const LibraryForm& form)
{
    QStringList names;
    for (const QKVFixtureDefinition* definition : form.listModel()->definitions()) {
        names << definition->name();
    }
    return names;
}

/// Selects the shown rows with these names, and only those (control-click style: added
/// one by one).
void selectNames(LibraryForm& form, const QStringList& names)
{
    form.clearSelection();
    QAbstractItemModel* model = form.tableView()->model();
    for (const QString& name : names) {
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 0).data().toString() == name) {
                form.tableView()->selectionModel()->select(model->index(row, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
    }
}

/// The menu's entries as text: "-" for a separator, a trailing "(off)" when disabled.
QStringList menuEntries(QMenu& menu)
{
    QStringList entries;
    for (QAction* action : menu.actions()) {
        entries << (action->isSeparator() ? QStringLiteral("-")
                                          : action->text() + (action->isEnabled() ? "" : " (off)"));
    }
    return entries;
}

QAction* menuAction(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

struct Fixture
{
    Fixture()
    {
        archive = loadedArchive(definitions);
        form.setArchive(archive.get());
    }
    Definitions definitions = makeDefinitions(Eight);
    std::unique_ptr<KVFLArchive> archive;
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
        f.form.slotTimer();
        f.form.slotTimer();
        f.form.slotTimer();
        QSignalSpy counters(&f.form, &LibraryForm::signalUpdateCounters);
        auto* field = f.form.findChild<ClearableLineEdit*>("filterLineEdit");
        QTest::keyClicks(field, QStringLiteral("acme"));
        QTest::keyClick(field, Qt::Key_Space);
        QCOMPARE(f.form.proxyModel()->filterRegularExpression().pattern(), QString());
        QCOMPARE(f.form.proxyModel()->acceptedRowCount(), 8);

        f.form.slotTimer();
        QCOMPARE(f.form.proxyModel()->filterRegularExpression().pattern(), QStringLiteral("acme\\ "));
        QCOMPARE(f.form.proxyModel()->acceptedRowCount(), 0);
        QCOMPARE(counters.size(), 0);
        f.form.slotTimer();
        QCOMPARE(counters.size(), 1);
        QCOMPARE(counters.at(0), (QList<QVariant> {0, 8, 0}));
        f.form.slotTimer();
        QCOMPARE(counters.size(), 1);

        // The clear button empties the field; the next tick shows every row again.
        QTest::keyClick(field, Qt::Key_Backspace);
        f.form.slotTimer();
        QCOMPARE(shownNames(f.form).size(), 2);
        QTest::mouseClick(field->clearButton(), Qt::LeftButton);
        f.form.slotTimer();
        QCOMPARE(f.form.proxyModel()->acceptedRowCount(), 8);
        f.form.slotTimer();
        QCOMPARE(f.form.findChild<QLabel*>("visibleTotalLabel")->text(), QStringLiteral("8 Fixture Definitions"));
    }

    void togglesChooseColumnsAndTheCompletionFollows()
    {
        Fixture f;
        f.form.slotTimer(); // the filter of the new library
        f.form.slotTimer(); // then its completion list
        QStringList both = f.form.completionModel()->stringList();
        QCOMPARE(both.size(), 8 + 6);
        QVERIFY(both.contains("Acme") && both.contains("Wash 19"));
        QVERIFY(std::is_sorted(both.cbegin(), both.cend()));

        auto* names = f.form.findChild<QAbstractButton*>("fixtureNameBttn");
        auto* manufacturers = f.form.findChild<QAbstractButton*>("manufacturerBttn");
        QTest::mouseClick(names, Qt::LeftButton);
        f.form.slotTimer();
        f.form.slotTimer();
        QCOMPARE(f.form.completionModel()->stringList(),
                 (QStringList {"Acme", "Flash", "Fog Works", "Generic", "Mark", "Omar"}));

        f.form.findChild<QLineEdit*>("filterLineEdit")->setText(QStringLiteral("ma"));
        f.form.slotTimer();
        QCOMPARE(shownNames(f.form), (QStringList {"Beam 5R", "Scanner X"}));

        QTest::mouseClick(manufacturers, Qt::LeftButton);
        f.form.slotTimer();
        f.form.slotTimer();
        QCOMPARE(f.form.completionModel()->stringList(), QStringList());
        QCOMPARE(f.form.proxyModel()->acceptedRowCount(), 8);
    }

    void removingSelectedRowsRemovesExactlyThose()
    {
        Fixture f;
        f.form.tableView()->sortByColumn(2, Qt::DescendingOrder);
        f.form.slotTimer();
        QSignalSpy modified(&f.form, &LibraryForm::archiveModified);
        // The editor shows one of the rows that go.
        selectNames(f.form, {"Par 64", "Wash 19", "Hazer 2"});
        f.form.editForm()->setFixtureDefinition(f.form.listModel()->definitionAt(0));
        QCOMPARE(f.form.selectedFixtureDefinitions().size(), 3);

        QTest::mouseClick(f.form.findChild<QAbstractButton*>("removeFixtureDefinition"), Qt::LeftButton);
        QCOMPARE(modelNames(f.form), (QStringList {"Beam 5R", "Strobe 3000", "Spot 575", "Dimmer 6", "Scanner X"}));
        QCOMPARE(modified.size(), 1);
        QVERIFY(!f.form.editForm()->fixtureDefinition());
        QVERIFY(!f.form.editForm()->isEnabled());
        for (int row = 0; row < f.form.listModel()->rowCount(); ++row) {
            QCOMPARE(f.form.listModel()->definitionAt(row)->listIndex().row(), row);
        }
        // Nothing selected: nothing happens and nothing is modified.
        f.form.deleteSelected();
        QCOMPARE(modified.size(), 1);
    }

    void lockedPanelKeepsItsDefinitions()
    {
        Fixture f;
        selectNames(f.form, {"Par 64"});
        f.form.setLocked(true);
        QVERIFY(!f.form.findChild<QAbstractButton*>("removeFixtureDefinition")->isEnabled());
        f.form.deleteSelected();
        QCOMPARE(f.form.listModel()->rowCount(), 8);
        f.form.setLocked(false);
        f.form.deleteSelected();
        QCOMPARE(f.form.listModel()->rowCount(), 7);
    }

    void duplicatingAppendsCopiesWithTheSameNames()
    {
        Fixture f;
        QSignalSpy modified(&f.form, &LibraryForm::archiveModified);
        selectNames(f.form, {"Spot 575", "Beam 5R"});
        f.form.duplicateFixtures_clicked();
        QCOMPARE(f.form.listModel()->rowCount(), 10);
        // In selection order.
        QCOMPARE(modelNames(f.form).mid(8), (QStringList {"Spot 575", "Beam 5R"}));
        QCOMPARE(modified.size(), 1);
        // Copies, each with its own channels.
        QKVFixtureDefinition* copy = f.form.listModel()->definitionAt(8);
        QKVFixtureDefinition* original = f.form.listModel()->definitionAt(4);
        QVERIFY(copy != original);
        QCOMPARE(describe(*copy), describe(*original));
        QVERIFY(copy->channels().at(0) != original->channels().at(0));
    }

    void contextMenuFollowsSelectionAndLock()
    {
        Fixture f;
        f.form.clearSelection();
        std::unique_ptr<QMenu> menu = f.form.buildContextMenu();
        QCOMPARE(menuEntries(*menu), (QStringList {"Select all", "-", "Add new fixture definition"}));

        selectNames(f.form, {"Par 64"});
        menu = f.form.buildContextMenu();
        QCOMPARE(menuEntries(*menu),
                 (QStringList {"Select all",
                               "Clear selection",
                               "-",
                               "Copy selected to device",
                               "Add new fixture definition",
                               "Duplicate selected fixture definitions",
                               "Delete selected fixture definitions"}));
        f.form.setLocked(true);
        menu = f.form.buildContextMenu();
        QCOMPARE(menuEntries(*menu).at(3), QStringLiteral("Copy selected to device (off)"));
        QCOMPARE(menuEntries(*menu).at(6), QStringLiteral("Delete selected fixture definitions (off)"));
        f.form.setLocked(false);

        QSignalSpy copy(&f.form, &LibraryForm::copyToDeviceRequested);
        menu = f.form.buildContextMenu();
        menuAction(*menu, "Copy selected to device")->trigger();
        QCOMPARE(copy.size(), 1);
        menuAction(*menu, "Select all")->trigger();
        QCOMPARE(f.form.selectedFixtureDefinitions().size(), 8);
        menuAction(*menu, "Clear selection")->trigger();
        QCOMPARE(f.form.selectedFixtureDefinitions().size(), 0);
        menuAction(*menu, "Add new fixture definition")->trigger();
        QCOMPARE(modelNames(f.form).last(), QStringLiteral("New Fixture"));
        QCOMPARE(f.form.editForm()->fixtureDefinition(), f.form.listModel()->definitionAt(8));
    }

    void openingALibraryOfOneMakesItCurrent()
    {
        const Definitions one = makeDefinitions({{"Only One", "Acme", 3}});
        std::unique_ptr<KVFLArchive> archive = loadedArchive(one);
        QVERIFY(archive);
        LibraryForm form;
        QSignalSpy modified(&form, &LibraryForm::archiveModified);
        QSignalSpy counters(&form, &LibraryForm::signalUpdateCounters);
        QVERIFY(form.setArchive(archive.get()));
        QCOMPARE(form.archive(), archive.get());
        QCOMPARE(modified.size(), 1);
        QCOMPARE(form.tableView()->currentIndex().row(), 0);
        QCOMPARE(form.editForm()->fixtureDefinition(), form.listModel()->definitionAt(0));
        QVERIFY(form.editForm()->fixtureDefinition() != archive->definitions().at(0));
        QVERIFY(form.editForm()->isEnabled());
        QCOMPARE(counters.last(), (QList<QVariant> {0, 0, 0}));
        // Filter, completion list, then counters: one kind of update per tick.
        form.slotTimer();
        form.slotTimer();
        QCOMPARE(counters.last(), (QList<QVariant> {0, 0, 0}));
        form.slotTimer();
        QCOMPARE(counters.last(), (QList<QVariant> {1, 1, 1}));

        form.clearArchive();
        QVERIFY(!form.archive());
        QVERIFY(!form.editForm()->fixtureDefinition());
        QCOMPARE(form.listModel()->rowCount(), 0);
        QCOMPARE(counters.last(), (QList<QVariant> {0, 0, 0}));
        // An empty library modifies nothing.
        KVFLArchive empty;
        modified.clear();
        QVERIFY(form.setArchive(&empty));
        QCOMPARE(modified.size(), 0);
    }

    void savingAndImporting()
    {
        LibraryForm form;
        QVERIFY(!form.saveArchive());
        QVERIFY(!form.importArchive(nullptr));

        Fixture f;
        QTemporaryDir folder;
        f.archive->setFileName(folder.filePath(QStringLiteral("library.kvfl")));
        // An edit through the editor reaches the file.
        f.form.listModel()->definitionAt(2)->setName(QStringLiteral("Par 64 Short"));
        QVERIFY(f.form.saveArchive());
        KVFLArchive reread(f.archive->fileName());
        QVERIFY(reread.load());
        QCOMPARE(describe(reread.definitions(), true), describe(f.form.listModel()->definitions(), true));

        QSignalSpy modified(&f.form, &LibraryForm::archiveModified);
        QVERIFY(f.form.importArchive(&reread));
        QCOMPARE(f.form.listModel()->rowCount(), 16);
        QCOMPARE(modified.size(), 1);
        QCOMPARE(f.form.editForm()->fixtureDefinition(), f.form.listModel()->definitionAt(15));
        QCOMPARE(f.form.archive(), f.archive.get());
    }

    void editsInTheEditorMarkTheLibraryModified()
    {
        Fixture f;
        QSignalSpy modified(&f.form, &LibraryForm::archiveModified);
        auto* name = f.form.editForm()->findChild<QLineEdit*>("fixtureName");
        QTest::keyClicks(name, QStringLiteral("X"));
        QCOMPARE(modified.size(), 1);
        QCOMPARE(f.form.listModel()->definitionAt(7)->name(), QStringLiteral("Scanner XX"));
        QCOMPARE(f.form.listModel()->index(7, 0).data().toString(), QStringLiteral("Scanner XX"));
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

    void screenshot()
    {
        const QString folder = qEnvironmentVariable("QRD_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            QSKIP("set QRD_SCREENSHOT_DIR to save a picture of the panel");
        }
        QList<Entry> entries = Eight;
        const char* kinds[] = {"LED Par", "Moving Head", "Scanner", "Dimmer Pack", "Strobe", "Hazer"};
        const char* makers[] = {"Generic", "Acme", "Stagecraft", "Brightline"};
        std::vector<QByteArray> names;
        for (int i = 0; i < 30; ++i) {
            names.push_back(QByteArray(kinds[i % 6]) + ' ' + QByteArray::number(100 + 7 * i));
        }
        for (int i = 0; i < 30; ++i) {
            entries.append({names[i].constData(), makers[i % 4], 1 + (i * 5) % 45});
        }
        const Definitions definitions = makeDefinitions(entries);
        std::unique_ptr<KVFLArchive> archive = loadedArchive(definitions);
        LibraryForm form;
        form.resize(640, 760);
        form.show();
        form.setArchive(archive.get());
        selectNames(form, {"Spot 575", "Moving Head 107"});
        form.slotTimer();
        form.slotTimer();
        form.slotTimer();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.grab().save(folder + QStringLiteral("/library-form.png")));
    }
};

QTEST_MAIN(TestLibraryForm)
#include "TestLibraryForm.moc"
