// Desktop notifications, with a fake server owning org.freedesktop.Notifications on the
// private session bus (scripts/with-session.sh) from a second connection of this process
// (a third plays an impostor): real round trips. Actions go through AppState and the stand-in.

#include "AppConfig.h"
#include "notifications/RequestNotifier.h"
#include "support/ServiceHarness.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
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
public Q_SLOTS:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        received.append({replacesId, replacesId != 0 ? replacesId : nextId++, body, actions, hints});
        return *shown.insert(received.last().id);
    }
    void CloseNotification(uint id) { shown.remove(id); }
    QStringList GetCapabilities() { return capabilities; }
};

SongRequest song(qint64 id, QString title, QString by = u"Artist"_s) { return {id, u"pending"_s, title, by, {}}; }

class NotificationsTest : public QObject {
    Q_OBJECT
    QDBusConnection m_server{QString()}, m_impostor{QString()};
    FakeServer m_fake;

    // What `send` posts, once its answer has been handled too (a later round trip on
    // the same connection is answered after it); id 0 if nothing arrived.
    Posted posted(const std::function<void()> &send)
    {
        const qsizetype before = m_fake.received.size();
        send();
        if (!waitUntil([&] { return m_fake.received.size() > before; }, 30000))
            return {};
        QDBusPendingCallWatcher pong(QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(interface, path, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s)));
        return waitUntil([&] { return pong.isFinished(); }, 30000) ? m_fake.received.last() : Posted{};
    }
    Posted post(const SongRequest &request) { return posted([&] { RequestNotifier::notifyNewRequest(request); }); }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CUELARK_TEST_SESSION"))
            QSKIP("needs a private desktop session: run under scripts/with-session.sh");
        m_server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-server"_s);
        m_impostor = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"impostor"_s);
        QVERIFY(m_server.registerObject(path, &m_fake, QDBusConnection::ExportAllSlots));
        QVERIFY(m_server.registerService(interface));
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
        RequestNotifier::notifyNewRequest(song(1, u"Lost"_s));
        awaitTask(RequestNotifier::requestPermission());
        QVERIFY(m_server.registerService(interface));
        if (capabilities)
            m_fake.capabilities = *capabilities, awaitTask(RequestNotifier::requestPermission());
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
        Platform platform = h.desktop.platform(1000);
        platform.requestNotificationPermission = &RequestNotifier::requestPermission;
        platform.notifyNewRequest = &RequestNotifier::notifyNewRequest;
        platform.withdrawNotification = &RequestNotifier::withdraw;
        platform.listenToNotificationChoices = &RequestNotifier::setChoiceHandler;
        const QString token = *(h.desktop.storedToken = h.service->issueToken());
        AppState &app = *(h.state = std::make_unique<AppState>(std::move(platform), h.service->url()));
        QSignalSpy panel(&app, &AppState::panelRequested);
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        const qint64 request = h.addRequest(u"Blue Monday"_s, *app.selectedEventId());
        const Posted note = posted([&] { awaitTask(app.refresh()); });
        QVERIFY(note.id != 0);
        const QStringList offered{u"default"_s, u"Open Cuelark"_s, u"approve"_s, u"Approve"_s, u"reject"_s, u"Reject"_s};
        QCOMPARE(note.actions, actions ? offered : QStringList());
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, u"ActionInvoked"_s);
        signal << (then == u"other id" ? note.id + 1000 : note.id)
               << (then.contains(u' ') || then == u"impostor" ? u"approve"_s : then);
        if (then == u"web") {
            awaitTask(GlassesAPIClient(token, h.service->url()).updateRequest(request, RequestAction::approved));
            awaitTask(app.refresh());
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
};

QTEST_GUILESS_MAIN(NotificationsTest)
#include "tst_notifications.moc"
