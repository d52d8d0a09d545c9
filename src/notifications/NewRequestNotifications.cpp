#include "notifications/NewRequestNotifications.h"

#include <algorithm>

void NewRequestNotifications::look(qint64 eventId, const QList<SongRequest> &requests)
{
    show(m_baseline.look(eventId, requests));
}

void NewRequestNotifications::forget()
{
    show({.notify = {}, .withdraw = m_baseline.reset()});
}

std::optional<SongRequest> NewRequestNotifications::answerable(qint64 requestId,
                                                               const QList<SongRequest> &requests) const
{
    if (!m_baseline.isPending(requestId))
        return std::nullopt;
    const auto request = std::ranges::find_if(requests, [&](const SongRequest &r) { return r.id == requestId; });
    if (request == requests.end() || !request->isPending())
        return std::nullopt;
    return *request;
}

void NewRequestNotifications::show(const NotificationBaseline::Changes &changes)
{
    for (const qint64 requestId : changes.withdraw)
        m_platform.withdrawNotification(requestId);
    for (const SongRequest &request : changes.notify)
        m_platform.notifyNewRequest(requestNotification(request));
}
