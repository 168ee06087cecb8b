#include "DeviceFit.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QTest>

#include <functional>

using DeviceFit::Severity;
using Edit = std::function<void(QKVFixtureDefinition&)>;
Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(DeviceFit::Severity)

namespace {

// U+1F39B (control knobs): one character, two UTF-16 code units.
const QString Knobs = QString::fromUtf8("\xF0\x9F\x8E\x9B");
const QString Chinese = QString::fromUtf8("中");

/// Replaces the channels with ones of these numbers, each name different.
Edit numbered(const QList<int>& numbers)
{
    return [numbers](QKVFixtureDefinition& definition) {
        definition.clearChannels();
        for (int number : numbers) {
            definition.appendChannel(makeChannel(number, QStringLiteral("Ch %1").arg(definition.channelCount())));
        }
    };
}

/// Channels 1 and 2 with these names and, when given, manual short names.
Edit pair(const QString& first, const QString& second, const QString& firstShort = {}, const QString& secondShort = {})
{
    return [=](QKVFixtureDefinition& definition) {
        definition.clearChannels();
        definition.appendChannel(makeChannel(1, first, firstShort, firstShort.isNull()));
        definition.appendChannel(makeChannel(2, second, secondShort, secondShort.isNull()));
    };
}

Edit manualShortName(const QString& text)
{
    return [text](QKVFixtureDefinition& definition) {
        definition.setAutoShortName(false);
        definition.setShortName(text);
    };
}

QList<int> upTo(int count)
{
    QList<int> numbers;
    for (int i = 1; i <= count; ++i) {
        numbers.append(i);
    }
    return numbers;
}

} // namespace

/// The rules by which the devices refuse or change a definition, field by field.
class TestDeviceFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findingsNameTheFieldAndWhatTheDeviceShows_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<Severity>("severity");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("shows"); // a piece of the texts, when worth pinning

        const QString name = "Fixture Name";
        const QString nameShort = "Fixture Name Short";
        const QString channels = "Channels";
        const auto setName = [](const QString& text) { return [text](QKVFixtureDefinition& d) { d.setName(text); }; };
        const auto setMaker
            = [](const QString& text) { return [text](QKVFixtureDefinition& d) { d.setManufacturer(text); }; };
        const auto setMakerShort = [](const QString& text) {
            return [text](QKVFixtureDefinition& d) {
                d.setAutoManufacturerShort(false);
                d.setManufacturerShort(text);
            };
        };
        const auto setChannelName = [](const QString& text, const QString& shortText = {}) {
            return [=](QKVFixtureDefinition& d) {
                d.channels().at(1)->setName(text);
                d.channels().at(1)->setAutoShortName(shortText.isNull());
                d.channels().at(1)->setShortName(shortText);
            };
        };
        const QString a100(100, 'a');

        QTest::newRow("as built") << Edit([](QKVFixtureDefinition&) {}) << Severity::Fine << QStringList() << "";
        QTest::newRow("name 100") << Edit(setName(a100)) << Severity::Fine << QStringList() << "";
        QTest::newRow("name 101, auto short not too long")
            << Edit(setName(a100 + "b")) << Severity::Changed << QStringList {name} << "101 characters";
        QTest::newRow("short 20") << manualShortName("Moving Head Spot 11c") << Severity::Fine << QStringList() << "";
        QTest::newRow("short 23") << manualShortName("Moving Head Spot 11cmk2") << Severity::Changed
                                  << QStringList {nameShort} << "first 20: “Moving Head Spot 11c”";
        QTest::newRow("maker 101") << Edit(setMaker(a100 + "b")) << Severity::Changed << QStringList {"Manufacturer"}
                                   << "";
        QTest::newRow("maker short 20") << Edit(setMakerShort(a100.left(20))) << Severity::Fine << QStringList() << "";
        QTest::newRow("maker short 21") << Edit(setMakerShort(a100.left(21))) << Severity::Changed
                                        << QStringList {"Manufacturer Short"} << "";
        QTest::newRow("channel name 100") << Edit(setChannelName(a100)) << Severity::Fine << QStringList() << "";
        QTest::newRow("channel name 101, auto short")
            << Edit(setChannelName(a100 + "b")) << Severity::Changed << QStringList {"Channel 2 Name"} << "";
        // The channel keeps 12 characters of a short name; the 13th never reaches the record.
        QTest::newRow("channel short 13")
            << Edit(setChannelName("Tilt", "Tilt rotatio+")) << Severity::Fine << QStringList() << "";

        QTest::newRow("é and ÿ are Latin-1")
            << Edit(setName(QString::fromUtf8("Café ÿ"))) << Severity::Fine << QStringList() << "";
        QTest::newRow("Ā is not Latin-1") << Edit(setName(QString::fromUtf8("Ā"))) << Severity::Changed
                                          << QStringList {name} << "“Ā” will show as “?”";
        QTest::newRow("中") << Edit(setName(QString::fromUtf8("Spot 中文中"))) << Severity::Changed
                            << QStringList {name} << "“中”, “文” will show as “?”, “?”";
        QTest::newRow("pair") << Edit(setName("Spot " + Knobs)) << Severity::Changed << QStringList {name}
                              << "“" + Knobs + "” will show as “??”";
        QTest::newRow("pair cut in half")
            << Edit(setName(a100.left(99) + Knobs)) << Severity::Changed << QStringList {name, name} << "as “?”";
        QTest::newRow("beyond the cut") << Edit(setName(a100 + Chinese)) << Severity::Changed << QStringList {name}
                                        << "";
        QTest::newRow("中 in manual short")
            << manualShortName(Chinese) << Severity::Changed << QStringList {nameShort} << "";
        QTest::newRow("中 in channel") << Edit(setChannelName(Chinese, "x")) << Severity::Changed
                                       << QStringList {"Channel 2 Name"} << "";
        QTest::newRow("中 in channel short")
            << Edit(setChannelName("x", Chinese)) << Severity::Changed << QStringList {"Channel 2 Name Short"} << "";

        QTest::newRow("45 channels") << numbered(upTo(45)) << Severity::Fine << QStringList() << "";
        QTest::newRow("46 channels") << numbered(upTo(46)) << Severity::Refused << QStringList {channels, channels}
                                     << "46 channels; the devices hold 1 to 45";
        QTest::newRow("0 channels") << numbered({}) << Severity::Refused << QStringList {channels} << "";
        QTest::newRow("number twice") << numbered({1, 2, 2}) << Severity::Changed << QStringList {channels, channels}
                                      << "more than once: 2;";
        QTest::newRow("gap") << numbered({1, 2, 45}) << Severity::Changed << QStringList {channels, channels}
                             << "No channel numbered 3;";
        QTest::newRow("outside") << numbered({0, 1, 46, 2, 46, 47, 48}) << Severity::Changed
                                 << QStringList {channels, channels} << "outside 1 to 45: 0, 46, 47, 48;";
        QTest::newRow("outside, more than listed") << numbered({0, 1, 46, 47, 48, 49}) << Severity::Changed
                                                   << QStringList {channels, channels} << "0, 46, 47, 48, …;";

        QTest::newRow("short names alike") << pair("Color wheel 1 speed", "Color wheel 1 rotation") << Severity::Changed
                                           << QStringList {"Channel 2 Name Short"} << "read “Color wheel ”";
        QTest::newRow("short names alike on device")
            << pair("Dim", "Dim fine", QString::fromUtf8("ĀA"), QString::fromUtf8("文A")) << Severity::Changed
            << QStringList {"Channel 1 Name Short", "Channel 2 Name Short", "Channel 2 Name Short"} << "read “?A”";
        QTest::newRow("short names alike in slot 45") << Edit([](QKVFixtureDefinition& d) {
            numbered(upTo(45))(d);
            d.channels().last()->setName("Other");
            d.channels().last()->setAutoShortName(false);
            d.channels().last()->setShortName("Ch 0");
        }) << Severity::Changed << QStringList {"Channel 45 Name Short"}
                                                      << "";
        QTest::newRow("same long names") << pair("Dimmer", "Dimmer") << Severity::Fine << QStringList() << "";
    }

    void findingsNameTheFieldAndWhatTheDeviceShows()
    {
        QFETCH(Edit, edit);
        QFETCH(Severity, severity);
        QFETCH(QStringList, fields);
        QFETCH(QString, shows);
        QKVFixtureDefinition definition;
        definition.setName("Spot 250");
        definition.setManufacturer("Acme");
        pair("Pan", "Tilt")(definition);
        edit(definition);
        const QString before = describe(definition);

        const QList<DeviceFit::Finding> findings = DeviceFit::check(definition);
        QStringList found;
        for (const DeviceFit::Finding& finding : findings) {
            found.append(finding.field);
        }
        const QString text = DeviceFit::describe(findings);
        QCOMPARE(found, fields);
        QCOMPARE(DeviceFit::worst(findings), severity);
        QCOMPARE(DeviceFit::worstOf(definition), severity);
        QVERIFY2(text.contains(shows), qPrintable(text));
        QCOMPARE(text.count('\n'), std::max(0, int(findings.size()) - 1));
        QCOMPARE(describe(definition), before);
    }

    void severityAloneAgreesWithTheFindings()
    {
        Random random(17);
        for (int i = 0; i < 400; ++i) {
            const auto definition = randomDefinition(random);
            const QString before = describe(*definition);
            const QList<DeviceFit::Finding> findings = DeviceFit::check(*definition);
            QCOMPARE(DeviceFit::worstOf(*definition), DeviceFit::worst(findings));
            QCOMPARE(describe(*definition), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestDeviceFit)
#include "TestDeviceFit.moc"
