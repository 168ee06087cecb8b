#include "IsolatedSettings.h"
#include "KVFLArchive.h"
#include "KVPWorkerTestSupport.h"
#include "LibraryForm.h"
#include "MainWindow.h"
#include "PdfText.h"
#include "ScriptedPrompts.h"
#include "WidgetTestSupport.h"

#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace korvane::KVP;

namespace {

/// Writes a library of definitions with these names and channel counts; returns its path.
QString writeLibrary(const QString& path, const QList<std::pair<QString, int>>& definitions)
{
    std::vector<std::unique_ptr<QKVFixtureDefinition>> owned;
    QList<QKVFixtureDefinition*> list;
    for (const auto& [name, channels] : definitions) {
        list.append(owned.emplace_back(numberedDefinition(name, channels)).get());
    }
    KVFLArchive archive(path);
    archive.setDefinitionsToSave(list);
    return archive.save() ? path : QString();
}

void trigger(const MainWindow& window, const char* action)
{
    window.findChild<QAction*>(QLatin1String(action))->trigger();
}

} // namespace

/// The window's channel sheets: what they take from the table, and where they go.
class TestMainWindowPrint : public QObject
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

    void exportTakesTheSelectionElseTheShownRowsInTableOrder()
    {
        if (!havePoppler()) {
            QSKIP("pdftotext and pdfinfo (poppler-utils) are not installed");
        }
        const QString library
            = writeLibrary(m_folder.filePath("rig.kvfl"), {{"Charlie", 2}, {"Alpha", 1}, {"Bravo", 3}, {"Delta", 45}});
        auto prompts = std::make_shared<ScriptedPrompts>();
        MainWindow window(library, prompts);
        auto* form = window.findChild<LibraryForm*>("libraryForm");
        const auto exported = [&](const QString& name) {
            prompts->fileNames = {m_folder.filePath(name)};
            trigger(window, "actionExportSheets");
            return m_folder.filePath(name);
        };

        form->clearSelection();
        const QString all = exported("all.pdf");
        QVERIFY(prompts->files.last().directory.endsWith("rig.pdf"));
        QCOMPARE(pdfPages(all), 2);
        QCOMPARE(missingInOrder(pdfText(all), {"rig.kvfl", "Alpha", "Bravo", "Charlie", "Delta"}), QString());
        QCOMPARE(window.statusBar()->currentMessage(), "Channel sheets exported: 2 pages");

        form->findChild<QLineEdit*>("filterLineEdit")->setText("rli");
        form->updateFilter();
        form->clearSelection();
        const QString text = pdfText(exported("filtered.pdf"));
        QVERIFY2(text.contains("Charlie") && !text.contains("Alpha") && !text.contains("Bravo"), qPrintable(text));

        form->findChild<QLineEdit*>("filterLineEdit")->clear();
        form->updateFilter();
        form->clearSelection();
        selectRow(form->tableView(), 2);
        selectRow(form->tableView(), 0);
        const QString picked = exported("picked.pdf");
        QCOMPARE(prompts->files.last().caption, "Export the Channel Sheets of 2 Definitions as PDF");
        QCOMPARE(pdfPages(picked), 1);
        QCOMPARE(missingInOrder(pdfText(picked), {"Alpha", "Charlie"}), QString());
        QVERIFY(!pdfText(picked).contains("Bravo"));

        // A file that cannot be written says so; a cancelled chooser writes nothing.
        exported("no/such/folder/x.pdf");
        QCOMPARE(prompts->texts(), QStringList {"Failed to write the channel sheets."});
        prompts->fileNames.clear();
        trigger(window, "actionExportSheets");
        QCOMPARE(prompts->messages.size(), 1);
    }

    void printAndPreviewDrawOnTheirPrinter()
    {
        const QString library = writeLibrary(m_folder.filePath("print.kvfl"), {{"Spot", 45}, {"Wash", 45}});
        auto prompts = std::make_shared<ScriptedPrompts>();
        MainWindow window(library, prompts);
        window.findChild<LibraryForm*>("libraryForm")->clearSelection();
        const QString printed = m_folder.filePath("printed.pdf");
        int previewPages = 0;
        prompts->dialogScript = [&](QDialog& dialog) {
            if (auto* print = qobject_cast<QPrintDialog*>(&dialog)) {
                print->printer()->setOutputFileName(printed);
                print->printer()->setFromTo(2, 2);
                return int(QDialog::Accepted);
            }
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            preview->updatePreview();
            previewPages = preview->pageCount();
            return int(QDialog::Rejected);
        };
        trigger(window, "actionPrint");
        trigger(window, "actionPrintPreview");
        QCOMPARE(prompts->dialogs, QStringList({"QPrintDialog", "QPrintPreviewDialog"}));
        QCOMPARE(previewPages, 2);
        QVERIFY(QFileInfo(printed).size() > 0);
        // The dialog's page range: the second page alone.
        QVERIFY(!havePoppler() || pdfPages(printed) == 1);
    }

    void anEmptyTableHasNothingToPrint()
    {
        auto prompts = std::make_shared<ScriptedPrompts>();
        MainWindow window(writeLibrary(m_folder.filePath("empty.kvfl"), {}), prompts);
        trigger(window, "actionExportSheets");
        trigger(window, "actionPrint");
        QCOMPARE(prompts->texts(),
                 QStringList({"There are no definitions to export.", "There are no definitions to print."}));
        QVERIFY(prompts->files.isEmpty() && prompts->dialogs.isEmpty());
    }

private:
    QTemporaryDir m_configHome;
    QTemporaryDir m_folder;
};

QTEST_MAIN(TestMainWindowPrint)
#include "TestMainWindowPrint.moc"
