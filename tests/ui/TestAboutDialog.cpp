#include "AboutDialog.h"

#include "ResourcePaths.h"

#include <QBuffer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void versionReadsZeroPointSeventyEight();
    void dialogHasFixedSizeAndTexts();
    void noticeEndsAtFirstZeroByte_data();
    void noticeEndsAtFirstZeroByte();
    void missingNoticeGivesEmptyText();
    void programLicenceIsShown();
    void okClosesDialog();
    void screenshot();
};

void TestAboutDialog::versionReadsZeroPointSeventyEight()
{
    AboutDialog dialog;
    auto* version = dialog.findChild<QLabel*>(QStringLiteral("versionLbl"));
    QVERIFY(version);
    QCOMPARE(version->text(), QStringLiteral("Version 0.78"));
}

void TestAboutDialog::dialogHasFixedSizeAndTexts()
{
    AboutDialog dialog;
    QCOMPARE(dialog.minimumSize(), QSize(440, 330));
    QCOMPARE(dialog.maximumSize(), QSize(440, 330));
    QCOMPARE(dialog.size(), QSize(440, 330));
    QCOMPARE(dialog.contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About QRD-540B / QRD-780 Fixture Library Editor"));
    QCOMPARE(dialog.toolTip(), QStringLiteral("About Korvane QRD-540B / QRD-780 Fixture Library Editor."));
    QVERIFY(dialog.whatsThis().contains(QStringLiteral("About Korvane QRD-540B Fixture Library Editor Dialog.")));

    auto* heading = dialog.findChild<QLabel*>(QStringLiteral("label"));
    QVERIFY(heading);
    QVERIFY(heading->text().contains(QStringLiteral("QRD-540B / QRD-780 Fixture Library Editor")));
    auto* picture = dialog.findChild<QLabel*>(QStringLiteral("label_2"));
    QVERIFY(picture);
    QVERIFY(!picture->pixmap().isNull());
    QVERIFY(dialog.findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget")));
}

void TestAboutDialog::noticeEndsAtFirstZeroByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero inside") << QByteArray("abc\0def", 7) << QStringLiteral("abc");
    QTest::newRow("no zero") << QByteArray("whole notice\n") << QStringLiteral("whole notice\n");
    QTest::newRow("zero first") << QByteArray("\0abc", 4) << QString();
    QTest::newRow("zero last") << QByteArray("abc\0", 4) << QStringLiteral("abc");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestAboutDialog::noticeEndsAtFirstZeroByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(AboutDialog::noticeText(buffer), text);
}

void TestAboutDialog::missingNoticeGivesEmptyText()
{
    QCOMPARE(AboutDialog::noticeText(QStringLiteral(":/licenses/LICENSES/NO-SUCH-NOTICE.txt")), QString());
}

void TestAboutDialog::programLicenceIsShown()
{
    const QString notice = AboutDialog::noticeText(ResourcePaths::ProgramLicense);
    QVERIFY(!notice.isEmpty());

    AboutDialog dialog;
    auto* browser = dialog.findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
    QVERIFY(browser);
    QVERIFY(!browser->toPlainText().isEmpty());
    QCOMPARE(browser->toPlainText().left(20), notice.left(20));
}

void TestAboutDialog::okClosesDialog()
{
    AboutDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("buttonOK"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("OK"));

    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void TestAboutDialog::screenshot()
{
    const QString folder = qEnvironmentVariable("QRD_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        QSKIP("set QRD_SCREENSHOT_DIR to save a picture of the dialog");
    }
    AboutDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.grab().save(folder + QStringLiteral("/about-dialog.png")));
}

QTEST_MAIN(TestAboutDialog)
#include "TestAboutDialog.moc"
