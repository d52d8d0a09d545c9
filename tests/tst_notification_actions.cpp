// Actions on new-request notifications and their withdrawal: the application
// state with the real notifier, a fake notification server on a second bus
// connection (another one plays an impostor), and the stand-in service.

#include "notifications/RequestNotifier.h"
#include "support/ServiceHarness.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
const QString path = u"/org/freedesktop/Notifications"_s, interface = u"org.freedesktop.Notifications"_s;

class FakeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities;
    QMap<uint, QStringList> shown; // id → actions, while on screen
public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &, const QString &, const QStringList &actions,
                const QVariantMap &, int) { shown[++m_lastId] = actions; return m_lastId; }
    void CloseNotification(uint id) { shown.remove(id); }
    QStringList GetCapabilities() { return capabilities; }
private:
    uint m_lastId = 500;
};

class NotificationActionsTest : public QObject {
    Q_OBJECT
    QDBusConnection m_server{QString()}, m_impostor{QString()};
    FakeServer m_fake;
private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CUELARK_TEST_SESSION"))
            QSKIP("needs a private desktop session: run under scripts/with-session.sh");
        m_server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-server"_s);
        m_impostor = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"impostor"_s);
        QVERIFY(m_server.registerObject(path, &m_fake, QDBusConnection::ExportAllSlots) && m_server.registerService(interface));
    }

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
        m_fake.shown.clear();
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
        awaitTask(app.refresh());
        QVERIFY(waitUntil([&] { return !m_fake.shown.isEmpty(); }));
        const uint id = m_fake.shown.lastKey();
        // A later round trip on the same connection: the post's answer is handled by then.
        QDBusPendingCallWatcher pong(QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(interface, path, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s)));
        QVERIFY(waitUntil([&] { return pong.isFinished(); }));
        const QStringList offered{u"default"_s, u"Open Cuelark"_s, u"approve"_s, u"Approve"_s, u"reject"_s, u"Reject"_s};
        QCOMPARE(m_fake.shown[id], actions ? offered : QStringList());

        QDBusMessage signal = QDBusMessage::createSignal(path, interface, u"ActionInvoked"_s);
        signal << (then == u"other id" ? id + 1000 : id) << (then.contains(u' ') || then == u"impostor" ? u"approve"_s : then);
        if (then == u"web") {
            awaitTask(GlassesAPIClient(token, h.service->url()).updateRequest(request, RequestAction::approved));
            awaitTask(app.refresh());
        }
        else if (then == u"sign out")
            app.signOut();
        else if (then == u"event")
            app.select(app.events().first().id == *app.selectedEventId() ? app.events().last().id : app.events().first().id);
        else if (!then.isEmpty())
            QVERIFY((then == u"impostor" ? m_impostor : m_server).send(signal));
        QTRY_COMPARE_WITH_TIMEOUT(m_fake.shown.contains(id), stays, 5000);
        QTest::qWait(200);
        QCOMPARE(panel.size(), then == u"default" ? 1 : 0);
        const QStringList patches = h.calls().filter(u"PATCH /api/glasses/requests/%1"_s.arg(request));
        QCOMPARE(patches.size(), patch.isEmpty() ? 0 : 1);
        if (!patch.isEmpty())
            QCOMPARE(app.requests().first().status, patch);
    }
};

QTEST_GUILESS_MAIN(NotificationActionsTest)
#include "tst_notification_actions.moc"
