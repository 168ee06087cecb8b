#include "ProcessRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Where dpkg puts the install tree: the packaging prefix of dist/deb/.
const QString PackagePrefix = QStringLiteral("./usr/");

/// One line of `dpkg-deb --contents`: "drwxr-xr-x root/root 0 2026-01-01 00:00 ./usr/".
struct PackageEntry
{
    QString mode;
    QString owner;
    QString path;
};

} // namespace

/// Packs this very build with the project's CPack configuration, as scripts/make-deb.sh
/// does for a release, and checks the package as dpkg sees it: the control fields, the
/// maintainer scripts, and a file tree that is the `cmake --install` tree under /usr.
class TestDebianPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_package;

    QString work(const QString& relative) const { return m_work.filePath(relative); }

    ProcessRun dpkgDeb(const QStringList& arguments) const { return runProcess(QStringLiteral("dpkg-deb"), arguments); }

    QString field(const QString& name) const
    {
        return QString::fromUtf8(dpkgDeb({"--field", m_package, name}).out).trimmed();
    }

    QList<PackageEntry> entries() const
    {
        QList<PackageEntry> list;
        const QString contents = QString::fromUtf8(dpkgDeb({"--contents", m_package}).out);
        for (const QString& line : contents.split('\n', Qt::SkipEmptyParts)) {
            const QStringList words = line.split(' ', Qt::SkipEmptyParts);
            list.append({words.value(0), words.value(1), words.value(5)});
        }
        return list;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("dpkg-deb").isEmpty()
            || QStandardPaths::findExecutable("dpkg-shlibdeps").isEmpty()) {
            QSKIP("dpkg-deb or dpkg-shlibdeps is not installed (dpkg, dpkg-dev)");
        }
        QVERIFY(m_work.isValid());
        // A DESTDIR from the caller's shell would stage the tree elsewhere. The umask would
        // keep every folder from other users if the package took the builder's.
        const ProcessRun pack = runProcess(QStringLiteral("sh"),
                                           {"-c",
                                            "umask 077 && exec \"$0\" \"$@\"",
                                            QRD_CPACK_COMMAND,
                                            "--config",
                                            QRD_BUILD_DIR "/CPackConfig.cmake",
                                            "-B",
                                            work("out")},
                                           {"DESTDIR", "CMAKE_INSTALL_MODE"});
        QVERIFY2(pack.exitCode == 0, (pack.out + pack.err).constData());
        const QStringList packages = QDir(work("out")).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(packages.size(), 1);
        m_package = work("out/" + packages.first());
        const ProcessRun arch = runProcess(QStringLiteral("dpkg"), {"--print-architecture"});
        QCOMPARE(packages.first(),
                 QStringLiteral("qrd-fixture-editor_%1_%2.deb").arg(QRD_PROJECT_VERSION, arch.out.trimmed()));
    }

    void controlFieldsNameThePackageAndItsLibraries_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("name") << "Package"
                              << "^qrd-fixture-editor$";
        QTest::newRow("version") << "Version"
                                 << "^" QRD_PROJECT_VERSION "$";
        QTest::newRow("section") << "Section"
                                 << "^electronics$";
        QTest::newRow("maintainer") << "Maintainer"
                                    << "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$";
        // A summary line, then the long text indented by one space.
        QTest::newRow("description") << "Description"
                                     << "^\\S.{9,79}\\n( \\S.*\\n| \\.\\n)+ \\S.*$";
        // Computed by dpkg-shlibdeps from the binaries, each with its lowest version.
        for (const char* library : {"libqt6widgets6", "libqt6core6", "libarchive13", "libftdi1-2", "libusb-1.0-0"}) {
            QTest::addRow("depends on %s", library)
                << "Depends" << QStringLiteral("(^|, )%1 \\(>= [^)]+\\)(,|$)").arg(QRegularExpression::escape(library));
        }
    }
    void controlFieldsNameThePackageAndItsLibraries()
    {
        QFETCH(QString, field);
        QFETCH(QString, pattern);
        const QString value = this->field(field);
        QVERIFY2(QRegularExpression(pattern).match(value).hasMatch(), qPrintable(field + ": " + value));
    }

    void maintainerScriptsAreExecutableShellScripts()
    {
        QVERIFY(dpkgDeb({"--control", m_package, work("control")}).exitCode == 0);
        for (const QString script : {"postinst", "postrm"}) {
            const QFileInfo info(work("control/" + script));
            QVERIFY2(info.isExecutable(), qPrintable(script));
            const ProcessRun syntax = runProcess(QStringLiteral("sh"), {"-n", info.filePath()});
            QVERIFY2(syntax.exitCode == 0, syntax.err.constData());
        }
        QVERIFY(QFileInfo::exists(work("control/md5sums")));
    }

    void filesAreTheInstallTreeUnderUsrOwnedByRoot()
    {
        const ProcessRun install = runProcess(QStringLiteral(QRD_CMAKE_COMMAND),
                                              {"--install", QRD_BUILD_DIR, "--prefix", work("prefix")},
                                              {"DESTDIR", "CMAKE_INSTALL_MODE"});
        QVERIFY2(install.exitCode == 0, (install.out + install.err).constData());
        QStringList installed;
        QDirIterator it(work("prefix"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            installed << PackagePrefix + QDir(work("prefix")).relativeFilePath(it.next());
        }
        QVERIFY(installed.contains("./usr/lib/udev/rules.d/70-qrd-fixture-editor.rules"));
        QVERIFY(installed.contains("./usr/share/doc/qrd-fixture-editor/copyright"));

        QStringList packed;
        for (const PackageEntry& entry : entries()) {
            QVERIFY2(entry.path.startsWith(PackagePrefix) && entry.owner == "root/root", qPrintable(entry.path));
            // dpkg makes new folders with the modes packed.
            const bool directory = entry.path.endsWith('/');
            const QString mode = directory                      ? "drwxr-xr-x"
                : entry.path.startsWith(PackagePrefix + "bin/") ? "-rwxr-xr-x"
                                                                : "-rw-r--r--";
            QVERIFY2(entry.mode == mode, qPrintable(entry.mode + ' ' + entry.path));
            if (!directory) {
                packed << entry.path;
            }
        }
        installed.sort();
        packed.sort();
        QCOMPARE(packed, installed);
    }

    void packedProgramsReportThePackageVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("editor") << "qrd-fixture-editor";
        QTest::newRow("command-line tool") << "kvfl";
    }
    void packedProgramsReportThePackageVersion()
    {
        QFETCH(QString, program);
        if (!QFileInfo::exists(work("root"))) {
            QVERIFY(dpkgDeb({"--extract", m_package, work("root")}).exitCode == 0);
        }
        // Stripped and without the build tree's run path: the system's libraries must do.
        const ProcessRun run = runProcess(work("root/usr/bin/" + program), {"--version"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("%1 %2\n").arg(program, field("Version")));
    }
};

QTEST_GUILESS_MAIN(TestDebianPackage)
#include "TestDebianPackage.moc"
