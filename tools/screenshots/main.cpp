// Takes the README's pictures of the editor from real windows on simulated devices:
//   qrd-screenshots FOLDER [LANGUAGE]   (English without LANGUAGE, whatever the system speaks)
// Run it under Xvfb with QT_QPA_PLATFORM=xcb, as tools/screenshots.sh does.

#include "AboutDialog.h"
#include "D2xxBackend.h"
#include "DeviceForm.h"
#include "DeviceRecord.h"
#include "FixtureCatalogue.h"
#include "FixtureCatalogueDialog.h"
#include "FixtureType.h"
#include "KVFLArchive.h"
#include "LibraryForm.h"
#include "LocalFixtureDefinitionEditForm.h"
#include "MainWindow.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "UiLanguage.h"
#include "UserPrompts.h"
#include "backends/SimBackend.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>
#include <QTreeWidget>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace korvane::KVP;

namespace {

QString g_folder;
int g_failures = 0;

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void pause(int ms)
{
    waitFor([] { return false; }, ms);
}

bool showAndWait(QWidget& widget)
{
    widget.show();
    return waitFor([&widget] { return widget.windowHandle() && widget.windowHandle()->isExposed(); }, 10000);
}

/// Saves the widget as the screen shows it (`framed`: with its window frame under a window
/// manager, if any), or as it paints itself.
void save(QWidget& widget, const char* name, bool framed = false)
{
    const QPixmap picture = framed && QGuiApplication::platformName() == QLatin1String("xcb")
        ? widget.screen()->grabWindow(widget.winId())
        : widget.grab();
    if (!picture.save(QDir(g_folder).filePath(QLatin1String(name)))) {
        std::fprintf(stderr, "%s: not saved\n", name);
        ++g_failures;
    }
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "%s: timed out\n", what);
        ++g_failures;
    }
}

/// Answers OK where a box offers it, Cancel or No otherwise; dialogs go to `onDialog`.
class Prompts : public UserPrompts
{
public:
    QMessageBox::StandardButton message(QWidget*, const MessagePrompt& prompt) override
    {
        if (prompt.buttons & QMessageBox::Ok) {
            return QMessageBox::Ok;
        }
        return prompt.buttons & QMessageBox::Cancel ? QMessageBox::Cancel : QMessageBox::No;
    }
    QString fileName(QWidget*, const FilePrompt&) override { return {}; }
    QStringList openFileNames(QWidget*, const FilePrompt&) override { return {}; }
    int runDialog(QDialog& dialog) override { return onDialog ? onDialog(dialog) : int(QDialog::Rejected); }

    std::function<int(QDialog&)> onDialog;
};

void useSimDevices(const char* devices)
{
    qputenv(BackendVariable, "sim");
    qputenv(SimDevicesVariable, devices);
    setD2xxBackend(makeSimBackend());
}

std::unique_ptr<QKVFixtureDefinition>
definition(const QString& name, const QString& maker, int type, const QStringList& channels)
{
    auto result = std::make_unique<QKVFixtureDefinition>();
    result->setName(name);
    result->setManufacturer(maker);
    result->setType(type);
    for (int i = 0; i < channels.size(); ++i) {
        auto* channel = new QKVFixtureChannel;
        channel->setNumber(i + 1);
        channel->setName(channels.at(i));
        channel->setAutoShortName(true);
        result->appendChannel(channel);
    }
    return result;
}

QStringList channelNames(int count)
{
    static const QStringList names {"Pan",
                                    "Pan Fine",
                                    "Tilt",
                                    "Tilt Fine",
                                    "Speed",
                                    "Dimmer",
                                    "Shutter",
                                    "Color",
                                    "Gobo",
                                    "Prism",
                                    "Focus",
                                    "Zoom",
                                    "Macro",
                                    "Reset"};
    QStringList result;
    for (int i = 0; i < count; ++i) {
        result << (i < names.size() ? names.at(i) : QStringLiteral("Channel %1").arg(i + 1));
    }
    return result;
}

using Definitions = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

bool writeLibrary(const QString& path, const Definitions& definitions)
{
    QList<QKVFixtureDefinition*> list;
    for (const auto& d : definitions) {
        list.append(d.get());
    }
    KVFLArchive archive(path);
    archive.setDefinitionsToSave(list);
    return archive.save();
}

/// The main window with a library of thirty and a device of twelve, then an upload caught
/// half way, then the firmware dialog over it with the QRD-540B selected.
void editorWindow(const QString& work)
{
    static const char* const kinds[]
        = {"LED Par RGBW", "Wash 19x15", "Spot 575", "Scanner 250", "Dimmer Pack 6", "Strobe 1500"};
    static const char* const makers[] = {"Generic", "Acme Lighting", "Brightline", "Stagecraft"};
    Definitions definitions;
    for (int i = 0; i < 30; ++i) {
        definitions.push_back(
            definition(QStringLiteral("%1 %2").arg(QLatin1String(kinds[i % 6])).arg(QChar('A' + i / 6)),
                       QLatin1String(makers[i % 4]),
                       i % 11,
                       channelNames(3 + (i * 5) % 12)));
    }
    const QString path = QDir(work).filePath(QStringLiteral("Rig.kvfl"));
    check(writeLibrary(path, definitions), "Rig.kvfl");
    // Replies take a while, so an upload can be caught in flight.
    useSimDevices("model=QRD-780,records=12,latency=15;model=QRD-540B,fw=0x0101,records=3");

    auto prompts = std::make_shared<Prompts>();
    MainWindow window(path, prompts);
    check(showAndWait(window), "editor window");
    auto* device = window.findChild<DeviceForm*>("remoteForm");
    auto* library = window.findChild<LibraryForm*>("libraryForm");
    check(waitFor([&] { return device->model()->rowCount() == 12 && !window.currentRequest(); }, 10000), "device list");
    library->tableView()->selectRow(4);
    library->updateCurrentFixtureDefinition();
    device->fixtureListView()->selectRow(2);
    for (int tick = 0; tick < 3; ++tick) {
        library->slotTimer();
    }
    pause(200);
    save(window, "editor.png", true);

    library->clearSelection();
    for (int row = 0; row < 8; ++row) {
        library->tableView()->selectionModel()->select(library->tableView()->model()->index(row, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    window.uploadCurrentSelection();
    auto* total = window.findChild<QProgressBar*>("progBarTotal");
    check(waitFor([total] { return total->value() >= 30; }, 30000), "upload");
    save(window, "upload.png", true);
    check(waitFor([&] { return !window.currentRequest() && device->model()->rowCount() == 20; }, 60000), "upload end");

    prompts->onDialog = [](QDialog& dialog) {
        dialog.show();
        auto* combo = dialog.findChild<QComboBox*>("devicesCombo");
        pause(300);
        if (combo && combo->count() > 1) {
            combo->setCurrentIndex(1);
        }
        pause(1500);
        save(dialog, "firmware-dialog.png", true);
        dialog.hide();
        return int(QDialog::Rejected);
    };
    window.on_actionUpdate_firmware_triggered();
    check(waitFor([&] { return !window.currentRequest() && device->model()->rowCount() > 0; }, 10000), "rediscovery");
}

/// What ./run.sh --demo shows.
void demoWindow(const QString& work)
{
    useSimDevices("model=QRD-780,records=12,patch=1;model=QRD-540B,fw=0x0101,records=3");
    const QString demo = QDir(work).filePath(QStringLiteral("demo.kvfl"));
    check(QFile::copy(QStringLiteral(QRD_EXAMPLES_DIR "/demo.kvfl"), demo), "demo.kvfl");
    MainWindow window(demo, std::make_shared<Prompts>());
    check(showAndWait(window), "demo window");
    auto* device = window.findChild<DeviceForm*>("remoteForm");
    check(waitFor([&] { return device->model()->rowCount() == 12 && !window.currentRequest(); }, 10000), "demo list");
    auto* library = window.findChild<LibraryForm*>("libraryForm");
    QAbstractItemModel* rows = library->tableView()->model();
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (rows->index(row, 0).data().toString() == QLatin1String("Moving Head Spot 11ch")) {
            library->tableView()->selectRow(row);
        }
    }
    library->updateCurrentFixtureDefinition();
    auto* channels = window.findChild<QTreeView*>("channelListView");
    channels->setCurrentIndex(channels->model()->index(2, 0));
    for (int tick = 0; tick < 3; ++tick) {
        library->slotTimer();
    }
    pause(200);
    save(window, "demo.png", true);
}

void editForm()
{
    auto shown = definition(QStringLiteral("Beam 230 Moving Head"),
                            QStringLiteral("Generic Lighting"),
                            FixtureType::MovingHead,
                            {"Pan",
                             "Pan Fine",
                             "Tilt",
                             "Tilt Fine",
                             "Pan/Tilt Speed",
                             "Dimmer",
                             "Shutter / Strobe",
                             "Color Wheel",
                             "Gobo Wheel",
                             "Prism",
                             "Focus",
                             "Reset / Lamp Control"});
    LocalFixtureDefinitionEditForm form;
    form.resize(760, 420);
    form.show();
    form.setFixtureDefinition(shown.get());
    auto* channels = form.findChild<QTreeView*>("channelListView");
    channels->setCurrentIndex(channels->model()->index(4, 0));
    check(showAndWait(form), "edit form");
    save(form, "edit-form.png");
}

void libraryForm(const QString& work)
{
    struct Entry
    {
        const char* name;
        const char* maker;
        int channels;
    };
    const Entry eight[] = {{"Wash 19", "Acme", 14},
                           {"Beam 5R", "Mark", 16},
                           {"Par 64", "Generic", 1},
                           {"Strobe 3000", "Flash", 2},
                           {"Spot 575", "Acme", 20},
                           {"Hazer 2", "Fog Works", 2},
                           {"Dimmer 6", "Generic", 6},
                           {"Scanner X", "Omar", 8}};
    const char* const kinds[] = {"LED Par", "Moving Head", "Scanner", "Dimmer Pack", "Strobe", "Hazer"};
    const char* const makers[] = {"Generic", "Acme", "Stagecraft", "Brightline"};
    Definitions definitions;
    for (const Entry& e : eight) {
        definitions.push_back(definition(QLatin1String(e.name), QLatin1String(e.maker), 0, channelNames(e.channels)));
    }
    for (int i = 0; i < 30; ++i) {
        definitions.push_back(definition(QStringLiteral("%1 %2").arg(QLatin1String(kinds[i % 6])).arg(100 + 7 * i),
                                         QLatin1String(makers[i % 4]),
                                         0,
                                         channelNames(1 + (i * 5) % 45)));
    }
    const QString path = QDir(work).filePath(QStringLiteral("Panel.kvfl"));
    check(writeLibrary(path, definitions), "Panel.kvfl");
    KVFLArchive archive(path);
    check(archive.load(), "Panel.kvfl load");
    LibraryForm form;
    form.resize(640, 760);
    form.show();
    form.setArchive(&archive);
    form.clearSelection();
    QAbstractItemModel* model = form.tableView()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString name = model->index(row, 0).data().toString();
        if (name == QLatin1String("Spot 575") || name == QLatin1String("Moving Head 107")) {
            form.tableView()->selectionModel()->select(model->index(row, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    for (int tick = 0; tick < 3; ++tick) {
        form.slotTimer();
    }
    check(showAndWait(form), "library form");
    save(form, "library-form.png");
}

void deviceForm()
{
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
        auto d = definition(QStringLiteral("%1 #%2").arg(names.at(i % names.size())).arg(i / names.size() + 1),
                            makers.at(i % makers.size()),
                            0,
                            channelNames(1 + (i * 7) % 24));
        QByteArray entry = DeviceRecord::buildRecord(*d).left(DeviceRecord::HeaderLength);
        entry[DeviceRecord::RecordNumberOffset] = char(i);
        records += entry;
    }
    DeviceForm form;
    form.resize(360, 600);
    form.setFixtureList(records, 30);
    form.devicesCombo()->addItem("QRD-780 (usb:ftdi/0)");
    check(showAndWait(form), "device form");
    for (int row : {1, 4}) {
        form.fixtureListView()->selectionModel()->select(form.fixtureListView()->model()->index(row, 0),
                                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The counter's new texts reach the layout through two posted layout requests.
    pause(100);
    save(form, "device-form.png");
}

void aboutDialog()
{
    AboutDialog dialog;
    check(showAndWait(dialog), "about dialog");
    save(dialog, "about-dialog.png");
}

} // namespace

/// The fixture catalogue over the installed QLC+ fixtures, searched for "robe spot".
void catalogueDialog()
{
    FixtureCatalogueDialog dialog(FixtureCatalogue::standardFolders(), {}, std::make_shared<Prompts>());
    check(showAndWait(dialog), "catalogue dialog");
    if (!waitFor([&] { return dialog.model()->rowCount() > 0; }, 20000)) {
        std::fprintf(stderr, "catalogue.png: no QLC+ fixtures installed (qlcplus-data)\n");
        return;
    }
    dialog.searchField()->setText(QStringLiteral("robe spot"));
    check(waitFor([&] { return dialog.preview()->topLevelItemCount() > 0; }, 5000), "catalogue search");
    pause(200);
    save(dialog, "catalogue.png", true);
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: qrd-screenshots FOLDER [LANGUAGE]\n");
        return 2;
    }
    const UiLanguage language(UiLanguage::wishes(QString::fromLatin1(argc == 3 ? argv[2] : "en")));
    g_folder = QString::fromLocal8Bit(argv[1]);
    // Settings of their own, so no library of the user's is reopened or remembered.
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.path()));
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.path());

    editorWindow(work.path());
    demoWindow(work.path());
    editForm();
    libraryForm(work.path());
    deviceForm();
    aboutDialog();
    catalogueDialog();
    setD2xxBackend(nullptr);
    return g_failures == 0 ? 0 : 1;
}
