#include "app/DesktopServices.h"

#include "AppConfig.h"
#include "desktop/Browser.h"
#include "ui/DesktopUi.h"

#ifdef CUELARK_FREEDESKTOP
#include "desktop/Autostart.h"
#include "desktop/KWallet.h"
#include "desktop/SystemEvents.h"
#endif

#include <QCoreApplication>

#include <cmath>

DesktopServices::DesktopServices(QSystemTrayIcon *trayIcon)
    : m_notifier(trayIcon)
{
    if (auto *app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, &m_notifier, &Notifier::withdrawAll);
    }
#ifdef CUELARK_FREEDESKTOP
    m_secrets.setNothingStoredCheck(&KWallet::hasNoWallet);
#endif
}

Platform DesktopServices::platform()
{
    Platform platform{
        .loadToken = [this] { return m_secrets.load(); },
        .saveToken = [this](const QString &token, std::function<void(bool)> kept) {
            m_secrets.save(token, std::move(kept));
        },
        .clearToken = [this] { m_secrets.clear(); },
        .now = [] { return QDateTime::currentDateTimeUtc(); },
        .wait = [](double seconds) { return std::chrono::milliseconds(std::llround(seconds * 1000.0)); },
        .idleTimeout = serviceIdleTimeout,
        .openUrl = &Browser::open,
        .readNotificationCapabilities = [this] { return m_notifier.readCapabilities(); },
        .notifyNewRequest = [this](const RequestNotification &notification) {
            m_notifier.post(notification);
        },
        .withdrawNotification = [this](qint64 requestId) {
            m_notifier.withdraw(requestId);
        },
        .listenToNotificationChoices = [this](NotificationChoiceHandler handler) {
            m_notifier.setChoiceHandler(std::move(handler));
        },
        .listenToSystem = {},
        .showAlert = &DesktopUi::showAlert,
        .openSettings = [] {
            return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                               QString::fromLatin1(AppConfig::appId));
        },
        .startsAtLogin = {},
        .setStartAtLogin = {},
    };
#ifdef CUELARK_FREEDESKTOP
    // Built on first use, one for each platform handed out (and gone with it):
    // its first calls may block while the buses answer.
    platform.listenToSystem = [system = std::shared_ptr<SystemEvents>()](SystemEventHandler handler) mutable {
        if (!system)
            system = std::make_shared<SystemEvents>();
        system->setHandler(std::move(handler));
    };
    platform.startsAtLogin = &Autostart::isEnabled;
    platform.setStartAtLogin = [](bool enabled) {
        return Autostart::setEnabled(enabled, QCoreApplication::applicationFilePath());
    };
#endif
    return platform;
}
