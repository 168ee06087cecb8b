// The main window's fixture catalogue and QLC+ fixture files: adding their modes to the
// library, with the question about definitions the library already has.

#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AppSettings.h"
#include "FixtureCatalogue.h"
#include "FixtureCatalogueDialog.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureDefinition.h"
#include "QxfReader.h"
#include "ResourcePaths.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHash>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

namespace {

QString libraryKey(const QString& manufacturer, const QString& name)
{
    return manufacturer + QChar(0) + name;
}

/// The local files among dropped URLs whose names end in `suffix`.
QStringList droppedFiles(const QMimeData* data, const QString& suffix)
{
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(suffix, Qt::CaseInsensitive)) {
            files << url.toLocalFile();
        }
    }
    return files;
}

const QString FixtureSuffix = QStringLiteral(".qxf");
const QString LibrarySuffix = QStringLiteral(".kvfl");

} // namespace

void MainWindow::setUpCatalogue()
{
    m_catalogueAction = new QAction(QIcon(ResourcePaths::CatalogueIcon), tr("Add from Fixture Cata&logue..."), this);
    m_catalogueAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    m_catalogueAction->setToolTip(tr("Add fixture definitions from the QLC+ fixture catalogue"));
    m_ui->menuEdit->insertAction(m_ui->menuEdit->actions().value(0), m_catalogueAction);
    m_ui->menuEdit->insertSeparator(m_ui->actionDiscoverDevices);
    m_ui->toolBar->insertAction(m_ui->toolBar->actions().value(m_ui->toolBar->actions().indexOf(m_importAction) + 1),
                                m_catalogueAction);
    connect(m_catalogueAction, &QAction::triggered, this, &MainWindow::addFromCatalogue);

    m_importFixturesAction = new QAction(tr("Import QLC+ &Fixture Files..."), this);
    // Right after Import Library.
    const QList<QAction*> fileActions = m_ui->menuFile->actions();
    m_ui->menuFile->insertAction(fileActions.value(fileActions.indexOf(m_ui->actionImport_Library) + 1),
                                 m_importFixturesAction);
    connect(m_importFixturesAction, &QAction::triggered, this, [this] {
        FilePrompt prompt;
        prompt.kind = FilePrompt::OpenMany;
        prompt.caption = tr("Import QLC+ Fixture Files");
        prompt.directory = m_settings->value(AppSettings::WorkingDirKey).toString();
        prompt.filter = tr("QLC+ fixture files (*.qxf);;All files (*)");
        importFixtureFiles(m_prompts->openFileNames(this, prompt));
    });
    setAcceptDrops(true);
}

void MainWindow::addFromCatalogue()
{
    FixtureCatalogueDialog dialog(FixtureCatalogue::standardFolders(),
                                  m_settings->value(AppSettings::CatalogueFoldersKey).toStringList(),
                                  m_prompts,
                                  this);
    const int result = m_prompts->runDialog(dialog);
    m_settings->setValue(AppSettings::CatalogueFoldersKey, dialog.userFolders());
    if (result == QDialog::Accepted) {
        const int added = addModes(dialog.chosenModes(), tr("Add from Catalogue"));
        statusBar()->showMessage(countText(added,
                                           tr("1 definition added from the catalogue"),
                                           tr("%1 definitions added from the catalogue")),
                                 ConfirmationMs);
    }
}

void MainWindow::importFixtureFiles(const QStringList& files)
{
    if (files.isEmpty()) {
        return;
    }
    QList<QxfMode> usable;
    QStringList keptOut;
    QStringList failed;
    for (const QString& path : files) {
        const QxfFile file = QxfReader::readFile(path);
        const QString name = QFileInfo(path).fileName();
        if (!file.ok()) {
            failed << tr("%1: %2").arg(name, file.error);
            continue;
        }
        for (const QxfMode& mode : file.modes) {
            if (mode.usable()) {
                usable << mode;
            } else {
                keptOut << tr("%1: %2").arg(mode.name, mode.reason);
            }
        }
    }
    const int added = addModes(usable, tr("Import QLC+ Fixtures"));
    statusBar()->showMessage(countText(added, tr("1 definition imported"), tr("%1 definitions imported")),
                             ConfirmationMs);
    QStringList details;
    if (!keptOut.isEmpty()) {
        details << tr("Kept out, as the devices cannot take them:") << keptOut;
    }
    if (!failed.isEmpty()) {
        details << tr("Files that could not be read:") << failed;
    }
    showInformation(
        countText(added,
                  tr("1 fixture definition was added to the library."),
                  tr("%1 fixture definitions were added to the library.")),
        keptOut.isEmpty() && failed.isEmpty()
            ? QString()
            : tr("%1 modes were kept out and %2 files could not be read.").arg(keptOut.size()).arg(failed.size()),
        details.join(QLatin1Char('\n')));
}

int MainWindow::addModes(const QList<QxfMode>& modes, const QString& stepText)
{
    QHash<QString, QKVFixtureDefinition*> library;
    for (QKVFixtureDefinition* definition : m_ui->libraryForm->listModel()->definitions()) {
        library.insert(libraryKey(definition->manufacturer(), definition->name()), definition);
    }
    qsizetype doubles = 0;
    for (const QxfMode& mode : modes) {
        doubles += library.contains(libraryKey(mode.manufacturer, mode.name)) ? 1 : 0;
    }
    std::vector<std::unique_ptr<QKVFixtureDefinition>> made;
    QList<QKVFixtureDefinition*> additions;
    QList<std::pair<QKVFixtureDefinition*, QKVFixtureDefinition*>> replacements;
    QMessageBox::StandardButton forAll = QMessageBox::NoButton;
    for (const QxfMode& mode : modes) {
        QKVFixtureDefinition* existing = library.value(libraryKey(mode.manufacturer, mode.name));
        QMessageBox::StandardButton answer = existing ? forAll : QMessageBox::Ignore;
        if (answer == QMessageBox::NoButton) {
            --doubles;
            bool sameForAll = false;
            MessagePrompt prompt;
            prompt.icon = QMessageBox::Question;
            prompt.title = AppSettings::ApplicationName;
            prompt.text = tr("The library already has \"%1\" by %2.").arg(mode.name, mode.manufacturer);
            prompt.informativeText = tr("Replace it with the catalogue's, keep both, or skip this one?");
            prompt.buttons = QMessageBox::Yes | QMessageBox::Ignore | QMessageBox::No;
            prompt.defaultButton = QMessageBox::No;
            prompt.buttonTexts = {{QMessageBox::Yes, tr("Replace")},
                                  {QMessageBox::Ignore, tr("Keep Both")},
                                  {QMessageBox::No, tr("Skip")}};
            if (doubles > 0) {
                prompt.checkBoxText = tr("Do the same for the other %1 already in the library").arg(doubles);
                prompt.checkBoxChecked = &sameForAll;
            }
            answer = m_prompts->message(this, prompt);
            if (sameForAll) {
                forAll = answer;
            }
        }
        if (answer == QMessageBox::No) {
            continue;
        }
        made.push_back(mode.toDefinition());
        if (answer == QMessageBox::Yes) {
            replacements.append(std::make_pair(existing, made.back().get()));
        } else {
            additions << made.back().get();
        }
    }
    m_ui->libraryForm->addDefinitions(additions, replacements, stepText);
    return static_cast<int>(made.size());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFiles(event->mimeData(), FixtureSuffix).isEmpty()
        || !droppedFiles(event->mimeData(), LibrarySuffix).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList fixtures = droppedFiles(event->mimeData(), FixtureSuffix);
    const QStringList libraries = droppedFiles(event->mimeData(), LibrarySuffix);
    if (fixtures.isEmpty() && libraries.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    if (!libraries.isEmpty()) {
        dropLibraryFiles(libraries, event->modifiers().testFlag(Qt::ShiftModifier));
    }
    if (!fixtures.isEmpty()) {
        importFixtureFiles(fixtures);
    }
}
