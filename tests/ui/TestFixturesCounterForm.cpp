#include "FixturesCounterForm.h"

#include <QGridLayout>
#include <QLabel>
#include <QTest>

class TestFixturesCounterForm : public QObject
{
    Q_OBJECT

private slots:
    void formHasItsDesignedShape();
    void countsAreWrittenInWords_data();
    void countsAreWrittenInWords();
    void firstUpdateReplacesDesignTimeTexts();

private:
    static QLabel* label(const FixturesCounterForm& form, const char* name)
    {
        return form.findChild<QLabel*>(QString::fromLatin1(name));
    }
};

void TestFixturesCounterForm::formHasItsDesignedShape()
{
    FixturesCounterForm form;
    QCOMPARE(form.size(), QSize(452, 38));
    for (const char* name : {"visibleTotalLabel", "selectionLabel"}) {
        QLabel* l = label(form, name);
        QVERIFY2(l, name);
        QCOMPARE(l->styleSheet(), QStringLiteral("color: rgb(148, 148, 148);"));
    }
    auto* grid = qobject_cast<QGridLayout*>(form.layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins().bottom(), 0);
    QVERIFY(grid->contentsMargins().left() > 0);
}

void TestFixturesCounterForm::countsAreWrittenInWords_data()
{
    QTest::addColumn<int>("nVisible");
    QTest::addColumn<int>("nTotal");
    QTest::addColumn<int>("nSelected");
    QTest::addColumn<QString>("visibleTotal");
    QTest::addColumn<QString>("selection");

    QTest::newRow("empty library") << 0 << 0 << 0 << QString() << QString();
    QTest::newRow("empty library ignores selection") << 0 << 0 << 4 << QString() << QString();
    QTest::newRow("all visible, none selected") << 3 << 3 << 0 << QStringLiteral("3 Fixture Definitions") << QString();
    QTest::newRow("single, selected") << 1 << 1 << 1 << QStringLiteral("1 Fixture Definition")
                                      << QStringLiteral(" (1 Selected)");
    QTest::newRow("filtered") << 2 << 10 << 0 << QStringLiteral("2 of 10 Fixture Definitions") << QString();
    QTest::newRow("filtered, total of one is singular")
        << 0 << 1 << 0 << QStringLiteral("0 of 1 Fixture Definition") << QString();
    QTest::newRow("filtered, several selected")
        << 5 << 120 << 3 << QStringLiteral("5 of 120 Fixture Definitions") << QStringLiteral(" (3 Selected)");
}

void TestFixturesCounterForm::countsAreWrittenInWords()
{
    QFETCH(int, nVisible);
    QFETCH(int, nTotal);
    QFETCH(int, nSelected);
    QFETCH(QString, visibleTotal);
    QFETCH(QString, selection);

    FixturesCounterForm form;
    form.updateCounts(nVisible, nTotal, nSelected);
    QCOMPARE(label(form, "visibleTotalLabel")->text(), visibleTotal);
    QCOMPARE(label(form, "selectionLabel")->text(), selection);
}

void TestFixturesCounterForm::firstUpdateReplacesDesignTimeTexts()
{
    FixturesCounterForm form;
    QCOMPARE(label(form, "visibleTotalLabel")->text(), QStringLiteral("1 of 12"));
    QCOMPARE(label(form, "selectionLabel")->text(), QStringLiteral("/ 15 selected"));

    form.updateCounts(7, 7, 0);
    QCOMPARE(label(form, "visibleTotalLabel")->text(), QStringLiteral("7 Fixture Definitions"));
    QCOMPARE(label(form, "selectionLabel")->text(), QString());
}

QTEST_MAIN(TestFixturesCounterForm)
#include "TestFixturesCounterForm.moc"
