#include "TaskHandle.h"
#include "api/Errors.h"
#include "api/GlassesAPIClient.h"
#include "api/Network.h"
#include "support/RecordingServer.h"
#include "support/TestSupport.h"

#include <QNetworkAccessManager>
#include <QProcess>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Runs a client call to completion: the error it threw, or nothing on success.
template<typename Error, typename T>
std::optional<Error> failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const Error &error) {
        return error;
    }
    return std::nullopt;
}

template<typename T>
std::optional<QString> describedFailureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const ServiceError &error) {
        return error.description();
    }
    return std::nullopt;
}

template<typename T>
QCoro::Task<> withoutResult(QCoro::Task<T> task)
{
    co_await std::move(task);
}

// "METHOD /path?query Authorization|Content-Type|poll-token body", "-" for a missing header.
QString summary(const RecordedRequest &request)
{
    QByteArrayList headers;
    for (const QByteArray &name : {"Authorization"_ba, "Content-Type"_ba, "x-glasses-poll-token"_ba})
        headers << (request.hasHeader(name) ? request.header(name) : "-"_ba);
    const QByteArray query = request.query.isEmpty() ? QByteArray() : '?' + request.query.toUtf8();
    return QString::fromUtf8(request.method + ' ' + request.path.toUtf8() + query + ' ' + headers.join('|') + ' '
                             + request.body).trimmed();
}

} // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanupTestCase() { delete Network::accessManager(); }

    void requestsCarryExactlyTheServiceContract()
    {
        RecordingServer server;
        const GlassesAPIClient client(u"tök3n"_s, server.url());
        const GlassesAPIClient tokenless(std::nullopt, server.url());
        server.answer(200, R"({"events":[],"requests":[],"totalPending":0,"userId":"u","status":"pending",
                               "sessionId":"s","pollToken":"p","authUrl":"a","expiresAt":"e"})");
        awaitTask(client.events());
        awaitTask(client.requests(42, 25));
        awaitTask(client.me());
        awaitTask(client.updateRequest(-3, RequestAction::rejected));
        awaitTask(client.updateRequest(9223372036854775807, RequestAction::approved));
        QCOMPARE(awaitTask(tokenless.startAuthSession()).sessionId, u"s"_s);
        QCOMPARE(awaitTask(tokenless.pollAuthStatus(u"s 1&x"_s, u"poll-secret"_s)).status, u"pending"_s);
        awaitTask(tokenless.releaseRecord());

        QStringList seen;
        for (const RecordedRequest &request : std::as_const(server.requests))
            seen << summary(request);
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
    }

    void statusCodesMapToErrors_data()
    {
        QTest::addColumn<bool>("update"); // updateRequest() rather than events()
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome"); // "ok", "decoding", or the error's description

        const QString ok = u"ok"_s;
        const QString decoding = u"decoding"_s;
        QTest::newRow("204 to an update") << true << 204 << QByteArray() << ok;
        QTest::newRow("200 to an update, any body") << true << 200 << "<html>"_ba << ok;
        QTest::newRow("204 to events: empty body") << false << 204 << QByteArray() << decoding;
        QTest::newRow("200 with an error member") << false << 200 << R"({"error":"x","events":[]})"_ba << ok;
        QTest::newRow("401 with an error body") << false << 401 << R"({"error":"Token revoked"})"_ba
                                                << u"Session expired — please sign in again."_s;
        QTest::newRow("403") << false << 403 << R"({"events":[]})"_ba << u"Request failed (HTTP 403)."_s;
        QTest::newRow("404 with a message") << false << 404 << R"({"error":"Event \u00227\\\ufeff"})"_ba
                                            << u"Event \"7\\\uFEFF"_s;
        QTest::newRow("empty message is the message") << true << 409 << R"({"error":""})"_ba << QString();
        QTest::newRow("422 with a numeric member") << true << 422 << R"({"error":"Bad","field":3})"_ba
                                                   << u"Request failed (HTTP 422)."_s;
        QTest::newRow("500 with HTML") << false << 500 << "<html><b>oops</b></html>"_ba
                                       << u"Request failed (HTTP 500)."_s;
        QTest::newRow("502 with an array") << false << 502 << R"(["error"])"_ba << u"Request failed (HTTP 502)."_s;
    }

    void statusCodesMapToErrors()
    {
        QFETCH(bool, update);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);

        RecordingServer server;
        server.answer(status, body);
        const GlassesAPIClient client(u"t"_s, server.url());
        const auto call = [&] {
            return update ? client.updateRequest(1, RequestAction::approved) : withoutResult(client.events());
        };
        if (outcome == u"decoding") {
            QVERIFY(failureOf<DecodingError>(call()));
        } else if (outcome == u"ok") {
            QCOMPARE(describedFailureOf(call()), std::nullopt);
        } else {
            const std::optional<APIError> error = failureOf<APIError>(call());
            QVERIFY(error);
            QCOMPARE(error->description(), outcome);
            QCOMPARE(error->kind() == APIError::Kind::unauthorized, status == 401);
            QCOMPARE(error->statusCode(), status);
        }
    }

    // Answers beyond 8 MiB end the call, whether announced or streamed without a length.
    void bodiesAreCapped_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<bool>("tooLarge");
        QTest::newRow("8 MiB read") << 200 << (8 << 20) << true << false;
        QTest::newRow("9 MiB announced") << 200 << (9 << 20) << true << true;
        QTest::newRow("9 MiB error body") << 500 << (9 << 20) << true << true;
        QTest::newRow("9 MiB streamed") << 200 << (9 << 20) << false << true;
    }

    void bodiesAreCapped()
    {
        QFETCH(int, status);
        QFETCH(int, size);
        QFETCH(bool, announced);
        QFETCH(bool, tooLarge);
        QByteArray body = R"({"events":[]})";
        body.resize(size, ' ');

        RecordingServer server;
        server.answer(status, body);
        // Without a length: one chunk of the whole body.
        QTcpServer streaming;
        QVERIFY(streaming.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&streaming, &QTcpServer::newConnection, [&] {
            streaming.nextPendingConnection()->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                     + QByteArray::number(size, 16) + "\r\n" + body + "\r\n0\r\n\r\n");
        });
        const QUrl url = announced ? server.url() : QUrl(u"http://127.0.0.1:%1"_s.arg(streaming.serverPort()));

        const std::optional<TransportError> error = failureOf<TransportError>(GlassesAPIClient({}, url).events());
        QCOMPARE(error ? error->description() : u"none"_s, tooLarge ? u"The service's answer is too large."_s : u"none"_s);
        QVERIFY(!error || !error->isCancellation());
    }

    void transportFailuresPassThrough()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QUrl closed(u"http://127.0.0.1:%1"_s.arg(probe.serverPort()));
        probe.close();
        const std::optional<TransportError> refused = failureOf<TransportError>(GlassesAPIClient({}, closed).events());
        QCOMPARE(refused ? refused->code() : QNetworkReply::NoError, QNetworkReply::ConnectionRefusedError);

        const GlassesAPIClient broken(std::nullopt, QUrl(u"http://[::1"_s));
        QCOMPARE(describedFailureOf(broken.events()), u"Invalid server URL."_s);
    }

    void abortHandleCancelsCallsInFlight()
    {
        // A server that accepts the connection and never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        auto handle = TaskHandle::create();
        const GlassesAPIClient client(u"t"_s, QUrl(u"http://127.0.0.1:%1"_s.arg(silent.serverPort())), handle);

        auto call = client.events();
        QVERIFY(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }));
        handle->cancel();
        QVERIFY(failureOf<TransportError>(std::move(call))->isCancellation());
        // Once cancelled, nothing more is sent.
        QVERIFY(failureOf<TransportError>(client.me())->isCancellation());
    }

    void connectionsAreReusedAcrossCalls()
    {
        RecordingServer server;
        server.answer(200, R"({"events":[]})");
        for (int i = 0; i < 3; ++i) {
            awaitTask(GlassesAPIClient(u"a"_s, server.url()).events());
            awaitTask(GlassesAPIClient(u"b"_s, server.url()).events());
        }
        QCOMPARE(server.requests.size(), 6);
        QCOMPARE(server.connections, 1);
    }

    void tlsWithTrustedAndUntrustedCertificates()
    {
        QTemporaryDir dir;
        const QString certPath = dir.filePath(u"cert.pem"_s);
        const QString keyPath = dir.filePath(u"key.pem"_s);
        QProcess openssl;
        openssl.start(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s,
                                     u"2"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-addext"_s,
                                     u"subjectAltName=IP:127.0.0.1"_s, u"-keyout"_s, keyPath, u"-out"_s, certPath});
        QVERIFY(openssl.waitForFinished(30'000) && openssl.exitCode() == 0);
        QFile certFile(certPath), keyFile(keyPath);
        QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
        const QSslCertificate certificate(&certFile, QSsl::Pem);

        RecordingServer server(certificate, QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem));
        server.answer(200, R"({"events":[]})");
        const GlassesAPIClient client(u"t"_s, server.url());

        // Not trusted: the handshake fails and nothing reaches the service.
        QCOMPARE(failureOf<TransportError>(client.events())->code(), QNetworkReply::SslHandshakeFailedError);
        QCOMPARE(server.requests.size(), 0);

        // A failed handshake stays cached for the host until the cache is cleared.
        Network::accessManager()->clearConnectionCache();
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        const QSslConfiguration original = trusting;
        trusting.addCaCertificate(certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
        const std::optional<QString> failure = describedFailureOf(client.events());
        QSslConfiguration::setDefaultConfiguration(original);
        QCOMPARE(failure, std::nullopt);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests[0].header("Authorization"), "Bearer t"_ba);
    }
};

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"
