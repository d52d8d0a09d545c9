#include "support/FakeSystemServices.h"

#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace {
const QString networkPath = u"/org/freedesktop/NetworkManager"_s, networkName = u"org.freedesktop.NetworkManager"_s;
} // namespace

FakeSystemServices::FakeSystemServices()
    : m_system(QDBusConnection::connectToBus(QDBusConnection::SystemBus, u"fake-system"_s))
{
    m_registered = m_system.isConnected()
        && m_system.registerObject(networkPath, &m_network, QDBusConnection::ExportAllProperties)
        && m_system.registerService(networkName) && m_system.registerService(u"org.freedesktop.login1"_s);
}

FakeSystemServices::~FakeSystemServices()
{
    QDBusConnection::disconnectFromBus(u"fake-system"_s);
}

bool FakeSystemServices::setSleeping(bool sleeping)
{
    return send(u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s, {sleeping});
}

bool FakeSystemServices::setNetworkState(uint state)
{
    return send(networkPath, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s,
                {networkName, QVariantMap{{u"State"_s, state}}, QStringList()});
}

bool FakeSystemServices::send(const QString &path, const QString &interface, const QString &member,
                              const QVariantList &arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, member);
    signal.setArguments(arguments);
    return m_system.send(signal);
}
