#pragma once

#include "Platform.h"

#include <QObject>

// The changes of the machine that the refresh loop and the start-up react to:
// sleep and wake (logind on the system bus), the network's reachability
// (NetworkManager's state on the system bus), and the secret store appearing
// or having a collection unlocked (the session bus). Where a source is missing
// its events never come, and the application runs as it would without them.
class SystemEvents : public QObject {
    Q_OBJECT
public:
    explicit SystemEvents(QObject *parent = nullptr);

    // One listener; a later call replaces the earlier one. It hears `offline`
    // at once when the system reports no network now.
    void setHandler(SystemEventHandler handler);

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
    void networkPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &);
    void secretStoreChanged();

private:
    void networkStateChanged(uint state);
    void tell(SystemEvent event);

    SystemEventHandler m_handler;
    bool m_online = true;
};
