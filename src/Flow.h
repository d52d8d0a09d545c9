#pragma once

#include "TaskHandle.h"

#include <QLoggingCategory>

#include <coroutine>
#include <memory>
#include <type_traits>
#include <utility>

#include <qcoro/qcorotask.h>

// What a flow runs under: the handle whose cancellation ends it, and the
// logging category that hears of an exception escaping it.
struct FlowScope {
    std::shared_ptr<const TaskHandle> handle;
    const QLoggingCategory &(*category)();
};

// A coroutine that changes state as it goes, and so must stop the moment its
// owner cancels it: declared `Flow name(FlowScope scope, ...)`. It starts at
// once and frees itself when it ends. Every co_await in it checks the scope's
// handle on resuming and, once that is cancelled, ends the flow right there:
// nothing after the await runs, the flow's own locals are destroyed and nothing
// else is touched, so a flow cannot forget the check. An exception that
// escapes it is logged in the scope's category.
//
// A flow awaits QCoro tasks only (the compiler refuses anything else), and
// those touch nothing but their arguments: the checks are the flow's.
// Cancelling the handle also aborts the calls and ends the waits made under
// it, so an awaiting flow resumes soon after.
class Flow {
public:
    class promise_type;
};

namespace FlowDetail {

// Thrown into a flow whose handle was cancelled while it awaited; caught by the
// flow's promise, never seen by the flow's own catch blocks (it is not a
// std::exception).
struct Cancelled {};

template<typename T>
class CheckedAwait {
public:
    CheckedAwait(QCoro::Task<T> &&task, const std::shared_ptr<const TaskHandle> &handle)
        : m_task(std::move(task))
        , m_awaiter(m_task.operator co_await())
        , m_handle(handle)
    {
    }
    bool await_ready() { return m_awaiter.await_ready(); }
    void await_suspend(std::coroutine_handle<> flow) { m_awaiter.await_suspend(flow); }
    decltype(auto) await_resume()
    {
        if (m_handle->isCancelled())
            throw Cancelled{};
        return m_awaiter.await_resume();
    }

private:
    QCoro::Task<T> m_task;
    decltype(std::declval<const QCoro::Task<T> &>().operator co_await()) m_awaiter;
    std::shared_ptr<const TaskHandle> m_handle;
};

inline const FlowScope *pick(const FlowScope &scope, const FlowScope *) { return &scope; }
template<typename T>
const FlowScope *pick(const T &, const FlowScope *found) { return found; }

} // namespace FlowDetail

class Flow::promise_type {
public:
    // The coroutine's own arguments (the object first, for a member function),
    // one of which is the scope.
    template<typename... Args>
    explicit promise_type(const Args &...args)
    {
        static_assert((std::is_same_v<Args, FlowScope> + ... + 0) == 1, "a flow takes one FlowScope");
        const FlowScope *scope = nullptr;
        ((scope = FlowDetail::pick(args, scope)), ...);
        m_scope = *scope;
    }

    Flow get_return_object() noexcept { return {}; }
    std::suspend_never initial_suspend() noexcept { return {}; }
    std::suspend_never final_suspend() noexcept { return {}; }
    void return_void() noexcept {}
    void unhandled_exception() noexcept;

    template<typename T>
    FlowDetail::CheckedAwait<T> await_transform(QCoro::Task<T> &&task)
    {
        return {std::move(task), m_scope.handle};
    }

private:
    FlowScope m_scope;
};
