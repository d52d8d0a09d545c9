// Start-up, sign-out and the browser sign-in, against the stand-in service.

#include "TaskHandle.h"
#include "support/ServiceHarness.h"

#include <QTest>

using namespace Qt::StringLiterals;
using AuthState = AppState::AuthState;

namespace {

const QString timedOut = u"Sign-in timed out. Try again."_s;
const QString statusPoll = u"GET /api/glasses/auth/status"_s;

QJsonObject startBody(const QString &authUrl, const QString &expiresAt)
{
    return {{u"sessionId"_s, u"s-1"_s}, {u"pollToken"_s, u"p-1"_s}, {u"authUrl"_s, authUrl}, {u"expiresAt"_s, expiresAt}};
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT
    std::unique_ptr<ServiceHarness> h;

private Q_SLOTS:
    void init() { h = std::make_unique<ServiceHarness>(); }
    void cleanup() { h.reset(); }

    void startUpFollowsTheStoredToken()
    {
        AppState &signedOut = h->start(0.005);
        QCOMPARE(signedOut.authState(), AuthState::signedOut);
        QTest::qWait(50);
        QVERIFY(!signedOut.statsPollTask() && h->calls().isEmpty() && h->desktop.permissionRequests == 0);

        h->desktop.storedToken = h->service->issueToken();
        AppState &app = h->start(1000);
        // Signed in before any call has been made.
        QCOMPARE(app.authState(), AuthState::signedIn);
        QVERIFY(!app.userName() && app.events().isEmpty() && !app.statsPollTask()->isCancelled());
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        QCOMPARE(h->desktop.permissionRequests, 1);
        QCOMPARE(app.userName(), std::optional(u"DJ Nova"_s));
        QVERIFY(app.events().size() == 3 && !app.requests().isEmpty() && !app.errorMessage());
    }

    void signOutClearsEverythingButTheErrorAndIsIdempotent()
    {
        AppState &app = h->startSignedIn();
        h->fail(u"/api/glasses/requests/"_s, 500);
        app.act(app.requests().first(), RequestAction::approved);
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        const auto pollTask = app.statsPollTask();

        app.signOut();
        app.signOut();

        QVERIFY(pollTask->isCancelled());
        QCOMPARE(h->desktop.tokenClears, 2);
        QVERIFY(!h->desktop.storedToken);
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(!app.userName() && app.events().isEmpty() && !app.selectedEventId() && app.requests().isEmpty());
        QVERIFY(app.totalPending() == 0 && !app.lastUpdated());
        QCOMPARE(app.errorMessage(), std::optional(u"Service unavailable"_s));
    }

    void browserSignInCompletesThroughTheServicePage()
    {
        AppState &app = h->start(0.005);
        app.signIn();
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::waitingForBrowser; }));
        QCOMPARE(h->desktop.openedUrls.size(), 1);
        QVERIFY(h->desktop.openedUrls.first().toString().startsWith(h->service->url().toString()));

        h->service->approveInBrowser(h->desktop.openedUrls.first());
        QVERIFY(waitUntil([&] { return app.userName().has_value(); }));
        QCOMPARE(app.authState(), AuthState::signedIn);
        QVERIFY(h->desktop.storedToken && !h->desktop.storedToken->isEmpty());
        // The sign-in calls carry no bearer token; the refresh calls carry the new
        // one (the release record, fetched after the first cycle, needs none).
        for (const QJsonValue &call : h->service->log()) {
            const QString path = call[u"path"_s].toString();
            if (path.startsWith(u"/api/glasses/"_s))
                QCOMPARE(call[u"authorization"_s].isNull(), path.startsWith(u"/api/glasses/auth/"_s));
        }
    }

    void sessionEndsWithTheTimeoutText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("service says expired") << u"expired"_s;
        QTest::newRow("expiresAt already past") << u"past"_s;
        QTest::newRow("unparsable expiresAt, fallback deadline") << u"unparsable"_s;
        QTest::newRow("complete in the wrong case") << u"case"_s;
    }
    void sessionEndsWithTheTimeoutText()
    {
        QFETCH(QString, how);
        const QString page = h->service->url().toString() + u"/glasses/sign-in?session=s-1"_s;
        if (how == u"past")
            h->answer(u"/api/glasses/auth/start"_s, startBody(page, u"2020-01-01T00:00:00Z"_s));
        if (how == u"unparsable" || how == u"case") {
            h->answer(u"/api/glasses/auth/start"_s, startBody(page, u"in ten minutes"_s));
            const QString status = how == u"case" ? u"Complete"_s : u"pending"_s;
            h->answer(u"/api/glasses/auth/status"_s, {{u"status"_s, status}, {u"token"_s, u"t"_s}}, 100);
            // Every clock reading moves 100 s on: the 600 s fallback passes after a few polls.
            h->desktop.step = 100;
        }
        AppState &app = h->start(0.005);
        app.signIn();
        if (how == u"expired") {
            QVERIFY(waitUntil([&] { return app.authState() == AuthState::waitingForBrowser; }));
            h->service->control("POST", u"/control/expire-sessions"_s);
        }
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QCOMPARE(app.errorMessage(), std::optional(timedOut));
        QCOMPARE(app.authState(), AuthState::signedOut);
        QCOMPARE(h->desktop.openedUrls.size(), 1);
        QVERIFY(!h->desktop.storedToken);
        const qsizetype polls = h->countCalls(statusPoll);
        QVERIFY2(how == u"past" ? polls == 0 : polls >= 1 && polls <= 7, qPrintable(QString::number(polls)));
    }

    void completeWithoutATokenKeepsPolling()
    {
        h->answer(u"/api/glasses/auth/status"_s, {{u"status"_s, u"complete"_s}}, 3);
        AppState &app = h->start(0.005);
        app.signIn();
        QVERIFY(waitUntil([&] { return h->countCalls(statusPoll) >= 4; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        // Two seconds between polls (scaled in tests).
        QCOMPARE(h->desktop.waits.mid(0, 3), QList<double>(3, AppState::authPollInterval));
        QCOMPARE(AppState::authPollInterval, 2.0);
        h->service->approveInBrowser(h->desktop.openedUrls.first());
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::signedIn; }));
    }

    void failuresEndTheSignInWithTheirText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("401 on a poll") << u"/api/glasses/auth/status"_s << 401 << u"Session expired — please sign in again."_s;
        QTest::newRow("500 on start") << u"/api/glasses/auth/start"_s << 500 << u"Service unavailable"_s;
    }
    void failuresEndTheSignInWithTheirText()
    {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QString, text);
        h->fail(path, status);
        AppState &app = h->start(0.005);
        app.signIn();
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QCOMPARE(app.errorMessage(), std::optional(text));
        QCOMPARE(app.authState(), AuthState::signedOut);
        QTest::qWait(30);
        // No retry: at most the one failed poll.
        QCOMPARE(h->countCalls(statusPoll), path.endsWith(u"status") ? 1 : 0);
    }

    void aNewSignInOrCancelAbandonsTheOldOneSilently()
    {
        AppState &app = h->start(0.05); // 100 ms between polls
        app.signIn();
        QVERIFY(waitUntil([&] { return h->countCalls(statusPoll) >= 1; }));
        const auto first = app.authPollTask();

        app.signIn();
        QVERIFY(first->isCancelled());
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
        QCOMPARE(h->countCalls(statusPoll), polls);
        QVERIFY(!app.errorMessage() && !h->desktop.storedToken);
        QCOMPARE(app.authState(), AuthState::signedOut);
    }

    void endingAFlowMidCallIsSilentAndSafe()
    {
        h->delay(u"/api/glasses/auth/status"_s, 2000, 2);
        AppState &app = h->start(0.005);
        app.signIn();
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::waitingForBrowser; }));
        QTest::qWait(50); // the first poll is now under way
        app.signOut();
        QTest::qWait(100);
        QVERIFY(app.authState() == AuthState::signedOut && !app.errorMessage());

        // Destroyed with a sign-in, a cycle and an action suspended: each ends on
        // its aborted call without touching the object (sanitizer builds check).
        h->desktop.storedToken = h->service->issueToken();
        h->delay(u"/api/glasses/me"_s, 2000);
        AppState &doomed = h->start(0.005);
        doomed.signIn();
        doomed.act(SongRequest{1001, u"pending"_s, {}, {}, {}}, RequestAction::approved);
        const auto signIn = doomed.authPollTask(), polling = doomed.statsPollTask();
        QTest::qWait(100);
        h->state.reset();
        QVERIFY(signIn->isCancelled() && polling->isCancelled());
        QTest::qWait(200);
    }

    void onlyWebAddressesOpenInTheBrowser_data()
    {
        QTest::addColumn<QString>("authUrl");
        QTest::newRow("file") << u"file:///etc/passwd"_s;
        QTest::newRow("javascript") << u"javascript:alert(1)"_s;
        QTest::newRow("plain http to another host") << u"http://example.com/sign-in"_s;
    }
    void onlyWebAddressesOpenInTheBrowser()
    {
        QFETCH(QString, authUrl);
        h->answer(u"/api/glasses/auth/start"_s, startBody(authUrl, u"2099-01-01T00:00:00Z"_s));
        h->answer(u"/api/glasses/auth/status"_s, {{u"status"_s, u"pending"_s}});
        AppState &app = h->start(1000);
        app.signIn();
        // Nothing opens, yet the flow waits for the session as usual.
        QVERIFY(waitUntil([&] { return h->countCalls(statusPoll) >= 1; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        QVERIFY(h->desktop.openedUrls.isEmpty());
    }

};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
