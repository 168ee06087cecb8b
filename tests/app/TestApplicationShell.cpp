#include "CommandLine.h"
#include "IsolatedSettings.h"
#include "MainWindow.h"
#include "MessageHandler.h"
#include "ProcessRun.h"
#include "ResourcePaths.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMetaType>
#include <QSettings>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

class TestApplicationShell : public QObject
{
    Q_OBJECT

    QTemporaryDir m_configHome;

private Q_SLOTS:
    void initTestCase()
    {
        // The user's own settings are never touched by a test.
        QVERIFY(m_configHome.isValid());
        isolateSettings(m_configHome.path());
        // The window looks for devices at once; no test here touches a real USB bus.
        qputenv("KVP_FTDI_BACKEND", "sim");
        qputenv("KVP_SIM_DEVICES", "");
        // The editors started here answer in the English these tests read, whatever the machine speaks.
        qputenv("LANGUAGE", "en");
    }

    void diagnosticsReachStderrOnlyWithDebugVariable_data()
    {
        QTest::addColumn<QByteArray>("value"); // null: not set
        QTest::newRow("dropped by default") << QByteArray();
        QTest::newRow("QRD_DEBUG=0 is off") << QByteArray("0");
        QTest::newRow("QRD_DEBUG=1") << QByteArray("1");
    }
    void diagnosticsReachStderrOnlyWithDebugVariable()
    {
        QFETCH(QByteArray, value);
        const bool debug = value == "1";
        value.isNull() ? qunsetenv("QRD_DEBUG") : qputenv("QRD_DEBUG", value);
        const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        // Standard error goes to a file while the handler speaks.
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        QTemporaryFile captured;
        QVERIFY(captured.open() && dup2(captured.handle(), STDERR_FILENO) >= 0);
        installMessageHandler();
        qDebug("a debug message");
        qWarning("a warning");
        qCritical("a critical message");
        qInstallMessageHandler(previous);
        qunsetenv("QRD_DEBUG");
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        QVERIFY(captured.seek(0));
        const QByteArray all = "debug: a debug message\nwarning: a warning\ncritical: a critical message\n";
        QCOMPARE(captured.readAll(), debug ? all : QByteArray());
    }

    void firstArgumentIsTheStartLibrary_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QStringList {"qrd-fixture-editor"} << QString();
        QTest::newRow("one") << QStringList {"qrd-fixture-editor", "a.kvfl"} << "a.kvfl";
        QTest::newRow("extra arguments ignored") << QStringList {"qrd-fixture-editor", "a.kvfl", "b.kvfl"} << "a.kvfl";
    }
    void firstArgumentIsTheStartLibrary()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QCOMPARE(startFileFromArguments(arguments), expected);
        MainWindow window(startFileFromArguments(arguments));
        QCOMPARE(window.startFileName(), expected);
    }

    void startFailuresSayWhyOnOneLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "-" first: started without a display
        QTest::addColumn<QByteArray>("output"); // the start of its only line; on standard error after a failure
        QTest::newRow("no display") << QStringList {"-"} << QByteArray("cannot open a window: could not connect to");
        QTest::newRow("unknown option") << QStringList {"--bogus"} << QByteArray("Unknown option 'bogus'.");
        QTest::newRow("version, no display") << QStringList {"-", "--version"} << QByteArray("qrd-fixture-editor 0.");
        QTest::newRow("help, Qt option") << QStringList {"-platform", "offscreen", "-h"} << QByteArray("Usage: ");
    }
    void startFailuresSayWhyOnOneLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, output);
        const QStringList environment
            = arguments.removeAll("-") ? QStringList {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"} : QStringList();
        const ProcessRun run = runProcess(QRD_BIN_DIR "/qrd-fixture-editor", arguments, environment);
        QVERIFY2(run.exitCode == 1 ? run.err.startsWith("qrd-fixture-editor: " + output) && run.err.count('\n') == 1
                                   : run.exitCode == 0 && run.out.startsWith(output),
                 run.err);
    }

    void everyResourceIsBundled()
    {
        for (const QString& path :
             {ResourcePaths::DevicePicture, ResourcePaths::WindowIcon,      ResourcePaths::NewIcon,
              ResourcePaths::OpenIcon,      ResourcePaths::SaveIcon,        ResourcePaths::SaveAsIcon,
              ResourcePaths::ImportIcon,    ResourcePaths::CancelIcon,      ResourcePaths::UploadIcon,
              ResourcePaths::DownloadIcon,  ResourcePaths::FixtureNewIcon,  ResourcePaths::FixtureDeleteIcon,
              ResourcePaths::CloneIcon,     ResourcePaths::AllSelectedIcon, ResourcePaths::NothingSelectedIcon,
              ResourcePaths::SearchIcon,    ResourcePaths::ChannelNewIcon,  ResourcePaths::ChannelDeleteIcon,
              ResourcePaths::UpIcon,        ResourcePaths::DownIcon,        ResourcePaths::FixtureIcon,
              ResourcePaths::BusyAnimation}) {
            QImageReader reader(path);
            QVERIFY2(reader.read().width() >= 16, qPrintable(path + ": " + reader.errorString()));
        }
        for (const QString& path : {ResourcePaths::ProgramLicense,
                                    ResourcePaths::UsbLibrariesNotice,
                                    ResourcePaths::Qrd540bFirmware,
                                    ResourcePaths::Qrd780Firmware}) {
            QVERIFY2(QFileInfo(path).size() > 200, qPrintable(path));
        }
    }

    void windowShellHasSizeIconSettingsAndTypes()
    {
        MainWindow window;
        QCOMPARE(window.size(), QSize(1200, 690));
        QVERIFY(!window.windowIcon().isNull());
        const QString settings = window.settings()->fileName();
        QVERIFY2(settings.startsWith(m_configHome.path()) && !settings.contains(" /"), qPrintable(settings));
        // The worker reports device versions as uint16_t across threads.
        QCOMPARE(QMetaType::fromName("uint16_t").id(), QMetaType::fromType<quint16>().id());
    }
};

QTEST_MAIN(TestApplicationShell)
#include "TestApplicationShell.moc"
