#include "PdfText.h"
#include "ProcessRun.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

/// kvfl sheet, run as scripts run it: the PDF, the names it picks, and its refusals.
class TestKvflSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray json = R"({"definitions": [
            {"name": "Spot 575", "manufacturer": "Acme", "channels": [{"name": "Pan"}, {"name": "Tilt"}]},
            {"name": "Wash 300", "manufacturer": "Bolt", "channels": [{"name": "Zoom"}]}]})";
        QCOMPARE(runKvfl({"create", path("library.kvfl")}, {}, json).exitCode, 0);
        QVERIFY(writeFile(path("junk.kvfl"), "no library"));
    }

    void writesThePdfOrRefuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("left");
        const QStringList all {"library.kvfl", "Spot 575", "Acme", "Pan", "Tilt", "Wash 300", "Bolt", "Zoom"};
        QTest::newRow("every definition")
            << QStringList {"library.kvfl", "out.pdf"} << QStringList {} << 0 << all << QString();
        // No display is needed, whatever platform the environment names.
        QTest::newRow("no display") << QStringList {"library.kvfl", "out.pdf"}
                                    << QStringList {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb"} << 0 << all
                                    << QString();
        QTest::newRow("by name") << QStringList {"library.kvfl", "out.pdf", "--name", "Wash 300"} << QStringList {} << 0
                                 << QStringList {"Wash 300", "Zoom"} << "Spot 575";
        QTest::newRow("unknown name") << QStringList {"library.kvfl", "out.pdf", "--name", "Spot"} << QStringList {}
                                      << 1 << QStringList {} << QString();
        QTest::newRow("not a library") << QStringList {"junk.kvfl", "out.pdf"} << QStringList {} << 1 << QStringList {}
                                       << QString();
        QTest::newRow("unwritable PDF") << QStringList {"library.kvfl", "missing/out.pdf"} << QStringList {} << 1
                                        << QStringList {} << QString();
        QTest::newRow("no PDF named") << QStringList {"library.kvfl"} << QStringList {} << 64 << QStringList {}
                                      << QString();
    }

    void writesThePdfOrRefuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(int, exitCode);
        QFETCH(QStringList, shown);
        QFETCH(QString, left);
        QFile::remove(path("out.pdf"));
        for (int i = 0; i < 2 && i < arguments.size(); ++i) {
            arguments[i] = path(arguments[i]);
        }
        const ProcessRun run = runKvfl(QStringList {"sheet"} + arguments, environment);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.isEmpty(), exitCode == 0);
        QCOMPARE(QFileInfo::exists(path("out.pdf")), exitCode == 0);
        if (exitCode != 0 || !havePoppler()) {
            return;
        }
        QCOMPARE(pdfPages(path("out.pdf")), 1);
        const QString text = pdfText(path("out.pdf"));
        QCOMPARE(missingInOrder(text, shown), QString());
        QVERIFY(left.isEmpty() || !text.contains(left));
    }

private:
    QString path(const QString& name) const { return m_folder.filePath(name); }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(TestKvflSheet)
#include "TestKvflSheet.moc"
