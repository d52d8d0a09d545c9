#include "TaskHandle.h"

#include <qcoro/qcorosignal.h>

std::shared_ptr<TaskHandle> TaskHandle::create(const TaskHandle *parent)
{
    std::shared_ptr<TaskHandle> handle(new TaskHandle);
    if (parent) {
        if (parent->isCancelled())
            handle->cancel();
        else
            QObject::connect(parent, &TaskHandle::cancelled, handle.get(), &TaskHandle::cancel);
    }
    return handle;
}

void TaskHandle::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    Q_EMIT cancelled();
}

QCoro::Task<> sleepFor(std::shared_ptr<const TaskHandle> handle, std::chrono::milliseconds duration)
{
    if (!handle->isCancelled())
        co_await qCoro(handle.get(), &TaskHandle::cancelled, duration);
}
