// Desktop notifications through a stand-in notification server that owns
// org.freedesktop.Notifications on the private session bus
// (scripts/with-session.sh), from a second connection of this process, so
// every call makes a real round trip through the bus.

#include "AppConfig.h"
#include "notifications/RequestNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QTest>

#include <qcoro/qcorotask.h>

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int deliveryTimeoutMs = 30000;

struct ReceivedNotification {
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
    uint returnedId = 0;
};

SongRequest songRequest(qint64 id, const QString &title, const QString &artist)
{
    SongRequest request;
    request.id = id;
    request.status = QStringLiteral("pending");
    request.songTitle = title;
    request.artistName = artist;
    return request;
}

} // namespace

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<ReceivedNotification> received;
    QStringList capabilities;

public Q_SLOTS:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int expireTimeout)
    {
        const uint id = replacesId != 0 ? replacesId : m_nextId++;
        received.append({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout, id});
        return id;
    }

    QStringList GetCapabilities() { return capabilities; }

private:
    uint m_nextId = 100;
};

class RequestNotifierTest : public QObject {
    Q_OBJECT

private:
    QDBusConnection m_serverBus{QString()};
    FakeNotificationServer m_server;

    void startServer()
    {
        QVERIFY(m_serverBus.registerObject(objectPath, &m_server, QDBusConnection::ExportAllSlots));
        QVERIFY(m_serverBus.registerService(serviceName));
    }

    void stopServer()
    {
        m_serverBus.unregisterService(serviceName);
        m_serverBus.unregisterObject(objectPath);
    }

    // Posts and waits until the server has it and its answer has been handled
    // (a later round trip on the same connection is answered after it); returns
    // what the server received.
    ReceivedNotification post(const SongRequest &request)
    {
        const qsizetype before = m_server.received.size();
        RequestNotifier::notifyNewRequest(request);
        if (!QTest::qWaitFor([&] { return m_server.received.size() > before; }, deliveryTimeoutMs))
            return {};
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            serviceName, objectPath, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
        QDBusPendingCallWatcher pong(QDBusConnection::sessionBus().asyncCall(ping));
        if (!QTest::qWaitFor([&] { return pong.isFinished(); }, deliveryTimeoutMs))
            return {};
        return m_server.received.last();
    }

    void advertise(const QStringList &capabilities)
    {
        m_server.capabilities = capabilities;
        QCoro::waitFor(RequestNotifier::requestPermission());
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CUELARK_TEST_SESSION"))
            QSKIP("needs a private desktop session: run under scripts/with-session.sh");
        m_serverBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                    QStringLiteral("fake-notifications"));
        QVERIFY(m_serverBus.isConnected());
    }

    void cleanup() { stopServer(); }
    void cleanupTestCase() { QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications")); }

    // Runs first: nothing is known about the server yet.
    void withoutServerNothingHangs()
    {
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(serviceName));
        QCoro::waitFor(RequestNotifier::requestPermission());
        RequestNotifier::notifyNewRequest(songRequest(1, QStringLiteral("Lost"), QStringLiteral("Nobody")));

        // Capabilities still unknown: markup is escaped, as if the server had it.
        startServer();
        QCOMPARE(post(songRequest(2, QStringLiteral("<i>Tom & Jerry</i>"), QStringLiteral("DJ"))).body,
                 QStringLiteral("&lt;i&gt;Tom &amp; Jerry&lt;/i&gt; DJ"));
    }

    void postsTheNotification()
    {
        startServer();
        const ReceivedNotification sent = post(songRequest(10, QStringLiteral("Blue Monday"), QStringLiteral("New Order")));

        QCOMPARE(sent.appName, QStringLiteral("Cuelark"));
        QCOMPARE(sent.replacesId, 0u);
        QCOMPARE(sent.summary, QStringLiteral("New song request"));
        QCOMPARE(sent.body, QStringLiteral("Blue Monday New Order"));
        QVERIFY(sent.actions.isEmpty());
        QCOMPARE(sent.expireTimeout, -1);
        QCOMPARE(sent.hints.value(QStringLiteral("sound-name")).toString(), QStringLiteral("message-new-instant"));
        QCOMPARE(sent.hints.value(QStringLiteral("desktop-entry")).toString(), QString::fromLatin1(AppConfig::appId));
    }

    // The same request posted again replaces its notification; others stack.
    void repeatReplacesEarlierNotification()
    {
        startServer();
        const ReceivedNotification first = post(songRequest(20, QStringLiteral("A"), QStringLiteral("B")));
        const ReceivedNotification other = post(songRequest(21, QStringLiteral("C"), QStringLiteral("D")));
        const ReceivedNotification repeat = post(songRequest(20, QStringLiteral("A"), QStringLiteral("B")));
        const ReceivedNotification repeatAgain = post(songRequest(20, QStringLiteral("A"), QStringLiteral("B")));

        QCOMPARE(first.replacesId, 0u);
        QCOMPARE(other.replacesId, 0u);
        QVERIFY(other.returnedId != first.returnedId);
        QCOMPARE(repeat.replacesId, first.returnedId);
        QCOMPARE(repeatAgain.replacesId, first.returnedId);
    }

    void audienceTextShownLiterally_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("expectedBody");

        const QStringList markup{QStringLiteral("body"), QStringLiteral("body-markup"), QStringLiteral("sound")};
        const QStringList plain{QStringLiteral("body"), QStringLiteral("sound")};
        QTest::newRow("markup server, tags")
            << markup << QStringLiteral("<b>Loud</b>") << QStringLiteral("<a href=\"x\">Me</a>")
            << QStringLiteral("&lt;b&gt;Loud&lt;/b&gt; &lt;a href=&quot;x&quot;&gt;Me&lt;/a&gt;");
        QTest::newRow("markup server, entity stays text")
            << markup << QStringLiteral("Rock &amp; Roll") << QStringLiteral("AC/DC")
            << QStringLiteral("Rock &amp;amp; Roll AC/DC");
        QTest::newRow("plain server, sent as is")
            << plain << QStringLiteral("<b>Loud</b> & Co") << QStringLiteral("It's")
            << QStringLiteral("<b>Loud</b> & Co It's");
    }

    void audienceTextShownLiterally()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, title);
        QFETCH(QString, artist);
        QFETCH(QString, expectedBody);

        static qint64 nextRequestId = 30;
        startServer();
        advertise(capabilities);
        const ReceivedNotification sent = post(songRequest(nextRequestId++, title, artist));
        QCOMPARE(sent.body, expectedBody);
    }
};

QTEST_GUILESS_MAIN(RequestNotifierTest)

#include "tst_request_notifier.moc"
