#include "notifications/NotificationBaseline.h"

#include <algorithm>

namespace {

QList<qint64> ascending(QList<qint64> ids)
{
    std::ranges::sort(ids);
    return ids;
}

} // namespace

NotificationBaseline::Changes NotificationBaseline::look(qint64 eventId, const QList<SongRequest> &requests)
{
    QSet<qint64> pending;
    QList<SongRequest> arrived;
    for (const SongRequest &request : requests) {
        if (!request.isPending() || pending.contains(request.id))
            continue;
        pending.insert(request.id);
        if (!m_pending.contains(request.id))
            arrived.append(request);
    }
    Changes changes;
    if (m_eventId == eventId) {
        changes.notify = std::move(arrived);
        for (const qint64 id : std::as_const(m_pending)) {
            if (!pending.contains(id))
                changes.withdraw.append(id);
        }
        changes.withdraw = ascending(std::move(changes.withdraw));
    } else {
        changes.withdraw = reset();
    }
    m_eventId = eventId;
    m_pending = std::move(pending);
    return changes;
}

QList<qint64> NotificationBaseline::reset()
{
    const QList<qint64> known(m_pending.cbegin(), m_pending.cend());
    m_pending.clear();
    m_eventId.reset();
    return ascending(known);
}
