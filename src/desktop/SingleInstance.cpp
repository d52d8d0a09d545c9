#include "desktop/SingleInstance.h"

#include "AppConfig.h"
#include "Logging.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

using namespace std::chrono_literals;

const QByteArray openPanelRequest = QByteArrayLiteral("open-panel\n");
const QByteArray acceptedReply = QByteArrayLiteral("ok\n");
// Follows the request on a line of its own, so that an older running app, which
// reads the request line alone, still answers.
const QByteArray activationTokenPrefix = QByteArrayLiteral("activation-token ");
constexpr qsizetype activationTokenMaxLength = 256;
// A running app that has taken the lock listens once its QApplication exists;
// a start meanwhile keeps trying this long.
constexpr auto handOverBound = 3s;
constexpr unsigned long connectRetryPauseMs = 20;
// A client that sends nothing useful is dropped.
constexpr auto clientBound = 2s;

// The display this start shows on: each graphical session of a user has its
// own, and its own tray. Launchers, autostart and terminals of one session
// all carry the same value.
QString displayKey()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    // ":0" and ":0.0" name the same X display (its screen 0).
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY").remove(QRegularExpression(QStringLiteral("\\.[0-9]+$")));
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
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
    return isPlainToken(token) ? activationTokenPrefix + token + '\n' : QByteArray();
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
    socket.write(openPanelRequest + activationTokenLine());
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
    // Qt's runtime location is private to the user (0700, theirs); without
    // XDG_RUNTIME_DIR it makes one of that kind in the temporary directory.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) {
        qCWarning(lcUi) << "no private runtime directory: not checking for a running Cuelark";
        return Claim::unavailable;
    }
    QString name = QString::fromLatin1(AppConfig::appId);
    if (const QString display = displayKey(); !display.isEmpty())
        name += QLatin1Char('-') + display;
    m_path = runtime + QLatin1Char('/') + name;
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    // Only a holder that has ended frees the lock, however long the app runs.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return Claim::first;
    if (m_lock->error() != QLockFile::LockFailedError) {
        qCWarning(lcUi) << "cannot take the lock" << m_lock->fileName() << "(error" << m_lock->error()
                        << "): not checking for a running Cuelark";
        m_lock.reset();
        return Claim::unavailable;
    }
    m_lock.reset();
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
        qCWarning(lcUi) << "later starts cannot reach this one:" << m_server->errorString();
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
        qCDebug(lcUi) << "a later start asked for the panel";
        // The window system reads the token from there when the panel asks for the focus.
        if (socket->canReadLine()) {
            const QByteArray line = socket->readLine().chopped(1);
            const QByteArray token = line.mid(activationTokenPrefix.size());
            if (line.startsWith(activationTokenPrefix) && isPlainToken(token))
                qputenv("XDG_ACTIVATION_TOKEN", token);
        }
        socket->write(acceptedReply);
        socket->disconnectFromServer();
        Q_EMIT panelRequested();
    });
}
