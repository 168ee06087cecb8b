#include "ProcessRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The name the desktop, the icon theme and the MIME database know the editor by.
const QString AppId = QStringLiteral("io.github.qrd_fixture_editor.QrdFixtureEditor");
const QString DesktopFile = QStringLiteral("share/applications/%1.desktop").arg(AppId);
const QString MimePackage = QStringLiteral("share/mime/packages/%1.xml").arg(AppId);
const QString UdevRule = QStringLiteral("lib/udev/rules.d/70-qrd-fixture-editor.rules");
// Debian wants both with every package; they are installed with every install.
const QString DocFolder = QStringLiteral("share/doc/qrd-fixture-editor/");

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Sizes of the application icon that make_resources.py drew.
QList<int> drawnIconSizes()
{
    QList<int> sizes;
    for (const QString& file : QDir(QRD_ICON_SOURCE_DIR).entryList({"qrd-fixture-editor-*.png"}, QDir::Files)) {
        sizes << file.section('-', 3).chopped(4).toInt();
    }
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

    QTemporaryDir m_prefix;
    QString installed(const QString& relative) const { return m_prefix.filePath(relative); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QVERIFY2(!drawnIconSizes().isEmpty(), "no application icons in " QRD_ICON_SOURCE_DIR);
        // A DESTDIR or a symlink install mode from the caller's shell would send the files
        // elsewhere or link them back into the build tree.
        const ProcessRun install = runProcess(QStringLiteral(QRD_CMAKE_COMMAND),
                                              {"--install", QRD_BUILD_DIR, "--prefix", m_prefix.path()},
                                              {"DESTDIR", "CMAKE_INSTALL_MODE"});
        QVERIFY2(install.exitCode == 0, (install.out + install.err).constData());
    }

    void nothingButTheProgramsDesktopFilesIconsAndDocsIsInstalled()
    {
        QStringList expected {"bin/kvfl",
                              "bin/kvp-device-sim",
                              "bin/qrd-fixture-editor",
                              DesktopFile,
                              MimePackage,
                              UdevRule,
                              DocFolder + "copyright",
                              DocFolder + "changelog.gz"};
        for (int size : drawnIconSizes()) {
            expected << iconPath(size);
            QImageReader icon(installed(iconPath(size)));
            QVERIFY2(icon.format() == "png" && icon.read().size() == QSize(size, size), qPrintable(iconPath(size)));
        }
        // Tests, benchmarks and the static libraries of the layers stay in the build tree.
        QStringList files;
        QDirIterator it(m_prefix.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << QDir(m_prefix.path()).relativeFilePath(it.next());
            QVERIFY2(!files.last().startsWith("bin/") || it.fileInfo().isExecutable(), qPrintable(files.last()));
        }
        expected.sort();
        files.sort();
        QCOMPARE(files, expected);
    }

    void installedToolRunsWithoutTheBuildTree()
    {
        // CMake rewrites the run path on install; the copy must still find every library.
        const ProcessRun help = runProcess(installed("bin/kvfl"), {"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.startsWith("Usage: kvfl"), help.err.constData());
    }

    void desktopEntryOpensALibraryInTheEditorWithItsIcon()
    {
        const QString entry = QString::fromUtf8(readFile(installed(DesktopFile)));
        // %f: a file manager hands over the one library that was opened, to the installed
        // editor, which takes its first argument as the file to open.
        QVERIFY2(entry.startsWith("[Desktop Entry]\n"), qPrintable(entry));
        const QStringList lines {
            "Type=Application", "Exec=qrd-fixture-editor %f", "MimeType=application/x-kvfl-library;"};
        for (const QString& line : lines + QStringList {"Icon=" + AppId}) {
            QVERIFY2(entry.contains('\n' + line + '\n'), qPrintable(line));
        }
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty()) {
            QSKIP("desktop-file-validate is not installed (desktop-file-utils)");
        }
        const ProcessRun validate = runProcess(validator, {installed(DesktopFile)});
        QVERIFY2(validate.exitCode == 0, (validate.out + validate.err).constData());
    }

    void mimeDatabaseKnowsLibraryAndUpdateFile()
    {
        const QString updater = QStandardPaths::findExecutable("update-mime-database");
        if (updater.isEmpty()) {
            QSKIP("update-mime-database is not installed (shared-mime-info)");
        }
        // A database of its own in a copy of the share folder, so the installed tree stays as
        // cmake left it. A package that does not parse leaves the database without its types.
        QTemporaryDir database;
        QVERIFY(database.isValid() && QDir().mkpath(database.filePath("packages")));
        QVERIFY(QFile::copy(installed(MimePackage), database.filePath("packages/" + AppId + ".xml")));
        const ProcessRun update = runProcess(updater, {database.path()});
        QVERIFY2(update.exitCode == 0, update.err.constData());
        const QByteArray globs = readFile(database.filePath("globs2"));
        QVERIFY2(globs.contains("application/x-kvfl-library:*.kvfl")
                     && globs.contains("application/x-kv2-firmware:*.kv2"),
                 globs.constData());
        // Offset 0, a two-byte length of 5, and the five bytes of every update file, NUL included.
        const QByteArray magic = readFile(database.filePath("magic"));
        static const char Magic[] = "[50:application/x-kv2-firmware]\n>0=\0\x05"
                                    "KVU2\0\n";
        QVERIFY2(magic.contains(QByteArray(Magic, sizeof Magic - 1)), magic.toHex(' ').constData());
        QVERIFY(readFile(database.filePath("subclasses")).contains("application/x-kvfl-library application/gzip\n"));
    }

    void udevRuleGivesTheSeatBothDevices()
    {
        // The whole USB device, not one of its interfaces: libusb opens the device node,
        // and uaccess puts the seat's user on that node's ACL.
        const QString rules = QString::fromUtf8(readFile(installed(UdevRule)));
        QCOMPARE(rules.count(QRegularExpression("^[^#\n]", QRegularExpression::MultilineOption)), 2);
        for (const char* product : {"KORVANE KVP-DEV", "KORVANE KVP-DGL"}) {
            QVERIFY2(rules.contains(QStringLiteral(R"(SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", )"
                                                   R"(ATTR{idVendor}=="0403", ATTR{product}=="%1", TAG+="uaccess")")
                                        .arg(product)),
                     product);
        }
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "TestInstall.moc"
