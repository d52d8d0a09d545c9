#pragma once

#include "Flow.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The DJ's token in the desktop's secret store, as the sessions see it, and
// what the DJ should know of the store meanwhile (the notice).
class TokenStore {
    Q_DECLARE_TR_FUNCTIONS(TokenStore)
public:
    using NoticeHandler = std::function<void(std::optional<QString> notice)>;
    static constexpr double retryInterval = 30.0;

    TokenStore(const Platform &platform, NoticeHandler showNotice);

    // Reads the stored token and hands it to `found`; without one, ends
    // quietly. The tray icon must not wait for the store, which can take
    // seconds. A store that cannot be read is not an answer: reading it as "no
    // token" would sign out a DJ whose keyring merely starts after us, for the
    // whole run; so the read is tried again every retryInterval, and at once
    // when the desktop says the store changed, with a notice meanwhile.
    Flow resume(FlowScope scope, std::function<void(QString token)> found);
    void storeChanged();
    // Keeps a new sign-in's token. The sign-in holds for this run either way;
    // the notice says so when the store could not keep it, unless `session`
    // ended first.
    void keep(const QString &token, std::shared_ptr<const TaskHandle> session);

private:
    const Platform &m_platform;
    NoticeHandler m_showNotice;
    // While the store cannot be read, the wait before the next read.
    std::shared_ptr<TaskHandle> m_wait;
};
