// The stand-in service's contract that the other suites build on.

#include "support/StandIn.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Headers = QList<QPair<QByteArray, QByteArray>>;

QJsonObject bodyOf(const StandIn::Answer &answer) { return QJsonDocument::fromJson(answer.body).object(); }
Headers bearer(const QString &token) { return {{"Authorization", "Bearer " + token.toUtf8()}}; }

StandIn::Answer get(StandIn &standIn, const QString &target, const Headers &headers = {})
{
    return standIn.send("GET", QUrl(target), {}, headers);
}

struct Session {
    QString id, pollToken, authUrl;
};

Session startSession(StandIn &standIn)
{
    const QJsonObject body = bodyOf(standIn.send("POST", QUrl(u"/api/glasses/auth/start"_s),
                                                 R"({"redirect":"/glasses.html"})",
                                                 {{"Content-Type", "application/json"}}));
    return {body[u"sessionId"_s].toString(), body[u"pollToken"_s].toString(), body[u"authUrl"_s].toString()};
}

QJsonObject poll(StandIn &standIn, const Session &session)
{
    return bodyOf(get(standIn, u"/api/glasses/auth/status?session="_s + session.id,
                      {{"x-glasses-poll-token", session.pollToken.toUtf8()}}));
}

} // namespace

class TestStandIn : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void signInLifeCycle()
    {
        StandIn standIn;
        const Session session = startSession(standIn);
        QVERIFY(session.authUrl.startsWith(standIn.url().toString()));
        QCOMPARE(poll(standIn, session), QJsonObject({{u"status"_s, u"pending"_s}}));
        standIn.approveInBrowser(QUrl(session.authUrl));
        const QJsonObject complete = poll(standIn, session);
        QCOMPARE(complete[u"status"_s].toString(), u"complete"_s);
        const QString token = complete[u"token"_s].toString();
        QCOMPARE(get(standIn, u"/api/glasses/me"_s, bearer(token)).status, 200);

        // The approve form sends the browser back to the page the sign-in named.
        const Session second = startSession(standIn);
        const StandIn::Answer approval =
            standIn.send("POST", QUrl(u"/glasses/sign-in/approve"_s), "session=" + second.id.toUtf8(),
                         {{"Content-Type", "application/x-www-form-urlencoded"}});
        QCOMPARE(approval.status, 303);
        QCOMPARE(QUrl(QString::fromUtf8(approval.header("Location"))).path(), u"/glasses.html"_s);
        QCOMPARE_NE(poll(standIn, second)[u"token"_s].toString(), token);

        const Session late = startSession(standIn);
        standIn.control("POST", u"/control/expire-sessions"_s);
        QCOMPARE(poll(standIn, late), QJsonObject({{u"status"_s, u"expired"_s}}));
        QCOMPARE(get(standIn, late.authUrl).status, 410);
    }

    void unknownAndRevokedTokensGet401()
    {
        StandIn standIn;
        const QString kept = standIn.issueToken();
        const QString revoked = standIn.issueToken();
        standIn.control("POST", u"/control/revoke"_s, {{u"token"_s, revoked}});
        const auto events = [&](const Headers &headers) { return get(standIn, u"/api/glasses/events"_s, headers); };
        QCOMPARE(events(bearer(kept)).status, 200);
        const StandIn::Answer refused = events(bearer(revoked));
        QCOMPARE(refused.status, 401);
        QCOMPARE(bodyOf(refused), QJsonObject({{u"error"_s, u"Unauthorized"_s}}));
        QCOMPARE(events(bearer(u"tok_made_up"_s)).status, 401);
        QCOMPARE(events({}).status, 401);
        standIn.control("POST", u"/control/revoke"_s);
        QCOMPARE(events(bearer(kept)).status, 401);
    }

    void injectedAnswersReplaceTheNextMatchingCalls()
    {
        StandIn standIn;
        const Headers auth = bearer(standIn.issueToken());
        standIn.control("POST", u"/control/inject"_s,
                        {{u"count"_s, 2}, {u"path"_s, u"/api/glasses/events"_s}, {u"status"_s, 503},
                         {u"body"_s, u"<html>down</html>"_s}, {u"contentType"_s, u"text/html"_s}});
        QCOMPARE(get(standIn, u"/api/glasses/me"_s, auth).status, 200);
        const StandIn::Answer injected = get(standIn, u"/api/glasses/events"_s, auth);
        QCOMPARE(injected.status, 503);
        QCOMPARE(injected.body, "<html>down</html>");
        QCOMPARE(injected.header("Content-Type"), "text/html");
        QCOMPARE(get(standIn, u"/api/glasses/events"_s, auth).status, 503);
        QCOMPARE(get(standIn, u"/api/glasses/events"_s, auth).status, 200);
    }

    void droppedAndDelayedAnswers()
    {
        StandIn standIn;
        // The HTTP client resends a request whose connection closed unanswered,
        // so every attempt has to be dropped.
        standIn.control("POST", u"/control/inject"_s, {{u"count"_s, 10}, {u"drop"_s, true}});
        const StandIn::Answer dropped = get(standIn, u"/mac-app/latest.json"_s);
        QCOMPARE(dropped.status, 0);
        QCOMPARE_NE(dropped.error, QNetworkReply::NoError);
        QCOMPARE(standIn.log().first()[u"status"_s].toInt(), 0);

        StandIn slow;
        slow.control("POST", u"/control/inject"_s, {{u"delayMs"_s, 400}});
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(get(slow, u"/mac-app/latest.json"_s).status, 200);
        QVERIFY(clock.elapsed() >= 400);
    }

    void callLogRecordsApiCallsOnly()
    {
        StandIn standIn;
        const QString token = standIn.issueToken();
        poll(standIn, startSession(standIn));
        get(standIn, u"/glasses.html"_s);
        get(standIn, u"/api/glasses/requests?eventId=102&limit=25"_s, bearer(token));

        const QJsonArray log = standIn.log();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log[0].toObject(), QJsonObject({{u"method"_s, u"POST"_s}, {u"path"_s, u"/api/glasses/auth/start"_s},
                                                 {u"query"_s, u""_s}, {u"status"_s, 200}, {u"authorization"_s, {}},
                                                 {u"pollToken"_s, {}}, {u"contentType"_s, u"application/json"_s},
                                                 {u"body"_s, uR"({"redirect":"/glasses.html"})"_s}}));
        QVERIFY(!log[1][u"pollToken"_s].toString().isEmpty());
        QCOMPARE(log[2][u"query"_s].toString(), u"eventId=102&limit=25"_s);
        QCOMPARE(log[2][u"authorization"_s].toString(), u"Bearer "_s + token);

        standIn.control("DELETE", u"/control/log"_s);
        QVERIFY(standIn.log().isEmpty());
    }

    void audienceAddsPendingRequests()
    {
        StandIn standIn({u"--audience-interval"_s, u"1"_s});
        const Headers auth = bearer(standIn.issueToken());
        const auto latest = [&] { return bodyOf(get(standIn, u"/api/glasses/requests?eventId=102&limit=1"_s, auth)); };
        const qint64 before = latest()[u"totalPending"_s].toInteger();
        QTRY_VERIFY_WITH_TIMEOUT(latest()[u"totalPending"_s].toInteger() > before, 20'000);
        QCOMPARE(latest()[u"requests"_s][0][u"status"_s].toString(), u"pending"_s);
    }
};

QTEST_GUILESS_MAIN(TestStandIn)
#include "tst_stand_in.moc"
