#pragma once

#include "Platform.h"
#include "api/Models.h"

#include <qcoro/qcorotask.h>

// Desktop notifications through the freedesktop notification service on the
// session bus (org.freedesktop.Notifications).
namespace RequestNotifier {
// Posts "New song request" with body "<title> <artist>". Posting the same request
// again in this run replaces the earlier notification. When the server supports
// actions, the notification offers "Approve" and "Reject", and a click on its
// body opens the panel. Returns at once; the outcome is not observed.
void notifyNewRequest(const SongRequest &request);
// Closes the request's notification if this run posted it and the server has not
// closed it since; one whose post is still on its way is closed once it arrives.
void withdraw(qint64 requestId);
// Who hears the actions invoked on our notifications. Only signals from the
// server that showed a notification, about a notification this run posted,
// reach it.
void setChoiceHandler(NotificationChoiceHandler handler);
// One round trip to the notification service (its capabilities), remembered for
// later posts. Completes on any answer, error or absence of the service.
QCoro::Task<> requestPermission();
} // namespace RequestNotifier
