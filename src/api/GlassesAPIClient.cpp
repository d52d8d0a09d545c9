#include "api/GlassesAPIClient.h"

#include "AppConfig.h"
#include "AppVersion.h"
#include "Logging.h"
#include "TaskHandle.h"
#include "api/Errors.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <qcoro/qcorotask.h>

#include <coroutine>

namespace {

struct DeleteLater {
    void operator()(QObject *object) const { object->deleteLater(); }
};

// Awaits the reply's end, resumed by its finished signal itself: QCoro's
// signal awaiter resumes through a queued event, a turn of the event loop
// more for every call (a third more CPU per refresh cycle).
class ReplyFinished {
public:
    explicit ReplyFinished(QNetworkReply *reply) : m_reply(reply) {}
    // Connected only once suspended, so a copy made before holds no connection.
    ~ReplyFinished() { QObject::disconnect(m_connection); }

    bool await_ready() const { return m_reply->isFinished(); }
    void await_suspend(std::coroutine_handle<> awaiting)
    {
        m_connection = QObject::connect(m_reply, &QNetworkReply::finished, m_reply, [this, awaiting] {
            QObject::disconnect(m_connection);
            awaiting.resume(); // may end the frame this awaiter lives in: nothing of it is touched after
        });
    }
    void await_resume() const {}

private:
    QNetworkReply *m_reply;
    QMetaObject::Connection m_connection;
};

// Beyond any real answer: a bigger body ends the call rather than growing memory.
constexpr qint64 maxBodyBytes = 8 * 1024 * 1024;

// Aborts the reply once its announced length or the bytes received pass the cap.
void capBody(QNetworkReply *reply, bool &tooLarge)
{
    const auto check = [reply, &tooLarge](qint64 received, qint64 total) {
        if (!tooLarge && (received > maxBodyBytes || total > maxBodyBytes)) {
            tooLarge = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply,
                     [reply, check] { check(0, reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, check);
}

// Where a refused redirect pointed: its host, in ASCII.
QString redirectTarget(const QNetworkReply &reply)
{
    const QUrl target = reply.url().resolved(QUrl::fromEncoded(reply.rawHeader("Location")));
    const QString host = target.host(QUrl::EncodeUnicode);
    return host.isEmpty() ? target.scheme() : host;
}

// No answer of the service starts with markup: a 2xx that does is a captive
// portal's or a proxy's page, even when it calls itself JSON.
bool isWebPage(const QByteArray &body)
{
    QByteArrayView text(body);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    return text.trimmed().startsWith('<');
}

} // namespace

GlassesAPIClient::GlassesAPIClient(QNetworkAccessManager *network, std::optional<QString> token,
                                   QUrl serviceUrl, std::chrono::milliseconds idleTimeout,
                                   std::shared_ptr<const TaskHandle> abortHandle)
    : m_network(network)
    , m_token(std::move(token))
    , m_serviceUrl(std::move(serviceUrl))
    , m_idleTimeout(idleTimeout)
    , m_abortHandle(std::move(abortHandle))
{
}

QUrl GlassesAPIClient::defaultServiceUrl()
{
    return QUrl(QString::fromLatin1(AppConfig::serviceUrl), QUrl::StrictMode);
}

QNetworkRequest GlassesAPIClient::buildRequest(const QString &path, const QueryItems &query,
                                               const Headers &headers, bool hasBody, Redirects redirects) const
{
    QUrl url(m_serviceUrl.toString(QUrl::FullyEncoded) + QLatin1Char('/') + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        throw APIError::invalidURL();
    if (!query.isEmpty()) {
        QByteArray encoded;
        for (const auto &[name, value] : query) {
            if (!encoded.isEmpty())
                encoded += '&';
            encoded += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
        }
        url.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
        if (!url.isValid())
            throw APIError::invalidURL();
    }

    QNetworkRequest request(url);
    // Qt's default claims to be a browser ("Mozilla/5.0").
    request.setHeader(QNetworkRequest::UserAgentHeader, QString(QStringLiteral("Cuelark/") + AppVersion::shortVersion()));
    request.setTransferTimeout(int(m_idleTimeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Qt checks the redirect's target before it sends anything there, and ends
    // the call as an insecure redirect otherwise.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         redirects == Redirects::withinOrigin ? QNetworkRequest::SameOriginRedirectPolicy
                                                              : QNetworkRequest::NoLessSafeRedirectPolicy);
    if (m_token)
        request.setRawHeader("Authorization", "Bearer " + m_token->toUtf8());
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (hasBody)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return request;
}

// A finished reply's 2xx body, or the failure it stands for.
static QByteArray judgeReply(QNetworkReply &reply, bool tooLarge, bool abortedByUs)
{
    if (reply.error() == QNetworkReply::InsecureRedirectError)
        throw TransportError::redirectedElsewhere(redirectTarget(reply));
    if (tooLarge)
        throw TransportError::bodyTooLarge();
    // Qt ends a call that went quiet for too long as if it had been aborted.
    if (reply.error() == QNetworkReply::OperationCanceledError && !abortedByUs)
        throw TransportError::timedOut();
    // A connection that broke mid-answer, a redirect loop or a proxy failure is
    // the transport's failure even when a status line came before it.
    if (reply.error() > QNetworkReply::NoError && reply.error() < QNetworkReply::ContentAccessDenied)
        throw TransportError(reply.error(), reply.errorString());
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply.error() != QNetworkReply::NoError)
            throw TransportError(reply.error(), reply.errorString());
        throw APIError::http(0);
    }
    const int code = status.toInt();
    const QByteArray bytes = reply.readAll();
    if ((code >= 200 && code <= 299 && isWebPage(bytes)) || code == 511) // 511: the network wants a sign-in
        throw TransportError::webPageInstead();
    if (code >= 200 && code <= 299)
        return bytes;
    if (code == 401)
        throw APIError::unauthorized();
    throw APIError::http(code, Models::decodeErrorMessage(bytes));
}

QCoro::Task<QByteArray> GlassesAPIClient::request(GlassesAPIClient client, QString path,
                                                  QByteArray method, QueryItems query,
                                                  Headers headers, std::optional<QByteArray> body,
                                                  Redirects redirects)
{
    const QNetworkRequest request = client.buildRequest(path, query, headers, body.has_value(), redirects);
    if (client.m_abortHandle && client.m_abortHandle->isCancelled())
        throw TransportError(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled"));

    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        body ? client.m_network->sendCustomRequest(request, method, *body)
             : client.m_network->sendCustomRequest(request, method));
    if (client.m_abortHandle)
        QObject::connect(client.m_abortHandle.get(), &TaskHandle::cancelled, reply.get(), &QNetworkReply::abort);
    bool tooLarge = false;
    capBody(reply.get(), tooLarge);

    // The path only: neither the query nor the headers (the tokens ride there).
    qCDebug(lcApi).noquote() << method << path;
    co_await ReplyFinished(reply.get());
    // The reply outlives this frame a little: nothing may reach `tooLarge` now.
    reply->disconnect();
    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || tooLarge)
        qCWarning(lcApi).noquote() << method << path << "failed:" << code << reply->error()
                                   << (tooLarge ? QStringLiteral("answer too large") : QString());
    else
        qCDebug(lcApi).noquote() << method << path << "answered" << code;
    co_return judgeReply(*reply, tooLarge, client.m_abortHandle && client.m_abortHandle->isCancelled());
}

template<typename Record>
QCoro::Task<Record> GlassesAPIClient::get(GlassesAPIClient client, QString path, QueryItems query,
                                          Headers headers, Record (*decode)(const QByteArray &))
{
    const QByteArray bytes = co_await request(std::move(client), std::move(path), "GET",
                                              std::move(query), std::move(headers), std::nullopt);
    co_return decode(bytes);
}

template<typename Record>
QCoro::Task<Record> GlassesAPIClient::getRepeated(GlassesAPIClient client, QString path, QueryItems query,
                                                  Record (*decode)(const QByteArray &))
{
    // One answer of each kind, kept while the program runs: a copy of the body
    // (at most the body cap) beside a record that its reader holds anyway.
    struct LastAnswer {
        QByteArray body;
        Record record;
    };
    static std::optional<LastAnswer> last;
    QByteArray bytes = co_await request(std::move(client), std::move(path), "GET", std::move(query), {},
                                        std::nullopt);
    if (!last || last->body != bytes) {
        Record record = decode(bytes);
        last = LastAnswer{std::move(bytes), std::move(record)};
    }
    // A copy: QCoro moves from any non-const value handed to co_return.
    co_return Record(last->record);
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
    return getRepeated(*this, QStringLiteral("api/glasses/events"), {}, &Models::decodeEvents);
}

QCoro::Task<RequestsResponse> GlassesAPIClient::requests(qint64 eventId, qint64 limit) const
{
    return getRepeated(*this, QStringLiteral("api/glasses/requests"),
                       {{QStringLiteral("eventId"), QString::number(eventId)},
                        {QStringLiteral("limit"), QString::number(limit)}},
                       &Models::decodeRequests);
}

QCoro::Task<QByteArray> GlassesAPIClient::releaseRecord() const
{
    return request(*this, QStringLiteral("mac-app/latest.json"), "GET", {}, {}, std::nullopt,
                   Redirects::toNoLessSafeOrigins);
}

QCoro::Task<> GlassesAPIClient::updateRequest(qint64 id, RequestAction action) const
{
    return discardBody(request(*this, QStringLiteral("api/glasses/requests/%1").arg(id), "PATCH", {}, {},
                               Models::encodeUpdateBody(action)));
}
