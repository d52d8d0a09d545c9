// Desktop notifications through a stand-in notification server that owns
// org.freedesktop.Notifications on the private session bus
// (scripts/with-session.sh), from a second connection of this process, so
// every call makes a real round trip through the bus.

#include "AppConfig.h"
#include "notifications/RequestNotifier.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;

namespace {

const QString serviceName = u"org.freedesktop.Notifications"_s;
const QString objectPath = u"/org/freedesktop/Notifications"_s;
constexpr int deliveryTimeoutMs = 30000;

struct ReceivedNotification {
    uint replacesId = 0;
    QString body;
    QVariantMap hints;
    uint returnedId = 0;
};

SongRequest songRequest(qint64 id, const QString &title, const QString &artist = u"Artist"_s)
{
    return {id, u"pending"_s, title, artist, {}};
}

} // namespace

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<ReceivedNotification> received;
    QStringList capabilities;

public Q_SLOTS:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &, const QString &body,
                const QStringList &, const QVariantMap &hints, int)
    {
        const uint id = replacesId != 0 ? replacesId : m_nextId++;
        received.append({replacesId, body, hints, id});
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

    void startServer(const std::optional<QStringList> &capabilities = std::nullopt)
    {
        QVERIFY(m_serverBus.registerObject(objectPath, &m_server, QDBusConnection::ExportAllSlots));
        QVERIFY(m_serverBus.registerService(serviceName));
        if (capabilities) {
            m_server.capabilities = *capabilities;
            QCoro::waitFor(RequestNotifier::requestPermission());
        }
    }

    // Posts and waits until the server has it and its answer has been handled (a
    // later round trip on the same connection is answered after it).
    ReceivedNotification post(const SongRequest &request)
    {
        const qsizetype before = m_server.received.size();
        RequestNotifier::notifyNewRequest(request);
        if (!QTest::qWaitFor([&] { return m_server.received.size() > before; }, deliveryTimeoutMs))
            return {};
        QDBusPendingCallWatcher pong(QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            serviceName, objectPath, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s)));
        if (!QTest::qWaitFor([&] { return pong.isFinished(); }, deliveryTimeoutMs))
            return {};
        return m_server.received.last();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CUELARK_TEST_SESSION"))
            QSKIP("needs a private desktop session: run under scripts/with-session.sh");
        m_serverBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-notifications"_s);
        QVERIFY(m_serverBus.isConnected());
    }

    void cleanup()
    {
        m_serverBus.unregisterService(serviceName);
        m_serverBus.unregisterObject(objectPath);
    }

    void cleanupTestCase() { QDBusConnection::disconnectFromBus(u"fake-notifications"_s); }

    // A sounding notification per request; the same request posted again
    // replaces its own notification, while others stack.
    void notifiesOncePerRequest()
    {
        startServer();
        const ReceivedNotification first = post(songRequest(10, u"Blue Monday"_s, u"New Order"_s));
        QCOMPARE(first.replacesId, 0u);
        QCOMPARE(first.body, u"Blue Monday New Order"_s);
        QCOMPARE(first.hints.value(u"sound-name"_s).toString(), u"message-new-instant"_s);
        QCOMPARE(first.hints.value(u"desktop-entry"_s).toString(), QString::fromLatin1(AppConfig::appId));

        const ReceivedNotification other = post(songRequest(11, u"C"_s));
        QCOMPARE(other.replacesId, 0u);
        QCOMPARE_NE(other.returnedId, first.returnedId);
        QCOMPARE(post(songRequest(10, u"Blue Monday"_s)).replacesId, first.returnedId);
    }

    // Song titles and artist names come from the audience: shown as typed, on one
    // line, never as formatting or links, whether or not the server renders markup.
    void audienceTextShownLiterally_data()
    {
        QTest::addColumn<std::optional<QStringList>>("capabilities"); // absent: never answered
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expectedBody");
        const QString markup = u"<b>Rock &amp; Roll</b>"_s;
        const QString escaped = u"&lt;b&gt;Rock &amp;amp; Roll&lt;/b&gt; Artist"_s;
        const QStringList plain{u"body"_s, u"sound"_s};
        QTest::newRow("unknown server") << std::optional<QStringList>() << markup << escaped;
        QTest::newRow("markup server") << std::optional(QStringList{u"body"_s, u"body-markup"_s}) << markup << escaped;
        QTest::newRow("plain server") << std::optional(plain) << markup << markup + u" Artist"_s;
        QTest::newRow("controls and overrides") << std::optional(plain) << u"a\nb\u0007\u202Ec\u202C"_s
                                                << u"a b\uFFFDc Artist"_s;
    }
    void audienceTextShownLiterally()
    {
        QFETCH(std::optional<QStringList>, capabilities);
        QFETCH(QString, title);
        // Without a server neither call waits for anything; the query's failure
        // leaves the capabilities unknown.
        RequestNotifier::notifyNewRequest(songRequest(1, u"Lost"_s));
        QCoro::waitFor(RequestNotifier::requestPermission());
        startServer(capabilities);
        QTEST(post(songRequest(30, title)).body, "expectedBody");
    }
};

QTEST_GUILESS_MAIN(RequestNotifierTest)

#include "tst_request_notifier.moc"
