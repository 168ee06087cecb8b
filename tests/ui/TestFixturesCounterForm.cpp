#include "FixturesCounterForm.h"

#include <QLabel>
#include <QTest>

class TestFixturesCounterForm : public QObject
{
    Q_OBJECT

private slots:
    void countsAreWrittenInWords_data()
    {
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QString>("visibleTotal");
        QTest::addColumn<QString>("selection");
        QTest::newRow("empty library") << QList<int> {0, 0, 0} << QString() << QString();
        QTest::newRow("empty library ignores selection") << QList<int> {0, 0, 4} << QString() << QString();
        QTest::newRow("all visible") << QList<int> {3, 3, 0} << "3 Fixture Definitions" << QString();
        QTest::newRow("single, selected") << QList<int> {1, 1, 1} << "1 Fixture Definition"
                                          << " (1 Selected)";
        QTest::newRow("filtered") << QList<int> {2, 10, 0} << "2 of 10 Fixture Definitions" << QString();
        QTest::newRow("filtered, total of one") << QList<int> {0, 1, 0} << "0 of 1 Fixture Definition" << QString();
        QTest::newRow("filtered, selected") << QList<int> {5, 120, 3} << "5 of 120 Fixture Definitions"
                                            << " (3 Selected)";
    }

    void countsAreWrittenInWords()
    {
        QFETCH(QList<int>, counts);
        QFETCH(QString, visibleTotal);
        QFETCH(QString, selection);
        FixturesCounterForm form;
        form.updateCounts(counts.at(0), counts.at(1), counts.at(2));
        QCOMPARE(form.findChild<QLabel*>("visibleTotalLabel")->text(), visibleTotal);
        QCOMPARE(form.findChild<QLabel*>("selectionLabel")->text(), selection);
    }
};

QTEST_MAIN(TestFixturesCounterForm)
#include "TestFixturesCounterForm.moc"
