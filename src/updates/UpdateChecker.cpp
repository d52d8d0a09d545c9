#include "updates/UpdateChecker.h"

#include "Logging.h"
#include "WebUrl.h"
#include "api/GlassesAPIClient.h"
#include "api/Json.h"

#include <QCoreApplication>

namespace UpdateChecker {

std::optional<UpdateAvailable> evaluateRelease(const QByteArray &body, const QString &runningVersion)
{
    // Every listed key is read, so that one of another JSON type spoils the
    // record even where its value is not used.
    const nlohmann::json document = Json::parse(body);
    const RecordReader record(document);
    const QString version = record.requiredString("version");
    const QString downloadUrl = record.requiredString("downloadUrl");
    const std::optional<QString> notes = record.optionalString("releaseNotes");
    const bool isSigned = record.optionalBool("signed").value_or(false);
    const bool isNotarized = record.optionalBool("notarized").value_or(false);
    record.optionalInt("build");
    record.optionalString("publishedAt");

    if (AppVersion::compare(version, runningVersion) <= 0) {
        qCDebug(lcUpdates) << "latest release" << version << "is not newer than" << runningVersion;
        return std::nullopt;
    }
    // The address goes to the browser; only web pages are acceptable, never a
    // local file, a script or a custom scheme.
    const std::optional<QUrl> downloadURL = parseWebUrl(downloadUrl);
    if (!downloadURL)
        throw DecodingError(QStringLiteral("downloadUrl: not a web page"));
    qCDebug(lcUpdates) << "release" << version << "is newer than" << runningVersion;
    return UpdateAvailable{
        .version = version,
        .downloadURL = *downloadURL,
        .releaseNotes = notes.value_or(QCoreApplication::translate("UpdateChecker", "A new version is available.")),
        .isSigned = isSigned,
        .isNotarized = isNotarized,
    };
}

QCoro::Task<std::optional<UpdateAvailable>> fetchUpdate(QUrl serviceUrl, QString runningVersion)
{
    // The release record is public: a client without a token sends no credentials.
    const QByteArray body = co_await GlassesAPIClient(std::nullopt, std::move(serviceUrl)).releaseRecord();
    co_return evaluateRelease(body, runningVersion);
}

QCoro::Task<std::optional<UpdateAvailable>> checkForUpdate(QUrl serviceUrl, QString runningVersion)
{
    try {
        co_return co_await fetchUpdate(std::move(serviceUrl), std::move(runningVersion));
    } catch (const ServiceError &error) {
        qCWarning(lcUpdates) << "update check failed:" << error.description();
        co_return std::nullopt;
    }
}

} // namespace UpdateChecker
