// The tray tells the truth: its badge, tooltip and icon per state, drawn for each size
// and tray colour; a notification click opens the panel, placed by the icon.

#include "UiTestSupport.h"

#include "ui/MenuPanelView.h"
#include "ui/StatusBarIcon.h"
#include "ui/TrayController.h"

#include <QApplication>

using StatusBarIcon::Look;
using StatusBarIcon::Tray;
using Count = std::optional<qint64>;

class TrayTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    // The badge counts pending requests only while signed in, and only when there are some.
    // In every state a click on a notification opens the panel.
    void stateShown_data()
    {
        QTest::addColumn<Auth>("auth");
        QTest::addColumn<qint64>("pending");
        QTest::addColumn<bool>("updated"); // a refresh succeeded at 10:41
        QTest::addColumn<bool>("failing"); // the latest refresh failed (HTTP 503)
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<Look>("look");
        QTest::addColumn<Count>("count");
        const QString error = u"\nRequest failed (HTTP 503)."_s;
        QTest::newRow("signed out") << Auth::signedOut << qint64(3) << false << false << u"Cuelark — signed out"_s << Look::dimmed << Count{};
        QTest::newRow("signing in, leftover 5") << Auth::waitingForBrowser << qint64(5) << false << false << u"Cuelark — signing in…"_s << Look::dimmed << Count{};
        QTest::newRow("live") << Auth::signedIn << qint64(5) << true << false << u"Cuelark — 5 pending · updated 10:41"_s << Look::live << Count(5);
        QTest::newRow("live, none") << Auth::signedIn << qint64(0) << true << false << u"Cuelark — 0 pending · updated 10:41"_s << Look::live << Count{};
        QTest::newRow("no grouping") << Auth::signedIn << qint64(12345) << true << false << u"Cuelark — 12345 pending · updated 10:41"_s << Look::live << Count(12345);
        QTest::newRow("first cycle running") << Auth::signedIn << qint64(5) << false << false << u"Cuelark — not updated yet"_s << Look::live << Count(5);
        QTest::newRow("failing") << Auth::signedIn << qint64(5) << true << true << u"Cuelark — not updated since 10:41"_s + error << Look::stale << Count(5);
        QTest::newRow("never updated") << Auth::signedIn << qint64(5) << false << true << u"Cuelark — not updated yet"_s + error << Look::stale << Count(5);
    }
    void stateShown()
    {
        QFETCH(Auth, auth);
        QFETCH(Look, look);
        QFETCH(Count, count);
        UiFixture f; // every call fails with 503
        TrayController tray(f.state, Tray::dark);
        AppStateTester::setAuthState(f.state, Auth::signedIn);
        QFETCH(qint64, pending);
        AppStateTester::setTotalPending(f.state, pending);
        if (QFETCH(bool, updated); updated)
            AppStateTester::setLastUpdated(f.state, QDateTime(QDate(2026, 3, 7), QTime(10, 41, 30)).toUTC());
        if (QFETCH(bool, failing); failing)
            awaitTask(f.state.refresh());
        AppStateTester::setAuthState(f.state, auth);
        QTEST(shownToolTip(tray.trayIcon().toolTip()), "toolTip");
        QCOMPARE(tray.trayIcon().icon().pixmap(32).toImage(), StatusBarIcon::image(count, Tray::dark, look, 32));
        Q_EMIT f.state.panelRequested();
        // Well before a desktop without a tray would show it as a window (3 s).
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(QApplication::topLevelWidgets(), [](QWidget *w) {
            return qobject_cast<MenuPanelView *>(w) && w->isVisible();
        }), 1000);
    }

    // Ink contrasts with the tray; a badge only with a count. Dimmed: faint. Stale: the badge
    // kept, an amber mark added. Each size, once and twice over, drawn at it rather than scaled.
    void iconVariants()
    {
        const auto scan = [](const QImage &image, QRect area, auto test) {
            for (int i = 0; i < area.width() * area.height(); ++i)
                if (test(image.pixelColor(area.x() + i % area.width(), area.y() + i / area.width())))
                    return true;
            return false;
        };
        const auto opaque = [](QColor c) { return c.alpha() > 127; };
        const auto amber = [](QColor c) { return c.alpha() == 255 && c.red() > 200 && c.blue() < 100; };
        for (const Tray tray : {Tray::dark, Tray::light}) {
            const QImage &base = StatusBarIcon::baseImage(tray);
            const QImage live = StatusBarIcon::image(5, tray), stale = StatusBarIcon::image(5, tray, Look::stale);
            const QRect all = live.rect(), badge(40, 40, 24, 24), corner(0, 0, 28, 28);
            const auto weakInk = [tray](QColor c) { return c.alpha() == 255 && (tray == Tray::dark ? c.lightness() <= 200 : c.lightness() >= 60); };
            QVERIFY(scan(base, all, opaque) && !scan(base, all, weakInk));
            QCOMPARE(StatusBarIcon::image(std::nullopt, tray), base);
            QVERIFY(live != base && live != StatusBarIcon::image(8, tray));
            QVERIFY(!scan(StatusBarIcon::image(std::nullopt, tray, Look::dimmed), all, opaque));
            QCOMPARE(stale.copy(badge), live.copy(badge));
            QVERIFY(scan(stale, corner, amber) && !scan(live, all, amber));
            for (const int size : StatusBarIcon::pixelSizes)
                QCOMPARE(StatusBarIcon::icon(5, tray, Look::stale).pixmap(size).toImage(), StatusBarIcon::image(5, tray, Look::stale, size));
        }
    }

    // A 340×400 panel on a 1280×800 screen; the cursor at (700, 12) counts only without an icon.
    void placement_data()
    {
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("below a top-right icon, clamped") << QRect(1250, 0, 24, 24) << QPoint(934, 30);
        QTest::newRow("centred under a middle icon") << QRect(628, 0, 24, 24) << QPoint(469, 30);
        QTest::newRow("above a bottom icon") << QRect(10, 776, 24, 24) << QPoint(6, 370);
        QTest::newRow("no icon geometry: at the cursor") << QRect() << QPoint(530, 19);
    }
    void placement()
    {
        QFETCH(QRect, icon);
        QFETCH(QPoint, topLeft);
        QCOMPARE(panelGeometry(QSize(340, 400), icon, QPoint(700, 12), QRect(0, 0, 1280, 800)), QRect(topLeft, QSize(340, 400)));
    }
};

QTEST_MAIN(TrayTest)
#include "tst_tray.moc"
