#include "desktop/SystemEvents.h"

#include "Logging.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QNetworkInformation>

using namespace Qt::StringLiterals;

SystemEvents::SystemEvents(QObject *parent)
    : QObject(parent)
{
    if (QDBusConnection system = QDBusConnection::systemBus(); system.isConnected()) {
        system.connect(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s,
                       u"PrepareForSleep"_s, this, SLOT(prepareForSleep(bool)));
    }
    // NetworkManager's backend only: the others guess from the routing table,
    // which would call a machine without a default route (a container, a
    // venue's isolated network) offline while the service answers.
    if (QNetworkInformation::loadBackendByName(u"networkmanager"_s)) {
        QNetworkInformation *network = QNetworkInformation::instance();
        m_online = network->reachability() != QNetworkInformation::Reachability::Disconnected;
        connect(network, &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability reachability) {
                    qCDebug(lcDesktop) << "network reachability:" << reachability;
                    // Only full reachability is "back"; a link without the
                    // internet is not yet worth a refresh.
                    if (reachability == QNetworkInformation::Reachability::Disconnected && m_online)
                        m_online = false, tell(SystemEvent::offline);
                    else if (reachability == QNetworkInformation::Reachability::Online && !m_online)
                        m_online = true, tell(SystemEvent::online);
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
