#include "BusyIndicatorOverlay.h"

#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

class TestBusyIndicatorOverlay : public QObject
{
    Q_OBJECT

private slots:
    void animationStartsOnceEventLoopTurns();
    void busyTwiceLeavesOneRunningAnimation();
    void notBusyHidesAtOnceAndStopsWithEventLoop();
    void clicksReachWidgetsBeneath();
};

void TestBusyIndicatorOverlay::animationStartsOnceEventLoopTurns()
{
    QWidget panel;
    BusyIndicatorOverlay overlay(&panel);
    QVERIFY(overlay.movie()->isValid());
    QCOMPARE(overlay.label()->movie(), overlay.movie());
    QCOMPARE(overlay.label()->size(), QSize(30, 30));
    QCOMPARE(overlay.label()->minimumSize(), QSize(30, 30));
    QCOMPARE(overlay.label()->maximumSize(), QSize(30, 30));

    QCOMPARE(overlay.movie()->state(), QMovie::NotRunning);
    QCoreApplication::processEvents();
    QCOMPARE(overlay.movie()->state(), QMovie::Running);
}

void TestBusyIndicatorOverlay::busyTwiceLeavesOneRunningAnimation()
{
    QWidget panel;
    BusyIndicatorOverlay overlay(&panel);
    panel.show();
    overlay.setBusy(false);
    QCoreApplication::processEvents();
    QCOMPARE(overlay.movie()->state(), QMovie::NotRunning);

    overlay.setBusy(true);
    overlay.setBusy(true);
    QVERIFY(overlay.label()->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(overlay.movie()->state(), QMovie::Running);
}

void TestBusyIndicatorOverlay::notBusyHidesAtOnceAndStopsWithEventLoop()
{
    QWidget panel;
    BusyIndicatorOverlay overlay(&panel);
    panel.show();
    overlay.setBusy(true);
    overlay.setBusy(true);
    QCoreApplication::processEvents();
    QCOMPARE(overlay.movie()->state(), QMovie::Running);

    overlay.setBusy(false);
    QVERIFY(overlay.label()->isHidden());
    QCOMPARE(overlay.movie()->state(), QMovie::Running);
    QCoreApplication::processEvents();
    QCOMPARE(overlay.movie()->state(), QMovie::NotRunning);
    QVERIFY(overlay.label()->isHidden());
}

void TestBusyIndicatorOverlay::clicksReachWidgetsBeneath()
{
    QWidget panel;
    auto* layout = new QVBoxLayout(&panel);
    auto* button = new QPushButton(QStringLiteral("Beneath"));
    layout->addWidget(button);
    panel.resize(200, 100);
    auto* overlay = new BusyIndicatorOverlay(&panel);
    overlay->setGeometry(panel.rect());
    overlay->raise();
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));

    QVERIFY(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    QCOMPARE(overlay->palette().color(QPalette::Window).alpha(), 0);
    // Hit testing is what routes a click; the overlay and its label must not be found there.
    QCOMPARE(panel.childAt(button->geometry().center()), button);
    QCOMPARE(panel.childAt(overlay->label()->geometry().center() + overlay->pos()), button);
}

QTEST_MAIN(TestBusyIndicatorOverlay)
#include "TestBusyIndicatorOverlay.moc"
