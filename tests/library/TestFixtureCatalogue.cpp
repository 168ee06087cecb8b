// The catalogue over folders of QLC+ fixture files: what it finds, counts and keeps out,
// its order and search, and the whole catalogue QLC+ installs read as the device needs it.

#include "FixtureCatalogue.h"
#include "QKVFixtureDefinition.h"
#include "ShortNames.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace {

const QString InstalledFixtures = QStringLiteral("/usr/share/qlcplus/fixtures");

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList names(const FixtureCatalogue& catalogue, const QList<int>& indexes)
{
    QStringList result;
    for (int i : indexes) {
        result << catalogue.modes().at(i).name;
    }
    return result;
}

} // namespace

class TestFixtureCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void indexesFolderTreeOnce();
    void searchMatchesWordsInAnyOrder_data();
    void searchMatchesWordsInAnyOrder();
    void cancelledIndexLeavesNothing();
    void installedCatalogueFitsTheDevice();

private:
    QTemporaryDir m_dir;
    FixtureCatalogue m_catalogue;
};

void TestFixtureCatalogue::initTestCase()
{
    const QByteArray namespaced = readTestData("qxf/Namespaced.qxf");
    QVERIFY(writeFile(m_dir.filePath("Generic/Prefixed.qxf"), readTestData("qxf/Prefixed.qxf")));
    QVERIFY(writeFile(m_dir.filePath("Acme/deep/er/Namespaced.QXF"), namespaced));
    QVERIFY(writeFile(m_dir.filePath("Acme/Broken.qxf"), namespaced.left(namespaced.size() / 2)));
    QVERIFY(writeFile(m_dir.filePath("Acme/notes.txt"), namespaced));
    // Overlapping folders, as when a user's folder is also given by its full path.
    m_catalogue.index({m_dir.path(), m_dir.filePath("Acme"), m_dir.filePath("missing")});
}

void TestFixtureCatalogue::indexesFolderTreeOnce()
{
    QCOMPARE(m_catalogue.fileCount(), 3);
    QCOMPARE(m_catalogue.fixtureCount(), 2);
    QCOMPARE(m_catalogue.failedFiles().size(), 1);
    QVERIFY(m_catalogue.failedFiles().first().path.endsWith("Acme/Broken.qxf"));
    QVERIFY(m_catalogue.failedFiles().first().error.startsWith("line "));
    QCOMPARE(names(m_catalogue, {0, 1, 2}),
             QStringList({QString::fromUtf8("Lumière - \"Z\"... (Basic)"),
                          QString::fromUtf8("Lumière - \"Z\"... (Full 16 bit)"),
                          "Smoke 900"}));
    QCOMPARE(m_catalogue.folders().size(), 3);
}

void TestFixtureCatalogue::searchMatchesWordsInAnyOrder_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QList<int>>("found");
    QTest::newRow("nothing typed") << " " << QList<int> {0, 1, 2};
    QTest::newRow("manufacturer and model") << "generic 900" << QList<int> {2};
    QTest::newRow("any order and case") << "900 GENERIC" << QList<int> {2};
    QTest::newRow("mode") << "acme\t16 FULL" << QList<int> {1};
    QTest::newRow("without accents") << "lumiere" << QList<int> {0, 1};
    QTest::newRow("with accents") << QString::fromUtf8("LUMIÈRE basic") << QList<int> {0};
    QTest::newRow("one word missing") << "acme smoke" << QList<int> {};
}

void TestFixtureCatalogue::searchMatchesWordsInAnyOrder()
{
    QFETCH(QString, words);
    QFETCH(QList<int>, found);
    QCOMPARE(m_catalogue.search(words), found);
}

void TestFixtureCatalogue::cancelledIndexLeavesNothing()
{
    const std::atomic_bool cancel {true};
    FixtureCatalogue catalogue;
    catalogue.index({m_dir.path()});
    catalogue.index({m_dir.path()}, &cancel);
    QVERIFY(catalogue.modes().isEmpty() && catalogue.failedFiles().isEmpty());
    QCOMPARE(catalogue.fileCount() + catalogue.fixtureCount(), 0);
    QVERIFY(catalogue.search(QString()).isEmpty());
}

void TestFixtureCatalogue::installedCatalogueFitsTheDevice()
{
    if (!QFileInfo(InstalledFixtures).isDir()) {
        QSKIP("qlcplus-data is not installed (no /usr/share/qlcplus/fixtures); scripts/install-deps.sh installs it");
    }
    FixtureCatalogue catalogue;
    catalogue.index({InstalledFixtures});
    QVERIFY(catalogue.fileCount() > 0);
    std::map<QString, int> keptOut;
    int explicitChannels = 0;
    int explicitFixtures = 0;
    QHash<QString, QSet<QString>> fixtureShortNames; // file -> shown short names of its modes
    for (const QxfMode& mode : catalogue.modes()) {
        QSet<QString>& taken = fixtureShortNames[mode.file];
        QVERIFY2(!taken.contains(mode.shownShortName()), qPrintable(mode.file + ": " + mode.shownShortName()));
        taken.insert(mode.shownShortName());
        QVERIFY(mode.shownShortName().size() <= ShortNames::FixtureLength);
        explicitFixtures += !mode.autoShortName;
        if (!mode.usable()) {
            ++keptOut[QString(mode.reason).replace(QRegularExpression("^\\d+ "), "N ")];
            continue;
        }
        QHash<QString, QString> longNameOf;
        bool anyExplicit = false;
        for (const QxfChannel& channel : mode.channels) {
            const QString shown = channel.shownShortName();
            QVERIFY(shown.size() <= ShortNames::ChannelLength);
            QVERIFY2(longNameOf.value(shown, channel.name) == channel.name,
                     qPrintable(mode.name + ": " + channel.name + " / " + longNameOf.value(shown)));
            longNameOf.insert(shown, channel.name);
            anyExplicit |= !channel.autoShortName;
        }
        explicitChannels += anyExplicit;
        const int channels = mode.toDefinition()->channelCount();
        QVERIFY(channels >= 1 && channels <= QKVFixtureDefinition::MaxChannels);
    }
    qInfo("%d files, %d read, %d failed; %lld modes, %lld fixture short names explicit, "
          "%d definitions with explicit channel short names",
          catalogue.fileCount(),
          catalogue.fixtureCount(),
          static_cast<int>(catalogue.failedFiles().size()),
          static_cast<long long>(catalogue.modes().size()),
          static_cast<long long>(explicitFixtures),
          explicitChannels);
    for (const auto& [reason, count] : keptOut) {
        qInfo("kept out: %d x %s", count, qPrintable(reason));
    }
    QCOMPARE(catalogue.failedFiles().size(), 0);
}

QTEST_GUILESS_MAIN(TestFixtureCatalogue)
#include "TestFixtureCatalogue.moc"
