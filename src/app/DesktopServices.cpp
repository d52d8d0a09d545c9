#include "app/DesktopServices.h"

#include "AppConfig.h"
#include "TaskHandle.h"
#include "desktop/Browser.h"
#include "ui/DesktopUi.h"

#ifdef CUELARK_FREEDESKTOP
#include "desktop/Autostart.h"
#include "desktop/KWallet.h"
#include "desktop/SystemEvents.h"
#endif

#include <QCoreApplication>
#include <QTimer>

#include <cmath>

namespace {

using namespace std::chrono_literals;

// The first read comes from the state built before the tray icon: it starts on
// the event loop's first turn, once the icon has been asked for.
QCoro::Task<StoredToken> loadOnceRunning(SecretStore &secrets)
{
    // A wait no one cancels: the event loop's next turn.
    co_await sleepFor(TaskHandle::create(), 0ms);
    co_return co_await secrets.load();
}

} // namespace

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
        .loadToken = [this] { return loadOnceRunning(m_secrets); },
        .saveToken = [this](const QString &token, std::function<void(bool)> kept) {
            m_secrets.save(token, std::move(kept));
        },
        .clearToken = [this] { m_secrets.clear(); },
        .now = [] { return QDateTime::currentDateTimeUtc(); },
        .wait = [](double seconds) { return std::chrono::milliseconds(std::llround(seconds * 1000.0)); },
        .network = &m_network,
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
    // One for each platform handed out, shared by its copies and gone with the
    // last of them. Built on the event loop's first turn after a listener is
    // named, behind the tray icon: it connects to the system bus and asks
    // NetworkManager for the network's state.
    auto system = std::make_shared<std::unique_ptr<SystemEvents>>();
    platform.listenToSystem = [system](SystemEventHandler handler) {
        QTimer::singleShot(0, QCoreApplication::instance(),
                           [weak = std::weak_ptr(system), handler = std::move(handler)]() mutable {
            const auto events = weak.lock();
            if (!events)
                return;
            if (!*events)
                *events = std::make_unique<SystemEvents>();
            (*events)->setHandler(std::move(handler));
        });
    };
    platform.startsAtLogin = &Autostart::isEnabled;
    platform.setStartAtLogin = [](bool enabled) {
        return Autostart::setEnabled(enabled, QCoreApplication::applicationFilePath());
    };
#endif
    return platform;
}
