#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

// Installing copies the sanitizer build of the editor, which is large; give it time.
constexpr int InstallTimeoutMs = 300000;
constexpr int ToolTimeoutMs = 60000;

// The name the desktop, the icon theme and the MIME database know the editor by.
const QString AppId = QStringLiteral("io.github.qrd_fixture_editor.QrdFixtureEditor");
const QString LibraryType = QStringLiteral("application/x-kvfl-library");
const QString FirmwareType = QStringLiteral("application/x-kv2-firmware");
const QString UdevRule = QStringLiteral("lib/udev/rules.d/70-qrd-fixture-editor.rules");

struct Run
{
    int exitCode = -1;
    QByteArray output;
};

Run runTool(const QString& program, const QStringList& arguments, int timeoutMs = ToolTimeoutMs)
{
    QProcess process;
    // A DESTDIR or a symlink install mode from the caller's shell would send the files
    // elsewhere or link them back into the build tree.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DESTDIR"));
    environment.remove(QStringLiteral("CMAKE_INSTALL_MODE"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        qWarning("%s did not finish normally: %s", qPrintable(program), qPrintable(process.errorString()));
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), process.readAll()};
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The keys of the [Desktop Entry] group; later groups (actions) are not ours to check.
QMap<QString, QString> desktopEntry(const QByteArray& text)
{
    QMap<QString, QString> keys;
    bool inEntry = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
        } else if (inEntry && !line.startsWith(QLatin1Char('#')) && line.contains(QLatin1Char('='))) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
        }
    }
    return keys;
}

struct Match
{
    QString type;
    QString offset;
    QString value;
};

struct MimeType
{
    QStringList comments;
    QStringList globs;
    QStringList parents;
    QList<Match> matches;
};

/// The mime-type elements of a shared-mime-info package, keyed by type name; empty and
/// an error text when the document does not parse.
QMap<QString, MimeType> readMimePackage(const QByteArray& xml, QString* error)
{
    QMap<QString, MimeType> types;
    QXmlStreamReader reader(xml);
    QString current;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == QLatin1String("mime-type")) {
            current.clear();
            continue;
        }
        if (!reader.isStartElement()) {
            continue;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == QLatin1String("mime-type")) {
            current = attributes.value(QLatin1String("type")).toString();
            types[current];
        } else if (current.isEmpty()) {
            continue;
        } else if (reader.name() == QLatin1String("comment")) {
            types[current].comments << reader.readElementText();
        } else if (reader.name() == QLatin1String("glob")) {
            types[current].globs << attributes.value(QLatin1String("pattern")).toString();
        } else if (reader.name() == QLatin1String("sub-class-of")) {
            types[current].parents << attributes.value(QLatin1String("type")).toString();
        } else if (reader.name() == QLatin1String("match")) {
            types[current].matches << Match {attributes.value(QLatin1String("type")).toString(),
                                             attributes.value(QLatin1String("offset")).toString(),
                                             attributes.value(QLatin1String("value")).toString()};
        }
    }
    if (reader.hasError()) {
        *error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
        return {};
    }
    return types;
}

/// Rule lines of a udev rules file: no comments, no blank lines.
QStringList ruleLines(const QByteArray& text)
{
    QStringList lines;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            lines << line;
        }
    }
    return lines;
}

/// Sizes of the application icon that make_resources.py drew.
QList<int> drawnIconSizes()
{
    QList<int> sizes;
    static const QRegularExpression name(QStringLiteral("^qrd-fixture-editor-([0-9]+)\\.png$"));
    const QStringList files = QDir(QStringLiteral(QRD_ICON_SOURCE_DIR)).entryList({"*.png"}, QDir::Files);
    for (const QString& file : files) {
        const QRegularExpressionMatch match = name.match(file);
        if (match.hasMatch()) {
            sizes << match.captured(1).toInt();
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

QString iconPath(int size)
{
    return QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId);
}

} // namespace

/// Installs the build this test belongs to into a temporary prefix, as
/// `cmake --install` does for a packager or for `sudo cmake --install`, and checks that
/// the tree is what a Linux desktop and udev expect to find.
class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void programsAreInstalledExecutable_data();
    void programsAreInstalledExecutable();
    void installedToolRunsWithoutTheBuildTree();
    void nothingButTheProgramsAndDesktopFilesIsInstalled();
    void desktopEntryOpensALibraryInTheEditor();
    void desktopEntryPassesDesktopFileValidate();
    void mimePackageDeclaresLibraryAndUpdateFile();
    void mimeDatabaseReadsTheMagicWithItsNul();
    void iconIsInstalledInEveryDrawnSize_data();
    void iconIsInstalledInEveryDrawnSize();
    void udevRuleGivesTheSeatBothDevices();

private:
    QString installed(const QString& relative) const { return m_prefix.filePath(relative); }

    QTemporaryDir m_prefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    QVERIFY2(!drawnIconSizes().isEmpty(), "no application icons in " QRD_ICON_SOURCE_DIR);
    const Run install = runTool(
        QStringLiteral(QRD_CMAKE_COMMAND),
        {QStringLiteral("--install"), QStringLiteral(QRD_BUILD_DIR), QStringLiteral("--prefix"), m_prefix.path()},
        InstallTimeoutMs);
    QVERIFY2(install.exitCode == 0, install.output.constData());
}

void TestInstall::programsAreInstalledExecutable_data()
{
    QTest::addColumn<QString>("program");
    for (const char* program : {"qrd-fixture-editor", "kvfl", "kvp-device-sim"}) {
        QTest::newRow(program) << QString::fromLatin1(program);
    }
}

void TestInstall::programsAreInstalledExecutable()
{
    QFETCH(QString, program);
    const QFileInfo file(installed(QStringLiteral("bin/") + program));
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    QVERIFY2(file.isExecutable(), qPrintable(file.filePath()));
}

void TestInstall::installedToolRunsWithoutTheBuildTree()
{
    // CMake rewrites the run path on install; the copy must still find every library.
    const Run help = runTool(installed(QStringLiteral("bin/kvfl")), {QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.output.contains("Usage: kvfl"), help.output.constData());
}

void TestInstall::nothingButTheProgramsAndDesktopFilesIsInstalled()
{
    QStringList expected {QStringLiteral("bin/kvfl"),
                          QStringLiteral("bin/kvp-device-sim"),
                          QStringLiteral("bin/qrd-fixture-editor"),
                          QStringLiteral("share/applications/%1.desktop").arg(AppId),
                          QStringLiteral("share/mime/packages/%1.xml").arg(AppId),
                          UdevRule};
    for (int size : drawnIconSizes()) {
        expected << iconPath(size);
    }
    // Tests, benchmarks and the static libraries of the layers stay in the build tree.
    QStringList found;
    const QDir prefix(m_prefix.path());
    QDirIterator it(m_prefix.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << prefix.relativeFilePath(it.next());
    }
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);
}

void TestInstall::desktopEntryOpensALibraryInTheEditor()
{
    const QByteArray text = readFile(installed(QStringLiteral("share/applications/%1.desktop").arg(AppId)));
    QVERIFY(!text.isEmpty());
    const QMap<QString, QString> entry = desktopEntry(text);
    QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
    // %f: a file manager hands over the one library that was opened; the editor takes
    // its first argument as the file to open.
    QCOMPARE(entry.value(QStringLiteral("Exec")), QStringLiteral("qrd-fixture-editor %f"));
    QCOMPARE(entry.value(QStringLiteral("Icon")), AppId);
    QVERIFY(entry.value(QStringLiteral("MimeType")).split(QLatin1Char(';')).contains(LibraryType));
    QVERIFY(entry.value(QStringLiteral("Categories")).split(QLatin1Char(';')).contains(QStringLiteral("Utility")));
}

void TestInstall::desktopEntryPassesDesktopFileValidate()
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) {
        QSKIP("desktop-file-validate is not installed (desktop-file-utils)");
    }
    const Run validate = runTool(validator, {installed(QStringLiteral("share/applications/%1.desktop").arg(AppId))});
    QVERIFY2(validate.exitCode == 0, validate.output.constData());
}

void TestInstall::mimePackageDeclaresLibraryAndUpdateFile()
{
    const QByteArray xml = readFile(installed(QStringLiteral("share/mime/packages/%1.xml").arg(AppId)));
    QVERIFY(!xml.isEmpty());
    QString error;
    const QMap<QString, MimeType> types = readMimePackage(xml, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QVERIFY(types.contains(LibraryType));
    const MimeType library = types.value(LibraryType);
    QCOMPARE(library.globs, QStringList {QStringLiteral("*.kvfl")});
    QCOMPARE(library.parents, QStringList {QStringLiteral("application/gzip")});
    QVERIFY(library.comments.contains(QStringLiteral("QRD fixture library")));

    QVERIFY(types.contains(FirmwareType));
    const MimeType firmware = types.value(FirmwareType);
    QCOMPARE(firmware.globs, QStringList {QStringLiteral("*.kv2")});
    QCOMPARE(firmware.matches.size(), 1);
    const Match magic = firmware.matches.first();
    QCOMPARE(magic.type, QStringLiteral("string"));
    QCOMPARE(magic.offset, QStringLiteral("0"));
    // The database's own escape for the NUL that ends the five bytes.
    QCOMPARE(magic.value, QStringLiteral("KVU2\\0"));
}

void TestInstall::mimeDatabaseReadsTheMagicWithItsNul()
{
    const QString updater = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (updater.isEmpty()) {
        QSKIP("update-mime-database is not installed (shared-mime-info)");
    }
    // A database of its own in a copy of the share folder, so the installed tree
    // stays as cmake left it.
    QTemporaryDir database;
    QVERIFY(database.isValid());
    QVERIFY(QDir().mkpath(database.filePath(QStringLiteral("packages"))));
    QVERIFY(QFile::copy(installed(QStringLiteral("share/mime/packages/%1.xml").arg(AppId)),
                        database.filePath(QStringLiteral("packages/%1.xml").arg(AppId))));
    const Run update = runTool(updater, {database.path()});
    QVERIFY2(update.exitCode == 0, update.output.constData());

    // Offset 0, a two-byte length of 5, and the bytes themselves, NUL included.
    const QByteArray magic = readFile(database.filePath(QStringLiteral("magic")));
    QVERIFY(magic.contains(QByteArray("[50:") + FirmwareType.toLatin1() + "]"));
    QVERIFY2(magic.contains(QByteArray(">0=\0\x05"
                                       "KVU2\0\n",
                                       11)),
             magic.toHex(' ').constData());
    const QByteArray globs = readFile(database.filePath(QStringLiteral("globs2")));
    QVERIFY(globs.contains(LibraryType.toLatin1() + ":*.kvfl"));
    QVERIFY(globs.contains(FirmwareType.toLatin1() + ":*.kv2"));
}

void TestInstall::iconIsInstalledInEveryDrawnSize_data()
{
    QTest::addColumn<int>("size");
    for (int size : drawnIconSizes()) {
        QTest::addRow("%dx%d", size, size) << size;
    }
}

void TestInstall::iconIsInstalledInEveryDrawnSize()
{
    QFETCH(int, size);
    const QString path = installed(iconPath(size));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(size, size));
}

void TestInstall::udevRuleGivesTheSeatBothDevices()
{
    const QStringList lines = ruleLines(readFile(installed(UdevRule)));
    QCOMPARE(lines.size(), 2);
    for (const char* product : {"KORVANE KVP-DEV", "KORVANE KVP-DGL"}) {
        const QString productMatch = QStringLiteral("ATTR{product}==\"%1\"").arg(QLatin1String(product));
        bool found = false;
        for (const QString& line : lines) {
            if (line.contains(productMatch)) {
                found = true;
                // The whole USB device, not one of its interfaces: libusb opens the
                // device node, and uaccess puts the seat's user on that node's ACL.
                QVERIFY2(line.contains(QLatin1String("SUBSYSTEM==\"usb\"")), qPrintable(line));
                QVERIFY2(line.contains(QLatin1String("ENV{DEVTYPE}==\"usb_device\"")), qPrintable(line));
                QVERIFY2(line.contains(QLatin1String("ATTR{idVendor}==\"0403\"")), qPrintable(line));
                QVERIFY2(line.contains(QLatin1String("TAG+=\"uaccess\"")), qPrintable(line));
            }
        }
        QVERIFY2(found, product);
    }
}

QTEST_GUILESS_MAIN(TestInstall)
#include "TestInstall.moc"
