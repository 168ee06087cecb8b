#include "CommandLine.h"
#include "IsolatedSettings.h"
#include "MainWindow.h"
#include "MessageHandler.h"
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
    }

    void diagnosticsReachStderrOnlyWithDebugVariable_data()
    {
        QTest::addColumn<bool>("debug");
        QTest::newRow("dropped by default") << false;
        QTest::newRow("QRD_DEBUG set") << true;
    }
    void diagnosticsReachStderrOnlyWithDebugVariable()
    {
        QFETCH(bool, debug);
        debug ? qputenv("QRD_DEBUG", "1") : qunsetenv("QRD_DEBUG");
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
        QVERIFY2(window.settings()->fileName().startsWith(m_configHome.path()),
                 qPrintable(window.settings()->fileName()));
        // The worker reports device versions as uint16_t across threads.
        QCOMPARE(QMetaType::fromName("uint16_t").id(), QMetaType::fromType<quint16>().id());
    }
};

QTEST_MAIN(TestApplicationShell)
#include "TestApplicationShell.moc"
