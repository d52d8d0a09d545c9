#include "desktop/SystemEvents.h"

#include "Logging.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString networkManager = u"org.freedesktop.NetworkManager"_s;
const QString networkManagerPath = u"/org/freedesktop/NetworkManager"_s;

// NetworkManager's overall state: disconnected or disconnecting is offline,
// connected to the internet online; the rest (asleep, connecting, a local or
// site link only) is not worth a change either way.
std::optional<bool> onlineInState(uint state)
{
    constexpr uint disconnected = 20, disconnecting = 30, connectedGlobally = 70;
    switch (state) {
    case disconnected:
    case disconnecting:
        return false;
    case connectedGlobally:
        return true;
    default:
        return std::nullopt;
    }
}

} // namespace

SystemEvents::SystemEvents(QObject *parent)
    : QObject(parent)
{
    if (QDBusConnection system = QDBusConnection::systemBus(); system.isConnected()) {
        system.connect(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s,
                       u"PrepareForSleep"_s, this, SLOT(prepareForSleep(bool)));
        // NetworkManager's state, read directly: Qt's network information
        // loads every backend plugin to find NetworkManager's (the glib one
        // with gio), and the others guess from the routing table, which would
        // call a machine without a default route (a container, a venue's
        // isolated network) offline while the service answers.
        system.connect(networkManager, networkManagerPath, u"org.freedesktop.DBus.Properties"_s,
                       u"PropertiesChanged"_s, this, SLOT(networkPropertiesChanged(QString,QVariantMap,QStringList)));
        QDBusMessage get = QDBusMessage::createMethodCall(networkManager, networkManagerPath,
                                                          u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get.setArguments({networkManager, u"State"_s});
        // Where NetworkManager does not run, it is not started for this: the
        // machine then counts as online.
        get.setAutoStartService(false);
        auto *state = new QDBusPendingCallWatcher(system.asyncCall(get), this);
        connect(state, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *call;
            if (reply.isValid())
                networkStateChanged(reply.value().variant().toUInt());
        });
    }
    if (QDBusConnection session = QDBusConnection::sessionBus(); session.isConnected()) {
        const QString secrets = u"org.freedesktop.secrets"_s;
        auto *watcher = new QDBusServiceWatcher(secrets, session, QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &SystemEvents::secretStoreChanged);
        // An unlocked collection is announced as changed.
        session.connect(secrets, u"/org/freedesktop/secrets"_s, u"org.freedesktop.Secret.Service"_s,
                        u"CollectionChanged"_s, this, SLOT(secretStoreChanged()));
    }
}

void SystemEvents::setHandler(SystemEventHandler handler)
{
    m_handler = std::move(handler);
    if (!m_online)
        tell(SystemEvent::offline);
}

void SystemEvents::prepareForSleep(bool sleeping)
{
    tell(sleeping ? SystemEvent::sleeping : SystemEvent::woke);
}

void SystemEvents::networkPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
{
    if (interface == networkManager && changed.contains(u"State"_s))
        networkStateChanged(changed.value(u"State"_s).toUInt());
}

void SystemEvents::networkStateChanged(uint state)
{
    const std::optional<bool> online = onlineInState(state);
    if (!online || *online == m_online)
        return;
    qCDebug(lcDesktop) << "network state:" << state;
    m_online = *online;
    tell(m_online ? SystemEvent::online : SystemEvent::offline);
}

void SystemEvents::secretStoreChanged()
{
    qCDebug(lcDesktop) << "the secret store changed";
    tell(SystemEvent::secretStoreChanged);
}

void SystemEvents::tell(SystemEvent event)
{
    if (m_handler)
        m_handler(event);
}
