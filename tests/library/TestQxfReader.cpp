// QLC+ fixture files read into device-sized modes: the forms files come in, the modes the
// device cannot take, damaged and hostile files, and the short names made for the display.

#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QxfReader.h"
#include "QxfShortNames.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QSet>
#include <QTemporaryFile>
#include <QTest>

namespace {

const QString InstalledFixtures = QStringLiteral("/usr/share/qlcplus/fixtures");

/// Each mode on one line: name, manufacturer, type, reason, channels with their shown short names.
QStringList describe(const QxfFile& file)
{
    QStringList lines;
    for (const QxfMode& mode : file.modes) {
        QStringList channels;
        for (const QxfChannel& channel : mode.channels) {
            channels << channel.name + '=' + channel.shownShortName();
        }
        lines << QStringLiteral("%1|%2|%3|%4|%5|%6")
                     .arg(mode.name, mode.shownShortName(), mode.manufacturer)
                     .arg(mode.type)
                     .arg(mode.reason, channels.join(','));
    }
    return lines;
}

/// A fixture file around `body`, with channels C1..Cn defined for the modes to use.
QByteArray fixture(const QByteArray& body, int definedChannels = 0, const QByteArray& type = "Dimmer")
{
    QByteArray channels;
    for (int i = 1; i <= definedChannels; ++i) {
        channels += "<Channel Name=\"C" + QByteArray::number(i) + "\"/>";
    }
    return "<?xml version=\"1.0\"?><FixtureDefinition xmlns=\"http://www.qlcplus.org/FixtureDefinition\">"
           "<Manufacturer>M</Manufacturer><Model>F</Model><Type>"
        + type + "</Type>" + channels + body + "</FixtureDefinition>\n";
}

/// A mode using C1..Cn in order.
QByteArray mode(const QByteArray& name, int channels)
{
    QByteArray body = "<Mode Name=\"" + name + "\">";
    for (int i = 0; i < channels; ++i) {
        body += "<Channel Number=\"" + QByteArray::number(i) + "\">C" + QByteArray::number(i + 1) + "</Channel>";
    }
    return body + "</Mode>";
}

QList<QxfChannel> channelsNamed(const QStringList& names)
{
    QList<QxfChannel> channels;
    for (const QString& name : names) {
        channels.append(QxfChannel {name, QString(), true});
    }
    return channels;
}

} // namespace

class TestQxfReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsEveryFormOfTheFile_data();
    void readsEveryFormOfTheFile();
    void mapsFixtureTypes_data();
    void mapsFixtureTypes();
    void keepsOutModesTheDeviceCannotTake_data();
    void keepsOutModesTheDeviceCannotTake();
    void truncatedFileGivesErrorOrWholeResult();
    void skimmingAgreesWithStrictReading();
    void refusesOversizedAndBadFiles_data();
    void refusesOversizedAndBadFiles();
    void hugeModeListsStayLinear();
    void foldsTextForTheDevice_data();
    void foldsTextForTheDevice();
    void channelShortNamesReadApart_data();
    void channelShortNamesReadApart();
    void modesOfOneFixtureGetDistinctShortNames();
    void definitionCarriesTheMode();
};

void TestQxfReader::readsEveryFormOfTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    const QStringList smoke {"Smoke 900|Smoke 900|Generic|8||Output=Output,Fan=Fan"};
    QTest::newRow("prefixed") << "Prefixed.qxf" << smoke;
    QTest::newRow("no namespace") << "NoNamespace.qxf" << smoke;
    // Out of order, several modes, blanks and line breaks, characters outside Latin-1.
    QTest::newRow("default namespace")
        << "Namespaced.qxf"
        << QStringList {QString::fromUtf8("Lumière - \"Z\"... (Basic)|Lumière \"Z\"... 3ch|Acme Lighting|2||"
                                          "Master dimmer=Mst dimmer,Grün=Grün,Red=Red"),
                        QString::fromUtf8("Lumière - \"Z\"... (Full 16 bit)|Lumière \"Z\"... 6ch|Acme Lighting|2||"
                                          "Master dimmer=Mst dimmer,Master dimmer fine=Mst dim fine,Red=Red,"
                                          "Grün=Grün,Strobe speed=Strobe speed,? effect=? effect")};
}

void TestQxfReader::readsEveryFormOfTheFile()
{
    QFETCH(QString, file);
    const QxfFile read = QxfReader::readBytes(readTestData("qxf/" + file), file);
    QVERIFY2(read.ok(), qPrintable(read.error));
    QFETCH(QStringList, expected);
    QCOMPARE(describe(read), expected);
    QCOMPARE(read.modes.first().file, file);
}

void TestQxfReader::mapsFixtureTypes_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<int>("code");
    const std::pair<const char*, int> rows[] = {
        {"Moving Head", FixtureType::MovingHead},
        {"Scanner", FixtureType::Scanner},
        {"LED Bar (Beams)", FixtureType::LedFixture},
        {"LED Bar (Pixels)", FixtureType::LedFixture},
        {"Color Changer", FixtureType::ColorChanger},
        {"Dimmer", FixtureType::Dimmer},
        {"Laser", FixtureType::Laser},
        {"Strobe", FixtureType::Strobe},
        {"Hazer", FixtureType::Hazer},
        {"Smoke", FixtureType::Smoke},
        {"Effect", FixtureType::Effect},
        {"Flower", FixtureType::Effect},
        {"Fan", FixtureType::Effect},
        {" moving  head ", FixtureType::MovingHead},
        {"Other", FixtureType::Other},
        {"LED Bar", FixtureType::Other},
        {"Spaceship", FixtureType::Other},
        {"", FixtureType::Other},
    };
    for (const auto& [type, code] : rows) {
        QTest::newRow(type) << QByteArray(type) << code;
    }
}

void TestQxfReader::mapsFixtureTypes()
{
    QFETCH(QByteArray, type);
    QFETCH(int, code);
    const QxfFile read = QxfReader::readBytes(fixture(mode("m", 1), 1, type));
    QCOMPARE(read.modes.size(), 1);
    QCOMPARE(read.modes.first().type, code);
}

void TestQxfReader::keepsOutModesTheDeviceCannotTake_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("reasons");
    QTest::newRow("0, 1, 45 and 46 channels")
        << fixture(mode("none", 0) + mode("one", 1) + mode("full", 45) + mode("over", 46), 46)
        << QStringList {"no channels", "", "", "46 channels; the devices hold at most 45"};
    QTest::newRow("undefined channel") << fixture(
        mode("good", 2)
            + "<Mode Name=\"bad\"><Channel Number=\"0\">C1</Channel>"
              "<Channel Number=\"1\">Gh\xC3\xB8st \xE2\x80\x94 x</Channel></Mode>",
        2) << QStringList {"", QString::fromUtf8("channel \"Ghøst - x\" is not defined in the fixture")};
    QTest::newRow("number missing") << fixture("<Mode Name=\"m\"><Channel>C1</Channel></Mode>", 1)
                                    << QStringList {"channel \"C1\" has no valid number"};
    QTest::newRow("number twice") << fixture("<Mode Name=\"m\"><Channel Number=\"3\">C1</Channel>"
                                             "<Channel Number=\"3\">C2</Channel></Mode>",
                                             2)
                                  << QStringList {"two channels at number 3"};
}

void TestQxfReader::keepsOutModesTheDeviceCannotTake()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, reasons);
    const QxfFile read = QxfReader::readBytes(document);
    QVERIFY2(read.ok(), qPrintable(read.error));
    QStringList given;
    for (const QxfMode& mode : read.modes) {
        given << mode.reason;
        QCOMPARE(mode.usable(), mode.reason.isEmpty());
        if (mode.usable()) {
            QCOMPARE(mode.toDefinition()->channelCount(), mode.mode == "one" ? 1 : mode.mode == "full" ? 45 : 2);
        }
    }
    QCOMPARE(given, reasons);
}

void TestQxfReader::truncatedFileGivesErrorOrWholeResult()
{
    const QByteArray whole = readTestData("qxf/Namespaced.qxf");
    const QStringList complete = describe(QxfReader::readBytes(whole));
    for (auto read : {QxfReader::readBytes, QxfReader::readBytesStrictly}) {
        int failed = 0;
        for (qsizetype length = 0; length < whole.size(); ++length) {
            std::vector<char> block;
            const QxfFile cut = read(exactBytes(whole.left(length), block), QString());
            if (cut.ok()) {
                QCOMPARE(describe(cut), complete);
            } else {
                ++failed;
                QVERIFY2(cut.modes.isEmpty() && cut.error.startsWith("line "), qPrintable(cut.error));
            }
        }
        // Only the cut of the final line end reads whole.
        QCOMPARE(failed, whole.size() - 1);
    }
}

void TestQxfReader::skimmingAgreesWithStrictReading()
{
    QStringList files {QStringLiteral(QRD_TEST_DATA_DIR "/qxf/Namespaced.qxf"),
                       QStringLiteral(QRD_TEST_DATA_DIR "/qxf/Prefixed.qxf")};
    for (QDirIterator it(InstalledFixtures, {"*.qxf"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        files << it.next();
    }
    for (const QString& path : std::as_const(files)) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QxfFile strict = QxfReader::readBytesStrictly(bytes);
        QVERIFY2(strict.ok(), qPrintable(path + ": " + strict.error));
        QCOMPARE(describe(QxfReader::readBytes(bytes)), describe(strict));
    }
    qInfo("%lld files read both ways", static_cast<long long>(files.size()));
    // What skimming gives up: damage inside a capability list goes unnoticed.
    const QByteArray damaged = readTestData("qxf/Namespaced.qxf").replace("</Capability>", "</Capabilit>");
    QVERIFY(!QxfReader::readBytesStrictly(damaged).ok());
    QCOMPARE(describe(QxfReader::readBytes(damaged)),
             describe(QxfReader::readBytes(readTestData("qxf/Namespaced.qxf"))));
}

void TestQxfReader::refusesOversizedAndBadFiles_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("error"); // the start of it; empty when the file reads
    const QByteArray good = fixture(mode("m", 1), 1);
    const QByteArray atLimit = good + QByteArray(QxfReader::MaxFileSize - good.size(), ' ');
    QTest::newRow("at the size limit") << atLimit << QString();
    QTest::newRow("over the size limit") << atLimit + ' ' << QStringLiteral("%1 bytes").arg(QxfReader::MaxFileSize + 1);
    auto nested = [](int depth) {
        return fixture(QByteArray("<a>").repeated(depth - 1) + QByteArray("</a>").repeated(depth - 1));
    };
    QTest::newRow("at the depth limit") << nested(QxfReader::MaxElementDepth) << QString();
    QTest::newRow("over the depth limit")
        << nested(QxfReader::MaxElementDepth + 1) << "line 1: elements nested deeper than 32";
    QTest::newRow("another format") << QByteArray("<KorvaneFixtureDefinition/>")
                                    << "line 1: not a QLC+ fixture definition";
    QTest::newRow("empty") << QByteArray() << "line 1: ";
    QTest::newRow("element in a name") << fixture("<Mode Name=\"m\"><Channel Number=\"0\"><b/></Channel></Mode>")
                                       << "line 1: ";
}

void TestQxfReader::refusesOversizedAndBadFiles()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, error);
    QTemporaryFile file;
    QVERIFY(file.open() && file.write(document) == document.size() && file.flush());
    for (const QxfFile& read : {QxfReader::readBytes(document), QxfReader::readFile(file.fileName())}) {
        QVERIFY2(read.error.startsWith(error), qPrintable(read.error));
        QCOMPARE(read.ok(), error.isEmpty());
        QCOMPARE(read.modes.size(), error.isEmpty() && document.contains("<Mode ") ? 1 : 0);
    }
    QVERIFY(!QxfReader::readFile(file.fileName() + ".missing").ok());
}

void TestQxfReader::hugeModeListsStayLinear()
{
    // Sizes where anything quadratic in modes or channels would take hours.
    constexpr int Modes = 60000;
    constexpr int Channels = 80000;
    QByteArray big = "<Mode Name=\"big\">";
    for (int i = 0; i < Channels; ++i) {
        big += "<Channel Number=\"" + QByteArray::number(i) + "\">C1</Channel>";
    }
    const QByteArray document = fixture(QByteArray("<Mode Name=\"m\"/>").repeated(Modes) + big + "</Mode>", 1);
    QVERIFY(document.size() <= QxfReader::MaxFileSize);
    const QxfFile read = QxfReader::readBytes(document);
    QCOMPARE(read.modes.size(), Modes + 1);
    QSet<QString> shortNames;
    for (const QxfMode& mode : read.modes) {
        shortNames.insert(mode.shownShortName());
    }
    QCOMPARE(shortNames.size(), read.modes.size());
    QCOMPARE(read.modes.last().reason, QStringLiteral("%1 channels; the devices hold at most 45").arg(Channels));
}

void TestQxfReader::foldsTextForTheDevice_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("blanks and line breaks") << " Pan \n\t  fine\r\n"
                                            << "Pan fine";
    QTest::newRow("Latin-1 kept") << QString::fromUtf8("Grün Ø ±½ café") << QString::fromUtf8("Grün Ø ±½ café");
    QTest::newRow("dashes and ellipsis") << QString::fromUtf8("a–b—c−d…") << "a-b-c-d...";
    QTest::newRow("curly quotes") << QString::fromUtf8("‘x’ “y”") << "'x' \"y\"";
    QTest::newRow("decomposed to base letters")
        << QString::fromUtf8("Čeština Łódź ő ﬁ ₂") << QString::fromUtf8("Cestina Lódz o fi 2");
    QTest::newRow("no Latin-1 form") << QString::fromUtf8("照明 Ω 🎭x") << "?? ? ?x";
    QTest::newRow("C1 controls") << QString::fromUtf8("a\xC2\x85\xC2\x9F") << "a??";
}

void TestQxfReader::foldsTextForTheDevice()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(QxfReader::deviceText(text), shown);
}

void TestQxfReader::channelShortNamesReadApart_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("shown"); // "*" marks an explicit short name
    QTest::newRow("cut makes two equal") << QStringList {"Master dimmer", "Master dimmer fine", "Pan", "Master dimmer"}
                                         << QStringList {"*Mst dimmer", "*Mst dim fine", "Pan", "*Mst dimmer"};
    QTest::newRow("fitting name keeps itself")
        << QStringList {"Strobe speed fine", "Strobe speed"} << QStringList {"*Strb spd F", "Strobe speed"};
    QTest::newRow("word cut") << QStringList {"Colour temperature", "Gobo rotation"}
                              << QStringList {"*Col temp", "*Gobo rot"};
    QTest::newRow("trailing number kept") << QStringList {"Red segment 10", "Red segment 11", "XXXXXXXXXXXXXXXX 7"}
                                          << QStringList {"*Red seg 10", "*Red seg 11", "*XXXXXXXXXX 7"};
    QTest::newRow("no number cut short") << QStringList {"Qqqq 12345678 Zz"} << QStringList {"*Qqqq"};
    QTest::newRow("plain cut between words") << QStringList {"Color wheel speed"} << QStringList {"Color wheel "};
    QTest::newRow("equal names stay equal") << QStringList {"Red", "Red", ""} << QStringList {"Red", "Red", ""};
    QTest::newRow("nothing left to abbreviate") << QStringList {"XXXXXXXXXXXXB", "XXXXXXXXXXXXC", "XXXXXXXXXXXXD"}
                                                << QStringList {"XXXXXXXXXXXX", "*XXXXXXXXXX 2", "*XXXXXXXXXX 3"};
}

void TestQxfReader::channelShortNamesReadApart()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, shown);
    QList<QxfChannel> channels = channelsNamed(names);
    QxfShortNames::assignChannelShortNames(channels);
    QStringList given;
    for (const QxfChannel& channel : std::as_const(channels)) {
        QVERIFY(channel.shownShortName().size() <= 12);
        QCOMPARE(channel.shortName.isEmpty(), channel.autoShortName);
        given << (channel.autoShortName ? QString() : QStringLiteral("*")) + channel.shownShortName();
    }
    QCOMPARE(given, shown);
}

void TestQxfReader::modesOfOneFixtureGetDistinctShortNames()
{
    const QByteArray modes
        = mode("4 Channel", 4) + mode("8 Channel", 8) + mode("Extended", 8) + mode("x", 1) + mode("Dup", 2).repeated(3);
    const QxfFile read
        = QxfReader::readBytes(fixture(modes, 8).replace("<Model>F</Model>", "<Model>Vintage Blaze</Model>"));
    QStringList shown;
    for (const QxfMode& mode : read.modes) {
        shown << (mode.autoShortName ? QString() : QStringLiteral("*")) + mode.shownShortName();
    }
    // Modes of equal size tell themselves apart by their own names, equal names by a number.
    QCOMPARE(shown,
             QStringList({"*Vintage Blaze 4ch",
                          "*Vintage Blaze 8ch",
                          "*Vntg Blaze Extended",
                          "Vintage Blaze (x)",
                          "*Vintage Blaze 2ch",
                          "*Vintage Blaze Dup",
                          "*Vintage Blaze (Dup 2"}));
}

void TestQxfReader::definitionCarriesTheMode()
{
    const QxfMode mode = QxfReader::readBytes(readTestData("qxf/Namespaced.qxf")).modes.at(1);
    const auto definition = mode.toDefinition();
    QCOMPARE(definition->name(), mode.name);
    QCOMPARE(definition->shortName(), mode.shortName);
    QVERIFY(!definition->autoShortName());
    QCOMPARE(definition->manufacturer(), "Acme Lighting");
    QCOMPARE(definition->manufacturerShort(), "Acme Lighting");
    QCOMPARE(definition->type(), FixtureType::LedFixture);
    QCOMPARE(definition->channelCount(), mode.channels.size());
    for (int i = 0; i < definition->channelCount(); ++i) {
        const QKVFixtureChannel* channel = definition->channels().at(i);
        QCOMPARE(channel->number(), i + 1);
        QCOMPARE(channel->name(), mode.channels.at(i).name);
        QCOMPARE(channel->shortName(), mode.channels.at(i).shownShortName());
        QCOMPARE(channel->autoShortName(), mode.channels.at(i).autoShortName);
    }
}

QTEST_GUILESS_MAIN(TestQxfReader)
#include "TestQxfReader.moc"
