#pragma once

#include "api/Models.h"

#include <qcoro/qcorotask.h>

// Desktop notifications through the freedesktop notification service on the
// session bus (org.freedesktop.Notifications).
namespace RequestNotifier {
// Posts "New song request" with body "<title> <artist>". Posting the same request
// again in this run replaces the earlier notification. Returns at once; the
// outcome is not observed.
void notifyNewRequest(const SongRequest &request);
// One round trip to the notification service (its capabilities), remembered for
// later posts. Completes on any answer, error or absence of the service.
QCoro::Task<> requestPermission();
} // namespace RequestNotifier
