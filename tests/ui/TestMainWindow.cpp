#include "IsolatedSettings.h"
#include "KVPWorkerTestSupport.h"
#include "AppSettings.h"
#include "KVFLArchive.h"
#include "KVPWorkerThread.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "MainWindow.h"
#include "QKVFixtureDefinition.h"
#include "ScriptedPrompts.h"
#include "TestSupport.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

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
        auto definition = std::make_unique<QKVFixtureDefinition>();
        definition->setName(name);
        definition->setManufacturer(QStringLiteral("Generic"));
        definition->appendChannel(makeChannel(1, QStringLiteral("Dimmer")));
        list.append(definition.get());
        definitions.push_back(std::move(definition));
    }
    KVFLArchive archive(path);
    archive.setDefinitionsToSave(list);
    return archive.save() ? path : QString();
}

/// A file of `size` bytes that is no library.
QString writeJunk(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size)) {
        return QString();
    }
    return path;
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
        QVERIFY(m_configHome.isValid());
        isolateSettings(m_configHome.path());
        // No device: the window's discovery ends at once.
        test::useSimDevices("");
    }

    void cleanupTestCase() { test::dropSimDevices(); }

    void init()
    {
        QVERIFY(m_folder.isValid());
        QSettings settings(AppSettings::OrganizationName, AppSettings::ApplicationName);
        settings.clear();
        m_prompts = std::make_shared<ScriptedPrompts>();
    }

    void startsUnnamedWithoutArgumentOrSetting()
    {
        MainWindow window(QString(), m_prompts);
        QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]Unnamed"));
        QVERIFY(!window.isWindowModified());
        QVERIFY(window.archive());
        QVERIFY(m_prompts->messages.isEmpty());
        QCOMPARE(window.settings()->value(AppSettings::LibraryKey).toString(), QString());
    }

    void startsWithTheArgumentElseTheLastLibrary()
    {
        const QString first = writeLibrary(m_folder.filePath("first.kvfl"), {"A", "B"});
        const QString last = writeLibrary(m_folder.filePath("last.kvfl"), {"C"});
        QSettings(AppSettings::OrganizationName, AppSettings::ApplicationName).setValue(AppSettings::LibraryKey, last);
        {
            MainWindow window(first, m_prompts);
            QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]first.kvfl"));
            QCOMPARE(libraryNames(window), (QStringList {"A", "B"}));
            QVERIFY(!window.isWindowModified());
            QCOMPARE(window.settings()->value(AppSettings::WorkingDirKey).toString(), m_folder.path());
        }
        // Opening a library remembered it.
        QSettings settings(AppSettings::OrganizationName, AppSettings::ApplicationName);
        QCOMPARE(settings.value(AppSettings::LibraryKey).toString(), first);
        settings.setValue(AppSettings::LibraryKey, last);
        {
            // A start file that cannot be opened falls back to the last library, silently.
            MainWindow window(m_folder.filePath("missing.kvfl"), m_prompts);
            QCOMPARE(window.currentFileName(), last);
            QCOMPARE(libraryNames(window), QStringList {"C"});
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
        QVERIFY(!junk.isEmpty());
        m_prompts->buttons = {QMessageBox::No};
        MainWindow window(junk, m_prompts);
        if (asked) {
            QCOMPARE(m_prompts->messages.size(), 1);
            const MessagePrompt& question = m_prompts->messages.first();
            QCOMPARE(
                question.text,
                QStringLiteral("The file %1 seems to be rather large.\nDo you want to continue anyway?").arg(junk));
            QCOMPARE(question.title, Title);
            QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
        } else {
            QVERIFY(m_prompts->messages.isEmpty());
        }
        QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]Unnamed"));
    }

    void titleShowsTheModifiedMarker()
    {
        const QString path = writeLibrary(m_folder.filePath("a.kvfl"), {"A"});
        MainWindow window(path, m_prompts);
        QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]a.kvfl"));
        window.findChild<LibraryForm*>("libraryForm")->listModel()->definitionAt(0)->setName("B");
        Q_EMIT window.findChild<LibraryForm*>("libraryForm")->archiveModified();
        QVERIFY(window.isWindowModified());
        window.on_actionSave_Archive_triggered();
        QVERIFY(!window.isWindowModified());
        QVERIFY(m_prompts->files.isEmpty());
        KVFLArchive reread(path);
        QVERIFY(reread.load());
        QCOMPARE(reread.definitions().at(0)->name(), QStringLiteral("B"));
    }

    void failedOpenSaysSoAndAsksAgain()
    {
        const QString good = writeLibrary(m_folder.filePath("good.kvfl"), {"Good"});
        const QString junk = writeJunk(m_folder.filePath("junk.kvfl"), 100);
        MainWindow window(good, m_prompts);
        m_prompts->fileNames = {junk};
        window.on_action_Open_Archive_triggered();
        QCOMPARE(m_prompts->texts(), QStringList {"Failed to open the library."});
        QCOMPARE(m_prompts->messages.first().buttons, QMessageBox::Ok);
        QCOMPARE(m_prompts->files.size(), 2);
        const FilePrompt& chooser = m_prompts->files.first();
        QCOMPARE(chooser.kind, FilePrompt::Open);
        QCOMPARE(chooser.caption, QStringLiteral("Open Fixture Definition Library"));
        QCOMPARE(chooser.filter, QStringLiteral("Korvane Fixture Libraries (*.kvfl)"));
        QCOMPARE(chooser.directory, m_folder.path());
        // The second chooser was cancelled: the previous library stays.
        QCOMPARE(window.currentFileName(), good);
        QCOMPARE(libraryNames(window), QStringList {"Good"});
    }

    void unsupportedContentIsQuestioned()
    {
        MainWindow window(QString(), m_prompts);
        const QString flagged = QStringLiteral(QRD_TEST_DATA_DIR "/UnsupportedContent.kvfl");
        m_prompts->fileNames = {flagged, flagged};
        m_prompts->buttons = {QMessageBox::No, QMessageBox::Yes};
        window.on_action_Open_Archive_triggered();
        QCOMPARE(m_prompts->texts(),
                 QStringList {"The file contains information not supported by this software version.\n"
                              "Data will be lost when storing this file. Continue anyway?"});
        QCOMPARE(window.currentFileName(), QString());
        window.on_action_Open_Archive_triggered();
        QCOMPARE(window.currentFileName(), flagged);
        QVERIFY(!window.isWindowModified());
    }

    void savingAnUnnamedLibraryAsksForAName()
    {
        MainWindow window(QString(), m_prompts);
        const QString path = m_folder.filePath("named");
        m_prompts->fileNames = {path};
        window.on_actionSave_Archive_triggered();
        QCOMPARE(m_prompts->files.size(), 1);
        QCOMPARE(m_prompts->files.first().kind, FilePrompt::Save);
        QCOMPARE(m_prompts->files.first().caption, QStringLiteral("Save library as"));
        QCOMPARE(m_prompts->files.first().filter, QStringLiteral("Korvane Fixture Definition Library (*.kvfl)"));
        // The extension the choosers filter by is added to a bare name.
        QCOMPARE(window.currentFileName(), path + QStringLiteral(".kvfl"));
        QVERIFY(QFile::exists(path + QStringLiteral(".kvfl")));
        QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]named.kvfl"));
    }

    void failedSaveAsKeepsTheNameAndAsksAgain()
    {
        const QString path = writeLibrary(m_folder.filePath("kept.kvfl"), {"A"});
        MainWindow window(path, m_prompts);
        window.windowModified();
        m_prompts->fileNames = {m_folder.filePath("no/such/folder/x.kvfl")};
        window.on_actionSave_archive_as_triggered();
        QCOMPARE(m_prompts->texts(), QStringList {"Failed to save the library."});
        QCOMPARE(m_prompts->files.size(), 2);
        QCOMPARE(window.windowTitle(), Title + QStringLiteral(" - [*]kept.kvfl"));
        QCOMPARE(window.archive()->fileName(), path);
        QVERIFY(window.isWindowModified());
    }

    void importAddsAndMarksModified()
    {
        const QString other = writeLibrary(m_folder.filePath("other.kvfl"), {"X", "Y"});
        const QString junk = writeJunk(m_folder.filePath("junk2.kvfl"), 10);
        MainWindow window(QString(), m_prompts);
        m_prompts->fileNames = {other, junk};
        window.on_actionImport_Library_triggered();
        QCOMPARE(libraryNames(window), (QStringList {"X", "Y"}));
        QVERIFY(window.isWindowModified());
        QCOMPARE(window.currentFileName(), QString());
        // A failed import says so once and changes nothing.
        window.on_actionImport_Library_triggered();
        QCOMPARE(m_prompts->texts(), QStringList {"Failed to open the library."});
        QCOMPARE(m_prompts->files.size(), 2);
        QCOMPARE(libraryNames(window), (QStringList {"X", "Y"}));
    }

    void askingToSaveAndNotSavingKeepsTheLibrary()
    {
        const QString other = writeLibrary(m_folder.filePath("o.kvfl"), {"O"});
        MainWindow window(QString(), m_prompts);
        m_prompts->fileNames = {other};
        window.on_actionImport_Library_triggered();
        KVFLArchive* before = window.archive();

        // Yes to saving, then the Save As chooser cancelled: New must not drop the changes.
        m_prompts->buttons = {QMessageBox::Yes};
        window.on_actionNew_Archive_triggered();
        QCOMPARE(window.archive(), before);
        QVERIFY(window.isWindowModified());
        QCOMPARE(libraryNames(window), QStringList {"O"});
        // The same for Open: no open chooser is shown at all.
        m_prompts->buttons = {QMessageBox::Yes};
        const int choosers = m_prompts->files.size();
        window.on_action_Open_Archive_triggered();
        QCOMPARE(m_prompts->files.size(), choosers + 1); // the Save As chooser only
        QCOMPARE(m_prompts->files.last().kind, FilePrompt::Save);
        QCOMPARE(window.archive(), before);
        QCOMPARE(m_prompts->texts().last(),
                 QStringLiteral("The current library has been modified\nDo you want to save the changes?"));

        // No discards, as before.
        m_prompts->buttons = {QMessageBox::No};
        window.on_actionNew_Archive_triggered();
        QVERIFY(window.archive() != before);
        QVERIFY(libraryNames(window).isEmpty());
        QVERIFY(!window.isWindowModified());
    }

    void closingWaitsForTheWorkerAndAsksAboutChanges()
    {
        MainWindow window(QString(), m_prompts);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.windowModified();
        KVPWorkerThread* firstWorker = window.workerThread();

        // Cancel at the save question: the window comes back with a fresh worker thread.
        m_prompts->buttons = {QMessageBox::Cancel};
        window.close();
        QVERIFY(window.isClosing());
        QVERIFY(window.findChild<QWidget*>("closingWidget")->isVisible());
        QCOMPARE(window.findChild<QLabel*>("label")->text(), QStringLiteral("Closing application"));
        QVERIFY(!window.findChild<QWidget*>("widget_2")->isVisible());
        QVERIFY(!window.menuBar()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window.isClosing(), 5000);
        QCOMPARE(m_prompts->messages.size(), 1);
        const MessagePrompt& question = m_prompts->messages.first();
        QCOMPARE(question.text, QStringLiteral("The library has been modified."));
        QCOMPARE(question.informativeText, QStringLiteral("Do you want to save your changes?"));
        QCOMPARE(question.buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        QCOMPARE(question.defaultButton, QMessageBox::Save);
        QCOMPARE(m_prompts->parents.first(), nullptr);
        QVERIFY(window.isVisible());
        QVERIFY(window.findChild<QWidget*>("widget_2")->isVisible());
        QVERIFY(window.menuBar()->isVisible());
        QVERIFY(!window.findChild<QWidget*>("closingWidget")->isVisible());
        QVERIFY(window.workerThread() != firstWorker);
        QVERIFY(window.workerThread()->isRunning());
        QVERIFY(window.isWindowModified());

        // Save, with the Save As chooser cancelled: nothing was saved, so the window stays.
        m_prompts->buttons = {QMessageBox::Save};
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isClosing(), 5000);
        QVERIFY(window.isVisible());
        QVERIFY(window.workerThread()->isRunning());
        QCOMPARE(m_prompts->files.size(), 1);

        // Discard closes; the setting of an unnamed library is empty.
        m_prompts->buttons = {QMessageBox::Discard};
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
        QCOMPARE(window.settings()->value(AppSettings::LibraryKey).toString(), QString());
        QCOMPARE(m_prompts->unexpected, 0);
    }

    void closingANamedLibraryRemembersIt()
    {
        const QString path = writeLibrary(m_folder.filePath("remembered.kvfl"), {"R"});
        {
            MainWindow window(path, m_prompts);
            window.show();
            window.close();
            QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
            QVERIFY(m_prompts->messages.isEmpty());
        }
        QCOMPARE(QSettings(AppSettings::OrganizationName, AppSettings::ApplicationName)
                     .value(AppSettings::LibraryKey)
                     .toString(),
                 path);
        MainWindow again(QString(), m_prompts);
        QCOMPARE(again.currentFileName(), path);
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
