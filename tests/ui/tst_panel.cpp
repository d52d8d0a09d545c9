// The tray and its panel, driven through AppState. The tray tells the truth: its
// badge, tooltip and icon per state, drawn for each size and tray colour; a
// notification click opens the panel, placed by the icon. The panel: sign-in
// view, dashboard, keyboard triage, footer and links.

#include "UiTestSupport.h"

#include "AppConfig.h"
#include "ui/DashboardView.h"
#include "ui/DesktopUi.h"
#include "ui/MenuPanelView.h"
#include "ui/PanelFooter.h"
#include "ui/RequestRow.h"
#include "ui/StatusBarIcon.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/TrayController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <ctime>

using StatusBarIcon::Look;
using StatusBarIcon::Tray;
using Count = std::optional<qint64>;

namespace {

using Id = std::optional<qint64>;

// The whole panel on screen, on a state whose service calls all fail.
struct Panel {
    UiFixture f;
    AppState &state = f.state;
    MenuPanelView panel{state};
    // Opened (and focused) with `requests` already listed, if there are any.
    explicit Panel(Auth auth = Auth::signedIn, QList<SongRequest> requests = {})
    {
        AppStateTester::setAuthState(state, auth);
        if (!requests.isEmpty())
            list(std::move(requests));
        settle();
        panel.show();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
    }
    QWidget *view() const { return child(&panel, state.authState() == Auth::signedIn ? "dashboardView" : "loginView"); }
    // Event 7 selected, listing `requests`.
    void list(QList<SongRequest> requests)
    {
        AppStateTester::setSelectedEventId(state, 7);
        AppStateTester::setRequests(state, std::move(requests));
        settle();
    }
    QList<RequestRow *> rows() const // top to bottom
    {
        QList<RequestRow *> rows = panel.findChildren<RequestRow *>(u"requestRow"_s);
        std::ranges::stable_sort(rows, {}, &QWidget::y);
        return rows;
    }
    void click(const char *name) { QTest::mouseClick(child(view(), name), Qt::LeftButton); }
    // Refreshing as a session does, hours apart: returns once the first cycle
    // has failed (on the 503s), with no call seen.
    bool refreshing()
    {
        AppStateTester::startRefreshLoop(state);
        const bool failed = waitUntil([&] { return state.lastRefreshFailed(); });
        f.service.calls.clear();
        return failed;
    }
};

// No line break, control character or direction override left in shown text.
bool oneLine(const QString &text)
{
    return std::ranges::none_of(text, [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator
               || (c >= u'\u202A' && c <= u'\u202E') || (c >= u'\u2066' && c <= u'\u2069');
    });
}

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override { return paints += event->type() == QEvent::Paint, false; }
};

} // namespace

class PanelTest : public QObject {
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
        // Counts from the service that a plural form cannot take as they are.
        QTest::newRow("negative") << Auth::signedIn << qint64(-2) << true << false << u"Cuelark — 0 pending · updated 10:41"_s << Look::live << Count{};
        QTest::newRow("beyond an int") << Auth::signedIn << (qint64(1) << 32) + 5 << true << false << u"Cuelark — 2147483647 pending · updated 10:41"_s << Look::live << Count((qint64(1) << 32) + 5);
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
        QSystemTrayIcon icon;
        TrayController tray(f.state, icon, Tray::dark);
        AppStateTester::setAuthState(f.state, Auth::signedIn);
        QFETCH(qint64, pending);
        AppStateTester::setTotalPending(f.state, pending);
        if (QFETCH(bool, updated); updated)
            AppStateTester::setLastUpdated(f.state, QDateTime(QDate(2026, 3, 7), QTime(10, 41, 30)).toUTC());
        if (QFETCH(bool, failing); failing) {
            AppStateTester::setLastRefreshFailed(f.state, true);
            AppStateTester::setErrorMessage(f.state, u"Request failed (HTTP 503)."_s);
        }
        AppStateTester::setAuthState(f.state, auth);
        QTEST(shownToolTip(tray.trayIcon().toolTip()), "toolTip");
        QCOMPARE(tray.trayIcon().icon().pixmap(32).toImage(), StatusBarIcon::image(count, Tray::dark, look, 32));
        Q_EMIT f.state.panelRequested();
        // Well before a desktop without a tray would show it as a window (3 s).
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(QApplication::topLevelWidgets(), [](QWidget *w) {
            return qobject_cast<MenuPanelView *>(w) && w->isVisible();
        }), 1000);
    }

    // Ink contrasts with the tray; a badge only with a count. Dimmed: a fainter ink. Stale: the badge
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
            const QColor liveInk = StatusBarIcon::ink(tray, Look::live).fill;
            QVERIFY(!scan(StatusBarIcon::image(std::nullopt, tray, Look::dimmed), all, [&](QColor c) { return c == liveInk; }));
            QCOMPARE(stale.copy(badge), live.copy(badge));
            QVERIFY(scan(stale, corner, amber) && !scan(live, all, amber));
            // Drawn at each size, not scaled down from the largest, and all of them in the icon.
            const QIcon icon = StatusBarIcon::icon(5, tray, Look::stale);
            QList<QSize> sizes;
            for (const int size : StatusBarIcon::pixelSizes) {
                const QImage drawn = StatusBarIcon::image(5, tray, Look::stale, size).convertToFormat(QImage::Format_ARGB32);
                QCOMPARE(drawn.size(), sizes.emplace_back(size, size));
                QVERIFY(size == StatusBarIcon::largestSize
                        || drawn != stale.scaled(size, size, {}, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32));
                QCOMPARE(icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32), drawn);
            }
            QCOMPARE(icon.availableSizes(), sizes);
        }
    }

    // A request's symbols: drawn at each scale they are shown at, not scaled
    // from another; the ring, the shapes cut from it and their round ends in
    // place (points on the 16-unit grid); no image plugin loaded for them.
    void requestSymbols_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QList<QPointF>>("inked");
        QTest::addColumn<QList<QPointF>>("clear");
        QTest::newRow("approve") << u"approveButton"_s << Symbols::approve << Theme::green
                                 << QList<QPointF>{{8, 1}, {1, 8}, {12.4, 4.6}} << QList<QPointF>{{0.7, 0.7}, {7.1, 10.1}, {11.4, 5.3}};
        QTest::newRow("reject") << u"rejectButton"_s << Symbols::reject << Theme::softRed()
                                << QList<QPointF>{{8, 15}, {4.2, 4.2}} << QList<QPointF>{{15.3, 15.3}, {8, 8}, {4.7, 4.7}};
        QTest::newRow("copy") << u"copyButton"_s << Symbols::copy << Theme::secondaryText
                              << QList<QPointF>{{4.6, 6}, {2.6, 10}, {6, 14.4}} << QList<QPointF>{{9, 6}, {3, 3}, {2.1, 14.9}};
    }
    void requestSymbols()
    {
        QFETCH(QString, button);
        QFETCH(QString, symbol);
        QFETCH(QColor, color);
        Panel p;
        p.list({makeRequest(1, u"pending"_s)});
        const QIcon icon = child<QAbstractButton>(p.rows().value(0), qPrintable(button))->icon();
        for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
            QImage shown = icon.pixmap(QSize(16, 16), ratio).toImage();
            QCOMPARE(shown.deviceIndependentSize(), QSizeF(16, 16));
            shown.setDevicePixelRatio(1);
            QCOMPARE(shown, Symbols::image(symbol, color, qRound(16 * ratio)));
        }
        const QImage large = icon.pixmap(64).toImage();
        const auto alphaAt = [&](QPointF at) { return large.pixelColor((at * 4).toPoint()).alpha(); };
        for (QFETCH(QList<QPointF>, inked); const QPointF at : inked)
            QVERIFY2(alphaAt(at) > 191, qPrintable(u"(%1, %2) not inked"_s.arg(at.x()).arg(at.y())));
        for (QFETCH(QList<QPointF>, clear); const QPointF at : clear)
            QVERIFY2(alphaAt(at) < 64, qPrintable(u"(%1, %2) not clear"_s.arg(at.x()).arg(at.y())));
        QFile maps(u"/proc/self/maps"_s);
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY(!mapped.contains("libQt6Svg") && !mapped.contains("/imageformats/"));
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

    // Opened where no tray tells the icon's place, the panel is placed from the
    // pointer at that moment and keeps that place while its content grows, the
    // pointer long gone. Closing hides it; the next opening shows the same panel
    // at the new pointer. The tray icon exports no menu of its own.
    void panelKeepsItsPlace()
    {
        UiFixture f;
        QSystemTrayIcon icon;
        TrayController tray(f.state, icon, Tray::dark);
        QVERIFY(!icon.contextMenu());
        const auto shownPanel = [] {
            const QList<QWidget *> all = QApplication::topLevelWidgets();
            const auto it = std::ranges::find_if(all, [](QWidget *w) { return qobject_cast<MenuPanelView *>(w) && w->isVisible(); });
            return it == all.end() ? nullptr : *it;
        };
        QCursor::setPos(700, 12);
        tray.openPanel();
        QWidget *const panel = shownPanel();
        QVERIFY(panel);
        const QPoint opened = panel->pos();
        QCursor::setPos(100, 500);
        const int before = panel->height();
        AppStateTester::setErrorMessage(f.state, u"The service could not be reached. "_s.repeated(8));
        QTRY_VERIFY(panel->height() > before);
        QCOMPARE(panel->pos(), opened);
        panel->close();
        QVERIFY(!shownPanel());
        tray.openPanel();
        QCOMPARE(shownPanel(), panel);
        QCOMPARE_NE(panel->pos(), opened);
    }

    // Signed out → waiting for the browser → cancelled, which keeps an earlier
    // error; signing in clears it and starts a session. The panel keeps its
    // width and follows the auth state; a long error makes it taller.
    void signInSteps()
    {
        Panel p(Auth::signedOut);
        const int before = p.panel.height();
        AppStateTester::setErrorMessage(p.state, u"The service could not be reached. "_s.repeated(8));
        QTRY_VERIFY(p.panel.height() > before + 3 * p.panel.fontMetrics().lineSpacing());
        AppStateTester::setErrorMessage(p.state, std::nullopt);
        settle();
        const auto visible = [&p] {
            return shownOf(p.view(), {"signInExplanation", "signInButton", "spinner", "waitingText", "cancelButton",
                                      "errorMessage", "divider", "panelFooter"});
        };
        QCOMPARE(visible(), u"signInExplanation signInButton divider panelFooter"_s);

        AppStateTester::setAuthState(p.state, Auth::waitingForBrowser);
        AppStateTester::setErrorMessage(p.state, u"earlier"_s);
        settle();
        QCOMPARE(visible(), u"spinner waitingText cancelButton errorMessage divider panelFooter"_s);
        p.click("cancelButton");
        QCOMPARE(p.state.authState(), Auth::signedOut);
        settle();
        QCOMPARE(visible(), u"signInExplanation signInButton errorMessage divider panelFooter"_s);
        p.click("signInButton");
        QVERIFY(!p.state.errorMessage());
        QVERIFY(p.f.waitForCall(u"POST /api/glasses/auth/start"_s));
        QTRY_COMPARE(p.state.errorMessage(), u"Request failed (HTTP 503)."_s); // the service's answer, not a forced state
        AppStateTester::setAuthState(p.state, Auth::signedIn);
        settle();
        QCOMPARE(shownOf(&p.panel, {"dashboardView", "loginView"}), u"dashboardView"_s);
        QCOMPARE(p.panel.width(), MenuPanelView::panelWidth);
    }

    // The picker and the two counters follow the events and the selection.
    void eventsAndCounters_data()
    {
        QTest::addColumn<QList<DJEvent>>("events");
        QTest::addColumn<Id>("selected");
        QTest::addColumn<qint64>("pending");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("live");
        // At noon UTC: the same day in every time zone a test runs in.
        const QList<DJEvent> two{DJEvent{7, u"Friday"_s, true, u"2026-03-06T12:00:00Z"_s, std::nullopt},
                                 DJEvent{9, u"Saturday"_s, false, u"2026-03-07T12:00:00Z"_s, u"2026-03-07T13:00:00Z"_s}};
        const QStringList labels{u"\u25CF Friday \u00B7 06/03/2026"_s, u"Saturday \u00B7 07/03/2026"_s};
        QTest::newRow("no events") << QList<DJEvent>() << Id{} << qint64(0) << QStringList{u"No events"_s} << 0 << false;
        QTest::newRow("live one selected") << two << Id{7} << qint64(0) << labels << 0 << true;
        QTest::newRow("idle one, no grouping") << two << Id{9} << qint64(1234) << labels << 1 << false;
        QTest::newRow("selection not listed") << two << Id{42} << qint64(3) << labels << -1 << false;
    }
    void eventsAndCounters()
    {
        QFETCH(QList<DJEvent>, events);
        QFETCH(Id, selected);
        QFETCH(qint64, pending);
        QFETCH(bool, live);
        Panel p;
        AppStateTester::setEvents(p.state, events);
        AppStateTester::setSelectedEventId(p.state, selected);
        AppStateTester::setTotalPending(p.state, pending);
        settle();
        auto *picker = child<QComboBox>(p.view(), "eventPicker");
        QStringList rows;
        for (int i = 0; i < picker->count(); ++i)
            rows << picker->itemText(i);
        QTEST(rows, "rows");
        QTEST(picker->currentIndex(), "current");
        QWidget *pendingCard = child(p.view(), "pendingCard"), *statusCard = child(p.view(), "statusCard");
        QCOMPARE(labelText(pendingCard, "statValue"), QString::number(pending));
        QCOMPARE(labelText(statusCard, "statValue"), live ? u"Live"_s : u"Idle"_s);
        QCOMPARE(textColor(child(statusCard, "statValue")), live ? Theme::green : Theme::secondaryText);
        if (rows.size() == 2) {
            QVERIFY(p.refreshing());
            Q_EMIT picker->activated(1 - std::max(0, picker->currentIndex()));
            QCOMPARE_NE(p.state.selectedEventId(), selected);
            QVERIFY(p.f.waitForCall(u"GET /api/glasses/"_s));
        }
    }

    // The picker keeps its selection when a refresh republishes the events or
    // brings new ones. A hidden panel does no work: what is published meanwhile
    // reaches its views when it is shown again, before it paints.
    void catchesUpOnlyWhenShown()
    {
        Panel p;
        const QList<DJEvent> two{makeEvent(7, u"Friday"_s, true), makeEvent(9, u"Saturday"_s, false)};
        auto *picker = child<QComboBox>(p.view(), "eventPicker");
        const auto publish = [&](const QList<DJEvent> &events, qint64 pending) {
            AppStateTester::setEvents(p.state, events);
            AppStateTester::setSelectedEventId(p.state, 9);
            AppStateTester::setTotalPending(p.state, pending);
            settle();
        };
        const auto shown = [&] {
            return u"%1 of %2 pending %3"_s.arg(picker->currentIndex()).arg(picker->count())
                .arg(labelText(child(p.view(), "pendingCard"), "statValue"));
        };
        publish(two, 1);
        QCOMPARE(shown(), u"1 of 2 pending 1"_s);
        publish(two, 1);
        QCOMPARE(shown(), u"1 of 2 pending 1"_s);
        publish(QList<DJEvent>{makeEvent(5, u"Thursday"_s, false)} + two, 2);
        QCOMPARE(shown(), u"2 of 3 pending 2"_s);

        p.panel.hide();
        publish(two, 3);
        QCOMPARE(shown(), u"2 of 3 pending 2"_s);
        p.panel.show();
        QCOMPARE(shown(), u"1 of 2 pending 3"_s);
    }

    // An event's day is the user's (here five hours behind UTC), in the user's locale.
    void eventDates()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "XYZ+05");
        tzset();
        const QLocale german(QLocale::German, QLocale::Germany);
        const QDateTime now(QDate(2026, 3, 7), QTime(20, 0), Qt::UTC);
        const auto label = [&](const QString &start) {
            return DashboardView::pickerLabel(DJEvent{7, u"Set"_s, false, start, std::nullopt}, now, german);
        };
        QCOMPARE(label(u"2026-03-08T03:00:00Z"_s), u"Set \u00B7 07.03.26"_s);
        QCOMPARE(label(u"2026-03-07T19:00:00Z"_s), u"\u25CF Set \u00B7 07.03.26"_s); // live
        QCOMPARE(label(u"2026-03-07"_s), u"Set \u00B7 \u2014"_s); // a day without a time is unreadable
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        tzset();
    }

    // What stands in for an empty list, then the first eight of twelve requests
    // in a capped, scrolling list whose rows a refresh updates in place.
    void requestList()
    {
        Panel p;
        QCOMPARE(labelText(p.view(), "emptyListText"), u"Select an event."_s);
        p.list({});
        QCOMPARE(shownOf(p.view(), {"emptyListText", "requestList"}), u"emptyListText"_s);
        QCOMPARE(labelText(p.view(), "emptyListText"), u"No requests yet."_s);

        QList<SongRequest> twelve;
        for (int i = 1; i <= 12; ++i)
            twelve << makeRequest(i, u"pending"_s, u"Song %1"_s.arg(i));
        p.list(twelve);
        const QList<RequestRow *> rows = p.rows();
        QList<qint64> ids;
        for (RequestRow *row : rows)
            ids << row->request().id;
        QCOMPARE(ids, (QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8}));
        auto *list = child<QScrollArea>(p.view(), "requestList");
        QTRY_COMPARE(list->height(), DashboardView::maxListHeight);
        QScrollBar *bar = list->verticalScrollBar();
        bar->setValue(bar->maximum());
        const int scrolled = bar->value();
        QVERIFY(scrolled > 0);

        twelve[2].status = u"approved"_s;
        p.list(twelve);
        QVERIFY(p.rows() == rows); // the same widgets; QCOMPARE would print replaced, deleted ones
        QCOMPARE(shownOf(rows[2], {"approveButton", "statusLabel"}), u"statusLabel"_s);
        QCOMPARE(bar->value(), scrolled);
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("effect"); // a service call, a page opened, or "signed out"
        QTest::newRow("approve") << "approveButton" << R"(PATCH /api/glasses/requests/42 {"status":"approved"})";
        QTest::newRow("reject") << "rejectButton" << R"(PATCH /api/glasses/requests/42 {"status":"rejected"})";
        QTest::newRow("refresh") << "refreshButton" << "GET /api/glasses/";
        QTest::newRow("sign out") << "signOutButton" << "signed out";
        QTest::newRow("download") << "downloadLink" << "/download/mac";
        QTest::newRow("privacy") << "privacyLink" << "/download/mac#privacy";
        QTest::newRow("terms") << "termsLink" << "/terms-of-service";
    }
    void buttons()
    {
        QFETCH(QString, button);
        QFETCH(QString, effect);
        Panel p;
        p.list({makeRequest(42, u"pending"_s)});
        QVERIFY(p.refreshing());
        QTest::mouseClick(child(p.view(), qPrintable(button)), Qt::LeftButton);
        if (effect.startsWith(u'/'))
            QCOMPARE(p.f.desktop.openedUrls, QList<QUrl>{QUrl(UiFixture::serviceUrl.toString() + effect)});
        else if (effect == u"signed out")
            QCOMPARE(p.state.authState(), Auth::signedOut);
        else
            QVERIFY(p.f.waitForCall(effect));
    }

    // Only web addresses are handed to the desktop: never a local file or junk.
    void linkThatIsNotAWebAddressDoesNothing()
    {
        UiFixture f;
        for (const QString &to : {u"file:///etc/passwd"_s, u"ftp://cuelark.example/"_s, u"not a url"_s, QString()}) {
            LinkButton button(f.state, u"Bad"_s, to);
            QTest::mouseClick(&button, Qt::LeftButton);
        }
        QVERIFY(f.desktop.openedUrls.isEmpty());
    }

    // With no browser the page asked for is offered instead, its address with a
    // Copy button: the sign-in page (the sign-in goes on) and a footer link.
    void pagesWithoutABrowser_data()
    {
        QTest::addColumn<QString>("link"); // none: the sign-in page
        QTest::newRow("sign-in page") << QString();
        QTest::newRow("Privacy") << u"privacyLink"_s;
    }
    void pagesWithoutABrowser()
    {
        QFETCH(QString, link);
        Panel p(link.isEmpty() ? Auth::signedOut : Auth::signedIn);
        p.f.desktop.browserWorks = false;
        p.f.service.answer(u"POST /api/glasses/auth/start"_s, {200, "{\"sessionId\":\"s\",\"pollToken\":\"p\",\"expiresAt\":"
            "\"2026-03-07T20:10:00Z\",\"authUrl\":\"https://cuelark.test/glasses.html?session=s\"}"});
        p.f.service.answer(u"GET /api/glasses/auth/status"_s, {200, R"({"status":"pending"})"});
        QCOMPARE(shownOf(p.view(), {"unopenedPageNotice"}), QString());
        p.click(link.isEmpty() ? "signInButton" : qPrintable(link));
        QTRY_COMPARE(shownOf(p.view(), {"unopenedPageNotice"}), u"unopenedPageNotice"_s);
        const QString address = p.f.desktop.openedUrls.value(0).toString(QUrl::FullyEncoded);
        QVERIFY(!address.isEmpty());
        QCOMPARE(labelText(p.view(), "unopenedPageAddress"), address);
        p.click("copyAddressButton");
        QCOMPARE(QGuiApplication::clipboard()->text(), address);
        if (link.isEmpty()) {
            QCOMPARE(p.state.authState(), Auth::waitingForBrowser);
            QVERIFY(p.f.waitForCall(u"GET /api/glasses/auth/status"_s));
        }
    }

    // The user's name, the last update and an error show only when known; a
    // long error is cut after two lines rather than stretching the panel.
    void optionalHeaderAndFooterParts()
    {
        Panel p;
        const std::initializer_list<const char *> parts{"userName", "lastUpdated", "errorMessage"};
        QCOMPARE(shownOf(p.view(), parts), QString());
        AppStateTester::setUserName(p.state, u"DJ Nova"_s);
        AppStateTester::setLastUpdated(p.state, QDateTime(QDate(2026, 3, 7), QTime(21, 4, 5)));
        AppStateTester::setErrorMessage(p.state, u"The service could not be reached. "_s.repeated(10));
        settle();
        QCOMPARE(shownOf(p.view(), parts), u"userName lastUpdated errorMessage"_s);
        QVERIFY(labelText(p.view(), "lastUpdated").contains(u"4:05"_s)); // with seconds, in any locale
        // A build that talks to anything but the real service says so.
        QVERIFY(labelText(p.view(), "versionLabel").endsWith(u" \u00B7 cuelark.test"_s));
        auto *error = child<QLabel>(p.view(), "errorMessage");
        QTRY_VERIFY(error->heightForWidth(error->width()) > 2 * error->fontMetrics().lineSpacing());
        QVERIFY(error->height() <= 2 * error->fontMetrics().lineSpacing());
    }

    // Text from the audience or the service, wherever the panel shows it: as
    // typed (never markup), on one line, in the order typed, at the panel's width.
    void hostileText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown"); // a part of the shown text and its tooltip
        QTest::newRow("markup") << u"<b>Bold</b> & <a href=\"file:///etc/passwd\">x</a><img src=x>"_s
                                << u"<b>Bold</b> & <a href=\"file:///etc/passwd\">x</a><img src=x>"_s;
        QTest::newRow("controls") << u"Bell\u0007 one\ntwo\rthree\tfour\u0085five\u009b\u2028six"_s
                                  << u"Bell\uFFFD one two three four five\uFFFD six"_s;
        QTest::newRow("bidi overrides") << u"abc\u202Egpj.exe\u202C def \u2067x\u2069 \u202Bq"_s << u"abcgpj.exe def x q"_s;
        QTest::newRow("10 kB") << u"W"_s.repeated(10'000) << u"W"_s.repeated(100);
        QTest::newRow("emoji") << u"🎧🔥 DJ 👩🏽‍🎤 Set"_s << u"🎧🔥 DJ 👩🏽‍🎤 Set"_s;
    }
    void hostileText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        Panel p;
        AppStateTester::setUserName(p.state, text);
        AppStateTester::setErrorMessage(p.state, text);
        AppStateTester::setEvents(p.state, {makeEvent(7, text, false)});
        p.list({makeRequest(1, text, text, text)});
        for (const std::string_view place : {"userName", "errorMessage", "songTitle", "artistName", "statusLabel", "copyButton",
                                  "eventPicker", "loginError"}) {
            if (place == "loginError") {
                AppStateTester::setAuthState(p.state, Auth::signedOut);
                settle();
            }
            QWidget *widget = child(p.view(), place == "loginError" ? "errorMessage" : place.data());
            QString onScreen, toolTip = widget->toolTip();
            if (auto *label = qobject_cast<QLabel *>(widget)) {
                QCOMPARE(label->textFormat(), Qt::PlainText);
                onScreen = label->text();
            } else if (auto *picker = qobject_cast<QComboBox *>(widget)) {
                onScreen = picker->itemText(0);
                toolTip = picker->itemData(0, Qt::ToolTipRole).toString();
                QVERIFY(picker->fontMetrics().horizontalAdvance(onScreen) < MenuPanelView::panelWidth);
            }
            toolTip = shownToolTip(toolTip);
            for (const QString &seen : {onScreen, toolTip})
                QVERIFY2(oneLine(seen) && seen.size() < 1000, place.data());
            // The picker's line is elided to its width: its tooltip has the text.
            if (!onScreen.isEmpty() && place != "eventPicker")
                QVERIFY2(onScreen.contains(shown, Qt::CaseInsensitive), place.data());
            if (!toolTip.isEmpty() || place == "eventPicker" || place == "copyButton")
                QVERIFY2(toolTip.contains(shown, Qt::CaseInsensitive), place.data());
            QVERIFY2(widget->mapTo(&p.panel, QPoint(widget->width(), 0)).x() <= MenuPanelView::panelWidth, place.data());
            if (place == "copyButton") { // the clipboard gets the text exactly as sent
                QTest::mouseClick(widget, Qt::LeftButton);
                QCOMPARE(QGuiApplication::clipboard()->text(), text + u' ' + text);
                QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasHtml());
            }
        }
        QCOMPARE(p.panel.width(), MenuPanelView::panelWidth);
    }

    // The open panel repaints what a refresh changed and nothing else: a cycle that
    // brings the same data paints nothing, on a clock that stands still (so even
    // the "Updated" time stays the same).
    void refreshRepaintsOnlyChanges()
    {
        Panel p;
        AppStateTester::setUserName(p.state, u"DJ Nova"_s);
        p.f.service.answer(u"GET /api/glasses/events"_s, {200, R"({"events":[{"id":7,"name":"Friday","isActive":true,"startDate":"2026-03-07T12:00:00Z"}]})"});
        const QByteArray song = R"({"id":1,"status":"pending","songTitle":"Song","artistName":"Artist","createdAt":"2026-03-07T19:00:00Z"})";
        const auto listing = [&](const QByteArray &songs, int pending) {
            p.f.service.answer(u"GET /api/glasses/requests"_s, {200, R"({"requests":[)" + songs + R"(],"totalPending":)" + QByteArray::number(pending) + '}'});
        };
        listing(song, 1);
        AppStateTester::startRefreshLoop(p.state);
        QVERIFY(waitUntil([&] { return p.state.lastUpdated().has_value(); }));
        QTest::qWait(100); // the update check after the first good cycle fails quietly
        for (const bool newRequest : {false, true}) { // the same data, then a request the audience added
            if (newRequest)
                listing(song + ',' + QByteArray(song).replace("\"id\":1", "\"id\":2"), 2);
            PaintCounter counter;
            p.panel.installEventFilter(&counter);
            for (QWidget *widget : p.panel.findChildren<QWidget *>())
                widget->installEventFilter(&counter);
            QVERIFY(refreshed(p.state));
            QTest::qWait(100);
            QCOMPARE(counter.paints > 0, newRequest);
        }
    }

    // Triage from the keyboard: the panel opens on the first pending request; arrows,
    // Home and End move between rows; A, R and C answer or copy the focused one, and
    // an answer moves the focus on to the next pending request (or back up to one).
    void keys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("focused"); // row index, top to bottom
        QTest::addColumn<QString>("call"); // or none
        QTest::newRow("opened on the first pending") << QString() << 1 << QString();
        QTest::newRow("A approves, on to the next") << u"A"_s << 2 << u"PATCH /api/glasses/requests/2 {\"status\":\"approved\"}"_s;
        QTest::newRow("R rejects the last, back up") << u"Down R"_s << 1 << u"PATCH /api/glasses/requests/3 {\"status\":\"rejected\"}"_s;
        QTest::newRow("C copies, Enter opens nothing") << u"C Return"_s << 1 << QString();
        QTest::newRow("clamped at the top, answered already") << u"Up Up A R"_s << 0 << QString();
        QTest::newRow("clamped at the bottom") << u"Down Down Down"_s << 3 << QString();
        QTest::newRow("End, Home; Ctrl+A is not A") << u"End Home Down Ctrl+A"_s << 1 << QString();
    }
    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, call);
        Panel p(Auth::signedIn, {makeRequest(1, u"approved"_s), makeRequest(2, u"pending"_s, u"Song 2"_s),
                                 makeRequest(3, u"pending"_s), makeRequest(4, u"played"_s)});
        MenuPanelView &panel = p.panel;
        QVERIFY(p.refreshing()); // answers go out under a running session
        QGuiApplication::clipboard()->clear();
        for (const QString &key : keys.split(u' ', Qt::SkipEmptyParts))
            QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));
        const QList<RequestRow *> rows = p.rows();
        QTEST(int(rows.indexOf(QApplication::focusWidget())), "focused");
        QCOMPARE(rows.at(1)->accessibleName(), u"Song 2, Artist, Pending"_s);
        QVERIFY(panel.isVisible() && child(&panel, "keysHint")->isVisible());
        QCOMPARE(QGuiApplication::clipboard()->text(), keys.split(u' ').contains(u"C") ? u"Song 2 Artist"_s : QString());
        QVERIFY(call.isEmpty() || p.f.waitForCall(call));
        QTest::qWait(50);
        QCOMPARE(std::ranges::count_if(p.f.service.calls, [](const QString &call) { return call.startsWith(u"PATCH "); }), call.isEmpty() ? 0 : 1);
        // Tab still reaches every button.
        QSet<QWidget *> reached;
        for (int i = 0; i < 40; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            reached.insert(QApplication::focusWidget());
        for (QAbstractButton *button : panel.findChildren<QAbstractButton *>())
            QVERIFY2(!button->isVisibleTo(&panel) || reached.contains(button), qPrintable(button->objectName()));
    }

    // A check the user asked for says why it failed, rather than "up to date".
    void checkForUpdatesShowsTheOutcome_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text"); // part of the alert's body
        const QByteArray newer = R"({"version":"99","downloadUrl":"https://cuelark.example/a.dmg"})";
        const QString failed = u"Couldn't check for updates"_s;
        QTest::newRow("500") << 500 << newer << failed << u"Request failed (HTTP 500)."_s;
        QTest::newRow("a web page") << 200 << "<html>"_ba << failed << u"The network answered with a web page instead of the service."_s;
        QTest::newRow("newer") << 200 << newer << u"Update available (v99)"_s << u"A new version is available."_s;
        QTest::newRow("same version") << 200 << R"({"version":"0","downloadUrl":"file:///x"})"_ba << u"You're up to date"_s << u" is the latest version."_s;
    }
    void checkForUpdatesShowsTheOutcome()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        UiFixture f;
        f.answer(status, body);
        PanelFooterLinks links(f.state);
        QTest::mouseClick(child(&links, "checkForUpdatesButton"), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return !f.desktop.alerts.isEmpty(); }));
        const Alert &shown = f.desktop.alerts.first();
        QTEST(shown.title, "title");
        QVERIFY2(shown.body.contains(text), qPrintable(shown.body));
        QCOMPARE(shown.buttons, (shown.title.startsWith(u"Update") ? QStringList{u"Download"_s, u"Later"_s} : QStringList{u"OK"_s}));
    }

    // The desktop's alert: open while the app runs on (no loop of its own),
    // service text as plain text, and the pressed button's index at its end.
    void theAlertIsAwaited()
    {
        for (const int pressed : {0, 1}) {
            QCoro::Task<int> answer = DesktopUi::showAlert(
                {.title = u"<b>v2</b>"_s, .body = u"<i>notes</i>"_s, .buttons = {u"Download"_s, u"Later"_s}});
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box && box->isVisible() && !answer.isReady());
            QCOMPARE(box->text() + box->informativeText(), u"<b>v2</b><i>notes</i>"_s);
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QTest::mouseClick(box->buttons().at(pressed), Qt::LeftButton);
            QCOMPARE(awaitTask(std::move(answer)), pressed);
        }
    }

    // "Start at login" shows the desktop's setting when the footer is built,
    // changes it on a click, and shows it as it is when the change fails.
    void startAtLogin()
    {
        UiFixture f;
        for (const bool writable : {true, true, false}) {
            f.desktop.startAtLoginWritable = writable;
            const bool before = f.desktop.startsAtLogin;
            PanelFooterLinks links(f.state);
            auto *box = child<QCheckBox>(&links, "startAtLoginBox");
            QCOMPARE(box->isChecked(), before);
            box->click();
            QCOMPARE(box->isChecked(), writable ? !before : before);
            QCOMPARE(f.desktop.startsAtLogin, box->isChecked());
        }
    }
};

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
