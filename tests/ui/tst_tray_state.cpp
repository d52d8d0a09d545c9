// The tray tells the truth: its tooltip and icon per state, drawn for each size;
// a click on a notification opens the panel.

#include "UiTestSupport.h"

#include "ui/MenuPanelView.h"
#include "ui/StatusBarIcon.h"
#include "ui/TrayController.h"

#include <QApplication>

using StatusBarIcon::Look;
using StatusBarIcon::Tray;

class TrayStateTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }

    void toolTipAndLook_data()
    {
        QTest::addColumn<Auth>("auth");
        QTest::addColumn<bool>("updated"); // a refresh succeeded at 10:41
        QTest::addColumn<bool>("failing"); // the latest refresh failed
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<Look>("look");
        const QString error = u"\nRequest failed (HTTP 503)."_s;
        QTest::newRow("signed out") << Auth::signedOut << false << false << u"Cuelark — signed out"_s << Look::dimmed;
        QTest::newRow("signing in") << Auth::waitingForBrowser << false << false << u"Cuelark — signing in…"_s << Look::dimmed;
        QTest::newRow("live") << Auth::signedIn << true << false << u"Cuelark — 5 pending · updated 10:41"_s << Look::live;
        QTest::newRow("first cycle running") << Auth::signedIn << false << false << u"Cuelark — not updated yet"_s << Look::live;
        QTest::newRow("failing") << Auth::signedIn << true << true << u"Cuelark — not updated since 10:41"_s + error << Look::stale;
        QTest::newRow("never updated") << Auth::signedIn << false << true << u"Cuelark — not updated yet"_s + error << Look::stale;
    }
    void toolTipAndLook()
    {
        QFETCH(Auth, auth);
        QFETCH(Look, look);
        UiFixture f; // every call fails with 503
        TrayController tray(f.state, Tray::dark);
        AppStateTester::setAuthState(f.state, Auth::signedIn);
        AppStateTester::setTotalPending(f.state, 5);
        if (QFETCH(bool, updated); updated)
            AppStateTester::setLastUpdated(f.state, QDateTime(QDate(2026, 3, 7), QTime(10, 41, 30)).toUTC());
        if (QFETCH(bool, failing); failing)
            awaitTask(f.state.refresh());
        AppStateTester::setAuthState(f.state, auth);
        QTEST(shownToolTip(tray.trayIcon().toolTip()), "toolTip");
        const std::optional<qint64> badge = auth == Auth::signedIn ? std::optional<qint64>(5) : std::nullopt;
        QCOMPARE(tray.trayIcon().icon().pixmap(32).toImage(), StatusBarIcon::image(badge, Tray::dark, look, 32));
    }

    // Dimmed: the symbol, faint. Stale: the badge kept, an amber mark added. Each
    // size, once and twice over, drawn at its own size rather than scaled.
    void iconVariants()
    {
        const auto scan = [](const QImage &image, QRect area, auto test) {
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    if (test(image.pixelColor(x, y)))
                        return true;
            return false;
        };
        const auto opaque = [](QColor c) { return c.alpha() > 127; };
        const auto amber = [](QColor c) { return c.alpha() == 255 && c.red() > 200 && c.blue() < 100; };
        for (const Tray tray : {Tray::dark, Tray::light}) {
            const QImage live = StatusBarIcon::image(5, tray), stale = StatusBarIcon::image(5, tray, Look::stale);
            const QRect all = live.rect(), badge(40, 40, 24, 24), corner(0, 0, 28, 28);
            QVERIFY(scan(StatusBarIcon::baseImage(tray), all, opaque));
            QVERIFY(!scan(StatusBarIcon::image(std::nullopt, tray, Look::dimmed), all, opaque));
            QCOMPARE(stale.copy(badge), live.copy(badge));
            QVERIFY(scan(stale, corner, amber) && !scan(live, all, amber));
            for (const int size : StatusBarIcon::pixelSizes)
                QCOMPARE(StatusBarIcon::icon(5, tray, Look::stale).pixmap(size).toImage(),
                         StatusBarIcon::image(5, tray, Look::stale, size));
        }
    }

    void notificationClickOpensThePanel()
    {
        UiFixture f;
        TrayController tray(f.state, Tray::dark);
        Q_EMIT f.state.panelRequested();
        // Well before a desktop without a tray would show it as a window (3 s).
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(QApplication::topLevelWidgets(), [](QWidget *w) {
            return qobject_cast<MenuPanelView *>(w) && w->isVisible();
        }), 1000);
    }
};

QTEST_MAIN(TrayStateTest)
#include "tst_tray_state.moc"
