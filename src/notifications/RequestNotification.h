#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <utility>

struct SongRequest;

// What the DJ picked on a request's desktop notification: its body (open the
// panel), or one of its actions.
enum class NotificationChoice { open, approve, reject };
using NotificationChoiceHandler = std::function<void(qint64 requestId, NotificationChoice choice)>;

// A new request's notification as the DJ reads it, whichever service shows it.
// Title and body are plain text on one line; a service that renders markup
// must escape them.
struct RequestNotification {
    qint64 requestId = 0;
    QString title;
    QString body;
    // Offered where the notification service shows actions; `open` is the
    // click on the body.
    QList<std::pair<NotificationChoice, QString>> actions;

    friend bool operator==(const RequestNotification &, const RequestNotification &) = default;
};

// "New song request", "<title> <artist>".
RequestNotification requestNotification(const SongRequest &request);
