#include "Platform.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateNotifier.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;
using OptionalUpdate = std::optional<UpdateAvailable>;

char *toString(const OptionalUpdate &update)
{
    if (!update)
        return qstrdup("nothing");
    return QTest::toString(u"{%1, %2, %3, signed %4, notarized %5}"_s.arg(
        update->version, update->downloadURL.toString(), update->releaseNotes,
        QString::number(update->isSigned), QString::number(update->isNotarized)));
}

namespace {

const QString defaultNotes = u"A new version is available."_s;
const QUrl dmgUrl(u"https://cuelark.example/download/Cuelark-2.0.dmg"_s);
const QDateTime pinnedNow(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);

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

    // The release record's address on a local server; what it answers is set per test.
    QHttpServer server;
    QUrl serviceUrl;
    int answerStatus = 200;
    QByteArray answerBody;
    QByteArray answerLocation;
    QList<QHttpServerRequest::Method> seenMethods;
    QList<QByteArray> seenAuthorization;

    // The fake desktop of the notifier tests.
    std::unique_ptr<QTemporaryDir> settingsDir;
    QDateTime now;
    int pressedButton = 1;
    QList<Alert> alerts;
    QList<QUrl> openedUrls;

    Platform fakePlatform()
    {
        Platform platform;
        platform.now = [this] { return now; };
        platform.runAlert = [this](const Alert &alert) {
            alerts << alert;
            return pressedButton;
        };
        platform.openUrl = [this](const QUrl &url) { openedUrls << url; };
        platform.openSettings = [this] {
            return std::make_unique<QSettings>(settingsDir->filePath(u"settings.ini"_s), QSettings::IniFormat);
        };
        return platform;
    }

    QVariant storedPromptDate() { return fakePlatform().openSettings()->value("lastUpdatePromptDate"); }

private Q_SLOTS:
    void initTestCase()
    {
        const auto answer = [this](const QHttpServerRequest &request) {
            seenMethods << request.method();
            seenAuthorization << request.value("Authorization");
            QHttpServerResponse response("application/json", answerBody,
                                         QHttpServerResponder::StatusCode(answerStatus));
            if (!answerLocation.isEmpty())
                response.setHeader("Location", answerLocation);
            return response;
        };
        server.route(u"/mac-app/latest.json"_s, answer);
        server.route(u"/mirror/latest.json"_s, [](const QHttpServerRequest &) {
            return QHttpServerResponse("application/json", releaseBody());
        });
        const quint16 port = server.listen(QHostAddress::LocalHost, 0);
        QVERIFY(port != 0);
        serviceUrl = QUrl(u"http://127.0.0.1:%1"_s.arg(port));
    }

    void init()
    {
        answerStatus = 200;
        answerLocation.clear();
        seenMethods.clear();
        seenAuthorization.clear();
        settingsDir = std::make_unique<QTemporaryDir>();
        QVERIFY(settingsDir->isValid());
        now = pinnedNow;
        pressedButton = 1;
        alerts.clear();
        openedUrls.clear();
    }

    void evaluateRelease_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("running");
        QTest::addColumn<OptionalUpdate>("expected");

        const OptionalUpdate nothing;
        const QJsonValue removed(QJsonValue::Undefined);
        const QJsonValue null(QJsonValue::Null);

        QTest::newRow("minimal record") << releaseBody() << u"1.0"_s << OptionalUpdate(release(u"2.0"_s));
        QTest::newRow("every key") << releaseBody({{u"build"_s, 42}, {u"signed"_s, true}, {u"notarized"_s, true},
                                                   {u"releaseNotes"_s, u"Faster.\nFewer bugs."_s},
                                                   {u"publishedAt"_s, u"2025-05-30T10:00:00Z"_s}})
                                   << u"1.0"_s
                                   << OptionalUpdate(release(u"2.0"_s, u"Faster.\nFewer bugs."_s, true, true));
        QTest::newRow("nulls are absent") << releaseBody({{u"build"_s, null}, {u"signed"_s, null}, {u"notarized"_s, null},
                                                          {u"releaseNotes"_s, null}, {u"publishedAt"_s, null}})
                                          << u"1.0"_s << OptionalUpdate(release(u"2.0"_s));
        QTest::newRow("empty notes stay empty") << releaseBody({{u"releaseNotes"_s, u""_s}}) << u"1.0"_s
                                                << OptionalUpdate(release(u"2.0"_s, QString()));
        QTest::newRow("signed without notarized") << releaseBody({{u"signed"_s, true}}) << u"1.0"_s
                                                  << OptionalUpdate(release(u"2.0"_s, defaultNotes, true, false));
        QTest::newRow("extra keys ignored") << releaseBody({{u"channel"_s, QJsonObject{{u"beta"_s, 1}}}, {u"Signed"_s, 5}})
                                            << u"1.0"_s << OptionalUpdate(release(u"2.0"_s));
        QTest::newRow("version kept as sent") << releaseBody({{u"version"_s, u"2.0.0-rc1"_s}}) << u"1.9"_s
                                              << OptionalUpdate(release(u"2.0.0-rc1"_s));

        // Records that must not decode, each otherwise a valid newer release.
        const std::pair<const char *, QByteArray> broken[] = {
            {"build as string", releaseBody({{u"build"_s, u"42"_s}})},
            {"fractional build", releaseBody({{u"build"_s, 4.5}})},
            {"version as number", releaseBody({{u"version"_s, 2}})},
            {"version missing", releaseBody({{u"version"_s, removed}})},
            {"version null", releaseBody({{u"version"_s, null}})},
            {"keys are case-sensitive", releaseBody({{u"version"_s, removed}, {u"Version"_s, u"2.0"_s}})},
            {"downloadUrl null", releaseBody({{u"downloadUrl"_s, null}})},
            {"downloadUrl missing", releaseBody({{u"downloadUrl"_s, removed}})},
            {"signed as string", releaseBody({{u"signed"_s, u"true"_s}})},
            {"notarized as number", releaseBody({{u"notarized"_s, 1}})},
            {"notes as array", releaseBody({{u"releaseNotes"_s, QJsonArray{u"x"_s}}})},
            {"publishedAt as number", releaseBody({{u"publishedAt"_s, 1}})},
            {"top-level array", '[' + releaseBody() + ']'},
            {"trailing garbage", releaseBody() + " x"},
            {"not JSON", "<html>Bad gateway</html>"},
            {"empty body", QByteArray()},
        };
        for (const auto &[name, body] : broken)
            QTest::newRow(name) << body << u"1.0"_s << nothing;

        // Version order: only a strictly higher release counts.
        QTest::newRow("same version") << releaseBody() << u"2.0"_s << nothing;
        QTest::newRow("older release") << releaseBody() << u"2.1"_s << nothing;
        QTest::newRow("running version unknown") << releaseBody({{u"version"_s, u"0.0.1"_s}}) << u"0"_s
                                                 << OptionalUpdate(release(u"0.0.1"_s));
        QTest::newRow("release 0, running version unknown") << releaseBody({{u"version"_s, u"0"_s}}) << u"0"_s
                                                             << nothing;

        // The download address goes to the browser: web pages only.
        const QString unsafe[] = {u"file:///etc/passwd"_s, u"javascript:alert(1)"_s, u"cuelark://install"_s,
                                  u"ftp://cuelark.example/a.dmg"_s, u"http://cuelark.example/a.dmg"_s,
                                  u"/download/a.dmg"_s, u"not a url"_s, QString()};
        for (const QString &url : unsafe) {
            QTest::addRow("download address \"%s\"", qPrintable(url))
                << releaseBody({{u"downloadUrl"_s, url}}) << u"1.0"_s << nothing;
        }
        const QUrl loopback(u"http://127.0.0.1:8080/a.dmg"_s);
        QTest::newRow("http to loopback") << releaseBody({{u"downloadUrl"_s, loopback.toString()}}) << u"1.0"_s
                                          << OptionalUpdate(release(u"2.0"_s, defaultNotes, false, false, loopback));
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
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<bool>("found");

        const QByteArray valid = releaseBody();
        QTest::newRow("200 with a newer release") << 200 << valid << QByteArray() << true;
        QTest::newRow("404 with a valid record") << 404 << valid << QByteArray() << false;
        QTest::newRow("500 with a valid record") << 500 << valid << QByteArray() << false;
        QTest::newRow("200 with HTML") << 200 << "<html>maintenance</html>"_ba << QByteArray() << false;
        QTest::newRow("redirect followed") << 302 << QByteArray() << "/mirror/latest.json"_ba << true;
    }

    void checkForUpdate()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, location);
        QFETCH(bool, found);
        answerStatus = status;
        answerBody = body;
        answerLocation = location;

        const OptionalUpdate result = QCoro::waitFor(UpdateChecker::checkForUpdate(serviceUrl, u"1.0"_s));

        QCOMPARE(result, found ? OptionalUpdate(release(u"2.0"_s)) : OptionalUpdate());
        // One plain GET of the release record, without credentials.
        QCOMPARE(seenMethods, QList{QHttpServerRequest::Method::Get});
        QCOMPARE(seenAuthorization, QList{QByteArray()});
    }

    void checkWithNoServer()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QUrl closedPort(u"http://127.0.0.1:%1"_s.arg(probe.serverPort()));
        probe.close();

        QCOMPARE(QCoro::waitFor(UpdateChecker::checkForUpdate(closedPort, u"1.0"_s)), OptionalUpdate());
    }

    void throttle_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<bool>("shown");

        const auto hoursAgo = [](double hours) { return QVariant(pinnedNow.addMSecs(qint64(-hours * 3'600'000))); };

        QTest::newRow("never prompted") << QVariant() << false << true;
        QTest::newRow("23 h ago") << hoursAgo(23) << false << false;
        QTest::newRow("23 h ago, user asked") << hoursAgo(23) << true << true;
        QTest::newRow("1 ms short of a day") << QVariant(pinnedNow.addMSecs(-86'399'999)) << false << false;
        QTest::newRow("exactly a day") << QVariant(pinnedNow.addSecs(-86'400)) << false << true;
        QTest::newRow("in the future") << hoursAgo(-1) << false << false;
        QTest::newRow("in the future, user asked") << hoursAgo(-48) << true << true;
        // Values that are not dates count as no date, even text that reads like one.
        QTest::newRow("date-like text") << QVariant(u"2025-06-01T11:00:00Z"_s) << false << true;
        QTest::newRow("unreadable date") << QVariant(QDateTime()) << false << true;
    }

    void throttle()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, userInitiated);
        QFETCH(bool, shown);
        if (stored.isValid())
            fakePlatform().openSettings()->setValue("lastUpdatePromptDate", stored);

        QCOMPARE(UpdateNotifier::promptIfNeeded(release(u"2.0"_s), userInitiated, fakePlatform()), shown);

        QCOMPARE(alerts.size(), shown ? 1 : 0);
        const QVariant after = storedPromptDate();
        if (shown) {
            QCOMPARE(after.typeId(), QMetaType::QDateTime);
            QCOMPARE(after.toDateTime(), now);
        } else {
            QCOMPARE(after, stored);
        }
    }

    void updateAlertButtons_data()
    {
        QTest::addColumn<int>("pressed");
        QTest::addColumn<QList<QUrl>>("opened");
        QTest::newRow("Download") << 0 << QList{dmgUrl};
        QTest::newRow("Later") << 1 << QList<QUrl>();
        QTest::newRow("dismissed") << -1 << QList<QUrl>();
    }

    void updateAlertButtons()
    {
        QFETCH(int, pressed);
        QFETCH(QList<QUrl>, opened);
        pressedButton = pressed;

        QVERIFY(UpdateNotifier::promptIfNeeded(release(u"2.0.0-rc1"_s), false, fakePlatform()));

        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts[0].title, u"Update available (v2.0.0-rc1)"_s);
        QCOMPARE(alerts[0].buttons, (QStringList{u"Download"_s, u"Later"_s}));
        QCOMPARE(openedUrls, opened);
        // Any answer holds the next automatic alert back for a day.
        QCOMPARE(storedPromptDate().toDateTime(), now);
        now = now.addSecs(86'399);
        QVERIFY(!UpdateNotifier::promptIfNeeded(release(u"2.0.0-rc1"_s), false, fakePlatform()));
        now = now.addSecs(1);
        QVERIFY(UpdateNotifier::promptIfNeeded(release(u"2.0.0-rc1"_s), false, fakePlatform()));
    }

    void updateMessage_data()
    {
        QTest::addColumn<UpdateAvailable>("update");
        QTest::addColumn<QString>("message");

        const QString instructions = u"Download the DMG, quit Cuelark, install the new copy, then reopen the app."_s;
        const QString unsignedNote =
            u"This is an unsigned beta build. macOS may show a warning; if you trust the official Cuelark download, "
            "right-click the app in Applications and choose Open."_s;
        const QString unsignedBody = u"Fixes.\n\n"_s + instructions + u"\n\n"_s + unsignedNote;

        QTest::newRow("signed and notarized")
            << release(u"2.0"_s, u"Fixes."_s, true, true) << u"Fixes.\n\n"_s + instructions;
        QTest::newRow("signed only") << release(u"2.0"_s, u"Fixes."_s, true, false) << unsignedBody;
        QTest::newRow("notarized only") << release(u"2.0"_s, u"Fixes."_s, false, true) << unsignedBody;
        QTest::newRow("neither") << release(u"2.0"_s, u"Fixes."_s) << unsignedBody;
        QTest::newRow("empty notes") << release(u"2.0"_s, QString(), true, true) << u"\n\n"_s + instructions;
        QTest::newRow("notes with their own lines")
            << release(u"2.0"_s, u"- one\n- two"_s, true, true) << u"- one\n- two\n\n"_s + instructions;
    }

    void updateMessage()
    {
        QFETCH(UpdateAvailable, update);
        QFETCH(QString, message);
        QCOMPARE(UpdateNotifier::updateMessage(update), message);
    }

    void upToDateAlert()
    {
        const QDateTime earlier = now.addSecs(-3600);
        fakePlatform().openSettings()->setValue("lastUpdatePromptDate", earlier);

        UpdateNotifier::showUpToDateAlert(fakePlatform());

        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts[0].title, u"You're up to date"_s);
        QCOMPARE(alerts[0].body, u"Cuelark v"_s + AppVersion::shortVersion() + u" is the latest version."_s);
        QCOMPARE(alerts[0].buttons, QStringList{u"OK"_s});
        QCOMPARE(storedPromptDate().toDateTime(), earlier);
    }
};

QTEST_GUILESS_MAIN(TestUpdates)
#include "tst_updates.moc"
