#pragma once

#include "Platform.h"
#include "api/GlassesAPIClient.h"

#include <QEventLoop>
#include <QTemporaryDir>

#include <chrono>
#include <exception>

class QNetworkAccessManager;

// The suites' idle timeout for calls to the service: long enough never to fire
// unless a test makes a call go quiet.
inline constexpr std::chrono::milliseconds testIdleTimeout{30'000};

// What the suites' calls over loopback go through: one access manager for the
// process, gone with the application object.
QNetworkAccessManager *loopbackNetwork();

// A client of the service at `url` with the suites' idle timeout.
inline GlassesAPIClient testClient(std::optional<QString> token, QUrl url,
                                   std::shared_ptr<const TaskHandle> abortHandle = nullptr)
{
    return GlassesAPIClient(loopbackNetwork(), std::move(token), std::move(url), testIdleTimeout, std::move(abortHandle));
}

// In-memory stand-ins for the desktop services, recording what the application
// asked of them. `platform()` hands out a Platform that refers back to this
// object, so it must outlive every AppState built from it.
struct FakeDesktop {
    explicit FakeDesktop(QNetworkAccessManager *network = loopbackNetwork()) : network(network) {}
    std::optional<QString> storedToken;
    // Set: the store cannot be read (why), and keeps nothing.
    std::optional<QString> storeUnreadable;
    int tokenClears = 0;

    // The wall clock: it stands still unless a test moves it.
    QDateTime clock = QDateTime(QDate(2026, 3, 7), QTime(20, 0), Qt::UTC);
    // The nominal length in seconds of every timed wait asked for.
    QList<double> waits;
    std::chrono::milliseconds idleTimeout = testIdleTimeout;
    QNetworkAccessManager *network; // what calls to the service go through

    // What AppState listens with for the machine's changes; call it to tell one.
    SystemEventHandler systemEvents;

    QList<QUrl> openedUrls;
    bool browserWorks = true;
    QList<RequestNotification> notifications;
    int capabilityReads = 0;
    QList<Alert> alerts;
    int alertAnswer = 1; // "Later"

    QTemporaryDir settingsDir;
    // Start at login: the setting, and whether a change of it succeeds.
    bool startsAtLogin = false;
    bool startAtLoginWritable = true;

    Platform platform(double waitScale = 0.001);
};

// Spins the event loop until `done` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000);

class AppState;
// Asks for a refresh and waits until a cycle begun after the call has ended;
// false when none did within `timeoutMs` (as while signed out).
bool refreshed(AppState &app, int timeoutMs = 5000);

// Runs a task to completion in a local event loop and returns its result or
// rethrows its exception. (QCoro::waitFor of QCoro 0.8 never returns when the
// task throws after suspending.)
template<typename T>
T awaitTask(QCoro::Task<T> task)
{
    QEventLoop loop;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    std::exception_ptr failure;
    // The coroutine takes what it touches as parameters: a lambda's captures
    // would end with the temporary lambda, before the coroutine resumes.
    auto runner = [](QCoro::Task<T> task, auto &result, std::exception_ptr &failure,
                     QEventLoop &loop) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(task);
                result = true;
            } else {
                result = co_await std::move(task);
            }
        } catch (...) {
            failure = std::current_exception();
        }
        loop.quit();
    }(std::move(task), result, failure, loop);
    if (!result && !failure)
        loop.exec();
    if (failure)
        std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}
