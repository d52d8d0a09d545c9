#pragma once

#include "Platform.h"
#include "RefreshLoop.h"
#include "api/GlassesAPIClient.h"
#include "api/Models.h"
#include "notifications/NotificationBaseline.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

class TaskHandle;

// The application's state: everything the panel shows, and the session, the
// browser sign-in and the request answers that change it. The refresh loop
// fetches the queue and hands each cycle's outcome over to be published here.
// Lives on the main thread. Every assignment to a published field emits that
// field's signal once (even when the value did not change), in assignment
// order, followed by changed(); a refresh whose events or requests came back
// byte for byte as last time does not assign them again.
class AppState : public QObject {
    Q_OBJECT
public:
    enum class AuthState { signedOut, waitingForBrowser, signedIn };
    Q_ENUM(AuthState)

    // Starts reading the stored token and returns without waiting for the secret
    // store: once a token has been read the state becomes signedIn and polling
    // starts; without one it stays signedOut and nothing runs. A store that
    // cannot be read yet is read again when the desktop says it changed, and
    // at least every storeRetryInterval. A sign-in or sign-out before the read
    // ends makes its result void.
    explicit AppState(Platform platform, QUrl serviceUrl = GlassesAPIClient::defaultServiceUrl(),
                      QObject *parent = nullptr);
    ~AppState() override;

    // Published fields.
    AuthState authState() const { return m_authState; }
    const std::optional<QString> &userName() const { return m_userName; }
    const QList<DJEvent> &events() const { return m_events; }
    std::optional<qint64> selectedEventId() const { return m_selectedEventId; }
    const QList<SongRequest> &requests() const { return m_requests; }
    qint64 totalPending() const { return m_totalPending; }
    const std::optional<QDateTime> &lastUpdated() const { return m_lastUpdated; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    // Whether the latest refresh cycle failed (its error is the errorMessage);
    // false while signed out. Changes just before errorMessage.
    bool lastRefreshFailed() const { return m_lastRefreshFailed; }
    // The last web page no browser took, offered to copy; cleared when another
    // page is opened or the sign-in it was for completes.
    const std::optional<QUrl> &unopenedPage() const { return m_unopenedPage; }
    // What the DJ should know about the secret store: that it is being waited
    // for, or that it could not keep this run's sign-in. Absent otherwise.
    const std::optional<QString> &storeNotice() const { return m_storeNotice; }

    // Operations the panel calls.
    void signIn();
    void cancelSignIn();
    void signOut();
    // A refresh cycle now, or right after the one in flight.
    void refresh();
    // Shows the event's requests: the old list goes at once, the new one is
    // fetched at once.
    void select(qint64 eventId);
    void act(const SongRequest &request, RequestAction action);
    // The check the DJ asks for: its outcome always shows, a failure included.
    void checkForUpdates();
    // One of the service's pages in the browser, or offered to copy when no
    // browser takes it (the panel is asked to open then).
    void openPage(const QUrl &page);

    // Start at login: absent where the desktop has no such setting. The
    // setter returns whether the setting now is as asked.
    std::optional<bool> startsAtLogin() const;
    bool setStartAtLogin(bool enabled);

    const QUrl &serviceUrl() const { return m_serviceUrl; }
    QDateTime now() const { return m_platform.now(); }

    // The tracked flows' handles (absent until first started; kept after they end).
    std::shared_ptr<const TaskHandle> authPollTask() const { return m_authPollTask; }
    const RefreshLoop &refreshLoop() const { return m_refreshLoop; }
    bool hasCheckedUpdatesThisSession() const { return m_hasCheckedUpdatesThisSession; }

    static constexpr double statsPollInterval = 10.0;
    static constexpr double authPollInterval = 2.0;
    static constexpr double signInFallbackDeadline = 600.0;
    static constexpr double storeRetryInterval = 30.0;

Q_SIGNALS:
    void authStateChanged();
    void userNameChanged();
    void eventsChanged();
    void selectedEventIdChanged();
    void requestsChanged();
    void totalPendingChanged();
    void lastUpdatedChanged();
    void errorMessageChanged();
    void lastRefreshFailedChanged();
    void unopenedPageChanged();
    void storeNoticeChanged();
    void changed();
    // The DJ clicked a request's notification: the panel should open.
    void panelRequested();

private:
    // Widget tests put the panel into each state directly through this.
    friend struct AppStateTester;

    template<typename T>
    void publish(T &field, T value, void (AppState::*signal)());
    void setAuthState(AuthState value);
    void setUserName(std::optional<QString> value);
    void setEvents(QList<DJEvent> value);
    void setSelectedEventId(std::optional<qint64> value);
    void setRequests(QList<SongRequest> value);
    void setTotalPending(qint64 value);
    void setLastUpdated(std::optional<QDateTime> value);
    void setErrorMessage(std::optional<QString> value);
    void setLastRefreshFailed(bool value);
    void setUnopenedPage(std::optional<QUrl> value);
    void setStoreNotice(std::optional<QString> value);

    QCoro::Task<> resumeStoredSession(std::shared_ptr<TaskHandle> task);
    void startSession(std::optional<QString> token);
    GlassesAPIClient makeClient(std::optional<QString> token, std::shared_ptr<const TaskHandle> handle) const;
    QCoro::Task<> runSignIn(std::shared_ptr<TaskHandle> task);
    QCoro::Task<> pollUntilComplete(std::shared_ptr<TaskHandle> task, AuthStartResponse session);
    void tokenKept(bool kept);
    RefreshInputs refreshInputs() const;
    void publishRefresh(const RefreshOutcome &outcome);
    void systemChanged(SystemEvent event);
    void showOffline();
    QCoro::Task<> runAction(SongRequest request, RequestAction action);
    QCoro::Task<> runUpdateCheck(bool userInitiated);
    void showNotificationChanges(const NotificationBaseline::Changes &changes);
    void resetNotificationBaseline();
    void answerNotification(qint64 requestId, NotificationChoice choice);
    void scheduleUpdateCheckIfNeeded();

    Platform m_platform;
    QUrl m_serviceUrl;

    AuthState m_authState = AuthState::signedOut;
    std::optional<QString> m_userName;
    QList<DJEvent> m_events;
    std::optional<qint64> m_selectedEventId;
    QList<SongRequest> m_requests;
    qint64 m_totalPending = 0;
    std::optional<QDateTime> m_lastUpdated;
    std::optional<QString> m_errorMessage;
    std::optional<QUrl> m_unopenedPage;
    bool m_lastRefreshFailed = false;
    std::optional<QString> m_storeNotice;

    // How a flow ends: it holds the handle it runs under and, after every
    // suspension, stops without touching this object once that handle is
    // cancelled. Cancelling a handle also aborts the calls made under it and
    // ends its waits. The lifetime handle is cancelled on destruction and is the
    // parent of all others.
    std::shared_ptr<TaskHandle> m_lifetime;
    // One per signed-in session, and one for each signed-out time between two:
    // owns that time's calls and actions; a sign-out or a completed sign-in
    // cancels it and stops the refresh loop.
    std::shared_ptr<TaskHandle> m_session;
    GlassesAPIClient m_client;
    // The start-up read of the stored token, and while the store cannot be
    // read, the wait before the next read (ended early when the store changes).
    std::shared_ptr<TaskHandle> m_tokenLoad;
    std::shared_ptr<TaskHandle> m_storeWait;
    std::shared_ptr<TaskHandle> m_authPollTask;
    // Runs while signed in.
    RefreshLoop m_refreshLoop;
    bool m_offline = false;
    NotificationBaseline m_notificationBaseline;
    bool m_hasCheckedUpdatesThisSession = false;
};
