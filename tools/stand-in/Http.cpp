#include "Http.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QUrl>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Only a plain host[:port] from the Host header is trusted to build links.
QString originFromHost(const QByteArray &host, const QString &scheme)
{
    QUrl origin;
    origin.setScheme(scheme);
    origin.setAuthority(QString::fromLatin1(host), QUrl::StrictMode);
    if (!origin.isValid() || origin.host().isEmpty() || !origin.userInfo().isEmpty())
        return {};
    return origin.toString(QUrl::FullyEncoded);
}

} // namespace

Call Call::from(const QHttpServerRequest &request, const QString &fallbackOrigin)
{
    Call call;
    const QUrl url = request.url();
    call.method = QByteArray(QMetaEnum::fromType<QHttpServerRequest::Method>()
                                 .valueToKey(int(request.method())))
                      .toUpper();
    call.path = url.path();
    call.wirePath = url.path(QUrl::FullyEncoded).toLatin1();
    call.rawQuery = url.query(QUrl::FullyEncoded).toLatin1();
    call.query = request.query();
    call.headers = request.headers();
    call.body = request.body();
    const QString scheme = QUrl(fallbackOrigin).scheme();
    const std::optional<QByteArray> host = call.header("host");
    call.origin = host ? originFromHost(*host, scheme) : QString();
    if (call.origin.isEmpty())
        call.origin = fallbackOrigin;
    return call;
}

std::optional<QByteArray> Call::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

QString Call::queryValue(const QString &name) const
{
    return query.queryItemValue(name, QUrl::FullyDecoded);
}

std::optional<QString> Call::bearerToken() const
{
    const std::optional<QByteArray> authorization = header("authorization");
    constexpr QByteArrayView scheme = "bearer ";
    if (!authorization || authorization->size() <= scheme.size()
        || QByteArrayView(*authorization).first(scheme.size()).compare(scheme, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return QString::fromUtf8(authorization->mid(scheme.size()));
}

Reply Reply::json(int status, const QJsonValue &value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray())
                                                   : QJsonDocument(value.toObject());
    return {status, "application/json", document.toJson(QJsonDocument::Compact), {}};
}

Reply Reply::error(int status, const QString &message)
{
    return json(status, QJsonObject{{u"error"_s, message}});
}

Reply Reply::html(int status, const QString &title, const QString &bodyHtml)
{
    const QString page =
        u"<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>%1</title>"
        "<style>body{font-family:sans-serif;max-width:32em;margin:4em auto;padding:0 1em}"
        "button{font-size:1.1em;padding:.4em 1.6em}</style></head>\n"
        "<body><h1>%1</h1>\n%2\n</body></html>\n"_s.arg(title.toHtmlEscaped(), bodyHtml);
    return {status, "text/html; charset=utf-8", page.toUtf8(), {}};
}

Reply Reply::redirect(const QString &location)
{
    return {303, "text/plain; charset=utf-8", {}, location.toUtf8()};
}

std::optional<qint64> jsonInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Beyond ±2^63 a double is still whole but no longer an int64.
    if (std::trunc(number) != number || std::fabs(number) >= 9.2e18)
        return std::nullopt;
    return value.toInteger();
}
