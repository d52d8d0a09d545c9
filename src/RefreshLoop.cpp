#include "RefreshLoop.h"

#include "Logging.h"
#include "TaskHandle.h"
#include "api/Errors.h"

#include <algorithm>
#include <utility>

namespace {

std::optional<qint64> reconciledSelection(std::optional<qint64> selected, const QList<DJEvent> &events,
                                          const QDateTime &now)
{
    if (selected && std::ranges::any_of(events, [&](const DJEvent &event) { return event.id == *selected; }))
        return selected;
    if (events.isEmpty())
        return std::nullopt;
    const auto live = std::ranges::find_if(events, [&](const DJEvent &event) { return event.isLive(now); });
    return live != events.end() ? live->id : events.first().id;
}

bool isUnauthorized(const ServiceError &error)
{
    const auto *apiError = dynamic_cast<const APIError *>(&error);
    return apiError && apiError->kind() == APIError::Kind::unauthorized;
}

// The profile when asked for, the events, then the selected event's requests.
QCoro::Task<RefreshOutcome> fetch(GlassesAPIClient client, RefreshInputs inputs, QDateTime now)
{
    RefreshSnapshot snapshot;
    try {
        if (inputs.needsProfile)
            snapshot.profile = co_await client.me();
        snapshot.events = (co_await client.events()).events;
        snapshot.selectedEventId = reconciledSelection(inputs.selectedEventId, snapshot.events, now);
        if (snapshot.selectedEventId)
            snapshot.requests = co_await client.requests(*snapshot.selectedEventId, RefreshLoop::requestLimit);
    } catch (const ServiceError &error) {
        co_return RefreshFailure{error.description(), isUnauthorized(error)};
    }
    co_return snapshot;
}

} // namespace

RefreshLoop::RefreshLoop(Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
{
}

RefreshLoop::~RefreshLoop()
{
    stop();
}

void RefreshLoop::start(GlassesAPIClient client)
{
    stop();
    m_running = TaskHandle::create();
    runDetached(run(m_running, std::move(client)), lcRefresh);
}

void RefreshLoop::stop()
{
    m_cycleCalls.reset();
    m_pause.reset();
    m_cycleAgain = false;
    // The loop resumes on its aborted call or ended pause and, finding its
    // handle cancelled, ends without touching this object.
    if (const std::shared_ptr<TaskHandle> running = std::exchange(m_running, nullptr))
        running->cancel();
}

void RefreshLoop::refreshNow()
{
    if (m_cycleCalls)
        m_cycleAgain = true;
    else if (const std::shared_ptr<TaskHandle> pause = m_pause)
        pause->cancel();
}

void RefreshLoop::restart()
{
    if (const std::shared_ptr<TaskHandle> calls = m_cycleCalls) {
        m_cycleAgain = true;
        calls->cancel();
    } else if (const std::shared_ptr<TaskHandle> pause = m_pause) {
        pause->cancel();
    }
}

void RefreshLoop::abortCycle()
{
    if (const std::shared_ptr<TaskHandle> calls = m_cycleCalls)
        calls->cancel();
}

// The loop checks its handle after each suspension, so that a stop (or the
// destruction of this object) ends it there.
QCoro::Task<> RefreshLoop::run(std::shared_ptr<TaskHandle> running, GlassesAPIClient client)
{
    if (m_hooks.prepare) {
        co_await m_hooks.prepare();
        if (running->isCancelled())
            co_return;
    }
    for (;;) {
        const std::shared_ptr<TaskHandle> calls = m_cycleCalls = TaskHandle::create(running.get());
        qCDebug(lcRefresh) << "refresh cycle started";
        Q_EMIT cycleStarted();
        const RefreshOutcome outcome = co_await fetch(client.abortedBy(calls), m_hooks.inputs(), m_hooks.now());
        if (running->isCancelled())
            co_return;
        m_cycleCalls.reset();
        if (calls->isCancelled())
            qCDebug(lcRefresh) << "refresh cycle aborted";
        else
            m_hooks.publish(outcome);
        // Publishing may have ended the session, and the loop with it.
        if (running->isCancelled())
            co_return;
        Q_EMIT cycleEnded();
        if (running->isCancelled())
            co_return;
        if (std::exchange(m_cycleAgain, false))
            continue;
        m_pause = TaskHandle::create(running.get());
        co_await sleepFor(m_pause, m_hooks.pause());
        if (running->isCancelled())
            co_return;
        m_pause.reset();
    }
}
