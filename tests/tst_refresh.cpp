// The refresh cycle, event selection, request actions, new-request
// notifications and the automatic update check, against the stand-in service.

#include "AppState.h"
#include "TaskHandle.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;
using AuthState = AppState::AuthState;

namespace {

constexpr qint64 pastEvent = 101;
constexpr qint64 liveEvent = 102;
constexpr qint64 upcomingEvent = 103;

QJsonObject eventJson(qint64 id, bool active, const QString &start = u"2020-01-01T00:00:00Z"_s)
{
    return {{u"id"_s, id}, {u"name"_s, u"E%1"_s.arg(id)}, {u"isActive"_s, active}, {u"startDate"_s, start}};
}

QList<qint64> idsOf(const QList<SongRequest> &requests)
{
    QList<qint64> ids;
    for (const SongRequest &request : requests)
        ids.append(request.id);
    return ids;
}

} // namespace

class TestRefresh : public QObject {
    Q_OBJECT

    std::unique_ptr<StandIn> service;
    std::unique_ptr<FakeDesktop> desktop;
    std::unique_ptr<AppState> state;

    // Signed in with the polling task's first cycle done; later cycles only when
    // a test runs them (the pause between cycles is hours long here).
    AppState &signedIn(const QStringList &serviceArgs = {})
    {
        service = std::make_unique<StandIn>(serviceArgs);
        desktop->storedToken = service->issueToken();
        state = std::make_unique<AppState>(desktop->platform(1000), service->url());
        if (!waitUntil([&] { return state->lastUpdated().has_value(); }))
            qFatal("the first refresh cycle did not finish");
        return *state;
    }

    void refresh() { awaitTask(state->refresh()); }

    void inject(const QString &path, const QJsonObject &answer)
    {
        service->control("POST", u"/control/inject"_s,
                         {{u"path"_s, path}, {u"status"_s, 200},
                          {u"body"_s, QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact))}});
    }
    void fail(const QString &path, int status, int delayMs = 0)
    {
        service->control("POST", u"/control/inject"_s,
                         {{u"path"_s, path}, {u"status"_s, status}, {u"delayMs"_s, delayMs},
                          {u"body"_s, u"{\"error\":\"Service unavailable\"}"_s}});
    }
    void delay(const QString &path, int delayMs)
    {
        service->control("POST", u"/control/inject"_s, {{u"path"_s, path}, {u"delayMs"_s, delayMs}});
    }
    qint64 addRequest(const QString &title, qint64 eventId = liveEvent)
    {
        return service->control("POST", u"/control/requests"_s,
                                {{u"songTitle"_s, title}, {u"artistName"_s, u"Artist"_s}, {u"eventId"_s, eventId}})
            .toObject()[u"id"_s].toInteger();
    }
    QStringList calls()
    {
        return callsIn(service->log());
    }

private Q_SLOTS:
    void init() { desktop = std::make_unique<FakeDesktop>(); desktop->clock = QDateTime::currentDateTimeUtc(); }
    void cleanup()
    {
        state.reset();
        QTest::qWait(50);
        service.reset();
    }

    void aCycleAnnouncesItsAssignmentsInOrder()
    {
        AppState &app = signedIn();
        QCOMPARE(calls().mid(0, 3), (QStringList{u"GET /api/glasses/me"_s, u"GET /api/glasses/events"_s,
                                                  u"GET /api/glasses/requests"_s}));
        QCOMPARE(app.selectedEventId(), std::optional(liveEvent));
        QCOMPARE(app.totalPending(), 4);
        QVERIFY(app.requests().size() == 10);

        AnnouncementLog announced(app);
        service->control("DELETE", u"/control/log"_s);
        refresh();
        // The profile is fetched only while the name is absent; the selection is kept.
        QCOMPARE(calls(), (QStringList{u"GET /api/glasses/events"_s, u"GET /api/glasses/requests"_s}));
        QCOMPARE(announced.names, (QStringList{u"events"_s, u"requests"_s, u"totalPending"_s,
                                               u"lastUpdated"_s, u"errorMessage"_s}));
        QVERIFY(service->log().at(1).toObject()[u"query"_s].toString() == u"eventId=102&limit=25"_s);
    }

    void aProfileWithoutANameIsFetchedEveryCycle()
    {
        service = std::make_unique<StandIn>();
        desktop->storedToken = service->issueToken();
        inject(u"/api/glasses/me"_s, {{u"userId"_s, u"dj-1"_s}, {u"name"_s, QJsonValue::Null}});
        state = std::make_unique<AppState>(desktop->platform(1000), service->url());
        QVERIFY(waitUntil([&] { return state->lastUpdated().has_value(); }));
        QVERIFY(!state->userName());
        refresh();
        QCOMPARE(state->userName(), std::optional(u"DJ Nova"_s));
        QCOMPARE(calls().count(u"GET /api/glasses/me"_s), 2);
    }

    void theSelectionIsReconciled_data()
    {
        QTest::addColumn<qint64>("chosen"); // what the DJ picked first; 0 for nothing
        QTest::addColumn<QJsonArray>("events");
        QTest::addColumn<std::optional<qint64>>("selected");

        const QJsonArray noneLive{eventJson(1, false), eventJson(2, false)};
        QTest::newRow("first live wins") << qint64(0)
                                         << QJsonArray{eventJson(1, false), eventJson(2, true), eventJson(3, true)}
                                         << std::optional<qint64>(2);
        QTest::newRow("no live: first event") << qint64(0) << noneLive << std::optional<qint64>(1);
        QTest::newRow("a kept choice stays") << qint64(2) << QJsonArray{eventJson(1, true), eventJson(2, false)}
                                             << std::optional<qint64>(2);
        QTest::newRow("a vanished choice moves") << qint64(7) << noneLive << std::optional<qint64>(1);
        QTest::newRow("no events") << qint64(0) << QJsonArray{} << std::optional<qint64>();
    }
    void theSelectionIsReconciled()
    {
        QFETCH(qint64, chosen);
        QFETCH(QJsonArray, events);
        QFETCH(std::optional<qint64>, selected);
        AppState &app = signedIn();
        if (chosen) {
            inject(u"/api/glasses/events"_s, {{u"events"_s, QJsonArray{eventJson(chosen, false)}}});
            inject(u"/api/glasses/requests"_s, {{u"requests"_s, QJsonArray{}}, {u"totalPending"_s, 0}});
            app.select(chosen);
            QVERIFY(waitUntil([&] { return calls().count(u"GET /api/glasses/requests"_s) == 2; }));
        }
        inject(u"/api/glasses/events"_s, {{u"events"_s, events}});
        if (selected)
            inject(u"/api/glasses/requests"_s, {{u"requests"_s, QJsonArray{}}, {u"totalPending"_s, 3}});
        refresh();
        QCOMPARE(app.selectedEventId(), selected);
        QCOMPARE(app.totalPending(), selected ? 3 : 0);
        QVERIFY(app.requests().isEmpty());
        QVERIFY(app.lastUpdated() && !app.errorMessage());
    }

    void aPastEventTheDjChoseStaysSelected()
    {
        AppState &app = signedIn();
        app.select(pastEvent);
        QCOMPARE(app.selectedEventId(), std::optional(pastEvent));
        QVERIFY(app.requests().isEmpty());
        QCOMPARE(app.totalPending(), 0);
        QVERIFY(waitUntil([&] { return !app.requests().isEmpty(); }));
        refresh();
        QCOMPARE(app.selectedEventId(), std::optional(pastEvent));
        QCOMPARE(app.requests().first().status, u"played"_s);

        // Choosing what is already chosen changes nothing and fetches nothing.
        AnnouncementLog announced(app);
        const int fetched = int(calls().size());
        app.select(pastEvent);
        QTest::qWait(50);
        QVERIFY(announced.names.isEmpty());
        QCOMPARE(calls().size(), fetched);
    }

    void failuresKeepWhatTheLastGoodCycleShowed()
    {
        AppState &app = signedIn();
        const QList<DJEvent> events = app.events();
        const QList<SongRequest> requests = app.requests();
        const auto updated = app.lastUpdated();

        fail(u"/api/glasses/events"_s, 503);
        refresh();
        QCOMPARE(app.errorMessage(), std::optional(u"Service unavailable"_s));
        QCOMPARE(app.events(), events);
        QCOMPARE(app.requests(), requests);
        QCOMPARE(app.lastUpdated(), updated);
        QCOMPARE(app.authState(), AuthState::signedIn);

        // The events arrive, the request list does not: the events are new, the
        // list and count stay.
        inject(u"/api/glasses/events"_s, {{u"events"_s, QJsonArray{eventJson(liveEvent, true), eventJson(5, false)}}});
        fail(u"/api/glasses/requests"_s, 500);
        refresh();
        QCOMPARE(app.events().size(), 2);
        QCOMPARE(app.requests(), requests);
        QCOMPARE(app.errorMessage(), std::optional(u"Service unavailable"_s));

        // Any good cycle clears the text.
        refresh();
        QVERIFY(!app.errorMessage());
    }

    void unauthorizedSignsOutWithItsText()
    {
        AppState &app = signedIn();
        const auto polling = app.statsPollTask();
        service->control("POST", u"/control/revoke"_s);
        refresh();
        QCOMPARE(app.authState(), AuthState::signedOut);
        QCOMPARE(app.errorMessage(), std::optional(u"Session expired — please sign in again."_s));
        QVERIFY(polling->isCancelled());
        QVERIFY(!desktop->storedToken);
        QVERIFY(app.events().isEmpty());

        // Signed out: a cycle makes no call and announces nothing.
        service->control("DELETE", u"/control/log"_s);
        AnnouncementLog announced(app);
        refresh();
        QVERIFY(announced.names.isEmpty());
        QVERIFY(calls().isEmpty());
    }

    void thePollingLoopRunsCyclesEndToStart()
    {
        service = std::make_unique<StandIn>();
        desktop->storedToken = service->issueToken();
        // Each cycle's request list takes 300 ms to arrive; the pause is 20 ms.
        service->control("POST", u"/control/inject"_s,
                         {{u"path"_s, u"/api/glasses/requests"_s}, {u"delayMs"_s, 300}, {u"count"_s, 100}});
        state = std::make_unique<AppState>(desktop->platform(0.002), service->url());
        QTest::qWait(1000);
        // Back to back at 20 ms would make fifty; one after another at most four.
        const qsizetype cycles = calls().count(u"GET /api/glasses/events"_s);
        QVERIFY2(cycles >= 1 && cycles <= 4, qPrintable(QString::number(cycles)));
    }

    void actionsSendOneUpdateThenOneRefresh()
    {
        AppState &app = signedIn();
        const SongRequest pending = *std::find_if(app.requests().begin(), app.requests().end(),
                                                  [](const SongRequest &r) { return r.isPending(); });
        service->control("DELETE", u"/control/log"_s);
        app.act(pending, RequestAction::approved);
        QVERIFY(waitUntil([&] { return calls().size() == 3; }));
        QCOMPARE(calls(), (QStringList{u"PATCH /api/glasses/requests/%1"_s.arg(pending.id),
                                       u"GET /api/glasses/events"_s, u"GET /api/glasses/requests"_s}));
        QCOMPARE(service->log().first().toObject()[u"body"_s].toString(), u"{\"status\":\"approved\"}"_s);
        QVERIFY(waitUntil([&] {
            return std::any_of(app.requests().begin(), app.requests().end(), [&](const SongRequest &r) {
                return r.id == pending.id && r.status == u"approved"_s;
            });
        }));
        QCOMPARE(app.totalPending(), 3);

        // Two presses send two updates.
        service->control("DELETE", u"/control/log"_s);
        app.act(pending, RequestAction::rejected);
        app.act(pending, RequestAction::rejected);
        QVERIFY(waitUntil([&] { return calls().count(u"PATCH /api/glasses/requests/%1"_s.arg(pending.id)) == 2; }));

        // A failed update shows its text and runs no refresh.
        QVERIFY(waitUntil([&] { return calls().size() == 6; }));
        service->control("DELETE", u"/control/log"_s);
        fail(u"/api/glasses/requests/"_s, 500);
        app.act(pending, RequestAction::approved);
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QCOMPARE(app.errorMessage(), std::optional(u"Service unavailable"_s));
        QTest::qWait(50);
        QCOMPARE(calls().size(), 1);
    }

    void newPendingRequestsAreNotifiedAfterASilentBaseline()
    {
        AppState &app = signedIn();
        // The first look at the event only records what is there.
        QVERIFY(desktop->notifications.isEmpty());

        const qint64 first = addRequest(u"First"_s);
        const qint64 second = addRequest(u"Second"_s);
        refresh();
        // Listed newest first, notified in list order.
        QCOMPARE(idsOf(desktop->notifications), (QList<qint64>{second, first}));
        refresh();
        QCOMPARE(desktop->notifications.size(), 2);

        // Answered, then pending again: notified again.
        const GlassesAPIClient client(desktop->storedToken, service->url());
        awaitTask(client.updateRequest(first, RequestAction::approved));
        refresh();
        awaitTask(client.updateRequest(first, RequestAction::pending));
        refresh();
        QCOMPARE(idsOf(desktop->notifications), (QList<qint64>{second, first, first}));

        // Another event starts a new baseline, however many are pending there.
        addRequest(u"Elsewhere"_s, upcomingEvent);
        app.select(upcomingEvent);
        QVERIFY(waitUntil([&] { return !app.requests().isEmpty(); }));
        addRequest(u"Later"_s, upcomingEvent);
        const qsizetype before = desktop->notifications.size();
        refresh();
        QCOMPARE(desktop->notifications.size(), before + 1);
        QCOMPARE(desktop->notifications.last().songTitle, u"Later"_s);

        // A failed cycle leaves the baseline, so the next good one reports.
        const qint64 missed = addRequest(u"Missed"_s, upcomingEvent);
        fail(u"/api/glasses/requests"_s, 500);
        refresh();
        refresh();
        QCOMPARE(desktop->notifications.last().id, missed);
    }

    void lateResultsOfAnEndedSessionAreDropped()
    {
        AppState &app = signedIn();
        delay(u"/api/glasses/events"_s, 400);
        auto cycle = app.refresh();
        QTest::qWait(100);
        app.signOut();
        awaitTask(std::move(cycle));
        // Nothing of the old session comes back, and no "Session expired".
        QVERIFY(app.events().isEmpty());
        QVERIFY(!app.errorMessage());
        QVERIFY(!app.lastUpdated());

        // An action in flight at sign-out neither reports nor refreshes.
        desktop->storedToken = service->issueToken();
        state = std::make_unique<AppState>(desktop->platform(1000), service->url());
        QVERIFY(waitUntil([&] { return state->lastUpdated().has_value(); }));
        fail(u"/api/glasses/requests/"_s, 500, 300);
        state->act(state->requests().first(), RequestAction::approved);
        QTest::qWait(100);
        state->signOut();
        service->control("DELETE", u"/control/log"_s);
        QTest::qWait(400);
        QVERIFY(!state->errorMessage());
        QVERIFY(!calls().contains(u"GET /api/glasses/events"_s));
    }

    void aListForAnEventNoLongerSelectedIsNotShown()
    {
        AppState &app = signedIn();
        delay(u"/api/glasses/requests"_s, 400);
        auto cycle = app.refresh(); // fetches the live event's list, slowly
        QTest::qWait(100);
        const qsizetype notified = desktop->notifications.size();
        app.select(pastEvent);
        awaitTask(std::move(cycle));
        QVERIFY(waitUntil([&] { return !app.requests().isEmpty(); }));
        QCOMPARE(app.selectedEventId(), std::optional(pastEvent));
        for (const SongRequest &request : app.requests())
            QCOMPARE(request.status, u"played"_s);
        QCOMPARE(desktop->notifications.size(), notified);
    }

    void theUpdateCheckRunsOncePerRunAfterTheFirstGoodCycle()
    {
        service = std::make_unique<StandIn>(QStringList{u"--release-version"_s, u"99.0"_s});
        desktop->storedToken = service->issueToken();
        // The first two cycles fail; the check follows the first good one.
        service->control("POST", u"/control/inject"_s,
                         {{u"path"_s, u"/api/glasses/me"_s}, {u"status"_s, 500}, {u"count"_s, 2}});
        state = std::make_unique<AppState>(desktop->platform(0.01), service->url());
        QVERIFY(waitUntil([&] { return state->errorMessage().has_value(); }));
        QVERIFY(!state->hasCheckedUpdatesThisSession());
        QVERIFY(waitUntil([&] { return state->lastUpdated().has_value(); }));
        QVERIFY(state->hasCheckedUpdatesThisSession());
        QVERIFY(waitUntil([&] { return desktop->alerts.size() == 1; }));
        QCOMPARE(desktop->alerts.first().title, u"Update available (v99.0)"_s);

        // Sign out and in again: no second automatic check.
        state->signOut();
        state->signIn();
        QVERIFY(waitUntil([&] { return !desktop->openedUrls.isEmpty(); }));
        service->approveInBrowser(desktop->openedUrls.last());
        QVERIFY(waitUntil([&] { return state->lastUpdated().has_value(); }));
        QTest::qWait(300); // several more cycles
        QCOMPARE(calls().count(u"GET /mac-app/latest.json"_s), 1);
        QCOMPARE(desktop->alerts.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRefresh)
#include "tst_refresh.moc"
