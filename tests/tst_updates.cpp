#include "api/Errors.h"
#include "api/Network.h"
#include "support/TestSupport.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateNotifier.h"

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;
using OptionalUpdate = std::optional<UpdateAvailable>;

namespace {

const QString defaultNotes = u"A new version is available."_s;
const QUrl dmgUrl(u"https://cuelark.example/download/Cuelark-2.0.dmg"_s);
const QDateTime now(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
const QByteArray minimalRecord = R"({"version":"2.0","downloadUrl":")" + dmgUrl.toEncoded() + "\"}";

UpdateAvailable release(const QString &notes = defaultNotes, bool isSigned = false, bool isNotarized = false,
                        const QUrl &url = dmgUrl)
{
    return {u"2.0"_s, url, notes, isSigned, isNotarized};
}

// The minimal newer record with `members` added in front: the first of repeated keys loses.
QByteArray record(const QByteArray &members)
{
    return "{" + members + "," + minimalRecord.mid(1);
}

} // namespace

class TestUpdates : public QObject {
    Q_OBJECT

    // The release record on a local server: `answer` at the status set per test;
    // a 302 sends the client to /mirror. Each request is logged with its credentials.
    QHttpServer server;
    QUrl serviceUrl;
    int answerStatus = 200;
    QByteArray answer;
    QList<QByteArray> authorizations;
    std::optional<FakeDesktop> desktop;

private Q_SLOTS:
    void initTestCase()
    {
        server.route(u"/mac-app/latest.json"_s, [this](const QHttpServerRequest &request) {
            authorizations << request.value("Authorization");
            QHttpServerResponse response("application/json", answer, QHttpServerResponder::StatusCode(answerStatus));
            if (answerStatus == 302)
                response.setHeader("Location", "/mirror");
            response.setHeader("Connection", "close"); // no stale repeat after a redirect
            return response;
        });
        server.route(u"/mirror"_s, [this] { return QHttpServerResponse("application/json", answer); });
        serviceUrl = QUrl(u"http://127.0.0.1:%1"_s.arg(server.listen(QHostAddress::LocalHost, 0)));
    }
    void cleanupTestCase() { delete Network::accessManager(); }
    void init()
    {
        authorizations.clear();
        desktop.emplace();
        desktop->clock = now;
    }

    void evaluateRelease_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("running");
        QTest::addColumn<OptionalUpdate>("expected");
        QTest::addColumn<QString>("error"); // empty: no failure

        const auto row = [](const char *name, const QByteArray &body, const OptionalUpdate &expected,
                            const QString &error = {}) { QTest::newRow(name) << body << u"1.0"_s << expected << error; };
        row("minimal record", minimalRecord, release());
        row("every key, and unknown ones",
            record(R"("build":42,"signed":true,"notarized":true,"releaseNotes":"Fast.\n","publishedAt":"x",)"
                   R"("channel":{"beta":1},"Signed":5)"),
            release(u"Fast.\n"_s, true, true));
        row("nulls are absent", record(R"("build":null,"signed":null,"notarized":null,"releaseNotes":null)"),
            release());
        row("empty notes stay empty", record(R"("releaseNotes":"")"), release(QString()));
        row("http to loopback", R"({"version":"2.0","downloadUrl":"http://127.0.0.1:8080/a.dmg"})",
            release(defaultNotes, false, false, QUrl(u"http://127.0.0.1:8080/a.dmg"_s)));
        QTest::newRow("same version") << minimalRecord << u"2.0"_s << OptionalUpdate() << QString();
        // The types hold even where the value is not used, and for an older release.
        QTest::newRow("older, build 4.0") << record(R"("build":4.0)") << u"3"_s << OptionalUpdate()
                                          << u"build: expected a whole number"_s;
        row("signed as string", record(R"("signed":"true")"), {}, u"signed: expected a boolean"_s);
        row("keys are case-sensitive", R"({"Version":"2.0","downloadUrl":"https://a.example/"})", {},
            u"version: missing"_s);
        row("not JSON", "<html>", {}, u"malformed JSON"_s);
        // The download address goes to the browser: web pages only.
        row("download address a file", R"({"version":"2.0","downloadUrl":"file:///etc/passwd"})", {},
            u"downloadUrl: not a web page"_s);
    }

    void evaluateRelease()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, running);
        QFETCH(OptionalUpdate, expected);
        QFETCH(QString, error);
        try {
            QCOMPARE(UpdateChecker::evaluateRelease(body, running), expected);
            QVERIFY(error.isEmpty());
        } catch (const DecodingError &failure) {
            QVERIFY2(!error.isEmpty() && failure.description().contains(error), qPrintable(failure.description()));
        }
    }

    void fetchesTheRecordWithoutCredentials_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // empty: a newer release is found
        QTest::newRow("200 with a newer release") << 200 << minimalRecord << QString();
        QTest::newRow("redirect followed") << 302 << minimalRecord << QString();
        QTest::newRow("404 with a valid record") << 404 << minimalRecord << u"Request failed (HTTP 404)."_s;
        QTest::newRow("500") << 500 << QByteArray() << u"Request failed (HTTP 500)."_s;
        QTest::newRow("garbage") << 200 << "\x89PNG"_ba << u"The service sent an unexpected answer"_s;
        QTest::newRow("no server") << 0 << QByteArray() << u"refused"_s;
        QTest::newRow("9 MiB") << 200 << QByteArray(9 << 20, ' ') << u"The service's answer is too large."_s;
    }

    void fetchesTheRecordWithoutCredentials()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        answerStatus = status;
        answer = body;
        QUrl url = serviceUrl;
        if (status == 0) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            url.setPort(probe.serverPort());
        }
        // The automatic check stays silent; the one the user asked for says why.
        const OptionalUpdate silent = awaitTask(UpdateChecker::checkForUpdate(url, u"1.0"_s));
        QCOMPARE(silent, error.isEmpty() ? OptionalUpdate(release()) : OptionalUpdate());
        try {
            QCOMPARE(awaitTask(UpdateChecker::fetchUpdate(url, u"1.0"_s)), silent);
            QVERIFY(error.isEmpty());
        } catch (const ServiceError &failure) {
            QVERIFY2(!error.isEmpty() && failure.description().contains(error), qPrintable(failure.description()));
        }
        QCOMPARE(authorizations, QList<QByteArray>(status ? 2 : 0, QByteArray()));
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
        QTest::newRow("in the future") << QVariant(now.addSecs(3600)) << false << 1 << false;
        // Values that are not dates count as no date, even text that reads like one.
        QTest::newRow("date-like text") << QVariant(u"2025-06-01T11:00:00Z"_s) << false << 1 << true;
        QTest::newRow("unreadable date") << QVariant(QDateTime()) << false << 1 << true;
    }

    void throttle()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, userInitiated);
        QFETCH(int, pressed);
        QFETCH(bool, shown);
        const Platform platform = desktop->platform();
        if (stored.isValid())
            platform.openSettings()->setValue("lastUpdatePromptDate", stored);
        desktop->alertAnswer = pressed;

        QCOMPARE(UpdateNotifier::promptIfNeeded(release(), userInitiated, platform), shown);

        QCOMPARE(desktop->alerts.size(), shown ? 1 : 0);
        if (shown)
            QCOMPARE(QStringList{desktop->alerts[0].title} + desktop->alerts[0].buttons,
                     (QStringList{u"Update available (v2.0)"_s, u"Download"_s, u"Later"_s}));
        QCOMPARE(desktop->openedUrls, shown && pressed == 0 ? QList{dmgUrl} : QList<QUrl>());
        // Any answer holds the next automatic alert back; no alert leaves the date alone.
        const QVariant after = platform.openSettings()->value("lastUpdatePromptDate");
        QCOMPARE(after.typeId(), shown ? QMetaType::QDateTime : stored.typeId());
        QCOMPARE(after, shown ? QVariant(now) : stored);
    }

    void updateMessage()
    {
        const QString notesAndSteps =
            u"Fixes.\n\nDownload the DMG, quit Cuelark, install the new copy, then reopen the app."_s;
        const QString unsignedMessage = notesAndSteps
            + u"\n\nThis is an unsigned beta build. macOS may show a warning; if you trust the official Cuelark "
              "download, right-click the app in Applications and choose Open."_s;
        QCOMPARE(UpdateNotifier::updateMessage(release(u"Fixes."_s, true, true)), notesAndSteps);
        QCOMPARE(UpdateNotifier::updateMessage(release(u"Fixes."_s, true, false)), unsignedMessage);
        QCOMPARE(UpdateNotifier::updateMessage(release(u"Fixes."_s, false, true)), unsignedMessage);
    }
};

QTEST_GUILESS_MAIN(TestUpdates)
#include "tst_updates.moc"
