#include "support/RecordingServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>

RecordingServer::RecordingServer()
{
    m_server.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        static const QHash<QHttpServerRequest::Method, QByteArray> methodNames = {
            {QHttpServerRequest::Method::Get, "GET"},     {QHttpServerRequest::Method::Post, "POST"},
            {QHttpServerRequest::Method::Patch, "PATCH"}, {QHttpServerRequest::Method::Put, "PUT"},
            {QHttpServerRequest::Method::Delete, "DELETE"}};
        RecordedRequest recorded{methodNames.value(request.method(), "OTHER"), request.url().path(),
                                 request.url().query(QUrl::FullyEncoded), {}, request.body()};
        for (const auto &[name, value] : request.headers())
            recorded.headers.insert(name.toLower(), value);
        requests.append(std::move(recorded));
        responder.write(m_body, m_contentType, QHttpServerResponder::StatusCode(m_status));
    });
    QObject::connect(&m_listener, &QTcpServer::newConnection, [this] { ++connections; });
    m_listener.listen(QHostAddress::LocalHost, 0);
    m_server.bind(&m_listener);
    m_url = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_listener.serverPort()));
}

void RecordingServer::answer(int status, QByteArray body, QByteArray contentType)
{
    m_status = status;
    m_body = std::move(body);
    m_contentType = std::move(contentType);
}
