#include "api/Network.h"
#include "support/TestSupport.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateNotifier.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;
using OptionalUpdate = std::optional<UpdateAvailable>;

namespace {

const QString defaultNotes = u"A new version is available."_s;
const QUrl dmgUrl(u"https://cuelark.example/download/Cuelark-2.0.dmg"_s);
const QDateTime now(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);

UpdateAvailable release(const QString &version, const QString &notes = defaultNotes, bool isSigned = false,
                        bool isNotarized = false, const QUrl &url = dmgUrl)
{
    return {version, url, notes, isSigned, isNotarized};
}

// A valid release record of version 2.0 with `changes` applied; an undefined
// value removes its key.
QByteArray releaseBody(std::initializer_list<std::pair<QString, QJsonValue>> changes = {})
{
    QJsonObject record{{u"version"_s, u"2.0"_s}, {u"downloadUrl"_s, dmgUrl.toString()}};
    for (const auto &[key, value] : changes)
        record.insert(key, value);
    return QJsonDocument(record).toJson(QJsonDocument::Compact);
}

} // namespace

class TestUpdates : public QObject {
    Q_OBJECT

    // The release record's address on a local server, answering with the status
    // and Location set per test; each request is logged as "GET <Authorization>".
    QHttpServer server;
    QUrl serviceUrl;
    int answerStatus = 200;
    QByteArray answerLocation;
    QList<QByteArray> seenRequests;

    std::optional<FakeDesktop> desktop;

    QVariant storedPromptDate() { return desktop->platform().openSettings()->value("lastUpdatePromptDate"); }

private Q_SLOTS:
    void initTestCase()
    {
        server.route(u"/mac-app/latest.json"_s, [this](const QHttpServerRequest &request) {
            const bool isGet = request.method() == QHttpServerRequest::Method::Get;
            seenRequests << (isGet ? "GET "_ba : "other "_ba) + request.value("Authorization");
            if (answerLocation.isEmpty())
                return QHttpServerResponse("application/json", releaseBody(),
                                           QHttpServerResponder::StatusCode(answerStatus));
            // Without "close", Qt's client now and then sends the first request again
            // on the kept-alive connection after following the redirect.
            QHttpServerResponse response{QHttpServerResponder::StatusCode(answerStatus)};
            response.setHeader("Location", answerLocation);
            response.setHeader("Connection", "close");
            return response;
        });
        server.route(u"/mirror/latest.json"_s, [] { return QHttpServerResponse("application/json", releaseBody()); });
        const quint16 port = server.listen(QHostAddress::LocalHost, 0);
        QVERIFY(port != 0);
        serviceUrl = QUrl(u"http://127.0.0.1:%1"_s.arg(port));
    }

    // Closes the client's connections while the application still exists: left to
    // the application's own teardown, its network thread may crash the exit.
    void cleanupTestCase() { delete Network::accessManager(); }

    void init()
    {
        seenRequests.clear();
        desktop.emplace();
        QVERIFY(desktop->settingsDir.isValid());
        desktop->clock = now;
    }

    void evaluateRelease_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("running");
        QTest::addColumn<OptionalUpdate>("expected");

        const OptionalUpdate nothing;
        const QJsonValue null(QJsonValue::Null);
        const auto row = [](const char *name, const QByteArray &body, const OptionalUpdate &expected) {
            QTest::newRow(name) << body << u"1.0"_s << expected;
        };

        row("minimal record", releaseBody(), release(u"2.0"_s));
        row("every key, and unknown ones",
            releaseBody({{u"build"_s, 42}, {u"signed"_s, true}, {u"notarized"_s, true},
                         {u"releaseNotes"_s, u"Faster.\nFewer bugs."_s}, {u"publishedAt"_s, u"2025-05-30T10:00:00Z"_s},
                         {u"channel"_s, QJsonObject{{u"beta"_s, 1}}}, {u"Signed"_s, 5}}),
            release(u"2.0"_s, u"Faster.\nFewer bugs."_s, true, true));
        row("nulls are absent",
            releaseBody({{u"build"_s, null}, {u"signed"_s, null}, {u"notarized"_s, null}, {u"releaseNotes"_s, null},
                         {u"publishedAt"_s, null}}),
            release(u"2.0"_s));
        row("empty notes stay empty", releaseBody({{u"releaseNotes"_s, u""_s}}), release(u"2.0"_s, QString()));

        // Records that must not decode, each otherwise a valid newer release.
        row("fractional build", releaseBody({{u"build"_s, 4.5}}), nothing);
        row("signed as string", releaseBody({{u"signed"_s, u"true"_s}}), nothing);
        row("notes as array", releaseBody({{u"releaseNotes"_s, QJsonArray{u"x"_s}}}), nothing);
        row("keys are case-sensitive",
            releaseBody({{u"version"_s, QJsonValue(QJsonValue::Undefined)}, {u"Version"_s, u"2.0"_s}}), nothing);

        // The download address goes to the browser: web pages only.
        for (const QString &url : {u"file:///etc/passwd"_s, u"javascript:alert(1)"_s, u"http://cuelark.example/"_s})
            row(qPrintable(u"download address "_s + url), releaseBody({{u"downloadUrl"_s, url}}), nothing);
        const QUrl loopback(u"http://127.0.0.1:8080/a.dmg"_s);
        row("http to loopback", releaseBody({{u"downloadUrl"_s, loopback.toString()}}),
            release(u"2.0"_s, defaultNotes, false, false, loopback));

        // Only a strictly higher release counts.
        QTest::newRow("same version") << releaseBody() << u"2.0"_s << nothing;
    }

    void evaluateRelease()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, running);
        QFETCH(OptionalUpdate, expected);
        QCOMPARE(UpdateChecker::evaluateRelease(body, running), expected);
    }

    void checkForUpdate_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<bool>("found");
        QTest::newRow("200 with a newer release") << 200 << QByteArray() << true;
        QTest::newRow("404 with a valid record") << 404 << QByteArray() << false;
        QTest::newRow("300 with a valid record") << 300 << QByteArray() << false;
        QTest::newRow("redirect followed") << 302 << "/mirror/latest.json"_ba << true;
        QTest::newRow("no server") << 0 << QByteArray() << false;
    }

    void checkForUpdate()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, location);
        QFETCH(bool, found);
        answerStatus = status;
        answerLocation = location;
        QUrl url = serviceUrl;
        if (status == 0) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            url.setPort(probe.serverPort());
        }

        const OptionalUpdate result = QCoro::waitFor(UpdateChecker::checkForUpdate(url, u"1.0"_s));

        QCOMPARE(result, found ? OptionalUpdate(release(u"2.0"_s)) : OptionalUpdate());
        // One plain GET of the release record, without credentials.
        QCOMPARE(seenRequests, status == 0 ? QList<QByteArray>() : QList{"GET "_ba});
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

        QCOMPARE(UpdateNotifier::promptIfNeeded(release(u"2.0.0-rc1"_s), userInitiated, platform), shown);

        QCOMPARE(desktop->alerts.size(), shown ? 1 : 0);
        if (shown) {
            const Alert &alert = desktop->alerts[0];
            QCOMPARE(QStringList{alert.title} + alert.buttons,
                     (QStringList{u"Update available (v2.0.0-rc1)"_s, u"Download"_s, u"Later"_s}));
        }
        QCOMPARE(desktop->openedUrls, shown && pressed == 0 ? QList{dmgUrl} : QList<QUrl>());
        // Any answer holds the next automatic alert back; no alert leaves the date alone.
        QCOMPARE(storedPromptDate().typeId(), shown ? QMetaType::QDateTime : stored.typeId());
        QCOMPARE(storedPromptDate(), shown ? QVariant(now) : stored);
    }

    void updateMessage()
    {
        const QString notesAndSteps =
            u"Fixes.\n\nDownload the DMG, quit Cuelark, install the new copy, then reopen the app."_s;
        const QString unsignedMessage = notesAndSteps
            + u"\n\nThis is an unsigned beta build. macOS may show a warning; if you trust the official Cuelark "
              "download, right-click the app in Applications and choose Open."_s;
        QCOMPARE(UpdateNotifier::updateMessage(release(u"2.0"_s, u"Fixes."_s, true, true)), notesAndSteps);
        QCOMPARE(UpdateNotifier::updateMessage(release(u"2.0"_s, u"Fixes."_s, true, false)), unsignedMessage);
        QCOMPARE(UpdateNotifier::updateMessage(release(u"2.0"_s, u"Fixes."_s, false, true)), unsignedMessage);
    }

    void upToDateAlert()
    {
        // Not an update prompt: it leaves the daily throttle alone.
        const QDateTime earlier = now.addSecs(-3600);
        desktop->platform().openSettings()->setValue("lastUpdatePromptDate", earlier);

        UpdateNotifier::showUpToDateAlert(desktop->platform());

        QCOMPARE(desktop->alerts.size(), 1);
        const Alert &alert = desktop->alerts[0];
        QCOMPARE(QStringList({alert.title, alert.body}) + alert.buttons,
                 (QStringList{u"You're up to date"_s,
                              u"Cuelark v"_s + AppVersion::shortVersion() + u" is the latest version."_s, u"OK"_s}));
        QCOMPARE(storedPromptDate(), QVariant(earlier));
    }
};

QTEST_GUILESS_MAIN(TestUpdates)
#include "tst_updates.moc"
