#pragma once

#include "Flow.h"
#include "Platform.h"
#include "RefreshLoop.h"
#include "TokenStore.h"
#include "api/GlassesAPIClient.h"
#include "api/Models.h"
#include "notifications/NewRequestNotifications.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// The application's state: everything the panel shows, the sessions and the
// browser sign-in that change it. The refresh loop fetches the queue (and
// sends the DJ's answers) and hands each cycle's outcome over to be published
// here; the token store reads and keeps the token.
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
    // at least every TokenStore::retryInterval. A sign-in or sign-out before
    // the read ends makes its result void.
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
    void refresh() { m_refreshLoop.refreshNow(); }
    // Shows the event's requests: the old list goes at once, the new one is
    // fetched at once.
    void select(qint64 eventId);
    void act(const SongRequest &request, RequestAction action) { m_refreshLoop.answer(request, action); }
    // The check the DJ asks for: its outcome always shows, a failure included.
    void checkForUpdates() { checkUpdates(true); }
    // One of the service's pages in the browser, or offered to copy when no
    // browser takes it (the panel is asked to open then).
    void openPage(const QUrl &page);

    // Start at login: absent where the desktop has no such setting. The
    // setter returns whether the setting now is as asked.
    std::optional<bool> startsAtLogin() const;
    bool setStartAtLogin(bool enabled);

    const QUrl &serviceUrl() const { return m_serviceUrl; }
    QDateTime now() const { return m_platform.now(); }

    // Whoever follows the refresh cycles listens to its signals.
    const RefreshLoop &refreshLoop() const { return m_refreshLoop; }

    static constexpr double statsPollInterval = 10.0;
    static constexpr double authPollInterval = 2.0;
    static constexpr double signInFallbackDeadline = 600.0;

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

    void startSession(std::optional<QString> token);
    void signedIn(const QString &token);
    GlassesAPIClient makeClient(std::optional<QString> token, std::shared_ptr<const TaskHandle> handle) const;
    Flow runSignIn(FlowScope scope);
    void signInFailed(const QString &description);
    void publishRefresh(const RefreshOutcome &outcome);
    void answerNotification(qint64 requestId, NotificationChoice choice);
    void checkUpdates(bool userInitiated);

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

    // Flows run under these handles (Flow.h). The lifetime handle is cancelled
    // on destruction and is the parent of all others; it owns the update checks,
    // which outlive a sign-out on purpose: an update is offered whoever is
    // signed in.
    std::shared_ptr<TaskHandle> m_lifetime;
    // One per signed-in session, and one for each signed-out time between two:
    // owns that time's flows and calls (the start-up read of the stored token,
    // a browser sign-in); a sign-out, a sign-in, its cancellation or completion
    // cancels it and stops the refresh loop, with the cycles and answers of the
    // session before.
    std::shared_ptr<TaskHandle> m_session;
    GlassesAPIClient m_client;
    // Runs while signed in.
    RefreshLoop m_refreshLoop;
    NewRequestNotifications m_notifications;
    TokenStore m_tokenStore;
    bool m_updateCheckedThisRun = false;
};
