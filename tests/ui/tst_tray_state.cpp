// The tray tells the truth: its tooltip and icon per state, drawn for each size;
// a click on a notification opens the panel.

#include "UiTestSupport.h"

#include "ui/MenuPanelView.h"
#include "ui/StatusBarIcon.h"
#include "ui/TrayController.h"

#include <QApplication>

using StatusBarIcon::Look;
using StatusBarIcon::Tray;

namespace {

int maxAlpha(const QImage &image, QRect area)
{
    int alpha = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            alpha = std::max(alpha, qAlpha(image.pixel(x, y)));
    return alpha;
}

bool hasAmber(const QImage &image, QRect area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (const QColor c = image.pixelColor(x, y); c.alpha() == 255 && c.red() > 200 && c.blue() < 100)
                return true;
    return false;
}

} // namespace

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
        QFETCH(bool, updated);
        QFETCH(bool, failing);
        QFETCH(Look, look);
        UiFixture f; // every call fails with 503
        TrayController tray(f.state, Tray::dark);
        AppStateTester::setAuthState(f.state, Auth::signedIn);
        AppStateTester::setTotalPending(f.state, 5);
        if (updated)
            AppStateTester::setLastUpdated(f.state, QDateTime(QDate(2026, 3, 7), QTime(10, 41, 30)).toUTC());
        if (failing)
            awaitTask(f.state.refresh());
        AppStateTester::setAuthState(f.state, auth);
        QTEST(shownToolTip(tray.trayIcon().toolTip()), "toolTip");
        QCOMPARE(StatusBarIcon::look(f.state), look);
        const std::optional<qint64> count = auth == Auth::signedIn ? std::optional<qint64>(5) : std::nullopt;
        QCOMPARE(tray.trayIcon().icon().pixmap(32).toImage(), StatusBarIcon::image(count, Tray::dark, look, 32));
    }

    void iconVariants()
    {
        for (const Tray tray : {Tray::dark, Tray::light}) {
            const QImage live = StatusBarIcon::image(5, tray);
            const QImage stale = StatusBarIcon::image(5, tray, Look::stale);
            const QRect all = live.rect(), badge(40, 40, 24, 24), corner(0, 0, 28, 28);
            // Dimmed: the same symbol, faint; stale: the badge kept, a warning mark added.
            QCOMPARE(maxAlpha(StatusBarIcon::baseImage(tray), all), 255);
            QVERIFY(maxAlpha(StatusBarIcon::image(std::nullopt, tray, Look::dimmed), all) < 128);
            QCOMPARE(stale.copy(badge), live.copy(badge));
            QVERIFY(hasAmber(stale, corner) && !hasAmber(live, all));
            // Each tray size, once and twice over, is drawn at its own size, not scaled.
            const QIcon icon = StatusBarIcon::icon(5, tray, Look::stale);
            for (const int size : {16, 22, 24, 32, 44, 48, 64})
                QCOMPARE(icon.pixmap(size).toImage(), StatusBarIcon::image(5, tray, Look::stale, size));
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
