// The application state's flows against the stand-in service: start-up, the
// browser sign-in, sign-out, the refresh cycle and its faults, event selection,
// request actions, new-request notifications, the automatic update check and
// what the diagnostics log.

#include "Flow.h"
#include "Logging.h"
#include "TaskHandle.h"
#include "support/ServiceHarness.h"
#include "updates/UpdateChecker.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTest>
#include <QUrlQuery>


#include <malloc.h>

using namespace Qt::StringLiterals;
using AuthState = AppState::AuthState;

namespace {

constexpr qint64 pastEvent = 101, liveEvent = 102, upcomingEvent = 103;
const QString statusPoll = u"GET /api/glasses/auth/status"_s;
const QString meCall = u"GET /api/glasses/me"_s, eventsCall = u"GET /api/glasses/events"_s,
              requestsCall = u"GET /api/glasses/requests"_s;
const QString expired = u"Session expired — please sign in again."_s;

QJsonObject startBody(const QString &authUrl, const QString &expiresAt)
{
    return {{u"sessionId"_s, u"s-1"_s}, {u"pollToken"_s, u"p-1"_s}, {u"authUrl"_s, authUrl}, {u"expiresAt"_s, expiresAt}};
}

QJsonObject eventJson(qint64 id, bool active)
{
    return {{u"id"_s, id}, {u"name"_s, u"E%1"_s.arg(id)}, {u"isActive"_s, active}, {u"startDate"_s, u"2020-01-01T00:00:00Z"_s}};
}

QJsonObject on(const QString &path, QJsonObject fault)
{
    fault[u"path"_s] = path;
    return fault;
}

QList<qint64> idsOf(const QList<RequestNotification> &notifications)
{
    QList<qint64> ids;
    for (const RequestNotification &notification : notifications)
        ids.append(notification.requestId);
    return ids;
}

QStringList logLines;

void captureLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (QByteArray(context.category).startsWith("cuelark."))
        logLines.append(QString::fromLatin1(context.category) + (type == QtWarningMsg ? u" warning "_s : u" "_s)
                        + message);
}

// Counts how far it got: one step before its await, one after.
Flow twoSteps(FlowScope, std::shared_ptr<const TaskHandle> wait, int &steps, bool throwsAtTheEnd)
{
    ++steps;
    co_await sleepFor(std::move(wait), std::chrono::hours(1));
    ++steps;
    if (throwsAtTheEnd)
        throw std::runtime_error("out of reach");
}

} // namespace

class TestAppState : public QObject {
    Q_OBJECT
    std::unique_ptr<ServiceHarness> h;

    void refresh() { QVERIFY(refreshed(*h->state)); }

private Q_SLOTS:
    void init() { h = std::make_unique<ServiceHarness>(); }
    void cleanup() { h.reset(); }

    // The secret store may answer late (a locked keyring waits for its unlock
    // prompt): the state is usable at once, and a token that arrives later signs
    // in unless the DJ has signed in or out meanwhile.
    void startUpFollowsTheStoredToken_data()
    {
        QTest::addColumn<bool>("stored");       // whether the store holds a token
        QTest::addColumn<bool>("late");         // the store answers after 50 ms rather than at once
        QTest::addColumn<QString>("meanwhile"); // what the DJ does before it answers
        QTest::newRow("no token") << false << false << QString();
        QTest::newRow("token") << true << false << QString();
        QTest::newRow("late token") << true << true << QString();
        QTest::newRow("late, no token") << false << true << QString();
        QTest::newRow("late, the DJ signs out") << true << true << u"signOut"_s;
        QTest::newRow("late, the DJ signs in") << true << true << u"signIn"_s;
    }
    void startUpFollowsTheStoredToken()
    {
        QFETCH(bool, stored);
        QFETCH(bool, late);
        QFETCH(QString, meanwhile);
        const bool signedIn = stored && meanwhile.isEmpty();
        const std::optional<QString> token = stored ? std::optional(h->service->issueToken()) : std::nullopt;
        Platform platform = h->desktop.platform(1000);
        platform.loadToken = [token, late]() -> QCoro::Task<StoredToken> {
            if (late) // long after what the DJ does below
                co_await sleepFor(TaskHandle::create(), std::chrono::milliseconds(50));
            co_return StoredToken{token, std::nullopt};
        };
        AppState &app = *(h->state = std::make_unique<AppState>(std::move(platform), h->service->url()));
        // A token at hand signs in before any call has been made.
        QCOMPARE(app.authState(), stored && !late ? AuthState::signedIn : AuthState::signedOut);
        QCOMPARE(app.refreshLoop().isRunning(), stored && !late);
        QVERIFY(!app.userName() && app.events().isEmpty());
        if (meanwhile == u"signIn")
            app.signIn();
        else if (meanwhile == u"signOut")
            app.signOut();
        QCOMPARE(waitUntil([&] { return app.lastUpdated().has_value(); }, 1000), signedIn);
        QCOMPARE(app.authState() == AuthState::signedIn, signedIn);
        QCOMPARE(app.refreshLoop().isRunning(), signedIn);
        QCOMPARE(h->desktop.capabilityReads, signedIn ? 1 : 0);
        QCOMPARE(h->calls().isEmpty(), !signedIn && meanwhile != u"signIn");
        if (signedIn) {
            QCOMPARE(app.userName(), std::optional(u"DJ Nova"_s));
            QVERIFY(app.events().size() == 3 && !app.requests().isEmpty() && !app.errorMessage());
        }
    }

    // A keyring that is missing or locked at start is not "no token": the DJ is
    // told, and the token loads once the desktop says the store changed, or at
    // the retry 30 s later. A sign-in meanwhile holds for this run and says so.
    void aLateKeyringIsWaitedFor_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<double>("waitScale");
        QTest::newRow("the store appears") << u"changed"_s << 1000.0;
        QTest::newRow("the retry finds it") << u"retry"_s << 0.001;
        QTest::newRow("the DJ signs in meanwhile") << u"sign in"_s << 0.005;
    }
    void aLateKeyringIsWaitedFor()
    {
        QFETCH(QString, then);
        h->desktop.storedToken = h->service->issueToken();
        h->desktop.storeUnreadable = u"The keyring is locked."_s;
        QFETCH(double, waitScale);
        AppState &app = h->start(waitScale);
        QVERIFY(waitUntil([&] { return app.storeNotice().has_value(); }));
        QVERIFY(app.storeNotice()->startsWith(u"Waiting for the keyring… The keyring is locked. "_s));
        QCOMPARE(app.authState(), AuthState::signedOut);
        if (then == u"sign in") {
            app.signIn();
            QVERIFY(waitUntil([&] { return !h->desktop.openedUrls.isEmpty(); }));
            h->service->approveInBrowser(h->desktop.openedUrls.first());
            QVERIFY(waitUntil([&] { return app.lastUpdated() && app.storeNotice(); }));
            QVERIFY(app.storeNotice()->contains(u"sign in again"_s));
            return;
        }
        h->desktop.storeUnreadable.reset();
        if (then == u"changed")
            h->desktop.systemEvents(SystemEvent::secretStoreChanged);
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        QVERIFY(!app.storeNotice());
        QCOMPARE(h->desktop.waits.first(), 30.0);
    }

    void signOutClearsEverythingButTheErrorAndIsIdempotent()
    {
        AppState &app = h->startSignedIn();
        h->failNext(u"/api/glasses/requests/"_s, 500);
        app.act(app.requests().first(), RequestAction::approved);
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        app.signOut();
        app.signOut();
        QVERIFY(!app.refreshLoop().isRunning() && !h->desktop.storedToken);
        QCOMPARE(h->desktop.tokenClears, 2);
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(!app.userName() && app.events().isEmpty() && !app.selectedEventId() && app.requests().isEmpty());
        QVERIFY(app.totalPending() == 0 && !app.lastUpdated());
        QCOMPARE(app.errorMessage(), std::optional(u"Service unavailable"_s));
    }

    // "complete" without a token keeps the flow polling, every two seconds
    // (scaled in tests), until the DJ approves in the browser.
    void browserSignInCompletesThroughTheServicePage()
    {
        h->answerNext(u"/api/glasses/auth/status"_s, {{u"status"_s, u"complete"_s}}, 3);
        AppState &app = h->start(0.005);
        app.signIn();
        QVERIFY(waitUntil([&] { return h->countCalls(statusPoll) >= 4; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        QCOMPARE(h->desktop.waits.mid(0, 3), QList<double>(3, 2.0));
        QCOMPARE(h->desktop.openedUrls.size(), 1);
        QVERIFY(h->desktop.openedUrls.first().toString().startsWith(h->service->url().toString()));
        h->service->approveInBrowser(h->desktop.openedUrls.first());
        QVERIFY(waitUntil([&] { return app.userName().has_value(); }));
        QCOMPARE(app.authState(), AuthState::signedIn);
        QVERIFY(h->desktop.storedToken && !h->desktop.storedToken->isEmpty());
        // The sign-in calls carry no bearer token; the refresh calls carry the new one.
        for (const QJsonValue &call : h->service->log()) {
            const QString path = call[u"path"_s].toString();
            if (path.startsWith(u"/api/glasses/"_s))
                QCOMPARE(call[u"authorization"_s].isNull(), path.startsWith(u"/api/glasses/auth/"_s));
        }
    }

    void signInEndsWithItsText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("text");
        // Polls before the end; -1: as many as the real pause allows before the clock moves.
        QTest::addColumn<int>("polls");
        const QString timedOut = u"Sign-in timed out. Try again."_s;
        QTest::newRow("service says expired") << u"expired"_s << timedOut << 1;
        QTest::newRow("expiresAt already past") << u"past"_s << timedOut << 0;
        QTest::newRow("unparsable expiresAt, fallback deadline") << u"unparsable"_s << timedOut << -1;
        QTest::newRow("complete in the wrong case") << u"case"_s << timedOut << -1;
        QTest::newRow("401 on a poll") << u"401"_s << expired << 1;
        QTest::newRow("500 on start") << u"500"_s << u"Service unavailable"_s << 0;
    }
    void signInEndsWithItsText()
    {
        QFETCH(QString, how);
        const QString page = h->service->url().toString() + u"/glasses/sign-in?session=s-1"_s;
        if (how == u"past")
            h->answerNext(u"/api/glasses/auth/start"_s, startBody(page, u"2020-01-01T00:00:00Z"_s));
        if (how == u"unparsable" || how == u"case") {
            h->answerNext(u"/api/glasses/auth/start"_s, startBody(page, u"in ten minutes"_s));
            const QString status = how == u"case" ? u"Complete"_s : u"pending"_s;
            h->answerNext(u"/api/glasses/auth/status"_s, {{u"status"_s, status}, {u"token"_s, u"t"_s}}, 100);
        }
        if (how == u"expired")
            h->answerNext(u"/api/glasses/auth/status"_s, {{u"status"_s, u"expired"_s}});
        if (how == u"401" || how == u"500")
            h->failNext(how == u"401" ? u"/api/glasses/auth/status"_s : u"/api/glasses/auth/start"_s, how.toInt());
        AppState &app = h->start(0.005);
        app.signIn();
        if (how == u"unparsable" || how == u"case") {
            QVERIFY(waitUntil([&] { return h->countCalls(statusPoll) >= 1; }));
            h->desktop.clock = h->desktop.clock.addSecs(601); // past the ten-minute fallback
        }
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QTEST(*app.errorMessage(), "text");
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(h->desktop.openedUrls.size() == (how == u"500" ? 0 : 1) && !h->desktop.storedToken);
        // No poll after the end, not even a retry after a failure.
        const qsizetype polled = h->countCalls(statusPoll);
        QTest::qWait(30);
        QCOMPARE(h->countCalls(statusPoll), polled);
        QFETCH(int, polls);
        QVERIFY2(polls >= 0 ? polled == polls : polled >= 1, qPrintable(QString::number(polled)));
    }

    void aNewSignInOrCancelAbandonsTheOldOneSilently()
    {
        AppState &app = h->start(0.05); // 100 ms between polls
        app.signIn();
        QVERIFY(waitUntil([&] { return h->countCalls(statusPoll) >= 1; }));
        app.signIn();
        QVERIFY(!app.errorMessage());
        QVERIFY(waitUntil([&] { return h->desktop.openedUrls.size() == 2; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        QVERIFY(h->desktop.openedUrls[0] != h->desktop.openedUrls[1]);

        app.cancelSignIn();
        QCOMPARE(app.authState(), AuthState::signedOut);
        const qsizetype polls = h->countCalls(statusPoll);
        // Approving the abandoned session in the browser changes nothing here.
        h->service->approveInBrowser(h->desktop.openedUrls[1]);
        QTest::qWait(300);
        // A poll already on its way when the sign-in was cancelled may still reach
        // the service; a loop still running would have polled about three times.
        QVERIFY(h->countCalls(statusPoll) <= polls + 1);
        QVERIFY(!app.errorMessage() && !h->desktop.storedToken && app.authState() == AuthState::signedOut);
    }

    void endingAFlowMidCallIsSilentAndSafe()
    {
        h->delayNext(u"/api/glasses/auth/status"_s, 2000, 2);
        AppState &app = h->start(0.005);
        app.signIn();
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::waitingForBrowser; }));
        QTest::qWait(50); // the first poll is now under way
        app.signOut();
        QTest::qWait(100);
        QVERIFY(app.authState() == AuthState::signedOut && !app.errorMessage());

        // Destroyed with a sign-in suspended, then with a cycle and an action:
        // each ends on its aborted call without touching the object (sanitizer
        // builds check).
        h->delayNext(u"/api/glasses/auth/status"_s, 2000);
        h->start(0.005).signIn();
        QTest::qWait(100);
        h->desktop.storedToken = h->service->issueToken();
        h->delayNext(u"/api/glasses/me"_s, 2000);
        h->delayNext(u"/api/glasses/requests/1001"_s, 2000);
        AppState &doomed = h->start(0.005);
        QVERIFY(waitUntil([&] { return doomed.authState() == AuthState::signedIn; }));
        doomed.act(SongRequest{1001, u"pending"_s, {}, {}, {}}, RequestAction::approved);
        QVERIFY(waitUntil([&] { return h->countCalls(u"PATCH /api/glasses/requests/1001"_s) == 1; }));
        h->state.reset();
        const qsizetype calls = h->calls().size();
        QTest::qWait(200);
        QCOMPARE(h->calls().size(), calls); // and makes no call after its end
    }

    // Only a web address opens in the browser; the flow waits for the session all the same.
    // A flow runs at once up to its first await and, its owner's handle
    // cancelled meanwhile, never past it; an exception that escapes a flow is
    // logged in the flow's category.
    void aFlowEndsWhereItsOwnerCancelledIt()
    {
        logLines.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureLog);
        const auto cancelledOwner = TaskHandle::create(), liveOwner = TaskHandle::create(), wait = TaskHandle::create();
        int cancelledSteps = 0, liveSteps = 0;
        twoSteps({cancelledOwner, lcRefresh}, wait, cancelledSteps, true);
        twoSteps({liveOwner, lcAuth}, wait, liveSteps, true);
        QVERIFY(cancelledSteps == 1 && liveSteps == 1);
        cancelledOwner->cancel();
        wait->cancel(); // both resume, in the order they began to wait
        QVERIFY(waitUntil([&] { return liveSteps == 2; }));
        qInstallMessageHandler(previous);
        QCOMPARE(cancelledSteps, 1);
        QCOMPARE(logLines, QStringList{u"cuelark.auth warning a flow ended with an exception: out of reach"_s});
    }

    void aSignInPageThatIsNoWebAddressStaysClosed()
    {
        h->answerNext(u"/api/glasses/auth/start"_s, startBody(u"file:///etc/passwd"_s, u"2099-01-01T00:00:00Z"_s));
        h->answerNext(u"/api/glasses/auth/status"_s, {{u"status"_s, u"pending"_s}});
        AppState &app = h->start(1000);
        app.signIn();
        QVERIFY(waitUntil([&] { return h->countCalls(statusPoll) >= 1; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        QVERIFY(h->desktop.openedUrls.isEmpty());
    }

    // The profile is fetched while the name is absent, then no more; the
    // selected event's list follows the events.
    void aCycleFetchesWhatItLacks()
    {
        h->answerNext(u"/api/glasses/me"_s, {{u"userId"_s, u"dj-1"_s}, {u"name"_s, QJsonValue::Null}});
        AppState &app = h->startSignedIn();
        QCOMPARE(h->calls().mid(0, 3), (QStringList{meCall, eventsCall, requestsCall}));
        QVERIFY(!app.userName() && app.selectedEventId() == liveEvent);
        QVERIFY(app.totalPending() == 4 && app.requests().size() == 10);
        for (const QStringList &calls : {QStringList{meCall, eventsCall, requestsCall}, QStringList{eventsCall, requestsCall}}) {
            h->clearCalls();
            refresh();
            QCOMPARE(h->calls(), calls);
        }
        QCOMPARE(app.userName(), std::optional(u"DJ Nova"_s));
        QCOMPARE(h->service->log().at(1)[u"query"_s].toString(), u"eventId=102&limit=25"_s);
        // The loop pauses ten seconds after each cycle (scaled in tests).
        QCOMPARE(h->desktop.waits, QList<double>(3, 10.0));
    }

    void theSelectionIsReconciled_data()
    {
        QTest::addColumn<qint64>("chosen"); // what the DJ picked first; 0 for nothing
        QTest::addColumn<QJsonArray>("events");
        QTest::addColumn<std::optional<qint64>>("selected");
        const QJsonArray noneLive{eventJson(1, false), eventJson(2, false)};
        QTest::newRow("first live wins") << qint64(0) << QJsonArray{eventJson(1, false), eventJson(2, true), eventJson(3, true)}
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
        const auto emptyPage = [](int pending) { return QJsonObject{{u"requests"_s, QJsonArray{}}, {u"totalPending"_s, pending}}; };
        AppState &app = h->startSignedIn();
        if (chosen) {
            h->answerNext(u"/api/glasses/events"_s, {{u"events"_s, QJsonArray{eventJson(chosen, false)}}});
            h->answerNext(u"/api/glasses/requests"_s, emptyPage(0));
            app.select(chosen);
            QVERIFY(waitUntil([&] { return h->countCalls(requestsCall) == 2; }));
        }
        h->answerNext(u"/api/glasses/events"_s, {{u"events"_s, events}});
        if (selected)
            h->answerNext(u"/api/glasses/requests"_s, emptyPage(3));
        refresh();
        QCOMPARE(app.selectedEventId(), selected);
        QCOMPARE(app.totalPending(), selected ? 3 : 0);
        QVERIFY(app.requests().isEmpty() && app.lastUpdated() && !app.errorMessage());
    }

    void unauthorizedSignsOutWithItsText()
    {
        AppState &app = h->startSignedIn();
        h->service->control("POST", u"/control/revoke"_s);
        app.refresh();
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::signedOut; }));
        QCOMPARE(app.errorMessage(), std::optional(expired));
        QVERIFY(!app.refreshLoop().isRunning() && !h->desktop.storedToken && app.events().isEmpty());
        // Signed out: Refresh makes no call and changes nothing.
        h->clearCalls();
        QSignalSpy changes(&app, &AppState::changed);
        QVERIFY(!refreshed(app, 100));
        QVERIFY(changes.isEmpty() && h->calls().isEmpty());
    }

    // The pause runs from the end of one cycle to the start of the next, so a
    // slow cycle never has another begin beside it.
    void thePauseRunsFromTheEndOfACycle()
    {
        // Each cycle's request list takes 150 ms to arrive; the pause is 200 ms
        // (a coarse timer may end it up to 5 % early).
        h->delayNext(u"/api/glasses/requests"_s, 150, 100);
        h->desktop.storedToken = h->service->issueToken();
        AppState &app = h->start(0.02);
        QStringList steps;
        QElapsedTimer sinceEnd;
        connect(&app.refreshLoop(), &RefreshLoop::cycleStarted, this, [&] {
            steps << (sinceEnd.isValid() && sinceEnd.elapsed() < 180 ? u"early start"_s : u"start"_s);
        });
        connect(&app.refreshLoop(), &RefreshLoop::cycleEnded, this, [&] {
            steps << u"end"_s;
            sinceEnd.start();
        });
        QVERIFY(waitUntil([&] { return steps.count(u"end"_s) == 3; }));
        // (The first cycle began with the state, before the test listened.)
        QCOMPARE(steps.mid(0, 5), (QStringList{u"end"_s, u"start"_s, u"end"_s, u"start"_s, u"end"_s}));
        QCOMPARE(h->desktop.waits.mid(0, 2), QList<double>(2, 10.0));
    }

    // A whole session, the update check after the first cycle and a hundred
    // cycles more, goes over the one connection that its first call opened.
    void aSessionUsesOneConnection()
    {
        AppState &app = h->startSignedIn(1000);
        // Ten seconds apart, cycles never overlap the update check; here they
        // follow it once its answer is in.
        QTest::qWait(100);
        for (int cycle = 0; cycle < 100; ++cycle)
            QVERIFY(refreshed(app));
        QSet<int> connections;
        for (const QJsonValue &call : h->service->log())
            connections.insert(call[u"connection"_s].toInt());
        QCOMPARE(connections.size(), 1);
    }

    void actionsSendOneUpdateThenOneRefresh()
    {
        AppState &app = h->startSignedIn();
        const SongRequest pending = *std::ranges::find_if(app.requests(), &SongRequest::isPending);
        const QString patch = u"PATCH /api/glasses/requests/%1"_s.arg(pending.id);
        h->clearCalls();
        app.act(pending, RequestAction::approved);
        QVERIFY(waitUntil([&] { return app.totalPending() == 3; }));
        QCOMPARE(h->service->calls(StandIn::withBody),
                 (QStringList{patch + u" {\"status\":\"approved\"}"_s, eventsCall, requestsCall}));
        QCOMPARE(std::ranges::find(app.requests(), pending.id, &SongRequest::id)->status, u"approved"_s);

        // Two presses send two updates; a refresh follows the later one (the
        // earlier one's may cover both).
        h->clearCalls();
        app.act(pending, RequestAction::rejected);
        app.act(pending, RequestAction::rejected);
        const auto refreshedAfterBoth = [&] {
            const QStringList calls = h->calls();
            return calls.count(patch) == 2 && calls.endsWith(requestsCall)
                && calls.lastIndexOf(patch) < calls.lastIndexOf(eventsCall);
        };
        QVERIFY(waitUntil(refreshedAfterBoth));
        QTest::qWait(50);
        QVERIFY(refreshedAfterBoth());

        // A failed update shows its text and runs no refresh.
        h->clearCalls();
        h->failNext(u"/api/glasses/requests/"_s, 500);
        app.act(pending, RequestAction::approved);
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QCOMPARE(app.errorMessage(), std::optional(u"Service unavailable"_s));
        QTest::qWait(50);
        QCOMPARE(h->calls(), QStringList{patch});
    }

    void newPendingRequestsAreNotifiedAfterASilentBaseline()
    {
        AppState &app = h->startSignedIn();
        QList<RequestNotification> &notified = h->desktop.notifications;
        QVERIFY(notified.isEmpty()); // the first look at the event only records what is there

        const qint64 first = h->addRequest(u"First"_s, liveEvent);
        const qint64 second = h->addRequest(u"Second"_s, liveEvent);
        refresh();
        refresh();
        // Listed newest first, notified in list order, each once.
        QCOMPARE(idsOf(notified), (QList<qint64>{second, first}));

        // Another event starts a new baseline, however many are pending there.
        h->addRequest(u"Elsewhere"_s, upcomingEvent);
        app.select(upcomingEvent);
        QVERIFY(waitUntil([&] { return !app.requests().isEmpty(); }));
        const qint64 later = h->addRequest(u"Later"_s, upcomingEvent);
        refresh();
        QCOMPARE(idsOf(notified).mid(2), QList<qint64>{later});

        // A failed cycle leaves the baseline, so the next good one reports.
        const qint64 missed = h->addRequest(u"Missed"_s, upcomingEvent);
        h->failNext(u"/api/glasses/requests"_s, 500);
        refresh();
        refresh();
        QCOMPARE(idsOf(notified).mid(3), QList<qint64>{missed});
    }

    // A long night in fast motion: a thousand refresh cycles with a changing queue,
    // approvals and event switches. Every arrival is notified exactly once and the
    // heap stays flat. CUELARK_SOAK_CYCLES sets another number of cycles.
    void manyCyclesNotifyEachArrivalOnceAndStayFlat()
    {
        const int cycles = qEnvironmentVariableIsSet("CUELARK_SOAK_CYCLES")
            ? qEnvironmentVariableIntValue("CUELARK_SOAK_CYCLES") : 1000;
        AppState &app = h->startSignedIn();
        QList<qint64> arrivals, notified;
        arrivals.reserve(cycles);
        notified.reserve(cycles);
        [[maybe_unused]] size_t heapAfterWarmUp = 0; // not read in the sanitizer build
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            if (cycle % 100 == 0) {
                // The DJ looks at the queue once more, then picks another event,
                // whose first look is a silent baseline.
                QVERIFY(refreshed(app));
                app.select(*app.selectedEventId() == 102 ? 103 : 102);
                QVERIFY(refreshed(app));
            }
            if (cycle % 3 == 0)
                arrivals.append(h->addRequest(u"Song %1"_s.arg(cycle), *app.selectedEventId()));
            const auto pending = std::ranges::find_if(app.requests(), &SongRequest::isPending);
            if (cycle % 7 == 0 && pending != app.requests().end())
                app.act(*pending, RequestAction::approved); // its refresh overlaps the next one
            QVERIFY(refreshed(app));
            notified.append(idsOf(h->desktop.notifications));
            h->desktop.notifications.clear();
            if (cycle == cycles / 5)
                heapAfterWarmUp = mallinfo2().uordblks;
        }
        QVERIFY(!app.errorMessage());
        QCOMPARE(notified, arrivals);
#ifndef __SANITIZE_ADDRESS__ // the sanitizer's allocator keeps freed memory aside on purpose
        const size_t growth = mallinfo2().uordblks - std::min(heapAfterWarmUp, mallinfo2().uordblks);
        qInfo("%d cycles; heap in use grew by %zu bytes after the warm-up", cycles, growth);
        // What may stay behind after the warm-up: a few pages of requests.
        QVERIFY2(growth < 1024 * 1024, qPrintable(QString::number(growth)));
#endif
    }

    // Cycles never overlap, so nothing older lands over something newer: an
    // answer during a cycle adds one cycle right after it, another event aborts
    // the cycle in flight (its list never shows), and so does a sign-out.
    void oneCycleAtATime()
    {
        AppState &app = h->startSignedIn();
        QStringList seen; // each cycle as it starts and ends, and each list shown
        connect(&app.refreshLoop(), &RefreshLoop::cycleStarted, this, [&] { seen << u"start"_s; });
        connect(&app.refreshLoop(), &RefreshLoop::cycleEnded, this, [&] { seen << u"end"_s; });
        connect(&app, &AppState::requestsChanged, this, [&] {
            for (const SongRequest &request : app.requests())
                seen << request.songTitle;
        });
        const qint64 fresh = h->addRequest(u"Fresh"_s, liveEvent);
        h->delayNext(u"/api/glasses/requests"_s, 300);
        app.refresh();
        QTest::qWait(100); // its list is on its way
        app.act(SongRequest{fresh, u"pending"_s, {}, {}, {}}, RequestAction::approved);
        QVERIFY(waitUntil([&] { return seen.count(u"end"_s) == 2; }));
        QCOMPARE(seen.filter(QRegularExpression(u"^(start|end)$"_s)), (QStringList{u"start"_s, u"end"_s, u"start"_s, u"end"_s}));
        QCOMPARE(app.requests().first().status, u"approved"_s);
        QTest::qWait(100);
        QCOMPARE(h->countCalls(requestsCall), 3);

        // The old event's list, still on its way, never shows under the new one.
        seen.clear();
        h->addRequest(u"Unseen"_s, liveEvent);
        h->delayNext(u"/api/glasses/requests"_s, 300);
        app.refresh();
        QTest::qWait(100);
        app.select(pastEvent);
        QVERIFY(app.requests().isEmpty() && app.totalPending() == 0);
        QVERIFY(waitUntil([&] { return !app.requests().isEmpty(); }));
        QTest::qWait(400);
        QVERIFY2(!seen.contains(u"Unseen"_s), qPrintable(seen.join(u", "_s)));
        QCOMPARE(app.selectedEventId(), std::optional(pastEvent));
        QCOMPARE(app.requests().first().status, u"played"_s);
        QCOMPARE(idsOf(h->desktop.notifications), QList<qint64>{fresh});

        // Nothing of a session that has ended comes back: no data, no error,
        // and an action under way then neither reports nor refreshes.
        h->delayNext(u"/api/glasses/events"_s, 300);
        app.refresh();
        h->failNext(u"/api/glasses/requests/"_s, 500, 300);
        app.act(app.requests().first(), RequestAction::approved);
        QTest::qWait(100);
        app.signOut();
        QTest::qWait(400);
        QVERIFY(app.events().isEmpty() && !app.errorMessage() && !app.lastUpdated());
        QCOMPARE(h->countCalls(eventsCall), h->countCalls(requestsCall) + 1);
    }

    // The same run checks the diagnostics: only warnings by default (the failures);
    // switched on, every module logs, and no line carries a token or a sign-in session.
    void theUpdateCheckRunsOncePerRunAfterTheFirstGoodCycle()
    {
        const QtMessageHandler previous = qInstallMessageHandler(captureLog);
        h = std::make_unique<ServiceHarness>(QStringList{u"--release-version"_s, u"99.0"_s});
        // The first two cycles fail; the check follows the first good one.
        h->failNext(u"/api/glasses/me"_s, 500, 0, 2);
        const QString firstToken = *(h->desktop.storedToken = h->service->issueToken());
        AppState &app = h->start(0.01);
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QCOMPARE(h->countCalls(u"GET /mac-app/latest.json"_s), 0);
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        QVERIFY(waitUntil([&] { return h->desktop.alerts.size() == 1; }));
        QCOMPARE(h->desktop.alerts.first().title, u"Update available (v99.0)"_s);
        // By default the failed cycles print their warnings, and nothing else.
        QVERIFY(!logLines.isEmpty());
        QCOMPARE(logLines.filter(u" warning "_s), logLines);

        QLoggingCategory::setFilterRules(u"cuelark.*=true"_s);
        h->failNext(u"/api/glasses/requests/"_s, 500);
        app.act(app.requests().first(), RequestAction::approved);
        // (The error it shows lasts until the next good cycle, a tenth of a second.)
        QVERIFY(waitUntil([&] { return !logLines.filter(u"answering request"_s).isEmpty(); }));
        // Sign out and in again: no second automatic check.
        app.signOut();
        app.signIn();
        QVERIFY(waitUntil([&] { return !h->desktop.openedUrls.isEmpty(); }));
        h->service->approveInBrowser(h->desktop.openedUrls.last());
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        QTest::qWait(300); // several more cycles
        QCOMPARE(h->countCalls(u"GET /mac-app/latest.json"_s), 1);
        QCOMPARE(h->desktop.alerts.size(), 1);

        const QString secondToken = *h->desktop.storedToken;
        h->service->control("POST", u"/control/revoke"_s);
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::signedOut; }));
        app.checkForUpdates();
        QVERIFY(waitUntil([&] { return h->desktop.alerts.size() == 2; }));
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        const QString session = QUrlQuery(h->desktop.openedUrls.last()).queryItemValue(u"session"_s);
        for (const QString &secret : {firstToken, secondToken, session}) {
            QVERIFY(secret.size() >= 8);
            for (const QString &line : std::as_const(logLines))
                QVERIFY2(!line.contains(secret), qPrintable(line));
        }
        for (const char *category : {"cuelark.api", "cuelark.auth", "cuelark.refresh", "cuelark.updates"})
            QVERIFY2(logLines.filter(QLatin1String(category)).size() > 0, category);
    }

    // Faults of the service and of the network during the refresh cycle: nothing
    // crashes, the failure's text is shown over the last good data, and the next
    // good cycle recovers without any action from the DJ.
    void aFaultyCycleRecoversByItself_data()
    {
        QTest::addColumn<QJsonObject>("fault"); // for the stand-in's inject, or a pause of the service
        QTest::addColumn<QString>("text");      // what the DJ reads (a prefix)
        const QString events = u"/api/glasses/events"_s, requests = u"/api/glasses/requests"_s;
        const auto status = [](int code, const QString &body, const QString &type = u"application/json"_s) {
            return QJsonObject{{u"status"_s, code}, {u"body"_s, body}, {u"contentType"_s, type}};
        };
        QTest::newRow("down at start") << QJsonObject{{u"pause"_s, u"at start"_s}} << u"Connection refused"_s;
        QTest::newRow("refused") << QJsonObject{{u"pause"_s, u"mid-session"_s}} << u"Connection refused"_s;
        QTest::newRow("reset") << on(events, {{u"drop"_s, true}}) << u"Connection closed"_s;
        QTest::newRow("cut mid-body") << on(requests, {{u"truncate"_s, true}}) << u"Connection closed"_s;
        QTest::newRow("slower than the idle timeout") << on(requests, {{u"delayMs"_s, 1500}})
                                                      << u"The service did not answer in time."_s;
        QTest::newRow("500 with HTML") << on(events, status(500, u"<html><b>Oops</b></html>"_s, u"text/html"_s))
                                       << u"Request failed (HTTP 500)."_s;
        QTest::newRow("502") << on(requests, status(502, {})) << u"Request failed (HTTP 502)."_s;
        QTest::newRow("503 with a message") << on(events, status(503, u"{\"error\":\"Down for maintenance\"}"_s))
                                            << u"Down for maintenance"_s;
        QTest::newRow("403") << on(requests, status(403, u"{\"error\":\"Not your event\"}"_s)) << u"Not your event"_s;
        QTest::newRow("a captive portal's page") << on(events, status(200, u"<html>"_s))
                                                 << u"The network answered with a web page instead of the service."_s;
        QTest::newRow("redirected elsewhere")
            << on(events, {{u"status"_s, 302}, {u"location"_s, u"http://127.0.0.2:1/api/glasses/events"_s}})
            << u"The service sent Cuelark on to another site (127.0.0.2)."_s;
        QTest::newRow("truncated JSON") << on(requests, status(200, u"{\"requests\":[{\"id\":1,"_s))
                                        << u"The service sent an unexpected answer"_s;
        QTest::newRow("not UTF-8") << on(events, {{u"status"_s, 200}, {u"bodyBase64"_s, QString::fromLatin1(
                                          QByteArray(R"({"events":[{"id":1,"name":")" "\xff\xfe" R"(","isActive":true,"startDate":"x"}]})").toBase64())}})
                                   << u"The service sent an unexpected answer"_s;
        QTest::newRow("redirect loop") // each redirect is a call of its own; Qt gives up after 50
            << on(events, {{u"redirectLoop"_s, true}, {u"count"_s, 60}}) << u"Too many redirects"_s;
    }
    void aFaultyCycleRecoversByItself()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, text);
        h->desktop.idleTimeout = std::chrono::milliseconds(500);
        const auto pause = [&] { h->service->control("POST", u"/control/pause"_s, {{u"ms"_s, 600}}); };
        const bool atStart = fault[u"pause"_s] == u"at start"_s;
        if (atStart) {
            h->desktop.storedToken = h->service->issueToken();
            pause();
            QTest::qWait(50);
        }
        AppState &app = atStart ? h->start(0.02) : h->startSignedIn(0.02); // a cycle every 200 ms
        const QList<DJEvent> events = app.events();
        const QList<SongRequest> requests = app.requests();
        if (fault.contains(u"path"_s))
            h->service->inject(fault);
        else if (!atStart)
            pause();
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QVERIFY2(app.errorMessage()->startsWith(text), qPrintable(*app.errorMessage()));
        QCOMPARE(app.authState(), AuthState::signedIn);
        QVERIFY(app.events() == events && app.requests() == requests);
        QVERIFY(waitUntil([&] { return !app.errorMessage(); }));
    }

    // A certificate that fails verification ends the call, whether the app
    // trusts its issuer or not; nothing falls back to an unverified channel.
    void tlsFailuresAreNeverBypassed()
    {
        const QString data = QStringLiteral(CUELARK_TEST_DATA_DIR "/expired-");
        for (const bool trusted : {false, true}) { // an untrusted issuer; a trusted one, but expired
            h = std::make_unique<ServiceHarness>(QStringList{u"--cert"_s, data + u"cert.pem"_s, u"--key"_s, data + u"key.pem"_s});
            const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
            QSslConfiguration trusting = original;
            if (trusted)
                trusting.addCaCertificates(data + u"cert.pem"_s);
            QSslConfiguration::setDefaultConfiguration(trusting);
            h->desktop.storedToken = u"token"_s;
            AppState &app = h->start(1000);
            const bool failed = waitUntil([&] { return app.errorMessage().has_value(); });
            QSslConfiguration::setDefaultConfiguration(original);
            QVERIFY2(failed && app.errorMessage()->startsWith(u"SSL handshake failed"_s), trusted ? "trusted" : "untrusted");
            QVERIFY(app.authState() == AuthState::signedIn && app.events().isEmpty());
        }
    }

};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_app_state.moc"
