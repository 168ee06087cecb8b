#include "ProcessRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <utility>

namespace {

QByteArray libraryJson(const QJsonArray& definitions)
{
    return QJsonDocument(QJsonObject {{"definitions", definitions}}).toJson();
}

/// `changes` laid over the dump of a definition whose every field is at the default.
QJsonObject definitionWith(const QJsonObject& changes = {})
{
    QJsonObject definition = QJsonDocument::fromJson(R"({"name": "", "shortName": "", "autoShortName": true,
        "manufacturer": "", "manufacturerShort": "", "autoManufacturerShort": true, "type": -1, "channels": []})")
                                 .object();
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        definition.insert(it.key(), it.value());
    }
    return definition;
}

QJsonObject channel(int number, const QString& name, const QString& shortName = QString(), bool autoShortName = true)
{
    return QJsonObject {{"number", number}, {"name", name}, {"shortName", shortName}, {"autoShortName", autoShortName}};
}

/// A QLC+ fixture file of the manufacturer Zyxwv whose fixture has the channels C1..Cn,
/// each mode taking the first of them.
QByteArray fixtureFile(const QByteArray& model, const QByteArray& type, const QList<std::pair<QByteArray, int>>& modes)
{
    int channels = 0;
    QByteArray modeXml;
    for (const auto& [name, count] : modes) {
        channels = std::max(channels, count);
        modeXml += "<Mode Name=\"" + name + "\">";
        for (int i = 0; i < count; ++i) {
            modeXml += "<Channel Number=\"" + QByteArray::number(i) + "\">C" + QByteArray::number(i + 1) + "</Channel>";
        }
        modeXml += "</Mode>";
    }
    QByteArray xml = "<?xml version=\"1.0\"?>\n<FixtureDefinition xmlns=\"http://www.qlcplus.org/FixtureDefinition\">"
                     "<Manufacturer>Zyxwv</Manufacturer><Model>"
        + model + "</Model><Type>" + type + "</Type>";
    for (int i = 1; i <= channels; ++i) {
        xml += "<Channel Name=\"C" + QByteArray::number(i) + "\"/>";
    }
    return xml + modeXml + "</FixtureDefinition>\n";
}

/// The strings of a JSON array, or the `key` field of each of its objects.
QStringList strings(const QJsonValue& array, const char* key = nullptr)
{
    QStringList list;
    for (const QJsonValue& value : array.toArray()) {
        list.append(key ? value[QLatin1String(key)].toString() : value.toString());
    }
    return list;
}

/// A definition of `channels` channels named C1, C2, ...
QJsonObject withChannels(const QString& name, int channels)
{
    QJsonArray list;
    for (int i = 1; i <= channels; ++i) {
        list.append(QJsonObject {{"name", "C" + QString::number(i)}});
    }
    return QJsonObject {{"name", name}, {"channels", list}};
}

// One definition the devices hold exactly, two they change, two they refuse.
const QString LongName(101, QLatin1Char('L'));
const QString WideName = QString::fromUtf8("Par 中");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

/// Runs the real kvfl binary the way scripts do and checks what it prints, what it
/// writes and how it exits.
class TestKvflTool : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()) && QDir().mkpath("qxf/sub"));
        QVERIFY(writeFile("qxf/spot.qxf", fixtureFile("Spot 250", "Moving Head", {{"Basic", 3}, {"Huge", 46}})));
        QVERIFY(writeFile("qxf/sub/fogger.qxf", fixtureFile("Fogger", "Smoke", {{"Normal", 2}})));
        QVERIFY(writeFile("qxf/broken.qxf", "<FixtureDefinition><Model>Cut short"));
        QVERIFY(QFile::copy(QRD_TEST_DATA_DIR "/UnreadableMember.kvfl", "partial.kvfl"));
        const QJsonArray fit {withChannels("Fine", 2),
                              withChannels(LongName, 1),
                              withChannels(WideName, 1),
                              withChannels("Wide", 46),
                              withChannels("Zero", 0)};
        QCOMPARE(runKvfl({"create", "fit.kvfl"}, {}, libraryJson(fit)).exitCode, 0);
    }

    void checkReportsWhatTheDevicesRefuseOrChange_data()
    {
        QTest::addColumn<QStringList>("names"); // --name options
        QTest::addColumn<QStringList>("findings"); // per definition: "NAME: SEVERITY FIELD, ..."
        QTest::addColumn<int>("exitCode");
        const QString changedName = QStringLiteral(": changed Fixture Name");
        const QString refused = QStringLiteral(": refused Channels");
        QTest::newRow("fine") << QStringList {"Fine"} << QStringList {"Fine:"} << 0;
        QTest::newRow("name too long") << QStringList {LongName} << QStringList {LongName + changedName} << 0;
        QTest::newRow("outside Latin-1") << QStringList {WideName} << QStringList {WideName + changedName} << 0;
        QTest::newRow("46 channels") << QStringList {"Wide"} << QStringList {"Wide" + refused + ", changed Channels"}
                                     << 1;
        QTest::newRow("no channel") << QStringList {"Zero"} << QStringList {"Zero" + refused} << 1;
        QTest::newRow("names in library order")
            << QStringList {WideName, "Fine"} << QStringList {"Fine:", WideName + changedName} << 0;
        QTest::newRow("all") << QStringList()
                             << QStringList {"Fine:",
                                             LongName + changedName,
                                             WideName + changedName,
                                             "Wide" + refused + ", changed Channels",
                                             "Zero" + refused}
                             << 1;
        QTest::newRow("unknown name") << QStringList {"Fine", "Nope"} << QStringList() << 1;
    }
    void checkReportsWhatTheDevicesRefuseOrChange()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, findings);
        QStringList arguments {"check", "fit.kvfl"};
        for (const QString& name : names) {
            arguments << "--name" << name;
        }
        const ProcessRun run = runKvfl(arguments);
        QTEST(run.exitCode, "exitCode");
        QStringList printed;
        for (const QJsonValue& definition : QJsonDocument::fromJson(run.out).array()) {
            QStringList found;
            for (const QJsonValue& finding : definition["findings"].toArray()) {
                found << finding["severity"].toString() + ' ' + finding["field"].toString();
            }
            printed << definition["name"].toString() + ':' + (found.isEmpty() ? "" : ' ' + found.join(", "));
        }
        QCOMPARE(printed, findings);
        QCOMPARE(run.err.isEmpty(), !findings.isEmpty());
    }

    void catalogueSearchesGivenFoldersBesidesQlcPlus()
    {
        // QLC+'s own fixtures are read too; the made-up manufacturer keeps them out of the result.
        const ProcessRun run = runKvfl({"catalogue", "--folder", "qxf", "--search", "SPOT  zyxwv"});
        QCOMPARE(run.exitCode, 0);
        const QString broken = QFileInfo("qxf/broken.qxf").canonicalFilePath();
        QVERIFY2(run.err.contains(("Failed to read " + broken + ": line ").toUtf8()), run.err.constData());
        QJsonArray modes = QJsonDocument::fromJson(run.out).array();
        QJsonObject huge = modes.last().toObject();
        QVERIFY2(huge.take("reason").toString().startsWith("46 channels"), run.out.constData());
        modes.replace(modes.size() - 1, huge);
        const auto mode = [](const QString& name, int channels) {
            return QJsonObject {{"manufacturer", "Zyxwv"},
                                {"model", "Spot 250"},
                                {"mode", name},
                                {"name", "Spot 250 (" + name + ")"},
                                {"type", 0},
                                {"channels", channels},
                                {"file", QFileInfo("qxf/spot.qxf").canonicalFilePath()}};
        };
        QCOMPARE(modes, (QJsonArray {mode("Basic", 3), mode("Huge", 46)}));
    }

    void importQxfAddsUsableModesOnce_data()
    {
        QTest::addColumn<QStringList>("sources"); // the arguments after the library
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("skipped");
        QTest::addColumn<QStringList>("failed");
        QTest::newRow("folder at any depth, one file broken")
            << QStringList {"qxf"} << QStringList {"Spot 250 (Basic)", "Fogger"} << QStringList {"Spot 250 (Huge)"}
            << QStringList {"qxf/broken.qxf"};
        QTest::newRow("modes by mode and by definition name")
            << QStringList {"qxf/spot.qxf", "--mode", "Huge", "qxf/sub/fogger.qxf", "--mode=Fogger"}
            << QStringList {"Fogger"} << QStringList {"Spot 250 (Huge)"} << QStringList();
        QTest::newRow("missing file") << QStringList {"absent.qxf", "qxf/spot.qxf", "--mode", "Basic"}
                                      << QStringList {"Spot 250 (Basic)"} << QStringList()
                                      << QStringList {"absent.qxf"};
    }
    void importQxfAddsUsableModesOnce()
    {
        QFETCH(QStringList, sources);
        QFETCH(QStringList, added);
        QFETCH(QStringList, skipped);
        QFETCH(QStringList, failed);
        QFile::remove("imported.kvfl");
        const QStringList arguments = QStringList {"import-qxf", "imported.kvfl"} + sources;
        const ProcessRun first = runKvfl(arguments);
        QCOMPARE(first.exitCode, failed.isEmpty() ? 0 : 1);
        const QJsonObject summary = QJsonDocument::fromJson(first.out).object();
        QCOMPARE(strings(summary["added"]), added);
        QCOMPARE(strings(summary["skipped"], "name"), skipped);
        QCOMPARE(strings(summary["failed"], "file"), failed);
        for (const QString& file : failed) {
            QVERIFY2(first.err.contains(("Failed to read " + file + ": ").toUtf8()), first.err.constData());
        }

        const QJsonArray definitions
            = QJsonDocument::fromJson(runKvfl({"dump", "imported.kvfl"}).out)["definitions"].toArray();
        QCOMPARE(strings(definitions, "name"), added);
        for (const QJsonValue& definition : definitions) {
            QCOMPARE(definition["manufacturer"].toString(), QString("Zyxwv"));
            QCOMPARE(definition["channels"].toArray().size(), definition["name"] == "Fogger" ? 2 : 3);
        }

        // The same import again finds every mode it added in the library.
        const ProcessRun again = runKvfl(arguments);
        QCOMPARE(again.exitCode, first.exitCode);
        const QJsonObject repeated = QJsonDocument::fromJson(again.out).object();
        QStringList skippedAgain = strings(repeated["skipped"], "name");
        QStringList expected = skipped + added;
        skippedAgain.sort();
        expected.sort();
        QVERIFY(repeated["added"].toArray().isEmpty());
        QCOMPARE(skippedAgain, expected);
    }

    void createWritesWhatDumpShows_data()
    {
        QTest::addColumn<QStringList>("source"); // the JSON file create is given, if any
        QTest::newRow("standard input") << QStringList();
        QTest::newRow("dash") << QStringList {"-"};
        QTest::newRow("file with a non-Latin-1 path")
            << QStringList {QString::fromUtf8("Bühne-舞台/Lichtpult-照明.json")};
    }
    void createWritesWhatDumpShows()
    {
        QFETCH(QStringList, source);
        // Markup, unnamed and same-named channels; a short name is stored uncut.
        const QJsonObject full = QJsonDocument::fromJson(R"({"name": "<Bühne> & \u0022舞台\u0022 😀",
            "shortName": "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "autoShortName": false, "manufacturer": "Acme Lighting",
            "manufacturerShort": "ACME", "autoManufacturerShort": false, "type": 10, "channels": [
            {"number": 1, "name": "Pan </DMXChannelRef>", "shortName": "", "autoShortName": true},
            {"number": 2, "name": "Color", "shortName": "Col A", "autoShortName": false},
            {"number": 3, "name": "", "shortName": "Blank", "autoShortName": false},
            {"number": 4, "name": "Color", "shortName": "", "autoShortName": true},
            {"number": 5, "name": "Color", "shortName": "Col C", "autoShortName": false}]})")
                                     .object();
        // Absent fields take the defaults, absent channel numbers count positions, a file
        // names only the type codes 0..10, and keeps a short name only when it is made by hand.
        QJsonArray input = QJsonDocument::fromJson(R"([{}, {"type": 0, "channels": [{"number": 7, "name": "Red"},
            {"name": "Green"}]}, {"type": 200}, {"shortName": "Ignored", "manufacturerShort": "Ignored too",
            "channels": [{"number": 1, "name": "Pan", "shortName": "Ignored"}]}])")
                               .array();
        input.prepend(full);
        const QJsonArray expected {
            full,
            definitionWith(),
            definitionWith({{"type", 0}, {"channels", QJsonArray {channel(7, "Red"), channel(2, "Green")}}}),
            definitionWith(),
            definitionWith({{"channels", QJsonArray {channel(1, "Pan")}}}),
        };
        QVERIFY(QDir().mkpath(QString::fromUtf8("Bühne-舞台")));
        const QString library = QString::fromUtf8("Bühne-舞台/Lichtpult-照明.kvfl");
        QFile::remove(library);
        const bool fromFile = source.value(0).size() > 1;
        QVERIFY(!fromFile || writeFile(source.at(0), libraryJson(input)));
        const ProcessRun created
            = runKvfl(QStringList {"create", library} + source, {}, fromFile ? "" : libraryJson(input));
        QVERIFY2(created.exitCode == 0 && created.out.isEmpty() && created.err.isEmpty(), created.err.constData());
        const ProcessRun dumped = runKvfl({"dump", library});
        QVERIFY2(dumped.exitCode == 0 && dumped.err.isEmpty(), dumped.err.constData());
        const QJsonObject dump {{"version", "01.00"}, {"unsupportedContent", false}, {"definitions", expected}};
        QCOMPARE(dumped.out, QJsonDocument(dump).toJson());
        QCOMPARE(runKvfl({"info", library}).out,
                 QByteArray("version 01.00, 5 definitions, unsupported content: no, unreadable: 0\n"));
    }

    void unreadableMembersAreNamedAndCounted()
    {
        const QString library = QStringLiteral(QRD_TEST_DATA_DIR "/UnreadableMember.kvfl");
        const ProcessRun info = runKvfl({"info", library});
        QCOMPARE(info.out, QByteArray("version 01.00, 1 definition, unsupported content: no, unreadable: 1\n"));
        QCOMPARE(info.err,
                 QByteArray("Warning: the member cut-short.xml could not be read; its definition is left out.\n"));
        QCOMPARE(runKvfl({"dump", library}).err, info.err);
    }

    void failuresNameTheirCauseAndLeaveNoLibrary_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("message"); // the start of standard error; a reason follows
        const QString openFailed = QStringLiteral("Failed to open the library.\n"); // the editor's words
        QTest::newRow("dump: missing file") << QStringList {"dump", "missing.kvfl"} << QByteArray() << openFailed;
        QTest::newRow("info: text file") << QStringList {"info", "notes.kvfl"} << QByteArray() << openFailed;
        QTest::newRow("check: text file") << QStringList {"check", "notes.kvfl"} << QByteArray() << openFailed;
        const auto invalid = [](const char* name, const QByteArray& json, const QString& message) {
            QTest::newRow(name) << QStringList {"create", "refused.kvfl"} << json
                                << "Invalid library JSON in standard input: " + message;
        };
        invalid("syntax error", R"({"definitions": [)", "JSON syntax error at offset 17");
        invalid("document is an array", "[]", "the JSON document must be an object");
        // Definitions of a library; the messages name the place of the fault in it.
        const auto definitions = [&](const char* name, const QByteArray& json, const QString& message) {
            invalid(name, R"({"definitions": [)" + json + "]}", "definitions[" + message);
        };
        definitions("definition not an object", R"({}, "Spot")", "1] must be an object");
        definitions("type with a fraction", R"({"type": 1.5})", "0].type must be an integer");
        definitions("channel name not a string", R"({"channels": [{}, {"name": []}]})", "0].channels[1].name must be");
        definitions("misspelt channel field", R"({"channels": [{"short": "P"}]})", "0].channels[0]: unknown field");
        QTest::newRow("missing JSON file")
            << QStringList {"create", "refused.kvfl", "absent.json"} << QByteArray() << "Failed to read absent.json: ";
        QTest::newRow("import-qxf: text file")
            << QStringList {"import-qxf", "notes.kvfl", "qxf"} << QByteArray() << openFailed;
        QTest::newRow("import-qxf: library read in part")
            << QStringList {"import-qxf", "partial.kvfl", "qxf"} << QByteArray() << openFailed;
        QTest::newRow("download: library read in part")
            << QStringList {"download", "partial.kvfl"} << QByteArray() << openFailed;
        QTest::newRow("catalogue: folder missing")
            << QStringList {"catalogue", "--folder", "absent"} << QByteArray() << "Not a folder: ";
        QTest::newRow("folder missing") << QStringList {"create", "no-such-folder/lib.kvfl"}
                                        << libraryJson({QJsonObject {{"name", "Spot"}}})
                                        << "Failed to save the library.\n";
    }
    void failuresNameTheirCauseAndLeaveNoLibrary()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, message);
        QVERIFY(writeFile("notes.kvfl", "just some notes\n"));
        const ProcessRun run = runKvfl(arguments, {}, input);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith(message.toUtf8()) && run.err.trimmed().size() > message.size(),
                 run.err.constData());
        QVERIFY(arguments.first() != "create" || !QFile::exists(arguments.at(1)));
        // A library read only in part is left as it was.
        QCOMPARE(fileBytes("partial.kvfl"), fileBytes(QRD_TEST_DATA_DIR "/UnreadableMember.kvfl"));
    }
};

QTEST_GUILESS_MAIN(TestKvflTool)
#include "TestKvflTool.moc"
