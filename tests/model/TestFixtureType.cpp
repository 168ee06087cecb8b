#include "FixtureType.h"

#include <QTest>

#include <climits>

/// Type codes travel unchanged between file and device; the file names them, and
/// older files spell them loosely, so the reader matches keywords.
class TestFixtureType : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileNamesOfCodes_data();
    void fileNamesOfCodes();
    void codesOutsideTheTableAreWrittenAsUndefined_data();
    void codesOutsideTheTableAreWrittenAsUndefined();
    void typeTextIsReadByFirstKeywordIgnoringCase_data();
    void typeTextIsReadByFirstKeywordIgnoringCase();
    void everyWrittenNameReadsBackAsItsCode();
};

void TestFixtureType::fileNamesOfCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");

    QTest::newRow("0") << 0 << "Moving Head";
    QTest::newRow("1") << 1 << "Scanner";
    QTest::newRow("2") << 2 << "LED Fixture";
    QTest::newRow("3 is spelled correctly in files") << 3 << "Color Changer";
    QTest::newRow("4") << 4 << "Dimmer";
    QTest::newRow("5") << 5 << "Laser";
    QTest::newRow("6") << 6 << "Strobe";
    QTest::newRow("7") << 7 << "Hazer";
    QTest::newRow("8") << 8 << "Smoke";
    QTest::newRow("9") << 9 << "Effect";
    QTest::newRow("10") << 10 << "Other";
}

void TestFixtureType::fileNamesOfCodes()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(FixtureType::xmlName(code), name);
}

void TestFixtureType::codesOutsideTheTableAreWrittenAsUndefined_data()
{
    QTest::addColumn<int>("code");

    QTest::newRow("-1") << -1;
    QTest::newRow("-2") << -2;
    QTest::newRow("11, one past the last") << 11;
    QTest::newRow("200, a byte from a device") << 200;
    QTest::newRow("255, -1 as the device stores it") << 255;
    QTest::newRow("INT_MIN") << INT_MIN;
    QTest::newRow("INT_MAX") << INT_MAX;
}

void TestFixtureType::codesOutsideTheTableAreWrittenAsUndefined()
{
    QFETCH(int, code);
    QCOMPARE(FixtureType::xmlName(code), QStringLiteral("Undefined"));
}

void TestFixtureType::typeTextIsReadByFirstKeywordIgnoringCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");

    QTest::newRow("exact") << "Moving Head" << 0;
    QTest::newRow("lower case") << "moving head" << 0;
    QTest::newRow("upper case keyword alone") << "MOVING" << 0;
    QTest::newRow("the editor's misspelling") << "Color Chnager" << 3;
    QTest::newRow("keyword inside a word") << "Multicolor" << 3;
    QTest::newRow("British spelling has no keyword") << "Colour Changer" << -1;
    QTest::newRow("LED needs Fixture") << "LED" << -1;
    QTest::newRow("LED Fixture with more") << "led fixture RGBW" << 2;
    QTest::newRow("surrounding spaces") << "  Strobe\n" << 6;
    QTest::newRow("Undefined") << "Undefined" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("Scanner") << "Scanner" << 1;
    QTest::newRow("Dimmer") << "Dimmer" << 4;
    QTest::newRow("Laser") << "Laser" << 5;
    QTest::newRow("Hazer") << "Hazer" << 7;
    QTest::newRow("Smoke") << "Smoke" << 8;
    QTest::newRow("Effect") << "Effect" << 9;
    QTest::newRow("Other") << "Other" << 10;
    // When a text holds several keywords, the order of the table decides, not the
    // position in the text.
    QTest::newRow("Moving before Scanner") << "Scanner / Moving Head" << 0;
    QTest::newRow("Scanner before Laser") << "Laser Scanner" << 1;
    QTest::newRow("LED Fixture before Color") << "Color LED Fixture" << 2;
    QTest::newRow("Color before Dimmer") << "Dimmer with color" << 3;
    QTest::newRow("Laser before Strobe") << "Strobe Laser" << 5;
    QTest::newRow("Hazer before Smoke") << "Smoke Hazer" << 7;
    QTest::newRow("Effect before Other") << "Other Effect" << 9;
}

void TestFixtureType::typeTextIsReadByFirstKeywordIgnoringCase()
{
    QFETCH(QString, text);
    QFETCH(int, code);
    QCOMPARE(FixtureType::fromXmlText(text), code);
}

void TestFixtureType::everyWrittenNameReadsBackAsItsCode()
{
    for (int code = FixtureType::FirstCode; code <= FixtureType::LastCode; ++code) {
        QCOMPARE(FixtureType::fromXmlText(FixtureType::xmlName(code)), code);
    }
    QCOMPARE(FixtureType::fromXmlText(FixtureType::xmlName(FixtureType::Undefined)), int(FixtureType::Undefined));
}

QTEST_GUILESS_MAIN(TestFixtureType)
#include "TestFixtureType.moc"
