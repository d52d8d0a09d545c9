#include "Server.h"

#include "Routes.h"
#include "Store.h"

#include <QHttpServerResponder>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool isApiCall(const QString &path)
{
    return path.startsWith(u"/api/") || path.startsWith(u"/mac-app/");
}

QByteArray sameAddress(const Call &call)
{
    return call.origin.toUtf8() + call.wirePath + (call.rawQuery.isEmpty() ? QByteArray() : '?' + call.rawQuery);
}

QJsonValue headerOrNull(const Call &call, QByteArrayView name)
{
    const std::optional<QByteArray> value = call.header(name);
    return value ? QJsonValue(QString::fromUtf8(*value)) : QJsonValue(QJsonValue::Null);
}

} // namespace

Server::Server(Store &store, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_router([&store](const Call &call) {
        const std::optional<QString> token = call.bearerToken();
        return token && store.isValidToken(*token);
    })
{
    addServiceRoutes(m_router, store);
    addControlRoutes(m_router, store, m_faults, m_callLog,
                     [this](std::chrono::milliseconds span) { pauseListening(span); });
}

bool Server::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    Call call = Call::from(request, m_origin);
    // Numbered on first use, so a client's reuse of one connection shows in the log.
    if (!socket->property("connection").isValid())
        socket->setProperty("connection", ++m_connections);
    call.connection = socket->property("connection").toInt();
    std::optional<Fault> fault;
    // Qt's client resends a call whose connection closed unanswered, at once
    // and only once: that resend is the same call, so it is cut too.
    const QByteArray signature = call.method + ' ' + call.wirePath + '?' + call.rawQuery + '\n' + call.body;
    if (m_lastDrop.isValid() && m_lastDrop.elapsed() < 100 && signature == m_lastDropped) {
        m_lastDrop.invalidate();
        fault.emplace().drop = true;
    } else if (isApiCall(call.path)) {
        fault = m_faults.take(call.path);
        if (fault && fault->drop) {
            m_lastDropped = signature;
            m_lastDrop.start();
        }
    }
    // A late answer says what the service knew when the call arrived, as a slow
    // network would deliver it; an action takes effect on arrival too.
    std::optional<Reply> reply;
    if (fault && fault->status)
        reply = Reply{*fault->status, fault->contentType, fault->body, fault->location};
    else if (fault && fault->redirectLoop)
        reply = Reply{302, "text/plain", {}, sameAddress(call)};
    else if (!fault || !fault->drop)
        reply = m_router.serve(call);
    if (!fault || (fault->delayMs == 0 && !fault->drop && !fault->truncate)) {
        finish(call, fault, reply, &request, socket);
        return true;
    }
    // Even an immediate drop or cut waits for the next turn of the event loop: closing
    // the socket from inside this handler would pull it away from the server
    // while the server still uses it. The request object lives as long as its
    // socket, which the QPointer watches.
    QTimer::singleShot(fault->delayMs, this, [this, call, fault, reply, request = &request,
                                              socket = QPointer<QTcpSocket>(socket)] {
        finish(call, fault, reply, request, socket);
    });
    return true;
}

void Server::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    respond(request, socket, Reply::error(404, u"Not found"_s));
}

void Server::finish(const Call &call, const std::optional<Fault> &fault, const std::optional<Reply> &reply,
                    const QHttpServerRequest *request, const QPointer<QTcpSocket> &socket)
{
    if (!reply) {
        record(call, std::nullopt);
        if (socket)
            socket->abort();
        return;
    }
    record(call, reply->status);
    // The client may have given up while a delayed answer was waiting.
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    const bool truncate = fault && fault->truncate;
    respond(*request, socket, *reply, truncate, fault && fault->chunked);
    if (truncate)
        socket->disconnectFromHost(); // after what was written has gone out
}

void Server::pauseListening(std::chrono::milliseconds span)
{
    // Runs after the control call's own answer has been written, so that its
    // connection closes only once the answer is out.
    QTimer::singleShot(0, this, [this, span] {
        const QList<QTcpServer *> listeners = servers();
        for (QTcpServer *listener : listeners) {
            const QHostAddress address = listener->serverAddress();
            const quint16 port = listener->serverPort();
            listener->close();
            // Open connections, idle ones kept alive included, are children of their listener.
            const QList<QTcpSocket *> connections = listener->findChildren<QTcpSocket *>();
            for (QTcpSocket *connection : connections)
                connection->disconnectFromHost();
            QTimer::singleShot(span, listener, [listener, address, port] {
                if (!listener->listen(address, port))
                    std::fprintf(stderr, "cuelark-stand-in: cannot listen again on port %u\n", unsigned(port));
            });
        }
    });
}

void Server::record(const Call &call, std::optional<int> status)
{
    const QByteArray line = call.method + ' ' + call.wirePath + ' '
                            + (status ? QByteArray::number(*status) : "dropped") + '\n';
    std::fputs(line.constData(), stdout);
    std::fflush(stdout);

    if (!isApiCall(call.path))
        return;
    m_callLog.append(QJsonObject{
        {u"method"_s, QString::fromLatin1(call.method)},
        {u"path"_s, call.path},
        {u"query"_s, QString::fromLatin1(call.rawQuery)},
        {u"status"_s, status.value_or(0)},
        {u"authorization"_s, headerOrNull(call, "authorization")},
        {u"pollToken"_s, headerOrNull(call, "x-glasses-poll-token")},
        {u"contentType"_s, headerOrNull(call, "content-type")},
        {u"body"_s, QString::fromUtf8(call.body)},
        {u"connection"_s, call.connection},
        {u"userAgent"_s, headerOrNull(call, "user-agent")},
    });
}

void Server::respond(const QHttpServerRequest &request, QTcpSocket *socket, const Reply &reply, bool truncate,
                     bool chunked)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    if (!reply.location.isEmpty())
        responder.writeHeader("Location", reply.location);
    const bool mayHaveBody = reply.status >= 200 && reply.status != 204 && reply.status != 304;
    if (mayHaveBody) {
        responder.writeHeader("Content-Type", reply.contentType);
        // A cut answer announces its whole body (at least one byte) and sends half.
        const qsizetype announced = truncate ? std::max<qsizetype>(reply.body.size(), 1) : reply.body.size();
        if (chunked)
            responder.writeHeader("Transfer-Encoding", "chunked");
        else
            responder.writeHeader("Content-Length", QByteArray::number(announced));
    }
    // The first body write also ends the header block, so it is needed even when empty.
    const QByteArray body = !mayHaveBody ? QByteArray() : truncate ? reply.body.first(reply.body.size() / 2) : reply.body;
    if (chunked && mayHaveBody) // one chunk (none when empty), then the last
        responder.writeBody((body.isEmpty() ? QByteArray() : QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n")
                            + "0\r\n\r\n");
    else
        responder.writeBody(body);
}
