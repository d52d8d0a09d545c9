#include "UiTestSupport.h"

#include "ui/StatusBarIcon.h"
#include "ui/TrayController.h"

using StatusBarIcon::Tray;
using Count = std::optional<qint64>;

class StatusBarIconTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The badge counts pending requests only while signed in, and only when there are some.
    void countRule_data()
    {
        QTest::addColumn<Auth>("auth");
        QTest::addColumn<qint64>("pending");
        QTest::addColumn<Count>("count");
        QTest::newRow("signed in, none") << Auth::signedIn << qint64(0) << Count{};
        QTest::newRow("no grouping") << Auth::signedIn << qint64(12345) << Count(12345);
        QTest::newRow("waiting, leftover 5") << Auth::waitingForBrowser << qint64(5) << Count{};
        QTest::newRow("signed out") << Auth::signedOut << qint64(3) << Count{};
    }
    void countRule()
    {
        QFETCH(Auth, auth);
        QFETCH(qint64, pending);
        UiFixture f;
        AppStateTester::setAuthState(f.state, auth);
        AppStateTester::setTotalPending(f.state, pending);
        QTEST(StatusBarIcon::pendingCount(f.state), "count");
    }

    void badgeDrawnOnlyWithCount()
    {
        const QImage base = StatusBarIcon::baseImage(Tray::dark);
        QVERIFY(!base.isNull());
        QCOMPARE(StatusBarIcon::image(std::nullopt, Tray::dark), base);
        QVERIFY(StatusBarIcon::image(7, Tray::dark) != base);
        QVERIFY(StatusBarIcon::image(7, Tray::dark) != StatusBarIcon::image(8, Tray::dark));
        // The symbol contrasts with the tray: light on dark, dark on light.
        const auto inkLightness = [](const QImage &image) {
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(image.pixel(x, y)) == 255)
                        return QColor(image.pixel(x, y)).lightness();
            return -1;
        };
        QVERIFY(inkLightness(base) > 200);
        QVERIFY(inkLightness(StatusBarIcon::baseImage(Tray::light)) < 60);
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("below a top-right icon, clamped") << QRect(1250, 0, 24, 24) << QPoint() << QPoint(934, 30);
        QTest::newRow("centred under a middle icon") << QRect(628, 0, 24, 24) << QPoint() << QPoint(469, 30);
        QTest::newRow("above a bottom icon") << QRect(10, 776, 24, 24) << QPoint() << QPoint(6, 370);
        QTest::newRow("no icon geometry: at the cursor") << QRect() << QPoint(700, 12) << QPoint(530, 19);
    }
    void placement()
    {
        QFETCH(QRect, icon);
        QFETCH(QPoint, cursor);
        QFETCH(QPoint, topLeft);
        QCOMPARE(panelGeometry(QSize(340, 400), icon, cursor, QRect(0, 0, 1280, 800)), QRect(topLeft, QSize(340, 400)));
    }
};

QTEST_MAIN(StatusBarIconTest)
#include "tst_status_bar_icon.moc"
