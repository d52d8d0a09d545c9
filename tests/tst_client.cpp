// What the app sends to the service and how it reads what comes back: the client
// against the stand-in (what each call sends, how each answer ends), the release
// check built on it, and everything read from the service's text: records, dates,
// versions and web addresses. The fuzz targets keep the readers' general rules;
// the tables here pin meanings.

#include "AppVersion.h"
#include "Logging.h"
#include "TaskHandle.h"
#include "WebUrl.h"
#include "api/Errors.h"
#include "api/GlassesAPIClient.h"
#include "api/ISO8601DateParser.h"
#include "api/Models.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateNotifier.h"

#include <QJsonDocument>
#include <QProcess>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>


using namespace Qt::StringLiterals;
using OptionalUpdate = std::optional<UpdateAvailable>;
using OptText = std::optional<QString>;

namespace {

QByteArray eventsBodyWithId(const QByteArray &idLiteral)
{
    return R"({"events":[{"id":)" + idLiteral + R"(,"name":"A","isActive":false,"startDate":"x"}]})";
}

const QDateTime referenceNow = QDateTime(QDate(2026, 3, 7), QTime(20, 0), Qt::UTC);

DJEvent eventStarting(const QString &startDate, OptText endDate = std::nullopt, bool isActive = false)
{
    return DJEvent{1, u"Friday Set"_s, isActive, startDate, std::move(endDate)};
}

const QUrl packageUrl(u"https://cuelark.example/cuelark_2.0_amd64.deb"_s);
const QDateTime now(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
const QByteArray newer = R"({"version":"2.0","downloadUrl":"https://cuelark.example/cuelark_2.0_amd64.deb")";

UpdateAvailable release(const QString &notes = u"A new version is available."_s, bool isSigned = false,
                        bool isVetted = false)
{
    return {u"2.0"_s, packageUrl, notes, isSigned, isVetted};
}

// The outcome of a release check: the update found, "none", or the failure's description.
QString updateOutcome(const std::function<OptionalUpdate()> &check)
{
    try {
        const OptionalUpdate update = check();
        return update ? update->version + u' ' + update->releaseNotes + u' ' + QString::number(update->isSigned)
                + QString::number(update->isVetted) : u"none"_s;
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

// The calls that may meet a redirect or a captive portal: each one's path, and
// its outcome through a client with a bearer token (which the sign-in calls and
// the release record leave out, as the app does).
const QMap<QString, QString> callPaths{
    {u"start"_s, u"/api/glasses/auth/start"_s},   {u"poll"_s, u"/api/glasses/auth/status"_s},
    {u"me"_s, u"/api/glasses/me"_s},               {u"events"_s, u"/api/glasses/events"_s},
    {u"requests"_s, u"/api/glasses/requests"_s},   {u"approve"_s, u"/api/glasses/requests/7"_s},
    {u"release"_s, u"/mac-app/latest.json"_s}};

QString outcomeOfCall(const QString &call, const QUrl &service)
{
    const GlassesAPIClient signedIn = testClient(u"secret-token"_s, service);
    const GlassesAPIClient tokenless = testClient(std::nullopt, service);
    if (call == u"start")
        return outcomeOf(tokenless.startAuthSession());
    if (call == u"poll")
        return outcomeOf(tokenless.pollAuthStatus(u"s"_s, u"poll-secret"_s));
    if (call == u"me")
        return outcomeOf(signedIn.me());
    if (call == u"events")
        return outcomeOf(signedIn.events());
    if (call == u"requests")
        return outcomeOf(signedIn.requests(1, 25));
    if (call == u"approve")
        return outcomeOf(signedIn.updateRequest(7, RequestAction::approved));
    return outcomeOf(tokenless.releaseRecord());
}

} // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        service.emplace();
        QSslConfiguration trusting = originalTls;
        trusting.addCaCertificates(QStringLiteral(CUELARK_TEST_DATA_DIR "/loopback-cert.pem"));
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    void cleanupTestCase()
    {
        QSslConfiguration::setDefaultConfiguration(originalTls);
    }

    void requestsCarryExactlyTheServiceContract()
    {
        const GlassesAPIClient client = testClient(u"tök3n"_s, service->url());
        const GlassesAPIClient tokenless = testClient(std::nullopt, service->url());
        service->answerNext(200, R"({"events":[],"requests":[],"totalPending":0,"userId":"u","status":"pending",
                                   "sessionId":"s","pollToken":"p","authUrl":"a","expiresAt":"e"})", 8);
        awaitTask(client.events());
        awaitTask(client.requests(42, 25));
        awaitTask(client.me());
        awaitTask(client.updateRequest(-3, RequestAction::rejected));
        awaitTask(client.updateRequest(9223372036854775807, RequestAction::approved));
        QCOMPARE(awaitTask(tokenless.startAuthSession()).sessionId, u"s"_s);
        QCOMPARE(awaitTask(tokenless.pollAuthStatus(u"s 1&x"_s, u"poll-secret"_s)).status, u"pending"_s);
        awaitTask(tokenless.releaseRecord());

        QCOMPARE(service->calls(StandIn::withQuery | StandIn::withHeaders | StandIn::withBody), (QStringList{
            u"GET /api/glasses/events Bearer tök3n|-|-"_s,
            u"GET /api/glasses/requests?eventId=42&limit=25 Bearer tök3n|-|-"_s,
            u"GET /api/glasses/me Bearer tök3n|-|-"_s,
            uR"(PATCH /api/glasses/requests/-3 Bearer tök3n|application/json|- {"status":"rejected"})"_s,
            uR"(PATCH /api/glasses/requests/9223372036854775807 Bearer tök3n|application/json|- {"status":"approved"})"_s,
            uR"(POST /api/glasses/auth/start -|application/json|- {"redirect":"/glasses.html"})"_s,
            // The session id is percent-encoded as one query value.
            u"GET /api/glasses/auth/status?session=s%201%26x -|-|poll-secret"_s,
            u"GET /mac-app/latest.json -|-|-"_s}));
        // The client names itself, not a browser.
        for (const QJsonValue &call : service->log())
            QCOMPARE(call[u"userAgent"_s].toString(), u"Cuelark/"_s + AppVersion::shortVersion());
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
        service->answerNext(status, body);
        const GlassesAPIClient client = testClient(u"t"_s, service->url());
        QTEST(update ? outcomeOf(client.updateRequest(1, RequestAction::approved)) : outcomeOf(client.events()), "outcome");
    }

    // Without a length, the body is cut off once it passes 8 MiB all the same.
    void streamedBodiesAreCapped()
    {
        service->inject({{u"status"_s, 200}, {u"chunked"_s, true}, {u"body"_s, QString(9 << 20, u' ')}});
        QCOMPARE(outcomeOf(testClient(std::nullopt, service->url()).events()), u"The service's answer is too large."_s);
    }

    // A refresh's answer that is byte for byte the last one of its kind yields the
    // very record decoded before, as often as it comes; any other answer is decoded
    // (and judged) afresh, whatever came between.
    void repeatedAnswersAreDecodedOnce()
    {
        const GlassesAPIClient client = testClient(u"t"_s, service->url());
        const QByteArray first = eventsBodyWithId("7"), second = eventsBodyWithId("8");
        const QByteArray requests = R"({"requests":[{"id":1,"status":"pending","songTitle":"S","artistName":"A","createdAt":""}],"totalPending":1})";
        const auto events = [&](const QByteArray &body) {
            service->answerNext(200, body);
            return awaitTask(client.events()).events;
        };
        const QList<DJEvent> decoded = events(first);
        QCOMPARE(decoded.size(), 1);
        for (int repeat = 0; repeat < 3; ++repeat) {
            const QList<DJEvent> again = events(first);
            QCOMPARE(again, decoded);
            QVERIFY(again.isSharedWith(decoded));
            service->answerNext(200, requests);
            QCOMPARE(awaitTask(client.requests(7, 25)).requests.size(), 1);
        }
        service->answerNext(200, first + "x");
        QVERIFY(outcomeOf(client.events()).contains(u"malformed JSON"_s));
        QCOMPARE(events(first), decoded);
        QCOMPARE(events(second).at(0).id, 8);
    }

    void transportFailuresPassThrough()
    {
        QTcpServer silent; // accepts the connection and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        auto handle = TaskHandle::create();
        const GlassesAPIClient client = testClient(u"t"_s, QUrl(u"http://127.0.0.1:%1"_s.arg(silent.serverPort())), handle);
        auto call = client.events();
        QVERIFY(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }));
        handle->cancel();
        // Once cancelled, nothing more is sent; a closed port is refused.
        silent.close();
        QCOMPARE(QStringList({outcomeOf(std::move(call)), outcomeOf(client.me()),
                              outcomeOf(testClient(std::nullopt, client.serviceUrl()).me()),
                              outcomeOf(testClient(std::nullopt, QUrl(u"http://[::1"_s)).me())}),
                 (QStringList{u"Operation canceled"_s, u"Operation canceled"_s, u"Connection refused"_s,
                              u"Invalid server URL."_s}));
    }

    // A redirect never carries a token, a poll token or an answer of the DJ to
    // another origin (scheme, host, port): the call ends with a clear text, once,
    // and nothing reaches the other side. The public release record may move on,
    // but not from https to http.
    void credentialsStayWithTheirOrigin_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("target"); // "other host" (127.0.0.2), "other port", "same origin", "https to http"
        QTest::addColumn<QStringList>("received"); // by the target, beyond the call redirected
        QTest::addColumn<QString>("outcome");
        const QString stopped = u"The service sent Cuelark on to another site (%1). The call was stopped and nothing was sent there."_s;
        const QString otherHost = stopped.arg(u"127.0.0.2"_s), loopback = stopped.arg(u"127.0.0.1"_s);
        for (const int status : {301, 302, 303, 307, 308})
            QTest::addRow("events, %d to another host", status) << u"events"_s << status << u"other host"_s << QStringList() << otherHost;
        QTest::newRow("events, another port") << u"events"_s << 302 << u"other port"_s << QStringList() << loopback;
        QTest::newRow("events, https to http") << u"events"_s << 302 << u"https to http"_s << QStringList() << otherHost;
        QTest::newRow("approve, 307 elsewhere") << u"approve"_s << 307 << u"other host"_s << QStringList() << otherHost;
        QTest::newRow("approve, 308 elsewhere") << u"approve"_s << 308 << u"other port"_s << QStringList() << loopback;
        QTest::newRow("sign-in start, 307") << u"start"_s << 307 << u"other host"_s << QStringList() << otherHost;
        QTest::newRow("sign-in poll") << u"poll"_s << 302 << u"other host"_s << QStringList() << otherHost;
        // Within the origin a redirect is followed.
        QTest::newRow("events, same origin") << u"events"_s << 302 << u"same origin"_s
                                             << QStringList{u"GET /api/glasses/events Bearer secret-token|-|-"_s} << u"ok"_s;
        QTest::newRow("release record, another host") << u"release"_s << 302 << u"other host"_s
                                                      << QStringList{u"GET /mac-app/latest.json -|-|-"_s} << u"ok"_s;
        QTest::newRow("release record, https to http") << u"release"_s << 302 << u"https to http"_s << QStringList()
                                                       << otherHost;
    }

    void credentialsStayWithTheirOrigin()
    {
        QFETCH(QString, call);
        QFETCH(int, status);
        QFETCH(QString, target);
        if (!secureService) {
            secureService.emplace(QStringList{u"--cert"_s, QStringLiteral(CUELARK_TEST_DATA_DIR "/loopback-cert.pem"),
                                              u"--key"_s, QStringLiteral(CUELARK_TEST_DATA_DIR "/loopback-key.pem")});
            otherHost.emplace(QStringList{u"--host"_s, u"127.0.0.2"_s});
            otherPort.emplace();
        }
        StandIn &from = target == u"https to http" ? *secureService : *service;
        StandIn &to = target == u"same origin" ? from : target == u"other port" ? *otherPort : *otherHost;
        for (StandIn *each : {&*service, &*secureService, &*otherHost, &*otherPort})
            each->clearCalls();
        const QString path = callPaths[call];
        from.inject({{u"path"_s, path}, {u"status"_s, status},
                     {u"location"_s, to.url().toString() + path + (call == u"poll" ? u"?session=s"_s : QString())}});
        // Qt at times sends a call again on a new connection when it follows a redirect.
        if (&to == &from)
            from.answerNext(200, R"({"events":[]})", 2, path);

        QFETCH(QString, outcome);
        QCOMPARE(outcomeOfCall(call, from.url()), outcome);
        QStringList received = to.calls(StandIn::withQuery | StandIn::withHeaders | StandIn::withBody);
        if (&to == &from) // the first call is the one redirected
            received.removeFirst();
        if (outcome == u"ok")
            received.removeDuplicates();
        else
            QCOMPARE(from.calls().size(), 1); // no retry
        QTEST(received, "received");
        from.control("DELETE", u"/control/inject"_s);
    }

    // A captive portal answers every call with its sign-in page, or with 511.
    // That page is never read as the DJ's data, nor taken for a sign-out, nor
    // for a request answered.
    void webPagesInsteadOfTheService_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("type");
        const QByteArray page = "\n <!DOCTYPE html><html><title>Venue Wi-Fi</title>Accept the terms</html>";
        for (auto call = callPaths.keyBegin(); call != callPaths.keyEnd(); ++call)
            QTest::addRow("%s", qPrintable(*call)) << *call << 200 << page << u"text/html"_s;
        QTest::newRow("events, labelled JSON") << u"events"_s << 200 << "\xEF\xBB\xBF<html>{}</html>"_ba << u"application/json"_s;
        QTest::newRow("approve, 511") << u"approve"_s << 511 << QByteArray() << u"text/html"_s;
    }

    void webPagesInsteadOfTheService()
    {
        QFETCH(QString, call);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, type);
        service->inject({{u"status"_s, status}, {u"bodyBase64"_s, QString::fromLatin1(body.toBase64())}, {u"contentType"_s, type}});
        QCOMPARE(outcomeOfCall(call, service->url()),
                 u"The network answered with a web page instead of the service. If it asks you to sign in or "
                 "accept terms, open any page in your browser first."_s);
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
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("200 with a newer release") << 200 << newer + "}" << u"2.0 A new version is available. 00"_s;
        QTest::newRow("404 with a valid record") << 404 << newer + "}" << u"Request failed (HTTP 404)."_s;
        QTest::newRow("garbage") << 200 << "\x89PNG"_ba << u"The service sent an unexpected answer (malformed JSON at byte 1)."_s;
        QTest::newRow("9 MiB") << 200 << QByteArray(9 << 20, ' ') << u"The service's answer is too large."_s;
    }

    void fetchesTheRecordWithoutCredentials()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        service->clearCalls();
        service->answerNext(status, body);
        const GlassesAPIClient client = testClient(std::nullopt, service->url());
        QCOMPARE(updateOutcome([&] { return awaitTask(UpdateChecker::fetchUpdate(client, u"1.0"_s)); }), outcome);
        QCOMPARE(service->calls(StandIn::withHeaders), QStringList{u"GET /mac-app/latest.json -|-|-"_s});
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

        const auto openPage = [&](const QUrl &page) { platform.openUrl(page, [] {}); };
        UpdateNotifier::offer({TaskHandle::create(), lcUpdates}, release(), userInitiated, platform, openPage);
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
            QCOMPARE(updateOutcome([&] { return awaitTask(UpdateChecker::fetchUpdate(testClient(std::nullopt, service->url()))); }),
                     released == running ? u"none"_s : released + u" Fixes. 00"_s);
        }
    }

    // The notes, how to install, and a warning unless the release is both signed and vetted.
    void unvettedReleasesAreFlagged()
    {
        const QString message = u"Fixes.\n\nDownload the new package, quit Cuelark, install it, then reopen the app."_s;
        const QString warning = u"\n\nThis is an unsigned beta build. Install it only if it came from the official Cuelark download."_s;
        QCOMPARE(UpdateNotifier::updateMessage(release(u"Fixes."_s, true, true)), message);
        for (const auto &[isSigned, isVetted] : {std::pair{true, false}, {false, true}, {false, false}})
            QCOMPARE(UpdateNotifier::updateMessage(release(u"Fixes."_s, isSigned, isVetted)), message + warning);
    }

    void decodesRecordsVerbatim()
    {
        // Texts are kept as sent, escapes resolved, a leading U+FEFF (raw or escaped)
        // included; unknown members are ignored, even numbers no integer can hold.
        const EventsResponse events = Models::decodeEvents(R"({"extra":[1e300,123456789012345678901234567890],
            "events":[{"id":7,"name":"\u0022Set\u0022 \u00e9 \ud83c\udfb5 \/","isActive":true,
             "startDate":"\ufeff2026-03-07T20:00:00Z","endDate":"not a date","rating":4.5},)"
            "{\"id\":8,\"name\":\"\xEF\xBB\xBF\",\"isActive\":false,\"startDate\":\" 2026 \",\"endDate\":null}]}");
        QCOMPARE(events.events, (QList<DJEvent>{{7, u"\"Set\" \u00e9 \U0001F3B5 /"_s, true,
                                                 u"\uFEFF2026-03-07T20:00:00Z"_s, u"not a date"_s},
                                                {8, u"\uFEFF"_s, false, u" 2026 "_s, std::nullopt}}));
        QCOMPARE(Models::decodeRequests(R"({"totalPending":3,"requests":[{"id":2,"status":"Pending ","songTitle":"",
            "artistName":"","createdAt":""}]})").requests, (QList<SongRequest>{{2, u"Pending "_s, {}, {}, {}}}));
        QCOMPARE(Models::decodeMe(R"({"userId":"first","userId":"last","name":null})").userId, u"last"_s);
        // The same in an object of many names (looked up through an index).
        QByteArray many = R"({"userId":"first","name":null)";
        for (int i = 0; i < 100; ++i)
            many += ",\"n" + QByteArray::number(i) + "\":" + QByteArray::number(i);
        const MeResponse me = Models::decodeMe(many + R"(,"userId":"last","name":"DJ"})");
        QCOMPARE(me.userId + u'|' + me.name.value_or(QString()), u"last|DJ"_s);
        QCOMPARE(Models::decodeAuthPoll(R"({"status":"complete","token":""})").token, OptText(QString()));

        // Ids stay exact over the whole 64-bit range, beyond what a double holds.
        for (const qint64 id : {qint64(9007199254740993), std::numeric_limits<qint64>::min(),
                                std::numeric_limits<qint64>::max()})
            QCOMPARE(Models::decodeEvents(eventsBodyWithId(QByteArray::number(id))).events.at(0).id, id);
        // Nesting up to 256 levels (the body's object the first) reads; deeper is refused below.
        const QByteArray deep = QByteArray(255, '[') + QByteArray(255, ']');
        QCOMPARE(Models::decodeMe(R"({"userId":"u","x":)" + deep + "}").userId, u"u"_s);
    }

    void rejectsBrokenBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("detail");
        const auto row = [](const char *name, const QByteArray &body, const char *detail) {
            QTest::newRow(name) << body << QString::fromLatin1(detail);
        };
        const QByteArray first = R"({"id":1,"name":"A","isActive":false,"startDate":"x"})";
        const auto second = [&](const QByteArray &members) {
            return R"({"events":[)" + first + R"(,{"id":2,"name":"B",)" + members + "}]}";
        };
        // Syntax, even in members nobody reads.
        row("empty body", {}, "malformed JSON");
        row("top-level array", "[]", "expected a JSON object");
        row("trailing garbage", R"({"events":[]} x)", "malformed JSON");
        row("lone surrogate", R"({"s":"\ud83c"})", "malformed JSON");
        row("invalid UTF-8", "{\"s\":\"\xC3\x28\"}", "malformed JSON");
        row("number beyond a double", R"({"n":1e400})", "number out of range");
        row("hostile nesting", "{\"x\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}",
            "nested too deeply");
        row("257 levels", "{\"x\":" + QByteArray(256, '[') + QByteArray(256, ']') + "}", "nested too deeply");
        row("U+FEFF before a key", R"({"\ufeffevents":[]})", "events: missing");
        // Required members and types; one bad element fails the whole list.
        row("element not an object", R"({"events":[)" + first + ",1]}", "events[1]: expected an object");
        row("isActive missing", second(R"("startDate":"x")"), "events[1].isActive: missing");
        row("isActive a number", second(R"("isActive":1,"startDate":"x")"), "events[1].isActive: expected a boolean");
        row("endDate a number", second(R"("isActive":true,"startDate":"x","endDate":0)"), "events[1].endDate: expected a string");
        row("id a string", eventsBodyWithId(R"("5")"), "events[0].id: expected a whole number");
        row("id 5.0", eventsBodyWithId("5.0"), "events[0].id: expected a whole number");
        row("id just above int64", eventsBodyWithId("9223372036854775808"), "events[0].id: number out of range");
        row("id just below int64", eventsBodyWithId("-9223372036854775809"), "events[0].id: number out of range");
    }

    void rejectsBrokenBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, detail);
        try {
            Models::decodeEvents(body);
            QFAIL("decoded a body that breaks the rules");
        } catch (const DecodingError &error) {
            const QString text = error.description();
            QVERIFY2(text.startsWith(u"The service sent an unexpected answer ("_s + detail), qPrintable(text));
        }
    }

    void decidesLiveness_data()
    {
        QTest::addColumn<DJEvent>("event");
        QTest::addColumn<bool>("live");
        const auto at = [](qint64 seconds) { return referenceNow.addSecs(seconds).toString(Qt::ISODate); };
        constexpr qint64 hour = 3600;
        QTest::newRow("active with empty start") << eventStarting({}, {}, true) << true;
        QTest::newRow("started exactly 12h ago") << eventStarting(at(-12 * hour)) << true;
        QTest::newRow("started 12h and 1s ago") << eventStarting(at(-12 * hour - 1)) << false;
        QTest::newRow("ends now, started days ago") << eventStarting(at(-72 * hour), at(0)) << true;
        QTest::newRow("ended a second ago") << eventStarting(at(-hour), at(-1)) << false;
        QTest::newRow("unparseable end, past 12h") << eventStarting(at(-13 * hour), u"soon"_s) << false;
    }

    void decidesLiveness()
    {
        QFETCH(DJEvent, event);
        QTEST(event.isLive(referenceNow), "live");
    }

    void parsesInternetDateTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: refused
        const auto utc = [](int h, int m, int s, int ms = 0) {
            return QDateTime(QDate(2026, 3, 7), QTime(h, m, s, ms), Qt::UTC);
        };
        const QDateTime refused;
        QTest::newRow("fraction Z") << u"2026-03-07T20:00:00.25Z"_s << utc(20, 0, 0, 250);
        QTest::newRow("microseconds cut, not rounded") << u"2026-03-07T20:00:59.999999Z"_s << utc(20, 0, 59, 999);
        QTest::newRow("negative offset crosses the day") << u"2026-03-06T23:00:00-21:00"_s << utc(20, 0, 0);
        QTest::newRow("no zone (would be local time)") << u"2026-03-07T20:00:00"_s << refused;
        QTest::newRow("space for T") << u"2026-03-07 20:00:00Z"_s << refused;
        QTest::newRow("compact offset") << u"2026-03-07T20:00:00+0100"_s << refused;
        QTest::newRow("February 29, common year") << u"2026-02-29T20:00:00Z"_s << refused;
        QTest::newRow("offset hour 24") << u"2026-03-07T20:00:00+24:00"_s << refused;
        QTest::newRow("trailing newline") << u"2026-03-07T20:00:00Z\n"_s << refused;
        QTest::newRow("Arabic-Indic digits") << u"\u0662\u0660\u0662\u0666-03-07T20:00:00Z"_s << refused;
    }

    void parsesInternetDateTimes()
    {
        QFETCH(QString, text);
        QTEST(ISO8601DateParser::parse(text).value_or(QDateTime()), "expected");
    }

    void comparesVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        // Missing pieces, and pieces that are not a signed 64-bit number, count as 0.
        QTest::newRow("missing piece is 0") << u"1.2"_s << u"1.2.0"_s << 0;
        QTest::newRow("numbers, not text") << u"1.10"_s << u"1.9"_s << 1;
        QTest::newRow("suffix makes the piece 0") << u"1.2.3-beta"_s << u"1.2.3"_s << -1;
        QTest::newRow("empty equals 0, dots dropped") << u"..0."_s << u"0"_s << 0;
        QTest::newRow("plus sign allowed") << u"1.+2"_s << u"1.2"_s << 0;
        QTest::newRow("int64 maximum kept") << u"9223372036854775807"_s << u"9223372036854775806"_s << 1;
        QTest::newRow("int64 minimum kept") << u"-9223372036854775808"_s << u"-9223372036854775807"_s << -1;
        QTest::newRow("just beyond int64 is 0") << u"9223372036854775808"_s << u"0"_s << 0;
        QTest::newRow("non-ASCII digit is 0") << u"1.\u0662"_s << u"1.2"_s << -1;
    }

    void comparesVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(AppVersion::compare(a, b), "expected");
    }

    void acceptsOnlyWebUrls_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << u"https://cuelark.app/glasses/sign-in?session=a1"_s << true;
        QTest::newRow("http to 127.0.0.1") << u"http://127.0.0.1:8080/auth"_s << true;
        QTest::newRow("http to localhost") << u"http://localhost:3000/"_s << true;
        QTest::newRow("http elsewhere") << u"http://cuelark.app/"_s << false;
        QTest::newRow("host that starts like loopback") << u"http://127.0.0.1.evil.example/"_s << false;
        QTest::newRow("user-info before another host") << u"http://127.0.0.1@evil.example/"_s << false;
        QTest::newRow("file") << u"file:///etc/passwd"_s << false;
        QTest::newRow("bad percent escape") << u"https://cuelark.app/%zz"_s << false;
    }

    void acceptsOnlyWebUrls()
    {
        QFETCH(QString, text);
        QTEST(parseWebUrl(text).has_value(), "accepted");
    }

private:
    std::optional<StandIn> service;
    // For redirects: the service over TLS (its certificate trusted here), and
    // other origins that record whatever reaches them.
    std::optional<StandIn> secureService, otherHost, otherPort;
    const QSslConfiguration originalTls = QSslConfiguration::defaultConfiguration();
};

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"
