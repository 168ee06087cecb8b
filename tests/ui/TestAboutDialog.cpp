#include "AboutDialog.h"

#include "ResourcePaths.h"

#include <QBuffer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void noticeEndsAtFirstZeroByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero inside") << QByteArray("abc\0def", 7) << QStringLiteral("abc");
        QTest::newRow("no zero") << QByteArray("whole notice\n") << QStringLiteral("whole notice\n");
        QTest::newRow("zero first") << QByteArray("\0abc", 4) << QString();
    }

    void noticeEndsAtFirstZeroByte()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(AboutDialog::noticeText(buffer), text);
    }

    void showsVersionAndLicenceAndClosesOnOk()
    {
        QCOMPARE(AboutDialog::noticeText(QStringLiteral(":/licenses/LICENSES/NO-SUCH-NOTICE.txt")), QString());
        const QString notice = AboutDialog::noticeText(ResourcePaths::ProgramLicense);
        QVERIFY(!notice.isEmpty());
        AboutDialog dialog;
        QCOMPARE(dialog.findChild<QTextBrowser*>("textBrowser")->toPlainText().left(20), notice.left(20));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.findChild<QPushButton*>("buttonOK"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TestAboutDialog)
#include "TestAboutDialog.moc"
