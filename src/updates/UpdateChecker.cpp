#include "updates/UpdateChecker.h"

#include "Logging.h"
#include "WebUrl.h"
#include "api/GlassesAPIClient.h"
#include "api/Json.h"

#include <QCoreApplication>

namespace UpdateChecker {

namespace {

// The translation context of the check's texts.
struct CheckTexts {
    Q_DECLARE_TR_FUNCTIONS(UpdateChecker)
};

} // namespace

std::optional<UpdateAvailable> evaluateRelease(const QByteArray &body, const QString &runningVersion)
{
    // Every listed key is read, so that one of another JSON type spoils the
    // record even where its value is not used.
    const Json::Document document = Json::parse(body);
    const RecordReader record(document);
    const QString version = record.requiredString("version");
    const QString downloadAddress = record.requiredString("downloadUrl");
    const std::optional<QString> notes = record.optionalString("releaseNotes");
    const bool isSigned = record.optionalBool("signed").value_or(false);
    const bool isVetted = record.optionalBool("notarized").value_or(false);
    record.optionalInt("build");
    record.optionalString("publishedAt");

    if (AppVersion::compare(version, runningVersion) <= 0) {
        qCDebug(lcUpdates) << "latest release" << version << "is not newer than" << runningVersion;
        return std::nullopt;
    }
    // The address goes to the browser; only web pages are acceptable, never a
    // local file, a script or a custom scheme.
    const std::optional<QUrl> downloadPage = parseWebUrl(downloadAddress);
    if (!downloadPage)
        throw DecodingError(QStringLiteral("downloadUrl: not a web page"));
    qCDebug(lcUpdates) << "release" << version << "is newer than" << runningVersion;
    return UpdateAvailable{
        .version = version,
        .downloadURL = *downloadPage,
        // What the alert says of a release whose record has no notes.
        .releaseNotes = notes.value_or(CheckTexts::tr("A new version is available.")),
        .isSigned = isSigned,
        .isVetted = isVetted,
    };
}

QCoro::Task<std::optional<UpdateAvailable>> fetchUpdate(const GlassesAPIClient &client, QString runningVersion)
{
    const QByteArray body = co_await client.releaseRecord();
    co_return evaluateRelease(body, runningVersion);
}

} // namespace UpdateChecker
