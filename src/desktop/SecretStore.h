#pragma once

#include "Platform.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

namespace QKeychain {
class Job;
}

// The bearer token as one item in the desktop's secret store (through
// QtKeychain: the Secret Service here): service = the application identifier,
// key "glasses-bearer-token", data = the token's UTF-8 bytes. Never written
// anywhere else. Failures are logged, never thrown.
//
// QtKeychain runs its jobs one at a time in the order they were started, so a
// delete is never overtaken by the write started after it, nor a read by
// either. Quitting waits for the jobs under way: the application's Quit is
// held back until the last has ended (or a few seconds have passed), so that
// a sign-out followed at once by Quit does not leave the old token behind.
class SecretStore : public QObject {
    Q_OBJECT
public:
    explicit SecretStore(QObject *parent = nullptr);

    // Completes when the secret store answers, or after a few seconds without an
    // answer. No token when there is no item or its data is not UTF-8; unreadable
    // (and why) when the store is not running, is locked or does not answer.
    // Never blocks the caller.
    QCoro::Task<StoredToken> load();
    // Replace the stored token (delete, then add). Runs asynchronously; tells
    // `kept` (when given) whether the store has kept the token.
    void save(const QString &token, std::function<void(bool)> kept = {});
    void clear();
    // Asked before a read that no job under way could change: true when the
    // store is known to hold nothing without opening it, so the read (which may
    // make the store prompt the user) is not made and load() finds no token.
    void setNothingStoredCheck(std::function<QCoro::Task<bool>()> check);

Q_SIGNALS:
    // One of our jobs has ended (what a read waits on).
    void jobFinished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void start(QKeychain::Job *job);

    int m_jobsUnderWay = 0;
    bool m_quitHeld = false;
    std::function<QCoro::Task<bool>()> m_nothingStored;
};
