#include "notifications/RequestNotifier.h"

#include "AppConfig.h"
#include "DisplayText.h"
#include "Logging.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QHash>
#include <QVariantMap>

#include <qcoro/qcorodbus.h>

#include <optional>

namespace {

constexpr int capabilitiesTimeoutMs = 3000;
const QString serverPath = QStringLiteral("/org/freedesktop/Notifications");
const QString serverInterface = QStringLiteral("org.freedesktop.Notifications");
const QString approveKey = QStringLiteral("approve");
const QString rejectKey = QStringLiteral("reject");
const QString defaultKey = QStringLiteral("default");

QDBusMessage notificationsCall(const QString &method)
{
    return QDBusMessage::createMethodCall(serverInterface, serverPath, serverInterface, method);
}

// A notification this run posted for a request. Until the server answers the
// post, `serverId` is 0.
struct Posted {
    uint serverId = 0;
    QString server; // the unique bus name of the server that answered
};

// By request id: a repeat replaces the request's notification instead of stacking
// a second one, and only these notifications' signals are listened to.
QHash<qint64, Posted> &posted()
{
    static QHash<qint64, Posted> notifications;
    return notifications;
}

NotificationChoiceHandler &choiceHandler()
{
    static NotificationChoiceHandler handler;
    return handler;
}

// Absent until the server has answered GetCapabilities.
std::optional<QStringList> &serverCapabilities()
{
    static std::optional<QStringList> capabilities;
    return capabilities;
}

bool serverHas(const QString &capability)
{
    const auto &capabilities = serverCapabilities();
    return capabilities && capabilities->contains(capability);
}

// A server with body markup would render the audience's "<b>" or "&amp;" instead
// of showing it; while its capabilities are unknown, assume it has markup.
QString notificationBody(const SongRequest &request)
{
    // One line, in the order typed: no line breaks, controls or direction overrides.
    const QString text = DisplayText::line(request.songTitle + QLatin1Char(' ') + request.artistName);
    if (serverCapabilities() && !serverHas(QStringLiteral("body-markup")))
        return text;
    return text.toHtmlEscaped();
}

// Actions only for a server known to show them; a plain notification otherwise.
QStringList notificationActions()
{
    if (!serverHas(QStringLiteral("actions")))
        return {};
    return {defaultKey, QCoreApplication::translate("RequestNotifier", "Open Cuelark"),
            approveKey, QCoreApplication::translate("RequestNotifier", "Approve"),
            rejectKey, QCoreApplication::translate("RequestNotifier", "Reject")};
}

void closeOnServer(uint serverId)
{
    qCDebug(lcNotify) << "closing notification" << serverId;
    QDBusMessage call = notificationsCall(QStringLiteral("CloseNotification"));
    call << serverId;
    QDBusConnection::sessionBus().asyncCall(call);
}

// The request whose notification `serverId` the server `sender` showed, if any.
std::optional<qint64> requestShownAs(uint serverId, const QString &sender)
{
    for (auto it = posted().cbegin(); it != posted().cend(); ++it) {
        if (it->serverId == serverId && serverId != 0 && it->server == sender)
            return it.key();
    }
    return std::nullopt;
}

// Hears the server's signals. Any connection on the bus can send a signal with
// the server's interface and member names, so each one is checked against the
// unique name of the server that showed that notification.
class ServerSignals : public QObject {
    Q_OBJECT
public:
    static void listen()
    {
        static ServerSignals *listener = nullptr;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (listener || !bus.isConnected())
            return;
        listener = new ServerSignals; // lives as long as the process
        bus.connect(QString(), serverPath, serverInterface, QStringLiteral("ActionInvoked"), listener,
                    SLOT(actionInvoked(uint, QString, QDBusMessage)));
        bus.connect(QString(), serverPath, serverInterface, QStringLiteral("NotificationClosed"), listener,
                    SLOT(notificationClosed(uint, uint, QDBusMessage)));
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
        std::optional<NotificationChoice> choice;
        if (key == defaultKey)
            choice = NotificationChoice::open;
        else if (key == approveKey)
            choice = NotificationChoice::approve;
        else if (key == rejectKey)
            choice = NotificationChoice::reject;
        if (choice && choiceHandler())
            choiceHandler()(*requestId, *choice);
    }

    void notificationClosed(uint serverId, uint reason, const QDBusMessage &message)
    {
        if (const std::optional<qint64> requestId = requestShownAs(serverId, message.service())) {
            qCDebug(lcNotify) << "notification of request" << *requestId << "closed, reason" << reason;
            posted().remove(*requestId);
        }
    }
};

} // namespace

namespace RequestNotifier {

void notifyNewRequest(const SongRequest &request)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcNotify) << "no session bus: request" << request.id << "not notified";
        return;
    }
    ServerSignals::listen();

    const Posted &entry = posted()[request.id];
    const QStringList actions = notificationActions();
    qCDebug(lcNotify) << "notifying request" << request.id << (actions.isEmpty() ? "without actions" : "with actions");

    const QString appId = QString::fromLatin1(AppConfig::appId);
    const QVariantMap hints{
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
        {QStringLiteral("desktop-entry"), appId},
        {QStringLiteral("category"), QStringLiteral("im.received")},
    };
    QDBusMessage call = notificationsCall(QStringLiteral("Notify"));
    call << QStringLiteral("Cuelark") << entry.serverId << appId << QCoreApplication::translate("RequestNotifier", "New song request")
         << notificationBody(request) << actions << hints << -1;

    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [requestId = request.id](QDBusPendingCallWatcher *finished) {
                         finished->deleteLater();
                         const QDBusPendingReply<uint> reply = *finished;
                         if (!reply.isValid()) {
                             qCWarning(lcNotify) << "notification of request" << requestId
                                                 << "failed:" << reply.error().message();
                             return;
                         }
                         const auto entry = posted().find(requestId);
                         if (entry == posted().end()) {
                             // Withdrawn while this post was on its way.
                             closeOnServer(reply.value());
                             return;
                         }
                         entry->serverId = reply.value();
                         entry->server = reply.reply().service();
                     });
}

void withdraw(qint64 requestId)
{
    const auto entry = posted().constFind(requestId);
    if (entry == posted().cend())
        return;
    qCDebug(lcNotify) << "withdrawing the notification of request" << requestId;
    if (entry->serverId != 0)
        closeOnServer(entry->serverId);
    posted().erase(entry);
}

void setChoiceHandler(NotificationChoiceHandler handler)
{
    choiceHandler() = std::move(handler);
}

QCoro::Task<> requestPermission()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        co_return;
    ServerSignals::listen();
    const QDBusPendingReply<QStringList> reply =
        co_await bus.asyncCall(notificationsCall(QStringLiteral("GetCapabilities")), capabilitiesTimeoutMs);
    serverCapabilities() = reply.isValid() ? std::optional(reply.value()) : std::nullopt;
    qCDebug(lcNotify) << "notification server capabilities:"
                      << (reply.isValid() ? reply.value().join(QLatin1Char(' ')) : reply.error().message());
}

} // namespace RequestNotifier

#include "RequestNotifier.moc"
