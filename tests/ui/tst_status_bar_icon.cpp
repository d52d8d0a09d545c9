#include "UiTestSupport.h"

#include "ui/StatusBarIcon.h"
#include "ui/TrayController.h"

class StatusBarIconTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void countRule_data();
    void countRule();
    void badgeDrawnOnlyWithCount();
    void placement_data();
    void placement();
};

void StatusBarIconTest::countRule_data()
{
    QTest::addColumn<Auth>("auth");
    QTest::addColumn<qint64>("pending");
    QTest::addColumn<std::optional<qint64>>("count");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("signed in, none") << Auth::signedIn << qint64(0) << std::optional<qint64>{} << "Cuelark";
    QTest::newRow("signed in, 12") << Auth::signedIn << qint64(12) << std::optional<qint64>(12) << "Cuelark — 12 pending";
    QTest::newRow("no grouping") << Auth::signedIn << qint64(12345) << std::optional<qint64>(12345) << "Cuelark — 12345 pending";
    QTest::newRow("waiting, leftover 5") << Auth::waitingForBrowser << qint64(5) << std::optional<qint64>{} << "Cuelark";
    QTest::newRow("signed out") << Auth::signedOut << qint64(3) << std::optional<qint64>{} << "Cuelark";
}

void StatusBarIconTest::countRule()
{
    QFETCH(Auth, auth);
    QFETCH(qint64, pending);
    QFETCH(std::optional<qint64>, count);
    QFETCH(QString, toolTip);
    UiFixture f;
    AppStateTester::setAuthState(*f.state, auth);
    AppStateTester::setTotalPending(*f.state, pending);
    QCOMPARE(StatusBarIcon::pendingCount(*f.state), count);
    QCOMPARE(StatusBarIcon::toolTip(count), toolTip);

    // The tray controller follows the state's signals.
    TrayController tray(*f.state, StatusBarIcon::Tray::dark);
    QCOMPARE(tray.trayIcon().toolTip(), toolTip);
    AppStateTester::setAuthState(*f.state, Auth::signedOut);
    QCOMPARE(tray.trayIcon().toolTip(), QStringLiteral("Cuelark"));
}

void StatusBarIconTest::badgeDrawnOnlyWithCount()
{
    using StatusBarIcon::Tray;
    const QImage &base = StatusBarIcon::baseImage(Tray::dark);
    QVERIFY(!base.isNull());
    QCOMPARE(&StatusBarIcon::baseImage(Tray::dark), &base);
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

void StatusBarIconTest::placement_data()
{
    QTest::addColumn<QRect>("icon");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QRect>("expected");
    const QSize panel(340, 400);
    QTest::newRow("below a top-right icon, clamped") << QRect(1250, 0, 24, 24) << QPoint() << QRect(QPoint(1280 - 6 - 340, 30), panel);
    QTest::newRow("centred under a middle icon") << QRect(628, 0, 24, 24) << QPoint() << QRect(QPoint(469, 30), panel);
    QTest::newRow("above a bottom icon") << QRect(10, 776, 24, 24) << QPoint() << QRect(QPoint(6, 776 - 6 - 400), panel);
    QTest::newRow("no icon geometry: at the cursor") << QRect() << QPoint(700, 12) << QRect(QPoint(530, 19), panel);
}

void StatusBarIconTest::placement()
{
    QFETCH(QRect, icon);
    QFETCH(QPoint, cursor);
    QFETCH(QRect, expected);
    QCOMPARE(panelGeometry(expected.size(), icon, cursor, QRect(0, 0, 1280, 800)), expected);
}

QTEST_MAIN(StatusBarIconTest)
#include "tst_status_bar_icon.moc"
