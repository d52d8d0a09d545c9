#include "auth/KeychainTokenStore.h"

#include "AppConfig.h"
#include "Logging.h"

#include <QCoreApplication>
#include <QEventLoop>
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

// Jobs run one at a time in the order they were issued, so that a delete is
// never overtaken by the write issued after it, nor a read by either.
struct JobQueue {
    std::deque<QKeychain::Job *> waiting;
    QKeychain::Job *running = nullptr;
};

JobQueue &jobQueue()
{
    static JobQueue queue;
    return queue;
}

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

void startNextJob()
{
    JobQueue &queue = jobQueue();
    if (queue.running || queue.waiting.empty())
        return;
    QKeychain::Job *job = queue.waiting.front();
    queue.waiting.pop_front();
    queue.running = job;
    QObject::connect(job, &QKeychain::Job::finished, job, [] {
        jobQueue().running = nullptr;
        startNextJob();
    });
    job->start();
}

// Runs a local event loop until `job` has finished or the bound has passed.
void waitUntilFinished(QKeychain::Job *job)
{
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(jobWaitBound, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Sign-out followed at once by Quit leaves the delete queued; the event loop
// ends before it runs and the next start would sign in with the old token.
void finishQueuedJobsBeforeQuit()
{
    const JobQueue &queue = jobQueue();
    if (QKeychain::Job *last = queue.waiting.empty() ? queue.running : queue.waiting.back())
        waitUntilFinished(last);
}

void enqueue(QKeychain::Job *job)
{
    static const bool quitHookInstalled = [] {
        if (auto *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, &finishQueuedJobsBeforeQuit);
        return true;
    }();
    Q_UNUSED(quitHookInstalled);
    jobQueue().waiting.push_back(job);
    startNextJob();
}

// A job that never started can be dropped; a running one is left to finish, and
// the queue moves on when it does.
void abandon(QKeychain::Job *job)
{
    auto &waiting = jobQueue().waiting;
    const auto it = std::find(waiting.begin(), waiting.end(), job);
    if (it == waiting.end())
        return;
    waiting.erase(it);
    delete job;
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

} // namespace

namespace KeychainTokenStore {

QCoro::Task<std::optional<QString>> load()
{
    // Queued behind any pending save or clear, so it reads what they leave.
    auto *job = makeJob<QKeychain::ReadPasswordJob>();
    struct Outcome {
        bool finished = false;
        std::optional<QString> token;
    };
    // Shared with the handler: a job abandoned at the bound may still finish
    // after this has returned.
    const auto outcome = std::make_shared<Outcome>();
    // Read inside the handler: the job deletes itself once it has finished.
    QObject::connect(job, &QKeychain::Job::finished, job, [outcome, job] {
        outcome->finished = true;
        if (job->error() == QKeychain::NoError)
            outcome->token = decodeToken(job->binaryData());
        else
            qCDebug(lcAuth) << "no token read from the secret store:" << job->error() << job->errorString();
    });
    // A job may finish inside start(), before there is anything to await.
    enqueue(job);
    if (!outcome->finished)
        co_await qCoro(job, &QKeychain::Job::finished, jobWaitBound);
    if (!outcome->finished) {
        qCWarning(lcAuth) << "the secret store did not answer in time; starting signed out";
        abandon(job);
        co_return std::nullopt;
    }
    qCDebug(lcAuth) << (outcome->token ? "token read from the secret store" : "no usable token in the secret store");
    co_return std::move(outcome->token);
}

void save(const QString &token)
{
    qCDebug(lcAuth) << "storing the token in the secret store";
    // Delete first: a failed write then leaves no token rather than a stale one.
    enqueue(makeJob<QKeychain::DeletePasswordJob>());
    auto *write = makeJob<QKeychain::WritePasswordJob>();
    write->setBinaryData(token.toUtf8());
    enqueue(write);
}

void clear()
{
    qCDebug(lcAuth) << "removing the token from the secret store";
    enqueue(makeJob<QKeychain::DeletePasswordJob>());
}

} // namespace KeychainTokenStore
