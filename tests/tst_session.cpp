// Start-up, sign-out and the browser sign-in, against the stand-in service.

#include "AppState.h"
#include "TaskHandle.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;
using AuthState = AppState::AuthState;

namespace {

const QString timedOut = u"Sign-in timed out. Try again."_s;
const QString sessionExpired = u"Session expired — please sign in again."_s;

QJsonObject startBody(const QString &authUrl, const QString &expiresAt)
{
    return {{u"sessionId"_s, u"s-1"_s}, {u"pollToken"_s, u"p-1"_s}, {u"authUrl"_s, authUrl}, {u"expiresAt"_s, expiresAt}};
}

// Makes the next `count` answers on `path` this body instead of the service's own.
void inject(StandIn &service, const QString &path, const QJsonObject &body, int count = 1, int status = 200)
{
    service.control("POST", u"/control/inject"_s,
                    {{u"path"_s, path}, {u"count"_s, count}, {u"status"_s, status},
                     {u"body"_s, QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}});
}

int countCalls(StandIn &service, const QString &call)
{
    return int(callsIn(service.log()).count(call));
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT

    std::unique_ptr<StandIn> service;
    std::unique_ptr<FakeDesktop> desktop;
    std::unique_ptr<AppState> state;

    AppState &start(double waitScale = 0.005)
    {
        state = std::make_unique<AppState>(desktop->platform(waitScale), service->url());
        return *state;
    }

private Q_SLOTS:
    void init()
    {
        service = std::make_unique<StandIn>();
        desktop = std::make_unique<FakeDesktop>();
        desktop->clock = QDateTime::currentDateTimeUtc();
    }
    void cleanup()
    {
        state.reset();
        // Let aborted calls and cancelled waits resume and free their coroutines.
        QTest::qWait(50);
        service.reset();
    }

    void startsSignedOutWithoutAToken()
    {
        AppState &app = start();
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(!app.authPollTask() && !app.statsPollTask());
        QVERIFY(!app.errorMessage());
        QTest::qWait(50);
        QCOMPARE(service->log().size(), 0);
        QCOMPARE(desktop->permissionRequests, 0);
    }

    void startsSignedInWithAStoredToken()
    {
        desktop->storedToken = service->issueToken();
        AppState &app = start(1000);
        // Signed in before any call has been made.
        QCOMPARE(app.authState(), AuthState::signedIn);
        QVERIFY(!app.userName() && app.events().isEmpty() && !app.lastUpdated());
        QVERIFY(app.statsPollTask() && !app.statsPollTask()->isCancelled());

        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        QCOMPARE(desktop->permissionRequests, 1);
        QCOMPARE(app.userName(), std::optional(u"DJ Nova"_s));
        QCOMPARE(app.events().size(), 3);
        QVERIFY(app.selectedEventId());
        QVERIFY(!app.requests().isEmpty());
        QVERIFY(!app.errorMessage());
    }

    void aRevokedStoredTokenSignsOutWithItsText()
    {
        desktop->storedToken = u"not-a-token"_s;
        AppState &app = start(1000);
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::signedOut; }));
        QCOMPARE(app.errorMessage(), std::optional(sessionExpired));
        QVERIFY(!desktop->storedToken);
        QVERIFY(app.statsPollTask()->isCancelled());
    }

    void signOutClearsEverythingButTheErrorAndIsIdempotent()
    {
        desktop->storedToken = service->issueToken();
        AppState &app = start(1000);
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        app.act(app.requests().first(), RequestAction::approved);
        service->control("POST", u"/control/inject"_s, {{u"path"_s, u"/api/glasses/requests/"_s}, {u"status"_s, 500}});
        app.act(app.requests().first(), RequestAction::approved);
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        const auto pollTask = app.statsPollTask();

        AnnouncementLog announced(app);
        app.signOut();
        const QStringList once = announced.names;
        QCOMPARE(once, (QStringList{u"authState"_s, u"userName"_s, u"events"_s, u"selectedEventId"_s,
                                    u"requests"_s, u"totalPending"_s, u"lastUpdated"_s}));
        app.signOut();
        QCOMPARE(announced.names, once + once);

        QVERIFY(pollTask->isCancelled());
        QCOMPARE(desktop->tokenClears, 2);
        QVERIFY(!desktop->storedToken);
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(!app.userName() && app.events().isEmpty() && !app.selectedEventId() && app.requests().isEmpty());
        QCOMPARE(app.totalPending(), 0);
        QVERIFY(!app.lastUpdated());
        QCOMPARE(app.errorMessage(), std::optional(u"Request failed (HTTP 500)."_s));
    }

    void browserSignInCompletesThroughTheServicePage()
    {
        AppState &app = start();
        AnnouncementLog announced(app);
        app.signIn();
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::waitingForBrowser; }));
        QCOMPARE(desktop->openedUrls.size(), 1);
        const QUrl page = desktop->openedUrls.first();
        QVERIFY(page.toString().startsWith(service->url().toString()));

        service->approveInBrowser(page);
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::signedIn; }));
        QVERIFY(desktop->storedToken && !desktop->storedToken->isEmpty());
        QVERIFY(app.statsPollTask());
        QVERIFY(waitUntil([&] { return app.userName().has_value(); }));
        QCOMPARE(app.userName(), std::optional(u"DJ Nova"_s));
        QCOMPARE(announced.names.mid(0, 3), (QStringList{u"errorMessage"_s, u"authState"_s, u"authState"_s}));
        // The sign-in calls carry no bearer token; the refresh calls carry the new one.
        for (const QJsonValue &call : service->log()) {
            const QJsonObject entry = call.toObject();
            const bool signInCall = entry[u"path"_s].toString().startsWith(u"/api/glasses/auth/"_s);
            QCOMPARE(entry[u"authorization"_s].isNull(), signInCall);
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
        const QString page = service->url().toString() + u"/glasses/sign-in?session=s-1"_s;
        if (how == u"past")
            inject(*service, u"/api/glasses/auth/start"_s, startBody(page, u"2020-01-01T00:00:00Z"_s));
        if (how == u"unparsable" || how == u"case") {
            inject(*service, u"/api/glasses/auth/start"_s, startBody(page, u"in ten minutes"_s));
            // Every clock reading moves 100 s on: the 600 s fallback passes after a few polls.
            desktop->step = 100;
        }
        if (how == u"unparsable")
            inject(*service, u"/api/glasses/auth/status"_s, {{u"status"_s, u"pending"_s}}, 100);
        if (how == u"case")
            inject(*service, u"/api/glasses/auth/status"_s, {{u"status"_s, u"Complete"_s}, {u"token"_s, u"t"_s}}, 100);

        AppState &app = start();
        AnnouncementLog announced(app);
        app.signIn();
        if (how == u"expired") {
            QVERIFY(waitUntil([&] { return app.authState() == AuthState::waitingForBrowser; }));
            service->control("POST", u"/control/expire-sessions"_s);
        }
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QCOMPARE(app.errorMessage(), std::optional(timedOut));
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(announced.names.contains(u"authState"_s));
        QCOMPARE(desktop->openedUrls.size(), 1);
        QVERIFY(!desktop->storedToken);

        const int polls = countCalls(*service, u"GET /api/glasses/auth/status"_s);
        if (how == u"past")
            QCOMPARE(polls, 0);
        if (how == u"unparsable" || how == u"case")
            QVERIFY2(polls >= 1 && polls <= 7, qPrintable(QString::number(polls)));
    }

    void completeWithoutATokenKeepsPolling()
    {
        inject(*service, u"/api/glasses/auth/status"_s, {{u"status"_s, u"complete"_s}}, 3);
        AppState &app = start();
        app.signIn();
        QVERIFY(waitUntil([&] { return countCalls(*service, u"GET /api/glasses/auth/status"_s) >= 4; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        service->approveInBrowser(desktop->openedUrls.first());
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::signedIn; }));
    }

    void failuresEndTheSignInWithTheirText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("401 on a poll") << u"/api/glasses/auth/status"_s << 401 << sessionExpired;
        QTest::newRow("500 on start") << u"/api/glasses/auth/start"_s << 500 << u"Request failed (HTTP 500)."_s;
    }
    void failuresEndTheSignInWithTheirText()
    {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QString, text);
        inject(*service, path, {{u"error"_s, u"Nope"_s}, {u"code"_s, 1}}, 1, status);
        AppState &app = start();
        app.signIn();
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QCOMPARE(app.errorMessage(), std::optional(text));
        QCOMPARE(app.authState(), AuthState::signedOut);
        QTest::qWait(30);
        QCOMPARE(countCalls(*service, u"GET /api/glasses/auth/status"_s), path.endsWith(u"status") ? 1 : 0);
    }

    void aNewSignInOrCancelAbandonsTheOldOneSilently()
    {
        AppState &app = start(0.05); // 100 ms between polls
        app.signIn();
        QVERIFY(waitUntil([&] { return countCalls(*service, u"GET /api/glasses/auth/status"_s) >= 1; }));
        const auto first = app.authPollTask();

        app.signIn();
        QVERIFY(first->isCancelled());
        QVERIFY(!app.errorMessage());
        QVERIFY(waitUntil([&] { return desktop->openedUrls.size() == 2; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        QVERIFY(desktop->openedUrls[0] != desktop->openedUrls[1]);

        app.cancelSignIn();
        QCOMPARE(app.authState(), AuthState::signedOut);
        const int polls = countCalls(*service, u"GET /api/glasses/auth/status"_s);
        QTest::qWait(300);
        QCOMPARE(countCalls(*service, u"GET /api/glasses/auth/status"_s), polls);
        QVERIFY(!app.errorMessage());

        // Approving the abandoned session in the browser changes nothing here.
        service->approveInBrowser(desktop->openedUrls[1]);
        QTest::qWait(100);
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(!desktop->storedToken);
    }

    void cancellingDuringACallStaysSilent()
    {
        service->control("POST", u"/control/inject"_s, {{u"path"_s, u"/api/glasses/auth/status"_s}, {u"delayMs"_s, 2000}});
        AppState &app = start();
        app.signIn();
        QVERIFY(waitUntil([&] { return app.authState() == AuthState::waitingForBrowser; }));
        QTest::qWait(50); // the first poll is now under way
        app.signOut();
        QTest::qWait(100);
        QCOMPARE(app.authState(), AuthState::signedOut);
        QVERIFY(!app.errorMessage());
    }

    void onlyWebAddressesOpenInTheBrowser_data()
    {
        QTest::addColumn<QString>("authUrl");
        QTest::newRow("file") << u"file:///etc/passwd"_s;
        QTest::newRow("javascript") << u"javascript:alert(1)"_s;
        QTest::newRow("custom scheme") << u"x-handler://open"_s;
        QTest::newRow("plain http to another host") << u"http://example.com/sign-in"_s;
        QTest::newRow("not a url") << u"::"_s;
    }
    void onlyWebAddressesOpenInTheBrowser()
    {
        QFETCH(QString, authUrl);
        inject(*service, u"/api/glasses/auth/start"_s, startBody(authUrl, u"2099-01-01T00:00:00Z"_s));
        inject(*service, u"/api/glasses/auth/status"_s, {{u"status"_s, u"pending"_s}});
        AppState &app = start(1000);
        app.signIn();
        // Nothing opens, yet the flow waits for the session as usual.
        QVERIFY(waitUntil([&] { return countCalls(*service, u"GET /api/glasses/auth/status"_s) >= 1; }));
        QCOMPARE(app.authState(), AuthState::waitingForBrowser);
        QVERIFY(desktop->openedUrls.isEmpty());
    }

    void destroyingTheStateMidFlightIsSafe()
    {
        desktop->storedToken = service->issueToken();
        service->control("POST", u"/control/inject"_s, {{u"path"_s, u"/api/glasses/me"_s}, {u"delayMs"_s, 3000}});
        AppState &app = start();
        app.signIn();
        app.act(SongRequest{1001, u"pending"_s, {}, {}, {}}, RequestAction::approved);
        QTest::qWait(100);
        state.reset();
        // Every suspended flow resumes on the aborted calls and ends without
        // touching the destroyed object (ASan builds check this).
        QTest::qWait(200);
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
