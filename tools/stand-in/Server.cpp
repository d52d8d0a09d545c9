#include "Server.h"

#include "Routes.h"
#include "Store.h"

#include <QHttpServerResponder>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool isApiCall(const QString &path)
{
    return path.startsWith(u"/api/") || path.startsWith(u"/mac-app/");
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
    addControlRoutes(m_router, store, m_faults, m_callLog);
}

bool Server::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const Call call = Call::from(request, m_origin);
    const std::optional<Fault> fault = isApiCall(call.path) ? m_faults.take(call.path) : std::nullopt;
    if (!fault || (fault->delayMs == 0 && !fault->drop)) {
        finish(call, fault, &request, socket);
        return true;
    }
    // Even an immediate drop waits for the next turn of the event loop: closing
    // the socket from inside this handler would pull it away from the server
    // while the server still uses it. The request object lives as long as its
    // socket, which the QPointer watches.
    QTimer::singleShot(fault->delayMs, this, [this, call, fault, request = &request,
                                              socket = QPointer<QTcpSocket>(socket)] {
        finish(call, fault, request, socket);
    });
    return true;
}

void Server::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    respond(request, socket, Reply::error(404, u"Not found"_s));
}

void Server::finish(const Call &call, const std::optional<Fault> &fault,
                    const QHttpServerRequest *request, const QPointer<QTcpSocket> &socket)
{
    if (fault && fault->drop) {
        record(call, std::nullopt);
        if (socket)
            socket->abort();
        return;
    }
    const Reply reply = fault && fault->status
                            ? Reply{*fault->status, fault->contentType, fault->body, {}}
                            : m_router.serve(call);
    record(call, reply.status);
    // The client may have given up while a delayed answer was waiting.
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        respond(*request, socket, reply);
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
    });
}

void Server::respond(const QHttpServerRequest &request, QTcpSocket *socket, const Reply &reply)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    if (!reply.location.isEmpty())
        responder.writeHeader("Location", reply.location);
    const bool mayHaveBody = reply.status >= 200 && reply.status != 204 && reply.status != 304;
    if (mayHaveBody) {
        responder.writeHeader("Content-Type", reply.contentType);
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    }
    // The first body write also ends the header block, so it is needed even when empty.
    responder.writeBody(mayHaveBody ? reply.body : QByteArray());
}
