#include "api/GlassesAPIClient.h"

#include "AppConfig.h"
#include "TaskHandle.h"
#include "api/Errors.h"
#include "api/Network.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <qcoro/qcoronetworkreply.h>

namespace {

constexpr int timeoutMs = 60'000;

struct DeleteLater {
    void operator()(QObject *object) const { object->deleteLater(); }
};

// The service's own message in an error body: only an object whose every member
// is a string counts, and then only its "error" member.
std::optional<QString> serviceMessage(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
    }
    const auto error = object.constFind(QLatin1String("error"));
    if (error == object.constEnd())
        return std::nullopt;
    return error.value().toString();
}

} // namespace

GlassesAPIClient::GlassesAPIClient(std::optional<QString> token, QUrl serviceUrl,
                                   std::shared_ptr<const TaskHandle> abortHandle)
    : m_token(std::move(token))
    , m_serviceUrl(std::move(serviceUrl))
    , m_abortHandle(std::move(abortHandle))
{
}

QUrl GlassesAPIClient::defaultServiceUrl()
{
    return QUrl(QString::fromLatin1(AppConfig::serviceUrl), QUrl::StrictMode);
}

QCoro::Task<QByteArray> GlassesAPIClient::request(GlassesAPIClient client, QString path,
                                                  QByteArray method, QueryItems query,
                                                  Headers headers, std::optional<QByteArray> body)
{
    QUrl url(client.m_serviceUrl.toString(QUrl::FullyEncoded) + QLatin1Char('/') + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        throw APIError::invalidURL();
    if (!query.isEmpty()) {
        QByteArray encoded;
        for (const auto &[name, value] : std::as_const(query)) {
            if (!encoded.isEmpty())
                encoded += '&';
            encoded += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
        }
        url.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
        if (!url.isValid())
            throw APIError::invalidURL();
    }

    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (client.m_token)
        request.setRawHeader("Authorization", "Bearer " + client.m_token->toUtf8());
    for (const auto &[name, value] : std::as_const(headers))
        request.setRawHeader(name, value);
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));

    if (client.m_abortHandle && client.m_abortHandle->isCancelled())
        throw TransportError(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled"));

    QNetworkAccessManager *manager = Network::accessManager();
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        body ? manager->sendCustomRequest(request, method, *body)
             : manager->sendCustomRequest(request, method));
    if (client.m_abortHandle)
        QObject::connect(client.m_abortHandle.get(), &TaskHandle::cancelled, reply.get(), &QNetworkReply::abort);

    co_await reply.get();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply->error() != QNetworkReply::NoError)
            throw TransportError(reply->error(), reply->errorString());
        throw APIError::http(0);
    }
    const int code = status.toInt();
    const QByteArray bytes = reply->readAll();
    if (code >= 200 && code <= 299)
        co_return bytes;
    if (code == 401)
        throw APIError::unauthorized();
    throw APIError::http(code, serviceMessage(bytes));
}

template<typename Record>
QCoro::Task<Record> GlassesAPIClient::get(GlassesAPIClient client, QString path, QueryItems query,
                                          Headers headers, Record (*decode)(const QByteArray &))
{
    const QByteArray bytes = co_await request(std::move(client), std::move(path), "GET",
                                              std::move(query), std::move(headers), std::nullopt);
    co_return decode(bytes);
}

namespace {

QCoro::Task<AuthStartResponse> decodeStart(QCoro::Task<QByteArray> bytes)
{
    co_return Models::decodeAuthStart(co_await std::move(bytes));
}

QCoro::Task<> discardBody(QCoro::Task<QByteArray> bytes)
{
    co_await std::move(bytes);
}

} // namespace

QCoro::Task<AuthStartResponse> GlassesAPIClient::startAuthSession() const
{
    return decodeStart(request(*this, QStringLiteral("api/glasses/auth/start"), "POST", {}, {},
                               Models::encodeStartBody(QStringLiteral("/glasses.html"))));
}

QCoro::Task<AuthPollResponse> GlassesAPIClient::pollAuthStatus(const QString &sessionId,
                                                                const QString &pollToken) const
{
    return get(*this, QStringLiteral("api/glasses/auth/status"), {{QStringLiteral("session"), sessionId}},
               {{"x-glasses-poll-token", pollToken.toUtf8()}}, &Models::decodeAuthPoll);
}

QCoro::Task<MeResponse> GlassesAPIClient::me() const
{
    return get(*this, QStringLiteral("api/glasses/me"), {}, {}, &Models::decodeMe);
}

QCoro::Task<EventsResponse> GlassesAPIClient::events() const
{
    return get(*this, QStringLiteral("api/glasses/events"), {}, {}, &Models::decodeEvents);
}

QCoro::Task<RequestsResponse> GlassesAPIClient::requests(qint64 eventId, qint64 limit) const
{
    return get(*this, QStringLiteral("api/glasses/requests"),
               {{QStringLiteral("eventId"), QString::number(eventId)},
                {QStringLiteral("limit"), QString::number(limit)}},
               {}, &Models::decodeRequests);
}

QCoro::Task<> GlassesAPIClient::updateRequest(qint64 id, RequestAction action) const
{
    return discardBody(request(*this, QStringLiteral("api/glasses/requests/%1").arg(id), "PATCH", {}, {},
                               Models::encodeUpdateBody(action)));
}
