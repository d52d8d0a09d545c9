#include "notifications/RequestNotifier.h"

#include "AppConfig.h"
#include "DisplayText.h"

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

QDBusMessage notificationsCall(const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                          QStringLiteral("/org/freedesktop/Notifications"),
                                          QStringLiteral("org.freedesktop.Notifications"), method);
}

// The id the notification server gave each request's notification in this run,
// so a repeat replaces it instead of stacking a second one.
QHash<qint64, uint> &notificationIds()
{
    static QHash<qint64, uint> ids;
    return ids;
}

// Absent until the server has answered GetCapabilities.
std::optional<QStringList> &serverCapabilities()
{
    static std::optional<QStringList> capabilities;
    return capabilities;
}

// A server with body markup would render the audience's "<b>" or "&amp;" instead
// of showing it; while its capabilities are unknown, assume it has markup.
QString notificationBody(const SongRequest &request)
{
    // One line, in the order typed: no line breaks, controls or direction overrides.
    const QString text = DisplayText::line(request.songTitle + QLatin1Char(' ') + request.artistName);
    const auto &capabilities = serverCapabilities();
    if (capabilities && !capabilities->contains(QStringLiteral("body-markup")))
        return text;
    return text.toHtmlEscaped();
}

} // namespace

namespace RequestNotifier {

void notifyNewRequest(const SongRequest &request)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;

    const QString appId = QString::fromLatin1(AppConfig::appId);
    const QVariantMap hints{
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
        {QStringLiteral("desktop-entry"), appId},
        {QStringLiteral("category"), QStringLiteral("im.received")},
    };
    QDBusMessage call = notificationsCall(QStringLiteral("Notify"));
    call << QStringLiteral("Cuelark") << notificationIds().value(request.id, 0u)
         << appId << QCoreApplication::translate("RequestNotifier", "New song request")
         << notificationBody(request) << QStringList() << hints << -1;

    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [requestId = request.id](QDBusPendingCallWatcher *finished) {
                         const QDBusPendingReply<uint> reply = *finished;
                         if (reply.isValid())
                             notificationIds().insert(requestId, reply.value());
                         finished->deleteLater();
                     });
}

QCoro::Task<> requestPermission()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        co_return;
    const QDBusPendingReply<QStringList> reply =
        co_await bus.asyncCall(notificationsCall(QStringLiteral("GetCapabilities")), capabilitiesTimeoutMs);
    serverCapabilities() = reply.isValid() ? std::optional(reply.value()) : std::nullopt;
}

} // namespace RequestNotifier
