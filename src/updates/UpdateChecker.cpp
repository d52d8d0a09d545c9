#include "updates/UpdateChecker.h"

#include "WebUrl.h"
#include "api/Network.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <limits>
#include <memory>

#include <qcoro/qcoronetworkreply.h>

namespace UpdateChecker {

namespace {

constexpr int requestTimeoutMs = 60'000;

// What the release record's keys may hold. A listed key with any other JSON type
// makes the whole record unusable; missing or null counts as absent.
enum class Kind { string, integer, boolean };

bool hasKind(const QJsonValue &value, Kind kind)
{
    switch (kind) {
    case Kind::string:
        return value.isString();
    case Kind::boolean:
        return value.isBool();
    case Kind::integer:
        // Every JSON number is a double to Qt; toInteger() falls back to its
        // argument unless the number is a whole value in the signed 64-bit range,
        // so two different fallbacks agree only for a real integer.
        return value.isDouble()
            && value.toInteger(std::numeric_limits<qint64>::min())
                   == value.toInteger(std::numeric_limits<qint64>::max());
    }
    return false;
}

bool isAbsent(const QJsonValue &value)
{
    return value.isUndefined() || value.isNull();
}

struct ReleaseKey {
    QLatin1String name;
    Kind kind;
    bool required;
};

constexpr ReleaseKey releaseKeys[] = {
    {QLatin1String("version"), Kind::string, true},
    {QLatin1String("build"), Kind::integer, false},
    {QLatin1String("downloadUrl"), Kind::string, true},
    {QLatin1String("signed"), Kind::boolean, false},
    {QLatin1String("notarized"), Kind::boolean, false},
    {QLatin1String("releaseNotes"), Kind::string, false},
    {QLatin1String("publishedAt"), Kind::string, false},
};

bool isWellFormedRelease(const QJsonObject &record)
{
    for (const ReleaseKey &key : releaseKeys) {
        const QJsonValue value = record.value(key.name);
        if (isAbsent(value) ? key.required : !hasKind(value, key.kind))
            return false;
    }
    return true;
}

struct DeleteLater {
    void operator()(QObject *object) const { object->deleteLater(); }
};

} // namespace

std::optional<UpdateAvailable> evaluateRelease(const QByteArray &body, const QString &runningVersion)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject record = document.object();
    if (!isWellFormedRelease(record))
        return std::nullopt;

    const QString version = record.value(QLatin1String("version")).toString();
    if (AppVersion::compare(version, runningVersion) <= 0)
        return std::nullopt;

    // The address goes to the browser; only web pages are acceptable, never a
    // local file, a script or a custom scheme.
    const std::optional<QUrl> downloadURL = parseWebUrl(record.value(QLatin1String("downloadUrl")).toString());
    if (!downloadURL)
        return std::nullopt;

    const QJsonValue notes = record.value(QLatin1String("releaseNotes"));
    return UpdateAvailable{
        .version = version,
        .downloadURL = *downloadURL,
        .releaseNotes = isAbsent(notes) ? QStringLiteral("A new version is available.") : notes.toString(),
        .isSigned = record.value(QLatin1String("signed")).toBool(),
        .isNotarized = record.value(QLatin1String("notarized")).toBool(),
    };
}

QCoro::Task<std::optional<UpdateAvailable>> checkForUpdate(QUrl serviceUrl, QString runningVersion)
{
    const QUrl address(serviceUrl.toString() + QLatin1String("/mac-app/latest.json"), QUrl::StrictMode);
    if (!address.isValid() || address.isRelative())
        co_return std::nullopt;

    // No credentials: the release record is public.
    QNetworkRequest request(address);
    request.setTransferTimeout(requestTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    const std::unique_ptr<QNetworkReply, DeleteLater> reply(Network::accessManager()->get(request));
    co_await reply.get();

    if (reply->error() != QNetworkReply::NoError)
        co_return std::nullopt;
    bool isHttp = false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(&isHttp);
    if (!isHttp || status < 200 || status > 299)
        co_return std::nullopt;
    co_return evaluateRelease(reply->readAll(), runningVersion);
}

} // namespace UpdateChecker
