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
const char* const LoadFailedMessage = "Failed to open the library.";

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QJsonObject parseObject(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qWarning("not a JSON object (%s): %s", qPrintable(error.errorString()), text.constData());
        return {};
    }
    return document.object();
}

QByteArray libraryJson(const QJsonArray& definitions)
{
    return QJsonDocument(QJsonObject {{QStringLiteral("definitions"), definitions}}).toJson();
}

/// The dump of a definition whose every field is at the model's default.
QJsonObject defaultDefinition()
{
    return parseObject(R"({"name": "", "shortName": "", "autoShortName": true,
                           "manufacturer": "", "manufacturerShort": "", "autoManufacturerShort": true,
                           "type": -1, "channels": []})");
}

/// `changes` laid over the default definition.
QJsonObject definitionWith(const QJsonObject& changes)
{
    QJsonObject definition = defaultDefinition();
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        definition.insert(it.key(), it.value());
    }
    return definition;
}

QJsonObject channel(int number, const QString& name, const QString& shortName = QString(), bool autoShortName = true)
{
    return QJsonObject {{QStringLiteral("number"), number},
                        {QStringLiteral("name"), name},
                        {QStringLiteral("shortName"), shortName},
                        {QStringLiteral("autoShortName"), autoShortName}};
}

QByteArray firstLine(const QByteArray& text)
{
    const qsizetype end = text.indexOf('\n');
    return end < 0 ? text : text.left(end);
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
    void createReadsStandardInputLikeAFile_data();
    void createReadsStandardInputLikeAFile();
    void infoSummarisesTheLibrary_data();
    void infoSummarisesTheLibrary();
    void unsupportedContentIsReported();
    void damageAfterSomeMembersIsAWarning();

    void unreadableLibraryFailsWithTheEditorsMessage_data();
    void unreadableLibraryFailsWithTheEditorsMessage();
    void badJsonIsRefusedNamingItsPlace_data();
    void badJsonIsRefusedNamingItsPlace();
    void missingJsonFileIsReported();
    void failedSaveGivesTheArchivesReason();

    void libraryInNonLatin1FolderIsCreatedAndDumped();
    void tarListsVersionMemberThenOneDocumentPerDefinition_data();
    void tarListsVersionMemberThenOneDocumentPerDefinition();

private:
    Run kvfl(const QStringList& arguments, const QByteArray& input = QByteArray());
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString writeFile(const QString& name, const QByteArray& content);
    /// Runs create from a JSON file, then dump; returns the dump's definitions.
    QJsonArray roundTrip(const QJsonArray& definitions);
    /// Builds a library with the system's tar and gzip, for files this program would
    /// not write; with `damagedAtEnd` the block after the last member is garbage.
    /// Empty when tar or gzip is missing.
    QString tarLibrary(const QString& name, const QList<QPair<QString, QByteArray>>& members, bool damagedAtEnd);

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
    process.setProgram(m_kvfl);
    process.setArguments(arguments);
    process.start();
    Run run;
    if (!process.waitForStarted(ProcessTimeoutMs)) {
        qWarning("kvfl did not start: %s", qPrintable(process.errorString()));
        return run;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(ProcessTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        qWarning("kvfl did not finish normally: %s", qPrintable(process.errorString()));
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QString TestKvflTool::writeFile(const QString& name, const QByteArray& content)
{
    const QString filePath = path(name);
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        qWarning("cannot write %s", qPrintable(filePath));
    }
    return filePath;
}

QJsonArray TestKvflTool::roundTrip(const QJsonArray& definitions)
{
    const QString json = writeFile(QStringLiteral("in.json"), libraryJson(definitions));
    const QString library = path(QStringLiteral("roundtrip.kvfl"));
    QFile::remove(library);
    const Run created = kvfl({QStringLiteral("create"), library, json});
    if (created.exitCode != 0) {
        qWarning("create failed: %s", created.err.constData());
        return {};
    }
    const Run dumped = kvfl({QStringLiteral("dump"), library});
    if (dumped.exitCode != 0 || !dumped.err.isEmpty()) {
        qWarning("dump failed: %s", dumped.err.constData());
        return {};
    }
    const QJsonObject dump = parseObject(dumped.out);
    if (dump.value(QStringLiteral("version")) != QStringLiteral("01.00")
        || dump.value(QStringLiteral("unsupportedContent")) != false || dump.size() != 3) {
        qWarning("unexpected library fields: %s", dumped.out.constData());
        return {};
    }
    return dump.value(QStringLiteral("definitions")).toArray();
}

void TestKvflTool::commandLineIsCheckedBeforeAnythingRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("usageOnStandardOutput");
    QTest::addColumn<QString>("usageLine");

    const QString general = QStringLiteral("Usage: kvfl COMMAND [ARGUMENTS]");
    QTest::newRow("no arguments") << QStringList() << 2 << false << general;
    QTest::newRow("--help") << QStringList {"--help"} << 0 << true << general;
    QTest::newRow("-h") << QStringList {"-h"} << 0 << true << general;
    QTest::newRow("unknown command") << QStringList {"frobnicate", "x.kvfl"} << 2 << false << general;
    QTest::newRow("command help") << QStringList {"create", "--help"} << 0 << true
                                  << QStringLiteral("Usage: kvfl create LIBRARY [JSON-FILE]");
    QTest::newRow("missing library") << QStringList {"dump"} << 2 << false
                                     << QStringLiteral("Usage: kvfl dump LIBRARY");
    QTest::newRow("too many arguments") << QStringList {"info", "a.kvfl", "b.kvfl"} << 2 << false
                                        << QStringLiteral("Usage: kvfl info LIBRARY");
    QTest::newRow("unknown option") << QStringList {"dump", "--pretty", "a.kvfl"} << 2 << false
                                    << QStringLiteral("Usage: kvfl dump LIBRARY");
}

void TestKvflTool::commandLineIsCheckedBeforeAnythingRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, usageOnStandardOutput);
    QFETCH(QString, usageLine);

    const Run run = kvfl(arguments);
    QCOMPARE(run.exitCode, exitCode);
    const QByteArray& usageStream = usageOnStandardOutput ? run.out : run.err;
    const QByteArray& otherStream = usageOnStandardOutput ? run.err : run.out;
    QVERIFY2(usageStream.contains(usageLine.toUtf8()), usageStream.constData());
    QVERIFY2(otherStream.isEmpty(), otherStream.constData());
    if (usageLine.contains(QLatin1String("COMMAND"))) {
        for (const char* command : {"  dump LIBRARY", "  create LIBRARY [JSON-FILE]", "  info LIBRARY"}) {
            QVERIFY2(usageStream.contains(command), command);
        }
    }
}

void TestKvflTool::dumpShowsEveryFieldCreateWrote_data()
{
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<QJsonObject>("expected");

    const QJsonObject full {
        {"name", "Spot 700 Profile"},
        {"shortName", "SP700"},
        {"autoShortName", false},
        {"manufacturer", "Acme Lighting"},
        {"manufacturerShort", "ACME"},
        {"autoManufacturerShort", false},
        {"type", 0},
        {"channels", QJsonArray {channel(1, "Pan"), channel(2, "Pan fine", "Pan f", false), channel(3, "Dimmer")}},
    };
    QTest::newRow("every field, hand-made short names") << full << full;

    QTest::newRow("absent fields take the defaults") << QJsonObject() << defaultDefinition();

    QTest::newRow("absent channel numbers count positions")
        << QJsonObject {{"channels", QJsonArray {QJsonObject {{"name", "Pan"}}, QJsonObject {{"name", "Tilt"}}}}}
        << definitionWith({{"channels", QJsonArray {channel(1, "Pan"), channel(2, "Tilt")}}});

    QTest::newRow("given channel numbers are kept")
        << QJsonObject {{"channels", QJsonArray {channel(7, "Red"), QJsonObject {{"name", "Green"}}}}}
        << definitionWith({{"channels", QJsonArray {channel(7, "Red"), channel(2, "Green")}}});

    const QJsonObject unicode {
        {"name", QString::fromUtf8("Bühne 舞台 Spot 😀")},
        {"shortName", QString::fromUtf8("Bühne 舞台")},
        {"autoShortName", false},
        {"manufacturer", QString::fromUtf8("Łódź Świateł")},
        {"channels", QJsonArray {channel(1, QString::fromUtf8("Farbrad 色轮"), QString::fromUtf8("Färb 色"), false)}},
    };
    QTest::newRow("unicode names") << unicode << definitionWith(unicode);

    const QJsonObject markup {{"name", "<Spot> & \"Wash\" 'A'"},
                              {"channels", QJsonArray {channel(1, "Pan </DMXChannelRef>")}}};
    QTest::newRow("markup characters in names") << markup << definitionWith(markup);

    const QJsonObject emptyChannelName {
        {"channels", QJsonArray {channel(1, "Dimmer"), channel(2, "", "Blank", false), channel(3, "Strobe")}}};
    QTest::newRow("an empty channel name keeps its channel") << emptyChannelName << definitionWith(emptyChannelName);

    const QJsonObject sameNames {
        {"channels",
         QJsonArray {channel(1, "Color", "Col A", false), channel(2, "Color"), channel(3, "Color", "Col C", false)}}};
    QTest::newRow("channels of one name keep their own short names") << sameNames << definitionWith(sameNames);

    const QJsonObject noChannels {{"name", "Hazer 2000"}, {"type", 7}, {"channels", QJsonArray()}};
    QTest::newRow("no channels") << noChannels << definitionWith(noChannels);

    for (int type = 0; type <= 10; ++type) {
        const QJsonObject typed {{"type", type}};
        QTest::addRow("type %d keeps its code", type) << typed << definitionWith(typed);
    }
    // A file names only the codes 0..10; any other is written as "Undefined".
    QTest::newRow("type 200 reads back undefined") << QJsonObject {{"type", 200}} << defaultDefinition();

    // The file stores a short name only when it is made by hand.
    QTest::newRow("a short name under an auto flag is not stored")
        << QJsonObject {{"shortName", "Ignored"},
                        {"manufacturerShort", "Ignored too"},
                        {"channels", QJsonArray {channel(1, "Pan", "Ignored")}}}
        << definitionWith({{"channels", QJsonArray {channel(1, "Pan")}}});

    QTest::newRow("a channel short name is cut to 12 characters")
        << QJsonObject {{"channels", QJsonArray {channel(1, "Gobo", "ABCDEFGHIJKLMNOP", false)}}}
        << definitionWith({{"channels", QJsonArray {channel(1, "Gobo", "ABCDEFGHIJKL", false)}}});

    const QJsonObject longShortName {{"shortName", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"}, {"autoShortName", false}};
    QTest::newRow("a fixture short name is stored uncut") << longShortName << definitionWith(longShortName);
}

void TestKvflTool::dumpShowsEveryFieldCreateWrote()
{
    QFETCH(QJsonObject, input);
    QFETCH(QJsonObject, expected);

    // Neighbours make sure the definition is read back from its own member.
    const QJsonObject before {{"name", "Before"}, {"channels", QJsonArray {channel(1, "Dimmer")}}};
    const QJsonObject after {{"name", "After"}, {"type", 10}};
    const QJsonArray dumped = roundTrip({before, input, after});

    QCOMPARE(dumped.size(), 3);
    QCOMPARE(dumped.at(0).toObject(), definitionWith(before));
    QCOMPARE(QJsonDocument(dumped.at(1).toObject()).toJson(), QJsonDocument(expected).toJson());
    QCOMPARE(dumped.at(2).toObject(), definitionWith(after));
}

void TestKvflTool::createReadsStandardInputLikeAFile_data()
{
    QTest::addColumn<QStringList>("jsonArguments");
    QTest::newRow("no JSON file") << QStringList();
    QTest::newRow("dash") << QStringList {"-"};
}

void TestKvflTool::createReadsStandardInputLikeAFile()
{
    QFETCH(QStringList, jsonArguments);

    QJsonArray definitions;
    for (const char* name : {"Wash 1", "Spot 2", "Beam 3"}) {
        definitions.append(definitionWith({{"name", name}, {"channels", QJsonArray {channel(1, "Dimmer")}}}));
    }
    const QString library = path(QStringLiteral("stdin.kvfl"));
    QFile::remove(library);
    const Run created = kvfl(QStringList {"create", library} + jsonArguments, libraryJson(definitions));
    QVERIFY2(created.exitCode == 0, created.err.constData());
    QVERIFY(created.out.isEmpty());
    QVERIFY(created.err.isEmpty());

    const Run dumped = kvfl({"dump", library});
    QCOMPARE(dumped.exitCode, 0);
    QCOMPARE(parseObject(dumped.out).value("definitions").toArray(), definitions);
    QCOMPARE(roundTrip(definitions), definitions);
}

void TestKvflTool::infoSummarisesTheLibrary_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << 0 << QByteArray("version 01.00, 0 definitions, unsupported content: no\n");
    QTest::newRow("one") << 1 << QByteArray("version 01.00, 1 definition, unsupported content: no\n");
    QTest::newRow("several") << 42 << QByteArray("version 01.00, 42 definitions, unsupported content: no\n");
}

void TestKvflTool::infoSummarisesTheLibrary()
{
    QFETCH(int, count);
    QFETCH(QByteArray, line);

    QJsonArray definitions;
    for (int i = 0; i < count; ++i) {
        definitions.append(QJsonObject {{"name", QStringLiteral("Fixture %1").arg(i)}});
    }
    const QString library = path(QStringLiteral("info.kvfl"));
    QCOMPARE(kvfl({"create", library}, libraryJson(definitions)).exitCode, 0);

    const Run run = kvfl({"info", library});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, line);
    QVERIFY(run.err.isEmpty());
}

QString
TestKvflTool::tarLibrary(const QString& name, const QList<QPair<QString, QByteArray>>& members, bool damagedAtEnd)
{
    const QString tar = QStandardPaths::findExecutable(QStringLiteral("tar"));
    const QString gzip = QStandardPaths::findExecutable(QStringLiteral("gzip"));
    if (tar.isEmpty() || gzip.isEmpty()) {
        return {};
    }
    const QString folder = path(name + QStringLiteral(".members"));
    QDir().mkpath(folder);
    QStringList memberNames;
    for (const auto& member : members) {
        writeFile(name + QStringLiteral(".members/") + member.first, member.second);
        memberNames.append(member.first);
    }
    QProcess archiver;
    archiver.setWorkingDirectory(folder);
    archiver.start(tar, QStringList {"--format=ustar", "-cf", "-"} + memberNames);
    if (!archiver.waitForFinished(ProcessTimeoutMs) || archiver.exitCode() != 0) {
        qWarning("tar failed: %s", archiver.readAllStandardError().constData());
        return {};
    }
    QByteArray archive = archiver.readAllStandardOutput();
    if (damagedAtEnd) {
        // Each member here is one header block and one data block; what follows the
        // last one is where tar's end marker starts.
        constexpr int BlockSize = 512;
        const qsizetype end = static_cast<qsizetype>(members.size()) * 2 * BlockSize;
        archive.replace(end, BlockSize, QByteArray(BlockSize, 'x'));
    }
    QProcess compressor;
    compressor.start(gzip, {"-c"});
    compressor.write(archive);
    compressor.closeWriteChannel();
    if (!compressor.waitForFinished(ProcessTimeoutMs) || compressor.exitCode() != 0) {
        qWarning("gzip failed");
        return {};
    }
    return writeFile(name, compressor.readAllStandardOutput());
}

void TestKvflTool::unsupportedContentIsReported()
{
    // A comment element is something this program reads past and would not write back.
    const QByteArray document = R"(<?xml version="1.0" encoding="UTF-8"?>
<KorvaneFixtureDefinition>
    <Manufacturer Name="Acme"/>
    <Model Name="Odd"/>
    <Comment>made elsewhere</Comment>
    <DMXChannel Name="Dimmer"/>
    <Personality>
        <DMXChannelRef Number="1">Dimmer</DMXChannelRef>
    </Personality>
</KorvaneFixtureDefinition>
)";
    const QString library
        = tarLibrary(QStringLiteral("odd.kvfl"), {{"kvfl.version", "01.00"}, {"odd.xml", document}}, false);
    if (library.isEmpty()) {
        QSKIP("tar and gzip are needed to build a library this program would not write");
    }

    const Run info = kvfl({"info", library});
    QCOMPARE(info.exitCode, 0);
    QCOMPARE(info.out, QByteArray("version 01.00, 1 definition, unsupported content: yes\n"));

    const Run dump = kvfl({"dump", library});
    QCOMPARE(dump.exitCode, 0);
    const QJsonObject dumped = parseObject(dump.out);
    QCOMPARE(dumped.value("unsupportedContent"), QJsonValue(true));
    QCOMPARE(dumped.value("definitions").toArray(),
             QJsonArray {definitionWith(
                 {{"name", "Odd"}, {"manufacturer", "Acme"}, {"channels", QJsonArray {channel(1, "Dimmer")}}})});
}

void TestKvflTool::damageAfterSomeMembersIsAWarning()
{
    const QByteArray document = R"(<?xml version="1.0" encoding="UTF-8"?>
<KorvaneFixtureDefinition><Model Name="Whole"/><Personality/></KorvaneFixtureDefinition>
)";
    const QString library
        = tarLibrary(QStringLiteral("damaged.kvfl"), {{"kvfl.version", "01.00"}, {"whole.xml", document}}, true);
    if (library.isEmpty()) {
        QSKIP("tar and gzip are needed to build a damaged library");
    }

    // The editor opens such a library with what could be read; the tool does the
    // same, and says on standard error that something is missing.
    const Run info = kvfl({"info", library});
    QCOMPARE(info.exitCode, 0);
    QCOMPARE(info.out, QByteArray("version 01.00, 1 definition, unsupported content: no\n"));
    QVERIFY2(info.err.startsWith("Warning: "), info.err.constData());

    const Run dump = kvfl({"dump", library});
    QCOMPARE(dump.exitCode, 0);
    QCOMPARE(parseObject(dump.out).value("definitions").toArray(), QJsonArray {definitionWith({{"name", "Whole"}})});
    QVERIFY2(dump.err.startsWith("Warning: "), dump.err.constData());
}

void TestKvflTool::unreadableLibraryFailsWithTheEditorsMessage_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");

    for (const char* command : {"dump", "info"}) {
        QTest::addRow("%s: missing file", command) << command << "missing.kvfl" << QByteArray();
        QTest::addRow("%s: text file", command) << command << "notes.kvfl" << QByteArray("just some notes\n");
        QTest::addRow("%s: empty file", command) << command << "empty.kvfl" << QByteArray("");
        QTest::addRow("%s: folder", command) << command << "." << QByteArray();
    }
}

void TestKvflTool::unreadableLibraryFailsWithTheEditorsMessage()
{
    QFETCH(QString, command);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);

    const QString library = fileName == QLatin1String("missing.kvfl") || fileName == QLatin1String(".")
        ? path(fileName)
        : writeFile(fileName, content);
    const Run run = kvfl({command, library});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    QCOMPARE(firstLine(run.err), QByteArray(LoadFailedMessage));
}

void TestKvflTool::badJsonIsRefusedNamingItsPlace_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");

    QTest::newRow("syntax error") << QByteArray(R"({"definitions": [)") << "JSON syntax error at offset 17";
    QTest::newRow("empty input") << QByteArray() << "JSON syntax error at offset 0";
    QTest::newRow("document is an array") << QByteArray("[]") << "the JSON document must be an object";
    QTest::newRow("definitions not an array")
        << QByteArray(R"({"definitions": {}})") << "definitions must be an array, not an object";
    QTest::newRow("definition not an object")
        << QByteArray(R"({"definitions": [{}, "Spot"]})") << "definitions[1] must be an object, not a string";
    QTest::newRow("name not a string") << QByteArray(R"({"definitions": [{}, {"name": 5}]})")
                                       << "definitions[1].name must be a string, not 5";
    QTest::newRow("short name is null") << QByteArray(R"({"definitions": [{"shortName": null}]})")
                                        << "definitions[0].shortName must be a string, not null";
    QTest::newRow("auto flag not a boolean")
        << QByteArray(R"({"definitions": [{"autoManufacturerShort": "yes"}]})")
        << "definitions[0].autoManufacturerShort must be true or false, not a string";
    QTest::newRow("type with a fraction")
        << QByteArray(R"({"definitions": [{"type": 1.5}]})") << "definitions[0].type must be an integer, not 1.5";
    QTest::newRow("type beyond int") << QByteArray(R"({"definitions": [{"type": 1e12}]})")
                                     << "definitions[0].type must be an integer";
    QTest::newRow("channels not an array") << QByteArray(R"({"definitions": [{"channels": "Pan"}]})")
                                           << "definitions[0].channels must be an array, not a string";
    QTest::newRow("channel name not a string")
        << QByteArray(R"({"definitions": [{"channels": [{"name": "Pan"}, {"name": ["Tilt"]}]}]})")
        << "definitions[0].channels[1].name must be a string, not an array";
    QTest::newRow("channel number not an integer")
        << QByteArray(R"({"definitions": [{}, {}, {"channels": [{"number": "1"}]}]})")
        << "definitions[2].channels[0].number must be an integer, not a string";
    QTest::newRow("misspelt definition field")
        << QByteArray(R"({"definitions": [{"nmae": "Spot"}]})") << "definitions[0]: unknown field \"nmae\"";
    QTest::newRow("misspelt channel field") << QByteArray(R"({"definitions": [{"channels": [{"short": "P"}]}]})")
                                            << "definitions[0].channels[0]: unknown field \"short\"";
    QTest::newRow("misspelt library field") << QByteArray(R"({"defintions": []})") << "unknown field \"defintions\"";
}

void TestKvflTool::badJsonIsRefusedNamingItsPlace()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);

    const QString library = path(QStringLiteral("refused.kvfl"));
    QFile::remove(library);
    const Run run = kvfl({"create", library}, json);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith("Invalid library JSON in standard input: "), run.err.constData());
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY2(!QFile::exists(library), "a refused document must not leave a library behind");
}

void TestKvflTool::missingJsonFileIsReported()
{
    const QString json = path(QStringLiteral("absent.json"));
    const QString library = path(QStringLiteral("absent.kvfl"));
    const Run run = kvfl({"create", library, json});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("Failed to read " + json.toUtf8() + ": "), run.err.constData());
    QVERIFY(!QFile::exists(library));
}

void TestKvflTool::failedSaveGivesTheArchivesReason()
{
    const QString library = path(QStringLiteral("no-such-folder/lib.kvfl"));
    const Run run = kvfl({"create", library}, libraryJson({QJsonObject {{"name", "Spot"}}}));
    QCOMPARE(run.exitCode, 1);
    const QList<QByteArray> lines = run.err.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QByteArray("Failed to save the library."));
    QVERIFY(!lines.at(1).isEmpty());
}

void TestKvflTool::libraryInNonLatin1FolderIsCreatedAndDumped()
{
    const QString folder = path(QString::fromUtf8("Bühne-舞台"));
    QVERIFY(QDir().mkpath(folder));
    const QString json = writeFile(QString::fromUtf8("Bühne-舞台/Lichtpult-照明.json"),
                                   libraryJson({QJsonObject {{"name", QString::fromUtf8("Scheinwerfer 灯")}}}));
    const QString library = folder + QString::fromUtf8("/Lichtpult-照明.kvfl");

    const Run created = kvfl({"create", library, json});
    QVERIFY2(created.exitCode == 0, created.err.constData());
    QVERIFY(QFile::exists(library));

    const Run dumped = kvfl({"dump", library});
    QVERIFY2(dumped.exitCode == 0, dumped.err.constData());
    QCOMPARE(parseObject(dumped.out).value("definitions").toArray(),
             QJsonArray {definitionWith({{"name", QString::fromUtf8("Scheinwerfer 灯")}})});

    const Run info = kvfl({"info", library});
    QCOMPARE(info.out, QByteArray("version 01.00, 1 definition, unsupported content: no\n"));
}

void TestKvflTool::tarListsVersionMemberThenOneDocumentPerDefinition_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("members");

    QTest::newRow("spaces become dashes, case is lowered")
        << QStringList {"Spot 700 Profile"} << QStringList {"spot-700-profile.xml"};
    QTest::newRow("equal names are counted")
        << QStringList {"Spot 700 Profile", "Spot 700 Profile", "spot_700 profile"}
        << QStringList {"spot-700-profile.xml", "spot-700-profile_1.xml", "spot-700-profile_2.xml"};
    QTest::newRow("the version member's name is taken") << QStringList {"KVFL"} << QStringList {"kvfl_1.xml"};
    QTest::newRow("empty names") << QStringList {"", ""} << QStringList {"-.xml", "-_1.xml"};
    QTest::newRow("dots stay") << QStringList {"Spot 2.5"} << QStringList {"spot-2.5.xml"};
    QTest::newRow("non-ASCII letters become dashes")
        << QStringList {QString::fromUtf8("Bühne 舞台")} << QStringList {"b-hne---.xml"};
    QTest::newRow("library order is kept")
        << QStringList {"Zeta", "Alpha", "Mid"} << QStringList {"zeta.xml", "alpha.xml", "mid.xml"};
}

void TestKvflTool::tarListsVersionMemberThenOneDocumentPerDefinition()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, members);

    const QString tar = QStandardPaths::findExecutable(QStringLiteral("tar"));
    if (tar.isEmpty()) {
        QSKIP("tar is not installed");
    }
    QJsonArray definitions;
    for (const QString& name : std::as_const(names)) {
        definitions.append(QJsonObject {{"name", name}, {"channels", QJsonArray {channel(1, "Dimmer")}}});
    }
    const QString library = path(QStringLiteral("listed.kvfl"));
    QCOMPARE(kvfl({"create", library}, libraryJson(definitions)).exitCode, 0);

    QProcess process;
    process.start(tar, {"-tzvf", library});
    QVERIFY(process.waitForFinished(ProcessTimeoutMs));
    QCOMPARE(process.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);

    // "-rw-r--r-- 0/0               5 1970-01-01 00:00 kvfl.version"
    static const QRegularExpression listing(QStringLiteral(R"(^(\S+)\s+\S+\s+(\d+)\s+\S+\s+\S+\s+(.+)$)"));
    QCOMPARE(lines.size(), members.size() + 1);
    QStringList listedMembers;
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = listing.match(lines.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i)));
        QCOMPARE(match.captured(1), QStringLiteral("-rw-r--r--"));
        if (i == 0) {
            QCOMPARE(match.captured(3), QStringLiteral("kvfl.version"));
            QCOMPARE(match.captured(2), QStringLiteral("5"));
        } else {
            listedMembers.append(match.captured(3));
        }
    }
    QCOMPARE(listedMembers, members);
}

QTEST_GUILESS_MAIN(TestKvflTool)

#include "TestKvflTool.moc"
