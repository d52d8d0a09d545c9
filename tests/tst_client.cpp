#include "TaskHandle.h"
#include "api/Errors.h"
#include "api/GlassesAPIClient.h"
#include "api/Network.h"
#include "support/RecordingServer.h"
#include "support/TestSupport.h"

#include <QNetworkAccessManager>
#include <QProcess>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <qcoro/qcorotask.h>

namespace {

// Runs a client call to completion and returns the description of what it
// threw, or an empty optional when it succeeded.
template<typename T>
std::optional<QString> failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const ServiceError &error) {
        return error.description();
    }
    return std::nullopt;
}

QCoro::Task<> withoutResult(QCoro::Task<EventsResponse> task)
{
    co_await std::move(task);
}

template<typename Error, typename T>
Error errorOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const Error &error) {
        return error;
    }
    qFatal("the call did not throw the expected error");
}

} // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void requestsCarryExactlyTheServiceContract();
    void tokenlessCallsCarryNoAuthorization();
    void statusCodesMapToErrors_data();
    void statusCodesMapToErrors();
    void transportFailuresPassThrough();
    void abortHandleCancelsCallsInFlight();
    void connectionsAreReusedAcrossCalls();
    void tlsWithTrustedAndUntrustedCertificates();
};

void TestClient::requestsCarryExactlyTheServiceContract()
{
    RecordingServer server;
    const GlassesAPIClient client(QStringLiteral("tök3n"), server.url());

    server.answer(200, R"({"events":[]})");
    awaitTask(client.events());
    server.answer(200, R"({"requests":[],"totalPending":0})");
    awaitTask(client.requests(42, 25));
    server.answer(200, R"({"userId":"u"})");
    awaitTask(client.me());
    server.answer(204, {});
    awaitTask(client.updateRequest(7, RequestAction::approved));
    awaitTask(client.updateRequest(-3, RequestAction::rejected));
    awaitTask(client.updateRequest(9223372036854775807, RequestAction::pending));

    QCOMPARE(server.requests.size(), 6);
    const RecordedRequest &events = server.requests[0];
    QCOMPARE(events.method, QByteArray("GET"));
    QCOMPARE(events.path, QStringLiteral("/api/glasses/events"));
    QCOMPARE(events.query, QString());
    QCOMPARE(events.header("Authorization"), QStringLiteral("Bearer tök3n").toUtf8());
    QVERIFY(events.body.isEmpty());
    QVERIFY(!events.hasHeader("Content-Type"));
    QVERIFY(!events.hasHeader("x-glasses-poll-token"));

    QCOMPARE(server.requests[1].path, QStringLiteral("/api/glasses/requests"));
    QCOMPARE(server.requests[1].query, QStringLiteral("eventId=42&limit=25"));
    QCOMPARE(server.requests[2].path, QStringLiteral("/api/glasses/me"));

    const RecordedRequest &approve = server.requests[3];
    QCOMPARE(approve.method, QByteArray("PATCH"));
    QCOMPARE(approve.path, QStringLiteral("/api/glasses/requests/7"));
    QCOMPARE(approve.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(approve.body, QByteArray(R"({"status":"approved"})"));
    QCOMPARE(server.requests[4].path, QStringLiteral("/api/glasses/requests/-3"));
    QCOMPARE(server.requests[4].body, QByteArray(R"({"status":"rejected"})"));
    QCOMPARE(server.requests[5].path, QStringLiteral("/api/glasses/requests/9223372036854775807"));
    QCOMPARE(server.requests[5].body, QByteArray(R"({"status":"pending"})"));
}

void TestClient::tokenlessCallsCarryNoAuthorization()
{
    RecordingServer server;
    const GlassesAPIClient client(std::nullopt, server.url());

    server.answer(200, R"({"sessionId":"s 1&x","pollToken":"p","authUrl":"https://a.test/x","expiresAt":"2026-03-07T20:10:00Z"})");
    const AuthStartResponse session = awaitTask(client.startAuthSession());
    QCOMPARE(session.sessionId, QStringLiteral("s 1&x"));
    server.answer(200, R"({"status":"pending"})");
    const AuthPollResponse poll = awaitTask(client.pollAuthStatus(session.sessionId, QStringLiteral("poll-secret")));
    QCOMPARE(poll.status, QStringLiteral("pending"));
    QVERIFY(!poll.token);

    const RecordedRequest &start = server.requests[0];
    QCOMPARE(start.method, QByteArray("POST"));
    QCOMPARE(start.path, QStringLiteral("/api/glasses/auth/start"));
    QVERIFY(!start.hasHeader("Authorization"));
    QCOMPARE(start.header("Content-Type"), QByteArray("application/json"));
    QVERIFY(start.body == R"({"redirect":"/glasses.html"})" || start.body == R"({"redirect":"\/glasses.html"})");

    const RecordedRequest &status = server.requests[1];
    QCOMPARE(status.method, QByteArray("GET"));
    QCOMPARE(status.path, QStringLiteral("/api/glasses/auth/status"));
    // The session id is percent-encoded as one query value.
    QCOMPARE(status.query, QStringLiteral("session=s%201%26x"));
    QCOMPARE(status.header("x-glasses-poll-token"), QByteArray("poll-secret"));
    QVERIFY(!status.hasHeader("Authorization"));
}

void TestClient::statusCodesMapToErrors_data()
{
    QTest::addColumn<bool>("update"); // updateRequest() rather than events()
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("outcome"); // "ok", "decoding", or the error's description

    const QString ok = QStringLiteral("ok");
    const QString decoding = QStringLiteral("decoding");
    QTest::newRow("204 to an update") << true << 204 << QByteArray() << ok;
    QTest::newRow("200 to an update, any body") << true << 200 << QByteArray("<html>") << ok;
    QTest::newRow("204 to events: empty body") << false << 204 << QByteArray() << decoding;
    QTest::newRow("non-JSON 200") << false << 200 << QByteArray("<html>ok</html>") << decoding;
    QTest::newRow("200 with an error member") << false << 200 << QByteArray(R"({"error":"x","events":[]})") << ok;
    QTest::newRow("401 with an error body") << false << 401 << QByteArray(R"({"error":"Token revoked"})")
                                            << QStringLiteral("Session expired — please sign in again.");
    QTest::newRow("403") << false << 403 << QByteArray(R"({"events":[]})") << QStringLiteral("Request failed (HTTP 403).");
    QTest::newRow("404 with a message") << false << 404 << QByteArray(R"({"error":"Event not found"})")
                                        << QStringLiteral("Event not found");
    QTest::newRow("empty message is the message") << true << 409 << QByteArray(R"({"error":""})") << QString();
    QTest::newRow("422 with a numeric member") << true << 422 << QByteArray(R"({"error":"Bad","field":3})")
                                               << QStringLiteral("Request failed (HTTP 422).");
    QTest::newRow("500 with HTML") << false << 500 << QByteArray("<html><b>oops</b></html>")
                                   << QStringLiteral("Request failed (HTTP 500).");
    QTest::newRow("502 with an array") << false << 502 << QByteArray(R"(["error"])")
                                       << QStringLiteral("Request failed (HTTP 502).");
}

void TestClient::statusCodesMapToErrors()
{
    QFETCH(bool, update);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, outcome);

    RecordingServer server;
    server.answer(status, body);
    const GlassesAPIClient client(QStringLiteral("t"), server.url());
    const auto call = [&] {
        return update ? client.updateRequest(1, RequestAction::approved) : withoutResult(client.events());
    };

    if (outcome == QLatin1String("decoding")) {
        errorOf<DecodingError>(call());
        return;
    }
    const std::optional<QString> failure = failureOf(call());
    if (outcome == QLatin1String("ok")) {
        QCOMPARE(failure, std::nullopt);
        return;
    }
    QCOMPARE(failure, std::optional<QString>(outcome));
    const APIError error = errorOf<APIError>(call());
    QCOMPARE(error.kind() == APIError::Kind::unauthorized, status == 401);
    QCOMPARE(error.statusCode(), status);
}

void TestClient::transportFailuresPassThrough()
{
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    const GlassesAPIClient client(std::nullopt, QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort)));
    const TransportError error = errorOf<TransportError>(client.events());
    QCOMPARE(error.code(), QNetworkReply::ConnectionRefusedError);
    QVERIFY(!error.description().isEmpty());

    const GlassesAPIClient broken(std::nullopt, QUrl(QStringLiteral("http://[::1")));
    QCOMPARE(failureOf(broken.events()).value_or(QString()), QStringLiteral("Invalid server URL."));
}

void TestClient::abortHandleCancelsCallsInFlight()
{
    // A server that accepts the connection and never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    auto handle = TaskHandle::create();
    const GlassesAPIClient client(QStringLiteral("t"), QUrl(QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort())), handle);

    auto call = client.events();
    QVERIFY(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }));
    handle->cancel();
    QVERIFY(errorOf<TransportError>(std::move(call)).isCancellation());
    // Once cancelled, nothing more is sent.
    QVERIFY(errorOf<TransportError>(client.me()).isCancellation());
}

void TestClient::connectionsAreReusedAcrossCalls()
{
    RecordingServer server;
    server.answer(200, R"({"events":[]})");
    const GlassesAPIClient first(QStringLiteral("a"), server.url());
    const GlassesAPIClient second(QStringLiteral("b"), server.url());
    for (int i = 0; i < 3; ++i) {
        awaitTask(first.events());
        awaitTask(second.events());
    }
    QCOMPARE(server.requests.size(), 6);
    QCOMPARE(server.connections, 1);
}

void TestClient::tlsWithTrustedAndUntrustedCertificates()
{
    QTemporaryDir dir;
    const QString certPath = dir.filePath(QStringLiteral("cert.pem"));
    const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), certPath});
    QVERIFY(openssl.waitForFinished(30'000));
    QCOMPARE(openssl.exitCode(), 0);
    QFile certFile(certPath), keyFile(keyPath);
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    const QSslCertificate certificate(&certFile, QSsl::Pem);
    const QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);

    RecordingServer server(certificate, key);
    server.answer(200, R"({"events":[]})");
    const GlassesAPIClient client(QStringLiteral("t"), server.url());

    // Not trusted: the handshake fails and nothing reaches the service.
    const TransportError untrusted = errorOf<TransportError>(client.events());
    QCOMPARE(untrusted.code(), QNetworkReply::SslHandshakeFailedError);
    QCOMPARE(server.requests.size(), 0);

    // A failed handshake stays cached for the host until the cache is cleared.
    Network::accessManager()->clearConnectionCache();
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    const QSslConfiguration original = trusting;
    trusting.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(trusting);
    const auto trustedFailure = failureOf(client.events());
    QSslConfiguration::setDefaultConfiguration(original);
    QCOMPARE(trustedFailure.value_or(QString()), QString());
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(server.requests[0].header("Authorization"), QByteArray("Bearer t"));
}

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"
