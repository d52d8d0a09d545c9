#include "desktop/SingleInstance.h"

#include "AppConfig.h"
#include "Logging.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <sys/file.h>

namespace {

using namespace std::chrono_literals;

constexpr QByteArrayView openPanelRequest("open-panel\n");
constexpr QByteArrayView acceptedReply("ok\n");
// Follows the request on a line of its own, so that an older running app, which
// reads the request line alone, still answers.
constexpr QByteArrayView activationTokenPrefix("activation-token ");
constexpr qsizetype activationTokenMaxLength = 256;
// A running app that has taken the lock listens once its QApplication exists;
// a start meanwhile keeps trying this long.
constexpr auto handOverBound = 3s;
constexpr unsigned long connectRetryPauseMs = 20;
// A client that sends nothing useful is dropped.
constexpr auto clientBound = 2s;

// The display this start shows on: each graphical session of a user has its
// own, and its own tray. Launchers, autostart and terminals of one session
// all carry the same value. Read by hand: a regular expression would load its
// engine into every start for two small rules.
QString displayKey()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
        // ":0" and ":0.0" name the same X display (its screen 0).
        const qsizetype dot = display.lastIndexOf(u'.');
        const QStringView screen = dot < 0 ? QStringView() : QStringView(display).sliced(dot + 1);
        if (!screen.isEmpty() && std::ranges::all_of(screen, [](QChar c) { return c >= u'0' && c <= u'9'; }))
            display.truncate(dot);
    }
    // Only these characters reach the socket's file name.
    for (QChar &c : display) {
        const bool plain = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
            || c == u'.' || c == u'_' || c == u'-';
        if (!plain)
            c = u'_';
    }
    return display;
}

bool isPlainToken(const QByteArray &token)
{
    return !token.isEmpty() && token.size() <= activationTokenMaxLength
        && std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

// The token the launcher gave this start for passing the focus on (a Wayland
// compositor lets only a window that shows one take the focus), as the line
// that carries it; empty when there is none or it is not a plain token.
QByteArray activationTokenLine()
{
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    return isPlainToken(token) ? activationTokenPrefix.toByteArray() + token + '\n' : QByteArray();
}

// Sends the request and waits for the running app to accept it.
bool sendRequest(const QString &socketPath)
{
    const QDeadlineTimer deadline(handOverBound);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(connectRetryPauseMs);
    }
    socket.write(openPanelRequest.toByteArray() + activationTokenLine());
    while (!socket.canReadLine() && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    return socket.canReadLine() && socket.readLine() == acceptedReply;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    if (const std::optional<Claim> taken = takeLock())
        return *taken;
    return handOver();
}

std::optional<SingleInstance::Claim> SingleInstance::takeLock()
{
    // Qt's runtime location is private to the user (0700, theirs); without
    // XDG_RUNTIME_DIR it makes one of that kind in the temporary directory.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) {
        qCWarning(lcDesktop) << "no private runtime directory: not checking for a running Cuelark";
        return Claim::unavailable;
    }
    QString name = QString::fromLatin1(AppConfig::appId);
    if (const QString display = displayKey(); !display.isEmpty())
        name += QLatin1Char('-') + display;
    m_path = runtime + QLatin1Char('/') + name;
    // The kernel's lock on an open file: only a holder that has ended frees
    // it, however long the app runs, and nothing is written or synced to disk
    // before the icon (QLockFile writes and syncs its holder's details).
    m_lock = std::make_unique<QFile>(m_path + QStringLiteral(".lock"));
    const auto runAlone = [this](const QString &why) {
        qCWarning(lcDesktop) << "cannot take the lock" << m_lock->fileName() << "(" << why
                             << "): not checking for a running Cuelark";
        m_lock.reset();
        return Claim::unavailable;
    };
    if (!m_lock->open(QIODevice::ReadWrite))
        return runAlone(m_lock->errorString());
    if (::flock(m_lock->handle(), LOCK_EX | LOCK_NB) == 0)
        return Claim::first;
    if (errno != EWOULDBLOCK)
        return runAlone(qt_error_string(errno));
    m_lock.reset();
    return std::nullopt;
}

SingleInstance::Claim SingleInstance::handOver()
{
    return sendRequest(m_path + QStringLiteral(".socket")) ? Claim::handedOver : Claim::noAnswer;
}

void SingleInstance::listen()
{
    if (!m_lock)
        return;
    const QString socketPath = m_path + QStringLiteral(".socket");
    // Holding the lock makes any socket there one a crashed run left behind.
    QLocalServer::removeServer(socketPath);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath)) {
        qCWarning(lcDesktop) << "later starts cannot reach this one:" << m_server->errorString();
        return;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    });
}

void SingleInstance::serve(QLocalSocket *socket)
{
    const auto drop = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(clientBound, socket, drop);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, drop] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > openPanelRequest.size())
                drop();
            return;
        }
        if (socket->readLine() != openPanelRequest) {
            drop();
            return;
        }
        qCDebug(lcDesktop) << "a later start asked for the panel";
        // The window system reads the token from there when the panel asks for the focus.
        if (socket->canReadLine()) {
            const QByteArray line = socket->readLine().chopped(1);
            const QByteArray token = line.mid(activationTokenPrefix.size());
            if (line.startsWith(activationTokenPrefix) && isPlainToken(token))
                qputenv("XDG_ACTIVATION_TOKEN", token);
        }
        socket->write(acceptedReply.data(), acceptedReply.size());
        socket->disconnectFromServer();
        Q_EMIT panelRequested();
    });
}
