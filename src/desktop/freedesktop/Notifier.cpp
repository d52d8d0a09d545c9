#include "desktop/Notifier.h"

#include "AppConfig.h"
#include "Logging.h"
#include "Flow.h"
#include "TaskHandle.h"
#include "desktop/freedesktop/DBusReply.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QPointer>
#include <QVariantMap>


#include <optional>

namespace {

constexpr int capabilitiesTimeoutMs = 3000;
constexpr QLatin1StringView serverPath("/org/freedesktop/Notifications");
constexpr QLatin1StringView serverInterface("org.freedesktop.Notifications");

QDBusMessage notificationsCall(const QString &method)
{
    return QDBusMessage::createMethodCall(serverInterface, serverPath, serverInterface, method);
}

QString actionKey(NotificationChoice choice)
{
    switch (choice) {
    case NotificationChoice::open:
        return QStringLiteral("default");
    case NotificationChoice::approve:
        return QStringLiteral("approve");
    case NotificationChoice::reject:
        return QStringLiteral("reject");
    }
    return {};
}

std::optional<NotificationChoice> choiceOf(const QString &key)
{
    for (const NotificationChoice choice : {NotificationChoice::open, NotificationChoice::approve, NotificationChoice::reject}) {
        if (actionKey(choice) == key)
            return choice;
    }
    return std::nullopt;
}

// Sent to the server that gave the id, by its unique name: a server that has
// since taken over the well-known name never sees another's ids.
void closeOnServer(uint serverId, const QString &server)
{
    qCDebug(lcNotify) << "closing notification" << serverId << "on" << server;
    QDBusMessage call = QDBusMessage::createMethodCall(server, serverPath, serverInterface,
                                                       QStringLiteral("CloseNotification"));
    call << serverId;
    QDBusConnection::sessionBus().asyncCall(call);
}

// A notification this run posted for a request. Until the server answers the
// post, `serverId` is 0.
struct Posted {
    uint serverId = 0;
    QString server; // the unique bus name of the server that answered
};

// Hears the server's signals. Any connection on the bus can send a signal with
// the server's interface and member names, so each one is checked against the
// unique name of the server that showed that notification.
class ServerSignals : public QObject {
    Q_OBJECT
public:
    // By request id: a repeat replaces the request's notification instead of
    // stacking a second one, and only these notifications' signals are heard.
    QHash<qint64, Posted> posted;
    NotificationChoiceHandler choiceHandler;

    void listen()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (m_listening || !bus.isConnected())
            return;
        m_listening = true;
        bus.connect(QString(), serverPath, serverInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString, QDBusMessage)));
        bus.connect(QString(), serverPath, serverInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(notificationClosed(uint, uint, QDBusMessage)));
        bus.connect(QString(), serverPath, serverInterface, QStringLiteral("ActivationToken"), this,
                    SLOT(activationToken(uint, QString, QDBusMessage)));
    }

private Q_SLOTS:
    void actionInvoked(uint serverId, const QString &key, const QDBusMessage &message)
    {
        const std::optional<qint64> requestId = requestShownAs(serverId, message.service());
        if (!requestId) {
            qCDebug(lcNotify) << "ignored action" << key << "on notification" << serverId << "from" << message.service();
            return;
        }
        qCDebug(lcNotify) << "action" << key << "on the notification of request" << *requestId;
        const std::optional<NotificationChoice> choice = choiceOf(key);
        // Only a click that opens the panel hands the server's token on: the
        // window system reads it from there when the panel asks for the focus.
        if (choice == NotificationChoice::open && !m_activationToken.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", m_activationToken.toUtf8());
        m_activationToken.clear();
        if (choice && choiceHandler)
            choiceHandler(*requestId, *choice);
    }

    // Sent just before the action it belongs to, by servers that let the
    // clicked notification pass the focus on (needed by Wayland compositors).
    void activationToken(uint serverId, const QString &token, const QDBusMessage &message)
    {
        if (requestShownAs(serverId, message.service()))
            m_activationToken = token;
    }

    void notificationClosed(uint serverId, uint reason, const QDBusMessage &message)
    {
        if (const std::optional<qint64> requestId = requestShownAs(serverId, message.service())) {
            qCDebug(lcNotify) << "notification of request" << *requestId << "closed, reason" << reason;
            posted.remove(*requestId);
        }
    }

private:
    // The request whose notification `serverId` the server `sender` showed, if any.
    std::optional<qint64> requestShownAs(uint serverId, const QString &sender) const
    {
        for (auto it = posted.cbegin(); it != posted.cend(); ++it) {
            if (it->serverId == serverId && serverId != 0 && it->server == sender)
                return it.key();
        }
        return std::nullopt;
    }

    bool m_listening = false;
    QString m_activationToken;
};

} // namespace

struct Notifier::Private {
    ServerSignals server;
    // Absent until the server has answered GetCapabilities.
    std::optional<QStringList> capabilities;
    // Counts the servers that took the name; a post answered by an earlier one
    // is forgotten.
    quint64 serverGeneration = 0;
    bool watching = false;
    // Cancelled on destruction: ends the reads the notifier began by itself.
    std::shared_ptr<TaskHandle> lifetime = TaskHandle::create();

    bool serverHas(const QString &capability) const
    {
        return capabilities && capabilities->contains(capability);
    }
};

Notifier::Notifier(QSystemTrayIcon *, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
}

// Not in the constructor: the first use of the bus may block while it answers,
// and nothing must wait on it before the first notification.
void Notifier::watchServer()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (d->watching || !bus.isConnected())
        return;
    d->watching = true;
    // A restarted or replaced server knows nothing of the last one's ids, and
    // may show other things (actions, markup).
    auto *watcher = new QDBusServiceWatcher(serverInterface, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                qCInfo(lcNotify) << "notification server" << (newOwner.isEmpty() ? QStringLiteral("gone") : newOwner);
                ++d->serverGeneration;
                d->server.posted.clear();
                d->capabilities.reset();
                if (!newOwner.isEmpty())
                    rereadCapabilities({d->lifetime, lcNotify});
            });
}

Notifier::~Notifier()
{
    d->lifetime->cancel();
}

Flow Notifier::rereadCapabilities(FlowScope)
{
    co_await readCapabilities();
}

void Notifier::post(const RequestNotification &notification)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcNotify) << "no session bus: request" << notification.requestId << "not notified";
        return;
    }
    watchServer();
    d->server.listen();

    // Actions only for a server known to show them; a plain notification otherwise.
    QStringList actions;
    if (d->serverHas(QStringLiteral("actions"))) {
        for (const auto &[choice, label] : notification.actions)
            actions << actionKey(choice) << label;
    }
    // A server with body markup would render the audience's "<b>" or "&amp;"
    // instead of showing it; while its capabilities are unknown, assume it has markup.
    const bool plainBody = d->capabilities && !d->serverHas(QStringLiteral("body-markup"));
    const QString body = plainBody ? notification.body : notification.body.toHtmlEscaped();
    const qint64 requestId = notification.requestId;
    const quint64 generation = d->serverGeneration;
    qCDebug(lcNotify) << "notifying request" << requestId << (actions.isEmpty() ? "without actions" : "with actions");

    const QString appId = QString::fromLatin1(AppConfig::appId);
    const QVariantMap hints{
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
        {QStringLiteral("desktop-entry"), appId},
        {QStringLiteral("category"), QStringLiteral("im.received")},
    };
    QDBusMessage call = notificationsCall(QStringLiteral("Notify"));
    call << QStringLiteral("Cuelark") << d->server.posted[requestId].serverId << appId << notification.title
         << body << actions << hints << -1;

    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, requestId, generation](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<uint> reply = *finished;
        if (!reply.isValid()) {
            qCWarning(lcNotify) << "notification of request" << requestId << "failed:" << reply.error().message();
            return;
        }
        if (generation != d->serverGeneration) {
            d->server.posted.remove(requestId);
            return;
        }
        const auto entry = d->server.posted.find(requestId);
        if (entry == d->server.posted.end()) {
            // Withdrawn while this post was on its way.
            closeOnServer(reply.value(), reply.reply().service());
            return;
        }
        entry->serverId = reply.value();
        entry->server = reply.reply().service();
    });
}

void Notifier::withdraw(qint64 requestId)
{
    const auto entry = d->server.posted.constFind(requestId);
    if (entry == d->server.posted.cend())
        return;
    qCDebug(lcNotify) << "withdrawing the notification of request" << requestId;
    if (entry->serverId != 0)
        closeOnServer(entry->serverId, entry->server);
    d->server.posted.erase(entry);
}

void Notifier::withdrawAll()
{
    const QList<qint64> requestIds = d->server.posted.keys();
    for (const qint64 requestId : requestIds)
        withdraw(requestId);
}

void Notifier::setChoiceHandler(NotificationChoiceHandler handler)
{
    d->server.choiceHandler = std::move(handler);
}

QCoro::Task<> Notifier::readCapabilities()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        co_return;
    watchServer();
    d->server.listen();
    const QPointer<Notifier> self(this);
    const QDBusPendingReply<QStringList> reply =
        co_await DBus::answered(bus.asyncCall(notificationsCall(QStringLiteral("GetCapabilities")), capabilitiesTimeoutMs));
    if (!self)
        co_return;
    d->capabilities = reply.isValid() ? std::optional(reply.value()) : std::nullopt;
    qCDebug(lcNotify) << "notification server capabilities:"
                      << (reply.isValid() ? reply.value().join(QLatin1Char(' ')) : reply.error().message());
}

#include "Notifier.moc"
