#include "FixtureType.h"

#include <QTest>

#include <climits>

/// Type codes travel unchanged between file and device; the file names them, and
/// older files spell them loosely, so the reader matches keywords.
class TestFixtureType : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typeTextIsReadByFirstKeywordOfTheTableIgnoringCase_data();
    void typeTextIsReadByFirstKeywordOfTheTableIgnoringCase();
    void everyCodeReadsBackAndOthersAreWrittenUndefined();
};

void TestFixtureType::typeTextIsReadByFirstKeywordOfTheTableIgnoringCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");

    QTest::newRow("lower case") << "moving head" << 0;
    QTest::newRow("the editor's misspelling") << "Color Chnager" << 3;
    QTest::newRow("keyword inside a word") << "Multicolor" << 3;
    QTest::newRow("British spelling has no keyword") << "Colour Changer" << -1;
    QTest::newRow("LED needs Fixture") << "LED" << -1;
    QTest::newRow("surrounding spaces") << "  Strobe\n" << 6;
    QTest::newRow("Undefined") << "Undefined" << -1;
    QTest::newRow("empty") << "" << -1;
    // With several keywords the order of the table decides, not the place in the text.
    QTest::newRow("Moving before Scanner") << "Scanner / Moving Head" << 0;
    QTest::newRow("LED Fixture before Color") << "Color LED Fixture" << 2;
    QTest::newRow("Color before Dimmer") << "Dimmer with color" << 3;
    QTest::newRow("Hazer before Smoke") << "Smoke Hazer" << 7;
}

void TestFixtureType::typeTextIsReadByFirstKeywordOfTheTableIgnoringCase()
{
    QFETCH(QString, text);
    QFETCH(int, code);
    QCOMPARE(FixtureType::fromXmlText(text), code);
}

void TestFixtureType::everyCodeReadsBackAndOthersAreWrittenUndefined()
{
    for (int code = FixtureType::FirstCode; code <= FixtureType::LastCode; ++code) {
        QCOMPARE(FixtureType::fromXmlText(FixtureType::xmlName(code)), code);
    }
    // 200 and 255 are bytes from a device; 255 is -1 as the device stores it.
    for (int code : {-1, -2, 11, 200, 255, INT_MIN, INT_MAX}) {
        QCOMPARE(FixtureType::xmlName(code), QStringLiteral("Undefined"));
    }
}

QTEST_GUILESS_MAIN(TestFixtureType)
#include "TestFixtureType.moc"
