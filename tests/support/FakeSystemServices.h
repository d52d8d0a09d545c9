#pragma once

#include <QDBusConnection>
#include <QObject>

// NetworkManager's one property the program reads.
class FakeNetworkManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint State MEMBER state)
public:
    uint state = 70; // connected, globally
};

// logind and NetworkManager on a system bus of one's own (the one of
// scripts/with-session.sh): their names owned from a connection of this
// process, and their signals sent when told.
class FakeSystemServices {
public:
    FakeSystemServices();
    ~FakeSystemServices();
    FakeSystemServices(const FakeSystemServices &) = delete;
    FakeSystemServices &operator=(const FakeSystemServices &) = delete;

    // Whether both names are owned: false without a system bus.
    bool isRegistered() const { return m_registered; }
    // logind's PrepareForSleep; NetworkManager's State announced as changed.
    bool setSleeping(bool sleeping);
    bool setNetworkState(uint state);

private:
    bool send(const QString &path, const QString &interface, const QString &member, const QVariantList &arguments);

    QDBusConnection m_system;
    FakeNetworkManager m_network;
    bool m_registered = false;
};
