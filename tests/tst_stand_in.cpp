// The stand-in service's own contract, which the other suites build on.

#include "support/StandIn.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

using Headers = QList<QPair<QByteArray, QByteArray>>;

QJsonObject bodyOf(const StandIn::Answer &answer)
{
    return QJsonDocument::fromJson(answer.body).object();
}

Headers bearer(const QString &token)
{
    return {{"Authorization", "Bearer " + token.toUtf8()}};
}

struct Session {
    QString id;
    QString pollToken;
    QUrl authUrl;
    QString expiresAt;
};

Session startSession(StandIn &standIn)
{
    const QJsonObject body = bodyOf(standIn.send("POST", QUrl(u"/api/glasses/auth/start"_s),
                                                 R"({"redirect":"/glasses.html"})",
                                                 {{"Content-Type", "application/json"}}));
    return {body.value(u"sessionId"_s).toString(), body.value(u"pollToken"_s).toString(),
            QUrl(body.value(u"authUrl"_s).toString()), body.value(u"expiresAt"_s).toString()};
}

StandIn::Answer pollStatus(StandIn &standIn, const QString &sessionId, const Headers &headers)
{
    QUrl url(u"/api/glasses/auth/status"_s);
    QUrlQuery query;
    query.addQueryItem(u"session"_s, sessionId);
    url.setQuery(query);
    return standIn.send("GET", url, {}, headers);
}

StandIn::Answer poll(StandIn &standIn, const Session &session)
{
    return pollStatus(standIn, session.id, {{"x-glasses-poll-token", session.pollToken.toUtf8()}});
}

QJsonObject requestsPage(StandIn &standIn, const QString &token, int limit)
{
    return bodyOf(standIn.send("GET", QUrl(u"/api/glasses/requests?eventId=102&limit=%1"_s.arg(limit)),
                               {}, bearer(token)));
}

} // namespace

class TestStandIn : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void signInIssuesAFreshWorkingToken()
    {
        StandIn standIn;
        const Session session = startSession(standIn);
        QVERIFY(session.authUrl.toString().startsWith(standIn.url().toString()));
        QCOMPARE(bodyOf(poll(standIn, session)), QJsonObject({{u"status"_s, u"pending"_s}}));

        standIn.approveInBrowser(session.authUrl);
        const QJsonObject complete = bodyOf(poll(standIn, session));
        QCOMPARE(complete.value(u"status"_s).toString(), u"complete"_s);
        const QString token = complete.value(u"token"_s).toString();
        QVERIFY(!token.isEmpty());
        const StandIn::Answer me = standIn.send("GET", QUrl(u"/api/glasses/me"_s), {}, bearer(token));
        QCOMPARE(me.status, 200);
        QCOMPARE(bodyOf(me).value(u"userId"_s).toString(), u"dj-1"_s);

        const Session second = startSession(standIn);
        standIn.approveInBrowser(second.authUrl);
        QCOMPARE_NE(bodyOf(poll(standIn, second)).value(u"token"_s).toString(), token);

        // Secrets never reach the stand-in's own output.
        QVERIFY(!standIn.output().contains(token.toUtf8()));
        QVERIFY(!standIn.output().contains(session.pollToken.toUtf8()));
    }

    void approvalReturnsTheBrowserToTheRedirectPage()
    {
        StandIn standIn;
        const Session session = startSession(standIn);
        const StandIn::Answer approval = standIn.send(
            "POST", QUrl(u"/glasses/sign-in/approve"_s), "session=" + session.id.toUtf8(),
            {{"Content-Type", "application/x-www-form-urlencoded"}});
        QCOMPARE(approval.status, 303);
        QCOMPARE(QUrl(QString::fromUtf8(approval.header("Location"))).path(), u"/glasses.html"_s);
    }

    void pollRejections_data()
    {
        QTest::addColumn<bool>("knownSession");
        QTest::addColumn<Headers>("headers");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("wrong poll token") << true << Headers{{"x-glasses-poll-token", "guess"}} << 403
                                          << u"Invalid poll token"_s;
        QTest::newRow("no poll token") << true << Headers{} << 403 << u"Invalid poll token"_s;
        QTest::newRow("unknown session") << false << Headers{} << 404 << u"Unknown sign-in session"_s;
    }

    void pollRejections()
    {
        QFETCH(bool, knownSession);
        QFETCH(Headers, headers);
        StandIn standIn;
        const Session session = startSession(standIn);
        const StandIn::Answer answer = pollStatus(standIn, knownSession ? session.id : u"ses_nope"_s, headers);
        QTEST(answer.status, "status");
        QTEST(bodyOf(answer).value(u"error"_s).toString(), "error");
    }

    void sessionsExpire()
    {
        StandIn standIn({u"--session-ttl"_s, u"600"_s});
        const Session session = startSession(standIn);
        const qint64 lifetime = QDateTime::currentDateTimeUtc().secsTo(
            QDateTime::fromString(session.expiresAt, Qt::ISODateWithMs));
        QVERIFY2(lifetime > 500 && lifetime <= 600, qPrintable(session.expiresAt));

        standIn.control("POST", u"/control/expire-sessions"_s);
        QCOMPARE(bodyOf(poll(standIn, session)), QJsonObject({{u"status"_s, u"expired"_s}}));
        QCOMPARE(standIn.send("GET", session.authUrl).status, 410);
        standIn.send("POST", QUrl(u"/glasses/sign-in/approve"_s), "session=" + session.id.toUtf8());
        QCOMPARE(bodyOf(poll(standIn, session)).value(u"status"_s).toString(), u"expired"_s);

        StandIn instantExpiry({u"--session-ttl"_s, u"0"_s});
        QCOMPARE(bodyOf(poll(instantExpiry, startSession(instantExpiry))).value(u"status"_s).toString(),
                 u"expired"_s);
    }

    void unauthorizedCalls_data()
    {
        QTest::addColumn<QString>("revoke"); // "" none, "one" the token, "all" every token
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<int>("status");
        QTest::newRow("valid token") << u""_s << QByteArray("Bearer $TOKEN") << 200;
        QTest::newRow("token from the command line") << u""_s << QByteArray("Bearer preset") << 200;
        QTest::newRow("no header") << u""_s << QByteArray() << 401;
        QTest::newRow("empty bearer") << u""_s << QByteArray("Bearer ") << 401;
        QTest::newRow("unknown token") << u""_s << QByteArray("Bearer tok_made_up") << 401;
        QTest::newRow("revoked token") << u"one"_s << QByteArray("Bearer $TOKEN") << 401;
        QTest::newRow("all revoked") << u"all"_s << QByteArray("Bearer preset") << 401;
    }

    void unauthorizedCalls()
    {
        QFETCH(QString, revoke);
        QFETCH(QByteArray, authorization);
        StandIn standIn({u"--token"_s, u"preset"_s});
        const QString token = standIn.issueToken();
        if (revoke == u"one")
            standIn.control("POST", u"/control/revoke"_s, {{u"token"_s, token}});
        else if (revoke == u"all")
            standIn.control("POST", u"/control/revoke"_s);
        const Headers headers = authorization.isNull()
                                    ? Headers{}
                                    : Headers{{"Authorization", authorization.replace("$TOKEN", token.toUtf8())}};
        const StandIn::Answer answer = standIn.send("GET", QUrl(u"/api/glasses/events"_s), {}, headers);
        QTEST(answer.status, "status");
        if (answer.status == 401)
            QCOMPARE(bodyOf(answer), QJsonObject({{u"error"_s, u"Unauthorized"_s}}));
    }

    void requestsAreNewestFirstWithTheEventsPendingCount()
    {
        StandIn standIn;
        const QString token = standIn.issueToken();
        const QJsonObject everything = requestsPage(standIn, token, 100);
        const QJsonArray all = everything.value(u"requests"_s).toArray();
        qint64 pending = 0;
        for (const QJsonValue &request : all)
            pending += request[u"status"_s] == u"pending"_s;
        QVERIFY(pending >= 2);
        QCOMPARE(everything.value(u"totalPending"_s).toInteger(), pending);

        const QJsonObject page = requestsPage(standIn, token, 2);
        QCOMPARE(page.value(u"requests"_s).toArray(), QJsonArray({all[0], all[1]}));
        QVERIFY(all[0][u"id"_s].toInteger() > all[1][u"id"_s].toInteger());
        QCOMPARE(page.value(u"totalPending"_s).toInteger(), pending);

        const QJsonObject created = standIn.control("POST", u"/control/requests"_s,
                                                    {{u"songTitle"_s, u"Fresh"_s}, {u"artistName"_s, u"Act"_s}})
                                        .toObject();
        const QJsonObject afterCreate = requestsPage(standIn, token, 1);
        QCOMPARE(afterCreate.value(u"requests"_s).toArray(), QJsonArray({created}));
        QCOMPARE(afterCreate.value(u"totalPending"_s).toInteger(), pending + 1);

        const StandIn::Answer approval = standIn.send(
            "PATCH", QUrl(u"/api/glasses/requests/%1"_s.arg(created[u"id"_s].toInteger())),
            R"({"status":"approved"})", bearer(token) + Headers{{"Content-Type", "application/json"}});
        QCOMPARE(approval.status, 200);
        QCOMPARE(bodyOf(approval)[u"request"_s][u"status"_s].toString(), u"approved"_s);
        QCOMPARE(requestsPage(standIn, token, 1).value(u"totalPending"_s).toInteger(), pending);
    }

    void requestErrors_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::newRow("unknown event") << QByteArray("GET") << u"/api/glasses/requests?eventId=9&limit=5"_s
                                       << QByteArray() << 404;
        QTest::newRow("no limit") << QByteArray("GET") << u"/api/glasses/requests?eventId=102"_s << QByteArray()
                                  << 400;
        QTest::newRow("text event id") << QByteArray("GET") << u"/api/glasses/requests?eventId=x&limit=5"_s
                                       << QByteArray() << 400;
        QTest::newRow("other status") << QByteArray("PATCH") << u"/api/glasses/requests/1010"_s
                                      << QByteArray(R"({"status":"maybe"})") << 400;
        QTest::newRow("unknown request") << QByteArray("PATCH") << u"/api/glasses/requests/77"_s
                                         << QByteArray(R"({"status":"approved"})") << 404;
    }

    void requestErrors()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        StandIn standIn;
        const StandIn::Answer answer = standIn.send(method, QUrl(path), body, bearer(standIn.issueToken()));
        QTEST(answer.status, "status");
        QVERIFY(!bodyOf(answer).value(u"error"_s).toString().isEmpty());
    }

    void injectedAnswersReplaceTheNextMatchingCalls()
    {
        StandIn standIn;
        const Headers auth = bearer(standIn.issueToken());
        standIn.control("POST", u"/control/inject"_s,
                        {{u"count"_s, 2}, {u"path"_s, u"/api/glasses/events"_s}, {u"status"_s, 503},
                         {u"body"_s, u"<html>down</html>"_s}, {u"contentType"_s, u"text/html"_s}});
        QCOMPARE(standIn.send("GET", QUrl(u"/api/glasses/me"_s), {}, auth).status, 200);
        for (int call = 0; call < 2; ++call) {
            const StandIn::Answer answer = standIn.send("GET", QUrl(u"/api/glasses/events"_s), {}, auth);
            QCOMPARE(answer.status, 503);
            QCOMPARE(answer.body, "<html>down</html>");
            QCOMPARE(answer.header("Content-Type"), "text/html");
        }
        QCOMPARE(standIn.send("GET", QUrl(u"/api/glasses/events"_s), {}, auth).status, 200);
    }

    void droppedCallsGetNoAnswer()
    {
        StandIn standIn;
        // The HTTP client resends a request whose connection closed unanswered,
        // so every attempt has to be dropped.
        standIn.control("POST", u"/control/inject"_s, {{u"count"_s, 10}, {u"drop"_s, true}});
        const StandIn::Answer answer = standIn.send("GET", QUrl(u"/mac-app/latest.json"_s));
        QCOMPARE(answer.status, 0);
        QCOMPARE_NE(answer.error, QNetworkReply::NoError);
        const QJsonArray log = standIn.log();
        QVERIFY(!log.isEmpty());
        for (const QJsonValue &call : log)
            QCOMPARE(call[u"status"_s].toInt(), 0);
    }

    void delayedAnswersArriveLate()
    {
        StandIn standIn;
        standIn.control("POST", u"/control/inject"_s, {{u"delayMs"_s, 400}});
        QElapsedTimer clock;
        clock.start();
        const StandIn::Answer answer = standIn.send("GET", QUrl(u"/mac-app/latest.json"_s));
        QVERIFY(clock.elapsed() >= 400);
        QCOMPARE(answer.status, 200);
        QCOMPARE(bodyOf(answer).value(u"version"_s).toString(), u"1.0.0"_s);
    }

    void callLogRecordsApiCallsOnly()
    {
        StandIn standIn;
        const QString token = standIn.issueToken();
        const Session session = startSession(standIn);
        poll(standIn, session);
        standIn.send("GET", QUrl(u"/api/glasses/requests?eventId=102&limit=25"_s), {}, bearer(token));

        const QJsonArray log = standIn.log();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log[0][u"method"_s].toString(), u"POST"_s);
        QCOMPARE(log[0][u"contentType"_s].toString(), u"application/json"_s);
        QCOMPARE(log[0][u"body"_s].toString(), uR"({"redirect":"/glasses.html"})"_s);
        QVERIFY(log[0][u"authorization"_s].isNull());
        QCOMPARE(log[1][u"pollToken"_s].toString(), session.pollToken);
        QCOMPARE(log[2][u"path"_s].toString(), u"/api/glasses/requests"_s);
        QCOMPARE(log[2][u"query"_s].toString(), u"eventId=102&limit=25"_s);
        QCOMPARE(log[2][u"authorization"_s].toString(), u"Bearer "_s + token);
        QCOMPARE(log[2][u"status"_s].toInt(), 200);

        standIn.control("DELETE", u"/control/log"_s);
        QVERIFY(standIn.log().isEmpty());
    }

    void audienceAddsPendingRequests()
    {
        StandIn standIn({u"--audience-interval"_s, u"1"_s});
        const QString token = standIn.issueToken();
        const qint64 before = requestsPage(standIn, token, 1).value(u"totalPending"_s).toInteger();
        QTRY_VERIFY_WITH_TIMEOUT(requestsPage(standIn, token, 1).value(u"totalPending"_s).toInteger() > before,
                                 20'000);
        QCOMPARE(requestsPage(standIn, token, 1)[u"requests"_s][0][u"status"_s].toString(), u"pending"_s);
    }

    void seedDeterminesTokensAndSessions()
    {
        const auto firstValues = [](const QString &seed) {
            StandIn standIn({u"--seed"_s, seed});
            return QStringList{standIn.issueToken(), startSession(standIn).id};
        };
        QCOMPARE(firstValues(u"7"_s), firstValues(u"7"_s));
        QCOMPARE_NE(firstValues(u"7"_s), firstValues(u"8"_s));
    }
};

QTEST_GUILESS_MAIN(TestStandIn)
#include "tst_stand_in.moc"
