#include "AppState.h"

#include "TaskHandle.h"
#include "Logging.h"
#include "WebUrl.h"
#include "api/Errors.h"
#include "api/ISO8601DateParser.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateNotifier.h"
#include "notifications/RequestNotification.h"

#include <QPointer>

#include <utility>

AppState::AppState(Platform platform, QUrl serviceUrl, QObject *parent)
    : QObject(parent)
    , m_platform(std::move(platform))
    , m_serviceUrl(std::move(serviceUrl))
    , m_lifetime(TaskHandle::create())
    , m_client(makeClient(std::nullopt, nullptr))
    , m_refreshLoop({
          .inputs = [this] { return refreshInputs(); },
          .publish = [this](const RefreshOutcome &outcome) { publishRefresh(outcome); },
          .prepare = m_platform.readNotificationCapabilities,
          .now = m_platform.now,
          .pause = [this] { return m_platform.wait(statsPollInterval); },
      })
{
    m_platform.listenToNotificationChoices([self = QPointer(this)](qint64 requestId, NotificationChoice choice) {
        if (self)
            self->answerNotification(requestId, choice);
    });
    if (m_platform.listenToSystem) {
        m_platform.listenToSystem([self = QPointer(this)](SystemEvent event) {
            if (self)
                self->systemChanged(event);
        });
    }
    startSession(std::nullopt);
    m_tokenLoad = TaskHandle::create(m_lifetime.get());
    runDetached(resumeStoredSession(m_tokenLoad), lcAuth);
}

AppState::~AppState()
{
    // Every flow resumes on its aborted call or ended wait, finds its handle
    // cancelled and frees itself without touching this object.
    m_lifetime->cancel();
}

// The tray icon must not wait for the secret store, which can take seconds.
// A store that cannot be read is not an answer: reading it as "no token" would
// sign out a DJ whose keyring merely starts after us, for the whole run.
QCoro::Task<> AppState::resumeStoredSession(std::shared_ptr<TaskHandle> task)
{
    for (;;) {
        StoredToken stored = co_await m_platform.loadToken();
        if (task->isCancelled())
            co_return;
        if (!stored.unreadable) {
            if (m_storeNotice)
                setStoreNotice(std::nullopt);
            if (!stored.token)
                co_return;
            // The token is tried against the service by the first refresh, not here.
            startSession(std::move(stored.token));
            setAuthState(AuthState::signedIn);
            m_refreshLoop.start(m_client);
            co_return;
        }
        qCInfo(lcAuth) << "the secret store cannot be read yet:" << *stored.unreadable;
        //: %1 says what is wrong with the keyring, as a sentence.
        setStoreNotice(tr("Waiting for the keyring… %1 Start or unlock your keyring (such as GNOME Keyring or "
                          "KWallet) and Cuelark signs you in by itself, or sign in now for this run.")
                           .arg(*stored.unreadable));
        m_storeWait = TaskHandle::create(task.get());
        co_await sleepFor(m_storeWait, m_platform.wait(storeRetryInterval));
        if (task->isCancelled())
            co_return;
    }
}

// What became of a new sign-in's token; the sign-in holds for this run either way.
void AppState::tokenKept(bool kept)
{
    if (kept) {
        if (m_storeNotice)
            setStoreNotice(std::nullopt);
        return;
    }
    qCWarning(lcAuth) << "the secret store did not keep the token";
    setStoreNotice(tr("Signed in for this run only: the keyring could not keep your sign-in, so you will have "
                      "to sign in again the next time Cuelark starts."));
}

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
    m_platform.openUrl(page, [self = QPointer(this), page] {
        if (!self)
            return;
        // With no browser the panel offers the address to copy instead.
        self->setUnopenedPage(page);
        Q_EMIT self->panelRequested();
    });
}

std::optional<bool> AppState::startsAtLogin() const
{
    return m_platform.startsAtLogin ? std::optional(m_platform.startsAtLogin()) : std::nullopt;
}

bool AppState::setStartAtLogin(bool enabled)
{
    return m_platform.setStartAtLogin(enabled);
}

// --- Session ----------------------------------------------------------------

void AppState::signOut()
{
    qCDebug(lcAuth) << "signing out";
    m_tokenLoad->cancel();
    if (m_authPollTask)
        m_authPollTask->cancel();
    m_platform.clearToken();
    // Ends whatever the session still had under way, results and errors alike.
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
    resetNotificationBaseline();
}

// --- Browser sign-in --------------------------------------------------------

void AppState::signIn()
{
    qCDebug(lcAuth) << "browser sign-in started";
    m_tokenLoad->cancel();
    // Whatever the sign-in ends in, the stored token no longer matters.
    if (m_storeNotice)
        setStoreNotice(std::nullopt);
    setErrorMessage(std::nullopt);
    if (m_authPollTask)
        m_authPollTask->cancel();
    m_authPollTask = TaskHandle::create(m_lifetime.get());
    runDetached(runSignIn(m_authPollTask), lcAuth);
}

void AppState::cancelSignIn()
{
    qCDebug(lcAuth) << "browser sign-in cancelled";
    if (m_authPollTask)
        m_authPollTask->cancel();
    setAuthState(AuthState::signedOut);
}

// The handle is cancelled by whoever ends the flow (sign-out, "Cancel", a new
// sign-in) and by our destructor; a cancelled flow ends silently, even when the
// cancellation aborted one of its calls.
QCoro::Task<> AppState::runSignIn(std::shared_ptr<TaskHandle> task)
{
    try {
        const GlassesAPIClient signInClient = makeClient(std::nullopt, task);
        const AuthStartResponse session = co_await signInClient.startAuthSession();
        if (task->isCancelled())
            co_return;
        if (const std::optional<QUrl> page = parseWebUrl(session.authUrl))
            openPage(*page);
        setAuthState(AuthState::waitingForBrowser);
        co_await pollUntilComplete(task, session);
    } catch (const ServiceError &error) {
        if (task->isCancelled())
            co_return;
        qCWarning(lcAuth) << "browser sign-in failed:" << error.description();
        setAuthState(AuthState::signedOut);
        setErrorMessage(error.description());
    }
}

QCoro::Task<> AppState::pollUntilComplete(std::shared_ptr<TaskHandle> task, AuthStartResponse session)
{
    const GlassesAPIClient signInClient = makeClient(std::nullopt, task);
    const QDateTime deadline = ISO8601DateParser::parse(session.expiresAt)
                                   .value_or(now().addMSecs(qint64(signInFallbackDeadline * 1000)));
    for (;;) {
        if (now() >= deadline) {
            qCWarning(lcAuth) << "browser sign-in timed out";
            setAuthState(AuthState::signedOut);
            setErrorMessage(tr("Sign-in timed out. Try again."));
            co_return;
        }
        const AuthPollResponse answer = co_await signInClient.pollAuthStatus(session.sessionId, session.pollToken);
        if (task->isCancelled())
            co_return;
        qCDebug(lcAuth) << "sign-in status:" << answer.status;
        if (answer.status == QLatin1String("complete") && answer.token) {
            startSession(answer.token);
            m_platform.saveToken(*answer.token, [self = QPointer(this), session = m_session](bool kept) {
                if (self && !session->isCancelled())
                    self->tokenKept(kept);
            });
            setUnopenedPage(std::nullopt);
            setAuthState(AuthState::signedIn);
            m_refreshLoop.start(m_client);
            co_return;
        }
        if (answer.status == QLatin1String("expired")) {
            setAuthState(AuthState::signedOut);
            setErrorMessage(tr("Sign-in timed out. Try again."));
            co_return;
        }
        co_await sleepFor(task, m_platform.wait(authPollInterval));
        if (task->isCancelled())
            co_return;
    }
}

// --- Refresh cycle ----------------------------------------------------------

void AppState::systemChanged(SystemEvent event)
{
    switch (event) {
    case SystemEvent::sleeping:
    case SystemEvent::woke:
        qCDebug(lcRefresh) << (event == SystemEvent::woke ? "the machine woke" : "the machine is going to sleep");
        // A call left open over the sleep (or begun just before it) would wait
        // out the idle timeout after it; its cycle ends silently.
        if (event == SystemEvent::sleeping)
            m_refreshLoop.abortCycle();
        else
            m_refreshLoop.restart();
        return;
    case SystemEvent::online:
        qCDebug(lcRefresh) << "the network is back";
        m_offline = false;
        m_refreshLoop.refreshNow();
        return;
    case SystemEvent::offline:
        qCDebug(lcRefresh) << "the system reports no network";
        m_offline = true;
        if (m_authState == AuthState::signedIn)
            showOffline();
        return;
    case SystemEvent::secretStoreChanged:
        if (m_storeWait)
            m_storeWait->cancel();
        return;
    }
}

// Without a network a refresh cannot succeed; the DJ is told why rather than
// shown the connection error. The panel and the tooltip still give the time of
// the last update.
void AppState::showOffline()
{
    setLastRefreshFailed(true);
    setErrorMessage(tr("You are offline: the system reports no network. Cuelark refreshes as soon as it is back."));
}

void AppState::refresh()
{
    m_refreshLoop.refreshNow();
}

RefreshInputs AppState::refreshInputs() const
{
    return {.needsProfile = !m_userName, .selectedEventId = m_selectedEventId};
}

// The loop hands over only what the current session and selection asked for:
// a cycle that a sign-out or another event overtook was aborted.
void AppState::publishRefresh(const RefreshOutcome &outcome)
{
    if (const auto *failure = std::get_if<RefreshFailure>(&outcome)) {
        qCWarning(lcRefresh) << "refresh failed:" << failure->description;
        if (failure->unauthorized) {
            signOut();
            setErrorMessage(failure->description);
        } else if (m_offline) {
            showOffline();
        } else {
            setLastRefreshFailed(true);
            setErrorMessage(failure->description);
        }
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
        showNotificationChanges(m_notificationBaseline.look(*snapshot.selectedEventId, m_requests));
    } else {
        setRequests({});
        setTotalPending(0);
        resetNotificationBaseline();
    }
    qCDebug(lcRefresh) << "refresh done:" << m_requests.size() << "requests," << m_totalPending << "pending";
    setLastRefreshFailed(false);
    setLastUpdated(now());
    setErrorMessage(std::nullopt);
    scheduleUpdateCheckIfNeeded();
}

void AppState::select(qint64 eventId)
{
    if (m_selectedEventId == eventId)
        return;
    qCDebug(lcRefresh) << "event" << eventId << "selected";
    setSelectedEventId(eventId);
    setRequests({});
    setTotalPending(0);
    resetNotificationBaseline();
    m_refreshLoop.restart();
}

// --- Request actions --------------------------------------------------------

void AppState::act(const SongRequest &request, RequestAction action)
{
    qCDebug(lcRefresh) << "request" << request.id << "answered:" << wireString(action);
    runDetached(runAction(request, action), lcRefresh);
}

QCoro::Task<> AppState::runAction(SongRequest request, RequestAction action)
{
    const std::shared_ptr<const TaskHandle> session = m_session;
    try {
        co_await m_client.updateRequest(request.id, action);
    } catch (const ServiceError &error) {
        qCWarning(lcRefresh) << "answering request" << request.id << "failed:" << error.description();
        if (!session->isCancelled())
            setErrorMessage(error.description());
        co_return;
    }
    if (!session->isCancelled())
        m_refreshLoop.refreshNow();
}

// --- New-request notifications ----------------------------------------------

void AppState::showNotificationChanges(const NotificationBaseline::Changes &changes)
{
    for (const qint64 requestId : changes.withdraw)
        m_platform.withdrawNotification(requestId);
    for (const SongRequest &request : changes.notify)
        m_platform.notifyNewRequest(requestNotification(request));
}

void AppState::answerNotification(qint64 requestId, NotificationChoice choice)
{
    if (choice == NotificationChoice::open) {
        Q_EMIT panelRequested();
        return;
    }
    // Only a request still pending at the last look: one answered elsewhere in
    // the meantime keeps that answer.
    const auto request = std::find_if(m_requests.cbegin(), m_requests.cend(), [&](const SongRequest &r) {
        return r.id == requestId && r.isPending();
    });
    if (m_authState != AuthState::signedIn || request == m_requests.cend()
        || !m_notificationBaseline.isPending(requestId)) {
        qCDebug(lcNotify) << "request" << requestId << "is no longer pending; its notification's action is ignored";
        return;
    }
    act(*request, choice == NotificationChoice::approve ? RequestAction::approved : RequestAction::rejected);
}

void AppState::resetNotificationBaseline()
{
    showNotificationChanges({.notify = {}, .withdraw = m_notificationBaseline.reset()});
}

// --- Update checks ----------------------------------------------------------

void AppState::scheduleUpdateCheckIfNeeded()
{
    if (m_hasCheckedUpdatesThisSession)
        return;
    m_hasCheckedUpdatesThisSession = true;
    runDetached(runUpdateCheck(false), lcUpdates);
}

void AppState::checkForUpdates()
{
    runDetached(runUpdateCheck(true), lcUpdates);
}

// Outlives a sign-out on purpose: an update is offered whoever is signed in.
// The automatic check keeps quiet about a failure; the one the DJ asked for
// shows it, since "up to date" would be a wrong answer when nothing could be
// learnt.
QCoro::Task<> AppState::runUpdateCheck(bool userInitiated)
{
    const std::shared_ptr<const TaskHandle> lifetime = m_lifetime;
    qCDebug(lcUpdates) << (userInitiated ? "update check asked for" : "automatic update check");
    std::optional<UpdateAvailable> update;
    std::optional<QString> failure;
    try {
        update = co_await UpdateChecker::fetchUpdate(makeClient(std::nullopt, lifetime));
    } catch (const ServiceError &error) {
        qCWarning(lcUpdates) << "update check failed:" << error.description();
        failure = error.description();
    }
    if (lifetime->isCancelled())
        co_return;
    if (update)
        UpdateNotifier::promptIfNeeded(*update, userInitiated, m_platform, [this](const QUrl &page) { openPage(page); });
    else if (userInitiated && failure)
        UpdateNotifier::showCheckFailedAlert(*failure, m_platform);
    else if (userInitiated)
        UpdateNotifier::showUpToDateAlert(m_platform);
}
