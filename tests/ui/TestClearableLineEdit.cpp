#include "ClearableLineEdit.h"

#include <QCompleter>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QToolButton>

class TestClearableLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void emptyFieldShowsSearchIcon();
    void typingSwapsSearchIconForClearIconAndBack();
    void escapeEmptiesFieldAndEmitsEmptyText_data();
    void escapeEmptiesFieldAndEmitsEmptyText();
    void clearButtonEmptiesFieldAndEmitsEmptyText_data();
    void clearButtonEmptiesFieldAndEmitsEmptyText();
    void paddingKeepsTextClearOfButton();
    void minimumSizeFitsButton();
    void buttonSitsAtRightEdge();
    void completerIsCaseInsensitivePopup();

private:
    static qint64 shownIconKey(const ClearableLineEdit& field) { return field.clearButton()->icon().cacheKey(); }
    static int frameWidth(const ClearableLineEdit& field)
    {
        return field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    }
};

void TestClearableLineEdit::emptyFieldShowsSearchIcon()
{
    ClearableLineEdit field;
    QVERIFY(field.isSearchIconShown());
    QVERIFY(!field.searchIcon().isNull());
    QVERIFY(!field.clearIcon().isNull());
    QCOMPARE(shownIconKey(field), field.searchIcon().cacheKey());
    QCOMPARE(field.clearButton()->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(field.clearButton()->styleSheet(), QStringLiteral("QToolButton { border: none; padding: 0px; }"));
}

void TestClearableLineEdit::typingSwapsSearchIconForClearIconAndBack()
{
    ClearableLineEdit field;
    QTest::keyClicks(&field, QStringLiteral("xy"));
    QCOMPARE(field.text(), QStringLiteral("xy"));
    QVERIFY(!field.isSearchIconShown());
    QCOMPARE(shownIconKey(field), field.clearIcon().cacheKey());

    QTest::keyClick(&field, Qt::Key_Backspace);
    QVERIFY(!field.isSearchIconShown());
    QTest::keyClick(&field, Qt::Key_Backspace);
    QVERIFY(field.text().isEmpty());
    QVERIFY(field.isSearchIconShown());
    QCOMPARE(shownIconKey(field), field.searchIcon().cacheKey());
}

void TestClearableLineEdit::escapeEmptiesFieldAndEmitsEmptyText_data()
{
    QTest::addColumn<QString>("initialText");
    QTest::newRow("with text") << QStringLiteral("Acme");
    QTest::newRow("already empty") << QString();
}

void TestClearableLineEdit::escapeEmptiesFieldAndEmitsEmptyText()
{
    QFETCH(QString, initialText);
    ClearableLineEdit field;
    field.setText(initialText);
    field.show();
    field.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&field));
    field.setFocus();

    QSignalSpy spy(&field, &QLineEdit::textChanged);
    QTest::keyClick(&field, Qt::Key_Escape);

    QVERIFY(field.text().isEmpty());
    QVERIFY(field.isSearchIconShown());
    QVERIFY(spy.count() >= 1);
    QCOMPARE(spy.last().at(0).toString(), QString());
}

void TestClearableLineEdit::clearButtonEmptiesFieldAndEmitsEmptyText_data()
{
    escapeEmptiesFieldAndEmitsEmptyText_data();
}

void TestClearableLineEdit::clearButtonEmptiesFieldAndEmitsEmptyText()
{
    QFETCH(QString, initialText);
    ClearableLineEdit field;
    field.setText(initialText);
    field.show();

    QSignalSpy spy(&field, &QLineEdit::textChanged);
    QTest::mouseClick(field.clearButton(), Qt::LeftButton);

    QVERIFY(field.text().isEmpty());
    QVERIFY(field.isSearchIconShown());
    // One from clearing (if there was text) and the explicit one that always follows.
    QCOMPARE(spy.count(), initialText.isEmpty() ? 1 : 2);
    QCOMPARE(spy.last().at(0).toString(), QString());
}

void TestClearableLineEdit::paddingKeepsTextClearOfButton()
{
    ClearableLineEdit field;
    const int padding = field.clearButton()->sizeHint().width() + frameWidth(field) + 1;
    QCOMPARE(field.styleSheet(), QStringLiteral("QLineEdit { padding-right: %1px; } ").arg(padding));
}

void TestClearableLineEdit::minimumSizeFitsButton()
{
    ClearableLineEdit field;
    const int extent = field.clearButton()->sizeHint().height() + 2 * frameWidth(field) + 2;
    QVERIFY(field.minimumWidth() >= extent);
    QVERIFY(field.minimumHeight() >= extent);
}

void TestClearableLineEdit::buttonSitsAtRightEdge()
{
    ClearableLineEdit field;
    field.resize(200, 40);
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));

    const QSize hint = field.clearButton()->sizeHint();
    const QRect r = field.rect();
    QCOMPARE(field.clearButton()->pos(),
             QPoint(r.right() - frameWidth(field) - hint.width(), (r.bottom() + 1 - hint.height()) / 2));
}

void TestClearableLineEdit::completerIsCaseInsensitivePopup()
{
    ClearableLineEdit field;
    QCompleter* completer = field.completer();
    QVERIFY(completer);
    QCOMPARE(completer->parent(), &field);
    QCOMPARE(completer->caseSensitivity(), Qt::CaseInsensitive);
    QCOMPARE(completer->completionMode(), QCompleter::PopupCompletion);
    QCOMPARE(completer->model()->rowCount(), 2);
}

QTEST_MAIN(TestClearableLineEdit)
#include "TestClearableLineEdit.moc"
