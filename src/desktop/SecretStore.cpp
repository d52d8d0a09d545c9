#include "desktop/SecretStore.h"

#include "AppConfig.h"
#include "Logging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <qcoro/qcorosignal.h>

#include <chrono>
#include <memory>

namespace {

using namespace std::chrono_literals;

// A locked keyring makes a job wait for the unlock prompt for as long as the
// user leaves it open; neither the start nor quitting may hang on it.
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
    if (auto *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

// Sees every event of the application; only its Quit, while a job is under
// way, is held back, once: a later Quit (the bound's, the last job's end)
// goes through.
bool SecretStore::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Quit || watched != QCoreApplication::instance() || m_jobsUnderWay == 0
        || m_quitHeld)
        return QObject::eventFilter(watched, event);
    qCDebug(lcAuth) << "quitting once the secret store has finished";
    m_quitHeld = true;
    QTimer::singleShot(jobWaitBound, this, &QCoreApplication::quit);
    return true;
}

void SecretStore::start(QKeychain::Job *job)
{
    ++m_jobsUnderWay;
    connect(job, &QKeychain::Job::finished, this, [this] {
        --m_jobsUnderWay;
        Q_EMIT jobFinished();
        if (m_quitHeld && m_jobsUnderWay == 0)
            QCoreApplication::quit();
    });
    job->start();
}

void SecretStore::setNothingStoredCheck(std::function<QCoro::Task<bool>()> check)
{
    m_nothingStored = std::move(check);
}

QCoro::Task<StoredToken> SecretStore::load()
{
    if (m_nothingStored && m_jobsUnderWay == 0) {
        const QPointer<SecretStore> self(this);
        const bool nothingStored = co_await m_nothingStored();
        // A save issued meanwhile is read below, as it would have been.
        if (nothingStored && self && m_jobsUnderWay == 0)
            co_return StoredToken{};
    }
    // Run after any save or clear started before it, so it reads what they leave.
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
    start(job);
    // Awaited on this object, not on the job: a job deletes itself once it has
    // finished, and a wait tied to it would be lost with it when deferred
    // deletions run before the resumption does.
    const QDeadlineTimer deadline(jobWaitBound);
    while (!outcome->finished && !deadline.hasExpired())
        co_await qCoro(this, &SecretStore::jobFinished, std::chrono::milliseconds(deadline.remainingTime()));
    if (!outcome->finished) {
        // Left to end on its own; its answer is not read.
        qCWarning(lcAuth) << "the secret store did not answer in time";
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
    start(makeJob<QKeychain::DeletePasswordJob>());
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
    start(write);
}

void SecretStore::clear()
{
    qCDebug(lcAuth) << "removing the token from the secret store";
    start(makeJob<QKeychain::DeletePasswordJob>());
}
