#pragma once

#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>

#include <qcoro/qcorosignal.h>

namespace DBus {

// The call once its answer (or error) has arrived, awaited through its
// watcher's signal: QCoro's header-only part is all the app links.
inline QCoro::Task<QDBusPendingCall> answered(QDBusPendingCall call)
{
    QDBusPendingCallWatcher watcher(call);
    if (!watcher.isFinished())
        co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
    co_return call;
}

} // namespace DBus
