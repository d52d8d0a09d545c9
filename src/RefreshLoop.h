#pragma once

#include "Flow.h"
#include "Platform.h"
#include "api/GlassesAPIClient.h"
#include "api/Models.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

// What the state lacks and shows when a cycle begins.
struct RefreshInputs {
    bool needsProfile = false;
    std::optional<qint64> selectedEventId;
};

// What a good cycle brought back, all of it fetched by that one cycle.
struct RefreshSnapshot {
    std::optional<MeResponse> profile; // absent unless it was asked for
    QList<DJEvent> events;
    // The choice the cycle began with when it is still among the events, or
    // else the first live event, or else the first; absent without events.
    std::optional<qint64> selectedEventId;
    std::optional<RequestsResponse> requests; // the selected event's; absent without one
};

struct RefreshFailure {
    QString description;
    bool unauthorized = false; // the service no longer takes the token
};

using RefreshOutcome = std::variant<RefreshSnapshot, RefreshFailure>;

// The session's traffic with the queue: its refresh cycles, one after another,
// with a pause that runs from the end of one cycle to the start of the next,
// and the DJ's answers to requests. A cycle reads its inputs when it begins and
// hands its outcome over when it ends; a cycle whose calls were aborted
// (restart, sleep, stop) hands over nothing. As cycles never overlap, an older
// answer can never land over a newer one.
class RefreshLoop : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<RefreshInputs()> inputs;
        std::function<void(const RefreshOutcome &)> publish;
        // Done once before the first cycle of each start; it may not throw.
        std::function<QCoro::Task<>()> prepare;
        std::function<QDateTime()> now;
        // The real length of the pause between cycles.
        std::function<std::chrono::milliseconds()> pause;
        // The service refused an answer, for this reason.
        std::function<void(const QString &)> answerRefused;
    };
    static constexpr qint64 requestLimit = 25;

    explicit RefreshLoop(Hooks hooks, QObject *parent = nullptr);
    ~RefreshLoop() override;

    // Starts the cycles of a session with its client (stopping those of
    // another); the first begins at once.
    void start(GlassesAPIClient client);
    // Aborts the cycle in flight, silently, and runs no more.
    void stop();
    bool isRunning() const { return m_running != nullptr; }

    // Ends the pause, or runs one more cycle right after the one in flight.
    void refreshNow();
    // Aborts the cycle in flight and begins one now (the selection changed,
    // the machine woke).
    void restart();
    // Sends an answer under the running session; one the service accepts is
    // followed by a refresh.
    void answer(const SongRequest &request, RequestAction action);

    // Going to sleep aborts the cycle in flight, silently (a call left open over
    // the sleep would wait out the idle timeout after it); waking restarts;
    // the network's return ends the pause. While the system reports no network
    // the DJ is told so rather than shown the connection error; the panel and
    // the tooltip still give the time of the last update.
    void systemChanged(SystemEvent event);

Q_SIGNALS:
    void cycleStarted();
    // After the outcome, if any, was handed over.
    void cycleEnded();

private:
    Flow run(FlowScope scope);
    Flow sendAnswer(FlowScope scope, qint64 requestId, RequestAction action);
    RefreshFailure offline() const;

    Hooks m_hooks;
    // While the loop runs; cancelling it ends the loop and its calls.
    std::shared_ptr<TaskHandle> m_running;
    std::optional<GlassesAPIClient> m_client; // the running session's
    // The calls of the cycle in flight; absent between cycles.
    std::shared_ptr<TaskHandle> m_cycleCalls;
    // The pause while it lasts; ending it begins the next cycle.
    std::shared_ptr<TaskHandle> m_pause;
    bool m_cycleAgain = false;
    bool m_offline = false;
};
