#pragma once

#include "notifications/RequestNotification.h"
#include "updates/Alert.h"

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// The desktop services AppState uses, and nothing else: the application's
// composition root (src/app/) fills every member with the desktop's own
// services, tests with fakes. Members are never left empty unless they say so.
//
// Errors across this seam: a service never throws. What can fail says so in its
// result (an absent token, false for a setting not written); what it does in
// the background it logs. Below the seam, the service client throws
// ServiceError (api/Errors.h) and AppState turns that into published state.
// What a read of the secret store found. A store that is not running, is
// locked or does not answer is not the same as one holding no token: the first
// may have the DJ's token as soon as it is there.
struct StoredToken {
    std::optional<QString> token;
    // Why the store could not be read, for the DJ; absent when it was read.
    std::optional<QString> unreadable;
};

// Changes of the machine that the refresh loop and the start-up react to.
enum class SystemEvent {
    sleeping, // the machine is about to suspend
    woke,
    offline, // the system reports no network
    online,
    secretStoreChanged, // the secret store appeared, or a collection was unlocked
};
using SystemEventHandler = std::function<void(SystemEvent)>;

struct Platform {
    // Secret store. The read may take seconds (a locked keyring waits for its
    // unlock prompt), so it is awaited rather than blocking the caller. The
    // save returns at once and tells `kept` (when given) later whether the
    // store kept the token.
    std::function<QCoro::Task<StoredToken>()> loadToken;
    std::function<void(const QString &, std::function<void(bool kept)>)> saveToken;
    std::function<void()> clearToken;

    // Wall clock, UTC.
    std::function<QDateTime()> now;
    // How long a timed wait of a nominal length in seconds (a sign-in poll, a
    // refresh pause) really lasts; tests shorten it.
    std::function<std::chrono::milliseconds(double seconds)> wait;
    // What calls to the service are sent through: the network, or in widget
    // tests a table of answers. Lives as long as the platform.
    QNetworkAccessManager *network = nullptr;
    // How long a call to the service may go without receiving anything.
    std::chrono::milliseconds idleTimeout{};

    // Opens a web page in the browser. Returns at once; `unopened` runs later
    // when no browser took the page (none could be started, or the opener
    // failed), so that the address can be offered to copy instead.
    std::function<void(const QUrl &, std::function<void()> unopened)> openUrl;

    // Desktop notifications. Reads what the notification service can show (one
    // round trip, for the posts after it); completes on any answer or none.
    std::function<QCoro::Task<>()> readNotificationCapabilities;
    std::function<void(const RequestNotification &)> notifyNewRequest;
    // Closes the request's notification when this run posted one that is still shown.
    std::function<void(qint64 requestId)> withdrawNotification;
    // Names who hears the choices the DJ makes on notifications (one listener;
    // a later call replaces the earlier one).
    std::function<void(NotificationChoiceHandler)> listenToNotificationChoices;

    // Names who hears the machine's changes (one listener; a later call
    // replaces the earlier one). When the system reports no network at the
    // time of the call, the listener hears `offline` at once. Empty where the
    // desktop tells nothing of the kind.
    std::function<void(SystemEventHandler)> listenToSystem;

    // Shows an application-modal alert and returns at once; the task ends with
    // the index of the pressed button, or -1 when the alert was dismissed.
    std::function<QCoro::Task<int>(Alert)> showAlert;

    // The per-user settings store named by the application identifier.
    std::function<std::unique_ptr<QSettings>()> openSettings;

    // Start at login. Both empty where the desktop has no such thing; the
    // setter returns whether the setting now is as asked.
    std::function<bool()> startsAtLogin;
    std::function<bool(bool enabled)> setStartAtLogin;
};
