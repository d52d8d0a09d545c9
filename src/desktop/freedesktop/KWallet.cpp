#include "desktop/KWallet.h"

#include "Logging.h"
#include "desktop/freedesktop/DBusReply.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QStringList>

namespace {

// kwalletd is started by D-Bus activation on the first call, which takes a
// moment on a busy login; the library itself waits half a second.
constexpr int kwalletdTimeoutMs = 3000;

QDBusMessage kwalletdCall(const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.kde.kwalletd5"), QStringLiteral("/modules/kwalletd5"),
                                          QStringLiteral("org.kde.KWallet"), method);
}

} // namespace

namespace KWallet {

// The session's desktop as the secret-store library reads it: the first of
// these variables that names a desktop decides.
bool isTheSessionStore()
{
    const QByteArray currentDesktop = qgetenv("XDG_CURRENT_DESKTOP");
    const QByteArray session = qgetenv("DESKTOP_SESSION");
    bool kde = false;
    if (currentDesktop == "KDE")
        kde = true;
    else if (currentDesktop == "GNOME" || currentDesktop == "Unity" || currentDesktop == "XFCE")
        kde = false;
    else if (session == "kde")
        kde = true;
    else if (session == "gnome" || session == "kde4" || session.contains("xfce") || session == "xubuntu")
        kde = false;
    else
        kde = qEnvironmentVariableIsEmpty("GNOME_DESKTOP_SESSION_ID") && !qEnvironmentVariableIsEmpty("KDE_FULL_SESSION");
    return kde && qgetenv("KDE_SESSION_VERSION") == "5";
}

QCoro::Task<bool> hasNoWallet()
{
    // Outside Plasma the bus is not even connected to: a bus that never answers
    // would hold the start here.
    if (!isTheSessionStore())
        co_return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        co_return false;
    const QDBusPendingReply<QString> networkWallet = co_await DBus::answered(
        bus.asyncCall(kwalletdCall(QStringLiteral("networkWallet")), kwalletdTimeoutMs));
    if (!networkWallet.isValid()) {
        qCDebug(lcAuth) << "kwalletd did not name its wallet:" << networkWallet.error().message();
        co_return false;
    }
    const QDBusPendingReply<QStringList> wallets = co_await DBus::answered(
        bus.asyncCall(kwalletdCall(QStringLiteral("wallets")), kwalletdTimeoutMs));
    if (!wallets.isValid()) {
        qCDebug(lcAuth) << "kwalletd did not list its wallets:" << wallets.error().message();
        co_return false;
    }
    const bool missing = !wallets.value().contains(networkWallet.value());
    if (missing)
        qCDebug(lcAuth) << "KWallet has no wallet yet: nothing to read";
    co_return missing;
}

} // namespace KWallet
