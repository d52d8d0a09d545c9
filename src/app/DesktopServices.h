#pragma once

#include "Platform.h"
#include "desktop/Notifier.h"
#include "desktop/SecretStore.h"

#include <QNetworkAccessManager>

#include <chrono>

class QSystemTrayIcon;

// The composition root: the one place that picks the desktop's services and
// hands them to AppState. Owns the services that keep state of their own, so it
// must outlive every AppState given its platform().
class DesktopServices {
public:
    // How long a call to the service may go without receiving anything.
    static constexpr std::chrono::milliseconds serviceIdleTimeout{60'000};

    // `trayIcon` shows notifications where the desktop has no notification
    // service of its own (the portable build).
    explicit DesktopServices(QSystemTrayIcon *trayIcon = nullptr);

    Platform platform();

private:
    // One for the process, so that connections to the service are reused.
    QNetworkAccessManager m_network;
    SecretStore m_secrets;
    Notifier m_notifier;
};
