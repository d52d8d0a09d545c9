#pragma once

#include "AppVersion.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

#include <qcoro/qcorotask.h>

struct UpdateAvailable {
    QString version;
    QUrl downloadURL;
    QString releaseNotes;
    bool isSigned = false;
    // The record's "notarized": the package was also vetted by someone other
    // than its publisher.
    bool isVetted = false;

    friend bool operator==(const UpdateAvailable &, const UpdateAvailable &) = default;
};

class GlassesAPIClient;

namespace UpdateChecker {
// Fetches the service's release record through `client` (which should carry no
// token: the record is public). Absent when the release is not newer than
// `runningVersion`; throws ServiceError (api/Errors.h) when the record cannot be
// fetched or read, or names no web page to download.
QCoro::Task<std::optional<UpdateAvailable>> fetchUpdate(
    const GlassesAPIClient &client, QString runningVersion = AppVersion::shortVersion());
// The decision on a fetched 2xx body, without the network; throws DecodingError.
std::optional<UpdateAvailable> evaluateRelease(const QByteArray &body, const QString &runningVersion);
} // namespace UpdateChecker
