#include "IsolatedSettings.h"
#include "AppSettings.h"
#include "CommandLine.h"
#include "MainWindow.h"
#include "MessageHandler.h"
#include "ResourcePaths.h"

#include <QFile>
#include <QImageReader>
#include <QMetaType>
#include <QMovie>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace {

/// Captures what the process writes to standard error until text() is called.
class StderrCapture
{
public:
    StderrCapture() : m_saved(dup(STDERR_FILENO)), m_file(std::tmpfile())
    {
        std::fflush(stderr);
        dup2(fileno(m_file), STDERR_FILENO);
    }
    ~StderrCapture() { std::fclose(m_file); }
    QByteArray text()
    {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        QFile file;
        file.open(m_file, QIODevice::ReadOnly);
        file.seek(0);
        return file.readAll();
    }

private:
    int m_saved;
    FILE* m_file;
};

} // namespace

class TestApplicationShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void diagnosticsReachStderrOnlyWithDebugVariable_data();
    void diagnosticsReachStderrOnlyWithDebugVariable();
    void firstArgumentIsTheStartLibrary_data();
    void firstArgumentIsTheStartLibrary();
    void everyResourceLoads_data();
    void everyResourceLoads();
    void busyAnimationLoopsAt30Pixels();
    void licenceTextsAndFirmwareAreBundled();
    void windowShellHasTitleSizeIconSettingsAndTypes();

private:
    QTemporaryDir m_configHome;
};

void TestApplicationShell::initTestCase()
{
    // The user's own settings are never touched by a test.
    QVERIFY(m_configHome.isValid());
    isolateSettings(m_configHome.path());
    // The window looks for devices at once; no test here touches a real USB bus.
    qputenv("KVP_FTDI_BACKEND", "sim");
    qputenv("KVP_SIM_DEVICES", "");
}

void TestApplicationShell::diagnosticsReachStderrOnlyWithDebugVariable_data()
{
    QTest::addColumn<bool>("debug");
    QTest::newRow("dropped by default") << false;
    QTest::newRow("QRD_DEBUG set") << true;
}

void TestApplicationShell::diagnosticsReachStderrOnlyWithDebugVariable()
{
    QFETCH(bool, debug);
    debug ? qputenv("QRD_DEBUG", "1") : qunsetenv("QRD_DEBUG");
    const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    StderrCapture capture;
    installMessageHandler();
    qDebug("We need to clear the patch list");
    qWarning("a warning");
    qCritical("a critical message");
    qInstallMessageHandler(previous);
    qunsetenv("QRD_DEBUG");
    const QByteArray text = capture.text();
    QCOMPARE(text.contains("We need to clear the patch list"), debug);
    QCOMPARE(text.isEmpty(), !debug);
}

void TestApplicationShell::firstArgumentIsTheStartLibrary_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    const QString program = QStringLiteral("qrd-fixture-editor");
    QTest::newRow("none") << QStringList {program} << QString();
    QTest::newRow("one") << QStringList {program, QStringLiteral("a.kvfl")} << QStringLiteral("a.kvfl");
    QTest::newRow("extra arguments ignored")
        << QStringList {program, QStringLiteral("a.kvfl"), QStringLiteral("b.kvfl")} << QStringLiteral("a.kvfl");
    QTest::newRow("non-Latin-1 path") << QStringList {program, QStringLiteral("/tmp/Bühne-舞台/Show.kvfl")}
                                      << QStringLiteral("/tmp/Bühne-舞台/Show.kvfl");
}

void TestApplicationShell::firstArgumentIsTheStartLibrary()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QCOMPARE(startFileFromArguments(arguments), expected);
    MainWindow window(startFileFromArguments(arguments));
    QCOMPARE(window.startFileName(), expected);
}

void TestApplicationShell::everyResourceLoads_data()
{
    QTest::addColumn<QString>("path");
    for (const QString& path :
         {ResourcePaths::DevicePicture, ResourcePaths::WindowIcon,      ResourcePaths::NewIcon,
          ResourcePaths::OpenIcon,      ResourcePaths::SaveIcon,        ResourcePaths::SaveAsIcon,
          ResourcePaths::ImportIcon,    ResourcePaths::CancelIcon,      ResourcePaths::UploadIcon,
          ResourcePaths::DownloadIcon,  ResourcePaths::FixtureNewIcon,  ResourcePaths::FixtureDeleteIcon,
          ResourcePaths::CloneIcon,     ResourcePaths::AllSelectedIcon, ResourcePaths::NothingSelectedIcon,
          ResourcePaths::SearchIcon,    ResourcePaths::ChannelNewIcon,  ResourcePaths::ChannelDeleteIcon,
          ResourcePaths::UpIcon,        ResourcePaths::DownIcon,        ResourcePaths::FixtureIcon,
          ResourcePaths::BusyAnimation}) {
        QTest::newRow(qPrintable(path)) << path;
    }
}

void TestApplicationShell::everyResourceLoads()
{
    QFETCH(QString, path);
    QImageReader reader(path);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QVERIFY(image.width() >= 16);
}

void TestApplicationShell::busyAnimationLoopsAt30Pixels()
{
    QMovie movie(ResourcePaths::BusyAnimation);
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QVERIFY(movie.jumpToFrame(0));
    QCOMPARE(movie.currentImage().size(), QSize(30, 30));
    QImageReader reader(ResourcePaths::BusyAnimation);
    QCOMPARE(reader.loopCount(), -1); // forever
}

void TestApplicationShell::licenceTextsAndFirmwareAreBundled()
{
    for (const QString& path : {ResourcePaths::ProgramLicense, ResourcePaths::UsbLibrariesNotice}) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray text = file.readAll();
        QVERIFY(text.size() > 200);
        QVERIFY(path != ResourcePaths::ProgramLicense || text.contains("MIT"));
    }
    for (const QString& path : {ResourcePaths::Qrd540bFirmware, ResourcePaths::Qrd780Firmware}) {
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }
}

void TestApplicationShell::windowShellHasTitleSizeIconSettingsAndTypes()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("QRD-540B / QRD-780 Fixture Library Editor - [*]Unnamed"));
    QCOMPARE(window.size(), QSize(1200, 690));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.startFileName().isEmpty());

    QSettings* settings = window.settings();
    QVERIFY(settings);
    QCOMPARE(settings->organizationName(), QStringLiteral("Korvane AG"));
    QCOMPARE(settings->applicationName(), QStringLiteral("QRD-540B / QRD-780 Fixture Library Editor"));
    QVERIFY2(settings->fileName().startsWith(m_configHome.path()), qPrintable(settings->fileName()));
    QCOMPARE(AppSettings::WorkingDirKey, QStringLiteral("working_dir"));
    QCOMPARE(AppSettings::LibraryKey, QStringLiteral("library"));

    const QMetaType type = QMetaType::fromName("uint16_t");
    QVERIFY(type.isValid());
    QCOMPARE(type.id(), QMetaType::fromType<quint16>().id());
}

QTEST_MAIN(TestApplicationShell)
#include "TestApplicationShell.moc"
