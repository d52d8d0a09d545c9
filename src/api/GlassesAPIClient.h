#pragma once

#include "api/Models.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;
class QNetworkRequest;
class TaskHandle;

// Talks to the service's glasses API. A small value: the optional bearer token,
// the service origin, the access manager its calls go through (which must
// outlive them) and an optional handle whose cancellation aborts the calls
// under way. Every operation copies the client into its coroutine, so replacing
// a client never disturbs a call already in flight.
//
// Failures are thrown: APIError, TransportError or DecodingError (api/Errors.h).
class GlassesAPIClient {
public:
    // `idleTimeout`: how long a call may go without receiving anything before it fails.
    GlassesAPIClient(QNetworkAccessManager *network, std::optional<QString> token, QUrl serviceUrl,
                     std::chrono::milliseconds idleTimeout, std::shared_ptr<const TaskHandle> abortHandle = nullptr);

    static QUrl defaultServiceUrl();

    const QUrl &serviceUrl() const { return m_serviceUrl; }
    // The same client, its calls aborted by `abortHandle` instead.
    GlassesAPIClient abortedBy(std::shared_ptr<const TaskHandle> abortHandle) const
    {
        GlassesAPIClient copy = *this;
        copy.m_abortHandle = std::move(abortHandle);
        return copy;
    }

    QCoro::Task<AuthStartResponse> startAuthSession() const;
    QCoro::Task<AuthPollResponse> pollAuthStatus(const QString &sessionId, const QString &pollToken) const;
    QCoro::Task<MeResponse> me() const;
    QCoro::Task<EventsResponse> events() const;
    QCoro::Task<RequestsResponse> requests(qint64 eventId, qint64 limit) const;
    QCoro::Task<> updateRequest(qint64 id, RequestAction action) const;
    // The public release record's raw body, for the update check to judge.
    QCoro::Task<QByteArray> releaseRecord() const;

    using QueryItems = QList<QPair<QString, QString>>;
    using Headers = QList<QPair<QByteArray, QByteArray>>;

private:
    // Where a redirect may lead. A followed redirect takes every header along,
    // the tokens included, and a 307 or 308 the method and body too: the
    // service's own calls stay with its origin (scheme, host and port). The
    // public release record may move to a download host, never from https to http.
    enum class Redirects { withinOrigin, toNoLessSafeOrigins };

    // The request for `path`; throws APIError::invalidURL when it cannot be addressed.
    QNetworkRequest buildRequest(const QString &path, const QueryItems &query, const Headers &headers,
                                 bool hasBody, Redirects redirects) const;
    // The one place every request is built, sent and judged; returns a 2xx body.
    static QCoro::Task<QByteArray> request(GlassesAPIClient client, QString path, QByteArray method,
                                           QueryItems query, Headers headers,
                                           std::optional<QByteArray> body,
                                           Redirects redirects = Redirects::withinOrigin);
    template<typename Record>
    static QCoro::Task<Record> get(GlassesAPIClient client, QString path, QueryItems query,
                                   Headers headers, Record (*decode)(const QByteArray &));
    // The same for the records a refresh fetches again and again: an answer byte
    // for byte the same as the last one of its kind is not decoded again, and
    // yields the very record decoded then, its lists sharing their data with it.
    template<typename Record>
    static QCoro::Task<Record> getRepeated(GlassesAPIClient client, QString path, QueryItems query,
                                           Record (*decode)(const QByteArray &));

    QNetworkAccessManager *m_network;
    std::optional<QString> m_token;
    QUrl m_serviceUrl;
    std::chrono::milliseconds m_idleTimeout;
    std::shared_ptr<const TaskHandle> m_abortHandle;
};
