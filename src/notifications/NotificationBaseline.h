#pragma once

#include "api/Models.h"

#include <QList>
#include <QSet>

#include <optional>

// Which requests of an event deserve a notification as its queue changes from
// one look to the next, and which notifications have had their day. The first
// look at an event only records what is pending there; after it, each request
// newly pending is notified, in list order, and each that stopped being pending
// (answered anywhere, or gone from the fetched page) is withdrawn; one that
// comes back is notified again. What was posted is withdrawn with the event,
// which is why the notifier's record of its posts is the only one kept.
class NotificationBaseline {
public:
    struct Changes {
        QList<SongRequest> notify;
        QList<qint64> withdraw; // ascending
        friend bool operator==(const Changes &, const Changes &) = default;
    };

    // A good look at `eventId`'s requests. A failed look is no look at all.
    Changes look(qint64 eventId, const QList<SongRequest> &requests);
    // Forgets the event (a sign-out, another event, none left); returns what to withdraw.
    QList<qint64> reset();
    // Whether the request was pending at the last look.
    bool isPending(qint64 requestId) const { return m_pending.contains(requestId); }

private:
    std::optional<qint64> m_eventId;
    QSet<qint64> m_pending;
};
