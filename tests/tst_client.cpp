// The service client against the stand-in: what each call sends and how each
// answer ends, and the release check built on it.

#include "TaskHandle.h"
#include "api/Errors.h"
#include "api/GlassesAPIClient.h"
#include "api/Network.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateNotifier.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using OptionalUpdate = std::optional<UpdateAvailable>;

namespace {

const QUrl packageUrl(u"https://cuelark.example/cuelark_2.0_amd64.deb"_s);
const QDateTime now(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
const QByteArray newer = R"({"version":"2.0","downloadUrl":"https://cuelark.example/cuelark_2.0_amd64.deb")";

UpdateAvailable release(const QString &notes = u"A new version is available."_s, bool isSigned = false,
                        bool isNotarized = false)
{
    return {u"2.0"_s, packageUrl, notes, isSigned, isNotarized};
}

// The outcome of a release check: the update found, "none", or the failure's description.
QString updateOutcome(const std::function<OptionalUpdate()> &check)
{
    try {
        const OptionalUpdate update = check();
        return update ? update->version + u' ' + update->releaseNotes + u' ' + QString::number(update->isSigned)
                + QString::number(update->isNotarized) : u"none"_s;
    } catch (const ServiceError &error) {
        return error.description();
    }
}

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
        service->answer(status, body);
        const GlassesAPIClient client(u"t"_s, service->url());
        QTEST(update ? outcomeOf(client.updateRequest(1, RequestAction::approved)) : outcomeOf(client.events()), "outcome");
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

    void readsTheReleaseRecord_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char *name, const QByteArray &body, const QString &outcome) {
            QTest::newRow(name) << body << u"1.0"_s << outcome;
        };
        const QString unexpected = u"The service sent an unexpected answer (%1)."_s;
        row("minimal record", newer + "}", u"2.0 A new version is available. 00"_s);
        row("every key, and unknown ones",
            newer + R"(,"build":42,"signed":true,"notarized":true,"releaseNotes":"Fast.","publishedAt":"x","Signed":5})",
            u"2.0 Fast. 11"_s);
        row("nulls are absent", newer + R"(,"build":null,"signed":null,"releaseNotes":null})",
            u"2.0 A new version is available. 00"_s);
        row("empty notes stay empty", newer + R"(,"releaseNotes":""})", u"2.0  00"_s);
        QTest::newRow("same version") << newer + "}" << u"2.0"_s << u"none"_s;
        // The types hold even where the value is not used, and for an older release.
        QTest::newRow("older, build 4.0") << newer + R"(,"build":4.0})" << u"3"_s
                                          << unexpected.arg(u"build: expected a whole number"_s);
        row("signed as string", newer + R"(,"signed":"true"})", unexpected.arg(u"signed: expected a boolean"_s));
        row("keys are case-sensitive", R"({"Version":"2.0","downloadUrl":"x"})", unexpected.arg(u"version: missing"_s));
        // The download address goes to the browser: web pages only.
        row("download address a file", R"({"version":"2.0","downloadUrl":"file:///etc/passwd"})",
            unexpected.arg(u"downloadUrl: not a web page"_s));
    }

    void readsTheReleaseRecord()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, running);
        QTEST(updateOutcome([&] { return UpdateChecker::evaluateRelease(body, running); }), "outcome");
    }

    void fetchesTheRecordWithoutCredentials_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("200 with a newer release") << 200 << newer + "}" << u"2.0 A new version is available. 00"_s;
        QTest::newRow("404 with a valid record") << 404 << newer + "}" << u"Request failed (HTTP 404)."_s;
        QTest::newRow("garbage") << 200 << "\x89PNG"_ba << u"The service sent an unexpected answer (malformed JSON at byte 1)."_s;
        QTest::newRow("no server") << 0 << QByteArray() << u"Connection refused"_s;
        QTest::newRow("9 MiB") << 200 << QByteArray(9 << 20, ' ') << u"The service's answer is too large."_s;
    }

    void fetchesTheRecordWithoutCredentials()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        service->control("DELETE", u"/control/log"_s);
        if (status)
            service->answer(status, body, 2);
        const QUrl url = status ? service->url() : StandIn::refusingUrl();
        // The automatic check stays silent; the one the user asked for says why.
        const QString silent = updateOutcome([&] { return awaitTask(UpdateChecker::checkForUpdate(url, u"1.0"_s)); });
        QCOMPARE(silent, outcome.startsWith(u"2.0") ? outcome : u"none"_s);
        QCOMPARE(updateOutcome([&] { return awaitTask(UpdateChecker::fetchUpdate(url, u"1.0"_s)); }), outcome);
        const QJsonArray calls = service->log();
        QCOMPARE(calls.size(), status ? 2 : 0);
        for (const QJsonValue &call : calls)
            QVERIFY(call[u"authorization"_s].isNull());
    }

    void throttle_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<int>("pressed");
        QTest::addColumn<bool>("shown");
        const QVariant almostADay(now.addMSecs(-86'399'999));
        QTest::newRow("never prompted, Download") << QVariant() << false << 0 << true;
        QTest::newRow("1 ms short of a day") << almostADay << false << 1 << false;
        QTest::newRow("1 ms short of a day, user asked, dismissed") << almostADay << true << -1 << true;
        QTest::newRow("exactly a day, Later") << QVariant(now.addSecs(-86'400)) << false << 1 << true;
        // Values that are not dates count as no date, even text that reads like one.
        QTest::newRow("date-like text") << QVariant(u"2025-06-01T11:00:00Z"_s) << false << 1 << true;
    }

    void throttle()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, userInitiated);
        QFETCH(int, pressed);
        QFETCH(bool, shown);
        FakeDesktop desktop;
        desktop.clock = now;
        desktop.alertAnswer = pressed;
        const Platform platform = desktop.platform();
        if (stored.isValid())
            platform.openSettings()->setValue("lastUpdatePromptDate", stored);

        QCOMPARE(UpdateNotifier::promptIfNeeded(release(), userInitiated, platform), shown);
        QCOMPARE(desktop.alerts.size(), shown ? 1 : 0);
        if (shown)
            QCOMPARE(desktop.alerts[0].title + desktop.alerts[0].buttons.join(u'|'), u"Update available (v2.0)Download|Later"_s);
        QCOMPARE(desktop.openedUrls, shown && pressed == 0 ? QList{packageUrl} : QList<QUrl>());
        // Any answer holds the next automatic alert back; no alert leaves the date alone.
        const QVariant after = platform.openSettings()->value("lastUpdatePromptDate");
        QCOMPARE(after.typeId(), shown ? QMetaType::QDateTime : stored.typeId());
        QCOMPARE(after, shown ? QVariant(now) : stored);
    }

    // The record scripts/release.sh writes, served by the stand-in: a build of
    // the version before offers the release, a build of that version does not.
    void releaseScriptRecord()
    {
        const QString running = AppVersion::shortVersion();
        for (const QString &released : {running + u".1"_s, running}) {
            QTemporaryDir out;
            QProcess script;
            script.start(u"bash"_s, {QStringLiteral(CUELARK_SOURCE_DIR "/scripts/release.sh"), released, u"--record-only"_s,
                                     u"--notes"_s, u"Fixes."_s, u"--download-url"_s, packageUrl.toString(), u"--out"_s, out.path()});
            QVERIFY(script.waitForFinished(20000) && script.exitCode() == 0);
            QFile file(out.filePath(u"latest.json"_s));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray record = file.readAll();
            QCOMPARE(QJsonDocument::fromJson(record).object().keys(),
                     (QStringList{u"build"_s, u"downloadUrl"_s, u"notarized"_s, u"publishedAt"_s, u"releaseNotes"_s,
                                  u"signed"_s, u"version"_s}));
            service->control("POST", u"/control/release"_s, QJsonDocument::fromJson(record).object());
            QCOMPARE(updateOutcome([&] { return awaitTask(UpdateChecker::fetchUpdate(service->url())); }),
                     released == running ? u"none"_s : released + u" Fixes. 00"_s);
        }
    }

    void updateMessage()
    {
        const QString steps = u"Fixes.\n\nDownload the new package, quit Cuelark, install it, then reopen the app."_s;
        QCOMPARE(UpdateNotifier::updateMessage(release(u"Fixes."_s, true, true)), steps);
        QCOMPARE(UpdateNotifier::updateMessage(release(u"Fixes."_s, true, false)),
                 steps + u"\n\nThis is an unsigned beta build. Install it only if it came from the official "
                         "Cuelark download."_s);
    }

private:
    std::optional<StandIn> service;
};

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"
