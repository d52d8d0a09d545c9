#pragma once

#include "Platform.h"
#include "api/Models.h"
#include "notifications/NotificationBaseline.h"

#include <QList>

#include <optional>

// The desktop notifications of new requests: posted and withdrawn as the
// selected event's queue is looked at, and the requests a choice made on one
// of them may still answer.
class NewRequestNotifications {
public:
    explicit NewRequestNotifications(const Platform &platform)
        : m_platform(platform)
    {
    }

    // A good look at `eventId`'s requests (the first one at an event is silent).
    void look(qint64 eventId, const QList<SongRequest> &requests);
    // Withdraws what was posted; the next look is a first look.
    void forget();
    // The request a notification's approve or reject may answer: pending at the
    // last look and still pending in `requests`. One answered elsewhere in the
    // meantime keeps that answer.
    std::optional<SongRequest> answerable(qint64 requestId, const QList<SongRequest> &requests) const;

private:
    void show(const NotificationBaseline::Changes &changes);

    const Platform &m_platform;
    NotificationBaseline m_baseline;
};
