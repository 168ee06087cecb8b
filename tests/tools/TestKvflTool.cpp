#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int ProcessTimeoutMs = 60000;

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QJsonObject parseObject(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).object();
}

QByteArray libraryJson(const QJsonArray& definitions)
{
    return QJsonDocument(QJsonObject {{"definitions", definitions}}).toJson();
}

/// `changes` laid over the dump of a definition whose every field is at the default.
QJsonObject definitionWith(const QJsonObject& changes = {})
{
    QJsonObject definition = parseObject(R"({"name": "", "shortName": "", "autoShortName": true, "manufacturer": "",
        "manufacturerShort": "", "autoManufacturerShort": true, "type": -1, "channels": []})");
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        definition.insert(it.key(), it.value());
    }
    return definition;
}

QJsonObject channel(int number, const QString& name, const QString& shortName = QString(), bool autoShortName = true)
{
    return QJsonObject {{"number", number}, {"name", name}, {"shortName", shortName}, {"autoShortName", autoShortName}};
}

} // namespace

/// Runs the real kvfl binary the way scripts do and checks what it prints, what it
/// writes and how it exits.
class TestKvflTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commandLineIsCheckedBeforeAnythingRuns_data();
    void commandLineIsCheckedBeforeAnythingRuns();
    void dumpShowsEveryFieldCreateWrote_data();
    void dumpShowsEveryFieldCreateWrote();
    void createReadsAFileOrStandardInput_data();
    void createReadsAFileOrStandardInput();
    void failuresNameTheirCauseAndLeaveNoLibrary_data();
    void failuresNameTheirCauseAndLeaveNoLibrary();
    void tarListsVersionMemberThenOneDocumentPerDefinition();

private:
    Run kvfl(const QStringList& arguments, const QByteArray& input = QByteArray());
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString writeFile(const QString& name, const QByteArray& content);
    /// Runs create from a JSON file, then dump; returns the dump's definitions.
    QJsonArray roundTrip(const QJsonArray& definitions);

    QString m_kvfl;
    QTemporaryDir m_dir;
};

void TestKvflTool::initTestCase()
{
    m_kvfl = QStringLiteral(QRD_BIN_DIR "/kvfl");
    QVERIFY2(QFileInfo(m_kvfl).isExecutable(), qPrintable(m_kvfl));
    QVERIFY(m_dir.isValid());
}

Run TestKvflTool::kvfl(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(m_kvfl, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(ProcessTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        qWarning("kvfl did not finish normally: %s", qPrintable(process.errorString()));
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QString TestKvflTool::writeFile(const QString& name, const QByteArray& content)
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        qWarning("cannot write %s", qPrintable(name));
    }
    return file.fileName();
}

QJsonArray TestKvflTool::roundTrip(const QJsonArray& definitions)
{
    const QString library = path("roundtrip.kvfl");
    QFile::remove(library);
    const Run created = kvfl({"create", library, writeFile("in.json", libraryJson(definitions))});
    const Run dumped = kvfl({"dump", library});
    const QJsonObject dump = parseObject(dumped.out);
    const QJsonObject expected {
        {"version", "01.00"}, {"unsupportedContent", false}, {"definitions", dump.value("definitions")}};
    if (created.exitCode != 0 || dumped.exitCode != 0 || !dumped.err.isEmpty() || dump != expected) {
        qWarning(
            "create or dump failed: %s%s%s", created.err.constData(), dumped.err.constData(), dumped.out.constData());
        return {};
    }
    return dump.value("definitions").toArray();
}

void TestKvflTool::commandLineIsCheckedBeforeAnythingRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // 0: the usage goes to standard output, else to standard error
    QTest::addColumn<QString>("usageLine");

    const QString general = QStringLiteral("Usage: kvfl COMMAND [ARGUMENTS]");
    QTest::newRow("no arguments") << QStringList() << 64 << general;
    QTest::newRow("--help") << QStringList {"--help"} << 0 << general;
    QTest::newRow("unknown command") << QStringList {"frobnicate", "x.kvfl"} << 64 << general;
    QTest::newRow("command help") << QStringList {"create", "--help"} << 0
                                  << QStringLiteral("Usage: kvfl create LIBRARY [JSON-FILE]");
}

void TestKvflTool::commandLineIsCheckedBeforeAnythingRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, usageLine);

    const Run run = kvfl(arguments);
    QCOMPARE(run.exitCode, exitCode);
    const QByteArray& usage = exitCode == 0 ? run.out : run.err;
    QVERIFY2(usage.contains(usageLine.toUtf8()), usage.constData());
    QVERIFY2((exitCode == 0 ? run.err : run.out).isEmpty(), "the other stream must stay empty");
}

void TestKvflTool::dumpShowsEveryFieldCreateWrote_data()
{
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<QJsonObject>("expected");

    const QJsonObject full {
        {"name", QString::fromUtf8("<Bühne> & \"舞台\" 😀")},
        {"shortName", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"}, // stored uncut
        {"autoShortName", false},
        {"manufacturer", "Acme Lighting"},
        {"manufacturerShort", "ACME"},
        {"autoManufacturerShort", false},
        {"type", 10},
        {"channels",
         QJsonArray {channel(1, "Pan </DMXChannelRef>"),
                     channel(2, "Color", "Col A", false),
                     channel(3, "", "Blank", false),
                     channel(4, "Color"),
                     channel(5, "Color", "Col C", false)}},
    };
    QTest::newRow("every field, markup, unnamed and same-named channels") << full << full;
    QTest::newRow("absent fields take the defaults") << QJsonObject() << definitionWith();
    QTest::newRow("absent channel numbers count positions")
        << QJsonObject {{"channels", QJsonArray {channel(7, "Red"), QJsonObject {{"name", "Green"}}}}}
        << definitionWith({{"channels", QJsonArray {channel(7, "Red"), channel(2, "Green")}}});
    // A file names only the codes 0..10; any other is written as "Undefined".
    QTest::newRow("type 200 reads back undefined") << QJsonObject {{"type", 200}} << definitionWith();
    // The file stores a short name only when it is made by hand.
    QTest::newRow("a short name under an auto flag is not stored")
        << QJsonObject {{"shortName", "Ignored"},
                        {"manufacturerShort", "Ignored too"},
                        {"channels", QJsonArray {channel(1, "Pan", "Ignored")}}}
        << definitionWith({{"channels", QJsonArray {channel(1, "Pan")}}});
}

void TestKvflTool::dumpShowsEveryFieldCreateWrote()
{
    QFETCH(QJsonObject, input);
    QFETCH(QJsonObject, expected);

    // Neighbours make sure the definition is read back from its own member.
    const QJsonObject before {{"name", "Before"}, {"channels", QJsonArray {channel(1, "Dimmer")}}};
    const QJsonObject after {{"name", "After"}, {"type", 0}};
    const QJsonArray dumped = roundTrip({before, input, after});
    QCOMPARE(dumped.size(), 3);
    QCOMPARE(dumped.at(0).toObject(), definitionWith(before));
    QCOMPARE(QJsonDocument(dumped.at(1).toObject()).toJson(), QJsonDocument(expected).toJson());
    QCOMPARE(dumped.at(2).toObject(), definitionWith(after));
}

void TestKvflTool::createReadsAFileOrStandardInput_data()
{
    QTest::addColumn<QString>("jsonFile"); // empty: standard input without a name
    QTest::newRow("standard input") << QString();
    QTest::newRow("dash") << "-";
    QTest::newRow("file with a non-Latin-1 path") << QString::fromUtf8("Bühne-舞台/Lichtpult-照明.json");
}

void TestKvflTool::createReadsAFileOrStandardInput()
{
    QFETCH(QString, jsonFile);

    QJsonArray definitions;
    for (const QString& name : {QString("Wash 1"), QString::fromUtf8("Scheinwerfer 灯"), QString("Beam 3")}) {
        definitions.append(definitionWith({{"name", name}, {"channels", QJsonArray {channel(1, "Dimmer")}}}));
    }
    QVERIFY(QDir().mkpath(path(QString::fromUtf8("Bühne-舞台"))));
    const QString library = path(QString::fromUtf8("Bühne-舞台/Lichtpult-照明.kvfl"));
    QFile::remove(library);
    QStringList arguments {"create", library};
    QByteArray input = libraryJson(definitions);
    if (jsonFile == "-") {
        arguments << jsonFile;
    } else if (!jsonFile.isEmpty()) {
        arguments << writeFile(jsonFile, input);
        input.clear();
    }
    const Run created = kvfl(arguments, input);
    QVERIFY2(created.exitCode == 0 && created.out.isEmpty() && created.err.isEmpty(), created.err.constData());

    const Run dumped = kvfl({"dump", library});
    QCOMPARE(dumped.exitCode, 0);
    QCOMPARE(parseObject(dumped.out).value("definitions").toArray(), definitions);
    QCOMPARE(kvfl({"info", library}).out, QByteArray("version 01.00, 3 definitions, unsupported content: no\n"));
}

void TestKvflTool::failuresNameTheirCauseAndLeaveNoLibrary_data()
{
    QTest::addColumn<QStringList>("arguments"); // paths relative to the test's folder
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message"); // the start of standard error; a reason follows

    const QString openFailed = QStringLiteral("Failed to open the library.\n"); // the editor's words
    QTest::newRow("dump: missing file") << QStringList {"dump", "missing.kvfl"} << QByteArray() << openFailed;
    QTest::newRow("dump: text file") << QStringList {"dump", "notes.kvfl"} << QByteArray() << openFailed;
    QTest::newRow("info: empty file") << QStringList {"info", "empty.kvfl"} << QByteArray() << openFailed;
    QTest::newRow("info: folder") << QStringList {"info", "."} << QByteArray() << openFailed;
    const auto invalid = [](const char* name, const QByteArray& json, const QString& message) {
        QTest::newRow(name) << QStringList {"create", "refused.kvfl"} << json
                            << "Invalid library JSON in standard input: " + message;
    };
    invalid("syntax error", R"({"definitions": [)", "JSON syntax error at offset 17");
    invalid("document is an array", "[]", "the JSON document must be an object");
    invalid("definition not an object", R"({"definitions": [{}, "Spot"]})", "definitions[1] must be an object");
    invalid("type with a fraction", R"({"definitions": [{"type": 1.5}]})", "definitions[0].type must be an integer");
    invalid("channel name not a string",
            R"({"definitions": [{"channels": [{"name": "Pan"}, {"name": ["Tilt"]}]}]})",
            "definitions[0].channels[1].name must be a string");
    invalid("misspelt channel field",
            R"({"definitions": [{"channels": [{"short": "P"}]}]})",
            "definitions[0].channels[0]: unknown field");
    QTest::newRow("missing JSON file") << QStringList {"create", "refused.kvfl", "absent.json"} << QByteArray()
                                       << "Failed to read absent.json: ";
    QTest::newRow("folder missing") << QStringList {"create", "no-such-folder/lib.kvfl"}
                                    << libraryJson({QJsonObject {{"name", "Spot"}}}) << "Failed to save the library.\n";
}

void TestKvflTool::failuresNameTheirCauseAndLeaveNoLibrary()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);

    writeFile("notes.kvfl", "just some notes\n");
    writeFile("empty.kvfl", "");
    const Run run = kvfl(arguments, input);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith(message.toUtf8()) && run.err.trimmed().size() > message.size(), run.err.constData());
    QVERIFY(arguments.first() != "create" || !QFile::exists(path(arguments.at(1))));
}

void TestKvflTool::tarListsVersionMemberThenOneDocumentPerDefinition()
{
    const QString tar = QStandardPaths::findExecutable("tar");
    if (tar.isEmpty()) {
        QSKIP("tar is not installed");
    }
    QJsonArray definitions;
    for (const QString& name : QString::fromUtf8("Spot 700 Profile|spot_700 profile|KVFL|||Bühne 舞台").split('|')) {
        definitions.append(QJsonObject {{"name", name}, {"channels", QJsonArray {channel(1, "Dimmer")}}});
    }
    const QString library = path("listed.kvfl");
    QCOMPARE(kvfl({"create", library}, libraryJson(definitions)).exitCode, 0);

    QProcess process;
    process.start(tar, {"-tzvf", library});
    QVERIFY(process.waitForFinished(ProcessTimeoutMs) && process.exitCode() == 0);
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QStringList members = QString("kvfl.version spot-700-profile.xml spot-700-profile_1.xml kvfl_1.xml -.xml "
                                        "-_1.xml b-hne---.xml")
                                    .split(' ');
    QCOMPARE(lines.size(), members.size());
    // "-rw-r--r-- 0/0               5 1970-01-01 00:00 kvfl.version"
    QVERIFY2(lines.at(0).contains(QRegularExpression(" 5 \\S+ \\S+ kvfl.version$")), qPrintable(lines.at(0)));
    for (int i = 0; i < members.size(); ++i) {
        QVERIFY2(lines.at(i).startsWith("-rw-r--r-- ") && lines.at(i).endsWith(" " + members.at(i)),
                 qPrintable(lines.at(i)));
    }
}

QTEST_GUILESS_MAIN(TestKvflTool)
#include "TestKvflTool.moc"
