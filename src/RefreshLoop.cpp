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
    m_client = std::move(client);
    run({m_running, lcRefresh});
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
    m_client.reset();
}

void RefreshLoop::answer(const SongRequest &request, RequestAction action)
{
    if (!isRunning()) {
        qCDebug(lcRefresh) << "request" << request.id << "not answered: signed out";
        return;
    }
    qCDebug(lcRefresh) << "request" << request.id << "answered:" << wireString(action);
    sendAnswer({m_running, lcRefresh}, request.id, action);
}

Flow RefreshLoop::sendAnswer(FlowScope, qint64 requestId, RequestAction action)
{
    try {
        co_await m_client->updateRequest(requestId, action);
        refreshNow();
    } catch (const ServiceError &error) {
        qCWarning(lcRefresh) << "answering request" << requestId << "failed:" << error.description();
        m_hooks.answerRefused(error.description());
    }
}

RefreshFailure RefreshLoop::offline() const
{
    return {.description = tr("You are offline: the system reports no network. Cuelark refreshes as soon as it "
                              "is back."),
            .unauthorized = false};
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

void RefreshLoop::systemChanged(SystemEvent event)
{
    switch (event) {
    case SystemEvent::sleeping:
        qCDebug(lcRefresh) << "the machine is going to sleep";
        if (const std::shared_ptr<TaskHandle> calls = m_cycleCalls)
            calls->cancel();
        return;
    case SystemEvent::woke:
        qCDebug(lcRefresh) << "the machine woke";
        restart();
        return;
    case SystemEvent::online:
        qCDebug(lcRefresh) << "the network is back";
        m_offline = false;
        refreshNow();
        return;
    case SystemEvent::offline:
        qCDebug(lcRefresh) << "the system reports no network";
        m_offline = true;
        if (isRunning())
            m_hooks.publish(offline());
        return;
    case SystemEvent::secretStoreChanged:
        return;
    }
}

Flow RefreshLoop::run(FlowScope scope)
{
    if (m_hooks.prepare)
        co_await m_hooks.prepare();
    for (;;) {
        const std::shared_ptr<TaskHandle> calls = m_cycleCalls = TaskHandle::create(scope.handle.get());
        qCDebug(lcRefresh) << "refresh cycle started";
        Q_EMIT cycleStarted();
        RefreshOutcome outcome = co_await fetch(m_client->abortedBy(calls), m_hooks.inputs(), m_hooks.now());
        m_cycleCalls.reset();
        if (std::holds_alternative<RefreshFailure>(outcome) && m_offline)
            outcome = offline();
        if (calls->isCancelled())
            qCDebug(lcRefresh) << "refresh cycle aborted";
        else
            m_hooks.publish(outcome);
        // Publishing may have ended the session, and stopped the loop with it;
        // so may whoever hears that the cycle ended.
        if (scope.handle->isCancelled())
            co_return;
        Q_EMIT cycleEnded();
        if (scope.handle->isCancelled())
            co_return;
        if (std::exchange(m_cycleAgain, false))
            continue;
        m_pause = TaskHandle::create(scope.handle.get());
        co_await sleepFor(m_pause, m_hooks.pause());
        m_pause.reset();
    }
}
