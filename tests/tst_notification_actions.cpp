// Actions on new-request notifications and their withdrawal: the application
// state with the real notifier, a fake notification server on a second
// connection of the private session bus, and the stand-in service.

#include "notifications/RequestNotifier.h"
#include "support/ServiceHarness.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString path = u"/org/freedesktop/Notifications"_s;
const QString interface = u"org.freedesktop.Notifications"_s;
const QStringList withActions{u"body"_s, u"actions"_s};
} // namespace

class FakeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities;
    QMap<uint, QStringList> shown; // id → actions, while on screen

public Q_SLOTS:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &, const QString &,
                const QStringList &actions, const QVariantMap &, int)
    {
        const uint id = replacesId != 0 ? replacesId : ++m_lastId;
        shown[id] = actions;
        return id;
    }
    void CloseNotification(uint id) { shown.remove(id); }
    QStringList GetCapabilities() { return capabilities; }

private:
    uint m_lastId = 500;
};

class NotificationActionsTest : public QObject {
    Q_OBJECT
    QDBusConnection m_serverBus{QString()};
    QDBusConnection m_otherBus{QString()};
    FakeServer m_server;
    std::unique_ptr<ServiceHarness> h;

    // Signed in with the real notifier; returns the notification id of one new request.
    uint startWithNewRequest(const QStringList &capabilities, qint64 *requestId = nullptr)
    {
        m_server.capabilities = capabilities;
        Platform platform = h->desktop.platform(1000);
        platform.requestNotificationPermission = &RequestNotifier::requestPermission;
        platform.notifyNewRequest = &RequestNotifier::notifyNewRequest;
        platform.withdrawNotification = &RequestNotifier::withdraw;
        platform.listenToNotificationChoices = &RequestNotifier::setChoiceHandler;
        h->desktop.storedToken = h->service->issueToken();
        h->state = std::make_unique<AppState>(std::move(platform), h->service->url());
        if (!waitUntil([&] { return h->state->lastUpdated().has_value(); }))
            return 0;
        const qint64 id = h->addRequest(u"Blue Monday"_s, *h->state->selectedEventId());
        if (requestId)
            *requestId = id;
        awaitTask(h->state->refresh());
        waitUntil([&] { return !m_server.shown.isEmpty(); });
        // A later round trip on the same connection: the post's answer is handled by then.
        QDBusPendingCallWatcher pong(QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(interface, path, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s)));
        waitUntil([&] { return pong.isFinished(); });
        return m_server.shown.isEmpty() ? 0 : m_server.shown.lastKey();
    }

    qsizetype patches(qint64 requestId, const QString &status)
    {
        qsizetype count = 0;
        for (const QJsonValue &call : h->service->log()) {
            const QJsonObject entry = call.toObject();
            count += entry[u"method"_s] == u"PATCH"_s && entry[u"path"_s] == u"/api/glasses/requests/%1"_s.arg(requestId)
                && entry[u"body"_s] == u"{\"status\":\"%1\"}"_s.arg(status);
        }
        return count;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CUELARK_TEST_SESSION"))
            QSKIP("needs a private desktop session: run under scripts/with-session.sh");
        m_serverBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-server"_s);
        m_otherBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"other-sender"_s);
        QVERIFY(m_serverBus.registerObject(path, &m_server, QDBusConnection::ExportAllSlots));
        QVERIFY(m_serverBus.registerService(interface));
    }
    void init() { h = std::make_unique<ServiceHarness>(); }
    void cleanup()
    {
        h.reset();
        m_server.shown.clear();
    }

    void actionsOnlyWhereShown_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QStringList>("actions");
        QTest::newRow("server with actions") << withActions << QStringList{u"default"_s, u"Open Cuelark"_s,
                                                 u"approve"_s, u"Approve"_s, u"reject"_s, u"Reject"_s};
        QTest::newRow("server without") << QStringList{u"body"_s} << QStringList{};
    }
    void actionsOnlyWhereShown()
    {
        QFETCH(QStringList, capabilities);
        const uint id = startWithNewRequest(capabilities);
        QVERIFY(id != 0);
        QTEST(m_server.shown.value(id), "actions");
    }

    // An action goes through the panel's own operation, once; signals from any
    // other sender, or about a notification we did not post, change nothing.
    void invokedAction_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("fromServer");
        QTest::addColumn<uint>("idOffset");
        QTest::addColumn<QString>("status"); // the PATCH expected, or none
        QTest::addColumn<bool>("panel");
        QTest::newRow("approve") << u"approve"_s << true << 0u << u"approved"_s << false;
        QTest::newRow("reject") << u"reject"_s << true << 0u << u"rejected"_s << false;
        QTest::newRow("click on the body") << u"default"_s << true << 0u << QString() << true;
        QTest::newRow("another sender") << u"approve"_s << false << 0u << QString() << false;
        QTest::newRow("a notification not ours") << u"approve"_s << true << 1000u << QString() << false;
    }
    void invokedAction()
    {
        QFETCH(QString, key);
        QFETCH(bool, fromServer);
        QFETCH(uint, idOffset);
        QFETCH(QString, status);
        qint64 requestId = 0;
        const uint id = startWithNewRequest(withActions, &requestId);
        QVERIFY(id != 0);
        QSignalSpy panel(h->state.get(), &AppState::panelRequested);
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, u"ActionInvoked"_s);
        signal << id + idOffset << key;
        QVERIFY((fromServer ? m_serverBus : m_otherBus).send(signal));

        if (!status.isEmpty()) {
            QVERIFY(waitUntil([&] { return !m_server.shown.contains(id); })); // withdrawn after the refresh
            QCOMPARE(h->state->requests().first().status, status);
        } else {
            QTest::qWait(300);
        }
        QCOMPARE(patches(requestId, u"approved"_s) + patches(requestId, u"rejected"_s), status.isEmpty() ? 0 : 1);
        QCOMPARE(patches(requestId, status), status.isEmpty() ? 0 : 1);
        QTEST(panel.count() == 1, "panel");
    }

    void withdrawnWhenNoLongerNeeded_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("approved on the service's page") << 0;
        QTest::newRow("signed out") << 1;
        QTest::newRow("another event chosen") << 2;
    }
    void withdrawnWhenNoLongerNeeded()
    {
        QFETCH(int, how);
        qint64 requestId = 0;
        const uint id = startWithNewRequest(withActions, &requestId);
        QVERIFY(id != 0);
        AppState &app = *h->state;
        if (how == 0) {
            const auto answer = h->service->send("PATCH", QUrl(u"/api/glasses/requests/%1"_s.arg(requestId)),
                                                 R"({"status":"approved"})",
                                                 {{"Authorization", "Bearer " + h->desktop.storedToken->toUtf8()},
                                                  {"Content-Type", "application/json"}});
            QCOMPARE(answer.status, 200);
            awaitTask(app.refresh());
        } else if (how == 1) {
            app.signOut();
        } else {
            app.select(app.events().first().id == *app.selectedEventId() ? app.events().last().id
                                                                         : app.events().first().id);
        }
        QVERIFY(waitUntil([&] { return m_server.shown.isEmpty(); }));
    }
};

QTEST_GUILESS_MAIN(NotificationActionsTest)
#include "tst_notification_actions.moc"
