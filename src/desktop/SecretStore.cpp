#include "desktop/SecretStore.h"

#include "AppConfig.h"
#include "Logging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <qcoro/qcorosignal.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>

namespace {

using namespace std::chrono_literals;

// A locked keyring makes a job wait for the unlock prompt for as long as the
// user leaves it open; the program must not freeze on it.
constexpr auto jobWaitBound = 5s;

template <typename JobType>
JobType *makeJob()
{
    auto *job = new JobType(QString::fromLatin1(AppConfig::appId));
    job->setKey(QStringLiteral("glasses-bearer-token"));
    // The token must never land in a plaintext settings file.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);
    return job;
}

// Runs a local event loop until `job` has finished or the bound has passed.
void waitUntilFinished(QKeychain::Job *job)
{
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(jobWaitBound, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Invalid sequences make the item unusable rather than silently altered; a
// leading byte-order mark is part of the token, not an encoding marker.
std::optional<QString> decodeToken(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString token = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return token;
}

// Why the store could not be read, as a sentence for the DJ; absent when it
// could (with or without an item).
std::optional<QString> unreadableReason(const QKeychain::Job &job)
{
    switch (job.error()) {
    case QKeychain::NoError:
    case QKeychain::EntryNotFound:
        return std::nullopt;
    case QKeychain::NoBackendAvailable:
        return SecretStore::tr("No keyring is running.");
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        return SecretStore::tr("The keyring is locked.");
    default:
        //: %1 is the keyring's own error text.
        return SecretStore::tr("The keyring could not be read (%1).").arg(job.errorString());
    }
}

} // namespace

SecretStore::SecretStore(QObject *parent)
    : QObject(parent)
{
    // Sign-out followed at once by Quit leaves the delete queued; the event loop
    // ends before it runs and the next start would sign in with the old token.
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SecretStore::finishQueuedJobs);
}

SecretStore::~SecretStore()
{
    // Jobs that never started are ours to delete; a running one deletes itself.
    qDeleteAll(m_waiting);
}

void SecretStore::startNextJob()
{
    if (m_running || m_waiting.empty())
        return;
    QKeychain::Job *job = m_waiting.front();
    m_waiting.pop_front();
    m_running = job;
    connect(job, &QKeychain::Job::finished, this, [this] {
        m_running = nullptr;
        Q_EMIT jobFinished();
        startNextJob();
    });
    job->start();
}

void SecretStore::enqueue(QKeychain::Job *job)
{
    m_waiting.push_back(job);
    startNextJob();
}

// A job that never started can be dropped; a running one is left to finish, and
// the queue moves on when it does.
void SecretStore::abandon(QKeychain::Job *job)
{
    const auto it = std::find(m_waiting.begin(), m_waiting.end(), job);
    if (it == m_waiting.end())
        return;
    m_waiting.erase(it);
    delete job;
}

void SecretStore::finishQueuedJobs()
{
    if (QKeychain::Job *last = m_waiting.empty() ? m_running : m_waiting.back())
        waitUntilFinished(last);
}

void SecretStore::setNothingStoredCheck(std::function<QCoro::Task<bool>()> check)
{
    m_nothingStored = std::move(check);
}

QCoro::Task<StoredToken> SecretStore::load()
{
    if (m_nothingStored && !m_running && m_waiting.empty()) {
        const QPointer<SecretStore> self(this);
        const bool nothingStored = co_await m_nothingStored();
        // A save issued meanwhile is read below, as it would have been.
        if (nothingStored && self && !m_running && m_waiting.empty())
            co_return StoredToken{};
    }
    // Queued behind any pending save or clear, so it reads what they leave.
    auto *job = makeJob<QKeychain::ReadPasswordJob>();
    struct Outcome {
        bool finished = false;
        StoredToken stored;
    };
    // Shared with the handler: a job abandoned at the bound may still finish
    // after this has returned.
    const auto outcome = std::make_shared<Outcome>();
    // Read inside the handler: the job deletes itself once it has finished.
    QObject::connect(job, &QKeychain::Job::finished, job, [outcome, job] {
        outcome->finished = true;
        if (job->error() == QKeychain::NoError)
            outcome->stored.token = decodeToken(job->binaryData());
        else
            qCDebug(lcAuth) << "no token read from the secret store:" << job->error() << job->errorString();
        outcome->stored.unreadable = unreadableReason(*job);
    });
    enqueue(job);
    // Awaited on this object, not on the job: a job deletes itself once it has
    // finished, and a wait tied to it would be lost with it when deferred
    // deletions run before the resumption does.
    const QDeadlineTimer deadline(jobWaitBound);
    while (!outcome->finished && !deadline.hasExpired())
        co_await qCoro(this, &SecretStore::jobFinished, std::chrono::milliseconds(deadline.remainingTime()));
    if (!outcome->finished) {
        qCWarning(lcAuth) << "the secret store did not answer in time";
        abandon(job);
        co_return StoredToken{std::nullopt, tr("The keyring did not answer; it may be waiting to be unlocked.")};
    }
    if (!outcome->stored.unreadable)
        qCDebug(lcAuth) << (outcome->stored.token ? "token read from the secret store" : "no usable token in the secret store");
    co_return std::move(outcome->stored);
}

void SecretStore::save(const QString &token, std::function<void(bool)> kept)
{
    qCDebug(lcAuth) << "storing the token in the secret store";
    // Delete first: a failed write then leaves no token rather than a stale one.
    enqueue(makeJob<QKeychain::DeletePasswordJob>());
    auto *write = makeJob<QKeychain::WritePasswordJob>();
    write->setBinaryData(token.toUtf8());
    // Read inside the handler: the job deletes itself once it has finished.
    QObject::connect(write, &QKeychain::Job::finished, write, [kept = std::move(kept), write] {
        const bool stored = write->error() == QKeychain::NoError;
        if (!stored)
            qCWarning(lcAuth) << "the secret store did not keep the token:" << write->errorString();
        if (kept)
            kept(stored);
    });
    enqueue(write);
}

void SecretStore::clear()
{
    qCDebug(lcAuth) << "removing the token from the secret store";
    enqueue(makeJob<QKeychain::DeletePasswordJob>());
}
