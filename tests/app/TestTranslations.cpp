#include "IsolatedSettings.h"
#include "ProcessRun.h"
#include "SimWindowRig.h"
#include "UiLanguage.h"

#include <QAbstractButton>
#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace korvane::KVP::test;

namespace {

/// One message of a .ts file: where it is, what it says and what became of it.
struct TsMessage
{
    QString key; // context, source and comment: what lupdate matches on
    QString source;
    bool numerus = false;
    QString type; // "unfinished", "obsolete", "vanished" or empty
    QStringList translations; // one per numerus form
};

QList<TsMessage> readTs(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<TsMessage> messages;
    QString context;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QStringView name = xml.name();
        if (name == u"name") {
            context = xml.readElementText();
        } else if (name == u"message") {
            messages.append({context, {}, xml.attributes().value(QLatin1String("numerus")) == u"yes", {}, {}});
        } else if (name == u"source") {
            messages.last().source = xml.readElementText();
            messages.last().key += QLatin1Char('|') + messages.last().source;
        } else if (name == u"comment") {
            messages.last().key += QLatin1Char('|') + xml.readElementText();
        } else if (name == u"translation") {
            messages.last().type = xml.attributes().value(QLatin1String("type")).toString();
            if (!messages.last().numerus) {
                messages.last().translations << xml.readElementText();
            }
        } else if (name == u"numerusform") {
            messages.last().translations << xml.readElementText();
        }
    }
    return xml.hasError() ? QList<TsMessage> {} : messages;
}

QStringList translationFiles()
{
    const QDir folder(QStringLiteral(QRD_SOURCE_DIR "/translations"));
    QStringList paths;
    for (const QString& name : folder.entryList({QStringLiteral("qrd-fixture-editor_*.ts")}, QDir::Files)) {
        paths << folder.filePath(name);
    }
    return paths;
}

/// The placeholders (%1, %n) of a text, sorted: a translation must keep every one.
QStringList placeholders(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%(\\d+|n)"));
    QStringList found;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        found << it.next().captured();
    }
    found.sort();
    return found;
}

/// How many accelerators (&F) a text marks; "&&" and HTML entities are not ones.
int accelerators(const QString& text)
{
    static const QRegularExpression accelerator(QStringLiteral("&(?!&|[A-Za-z]+;|#\\d+;)\\w"));
    int count = 0;
    for (auto it = accelerator.globalMatch(text); it.hasNext(); it.next()) {
        ++count;
    }
    return count;
}

QString mnemonic(const QString& text)
{
    return QKeySequence::mnemonic(text).toString();
}

/// The first accelerator used twice within one menu, or within the window's own row of
/// menu titles, buttons and labels.
QString repeatedMnemonic(QMainWindow& window)
{
    const auto firstRepeat = [](const QStringList& texts) -> QString {
        QStringList seen;
        for (const QString& text : texts) {
            const QString key = mnemonic(text);
            if (!key.isEmpty() && seen.contains(key)) {
                return text;
            }
            seen << key;
        }
        return {};
    };
    QStringList windowTexts;
    for (QAction* menu : window.menuBar()->actions()) {
        windowTexts << menu->text();
        QStringList items;
        for (QAction* item : menu->menu()->actions()) {
            items << item->text();
        }
        if (const QString repeat = firstRepeat(items); !repeat.isEmpty()) {
            return repeat;
        }
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        windowTexts << button->text();
    }
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->buddy()) {
            windowTexts << label->text();
        }
    }
    return firstRepeat(windowTexts);
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

    QTemporaryDir m_configHome;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_configHome.isValid());
        isolateSettings(m_configHome.path());
        QVERIFY(!translationFiles().isEmpty());
    }

    void everyMessageIsTranslatedWithItsPlaceholdersAndAccelerator()
    {
        for (const QString& path : translationFiles()) {
            const QList<TsMessage> messages = readTs(path);
            QVERIFY2(!messages.isEmpty(), qPrintable(path));
            for (const TsMessage& m : messages) {
                const QString where = QFileInfo(path).fileName() + ": " + m.key;
                QVERIFY2(m.type.isEmpty(), qPrintable(where + " is " + m.type));
                for (const QString& text : m.translations) {
                    QVERIFY2(!text.isEmpty(), qPrintable(where + " has no text"));
                    QVERIFY2(placeholders(text) == placeholders(m.source), qPrintable(where + " -> " + text));
                    QVERIFY2(accelerators(text) == accelerators(m.source), qPrintable(where + " -> " + text));
                }
            }
        }
    }

    /// A text added to the sources must land in every .ts, and one taken out must leave it.
    void sourcesHoldExactlyTheTranslatedMessages()
    {
        QStringList folders;
        for (const QString& layer : QStringLiteral(QRD_TRANSLATED_LAYERS).split(QLatin1Char(','))) {
            folders << QStringLiteral(QRD_SOURCE_DIR "/") + layer;
        }
        QTemporaryDir work;
        for (const QString& path : translationFiles()) {
            const QString copy = work.filePath(QFileInfo(path).fileName());
            QVERIFY(QFile::copy(path, copy));
            const ProcessRun run = runProcess(
                QStringLiteral(QRD_LUPDATE),
                folders + QStringList {"-extensions", "cpp,h,ui", "-no-obsolete", "-locations", "none", "-ts", copy});
            QVERIFY2(run.exitCode == 0, run.err.constData());
            QStringList before;
            QStringList after;
            for (const TsMessage& m : readTs(path)) {
                before << m.key;
            }
            for (const TsMessage& m : readTs(copy)) {
                after << m.key;
            }
            QStringList added = after;
            QStringList gone = before;
            for (const QString& key : before) {
                added.removeAll(key);
            }
            for (const QString& key : after) {
                gone.removeAll(key);
            }
            QVERIFY2(added.isEmpty() && gone.isEmpty(),
                     qPrintable(QStringLiteral("%1 (run update_translations): new %2; gone %3")
                                    .arg(QFileInfo(path).fileName(), added.join(" / "), gone.join(" / "))));
        }
    }

    void firstWishedLanguageWithATranslationWins_data()
    {
        QTest::addColumn<QStringList>("wishes");
        QTest::addColumn<QString>("installed");
        QTest::newRow("German") << QStringList {"de"} << "de";
        QTest::newRow("Austrian German") << QStringList {"de-AT", "de"} << "de";
        QTest::newRow("LANG form") << QStringList {"de_DE.UTF-8"} << "de";
        QTest::newRow("no French, then German") << QStringList {"fr-FR", "fr", "de"} << "de";
        QTest::newRow("English before German") << QStringList {"en-GB", "de"} << "en";
        QTest::newRow("C locale") << QStringList {"C"} << "en";
        QTest::newRow("nothing known") << QStringList {"xx", ""} << "en";
    }
    void firstWishedLanguageWithATranslationWins()
    {
        QFETCH(QStringList, wishes);
        QFETCH(QString, installed);
        const UiLanguage language(wishes);
        QCOMPARE(language.name(), installed);
        QCOMPARE(QCoreApplication::translate("MainWindow", "&File") != QLatin1String("&File"), installed != "en");
    }

    void windowSpeaksTheChosenLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QString>("deviceMessage");
        QTest::addColumn<QString>("qtButton");
        QTest::newRow("de") << "de" << QStringList {"&Datei", "&Bearbeiten", "&Hilfe"}
                            << "Das Gerät hat anscheinend nicht genug freie Speicherplätze"
                            << "&Ja";
        QTest::newRow("en") << "en" << QStringList {"&File", "&Edit", "&Help"}
                            << "The device seems not to have enough free memory slots"
                            << "&Yes";
    }
    void windowSpeaksTheChosenLanguage()
    {
        QFETCH(QString, code);
        QFETCH(QStringList, menus);
        QFETCH(QString, deviceMessage);
        QFETCH(QString, qtButton);
        const UiLanguage language(UiLanguage::wishes(code));
        WindowRig rig("records=1,free=1");
        QStringList titles;
        for (QAction* menu : rig.window.menuBar()->actions()) {
            titles << menu->text();
        }
        QCOMPARE(titles, menus);
        QVERIFY2(repeatedMnemonic(rig.window).isEmpty(), qPrintable(repeatedMnemonic(rig.window)));
        // Qt's own words follow, where the system has them.
        if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm")) {
            QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), qtButton);
        }

        // Two definitions for a device with one free slot: the refusal comes through the prompts.
        for (const char* name : {"Spot", "Wash"}) {
            QVERIFY(rig.waitIdle());
            rig.addDefinition(QLatin1String(name), 3);
        }
        rig.selectLibrary({"Spot", "Wash"});
        rig.window.uploadCurrentSelection();
        QTRY_COMPARE_WITH_TIMEOUT(rig.prompts->messages.size(), 1, RigTimeoutMs);
        QVERIFY2(rig.prompts->texts().first().startsWith(deviceMessage), qPrintable(rig.prompts->texts().first()));
        QVERIFY(rig.waitIdle());
    }

    void commandLineSpeaksTheChosenLanguage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QByteArray>("firstOption");
        const QByteArray german = "  -h, --help         Diese Hilfe anzeigen";
        const QByteArray english = "  -h, --help         Show this help";
        QTest::newRow("--lang de") << QStringList {"--lang", "de", "-h"} << "LANGUAGE=en" << german;
        QTest::newRow("--lang en over LANG") << QStringList {"--lang", "en", "-h"} << "LANG=de_DE.UTF-8" << english;
        QTest::newRow("LANGUAGE") << QStringList {"-h"} << "LANGUAGE=de" << german;
        QTest::newRow("LANG") << QStringList {"-h"} << "LANG=de_DE.UTF-8" << german;
        QTest::newRow("C") << QStringList {"-h"} << "LANG=C" << english;
    }
    void commandLineSpeaksTheChosenLanguage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QByteArray, firstOption);
        const ProcessRun run = runProcess(QStringLiteral(QRD_BIN_DIR "/qrd-fixture-editor"),
                                          arguments,
                                          {"LANGUAGE", "LC_ALL", "LC_MESSAGES", environment});
        QVERIFY2(run.exitCode == 0 && run.out.contains("\n" + firstOption), run.out.constData());
    }
};

QTEST_MAIN(TestTranslations)
#include "TestTranslations.moc"
