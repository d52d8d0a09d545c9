#include "AppState.h"

#include "TaskHandle.h"
#include "Logging.h"
#include "WebUrl.h"
#include "api/Errors.h"
#include "api/ISO8601DateParser.h"
#include "updates/UpdateNotifier.h"

#include <utility>

AppState::AppState(Platform platform, QUrl serviceUrl, QObject *parent)
    : QObject(parent)
    , m_platform(std::move(platform))
    , m_serviceUrl(std::move(serviceUrl))
    , m_lifetime(TaskHandle::create())
    , m_client(makeClient(std::nullopt, nullptr))
    , m_refreshLoop({
          .inputs = [this] { return RefreshInputs{.needsProfile = !m_userName, .selectedEventId = m_selectedEventId}; },
          .publish = [this](const RefreshOutcome &outcome) { publishRefresh(outcome); },
          .prepare = m_platform.readNotificationCapabilities,
          .now = m_platform.now,
          .pause = [this] { return m_platform.wait(statsPollInterval); },
          .answerRefused = [this](const QString &reason) { setErrorMessage(reason); },
      })
    , m_notifications(m_platform)
    , m_tokenStore(m_platform, [this](std::optional<QString> notice) {
          if (notice || m_storeNotice)
              setStoreNotice(std::move(notice));
      })
{
    m_platform.listenToNotificationChoices(whileAlive(m_lifetime, [this](qint64 requestId, NotificationChoice choice) {
        answerNotification(requestId, choice);
    }));
    if (m_platform.listenToSystem)
        m_platform.listenToSystem(whileAlive(m_lifetime, [this](SystemEvent event) {
            if (event == SystemEvent::secretStoreChanged)
                m_tokenStore.storeChanged();
            else
                m_refreshLoop.systemChanged(event);
        }));
    startSession(std::nullopt);
    // The token is tried against the service by the first refresh, not here.
    m_tokenStore.resume({m_session, lcAuth}, [this](const QString &token) {
        startSession(token);
        setAuthState(AuthState::signedIn);
        m_refreshLoop.start(m_client);
    });
}

AppState::~AppState()
{
    // Every flow resumes on its aborted call or ended wait and, its handle
    // cancelled, frees itself without touching this object.
    m_lifetime->cancel();
}

// --- Sessions ---------------------------------------------------------------

// Ends whatever the last session still had under way, results and errors alike.
void AppState::startSession(std::optional<QString> token)
{
    m_refreshLoop.stop();
    if (m_session)
        m_session->cancel();
    m_session = TaskHandle::create(m_lifetime.get());
    m_client = makeClient(std::move(token), m_session);
}

GlassesAPIClient AppState::makeClient(std::optional<QString> token, std::shared_ptr<const TaskHandle> handle) const
{
    return GlassesAPIClient(m_platform.network, std::move(token), m_serviceUrl, m_platform.idleTimeout,
                            std::move(handle));
}

void AppState::signOut()
{
    qCDebug(lcAuth) << "signing out";
    m_platform.clearToken();
    startSession(std::nullopt);
    setAuthState(AuthState::signedOut);
    setUserName(std::nullopt);
    setEvents({});
    setSelectedEventId(std::nullopt);
    setRequests({});
    setTotalPending(0);
    setLastRefreshFailed(false);
    setLastUpdated(std::nullopt);
    if (m_storeNotice)
        setStoreNotice(std::nullopt);
    m_notifications.forget();
}

// --- Published fields -------------------------------------------------------

template<typename T>
void AppState::publish(T &field, T value, void (AppState::*signal)())
{
    field = std::move(value);
    Q_EMIT(this->*signal)();
    Q_EMIT changed();
}

void AppState::setAuthState(AuthState value) { publish(m_authState, value, &AppState::authStateChanged); }
void AppState::setUserName(std::optional<QString> value) { publish(m_userName, std::move(value), &AppState::userNameChanged); }
void AppState::setEvents(QList<DJEvent> value) { publish(m_events, std::move(value), &AppState::eventsChanged); }
void AppState::setSelectedEventId(std::optional<qint64> value) { publish(m_selectedEventId, value, &AppState::selectedEventIdChanged); }
void AppState::setRequests(QList<SongRequest> value) { publish(m_requests, std::move(value), &AppState::requestsChanged); }
void AppState::setTotalPending(qint64 value) { publish(m_totalPending, value, &AppState::totalPendingChanged); }
void AppState::setLastUpdated(std::optional<QDateTime> value) { publish(m_lastUpdated, std::move(value), &AppState::lastUpdatedChanged); }
void AppState::setErrorMessage(std::optional<QString> value) { publish(m_errorMessage, std::move(value), &AppState::errorMessageChanged); }
void AppState::setLastRefreshFailed(bool value) { publish(m_lastRefreshFailed, value, &AppState::lastRefreshFailedChanged); }
void AppState::setStoreNotice(std::optional<QString> value) { publish(m_storeNotice, std::move(value), &AppState::storeNoticeChanged); }
void AppState::setUnopenedPage(std::optional<QUrl> value) { publish(m_unopenedPage, std::move(value), &AppState::unopenedPageChanged); }

// --- Web pages --------------------------------------------------------------

void AppState::openPage(const QUrl &page)
{
    if (m_unopenedPage)
        setUnopenedPage(std::nullopt);
    m_platform.openUrl(page, whileAlive(m_lifetime, [this, page] {
        // With no browser the panel offers the address to copy instead.
        setUnopenedPage(page);
        Q_EMIT panelRequested();
    }));
}

std::optional<bool> AppState::startsAtLogin() const
{
    return m_platform.startsAtLogin ? std::optional(m_platform.startsAtLogin()) : std::nullopt;
}

bool AppState::setStartAtLogin(bool enabled)
{
    return m_platform.setStartAtLogin(enabled);
}

// --- Browser sign-in --------------------------------------------------------

void AppState::signIn()
{
    qCDebug(lcAuth) << "browser sign-in started";
    // Whatever the sign-in ends in, the stored token no longer matters.
    startSession(std::nullopt);
    if (m_storeNotice)
        setStoreNotice(std::nullopt);
    setErrorMessage(std::nullopt);
    runSignIn({m_session, lcAuth});
}

void AppState::cancelSignIn()
{
    qCDebug(lcAuth) << "browser sign-in cancelled";
    startSession(std::nullopt);
    setAuthState(AuthState::signedOut);
}

Flow AppState::runSignIn(FlowScope scope)
{
    const GlassesAPIClient signInClient = makeClient(std::nullopt, scope.handle);
    try {
        const AuthStartResponse session = co_await signInClient.startAuthSession();
        if (const std::optional<QUrl> page = parseWebUrl(session.authUrl))
            openPage(*page);
        setAuthState(AuthState::waitingForBrowser);
        const QDateTime deadline = ISO8601DateParser::parse(session.expiresAt)
                                       .value_or(now().addMSecs(qint64(signInFallbackDeadline * 1000)));
        while (now() < deadline) {
            const AuthPollResponse answer = co_await signInClient.pollAuthStatus(session.sessionId, session.pollToken);
            qCDebug(lcAuth) << "sign-in status:" << answer.status;
            if (answer.status == QLatin1String("complete") && answer.token) {
                signedIn(*answer.token);
                co_return;
            }
            if (answer.status == QLatin1String("expired"))
                break;
            co_await sleepFor(scope.handle, m_platform.wait(authPollInterval));
        }
        signInFailed(tr("Sign-in timed out. Try again."));
    } catch (const ServiceError &error) {
        signInFailed(error.description());
    }
}

void AppState::signedIn(const QString &token)
{
    startSession(token);
    m_tokenStore.keep(token, m_session);
    setUnopenedPage(std::nullopt);
    setAuthState(AuthState::signedIn);
    m_refreshLoop.start(m_client);
}

void AppState::signInFailed(const QString &description)
{
    qCWarning(lcAuth) << "browser sign-in failed:" << description;
    setAuthState(AuthState::signedOut);
    setErrorMessage(description);
}

// --- Refresh cycles -----------------------------------------------------------

// The loop hands over only what the current session and selection asked for:
// a cycle that a sign-out or another event overtook was aborted.
void AppState::publishRefresh(const RefreshOutcome &outcome)
{
    if (const auto *failure = std::get_if<RefreshFailure>(&outcome)) {
        qCWarning(lcRefresh) << "refresh failed:" << failure->description;
        if (failure->unauthorized)
            signOut();
        else
            setLastRefreshFailed(true);
        setErrorMessage(failure->description);
        return;
    }
    const auto &snapshot = std::get<RefreshSnapshot>(outcome);
    if (snapshot.profile)
        setUserName(snapshot.profile->name);
    // The client hands back the very list it gave last time when the service's
    // answer was the same bytes: nothing to publish, and nothing for the panel
    // to go through, however many events there are.
    if (!snapshot.events.isSharedWith(m_events))
        setEvents(snapshot.events);
    if (snapshot.selectedEventId != m_selectedEventId)
        setSelectedEventId(snapshot.selectedEventId);
    if (snapshot.requests) {
        if (!snapshot.requests->requests.isSharedWith(m_requests))
            setRequests(snapshot.requests->requests);
        setTotalPending(snapshot.requests->totalPending);
        m_notifications.look(*snapshot.selectedEventId, m_requests);
    } else {
        setRequests({});
        setTotalPending(0);
        m_notifications.forget();
    }
    qCDebug(lcRefresh) << "refresh done:" << m_requests.size() << "requests," << m_totalPending << "pending";
    setLastRefreshFailed(false);
    setLastUpdated(now());
    setErrorMessage(std::nullopt);
    if (!std::exchange(m_updateCheckedThisRun, true))
        checkUpdates(false);
}

void AppState::select(qint64 eventId)
{
    if (m_selectedEventId == eventId)
        return;
    qCDebug(lcRefresh) << "event" << eventId << "selected";
    setSelectedEventId(eventId);
    setRequests({});
    setTotalPending(0);
    m_notifications.forget();
    m_refreshLoop.restart();
}

// --- Notifications and updates -----------------------------------------------

void AppState::answerNotification(qint64 requestId, NotificationChoice choice)
{
    if (choice == NotificationChoice::open) {
        Q_EMIT panelRequested();
        return;
    }
    const std::optional<SongRequest> request = m_notifications.answerable(requestId, m_requests);
    if (m_authState != AuthState::signedIn || !request) {
        qCDebug(lcNotify) << "request" << requestId << "is no longer pending; its notification's action is ignored";
        return;
    }
    act(*request, choice == NotificationChoice::approve ? RequestAction::approved : RequestAction::rejected);
}

void AppState::checkUpdates(bool userInitiated)
{
    UpdateNotifier::check({m_lifetime, lcUpdates}, makeClient(std::nullopt, m_lifetime), userInitiated, m_platform,
                          [this](const QUrl &page) { openPage(page); });
}
