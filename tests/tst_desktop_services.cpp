// The freedesktop desktop's services, built by the application's composition
// root, on a private session bus (scripts/with-session.sh).
//
// Notifications: a fake server owns org.freedesktop.Notifications from a second
// connection of this process (a third plays an impostor): real round trips.
// Actions go through AppState and the stand-in.
//
// Sleep and the network: a fake logind and NetworkManager on the private system
// bus (support/FakeSystemServices).
//
// The token store: a real gnome-keyring. Some cases run this binary again as a
// child process: a second run of the program, or one with an unusable secret store.

#include "AppConfig.h"
#include "app/DesktopServices.h"
#include "desktop/Autostart.h"
#include "desktop/SingleInstance.h"
#include "desktop/Sway.h"
#include "support/FakeSystemServices.h"
#include "support/ServiceHarness.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QThread>
#include <QTest>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <atomic>
#include <cstdio>

using namespace Qt::StringLiterals;
using Token = std::optional<QString>;
const QString path = u"/org/freedesktop/Notifications"_s, interface = u"org.freedesktop.Notifications"_s;

struct Posted { uint replacesId = 0, id = 0; QString body; QStringList actions; QVariantMap hints; };

class FakeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities;
    QList<Posted> received;
    QSet<uint> shown; // ids on screen
    uint nextId = 100;
    int capabilityReads = 0;
public Q_SLOTS:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        received.append({replacesId, replacesId != 0 ? replacesId : nextId++, body, actions, hints});
        return *shown.insert(received.last().id);
    }
    void CloseNotification(uint id) { shown.remove(id); }
    QStringList GetCapabilities() { return ++capabilityReads, capabilities; }
};

// kwalletd, answering from a thread of its own while this process waits for a child.
class FakeKWallet : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWallet")
public:
    QStringList existing;
    std::atomic<int> asked = 0, opened = 0;
public Q_SLOTS:
    QString networkWallet() { return ++asked, u"kdewallet"_s; }
    QStringList wallets() { return existing; }
    int open(const QString &, qlonglong, const QString &) { return ++opened, -1; } // refused, as a locked wallet
};

SongRequest song(qint64 id, QString title, QString by = u"Artist"_s) { return {id, u"pending"_s, title, by, {}}; }

namespace {

constexpr char childFlag[] = "--as-child";

Token loadNow(const Platform &platform)
{
    return QCoro::waitFor(platform.loadToken()).token;
}

// What a second run of the program printed, or "failed".
QByteArray runChild(const QStringList &arguments, const QString &busAddress = {}, const QStringList &variables = {})
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!busAddress.isEmpty())
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, busAddress);
    for (const QString &variable : variables)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList{QString::fromLatin1(childFlag)} + arguments);
    const bool ok = child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    return ok ? child.readAllStandardOutput().trimmed() : "failed";
}

// The second run: prints what it loads, or saves or clears and quits at once.
int childMain(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    DesktopServices services;
    const Platform platform = services.platform();
    const QString command = app.arguments().value(2);
    if (command == "load"_L1) {
        const StoredToken loaded = QCoro::waitFor(platform.loadToken());
        std::fputs(loaded.unreadable ? "unreadable" : loaded.token ? ("present:" + loaded.token->toUtf8()).constData() : "absent", stdout);
        return 0;
    }
    if (command == "save"_L1)
        platform.saveToken(app.arguments().value(3), {});
    else
        platform.clearToken();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}

} // namespace

class DesktopServicesTest : public QObject {
    Q_OBJECT
    QDBusConnection m_server{QString()}, m_impostor{QString()};
    FakeServer m_fake;
    std::unique_ptr<FakeSystemServices> m_system;
    DesktopServices m_services;
    const Platform m_platform = m_services.platform();

    Token loadNow() const { return ::loadNow(m_platform); }

    // What `send` posts, once its answer has been handled too (a later round trip on
    // the same connection is answered after it); id 0 if nothing arrived.
    Posted posted(const std::function<void()> &send, FakeServer *server = nullptr)
    {
        const QList<Posted> &received = (server ? server : &m_fake)->received;
        const qsizetype before = received.size();
        send();
        if (!waitUntil([&] { return received.size() > before; }, 30000))
            return {};
        QDBusPendingCallWatcher pong(QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(interface, path, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s)));
        return waitUntil([&] { return pong.isFinished(); }, 30000) ? received.last() : Posted{};
    }
    Posted post(const SongRequest &request, FakeServer *server = nullptr)
    {
        return posted([&] { m_platform.notifyNewRequest(requestNotification(request)); }, server);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CUELARK_TEST_SESSION"))
            QSKIP("needs a private desktop session: run under scripts/with-session.sh");
        m_server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-server"_s);
        m_impostor = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"impostor"_s);
        QVERIFY(m_server.registerObject(path, &m_fake, QDBusConnection::ExportAllSlots));
        QVERIFY(m_server.registerService(interface));
        m_system = std::make_unique<FakeSystemServices>();
        QVERIFY(m_system->isRegistered());
    }
    void cleanupTestCase() { m_system.reset(); }

    void init()
    {
        m_platform.clearToken();
        QVERIFY(!loadNow());
    }

    // Issued without waiting, then loaded at once: the load sees what the queued
    // jobs leave behind, in issue order.
    void operationSequences_data()
    {
        QTest::addColumn<QStringList>("operations"); // "clear" or "save:<token>"
        QTest::addColumn<Token>("expected");
        QTest::newRow("second save replaces") << QStringList{u"save:alpha"_s, u"save:beta"_s} << Token(u"beta"_s);
        QTest::newRow("save, clear") << QStringList{u"save:alpha"_s, u"clear"_s} << Token();
        QTest::newRow("save, clear, save") << QStringList{u"save:a"_s, u"clear"_s, u"save:b"_s} << Token(u"b"_s);
        QTest::newRow("non-ASCII") << QStringList{u"save:DJ Ñandú — 🎵 日本"_s} << Token(u"DJ Ñandú — 🎵 日本"_s);
        QTest::newRow("empty token is present") << QStringList{u"save:"_s} << Token(QString());
    }
    void operationSequences()
    {
        QFETCH(QStringList, operations);
        for (const QString &operation : operations)
            operation == "clear"_L1 ? m_platform.clearToken() : m_platform.saveToken(operation.mid(5), {});
        QTEST(loadNow(), "expected");
    }

    // Bytes written to the item directly: anything but valid UTF-8 is no token.
    void loadDecodesStoredBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Token>("expected");
        QTest::newRow("UTF-8, byte-order mark kept") << "\xEF\xBB\xBF" "caf\xC3\xA9"_ba << Token(u"\uFEFFcafé"_s);
        QTest::newRow("Latin-1 byte") << "caf\xE9"_ba << Token();
        QTest::newRow("truncated sequence at end") << "tok\xC3"_ba << Token();
        QTest::newRow("overlong encoding") << "\xC0\xAF"_ba << Token();
        QTest::newRow("encoded surrogate") << "\xED\xA0\x80"_ba << Token();
    }
    void loadDecodesStoredBytes()
    {
        QFETCH(QByteArray, bytes);
        QKeychain::WritePasswordJob job(QString::fromLatin1(AppConfig::appId));
        job.setAutoDelete(false);
        job.setKey(u"glasses-bearer-token"_s);
        job.setBinaryData(bytes);
        QSignalSpy finished(&job, &QKeychain::Job::finished);
        job.start();
        QVERIFY(finished.wait(30000));
        QCOMPARE(job.error(), QKeychain::NoError);
        QTEST(loadNow(), "expected");
    }

    // A second run that quits right after issuing its job (as after sign-out and
    // Quit): the job still reaches the keyring. With no bus, or a bus that never
    // answers (a secret store waiting on an unlock prompt), load gives up and
    // reports the store unreadable, not "no token", instead of blocking start-up.
    void otherRuns()
    {
        QCOMPARE(runChild({u"save"_s, u"from-child-é"_s}), QByteArray());
        QCOMPARE(loadNow(), Token(u"from-child-é"_s));
        QCOMPARE(runChild({u"load"_s}), "present:from-child-é"_ba);
        QCOMPARE(runChild({u"load"_s}, u"disabled:"_s), "unreadable"_ba);
        QTemporaryDir socketDir;
        QLocalServer silentBus;
        QVERIFY(silentBus.listen(socketDir.filePath(u"bus"_s)));
        QCOMPARE(runChild({u"load"_s}, u"unix:path="_s + silentBus.fullServerName()), "unreadable"_ba);
        QCOMPARE(runChild({u"clear"_s}), QByteArray());
        QCOMPARE(runChild({u"load"_s}), "absent"_ba);
    }

    // On Plasma the token lives in KWallet. A DJ who has no wallet yet starts
    // signed out without one being opened (opening it would start KWallet's
    // wizard); an existing wallet is read as always, and a locked one that
    // refuses makes the store unreadable. Elsewhere KWallet is never asked.
    void kwalletFirstRun_data()
    {
        QTest::addColumn<QStringList>("wallets");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QByteArray>("loaded");
        QTest::addColumn<int>("opened");
        QTest::newRow("no wallet yet") << QStringList() << u"KDE"_s << "absent"_ba << 0;
        QTest::newRow("another wallet only") << QStringList{u"other"_s} << u"KDE"_s << "absent"_ba << 0;
        QTest::newRow("wallet exists, refuses") << QStringList{u"other"_s, u"kdewallet"_s} << u"KDE"_s << "unreadable"_ba << 1;
        QTest::newRow("not Plasma") << QStringList() << u"GNOME"_s << "absent"_ba << 0;
    }
    void kwalletFirstRun()
    {
        QFETCH(QString, desktop);
        QFETCH(int, opened);
        FakeKWallet kwallet;
        QFETCH(QStringList, wallets);
        kwallet.existing = wallets;
        QThread thread;
        kwallet.moveToThread(&thread);
        thread.start();
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-kwallet"_s);
        const auto stop = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(u"fake-kwallet"_s);
            thread.quit();
            thread.wait();
        });
        QVERIFY(bus.registerObject(u"/modules/kwalletd5"_s, &kwallet, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.kde.kwalletd5"_s));
        QTEST(runChild({u"load"_s}, {}, {u"XDG_CURRENT_DESKTOP="_s + desktop, u"KDE_SESSION_VERSION=5"_s}), "loaded");
        QCOMPARE(kwallet.opened.load(), opened);
        QCOMPARE(kwallet.asked.load() > 0, desktop == "KDE"_L1);
    }

    // A sounding notification per request; posted again, it replaces its own, others stack.
    void notifiesOncePerRequest()
    {
        const Posted first = post(song(10, u"Blue Monday"_s, u"New Order"_s)), other = post(song(11, u"C"_s));
        QCOMPARE(first.body, u"Blue Monday New Order"_s);
        QCOMPARE(first.hints.value(u"sound-name"_s).toString(), u"message-new-instant"_s);
        QCOMPARE(first.hints.value(u"desktop-entry"_s).toString(), QString::fromLatin1(AppConfig::appId));
        QCOMPARE_NE(other.id, first.id);
        const QList<uint> replaced{first.replacesId, other.replacesId, post(song(10, u"Blue Monday"_s)).replacesId};
        QCOMPARE(replaced, (QList<uint>{0, 0, first.id}));
    }

    // Audience text is shown as typed on one line, never as markup, whatever the server renders.
    void audienceTextShownLiterally_data()
    {
        QTest::addColumn<std::optional<QStringList>>("capabilities"); // absent: never answered
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expectedBody");
        const QString markup = u"<b>Rock &amp; Roll</b>"_s, escaped = u"&lt;b&gt;Rock &amp;amp; Roll&lt;/b&gt; Artist"_s;
        const QStringList plain{u"body"_s, u"sound"_s};
        QTest::newRow("unknown server") << std::optional<QStringList>() << markup << escaped;
        QTest::newRow("markup server") << std::optional(QStringList{u"body"_s, u"body-markup"_s}) << markup << escaped;
        QTest::newRow("plain server") << std::optional(plain) << markup << markup + u" Artist"_s;
        QTest::newRow("controls, overrides") << std::optional(plain) << u"a\nb\u0007\u202Ec\u202C"_s << u"a b\uFFFDc Artist"_s;
    }
    void audienceTextShownLiterally()
    {
        QFETCH(std::optional<QStringList>, capabilities);
        // Without a server neither call waits; the query's failure leaves the capabilities unknown.
        m_server.unregisterService(interface);
        m_platform.notifyNewRequest(requestNotification(song(1, u"Lost"_s)));
        awaitTask(m_platform.readNotificationCapabilities());
        QVERIFY(m_server.registerService(interface));
        if (capabilities)
            m_fake.capabilities = *capabilities, awaitTask(m_platform.readNotificationCapabilities());
        QFETCH(QString, title);
        QTEST(post(song(30, title)).body, "expectedBody");
    }

    // A new request's notification through the application state, then its fate.
    void lifecycle_data()
    {
        QTest::addColumn<bool>("actions"); // the server lists "actions"
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("patch"); // the status sent once, or none
        QTest::addColumn<bool>("stays");   // the notification is still shown
        QTest::newRow("plain server") << false << QString() << QString() << true;
        QTest::newRow("Approve") << true << u"approve"_s << u"approved"_s << false;
        QTest::newRow("Reject") << true << u"reject"_s << u"rejected"_s << false;
        QTest::newRow("click: panel opens") << true << u"default"_s << QString() << true;
        QTest::newRow("impostor's signal") << true << u"impostor"_s << QString() << true;
        QTest::newRow("not our notification") << true << u"other id"_s << QString() << true;
        QTest::newRow("approved on the web") << true << u"web"_s << u"approved"_s << false;
        QTest::newRow("signed out") << true << u"sign out"_s << QString() << false;
        QTest::newRow("event changed") << true << u"event"_s << QString() << false;
    }
    void lifecycle()
    {
        QFETCH(bool, actions);
        QFETCH(QString, then);
        QFETCH(QString, patch);
        QFETCH(bool, stays);
        ServiceHarness h;
        m_fake.capabilities = actions ? QStringList{u"actions"_s} : QStringList{};
        // The real services, but for the pause between cycles (long, so that the
        // test drives every cycle) and the alerts (no GUI here).
        Platform platform = m_services.platform();
        platform.wait = h.desktop.platform(1000).wait;
        platform.showAlert = [](Alert) -> QCoro::Task<int> { co_return -1; };
        const QString token = h.service->issueToken();
        m_platform.saveToken(token, {});
        AppState &app = *(h.state = std::make_unique<AppState>(std::move(platform), h.service->url()));
        QSignalSpy panel(&app, &AppState::panelRequested);
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        const qint64 request = h.addRequest(u"Blue Monday"_s, *app.selectedEventId());
        const Posted note = posted([&] { QVERIFY(refreshed(app)); });
        QVERIFY(note.id != 0);
        const QStringList offered{u"default"_s, u"Open Cuelark"_s, u"approve"_s, u"Approve"_s, u"reject"_s, u"Reject"_s};
        QCOMPARE(note.actions, actions ? offered : QStringList());
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, u"ActionInvoked"_s);
        signal << (then == u"other id" ? note.id + 1000 : note.id)
               << (then.contains(u' ') || then == u"impostor" ? u"approve"_s : then);
        if (then == u"web") {
            awaitTask(testClient(token, h.service->url()).updateRequest(request, RequestAction::approved));
            QVERIFY(refreshed(app));
        } else if (then == u"sign out")
            app.signOut();
        else if (then == u"event")
            app.select(app.events().first().id == *app.selectedEventId() ? app.events().last().id : app.events().first().id);
        else if (!then.isEmpty())
            QVERIFY((then == u"impostor" ? m_impostor : m_server).send(signal));
        QTRY_COMPARE_WITH_TIMEOUT(m_fake.shown.contains(note.id), stays, 5000);
        QTest::qWait(200);
        QCOMPARE(panel.size(), then == u"default" ? 1 : 0);
        QCOMPARE(h.calls().filter(u"PATCH /api/glasses/requests/%1"_s.arg(request)).size(), patch.isEmpty() ? 0 : 1);
        if (!patch.isEmpty())
            QCOMPARE(app.requests().first().status, patch);
    }

    // A page counts as unopened when xdg-open is missing or fails, not when it
    // opens it (or is still busy with the browser).
    void browserOpener_data()
    {
        QTest::addColumn<QString>("opener"); // the script's body; none: no xdg-open at all
        QTest::addColumn<bool>("unopened");
        QTest::newRow("opens") << u"exit 0"_s << false;
        QTest::newRow("no browser") << u"echo 'no method available' >&2; exit 3"_s << true;
        QTest::newRow("missing") << QString() << true;
    }
    void browserOpener()
    {
        QFETCH(QString, opener);
        QFETCH(bool, unopened);
        QTemporaryDir bin;
        if (!opener.isNull()) {
            QFile script(bin.filePath(u"xdg-open"_s));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\necho \"$1\" >\"$0.args\"\n" + opener.toUtf8() + '\n');
            script.close();
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8());
        bool reported = false;
        m_platform.openUrl(QUrl(u"https://cuelark.example/privacy?a=1"_s), [&reported] { reported = true; });
        qputenv("PATH", path);
        QTRY_COMPARE_WITH_TIMEOUT(reported, unopened, 5000);
        QTest::qWait(100);
        QCOMPARE(reported, unopened);
        if (!opener.isNull()) {
            // On a busy machine the script may not have run yet.
            QFile args(bin.filePath(u"xdg-open.args"_s));
            QTRY_VERIFY_WITH_TIMEOUT(args.size() > 0, 5000);
            QVERIFY(args.open(QIODevice::ReadOnly));
            QCOMPARE(args.readAll(), "https://cuelark.example/privacy?a=1\n"_ba);
        }
    }

    // Waking from sleep and the network coming back each start a cycle at once,
    // in the middle of the pause between cycles, and only one. A call in flight
    // when the machine goes to sleep ends without an error; while the system
    // reports no network, the DJ is told so instead of a connection error.
    void theWorldComingBackRefreshesAtOnce_data()
    {
        QTest::addColumn<bool>("sleep"); // else the network goes
        QTest::newRow("sleep with a call in flight, then wake") << true;
        QTest::newRow("offline, then online") << false;
    }
    void theWorldComingBackRefreshesAtOnce()
    {
        QFETCH(bool, sleep);
        ServiceHarness h;
        Platform platform = m_services.platform();
        platform.wait = h.desktop.platform(1000).wait; // hours between cycles
        platform.showAlert = [](Alert) -> QCoro::Task<int> { co_return -1; };
        m_platform.saveToken(h.service->issueToken(), {});
        const QString events = u"GET /api/glasses/events"_s;
        if (sleep)
            h.delayNext(u"/api/glasses/events"_s, 30000);
        AppState &app = *(h.state = std::make_unique<AppState>(std::move(platform), h.service->url()));
        if (sleep) {
            QVERIFY(waitUntil([&] { return h.countCalls(u"GET /api/glasses/me"_s) == 1; }));
            QTest::qWait(100); // the events call is now waiting for its answer
            QVERIFY(m_system->setSleeping(true));
            QTest::qWait(300);
            QVERIFY(!app.errorMessage() && !app.lastUpdated());
        } else {
            QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
            QVERIFY(m_system->setNetworkState(20)); // disconnected
            QVERIFY(waitUntil([&] { return app.errorMessage().value_or(QString()).startsWith(u"You are offline"_s); }));
            QVERIFY(app.lastRefreshFailed());
        }
        const qsizetype cycles = h.countCalls(events);
        const std::optional<QDateTime> before = app.lastUpdated();
        QElapsedTimer reaction;
        reaction.start();
        QVERIFY(sleep ? m_system->setSleeping(false) : m_system->setNetworkState(70));
        QVERIFY(waitUntil([&] { return app.lastUpdated() != before; }, 2000));
        qInfo("%s: refreshed %lld ms later", sleep ? "woke" : "network back", qlonglong(reaction.elapsed()));
        QTest::qWait(200);
        QCOMPARE(h.countCalls(events), cycles + 1);
        QVERIFY(!app.errorMessage() && !app.lastRefreshFailed());
    }

    // A server that takes the name over (a restart, another daemon) is asked
    // what it shows, never sees the old server's ids (here it hands out the
    // same numbers), and only its own signals count. Without any server, a post
    // returns at once.
    void aNewNotificationServerStartsAfresh()
    {
        m_fake.capabilities = {};
        const Posted old = post(song(40, u"Old"_s));
        QVERIFY(m_server.unregisterService(interface));
        QElapsedTimer noServer;
        noServer.start();
        m_platform.notifyNewRequest(requestNotification(song(41, u"Unseen"_s)));
        QVERIFY(noServer.elapsed() < 100);
        FakeServer next;
        next.capabilities = {u"actions"_s};
        next.nextId = old.id;
        QDBusConnection nextBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"next-server"_s);
        QVERIFY(nextBus.registerObject(path, &next, QDBusConnection::ExportAllSlots) && nextBus.registerService(interface));
        QVERIFY(waitUntil([&] { return next.capabilityReads == 1; }));
        QTest::qWait(100); // for the answer to arrive
        const Posted fresh = post(song(42, u"New"_s), &next);
        QCOMPARE(fresh.actions.size(), 6);
        QList<qint64> heard;
        m_platform.listenToNotificationChoices([&](qint64 requestId, NotificationChoice) { heard << requestId; });
        QDBusMessage approve = QDBusMessage::createSignal(path, interface, u"ActionInvoked"_s);
        approve << fresh.id << u"approve"_s;
        QVERIFY(m_server.send(approve) && nextBus.send(approve));
        QTest::qWait(200);
        m_platform.withdrawNotification(40);
        QVERIFY(post(song(43, u"Later"_s), &next).id != 0);
        QVERIFY(next.shown.contains(fresh.id));
        QCOMPARE(heard, QList<qint64>{42});
        m_platform.listenToNotificationChoices({});
        nextBus.unregisterService(interface);
        QVERIFY(m_server.registerService(interface));
    }

    // Under sway the panel is moved over sway's IPC socket to the corner next to
    // the bar, once sway has mapped it (the first try finds no window).
    void swayMovesThePanelNextToTheBar_data()
    {
        QTest::addColumn<QJsonObject>("usable"); // the focused workspace's rect
        QTest::addColumn<QString>("position");
        const auto rect = [](int x, int y, int w, int h) {
            return QJsonObject{{u"x"_s, x}, {u"y"_s, y}, {u"width"_s, w}, {u"height"_s, h}};
        };
        QTest::newRow("bar at the top") << rect(1280, 26, 1280, 774) << u"934 px 6 px"_s;
        QTest::newRow("bar at the bottom") << rect(1280, 0, 1280, 774) << u"934 px 368 px"_s;
    }
    void swayMovesThePanelNextToTheBar()
    {
        QFETCH(QJsonObject, usable);
        QTemporaryDir dir;
        QLocalServer sway;
        QVERIFY(sway.listen(dir.filePath(u"sway.sock"_s)));
        QStringList commands;
        connect(&sway, &QLocalServer::newConnection, &sway, [&] {
            QLocalSocket *client = sway.nextPendingConnection();
            connect(client, &QLocalSocket::readyRead, client, [&, client] {
                while (client->bytesAvailable() >= 14) {
                    const QByteArray header = client->peek(14);
                    const auto length = qFromUnaligned<quint32>(header.constData() + 6);
                    const auto type = qFromUnaligned<quint32>(header.constData() + 10);
                    if (client->bytesAvailable() < 14 + length)
                        return;
                    const QByteArray payload = client->read(14 + length).mid(14);
                    QJsonArray answer;
                    if (type == 1)
                        answer = {QJsonObject{{u"focused"_s, true}, {u"output"_s, u"DP-2"_s}, {u"rect"_s, usable}}};
                    else if (type == 3)
                        answer = {QJsonObject{{u"name"_s, u"DP-2"_s},
                                              {u"rect"_s, QJsonObject{{u"x"_s, 1280}, {u"y"_s, 0}, {u"width"_s, 1280}, {u"height"_s, 800}}}}};
                    else
                        commands << QString::fromUtf8(payload), answer = {QJsonObject{{u"success"_s, commands.size() > 1}}};
                    const QByteArray body = QJsonDocument(answer).toJson(QJsonDocument::Compact);
                    const quint32 size = body.size();
                    client->write(header.left(6) + QByteArray(reinterpret_cast<const char *>(&size), 4) + header.mid(10, 4) + body);
                }
            });
        });
        Sway placer(sway.fullServerName());
        placer.moveNextToBar(u"Cuelark"_s, QSize(340, 400));
        QTRY_COMPARE(commands.size(), 2);
        const QString expected = u"[pid=%1 title=\"^Cuelark$\"] move position "_s.arg(QCoreApplication::applicationPid());
        QFETCH(QString, position);
        QCOMPARE(commands, QStringList(2, expected + position));
    }

    // "Start at login" is the autostart entry's presence: written or removed as
    // asked, naming this executable, and reported as not done when the folder
    // cannot be made.
    void startAtLogin()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString entry = config.path() + u"/autostart/"_s + QLatin1String(AppConfig::appId) + u".desktop"_s;
        const QString executable = QCoreApplication::applicationFilePath();
        for (const QString &pass : {u"on"_s, u"off"_s, u"on, the folder a file"_s}) {
            if (pass.endsWith(u"file"))
                QVERIFY(QDir(config.path()).rmdir(u"autostart"_s) && QFile(entry.section(u'/', 0, -2)).open(QIODevice::WriteOnly));
            const bool wanted = pass.startsWith(u"on");
            QCOMPARE(m_platform.setStartAtLogin(wanted), pass != u"on, the folder a file");
            QCOMPARE(m_platform.startsAtLogin(), pass == u"on");
            if (QFile written(entry); written.open(QIODevice::ReadOnly)) {
                const QByteArray text = written.readAll();
                QVERIFY(text.contains("\nExec=" + executable.toUtf8() + '\n'));
                QVERIFY(text.contains("\nTryExec=" + executable.toUtf8() + '\n'));
            }
        }
    }

    // Another user on the machine can neither reach the running app's socket
    // nor see it: the socket admits its owner only, in the owner's private
    // runtime folder.
    void singleInstanceSocketIsTheUsersOnly()
    {
        QTemporaryDir runtime; // 0700, as the session's own
        const QByteArray sessionRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        SingleInstance instance;
        const SingleInstance::Claim claim = instance.claim();
        instance.listen();
        qputenv("XDG_RUNTIME_DIR", sessionRuntime);
        QCOMPARE(claim, SingleInstance::Claim::first);
        const QFileInfoList made = QDir(runtime.path()).entryInfoList({u"*.socket"_s}, QDir::System);
        QCOMPARE(made.size(), 1);
        const QFileDevice::Permissions othersAndGroup = QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(made.first().permissions() & othersAndGroup, QFileDevice::Permissions());
        QCOMPARE(QFileInfo(runtime.path()).permissions() & othersAndGroup, QFileDevice::Permissions());
    }

    void autostartExecValue_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << u"/usr/bin/cuelark"_s << u"/usr/bin/cuelark"_s;
        QTest::newRow("space") << u"/opt/my apps/cuelark"_s << u"\"/opt/my apps/cuelark\""_s;
        QTest::newRow("quote $ \\ %") << u"/a\"$\\%"_s << u"\"/a\\\\\"\\\\$\\\\\\\\%%\""_s;
        QTest::newRow("line break") << u"/a\nExec=/evil"_s << QString();
    }
    void autostartExecValue()
    {
        QFETCH(QString, path);
        QTEST(Autostart::execValue(path), "exec");
    }
};

int main(int argc, char **argv)
{
    if (argc >= 2 && qstrcmp(argv[1], childFlag) == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    DesktopServicesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop_services.moc"
