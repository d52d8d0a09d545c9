#include "support/RecordingServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>

bool RecordedRequest::hasHeader(const QByteArray &name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto &header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
}

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

RecordingServer::RecordingServer()
{
    install();
    QObject::connect(&m_listener, &QTcpServer::newConnection, [this] { ++connections; });
    m_listener.listen(QHostAddress::LocalHost, 0);
    m_server.bind(&m_listener);
    m_url = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_listener.serverPort()));
}

RecordingServer::RecordingServer(const QSslCertificate &certificate, const QSslKey &key)
{
    install();
    m_server.sslSetup(certificate, key);
    const quint16 port = m_server.listen(QHostAddress::LocalHost, 0);
    m_url = QUrl(QStringLiteral("https://127.0.0.1:%1").arg(port));
}

void RecordingServer::answer(int status, QByteArray body, QByteArray contentType)
{
    m_status = status;
    m_body = std::move(body);
    m_contentType = std::move(contentType);
}

void RecordingServer::install()
{
    m_server.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        static const QHash<QHttpServerRequest::Method, QByteArray> methodNames = {
            {QHttpServerRequest::Method::Get, "GET"},     {QHttpServerRequest::Method::Post, "POST"},
            {QHttpServerRequest::Method::Patch, "PATCH"}, {QHttpServerRequest::Method::Put, "PUT"},
            {QHttpServerRequest::Method::Delete, "DELETE"}};
        requests.append({methodNames.value(request.method(), "OTHER"), request.url().path(),
                         request.url().query(QUrl::FullyEncoded), request.headers(), request.body()});
        responder.write(m_body, m_contentType, QHttpServerResponder::StatusCode(m_status));
    });
}
