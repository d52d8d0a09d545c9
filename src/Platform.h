#pragma once

#include "api/GlassesAPIClient.h"
#include "api/Models.h"

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

// A modal alert: title, body and buttons in order.
struct Alert {
    QString title;
    QString body;
    QStringList buttons;
};

// What the DJ picked on a request's desktop notification: its body (open the
// panel), or one of its actions.
enum class NotificationChoice { open, approve, reject };
using NotificationChoiceHandler = std::function<void(qint64 requestId, NotificationChoice choice)>;

// The desktop services the application state and the update machinery use. The
// defaults are the real services; tests replace members with fakes.
struct Platform {
    // Secret store. The read may take seconds (a locked keyring waits for its
    // unlock prompt), so it is awaited rather than blocking the caller.
    std::function<QCoro::Task<std::optional<QString>>()> loadToken;
    std::function<void(const QString &)> saveToken;
    std::function<void()> clearToken;

    // Wall clock, UTC.
    std::function<QDateTime()> now;
    // How long a timed wait of a nominal length in seconds (a sign-in poll, a
    // refresh pause) really lasts; tests shorten it.
    std::function<std::chrono::milliseconds(double seconds)> wait;
    // How long a call to the service may go without receiving anything.
    std::chrono::milliseconds idleTimeout = GlassesAPIClient::defaultIdleTimeout;

    // Browser. The UI layer installs the real one (it needs a GUI application).
    std::function<void(const QUrl &)> openUrl;

    // Desktop notifications.
    std::function<QCoro::Task<>()> requestNotificationPermission;
    std::function<void(const SongRequest &)> notifyNewRequest;
    // Closes the request's notification when this run posted one that is still shown.
    std::function<void(qint64 requestId)> withdrawNotification = [](qint64) {};
    // Names who hears the choices the DJ makes on notifications (one listener;
    // a later call replaces the earlier one).
    std::function<void(NotificationChoiceHandler)> listenToNotificationChoices = [](const NotificationChoiceHandler &) {};

    // Modal alert; returns the index of the pressed button, or -1 when dismissed.
    // The UI layer installs the real one.
    std::function<int(const Alert &)> runAlert;

    // The per-user settings store named by the application identifier.
    std::function<std::unique_ptr<QSettings>()> openSettings;

    // Real secret store, clock, notifications and settings; openUrl and runAlert
    // do nothing until the UI layer sets them.
    static Platform desktop();
};
