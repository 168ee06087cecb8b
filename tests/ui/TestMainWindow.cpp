#include "AppSettings.h"
#include "IsolatedSettings.h"
#include "KVFLArchive.h"
#include "KVPWorkerTestSupport.h"
#include "KVPWorkerThread.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "MainWindow.h"
#include "ScriptedPrompts.h"
#include "WidgetTestSupport.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace korvane::KVP;

namespace {

const QString Title = QStringLiteral("QRD-540B / QRD-780 Fixture Library Editor");

/// Writes a library of definitions with these names; returns its path.
QString writeLibrary(const QString& path, const QStringList& names)
{
    std::vector<std::unique_ptr<QKVFixtureDefinition>> definitions;
    QList<QKVFixtureDefinition*> list;
    for (const QString& name : names) {
        list.append(definitions.emplace_back(numberedDefinition(name, 1)).get());
    }
    KVFLArchive archive(path);
    archive.setDefinitionsToSave(list);
    return archive.save() ? path : QString();
}

/// A file of `size` bytes that is no library.
QString writeJunk(const QString& path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size) ? path : QString();
}

QStringList libraryNames(const MainWindow& window)
{
    QStringList names;
    for (const QKVFixtureDefinition* definition :
         window.findChild<LibraryForm*>("libraryForm")->listModel()->definitions()) {
        names << definition->name();
    }
    return names;
}

} // namespace

/// The window's library as a document: start-up, title, new, open, import, save, close.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        isolateSettings(m_configHome.path());
        // No device: the window's discovery ends at once.
        test::useSimDevices("");
    }

    void cleanupTestCase() { test::dropSimDevices(); }

    void init()
    {
        QFile::remove(QSettings(AppSettings::OrganizationName, AppSettings::ApplicationName).fileName());
        QFile::remove(QSettings(AppSettings::OrganizationName, AppSettings::SettingsName).fileName());
        m_prompts = std::make_shared<ScriptedPrompts>();
    }

    void startsWithTheArgumentElseTheLastLibrary()
    {
        const QString first = writeLibrary(m_folder.filePath("first.kvfl"), {"A", "B"});
        const QString last = writeLibrary(m_folder.filePath("last.kvfl"), {"C"});
        QSettings(AppSettings::OrganizationName, AppSettings::ApplicationName).setValue(AppSettings::LibraryKey, last);
        {
            MainWindow window(first, m_prompts);
            QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]first.kvfl"));
            QVERIFY(libraryNames(window) == QStringList({"A", "B"}) && !window.isWindowModified());
            QCOMPARE(window.settings()->value(AppSettings::WorkingDirKey).toString(), m_folder.path());
        }
        // Opening a library remembered it.
        QSettings settings(AppSettings::OrganizationName, AppSettings::SettingsName);
        QCOMPARE(settings.value(AppSettings::LibraryKey).toString(), first);
        // Without it, what was kept in the old place (the last library) is taken over.
        QFile::remove(settings.fileName());
        {
            // A start file that cannot be opened falls back to the last library, silently.
            MainWindow window(m_folder.filePath("missing.kvfl"), m_prompts);
            QVERIFY(window.currentFileName() == last && libraryNames(window) == QStringList {"C"});
        }
        QVERIFY(m_prompts->messages.isEmpty());
    }

    void largeStartFilesAreQuestioned_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("asked");
        QTest::newRow("exactly 5 MiB") << qint64(5242880) << false;
        QTest::newRow("one byte more") << qint64(5242881) << true;
    }

    void largeStartFilesAreQuestioned()
    {
        QFETCH(qint64, size);
        QFETCH(bool, asked);
        const QString junk = writeJunk(m_folder.filePath("big.kvfl"), size);
        m_prompts->buttons = {QMessageBox::No};
        MainWindow window(junk, m_prompts);
        QCOMPARE(m_prompts->messages.size(), int(asked));
        QVERIFY(!asked || m_prompts->messages.first().text.contains(junk));
        // Without a usable argument or setting: an unnamed library.
        QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]Unnamed"));
        QVERIFY(window.archive() && !window.isWindowModified());
    }

    void savingAsksForANameOnlyOnceAndKeepsItOnFailure()
    {
        const QString other = writeLibrary(m_folder.filePath("a.kvfl"), {"A"});
        MainWindow window(QString(), m_prompts);
        m_prompts->fileNames = {other, m_folder.filePath("named"), m_folder.filePath("no/such/folder/x.kvfl")};
        window.on_actionImport_Library_triggered();
        QVERIFY(window.isWindowModified() && libraryNames(window) == QStringList {"A"});
        QCOMPARE(window.statusBar()->currentMessage(), "1 definition imported");
        window.on_actionSave_Archive_triggered();
        QCOMPARE(m_prompts->files.last().kind, FilePrompt::Save);
        QCOMPARE(window.statusBar()->currentMessage(), "Saved named.kvfl");
        // The extension the choosers filter by is added to a bare name.
        const QString path = m_folder.filePath("named.kvfl");
        QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]named.kvfl"));
        QVERIFY(window.currentFileName() == path && !window.isWindowModified());

        // A named library is saved without a chooser.
        auto* library = window.findChild<LibraryForm*>("libraryForm");
        library->listModel()->definitionAt(0)->setName("B");
        Q_EMIT library->archiveModified();
        QVERIFY(window.isWindowModified());
        window.on_actionSave_Archive_triggered();
        QVERIFY(!window.isWindowModified() && m_prompts->files.size() == 2);
        KVFLArchive reread(path);
        QVERIFY(reread.load() && reread.definitions().at(0)->name() == "B");

        // A failed Save As says so, keeps the name and asks again (cancelled).
        window.windowModified();
        window.on_actionSave_archive_as_triggered();
        QCOMPARE(m_prompts->texts(), QStringList {"Failed to save the library."});
        QVERIFY(m_prompts->files.size() == 4 && window.archive()->fileName() == path);
        QVERIFY(window.windowTitle().endsWith("named.kvfl") && window.isWindowModified());
    }

    void failedOpenOrImportSaysSoAndChangesNothing()
    {
        const QString good = writeLibrary(m_folder.filePath("good.kvfl"), {"Good"});
        const QString junk = writeJunk(m_folder.filePath("junk.kvfl"), 100);
        MainWindow window(good, m_prompts);
        m_prompts->fileNames = {junk};
        window.on_action_Open_Archive_triggered();
        QCOMPARE(m_prompts->texts(), QStringList {"Failed to open the library."});
        QVERIFY(m_prompts->files.size() == 2 && m_prompts->files.first().directory == m_folder.path());
        // The second chooser was cancelled: the previous library stays.
        QCOMPARE(window.currentFileName(), good);
        // A failed import says so once.
        m_prompts->fileNames = {junk};
        window.on_actionImport_Library_triggered();
        QVERIFY(m_prompts->messages.size() == 2 && m_prompts->files.size() == 3 && !window.isWindowModified());
        QCOMPARE(libraryNames(window), QStringList {"Good"});
    }

    void unsupportedContentIsQuestioned()
    {
        MainWindow window(QString(), m_prompts);
        const QString flagged = QStringLiteral(QRD_TEST_DATA_DIR "/UnsupportedContent.kvfl");
        m_prompts->fileNames = {flagged, flagged};
        m_prompts->buttons = {QMessageBox::No, QMessageBox::Yes};
        window.on_action_Open_Archive_triggered();
        QVERIFY(m_prompts->messages.size() == 1 && window.currentFileName().isEmpty());
        window.on_action_Open_Archive_triggered();
        QVERIFY(window.currentFileName() == flagged && !window.isWindowModified());
        // A member that cannot be read is told; the first save over the file asks: declined, then agreed.
        const QString copy = m_folder.filePath("unreadable.kvfl");
        QVERIFY(QFile::copy(QRD_TEST_DATA_DIR "/UnreadableMember.kvfl", copy));
        m_prompts->fileNames = {copy};
        m_prompts->buttons = {QMessageBox::Ok, QMessageBox::No, QMessageBox::Yes};
        window.on_action_Open_Archive_triggered();
        window.on_actionSave_Archive_triggered();
        window.on_actionSave_Archive_triggered();
        window.on_actionSave_Archive_triggered();
        const QString told = "1 fixture definition in unreadable.kvfl could not be read.";
        const QString asked = told + "\nSaving will leave it out of the file. Continue anyway?";
        QCOMPARE(m_prompts->texts().mid(2), QStringList({told, asked, asked}));
    }

    void askingToSaveAndNotSavingKeepsTheLibrary()
    {
        const QString other = writeLibrary(m_folder.filePath("o.kvfl"), {"O"});
        MainWindow window(QString(), m_prompts);
        m_prompts->fileNames = {other};
        window.on_actionImport_Library_triggered();
        KVFLArchive* before = window.archive();

        // Cancel (or Escape), and Save with the Save As chooser cancelled: New must not drop the changes.
        m_prompts->buttons = {QMessageBox::Cancel, QMessageBox::Save};
        window.on_actionNew_Archive_triggered();
        window.on_actionNew_Archive_triggered();
        QVERIFY(window.archive() == before && window.isWindowModified() && m_prompts->files.size() == 2);
        QCOMPARE(m_prompts->messages.first().defaultButton, QMessageBox::Save);
        // The same for Open: no open chooser is shown at all.
        m_prompts->buttons = {QMessageBox::Save};
        const int choosers = m_prompts->files.size();
        window.on_action_Open_Archive_triggered();
        // The Save As chooser only.
        QVERIFY(m_prompts->files.size() == choosers + 1 && m_prompts->files.last().kind == FilePrompt::Save);
        QCOMPARE(window.archive(), before);

        m_prompts->buttons = {QMessageBox::Discard};
        window.on_actionNew_Archive_triggered();
        QVERIFY(window.archive() != before && libraryNames(window).isEmpty() && !window.isWindowModified());
    }

    void closingWaitsForTheWorkerAndAsksAboutChanges()
    {
        MainWindow window(QString(), m_prompts);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.windowModified();
        // Guarded: the allocator may hand the new worker the old one's address.
        const QPointer<KVPWorkerThread> firstWorker = window.workerThread();

        // Cancel at the save question: the window comes back with a fresh worker thread.
        m_prompts->buttons = {QMessageBox::Cancel};
        window.close();
        QVERIFY(window.isClosing() && window.findChild<QWidget*>("closingWidget")->isVisible());
        QVERIFY(!window.findChild<QWidget*>("widget_2")->isVisible() && !window.menuBar()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window.isClosing(), 5000);
        QCOMPARE(m_prompts->messages.size(), 1);
        QCOMPARE(m_prompts->messages.first().buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        QVERIFY(window.isVisible() && window.findChild<QWidget*>("widget_2")->isVisible());
        QVERIFY(window.menuBar()->isVisible() && !window.findChild<QWidget*>("closingWidget")->isVisible());
        QVERIFY(firstWorker.isNull() && window.workerThread()->isRunning() && window.isWindowModified());

        // Save, with the Save As chooser cancelled: nothing was saved, so the window stays.
        m_prompts->buttons = {QMessageBox::Save};
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isClosing(), 5000);
        QVERIFY(window.isVisible() && window.workerThread()->isRunning() && m_prompts->files.size() == 1);

        // Discard closes; the setting of an unnamed library is empty; size, splitters and columns come back.
        window.settings()->setValue(AppSettings::LibraryKey, QStringLiteral("stale"));
        window.resize(900, 600);
        auto* splitter = window.findChild<QSplitter*>("splitter");
        splitter->setSizes({100, 700});
        window.findChild<QTableView*>("fixtureDefinitionsTableView")->horizontalHeader()->resizeSection(2, 123);
        m_prompts->buttons = {QMessageBox::Discard};
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
        QCOMPARE(window.settings()->value(AppSettings::LibraryKey).toString(), QString());
        QCOMPARE(m_prompts->unexpected, 0);
        MainWindow next(QString(), m_prompts);
        QVERIFY(next.size() == QSize(900, 600)
                && next.findChild<QSplitter*>("splitter")->saveState() == splitter->saveState());
        QCOMPARE(next.findChild<QTableView*>("fixtureDefinitionsTableView")->horizontalHeader()->sectionSize(2), 123);
    }

    void undoRecentLibrariesAndDroppedFiles()
    {
        const QString first = writeLibrary(m_folder.filePath("first.kvfl"), {"Spot", "Wash"});
        const QString second = writeLibrary(m_folder.filePath("second.kvfl"), {"Par"});
        MainWindow window(first, m_prompts);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* form = window.findChild<LibraryForm*>("libraryForm");
        QAction* undo = window.findChild<QMenu*>("menuEdit")->actions().first();
        QVERIFY(!undo->isEnabled() && !window.isWindowModified());

        // A dropped library is imported as one step; undoing it clears the modified mark.
        auto* drop = new QMimeData;
        drop->setUrls({QUrl::fromLocalFile(second)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, drop, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, drop, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
        QCOMPARE(libraryNames(window), (QStringList {"Spot", "Wash", "Par"}));
        QVERIFY(window.isWindowModified() && undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("&Undo Import Library"));
        undo->trigger();
        QVERIFY(!window.isWindowModified() && libraryNames(window).size() == 2);
        delete drop;

        // Open Recent lists the libraries opened; a missing one is taken off with a word.
        QStringList recent = window.settings()->value(AppSettings::RecentLibrariesKey).toStringList();
        QCOMPARE(recent, QStringList {QFileInfo(first).absoluteFilePath()});
        recent.prepend(m_folder.filePath("gone.kvfl"));
        window.settings()->setValue(AppSettings::RecentLibrariesKey, recent);
        QMenu* menu = nullptr;
        for (QMenu* candidate : window.findChildren<QMenu*>()) {
            menu = candidate->title() == "Open &Recent" ? candidate : menu;
        }
        QVERIFY(menu);
        Q_EMIT menu->aboutToShow();
        QCOMPARE(menu->actions().size(), 4); // two libraries, a separator, Clear Menu
        menu->actions().first()->trigger();
        QVERIFY(m_prompts->texts().last().startsWith("The library ") && form->listModel()->rowCount() == 2);
        QCOMPARE(window.settings()->value(AppSettings::RecentLibrariesKey).toStringList().size(), 1);
    }

    void aboutRunsTheDialog()
    {
        MainWindow window(QString(), m_prompts);
        window.on_actionAbout_triggered();
        QCOMPARE(m_prompts->dialogs, QStringList {"AboutDialog"});
    }

private:
    QTemporaryDir m_configHome;
    QTemporaryDir m_folder;
    std::shared_ptr<ScriptedPrompts> m_prompts;
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
