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
    void animationFollowsBusyOnceEventLoopTurns()
    {
        QWidget panel;
        BusyIndicatorOverlay overlay(&panel);
        panel.show();
        QVERIFY(overlay.movie()->isValid() && overlay.movie()->state() == QMovie::NotRunning);
        QCoreApplication::processEvents();
        QCOMPARE(overlay.movie()->state(), QMovie::Running);
        overlay.setBusy(false);
        QVERIFY(overlay.label()->isHidden() && overlay.movie()->state() == QMovie::Running);
        QCoreApplication::processEvents();
        QCOMPARE(overlay.movie()->state(), QMovie::NotRunning);

        overlay.setBusy(true);
        overlay.setBusy(true);
        QVERIFY(overlay.label()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(overlay.movie()->state(), QMovie::Running);
    }

    void clicksReachWidgetsBeneath()
    {
        QWidget panel;
        auto* button = new QPushButton(QStringLiteral("Beneath"));
        (new QVBoxLayout(&panel))->addWidget(button);
        panel.resize(200, 100);
        auto* overlay = new BusyIndicatorOverlay(&panel);
        overlay->setGeometry(panel.rect());
        overlay->raise();
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        // Hit testing routes a click; neither the overlay nor its label may be found there.
        QCOMPARE(panel.childAt(button->geometry().center()), button);
        QCOMPARE(panel.childAt(overlay->label()->geometry().center() + overlay->pos()), button);
    }
};

QTEST_MAIN(TestBusyIndicatorOverlay)
#include "TestBusyIndicatorOverlay.moc"
