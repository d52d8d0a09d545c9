#pragma once

#include "Flow.h"
#include "notifications/RequestNotification.h"

#include <QObject>

#include <memory>

#include <qcoro/qcorotask.h>

class QSystemTrayIcon;

// Posts the new-request notifications and hears what the DJ does with them.
// On a freedesktop desktop that is the notification service on the session bus
// (org.freedesktop.Notifications); the portable build shows them as the tray
// icon's messages, without actions.
class Notifier : public QObject {
    Q_OBJECT
public:
    // The portable build shows its messages through `trayIcon`; the freedesktop
    // build does not use it.
    explicit Notifier(QSystemTrayIcon *trayIcon = nullptr, QObject *parent = nullptr);
    ~Notifier() override;

    // Posting the same request again in this run replaces the earlier
    // notification. Actions are offered only where the service shows them.
    // Returns at once; the outcome is not observed.
    void post(const RequestNotification &notification);
    // Closes the request's notification if this run posted it and the service
    // has not closed it since; one whose post is still on its way is closed
    // once it arrives.
    void withdraw(qint64 requestId);
    // Every notification this run posted that is still shown (at the end of a run).
    void withdrawAll();
    // Who hears the choices made on our notifications. Only signals from the
    // service that showed a notification, about a notification this run
    // posted, reach it.
    void setChoiceHandler(NotificationChoiceHandler handler);
    // One round trip to the service (what it can show), remembered for later
    // posts. Completes on any answer, error or absence of the service.
    QCoro::Task<> readCapabilities();

private:
    void watchServer();
    // A new server may show other things than the last one.
    Flow rereadCapabilities(FlowScope scope);

    struct Private;
    std::unique_ptr<Private> d;
};
