#include "TaskHandle.h"
#include "api/Errors.h"
#include "api/GlassesAPIClient.h"
#include "api/Network.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"

#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Runs a call to completion: the description of what it threw, "ok" on success.
template<typename T>
QString outcomeOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const ServiceError &error) {
        return error.description();
    }
    return u"ok"_s;
}

// "METHOD /path?query Authorization|Content-Type|poll-token body", "-" for a missing header.
QString summary(const QJsonValue &call)
{
    QStringList headers;
    for (const QString &name : {u"authorization"_s, u"contentType"_s, u"pollToken"_s})
        headers << call[name].toString(u"-"_s);
    const QString query = call[u"query"_s].toString();
    return (call[u"method"_s].toString() + u' ' + call[u"path"_s].toString() + (query.isEmpty() ? u""_s : u'?' + query)
            + u' ' + headers.join(u'|') + u' ' + call[u"body"_s].toString()).trimmed();
}

} // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { service.emplace(); }
    void cleanupTestCase() { delete Network::accessManager(); }

    void requestsCarryExactlyTheServiceContract()
    {
        const GlassesAPIClient client(u"tök3n"_s, service->url());
        const GlassesAPIClient tokenless(std::nullopt, service->url());
        service->answer(200, R"({"events":[],"requests":[],"totalPending":0,"userId":"u","status":"pending",
                               "sessionId":"s","pollToken":"p","authUrl":"a","expiresAt":"e"})", 8);
        awaitTask(client.events());
        awaitTask(client.requests(42, 25));
        awaitTask(client.me());
        awaitTask(client.updateRequest(-3, RequestAction::rejected));
        awaitTask(client.updateRequest(9223372036854775807, RequestAction::approved));
        QCOMPARE(awaitTask(tokenless.startAuthSession()).sessionId, u"s"_s);
        QCOMPARE(awaitTask(tokenless.pollAuthStatus(u"s 1&x"_s, u"poll-secret"_s)).status, u"pending"_s);
        awaitTask(tokenless.releaseRecord());

        QStringList seen;
        QSet<int> connections;
        for (const QJsonValue &call : service->log()) {
            seen << summary(call);
            connections << call[u"connection"_s].toInt();
        }
        QCOMPARE(seen, (QStringList{
            u"GET /api/glasses/events Bearer tök3n|-|-"_s,
            u"GET /api/glasses/requests?eventId=42&limit=25 Bearer tök3n|-|-"_s,
            u"GET /api/glasses/me Bearer tök3n|-|-"_s,
            uR"(PATCH /api/glasses/requests/-3 Bearer tök3n|application/json|- {"status":"rejected"})"_s,
            uR"(PATCH /api/glasses/requests/9223372036854775807 Bearer tök3n|application/json|- {"status":"approved"})"_s,
            uR"(POST /api/glasses/auth/start -|application/json|- {"redirect":"/glasses.html"})"_s,
            // The session id is percent-encoded as one query value.
            u"GET /api/glasses/auth/status?session=s%201%26x -|-|poll-secret"_s,
            u"GET /mac-app/latest.json -|-|-"_s}));
        // Sequential calls share one connection.
        QCOMPARE(connections.size(), 1);
    }

    void answersMapToOutcomes_data()
    {
        QTest::addColumn<bool>("update"); // updateRequest() rather than events()
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char *name, bool update, int status, const QByteArray &body, const QString &outcome) {
            QTest::newRow(name) << update << status << body << outcome;
        };
        const QByteArray nineMiB(9 << 20, ' ');
        const QString tooLarge = u"The service's answer is too large."_s;
        row("204 to an update", true, 204, {}, u"ok"_s);
        row("204 to events: empty body", false, 204, {}, u"The service sent an unexpected answer (malformed JSON at byte 1)."_s);
        row("200 with an error member", false, 200, R"({"error":"x","events":[]})", u"ok"_s);
        row("8 MiB read", false, 200, R"({"events":[]})" + QByteArray((8 << 20) - 13, ' '), u"ok"_s);
        row("9 MiB", false, 200, R"({"events":[]})" + nineMiB, tooLarge);
        row("9 MiB error body", false, 500, nineMiB, tooLarge);
        row("401 with an error body", false, 401, R"({"error":"Token revoked"})", u"Session expired — please sign in again."_s);
        row("403", false, 403, R"({"events":[]})", u"Request failed (HTTP 403)."_s);
        row("404 with a message", false, 404, R"({"error":"Event \u00227\\\ufeff"})", u"Event \"7\\\uFEFF"_s);
        row("empty message is the message", true, 409, R"({"error":""})", QString());
        row("422 with a numeric member", true, 422, R"({"error":"Bad","field":3})", u"Request failed (HTTP 422)."_s);
        row("500 with HTML", false, 500, "<html><b>oops</b></html>", u"Request failed (HTTP 500)."_s);
    }

    void answersMapToOutcomes()
    {
        QFETCH(bool, update);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        service->answer(status, body);
        const GlassesAPIClient client(u"t"_s, service->url());
        QCOMPARE(update ? outcomeOf(client.updateRequest(1, RequestAction::approved)) : outcomeOf(client.events()),
                 outcome);
    }

    // Without a length, the body is cut off once it passes 8 MiB all the same.
    void streamedBodiesAreCapped()
    {
        service->control("POST", u"/control/inject"_s,
                         {{u"status"_s, 200}, {u"chunked"_s, true}, {u"body"_s, QString(9 << 20, u' ')}});
        QCOMPARE(outcomeOf(GlassesAPIClient({}, service->url()).events()), u"The service's answer is too large."_s);
    }

    void transportFailuresPassThrough()
    {
        QTcpServer silent; // accepts the connection and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        auto handle = TaskHandle::create();
        const GlassesAPIClient client(u"t"_s, QUrl(u"http://127.0.0.1:%1"_s.arg(silent.serverPort())), handle);
        auto call = client.events();
        QVERIFY(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }));
        handle->cancel();
        // Once cancelled, nothing more is sent; a closed port is refused.
        silent.close();
        QCOMPARE(QStringList({outcomeOf(std::move(call)), outcomeOf(client.me()),
                              outcomeOf(GlassesAPIClient({}, client.serviceUrl()).me()),
                              outcomeOf(GlassesAPIClient({}, QUrl(u"http://[::1"_s)).me())}),
                 (QStringList{u"Operation canceled"_s, u"Operation canceled"_s, u"Connection refused"_s,
                              u"Invalid server URL."_s}));
    }

private:
    std::optional<StandIn> service;
};

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"
