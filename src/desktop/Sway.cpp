#include "desktop/Sway.h"

#include "Logging.h"
#include "TaskHandle.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QScopeGuard>

#include <qcoro/qcorosignal.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using namespace std::chrono_literals;

// The IPC's framing: a magic string, then the payload's length and the message
// type as native 32-bit integers, then the payload.
constexpr QByteArrayView magic("i3-ipc");
constexpr qsizetype headerSize = 14;
constexpr quint32 runCommand = 0, getWorkspaces = 1, getOutputs = 3;
// sway answers at once; a socket that does not is given up.
constexpr std::chrono::milliseconds answerBound = 1s;
// The window is mapped a moment after it is shown.
constexpr int mappedTries = 10;
constexpr auto mappedPause = 50ms;
// A reply larger than this is not sway's.
constexpr qsizetype replyBound = 4 * 1024 * 1024;

// Whether the socket is connected, within `bound` of now.
QCoro::Task<bool> connected(QLocalSocket &socket, std::chrono::milliseconds bound)
{
    const QDeadlineTimer deadline(bound);
    while (socket.state() == QLocalSocket::ConnectingState && !deadline.hasExpired())
        co_await qCoro(&socket, &QLocalSocket::stateChanged, std::chrono::milliseconds(deadline.remainingTime()));
    co_return socket.state() == QLocalSocket::ConnectedState;
}

// The answer, or a null document when there is none.
QCoro::Task<QJsonDocument> ask(QLocalSocket &socket, quint32 type, const QByteArray &payload)
{
    QByteArray frame = magic.toByteArray();
    const auto length = quint32(payload.size());
    frame.append(reinterpret_cast<const char *>(&length), sizeof length);
    frame.append(reinterpret_cast<const char *>(&type), sizeof type);
    socket.write(frame + payload);
    QByteArray reply;
    quint32 replyLength = 0;
    while (reply.size() < headerSize || reply.size() < headerSize + qsizetype(replyLength)) {
        if (!socket.bytesAvailable() && !co_await qCoro(&socket, &QIODevice::readyRead, answerBound))
            co_return QJsonDocument();
        reply += socket.readAll();
        if (reply.size() >= headerSize) {
            if (!reply.startsWith(magic))
                co_return QJsonDocument();
            std::memcpy(&replyLength, reply.constData() + magic.size(), sizeof replyLength);
            if (replyLength > replyBound)
                co_return QJsonDocument();
        }
    }
    co_return QJsonDocument::fromJson(reply.mid(headerSize, replyLength));
}

QRect rectOf(const QJsonValue &node)
{
    const QJsonObject rect = node[QLatin1String("rect")].toObject();
    return {rect[QLatin1String("x")].toInt(), rect[QLatin1String("y")].toInt(), rect[QLatin1String("width")].toInt(),
            rect[QLatin1String("height")].toInt()};
}

// Criteria strings are quoted regular expressions: escape both levels.
QString quotedPattern(const QString &text)
{
    QString pattern = QRegularExpression::escape(text);
    pattern.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1String("\"^") + pattern + QLatin1String("$\"");
}

} // namespace

std::optional<QString> Sway::socketPath()
{
    const QString path = qEnvironmentVariable("SWAYSOCK");
    return path.isEmpty() ? std::nullopt : std::optional(path);
}

Sway::Sway(QString socketPath, QObject *parent)
    : QObject(parent), m_socketPath(std::move(socketPath))
{
}

Sway::~Sway()
{
    m_lifetime->cancel();
}

QPoint Sway::positionNextToBar(QSize size, QRect usable, QRect output, int margin)
{
    // A bar at the bottom leaves the usable area's top at the output's; its
    // panel goes up from the bottom. Positions are relative to the usable area.
    const bool barAtBottom = usable.top() <= output.top() && usable.bottom() < output.bottom();
    const int x = std::max(0, usable.width() - size.width() - margin);
    const int y = barAtBottom ? std::max(0, usable.height() - size.height() - margin) : margin;
    return {x, y};
}

void Sway::moveNextToBar(const QString &title, QSize size, int margin)
{
    move({m_lifetime, lcDesktop}, title, size, margin);
}

Flow Sway::move(FlowScope scope, QString title, QSize size, int margin)
{
    // Deleted later, not with this frame: the frame may end while the socket is
    // still telling that its answer arrived.
    auto *connection = new QLocalSocket;
    const auto release = qScopeGuard([connection] { connection->deleteLater(); });
    QLocalSocket &socket = *connection;
    socket.connectToServer(m_socketPath);
    if (!co_await connected(socket, answerBound)) {
        qCDebug(lcDesktop) << "sway's socket did not answer";
        co_return;
    }
    // (Answers are kept outside loops and conditions: GCC 12 destroys such
    // coroutine temporaries twice.)
    const QJsonDocument workspaces = co_await ask(socket, getWorkspaces, {});
    if (workspaces.isNull())
        co_return;
    const QJsonDocument outputs = co_await ask(socket, getOutputs, {});
    if (outputs.isNull())
        co_return;
    // The focused workspace is on the output the DJ clicked on.
    QJsonValue workspace, output;
    const QJsonArray workspaceList = workspaces.array(), outputList = outputs.array();
    for (const QJsonValue &candidate : workspaceList)
        if (candidate[QLatin1String("focused")].toBool())
            workspace = candidate;
    for (const QJsonValue &candidate : outputList)
        if (candidate[QLatin1String("name")] == workspace[QLatin1String("output")])
            output = candidate;
    if (!workspace.isObject() || !output.isObject())
        co_return;
    // The panel's size in sway's logical pixels is its size in Qt's.
    const QPoint at = positionNextToBar(size, rectOf(workspace), rectOf(output), margin);
    const QByteArray command = QStringLiteral("[pid=%1 title=%2] move position %3 px %4 px")
                                   .arg(QCoreApplication::applicationPid())
                                   .arg(quotedPattern(title))
                                   .arg(at.x())
                                   .arg(at.y())
                                   .toUtf8();
    QJsonDocument result;
    for (int attempt = 0; attempt < mappedTries; ++attempt) {
        // The pause comes before a try, never last: a flow that ends as its
        // timer fires would free the timer while it is still firing.
        if (attempt > 0)
            co_await sleepFor(scope.handle, mappedPause);
        result = co_await ask(socket, runCommand, command);
        if (result.isNull())
            co_return;
        if (result.array().at(0)[QLatin1String("success")].toBool()) {
            qCDebug(lcDesktop) << "sway moved the panel to" << at;
            co_return;
        }
    }
    qCDebug(lcDesktop) << "sway did not find the panel to move";
}
