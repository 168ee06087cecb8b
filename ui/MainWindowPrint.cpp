// The main window's channel sheets: printing, the print preview and the PDF export of the
// selected definitions, or of every definition the table shows, in the table's order.

#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AppSettings.h"
#include "ChannelSheets.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSet>
#include <QSettings>
#include <QStatusBar>

namespace {

const QString PdfSuffix = QStringLiteral(".pdf");

/// A printer set up for the sheets: the locale's paper with desk printer margins, which the
/// print dialog lets the user change.
void prepare(QPrinter& printer, const QString& documentName)
{
    printer.setPageLayout(ChannelSheets::pageLayoutFor(QLocale()));
    printer.setDocName(documentName);
}

SheetHeading headingFor(const QString& fileName)
{
    return {fileName.isEmpty() ? MainWindow::tr("Unnamed") : QFileInfo(fileName).fileName(), QDate::currentDate()};
}

} // namespace

void MainWindow::setUpPrinting()
{
    const auto addAction = [this](const char* name, const QString& text, auto slot) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        m_ui->menuFile->insertAction(m_ui->actionQuit, action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    addAction("actionPrint", tr("&Print…"), &MainWindow::printSheets)->setShortcut(QKeySequence::Print);
    addAction("actionPrintPreview", tr("Print Pre&view…"), &MainWindow::previewSheets);
    addAction("actionExportSheets", tr("&Export Channel Sheets as PDF…"), &MainWindow::exportSheets);
    m_ui->menuFile->insertSeparator(m_ui->actionQuit);
}

QList<const QKVFixtureDefinition*> MainWindow::sheetDefinitions() const
{
    const LibraryForm* form = m_ui->libraryForm;
    const QList<QKVFixtureDefinition*> selected = form->selectedFixtureDefinitions();
    const QSet<const QKVFixtureDefinition*> picked(selected.cbegin(), selected.cend());
    const TwoColumnsSortFilterProxyModel* proxy = form->proxyModel();
    QList<const QKVFixtureDefinition*> definitions;
    if (!proxy->sourceModel()) {
        return definitions;
    }
    for (int row = 0; row < proxy->rowCount(); ++row) {
        const QModelIndex source = proxy->mapToSource(proxy->index(row, 0));
        const QKVFixtureDefinition* definition = form->listModel()->definitionAt(source.row());
        if (definition && (picked.isEmpty() || picked.contains(definition))) {
            definitions.append(definition);
        }
    }
    return definitions;
}

QList<const QKVFixtureDefinition*> MainWindow::sheetsToPrint(QPrinter& printer)
{
    const QList<const QKVFixtureDefinition*> definitions = sheetDefinitions();
    if (definitions.isEmpty()) {
        showInformation(tr("There are no definitions to print."));
    }
    prepare(printer, tr("Channel sheets"));
    return definitions;
}

void MainWindow::printSheets()
{
    QPrinter printer(QPrinter::HighResolution);
    const QList<const QKVFixtureDefinition*> definitions = sheetsToPrint(printer);
    if (definitions.isEmpty()) {
        return;
    }
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Channel Sheets"));
    if (m_prompts->runDialog(dialog) != QDialog::Accepted) {
        return;
    }
    if (ChannelSheets::paint(printer, definitions, headingFor(m_currentFileName)) == 0) {
        showInformation(tr("Failed to print the channel sheets."));
    }
}

void MainWindow::previewSheets()
{
    QPrinter printer(QPrinter::HighResolution);
    const QList<const QKVFixtureDefinition*> definitions = sheetsToPrint(printer);
    if (definitions.isEmpty()) {
        return;
    }
    // The dialog is modal, so the definitions stay as they are while it draws them.
    const SheetHeading heading = headingFor(m_currentFileName);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Channel Sheets"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* target) {
        ChannelSheets::paint(*target, definitions, heading);
    });
    m_prompts->runDialog(dialog);
}

void MainWindow::exportSheets()
{
    const QList<const QKVFixtureDefinition*> definitions = sheetDefinitions();
    if (definitions.isEmpty()) {
        showInformation(tr("There are no definitions to export."));
        return;
    }
    const QString name
        = m_currentFileName.isEmpty() ? tr("Channel sheets") : QFileInfo(m_currentFileName).completeBaseName();
    FilePrompt prompt;
    prompt.kind = FilePrompt::Save;
    // Loading a library selects its first row, so say how many sheets the export takes.
    prompt.caption = countText(definitions.size(),
                               tr("Export the Channel Sheet of 1 Definition as PDF"),
                               tr("Export the Channel Sheets of %1 Definitions as PDF"));
    prompt.directory = QDir(m_settings->value(AppSettings::WorkingDirKey).toString()).filePath(name + PdfSuffix);
    prompt.filter = tr("PDF files (*.pdf);;All files (*)");
    const QString fileName = m_prompts->fileName(this, prompt);
    if (fileName.isEmpty()) {
        return;
    }
    QString error;
    const int pages = ChannelSheets::writePdf(
        fileName, definitions, headingFor(m_currentFileName), ChannelSheets::pageLayoutFor(QLocale()), error);
    if (pages == 0) {
        showInformation(tr("Failed to write the channel sheets."), error);
        return;
    }
    statusBar()->showMessage(
        countText(pages, tr("Channel sheets exported: 1 page"), tr("Channel sheets exported: %1 pages")),
        ConfirmationMs);
}
