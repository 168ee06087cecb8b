#include "AppSettings.h"
#include "FixtureCatalogueDialog.h"
#include "IsolatedSettings.h"
#include "KVPWorkerTestSupport.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "MainWindow.h"
#include "QKVFixtureChannel.h"
#include "ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

namespace {

/// Writes a fixture file with one mode per entry of `modes` (name, channel count);
/// returns its path.
QString writeFixture(const QString& folder,
                     const QString& manufacturer,
                     const QString& model,
                     const QList<QPair<QString, int>>& modes)
{
    QDir().mkpath(folder);
    QString xml = QStringLiteral("<?xml version='1.0' encoding='UTF-8'?>\n"
                                 "<FixtureDefinition xmlns=\"http://www.qlcplus.org/FixtureDefinition\">"
                                 "<Manufacturer>%1</Manufacturer><Model>%2</Model><Type>Moving Head</Type>")
                      .arg(manufacturer, model);
    for (int channel = 1; channel <= 46; ++channel) {
        xml += QStringLiteral("<Channel Name=\"Channel %1\"/>").arg(channel);
    }
    for (const auto& [name, count] : modes) {
        xml += QStringLiteral("<Mode Name=\"%1\">").arg(name);
        for (int channel = 0; channel < count; ++channel) {
            xml += QStringLiteral("<Channel Number=\"%1\">Channel %2</Channel>").arg(channel).arg(channel + 1);
        }
        xml += QStringLiteral("</Mode>");
    }
    const QString path = folder + QLatin1Char('/') + model + QStringLiteral(".qxf");
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write((xml + QStringLiteral("</FixtureDefinition>")).toUtf8()) > 0
        ? path
        : QString();
}

QStringList libraryNames(LibraryForm* form)
{
    QStringList names;
    for (const QKVFixtureDefinition* definition : form->listModel()->definitions()) {
        names << definition->name();
    }
    return names;
}

} // namespace

/// The fixture catalogue window, and QLC+ fixture files added to the library.
class TestFixtureCatalogueDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        isolateSettings(m_configHome.path());
        korvane::KVP::test::useSimDevices("");
        m_spot = writeFixture(m_files.filePath("Acme"), "Acme", "Spot", {{"Basic", 2}, {"Huge", 46}});
        m_par = writeFixture(m_files.filePath("Acme"), "Acme", "Par", {{"Only", 3}});
        writeFixture(m_files.filePath("Other"), "Other Co", "Wash", {{"A", 4}});
        QVERIFY(!m_spot.isEmpty() && !m_par.isEmpty());
    }

    void cleanupTestCase() { korvane::KVP::test::dropSimDevices(); }

    void searchPreviewAndChoice()
    {
        auto prompts = std::make_shared<ScriptedPrompts>();
        FixtureCatalogueDialog dialog({m_files.path()}, {}, prompts);
        QSignalSpy indexed(&dialog, &FixtureCatalogueDialog::indexed);
        QVERIFY(indexed.wait(10000));
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("4 modes in 3 fixtures from 1 folder"));

        // Words in any order; the greyed mode says why the device cannot take it.
        dialog.searchField()->setText(QStringLiteral("spot ACME"));
        QTRY_COMPARE(dialog.model()->rowCount(), 1);
        const QStandardItem* fixture = dialog.model()->item(0)->child(0);
        QVERIFY(fixture->text() == "Spot" && fixture->rowCount() == 2);
        QCOMPARE(fixture->child(1)->toolTip(), QStringLiteral("46 channels; the devices hold at most 45"));
        // The first mode is current, its channels previewed as the device shows them.
        QCOMPARE(dialog.preview()->topLevelItemCount(), 2);
        QCOMPARE(dialog.preview()->topLevelItem(1)->text(2), QStringLiteral("Channel 2"));

        // A selected fixture stands for the modes the device can take.
        dialog.tree()->selectionModel()->select(fixture->index(),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(dialog.chosenModes().size(), 1);
        QCOMPARE(dialog.chosenModes().first().name, QStringLiteral("Spot (Basic)"));

        // Another folder is read in as well and kept.
        QTemporaryDir more;
        writeFixture(more.path(), "Zeta", "Bar", {{"One", 1}});
        prompts->fileNames = {more.path()};
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            if (button->text() == "Add Folder...") {
                button->click();
            }
        }
        QVERIFY(indexed.wait(10000));
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("5 modes in 4 fixtures from 2 folders"));
        QCOMPARE(dialog.userFolders(), QStringList {more.path()});
    }

    void importedModesAreAddedOrAskedAbout()
    {
        auto prompts = std::make_shared<ScriptedPrompts>();
        MainWindow window(QString(), prompts);
        auto* form = window.findChild<LibraryForm*>("libraryForm");
        const QString broken = m_files.filePath("Broken.qxf");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("<FixtureDefinition><Model>") > 0);
        file.close();

        // Usable modes are added and selected; the rest is summed up with reasons.
        window.importFixtureFiles({m_par, m_spot, broken});
        QCOMPARE(libraryNames(form), (QStringList {"Par", "Spot (Basic)"}));
        QVERIFY(window.isWindowModified() && form->selectedFixtureDefinitions().size() == 2);
        QCOMPARE(prompts->messages.last().text, QStringLiteral("2 fixture definitions were added to the library."));
        QVERIFY(prompts->messages.last().detailedText.contains("Spot (Huge): 46 channels"));
        QVERIFY(prompts->messages.last().detailedText.contains("Broken.qxf: "));

        // The same definitions again: Replace, for all, puts back what the file says.
        form->listModel()->definitionAt(0)->channels().at(0)->setName(QStringLiteral("Changed"));
        prompts->buttons = {QMessageBox::Yes, QMessageBox::Ok};
        prompts->checks = {true};
        window.importFixtureFiles({m_par, m_spot});
        QCOMPARE(prompts->messages.at(prompts->messages.size() - 2).text,
                 QStringLiteral("The library already has \"Par\" by Acme."));
        QCOMPARE(libraryNames(form), (QStringList {"Par", "Spot (Basic)"}));
        QCOMPARE(form->listModel()->definitionAt(0)->channels().at(0)->name(), QStringLiteral("Channel 1"));

        // Keep both adds a second; Skip adds nothing.
        prompts->buttons = {QMessageBox::Ignore, QMessageBox::Ok, QMessageBox::No, QMessageBox::Ok};
        window.importFixtureFiles({m_par});
        window.importFixtureFiles({m_par});
        QCOMPARE(libraryNames(form), (QStringList {"Par", "Spot (Basic)", "Par"}));
        QCOMPARE(prompts->unexpected, 0);

        // The catalogue keeps the folders the user added.
        prompts->dialogScript = [&](QDialog& dialog) {
            prompts->fileNames = {m_files.filePath("Other")};
            for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
                if (button->text() == "Add Folder...") {
                    button->click();
                }
            }
            return int(QDialog::Rejected);
        };
        window.addFromCatalogue();
        QCOMPARE(window.settings()->value(AppSettings::CatalogueFoldersKey).toStringList(),
                 QStringList {m_files.filePath("Other")});
    }

private:
    QTemporaryDir m_configHome;
    QTemporaryDir m_files;
    QString m_spot;
    QString m_par;
};

QTEST_MAIN(TestFixtureCatalogueDialog)
#include "TestFixtureCatalogueDialog.moc"
