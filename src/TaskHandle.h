#pragma once

#include <QObject>

#include <chrono>
#include <memory>
#include <utility>

#include <qcoro/qcorotask.h>

// The handle of a cancellable flow (Flow.h). Cancelling it ends the timed waits
// at once and aborts the network calls made under it; the flow stops at its
// next resumption without touching state.
class TaskHandle : public QObject {
    Q_OBJECT
public:
    // A handle whose parent is cancelled is cancelled with it.
    static std::shared_ptr<TaskHandle> create(const TaskHandle *parent = nullptr);

    bool isCancelled() const { return m_cancelled; }
    void cancel();

Q_SIGNALS:
    void cancelled();

private:
    TaskHandle() = default;
    bool m_cancelled = false;
};

// Waits `duration` on a monotonic timer, or less when `handle` is or becomes
// cancelled. The handle is kept alive
// for the length of the wait.
QCoro::Task<> sleepFor(std::shared_ptr<const TaskHandle> handle, std::chrono::milliseconds duration);

// Wraps a callback that may be called after its owner ended `handle`: then it
// does nothing.
template<typename Callback>
auto whileAlive(std::shared_ptr<const TaskHandle> handle, Callback callback)
{
    return [handle = std::move(handle), callback = std::move(callback)](auto &&...args) {
        if (!handle->isCancelled())
            callback(std::forward<decltype(args)>(args)...);
    };
}
