// The stand-in service's contract that the other suites build on.

#include "support/StandIn.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QNetworkAccessManager>
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
        QCOMPARE(get(standIn, u"/api/glasses/me"_s, bearer(complete[u"token"_s].toString())).status, 200);

        const Session late = startSession(standIn);
        standIn.control("POST", u"/control/expire-sessions"_s);
        QCOMPARE(poll(standIn, late), QJsonObject({{u"status"_s, u"expired"_s}}));
        QCOMPARE(get(standIn, late.authUrl).status, 410);
    }

    void onlyIssuedTokensAreAccepted()
    {
        StandIn standIn;
        const QString kept = standIn.issueToken(), revoked = standIn.issueToken();
        standIn.control("POST", u"/control/revoke"_s, {{u"token"_s, revoked}});
        const auto events = [&](const Headers &headers) { return get(standIn, u"/api/glasses/events"_s, headers).status; };
        QCOMPARE(events(bearer(kept)), 200);
        QCOMPARE(events(bearer(revoked)), 401);
        QCOMPARE(events(bearer(u"tok_made_up"_s)), 401);
        QCOMPARE(events({}), 401);
        standIn.control("POST", u"/control/revoke"_s);
        QCOMPARE(events(bearer(kept)), 401);
    }

    // Each fault disturbs the next call to its path only; the call after it is served.
    void faults_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QNetworkReply::NetworkError>("error");
        QTest::addColumn<QByteArray>("body"); // null: not compared
        using E = QNetworkReply::NetworkError;
        QTest::newRow("status and body") << QJsonObject{{u"status"_s, 503}, {u"body"_s, u"<html>down</html>"_s},
                                                        {u"contentType"_s, u"text/html"_s}}
                                         << 503 << E::ServiceUnavailableError << "<html>down</html>"_ba;
        QTest::newRow("raw bytes") << QJsonObject{{u"status"_s, 200}, {u"bodyBase64"_s, u"/3siZXZlbnRz"_s}} << 200
                                   << E::NoError << "\xff{\"events"_ba;
        QTest::newRow("delay only") << QJsonObject{{u"delayMs"_s, 300}} << 200 << E::NoError << QByteArray();
        QTest::newRow("reset") << QJsonObject{{u"drop"_s, true}} << 0 << E::RemoteHostClosedError << QByteArray();
        QTest::newRow("cut body") << QJsonObject{{u"truncate"_s, true}} << 200 << E::RemoteHostClosedError
                                  << QByteArray();
        QTest::newRow("redirect loop") << QJsonObject{{u"redirectLoop"_s, true}} << 302 << E::NoError << ""_ba;
    }
    void faults()
    {
        QFETCH(QJsonObject, fault);
        StandIn standIn;
        const Headers auth = bearer(standIn.issueToken());
        const QString events = u"/api/glasses/events"_s;
        fault[u"path"_s] = events;
        standIn.control("POST", u"/control/inject"_s, fault);
        QCOMPARE(get(standIn, u"/api/glasses/me"_s, auth).status, 200);
        QElapsedTimer clock;
        clock.start();
        const StandIn::Answer disturbed = get(standIn, events, auth);
        QVERIFY(clock.elapsed() >= fault[u"delayMs"_s].toInt());
        QTEST(disturbed.status, "status");
        QTEST(disturbed.error, "error");
        QFETCH(QByteArray, body);
        if (!body.isNull())
            QCOMPARE(disturbed.body, body);
        if (disturbed.status == 302)
            QCOMPARE(QUrl(QString::fromUtf8(disturbed.header("Location"))), standIn.url().resolved(QUrl(events)));
        if (disturbed.status == 200 && disturbed.error != QNetworkReply::NoError) // cut after half of the body
            QCOMPARE(disturbed.header("Content-Length").toInt(), get(standIn, events, auth).body.size());
        QCOMPARE(standIn.log()[1][u"status"_s].toInt(), disturbed.status);
        QCOMPARE(get(standIn, events, auth).status, 200);
    }

    void faultsCountAndClear()
    {
        StandIn standIn;
        const auto latest = [&] { return get(standIn, u"/mac-app/latest.json"_s).status; };
        standIn.control("POST", u"/control/inject"_s, {{u"count"_s, 2}, {u"status"_s, 502}});
        QCOMPARE(latest(), 502);
        QCOMPARE(latest(), 502);
        QCOMPARE(latest(), 200);
        standIn.control("POST", u"/control/inject"_s, {{u"count"_s, 60}, {u"redirectLoop"_s, true}});
        QNetworkRequest request(standIn.url().resolved(QUrl(u"/mac-app/latest.json"_s)));
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(request));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->error(), QNetworkReply::TooManyRedirectsError);
        standIn.control("DELETE", u"/control/inject"_s);
        QCOMPARE(latest(), 200);

        for (const char *bad : {"{}", R"({"status":200,"bodyBase64":"!"})", R"({"drop":true,"truncate":true})"})
            QCOMPARE(standIn.send("POST", QUrl(u"/control/inject"_s), bad).status, 400);
    }

    // Unreachable for a while: connections are refused, and kept-alive ones closed.
    void pauseListening()
    {
        StandIn standIn;
        standIn.control("POST", u"/control/pause"_s, {{u"ms"_s, 1500}});
        QTest::qWait(100);
        QCOMPARE(get(standIn, u"/mac-app/latest.json"_s).error, QNetworkReply::ConnectionRefusedError);
        QTRY_COMPARE_WITH_TIMEOUT(get(standIn, u"/mac-app/latest.json"_s).status, 200, 10'000);
    }

    void expiredCertificateFailsTheHandshake()
    {
        const QString data = QStringLiteral(CUELARK_TEST_DATA_DIR);
        StandIn standIn({u"--cert"_s, data + u"/expired-cert.pem"_s, u"--key"_s, data + u"/expired-key.pem"_s});
        const StandIn::Answer answer = get(standIn, u"/mac-app/latest.json"_s);
        QCOMPARE(standIn.url().scheme(), u"https"_s);
        QCOMPARE(answer.error, QNetworkReply::SslHandshakeFailedError);
        QVERIFY(answer.sslErrors.contains(QSslError::CertificateExpired));
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
        QCOMPARE(log[2][u"query"_s].toString() + log[2][u"authorization"_s].toString(),
                 u"eventId=102&limit=25Bearer "_s + token);
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
