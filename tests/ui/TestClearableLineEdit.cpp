#include "ClearableLineEdit.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

class TestClearableLineEdit : public QObject
{
    Q_OBJECT

    static qint64 shownIcon(const ClearableLineEdit& field) { return field.clearButton()->icon().cacheKey(); }

private slots:
    void iconFollowsTextAndEscapeOrButtonEmptiesIt_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<QString>("text");
        QTest::newRow("escape, with text") << true << QStringLiteral("Acme");
        QTest::newRow("button, empty") << false << QString();
    }

    void iconFollowsTextAndEscapeOrButtonEmptiesIt()
    {
        QFETCH(bool, escape);
        QFETCH(QString, text);
        ClearableLineEdit field;
        QTest::keyClicks(&field, text + QStringLiteral("x"));
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.isSearchIconShown(), text.isEmpty());
        QCOMPARE(shownIcon(field), (text.isEmpty() ? field.searchIcon() : field.clearIcon()).cacheKey());
        field.show();
        field.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&field));
        field.setFocus();
        QSignalSpy spy(&field, &QLineEdit::textChanged);
        field.completer()->complete();
        QCOMPARE(field.completer()->popup()->isVisible(), !text.isEmpty());
        escape ? QTest::keyClick(&field, Qt::Key_Escape) : QTest::mouseClick(field.clearButton(), Qt::LeftButton);
        QVERIFY(field.text().isEmpty() && !field.completer()->popup()->isVisible());
        QCOMPARE(shownIcon(field), field.searchIcon().cacheKey());
        // One from clearing (if there was text) and the explicit one that always follows.
        QCOMPARE(spy.count(), text.isEmpty() ? 1 : 2);
        QCOMPARE(spy.last().at(0).toString(), QString());
    }
};

QTEST_MAIN(TestClearableLineEdit)
#include "TestClearableLineEdit.moc"
