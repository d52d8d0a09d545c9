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
    bool isNotarized = false;

    friend bool operator==(const UpdateAvailable &, const UpdateAvailable &) = default;
};

namespace UpdateChecker {
// Fetches "<service>/mac-app/latest.json" without credentials. Absent when the
// release is not newer than `runningVersion`; throws ServiceError (api/Errors.h)
// when the record cannot be fetched or read, or names no web page to download.
QCoro::Task<std::optional<UpdateAvailable>> fetchUpdate(
    QUrl serviceUrl, QString runningVersion = AppVersion::shortVersion());
// The automatic check: as fetchUpdate, but any failure is silently absent.
QCoro::Task<std::optional<UpdateAvailable>> checkForUpdate(
    QUrl serviceUrl, QString runningVersion = AppVersion::shortVersion());
// The decision on a fetched 2xx body, without the network; throws DecodingError.
std::optional<UpdateAvailable> evaluateRelease(const QByteArray &body, const QString &runningVersion);
} // namespace UpdateChecker
