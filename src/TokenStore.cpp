#include "TokenStore.h"

#include "Logging.h"

TokenStore::TokenStore(const Platform &platform, NoticeHandler showNotice)
    : m_platform(platform)
    , m_showNotice(std::move(showNotice))
{
}

Flow TokenStore::resume(FlowScope scope, std::function<void(QString token)> found)
{
    for (;;) {
        StoredToken stored = co_await m_platform.loadToken();
        if (!stored.unreadable) {
            m_showNotice(std::nullopt);
            if (stored.token)
                found(std::move(*stored.token));
            co_return;
        }
        qCInfo(lcAuth) << "the secret store cannot be read yet:" << *stored.unreadable;
        //: %1 says what is wrong with the keyring, as a sentence.
        m_showNotice(tr("Waiting for the keyring… %1 Start or unlock your keyring (such as GNOME Keyring or "
                        "KWallet) and Cuelark signs you in by itself, or sign in now for this run.")
                         .arg(*stored.unreadable));
        m_wait = TaskHandle::create(scope.handle.get());
        co_await sleepFor(m_wait, m_platform.wait(retryInterval));
    }
}

void TokenStore::storeChanged()
{
    if (m_wait)
        m_wait->cancel();
}

void TokenStore::keep(const QString &token, std::shared_ptr<const TaskHandle> session)
{
    m_platform.saveToken(token, whileAlive(std::move(session), [this](bool kept) {
        if (kept) {
            m_showNotice(std::nullopt);
            return;
        }
        qCWarning(lcAuth) << "the secret store did not keep the token";
        m_showNotice(tr("Signed in for this run only: the keyring could not keep your sign-in, so you will "
                        "have to sign in again the next time Cuelark starts."));
    }));
}
