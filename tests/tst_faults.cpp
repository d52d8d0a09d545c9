// Faults of the service and of the network during the refresh cycle: nothing
// crashes, the failure's text is shown over the last good data, and the next
// good cycle recovers without any action from the DJ.

#include "support/ServiceHarness.h"

#include <QSslConfiguration>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QJsonObject on(const QString &path, QJsonObject fault)
{
    fault[u"path"_s] = path;
    return fault;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
    std::unique_ptr<ServiceHarness> h;

private Q_SLOTS:
    void cleanup() { h.reset(); }

    void aFaultyCycleRecoversByItself_data()
    {
        QTest::addColumn<QJsonObject>("fault"); // for /control/inject, or a pause of the service
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
        QTest::newRow("403") << on(requests, status(403, u"{\"error\":\"Not your event\"}"_s)) << u"Not your event"_s;
        QTest::newRow("garbage") << on(events, status(200, u"<html>"_s)) << u"The service sent an unexpected answer"_s;
        QTest::newRow("truncated JSON") << on(requests, status(200, u"{\"requests\":[{\"id\":1,"_s))
                                        << u"The service sent an unexpected answer"_s;
        QTest::newRow("redirect loop") // each redirect is a call of its own; Qt gives up after 50
            << on(events, {{u"redirectLoop"_s, true}, {u"count"_s, 60}}) << u"Too many redirects"_s;
    }
    void aFaultyCycleRecoversByItself()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, text);
        h = std::make_unique<ServiceHarness>();
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
            h->inject(fault);
        else if (!atStart)
            pause();
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        QVERIFY2(app.errorMessage()->startsWith(text), qPrintable(*app.errorMessage()));
        QCOMPARE(app.authState(), AppState::AuthState::signedIn);
        QVERIFY(app.events() == events && app.requests() == requests);
        QVERIFY(waitUntil([&] { return !app.errorMessage(); }));
    }

    // A certificate that fails verification ends the call, whether the app
    // trusts its issuer or not; nothing falls back to an unverified channel.
    void tlsFailuresAreNeverBypassed_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("untrusted issuer") << false;
        QTest::newRow("trusted but expired") << true;
    }
    void tlsFailuresAreNeverBypassed()
    {
        QFETCH(bool, trusted);
        const QString data = QStringLiteral(CUELARK_TEST_DATA_DIR "/expired-");
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
        QVERIFY(failed);
        QVERIFY2(app.errorMessage()->startsWith(u"SSL handshake failed"_s), qPrintable(*app.errorMessage()));
        QVERIFY(app.authState() == AppState::AuthState::signedIn && app.events().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
